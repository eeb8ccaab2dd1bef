// The host's time, read safely. AudioEffectX::getTimeInfo hands over whatever
// the host answers: null (many hosts outside a song, and some always), a
// record with only some fields valid, or values no transport has (a tempo of
// 0 or NaN, a time signature of 0/0, a position that jumps backwards when
// the host loops). readHostTime keeps what can be used and says so:
//
//   const vst::HostTime time = vst::readHostTime(getTimeInfo(kVstTempoValid | kVstPpqPosValid));
//   if (time.hasTempo) ... time.tempo ...
#pragma once

#include "vst/vst.h"

namespace vst {

struct HostTime {
  bool playing = false;       // the transport runs
  bool hasTempo = false;      // tempo holds a usable tempo
  double tempo = 0.0;         // quarter notes per minute, above 0 and at most 10000
  bool hasPosition = false;   // ppq holds the block's position
  double ppq = 0.0;           // in quarter notes, finite; may jump backwards (loops)
  bool hasBar = false;        // barStart holds the current bar's start
  double barStart = 0.0;      // in quarter notes, finite
  bool hasSignature = false;  // numerator and denominator hold a usable time signature
  int numerator = 4;          // beats per bar, 1 or more
  int denominator = 4;        // the beat's note value, 1 or more
};

// [audio thread] What `info` says that an effect can rely on; everything false
// for null.
HostTime readHostTime(const VstTimeInfo* info);

// The position within a cycle `beats` quarter notes long, 0 to below 1, at the
// quarter-note position `ppq`; 0 when either is unusable (not finite, a cycle
// of 0 or fewer beats).
double beatPhase(double ppq, double beats);

// Cycles per second of a cycle `beats` quarter notes long at `tempo`; 0 when
// either is unusable.
double beatRate(double tempo, double beats);

}  // namespace vst

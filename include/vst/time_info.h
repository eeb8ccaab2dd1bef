/*
 * The host's transport as an effect reads it through audioMasterGetTime: the
 * position of the block about to be processed, in samples and in quarter
 * notes, the tempo, the time signature and what the transport is doing. The
 * host owns the record; it is valid until the effect's processing call
 * returns, and a host may answer null instead. `flags` says which fields the
 * host filled: read a field only when its bit is set. Valid C and C++.
 */
#ifndef VST_TIME_INFO_H
#define VST_TIME_INFO_H

#include <stddef.h>

#include "vst/types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct VstTimeInfo {
  double samplePos;     /* the block's first frame, counted from the song's start; always set */
  double sampleRate;    /* frames per second; always set */
  double nanoSeconds;   /* system time of the block (kVstNanosValid) */
  double ppqPos;        /* the block's position in quarter notes (kVstPpqPosValid) */
  double tempo;         /* quarter notes per minute (kVstTempoValid) */
  double barStartPos;   /* quarter-note position of the current bar's start (kVstBarsValid) */
  double cycleStartPos; /* loop start in quarter notes (kVstCyclePosValid) */
  double cycleEndPos;   /* loop end in quarter notes (kVstCyclePosValid) */
  VstInt32 timeSigNumerator;   /* beats per bar (kVstTimeSigValid) */
  VstInt32 timeSigDenominator; /* the note value of a beat: 4 for quarter notes */
  VstInt32 smpteOffset;        /* SMPTE offset (kVstSmpteValid) */
  VstInt32 smpteFrameRate;     /* SMPTE frame-rate code (kVstSmpteValid) */
  VstInt32 samplesToNextClock; /* frames to the next MIDI clock (kVstClockValid) */
  VstInt32 flags;              /* the kVst... bits below */
} VstTimeInfo;

/* Bits of VstTimeInfo.flags: what the transport does, and which fields hold values. */
enum {
  kVstTransportChanged = 1,      /* play state, position or cycle changed since the last block */
  kVstTransportPlaying = 1 << 1, /* the transport runs */
  kVstTransportCycleActive = 1 << 2, /* the loop is on */
  kVstTransportRecording = 1 << 3,
  kVstAutomationWriting = 1 << 6,
  kVstAutomationReading = 1 << 7,
  kVstNanosValid = 1 << 8,
  kVstPpqPosValid = 1 << 9,
  kVstTempoValid = 1 << 10,
  kVstBarsValid = 1 << 11,
  kVstCyclePosValid = 1 << 12,
  kVstTimeSigValid = 1 << 13,
  kVstSmpteValid = 1 << 14,
  kVstClockValid = 1 << 15
};

/* Eight doubles, then six 32-bit integers: the same offsets on every platform. */
VST_STATIC_ASSERT(offsetof(VstTimeInfo, samplePos) == 0, "VstTimeInfo.samplePos");
VST_STATIC_ASSERT(offsetof(VstTimeInfo, sampleRate) == 8, "VstTimeInfo.sampleRate");
VST_STATIC_ASSERT(offsetof(VstTimeInfo, nanoSeconds) == 16, "VstTimeInfo.nanoSeconds");
VST_STATIC_ASSERT(offsetof(VstTimeInfo, ppqPos) == 24, "VstTimeInfo.ppqPos");
VST_STATIC_ASSERT(offsetof(VstTimeInfo, tempo) == 32, "VstTimeInfo.tempo");
VST_STATIC_ASSERT(offsetof(VstTimeInfo, barStartPos) == 40, "VstTimeInfo.barStartPos");
VST_STATIC_ASSERT(offsetof(VstTimeInfo, cycleStartPos) == 48, "VstTimeInfo.cycleStartPos");
VST_STATIC_ASSERT(offsetof(VstTimeInfo, cycleEndPos) == 56, "VstTimeInfo.cycleEndPos");
VST_STATIC_ASSERT(offsetof(VstTimeInfo, timeSigNumerator) == 64, "VstTimeInfo.timeSigNumerator");
VST_STATIC_ASSERT(offsetof(VstTimeInfo, timeSigDenominator) == 68,
                  "VstTimeInfo.timeSigDenominator");
VST_STATIC_ASSERT(offsetof(VstTimeInfo, smpteOffset) == 72, "VstTimeInfo.smpteOffset");
VST_STATIC_ASSERT(offsetof(VstTimeInfo, smpteFrameRate) == 76, "VstTimeInfo.smpteFrameRate");
VST_STATIC_ASSERT(offsetof(VstTimeInfo, samplesToNextClock) == 80,
                  "VstTimeInfo.samplesToNextClock");
VST_STATIC_ASSERT(offsetof(VstTimeInfo, flags) == 84, "VstTimeInfo.flags");
VST_STATIC_ASSERT(sizeof(VstTimeInfo) == 88, "VstTimeInfo is 88 bytes");

#ifdef __cplusplus
}
#endif

#endif

// The transport a host answers audioMasterGetTime with: a song position that
// moves on with every block rendered, in samples and in quarter notes, at a
// tempo and time signature that may change between blocks, a transport that
// may stop and start, and an optional loop (cycle). Or null, as some hosts
// answer.
//
// Not thread-safe: set it and advance it from the thread that drives
// processing, between blocks. The record it answers stays valid until the
// next change.
#pragma once

#include "vst/vst.h"

namespace host {

class Transport {
 public:
  Transport();

  // Settings, taking effect from the next block. Each refuses (answers false,
  // changes nothing) a value no transport has.
  bool setTempo(double bpm);                              // above 0, at most 10000
  bool setTimeSignature(int numerator, int denominator);  // 1 to 1000 each
  bool setSampleRate(double rate);                        // above 0
  void setPlaying(bool playing);                          // a stopped transport keeps its place
  bool setCycle(bool active, double startPpq, double endPpq);  // start below end
  // Answer null instead of the record.
  void setAnswersNull(bool answersNull);
  // Back to the song's start, transport settings kept.
  void rewind();

  // Puts the song at `samplePos` frames and `ppq` quarter notes, with the
  // latest bar line at `barStart` quarter notes: a host that follows a tempo
  // map sets the place before every block. advance() moves on from there.
  void locate(double samplePos, double ppq, double barStart);

  // Moves on by the `frames` frames just processed: while playing, the
  // position advances at the current tempo and jumps back to the cycle's
  // start when it passes the cycle's end.
  void advance(VstInt32 frames);

  // The record for the next block, or null when set to answer null.
  const VstTimeInfo* info() const { return answersNull_ ? nullptr : &info_; }
  double tempo() const { return tempo_; }
  double ppq() const { return ppq_; }
  bool playing() const { return playing_; }

 private:
  void refresh();
  double rate_ = 44100.0, tempo_ = 120.0;
  int numerator_ = 4, denominator_ = 4;
  bool playing_ = true, cycleActive_ = false, answersNull_ = false;
  double cycleStart_ = 0.0, cycleEnd_ = 0.0;
  double samplePos_ = 0.0, ppq_ = 0.0, elapsedFrames_ = 0.0;
  double barStart_ = 0.0;
  bool barLocated_ = false;  // barStart_ holds until the next advance()
  bool changed_ = true;      // for the first block: the transport has just started
  VstTimeInfo info_{};
};

}  // namespace host

#include "vst/transport.h"

#include <cmath>

namespace host {

Transport::Transport() { refresh(); }

bool Transport::setTempo(double bpm) {
  if (!(bpm > 0.0 && bpm <= 10000.0)) return false;
  tempo_ = bpm;
  refresh();
  return true;
}

bool Transport::setTimeSignature(int numerator, int denominator) {
  if (numerator < 1 || numerator > 1000 || denominator < 1 || denominator > 1000) return false;
  numerator_ = numerator;
  denominator_ = denominator;
  refresh();
  return true;
}

bool Transport::setSampleRate(double rate) {
  if (!(rate > 0.0) || !std::isfinite(rate)) return false;
  rate_ = rate;
  refresh();
  return true;
}

void Transport::setPlaying(bool playing) {
  changed_ = changed_ || playing != playing_;
  playing_ = playing;
  refresh();
}

bool Transport::setCycle(bool active, double startPpq, double endPpq) {
  if (active && !(std::isfinite(startPpq) && std::isfinite(endPpq) && startPpq < endPpq))
    return false;
  changed_ = changed_ || active != cycleActive_;
  cycleActive_ = active;
  if (active) cycleStart_ = startPpq, cycleEnd_ = endPpq;
  refresh();
  return true;
}

void Transport::setAnswersNull(bool answersNull) { answersNull_ = answersNull; }

void Transport::rewind() {
  samplePos_ = ppq_ = elapsedFrames_ = 0.0;
  changed_ = true;
  refresh();
}

void Transport::locate(double samplePos, double ppq, double barStart) {
  samplePos_ = samplePos;
  ppq_ = ppq;
  barStart_ = barStart;
  barLocated_ = true;
  refresh();
}

void Transport::advance(VstInt32 frames) {
  if (frames <= 0) return;
  changed_ = false;
  barLocated_ = false;
  elapsedFrames_ += frames;
  if (playing_) {
    const double before = ppq_;
    samplePos_ += frames;
    ppq_ += frames / rate_ * tempo_ / 60.0;
    if (cycleActive_ && before < cycleEnd_ && ppq_ >= cycleEnd_) {
      // Loop: back by whole cycles, in quarter notes and in samples alike.
      const double unwrapped = ppq_;
      ppq_ = cycleStart_ + std::fmod(unwrapped - cycleEnd_, cycleEnd_ - cycleStart_);
      samplePos_ = std::fmax(0.0, samplePos_ - (unwrapped - ppq_) * 60.0 / tempo_ * rate_);
      changed_ = true;
    }
  }
  refresh();
}

void Transport::refresh() {
  const double barLength = numerator_ * 4.0 / denominator_;  // in quarter notes
  info_ = VstTimeInfo{};
  info_.samplePos = samplePos_;
  info_.sampleRate = rate_;
  // Rendered time stands for the system's clock, so a render is repeatable.
  info_.nanoSeconds = elapsedFrames_ / rate_ * 1e9;
  info_.ppqPos = ppq_;
  info_.tempo = tempo_;
  info_.barStartPos = barLocated_ ? barStart_ : std::floor(ppq_ / barLength) * barLength;
  info_.timeSigNumerator = numerator_;
  info_.timeSigDenominator = denominator_;
  info_.flags =
      kVstNanosValid | kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid;
  if (cycleActive_) {
    info_.cycleStartPos = cycleStart_;
    info_.cycleEndPos = cycleEnd_;
    info_.flags |= kVstTransportCycleActive | kVstCyclePosValid;
  }
  if (playing_) info_.flags |= kVstTransportPlaying;
  if (changed_) info_.flags |= kVstTransportChanged;
}

}  // namespace host

#include "vst/host_time.h"

#include <cmath>

namespace vst {

HostTime readHostTime(const VstTimeInfo* info) {
  HostTime time;
  if (info == nullptr) return time;
  const VstInt32 flags = info->flags;
  time.playing = (flags & kVstTransportPlaying) != 0;
  if ((flags & kVstTempoValid) != 0 && info->tempo > 0.0 && info->tempo <= 10000.0) {
    time.hasTempo = true;
    time.tempo = info->tempo;
  }
  if ((flags & kVstPpqPosValid) != 0 && std::isfinite(info->ppqPos)) {
    time.hasPosition = true;
    time.ppq = info->ppqPos;
  }
  if ((flags & kVstBarsValid) != 0 && std::isfinite(info->barStartPos)) {
    time.hasBar = true;
    time.barStart = info->barStartPos;
  }
  if ((flags & kVstTimeSigValid) != 0 && info->timeSigNumerator > 0 &&
      info->timeSigDenominator > 0) {
    time.hasSignature = true;
    time.numerator = info->timeSigNumerator;
    time.denominator = info->timeSigDenominator;
  }
  return time;
}

double beatPhase(double ppq, double beats) {
  if (!std::isfinite(ppq) || !(beats > 0.0) || !std::isfinite(beats)) return 0.0;
  const double cycles = ppq / beats;
  const double phase = cycles - std::floor(cycles);
  return phase >= 0.0 && phase < 1.0 ? phase : 0.0;
}

double beatRate(double tempo, double beats) {
  if (!(tempo > 0.0) || !std::isfinite(tempo) || !(beats > 0.0) || !std::isfinite(beats))
    return 0.0;
  const double rate = tempo / 60.0 / beats;
  return std::isfinite(rate) ? rate : 0.0;
}

}  // namespace vst

// The decay of a response: its energy decay curve by backward integration and
// the reverberation times read from it.
#include <algorithm>
#include <cmath>

#include "analyze/analysis.h"

namespace vsthost {
namespace analysis {

namespace {

// The time the straight line fitted (least squares) to `edc` between its
// first fall to `top` dB and to `bottom` dB takes to fall 60 dB; NaN when the
// curve does not reach `bottom` or does not fall.
double fittedRt60(const std::vector<double>& edc, double rate, double top, double bottom) {
  size_t from = 0;
  while (from < edc.size() && edc[from] > top) ++from;
  size_t to = from;
  while (to < edc.size() && edc[to] > bottom) ++to;
  if (to >= edc.size() || to <= from + 1) return std::nan("");
  double st = 0.0, sy = 0.0, stt = 0.0, sty = 0.0;
  const auto n = static_cast<double>(to - from + 1);
  for (size_t i = from; i <= to; ++i) {
    const double t = static_cast<double>(i - from) / rate;
    st += t, sy += edc[i], stt += t * t, sty += t * edc[i];
  }
  const double slope = (n * sty - st * sy) / (n * stt - st * st);
  return slope < 0.0 ? -60.0 / slope : std::nan("");
}

}  // namespace

Decay decay(const std::vector<double>& energy, double rate) {
  Decay answer;
  std::vector<double> edc(energy.size());
  double sum = 0.0;
  for (size_t i = energy.size(); i-- > 0;) {
    sum += energy[i];
    edc[i] = sum;
  }
  if (!(sum > 0.0)) return answer;
  const double total = edc[0];
  for (double& e : edc) e = e > 0.0 ? 10.0 * std::log10(e / total) : -400.0;
  // T30 where the curve falls 35 dB; T20 where it reaches only 25 dB.
  answer.rt60 = fittedRt60(edc, rate, -5.0, -35.0);
  answer.fromT20 = !std::isfinite(answer.rt60);
  if (answer.fromT20) answer.rt60 = fittedRt60(edc, rate, -5.0, -25.0);
  answer.edt = fittedRt60(edc, rate, 0.0, -10.0);
  // The curve at 1 ms steps (at most 4000 points), down to -120 dB.
  const auto step = std::max<size_t>(
      1, std::max(static_cast<size_t>(std::round(rate / 1000.0)), edc.size() / 4000));
  for (size_t i = 0; i < edc.size() && edc[i] >= -120.0; i += step) {
    answer.time.push_back(static_cast<double>(i) / rate);
    answer.edc.push_back(edc[i]);
  }
  return answer;
}

}  // namespace analysis
}  // namespace vsthost

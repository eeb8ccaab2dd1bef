// The arithmetic of an analysis on captured audio: spectra (KissFFT), the
// frequency grid, the mono-sum notches and a sine's harmonic levels.
#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>

#include "analyze/analysis.h"

namespace vsthost {
namespace analysis {

std::vector<double> responseFrequencies(double rate) {
  const double top = std::min(20000.0, rate / 2.0);
  const double ratio = std::pow(2.0, 1.0 / 48.0) - 1.0;
  std::vector<double> frequencies;
  for (double f = 20.0; f <= top; f += std::min(f * ratio, 10.0)) frequencies.push_back(f);
  if (!frequencies.empty() && frequencies.back() < top) frequencies.push_back(top);
  return frequencies;
}

size_t fastLength(size_t frames) {
  const auto half = static_cast<int>((std::max<size_t>(frames, 2) + 1) / 2);
  return static_cast<size_t>(kiss_fft_next_fast_size(half)) * 2;
}

std::vector<std::complex<double>> spectrum(const std::vector<double>& signal, size_t size) {
  if (size % 2 != 0 || size < signal.size()) throw std::logic_error("bad spectrum length");
  std::unique_ptr<std::remove_pointer_t<kiss_fftr_cfg>, void (*)(void*)> plan(
      kiss_fftr_alloc(static_cast<int>(size), 0, nullptr, nullptr), kiss_fftr_free);
  if (!plan) throw std::runtime_error("out of memory for a spectrum");
  std::vector<kiss_fft_scalar> in(size, 0.0f);
  std::copy(signal.begin(), signal.end(), in.begin());
  std::vector<kiss_fft_cpx> out(size / 2 + 1);
  kiss_fftr(plan.get(), in.data(), out.data());
  std::vector<std::complex<double>> bins(out.size());
  for (size_t k = 0; k < out.size(); ++k) bins[k] = {out[k].r, out[k].i};
  return bins;
}

std::complex<double> at(const std::vector<std::complex<double>>& bins, size_t size, double rate,
                        double frequency) {
  const double position = frequency * static_cast<double>(size) / rate;
  const auto below = std::min(static_cast<size_t>(position), bins.size() - 2);
  const double fraction = std::min(1.0, position - static_cast<double>(below));
  // Magnitude and phase each interpolated (the phase the short way round): a
  // late arrival turns the phase far between two bins, where interpolating the
  // complex values would take the magnitude for a notch.
  const std::complex<double> a = bins[below], b = bins[below + 1];
  if (std::abs(a) == 0.0 || std::abs(b) == 0.0) return a * (1.0 - fraction) + b * fraction;
  const double magnitude = std::abs(a) * (1.0 - fraction) + std::abs(b) * fraction;
  return std::polar(magnitude, std::arg(a) + fraction * std::arg(b / a));
}

std::vector<double> monoNotches(const std::vector<std::complex<double>>& left,
                                const std::vector<std::complex<double>>& right, size_t size,
                                double rate) {
  const double binHz = rate / static_cast<double>(size);
  const double top = std::min(20000.0, rate / 2.0);
  const auto first = static_cast<size_t>(std::ceil(20.0 / binHz));
  const auto last = std::min(left.size() - 2, static_cast<size_t>(top / binHz));
  const auto midPower = [&](size_t k) { return std::norm((left[k] + right[k]) * 0.5); };
  std::vector<double> notches;
  for (size_t k = std::max<size_t>(first, 1); k <= last; ++k) {
    const double here = midPower(k), before = midPower(k - 1), after = midPower(k + 1);
    if (!(here <= before && here < after)) continue;
    const double channels = 0.5 * (std::abs(left[k]) + std::abs(right[k]));
    if (channels <= 0.0 || here > 0.01 * channels * channels) continue;  // not 20 dB below
    // |mid|² is a parabola near a zero: its vertex between the bins.
    const double curvature = before - 2.0 * here + after;
    double offset = curvature > 0.0 ? 0.5 * (before - after) / curvature : 0.0;
    offset = std::max(-0.5, std::min(0.5, offset));
    notches.push_back((static_cast<double>(k) + offset) * binHz);
  }
  return notches;
}

SineLevels sineLevels(const std::vector<double>& signal, long cycles, int count) {
  SineLevels levels;
  const auto n = static_cast<double>(signal.size());
  double sum = 0.0, power = 0.0;
  for (double x : signal) {
    sum += x;
    power += x * x;
  }
  const double dc = sum / n;
  power = power / n - dc * dc;
  // The amplitude of the component at `harmonic` times the fundamental: one
  // bin of the DFT, with the phase turned by a rotating phasor.
  const auto amplitude = [&](long long harmonic) {
    const long long bin = harmonic * cycles, length = static_cast<long long>(signal.size());
    if (2 * bin >= length) return 0.0;
    const std::complex<double> step = std::polar(1.0, -2.0 * kPi * static_cast<double>(bin) / n);
    std::complex<double> phasor = 1.0, total = 0.0;
    for (long long i = 0; i < length; ++i) {
      total += signal[static_cast<size_t>(i)] * phasor;
      phasor *= step;
      if (i % 1024 == 1023)  // renormalise against drift
        phasor = std::polar(1.0, -2.0 * kPi * static_cast<double>(bin * (i + 1) % length) / n);
    }
    return 2.0 * std::abs(total) / n;
  };
  levels.fundamental = amplitude(1);
  for (long h = 2; h <= count; ++h) levels.harmonics.push_back(amplitude(h));
  levels.residualPower = std::max(0.0, power - 0.5 * levels.fundamental * levels.fundamental);
  return levels;
}

}  // namespace analysis
}  // namespace vsthost

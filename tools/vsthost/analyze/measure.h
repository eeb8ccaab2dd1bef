// The parts of the measurement, each adding its keys to the analysis object.
#pragma once

#include <cmath>
#include <nlohmann/json.hpp>

namespace vsthost {

class Bench;

// A number for JSON, rounded to `step` (a power of ten, so the division
// gives the shortest decimal text); null when not finite.
inline nlohmann::json rounded(double value, double step) {
  if (!std::isfinite(value)) return nullptr;
  const double scale = std::round(1.0 / step);
  return std::round(value * scale) / scale;
}

inline double decibels(double amplitude) { return 20.0 * std::log10(amplitude); }

// The impulse responses: the stereo transfer matrix, left, right, mid and
// side, time invariance, latency, the whole impulse response and its decay.
void measureImpulses(Bench& bench, nlohmann::json& result);

// An instrument's notes: the held note's spectrum, harmonics and aliasing,
// level against velocity, the onset and the CPU with 1 to 64 notes held.
void measureInstrument(Bench& bench, nlohmann::json& result);

}  // namespace vsthost

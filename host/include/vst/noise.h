// Reproducible white noise for tests, checks and demos.
#pragma once

#include <cstdint>

namespace host {

// A linear congruential generator whose samples are multiples of 2^-23 in
// [-0.5, 0.5): exact in float and in 24-bit PCM files alike, so a signal
// written to a file reads back unchanged.
class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed) {}
  float next() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<float>(static_cast<int32_t>(state_ >> 9) - (1 << 22)) / 8388608.0f;
  }

 private:
  uint32_t state_;
};

}  // namespace host

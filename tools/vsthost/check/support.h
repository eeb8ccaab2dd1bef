// What the checks share: a module loaded in the check's process, signals,
// processing in blocks, and comparisons that name where two outputs differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "check/registry.h"
#include "vst/host.h"

namespace vsthost {

// Integers and values in one place, so every message prints numbers alike.
template <typename T>
std::string number(T value) {
  if (std::is_integral<T>::value) return std::to_string(static_cast<long long>(value));
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return text;
}

// The module loaded in the check's process, with helpers to make instances.
class Session {
 public:
  explicit Session(CheckContext& context);
  std::unique_ptr<host::Plugin> instance();
  // Opened, at `rate` and `block`, resumed.
  std::unique_ptr<host::Plugin> active(float rate, VstInt32 block);
  host::LoadedPlugin loaded;

 private:
  CheckContext& context_;
};

// Suspends and closes, naming the step.
void finish(CheckContext& context, host::Plugin& plugin);

using Channels = std::vector<std::vector<float>>;

// Decorrelated noise on each of `channels` channels (at least one), from `seed`.
Channels noise(int channels, size_t frames, uint32_t seed);
Channels silence(int channels, size_t frames);

// Runs `in` through the effect in blocks of `block` frames, out of place.
Channels process(host::Plugin& plugin, Channels in, size_t block);

// Requires every sample to be finite; `where` ends the message.
void requireFinite(CheckContext& context, const Channels& out, const std::string& where);
// The largest magnitude from frame `from` on.
double peak(const Channels& signal, size_t from = 0);

// The first place where two outputs differ by more than a tolerance.
struct Difference {
  size_t channel = 0, frame = 0;
  double amount = 0.0;
};
// False when `a` and `b` agree within `tolerance` everywhere; with a
// tolerance of 0 they must agree bit for bit. NaN differs from everything.
bool differs(const Channels& a, const Channels& b, double tolerance, Difference& where);
// "by 0.5 on channel 1 at frame 20".
std::string at(const Difference& where);

// A NaN whose payload names the block: a value no effect produces, different
// for each block so a sample left from the block before is seen too.
uint32_t marker(size_t block);

}  // namespace vsthost

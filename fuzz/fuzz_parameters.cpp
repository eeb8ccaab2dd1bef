// Fuzz target: declared parameters with any range (infinite, reversed, empty,
// below 0 for a logarithmic one), any normalised or plain value and any typed
// text. Every plain value must be finite and within the range, every
// normalised one within 0 to 1, every display terminated within its limit
// without touching the guard behind it, and a value read from text must be
// one the parameter can take.
#include <cmath>

#include "byte_reader.h"
#include "vst/parameters.h"

namespace {

constexpr const char* kNames[] = {"Stereo", "L", "R", "Mono", "A name too long", ""};
constexpr size_t kRoom = 65 + 32;
constexpr char kGuard = '\x5A';

double anyDouble(ByteReader& in) {
  const uint8_t choice = in.byte();
  if (choice < 64) return static_cast<double>(in.anyFloat());
  if (choice < 128) return static_cast<double>(in.anyInt());
  return in.raw<double>();
}

bool within(const vst::ParameterSpec& parameter, double plain) {
  return std::isfinite(plain) && plain >= std::fmin(parameter.min, parameter.max) &&
         plain <= std::fmax(parameter.min, parameter.max);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteReader in(data, size);
  vst::ParameterSpec parameter{"P", "Hz", 0.0, 1.0, 0.5, vst::Mapping::kLinear, 2, nullptr};
  const uint8_t kind = in.byte() % 5;
  parameter.mapping = static_cast<vst::Mapping>(kind);
  if (parameter.mapping == vst::Mapping::kChoice) {
    parameter.min = 0.0;
    parameter.max = static_cast<double>(in.byte() % 6);
    parameter.choices = kNames;
    parameter.unit = "";
  } else {
    parameter.min = anyDouble(in);
    parameter.max = anyDouble(in);
  }
  parameter.initial = anyDouble(in);
  parameter.precision = static_cast<int>(in.byte() % 14) - 2;
  const bool usable = std::isfinite(parameter.min) && std::isfinite(parameter.max);

  for (int step = 0; step < 16 && !in.empty(); ++step) {
    const float normalised = in.anyFloat();
    const double plain = vst::toPlain(parameter, normalised);
    FUZZ_CHECK(!usable || within(parameter, plain));
    const float back = vst::toNormalised(parameter, anyDouble(in));
    FUZZ_CHECK(back >= 0.0f && back <= 1.0f);
    const float snapped = vst::snapNormalised(parameter, normalised);
    FUZZ_CHECK(normalised != normalised || (snapped >= 0.0f && snapped <= 1.0f));

    const VstInt32 maxLen = static_cast<VstInt32>(in.byte() % 66) - 1;
    char text[kRoom];
    std::memset(text, kGuard, sizeof text);
    vst::formatValue(parameter, anyDouble(in), text, maxLen);
    if (maxLen >= 0) {
      FUZZ_CHECK(std::memchr(text, '\0', static_cast<size_t>(maxLen) + 1) != nullptr);
      for (size_t i = static_cast<size_t>(maxLen) + 1; i < kRoom; ++i)
        FUZZ_CHECK(text[i] == kGuard);
    }

    // Typed text, possibly without a terminator inside the first 64 bytes.
    char typed[kRoom];
    const size_t length = in.byte() % 80;
    for (size_t i = 0; i < length && i < kRoom; ++i) typed[i] = static_cast<char>(in.byte());
    typed[length < kRoom - 1 ? length : kRoom - 1] = '\0';
    double read = 12345.0;
    if (vst::parseValue(parameter, typed, read)) FUZZ_CHECK(within(parameter, read));
  }
  return 0;
}

// The framework's value-to-text conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include "vst/audio_effect_x.h"

namespace {

class PlainEffect : public AudioEffectX {
 public:
  PlainEffect() : AudioEffectX(nullptr, 1, 0) {}
  void processReplacing(float**, float**, VstInt32) override {}
};

constexpr char kGuard = '#';

// Runs a conversion into a buffer with guard bytes behind index maxLen and
// checks termination, zero fill and that nothing past maxLen was written.
std::string convert(const std::function<void(char*, VstInt32)>& conversion, VstInt32 maxLen = 8) {
  char buffer[96];
  std::memset(buffer, kGuard, sizeof buffer);
  conversion(buffer, maxLen);
  const size_t length = std::strlen(buffer);
  EXPECT_LE(length, static_cast<size_t>(maxLen));
  for (size_t i = length; i <= static_cast<size_t>(maxLen); ++i) EXPECT_EQ(buffer[i], '\0') << i;
  for (size_t i = static_cast<size_t>(maxLen) + 1; i < sizeof buffer; ++i)
    EXPECT_EQ(buffer[i], kGuard) << "written past maxLen at " << i;
  return buffer;
}

struct FloatCase {
  float value;
  const char* text;
};
struct IntCase {
  VstInt32 value;
  VstInt32 maxLen;
  const char* text;
};

TEST(ValueText, Float2stringWorkedExamples) {
  PlainEffect effect;
  for (const FloatCase c :
       {FloatCase{10.0f, "10.00000"}, FloatCase{0.5f, "0.500000"}, FloatCase{-3.25f, "-3.25000"},
        FloatCase{-0.5f, "-0.50000"}, FloatCase{0.7f, "0.699999"}, FloatCase{123.456f, "123.4560"},
        FloatCase{1234567.0f, "1234567."}, FloatCase{9999999.0f, "9999999."},
        FloatCase{-123456.0f, "-123456."}, FloatCase{-0.0f, "0.000000"},
        FloatCase{-0.000000001f, "-0.00000"}, FloatCase{99999999.0f, "Huge!"},
        FloatCase{-10000000.0f, "Huge!"}, FloatCase{0.999999f, "0.999998"},
        FloatCase{1000.0f, "1000.000"}, FloatCase{std::numeric_limits<float>::infinity(), "Huge!"},
        FloatCase{-std::numeric_limits<float>::infinity(), "Huge!"}}) {
    EXPECT_EQ(convert([&](char* t, VstInt32 n) { effect.float2string(c.value, t, n); }), c.text)
        << c.value;
  }
}

TEST(ValueText, Float2stringBeyondEightPositionsAndNaN) {
  PlainEffect effect;
  // Integer parts needing more than eight positions keep every digit, cut to maxLen.
  EXPECT_EQ(convert([&](char* t, VstInt32 n) { effect.float2string(12345678.0f, t, n); }),
            "12345678");
  EXPECT_EQ(convert([&](char* t, VstInt32 n) { effect.float2string(12345678.0f, t, n); }, 20),
            "12345678.");
  EXPECT_EQ(convert([&](char* t, VstInt32 n) { effect.float2string(-1234567.0f, t, n); }),
            "-1234567");
  EXPECT_EQ(convert([&](char* t, VstInt32 n) {
              effect.float2string(std::numeric_limits<float>::quiet_NaN(), t, n);
            }),
            "NaN");
}

TEST(ValueText, Int2stringWorkedExamples) {
  PlainEffect effect;
  for (const IntCase c :
       {IntCase{0, 8, "0"}, IntCase{7, 8, "7"}, IntCase{-42, 8, "-42"}, IntCase{1000, 8, "1000"},
        IntCase{99999999, 8, "99999999"}, IntCase{100000000, 8, "Huge!"},
        IntCase{-100000000, 10, "-100000000"}, IntCase{-42, 2, "-4"}, IntCase{100000000, 2, "Hu"},
        IntCase{std::numeric_limits<VstInt32>::max(), 8, "Huge!"},
        IntCase{std::numeric_limits<VstInt32>::min(), 16, "-2147483648"},
        IntCase{std::numeric_limits<VstInt32>::min(), 8, "-2147483"},
        IntCase{-1000000000, 12, "-1000000000"}, IntCase{5, 0, ""}}) {
    EXPECT_EQ(convert([&](char* t, VstInt32 n) { effect.int2string(c.value, t, n); }, c.maxLen),
              c.text)
        << c.value;
  }
}

TEST(ValueText, ScaledConversions) {
  PlainEffect effect;
  auto dB = [&](float v, VstInt32 maxLen = 8) {
    return convert([&](char* t, VstInt32 n) { effect.dB2string(v, t, n); }, maxLen);
  };
  auto hz = [&](float v) {
    return convert([&](char* t, VstInt32 n) { effect.Hz2string(v, t, n); });
  };
  auto ms = [&](float v) {
    return convert([&](char* t, VstInt32 n) { effect.ms2string(v, t, n); });
  };
  EXPECT_EQ(dB(1.0f), "0.000000");
  EXPECT_EQ(dB(0.5f), "-6.02059");
  EXPECT_EQ(dB(10.0f), "20.00000");
  EXPECT_EQ(dB(0.0f), "-oo");
  EXPECT_EQ(dB(-0.0f), "-oo");
  EXPECT_EQ(dB(-1.0f), "-oo");
  EXPECT_EQ(dB(0.0f, 2), "-o");
  EXPECT_EQ(dB(std::numeric_limits<float>::infinity()), "Huge!");
  EXPECT_EQ(hz(441.0f), "100.0000");
  EXPECT_EQ(hz(0.0f), "0.000000");
  EXPECT_EQ(hz(-0.0f), "0.000000");
  EXPECT_EQ(ms(441.0f), "10.00000");
  EXPECT_EQ(ms(1.0f), "0.022675");

  effect.setSampleRate(0.0f);
  EXPECT_EQ(ms(1.0f), "Huge!");
  EXPECT_EQ(ms(0.0f), "NaN");
  EXPECT_EQ(hz(3.0f), "0.000000");
  effect.setSampleRate(1e-38f);  // a quotient beyond float's range
  EXPECT_EQ(ms(1e10f), "Huge!");
}

TEST(ValueText, EveryFittingValueHasEightCharacters) {
  PlainEffect effect;
  for (int whole = -999999; whole < 9999999; whole += 7919) {
    for (float fraction : {0.0f, 0.25f, 0.7f}) {
      const float v = static_cast<float>(whole) + (whole < 0 ? -fraction : fraction);
      const std::string text = convert([&](char* t, VstInt32 n) { effect.float2string(v, t, n); });
      ASSERT_EQ(text.size(), 8u) << v;
    }
  }
}

TEST(ValueText, ShortLimitsCutWithoutOverrun) {
  PlainEffect effect;
  EXPECT_EQ(convert([&](char* t, VstInt32 n) { effect.float2string(12.5f, t, n); }, 4), "12.5");
  for (VstInt32 maxLen = 0; maxLen <= 12; ++maxLen) {
    const std::string full = "-3.25000";
    EXPECT_EQ(convert([&](char* t, VstInt32 n) { effect.float2string(-3.25f, t, n); }, maxLen),
              full.substr(0, static_cast<size_t>(maxLen)));
  }
  char untouched = kGuard;
  effect.float2string(1.0f, &untouched, -1);  // a negative limit writes nothing
  effect.int2string(1, nullptr, 8);
  effect.float2string(1.0f, nullptr, 8);
  EXPECT_EQ(untouched, kGuard);
}

}  // namespace

// The effect's parameters: conversions, read-back and texts.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "effect_instance.h"

namespace {

// A host buffer filled with a marker, to see exactly which bytes a call wrote.
struct Buffer {
  char bytes[64];
  Buffer() { std::memset(bytes, '#', sizeof bytes); }
  size_t written() const {
    size_t last = 0;
    for (size_t i = 0; i < sizeof bytes; ++i)
      if (bytes[i] != '#') last = i + 1;
    return last;
  }
};

std::string display(QuillaneVST& effect, VstInt32 index) {
  Buffer buffer;
  effect.getParameterDisplay(index, buffer.bytes);
  return buffer.bytes;
}

TEST(Parameters, DefaultsAsTheHostSeesThem) {
  auto effect = makeEffect();
  EXPECT_EQ(effect->getParameter(0), 0.0f);
  EXPECT_EQ(effect->getParameter(1), 0.5f);
  EXPECT_EQ(effect->getParameter(2), 10.0f / 50.0f);
  EXPECT_EQ(display(*effect, 0), "Stereo");
  EXPECT_EQ(display(*effect, 1), "R");
  EXPECT_EQ(display(*effect, 2), "10.00000");
}

TEST(Parameters, InputQuantisesToFourModes) {
  struct Case {
    float value, readBack;
    const char* display;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const Case c :
       {Case{0.2499f, 0.0f, "Stereo"}, Case{0.25f, 0.25f, "L"}, Case{0.5f, 0.5f, "R"},
        Case{0.6f, 0.5f, "R"}, Case{0.74f, 0.5f, "R"}, Case{0.75f, 0.75f, "Mono"},
        Case{1.0f, 0.75f, "Mono"}, Case{1.3f, 1.25f, "Stereo"}, Case{-0.2f, 0.0f, "Stereo"},
        Case{-0.3f, -0.25f, "Stereo"}, Case{1e30f, 2147483647.0f * 0.25f, "Stereo"},
        Case{-1e30f, -2147483648.0f * 0.25f, "Stereo"},
        Case{nan, -2147483648.0f * 0.25f, "Stereo"}}) {
    auto effect = makeEffect();
    effect->setParameter(0, c.value);
    EXPECT_EQ(effect->getParameter(0), c.readBack) << c.value;
    EXPECT_EQ(display(*effect, 0), c.display) << c.value;
    // Setting back what was read leaves the mode unchanged.
    const float readBack = effect->getParameter(0);
    effect->setParameter(0, readBack);
    EXPECT_EQ(effect->getParameter(0), readBack) << c.value;
  }
}

TEST(Parameters, ChannelIsRightFromOneHalf) {
  struct Case {
    float value, readBack;
    const char* display;
  };
  for (const Case c : {Case{0.4999f, 0.0f, "L"}, Case{0.5f, 0.5f, "R"}, Case{1.0f, 0.5f, "R"},
                       Case{std::numeric_limits<float>::quiet_NaN(), 0.0f, "L"}}) {
    auto effect = makeEffect();
    effect->setParameter(1, c.value);
    EXPECT_EQ(effect->getParameter(1), c.readBack) << c.value;
    EXPECT_EQ(display(*effect, 1), c.display) << c.value;
  }
}

TEST(Parameters, DepthSpansFiftyMilliseconds) {
  struct Case {
    float value, readBack;
    const char* display;
  };
  for (const Case c : {Case{1.0f, 1.0f, "50.00000"}, Case{0.0f, 0.0f, "0.000000"},
                       Case{0.25f, 0.25f, "12.50000"}, Case{0.5f, 0.5f, "25.00000"}}) {
    auto effect = makeEffect();
    effect->setParameter(2, c.value);
    EXPECT_EQ(effect->getParameter(2), c.readBack) << c.value;
    EXPECT_EQ(display(*effect, 2), c.display) << c.value;
  }
}

TEST(Parameters, OtherIndicesAreIgnored) {
  auto effect = makeEffect();
  for (VstInt32 index : {3, -1, 1000, std::numeric_limits<VstInt32>::min()}) {
    effect->setParameter(index, 1.0f);
    EXPECT_EQ(effect->getParameter(index), 0.0f);
    Buffer name, label, text;
    effect->getParameterName(index, name.bytes);
    effect->getParameterLabel(index, label.bytes);
    effect->getParameterDisplay(index, text.bytes);
    EXPECT_EQ(name.written() + label.written() + text.written(), 0u) << index;
  }
  EXPECT_EQ(effect->getParameter(0), 0.0f);
  EXPECT_EQ(effect->getParameter(1), 0.5f);
  EXPECT_EQ(effect->getParameter(2), 0.2f);
}

TEST(Parameters, TextsFillExactlyNineBytes) {
  auto effect = makeEffect();
  struct Case {
    VstInt32 index;
    const char* name;
    const char* label;
  };
  for (const Case c : {Case{0, "Input", ""}, Case{1, "Channel", ""}, Case{2, "Depth", "ms"}}) {
    Buffer name, label;
    effect->getParameterName(c.index, name.bytes);
    effect->getParameterLabel(c.index, label.bytes);
    EXPECT_STREQ(name.bytes, c.name);
    EXPECT_STREQ(label.bytes, c.label);
    EXPECT_EQ(name.written(), 9u);
    EXPECT_EQ(label.written(), 9u);
    for (size_t i = std::strlen(c.name); i <= 8; ++i) EXPECT_EQ(name.bytes[i], '\0');
    for (size_t i = std::strlen(c.label); i <= 8; ++i) EXPECT_EQ(label.bytes[i], '\0');
  }
  Buffer text;
  effect->getParameterDisplay(0, text.bytes);
  EXPECT_EQ(text.written(), 9u);
}

TEST(Parameters, NullTextBuffersAreSurvived) {
  auto effect = makeEffect();
  for (VstInt32 index = 0; index < 3; ++index) {
    effect->getParameterName(index, nullptr);
    effect->getParameterLabel(index, nullptr);
    effect->getParameterDisplay(index, nullptr);
  }
}

}  // namespace

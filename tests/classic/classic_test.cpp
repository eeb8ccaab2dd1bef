// The classic helper names' bounds, and the classic-style effects built
// through FRAMEWORK_HEADERS loaded through their entries: one behaviour each
// that a wrong header, a lost override or a wrong limit would break.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "plugin_test.h"
#include "vst/classic_names.h"

namespace {

// A buffer of `size` bytes filled with '#', to see how far a helper wrote.
struct Marked {
  char bytes[80];
  Marked() { std::memset(bytes, '#', sizeof bytes); }
  // How many bytes from the start were written (are no longer '#').
  std::size_t written() const {
    std::size_t last = 0;
    for (std::size_t i = 0; i < sizeof bytes; ++i)
      if (bytes[i] != '#') last = i + 1;
    return last;
  }
};

// At most maxLen characters, then zeros through index maxLen and nothing past
// it, also with the byte-size constants passed as plain numbers, as classic
// code passes them; append keeps the text already there. Null and negative
// write nothing.
TEST(ClassicNames, CopyAndAppendWriteExactlyMaxLenPlusOneBytes) {
  Marked name, vendor, label, negative;
  EXPECT_EQ(vst_strncpy(name.bytes, "A rather long effect name, over 31", kVstMaxEffectNameLen - 1),
            name.bytes);
  EXPECT_STREQ(name.bytes, "A rather long effect name, over");
  EXPECT_EQ(name.written(), 32u);
  vst_strncpy(vendor.bytes, "Short", kVstMaxVendorStrLen);
  EXPECT_STREQ(vendor.bytes, "Short");
  EXPECT_EQ(vendor.written(), 65u) << "zero-filled through index 64";

  vst_strncpy(label.bytes, "dB", kVstMaxParamStrLen);
  EXPECT_EQ(vst_strncat(label.bytes, " gain", kVstMaxParamStrLen), label.bytes);
  EXPECT_STREQ(label.bytes, "dB gain");
  vst_strncat(label.bytes, " and more", kVstMaxParamStrLen);
  EXPECT_STREQ(label.bytes, "dB gain ");
  EXPECT_EQ(label.written(), 9u);
  vst_strncat(label.bytes, "x", 3);
  EXPECT_STREQ(label.bytes, "dB ") << "a longer text is cut at maxLen";

  EXPECT_EQ(vst_strncpy(nullptr, "x", 8), nullptr);
  EXPECT_EQ(vst_strncat(nullptr, "x", 8), nullptr);
  vst_strncpy(negative.bytes, "x", -1);
  vst_strncat(negative.bytes, "x", -5);
  EXPECT_EQ(negative.written(), 0u);
  vst_strncpy(negative.bytes, nullptr, 2);
  EXPECT_EQ(negative.bytes[0], '\0');
  EXPECT_EQ(negative.written(), 3u);
}

// Displays through dB2string, the vendor version, the double path.
TEST(ClassicEffects, GainShowsDecibelsAndProcessesBothPrecisions) {
  LoadedPlugin gain;
  ASSERT_TRUE(gain.load(CLASSICGAIN));
  gain.plugin->setParameter(0, 0.5f);
  EXPECT_EQ(gain.plugin->parameterDisplay(0), "-6.02059");
  EXPECT_EQ(gain.plugin->effectName(), "Classic Gain");
  EXPECT_EQ(gain.plugin->dispatch(effGetVendorVersion), 1000);
  gain.plugin->activate(44100.0f, 4);
  double in[4] = {1, -1, 0.5, 0}, left[4], right[4];
  double* inputs[2] = {in, in};
  double* outputs[2] = {left, right};
  gain.plugin->processDoubleReplacing(inputs, outputs, 4);
  EXPECT_EQ(right[2], 0.25);
}

// Programs with names, each keeping its own settings.
TEST(ClassicEffects, DelayProgramsKeepNamesAndSettings) {
  LoadedPlugin delay;
  ASSERT_TRUE(delay.load(CLASSICDELAY));
  ASSERT_EQ(delay.plugin->record()->numPrograms, 3);
  const char* names[] = {"Init", "Slapback", "Long"};
  for (VstInt32 i = 0; i < 3; ++i) {
    char text[kVstMaxProgNameLen + 1] = {};
    EXPECT_EQ(delay.plugin->dispatch(effGetProgramNameIndexed, i, 0, text), 1);
    EXPECT_STREQ(text, names[i]);
  }
  delay.plugin->activate(44100.0f, 512);
  delay.plugin->dispatch(effSetProgram, 0, 1);
  EXPECT_FLOAT_EQ(delay.plugin->getParameter(0), 0.1f);
  EXPECT_EQ(delay.plugin->parameterDisplay(0), "99.97732") << "4409 samples in ms";
  delay.plugin->dispatch(effSetProgram, 0, 2);
  EXPECT_EQ(delay.plugin->parameterDisplay(1), "0.699999") << "0.7f, cut, not rounded";
}

// Its chunk moves to another instance; a short or foreign one is refused and
// changes nothing.
TEST(ClassicEffects, CrusherChunkMovesAndAShortOneIsRefused) {
  LoadedPlugin from, to;
  ASSERT_TRUE(from.load(CLASSICCRUSHER));
  ASSERT_TRUE(to.load(CLASSICCRUSHER));
  from.plugin->setParameter(0, 1.0f);
  void* data = nullptr;
  const VstIntPtr size = from.plugin->dispatch(effGetChunk, 0, 0, &data);
  ASSERT_GT(size, 8);
  std::string chunk(static_cast<const char*>(data), static_cast<std::size_t>(size));
  EXPECT_EQ(to.plugin->dispatch(effSetChunk, 0, size - 1, &chunk[0]), 0);
  EXPECT_EQ(to.plugin->parameterDisplay(0), "9");
  EXPECT_EQ(to.plugin->dispatch(effSetChunk, 0, size, &chunk[0]), 1);
  EXPECT_EQ(to.plugin->parameterDisplay(0), "16");
}

// effCanDo from its table; bypassed, the input passes through.
TEST(ClassicEffects, FilterAnswersItsCanDoTableAndBypasses) {
  LoadedPlugin filter;
  ASSERT_TRUE(filter.load(CLASSICFILTER));
  char send[] = "plugAsSend", offline[] = "offline";
  EXPECT_EQ(filter.plugin->dispatch(effCanDo, 0, 0, send), 1);
  EXPECT_EQ(filter.plugin->dispatch(effCanDo, 0, 0, offline), -1);
  filter.plugin->activate(44100.0f, 4);
  EXPECT_EQ(filter.plugin->parameterDisplay(0), "632.4555") << "20 Hz times the root of 1000";
  EXPECT_EQ(filter.plugin->dispatch(effSetBypass, 0, 1), 1);
  float in[4] = {1, -1, 0.5f, 0}, left[4], right[4];
  float* inputs[2] = {in, in};
  float* outputs[2] = {left, right};
  filter.plugin->processReplacing(inputs, outputs, 4);
  EXPECT_EQ(std::memcmp(left, in, sizeof in), 0);
}

// Typed in as a percentage, shown as one; hard left leaves the right silent.
TEST(ClassicEffects, PanTakesAndShowsPercentages) {
  LoadedPlugin pan;
  ASSERT_TRUE(pan.load(CLASSICPAN));
  char hardLeft[] = "-100";
  EXPECT_EQ(pan.plugin->dispatch(effString2Parameter, 0, 0, hardLeft), 1);
  EXPECT_EQ(pan.plugin->parameterDisplay(0), "-100");
  EXPECT_EQ(pan.plugin->vendorString(), "Velmbrook Classics");
  pan.plugin->activate(44100.0f, 2);
  float in[2] = {1, 1}, left[2], right[2];
  float* inputs[1] = {in};
  float* outputs[2] = {left, right};
  pan.plugin->processReplacing(inputs, outputs, 2);
  EXPECT_EQ(left[1], 1.0f);
  EXPECT_EQ(right[1], 0.0f);
}

}  // namespace

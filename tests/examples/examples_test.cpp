// The example effects, loaded through their entries: one behaviour each that a
// slip in the example would break.
#include <gtest/gtest.h>

#include <vector>

#include "plugin_test.h"

namespace {

// Runs `frames` frames through the instance in blocks of `block`, with every
// input sample 1.0; returns the left output.
std::vector<float> renderOnes(host::Plugin& plugin, VstInt32 frames, VstInt32 block) {
  std::vector<float> in(static_cast<std::size_t>(block), 1.0f), left(frames), right(frames);
  for (VstInt32 at = 0; at < frames; at += block) {
    const VstInt32 count = std::min(block, frames - at);
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {left.data() + at, right.data() + at};
    plugin.processReplacing(inputs, outputs, count);
  }
  return left;
}

TEST(GainExample, AQuarterOfTheRangeHalvesTheSignal) {
  LoadedPlugin gain;
  ASSERT_TRUE(gain.load(GAIN_MODULE));
  EXPECT_EQ(gain.plugin->record()->version, 1000) << "the version the effect set";
  gain.plugin->activate(44100.0f, 64);
  gain.plugin->setParameter(0, 0.25f);
  EXPECT_EQ(gain.plugin->parameterDisplay(0), "-6.02059");
  for (const float sample : renderOnes(*gain.plugin, 64, 64)) ASSERT_EQ(sample, 0.5f);
}

TEST(TremoloExample, ThePhaseCarriesOverFromBlockToBlock) {
  LoadedPlugin whole, pieces;
  ASSERT_TRUE(whole.load(TREMOLO_MODULE));
  ASSERT_TRUE(pieces.load(TREMOLO_MODULE));
  whole.plugin->activate(44100.0f, 4096);
  pieces.plugin->activate(44100.0f, 100);
  const std::vector<float> expected = renderOnes(*whole.plugin, 4096, 4096);
  EXPECT_LT(*std::min_element(expected.begin(), expected.end()), 0.9f) << "no tremolo at all";
  EXPECT_EQ(renderOnes(*pieces.plugin, 4096, 100), expected);
}

TEST(SineSynthExample, NoteA4SoundsAt440Hz) {
  LoadedPlugin synth;
  ASSERT_TRUE(synth.load(SINE_SYNTH_MODULE));
  synth.plugin->activate(48000.0f, 4800);
  VstMidiEvent noteOn{
      kVstMidiType, sizeof(VstMidiEvent) - 8, 0, 0, 0, 0, {char(0x90), 69, 100, 0}, 0, 0, 0, 0};
  VstEvents events{1, 0, {reinterpret_cast<VstEvent*>(&noteOn), nullptr}};
  synth.plugin->dispatch(effProcessEvents, 0, 0, &events);
  // One second: count the upward zero crossings after the attack.
  std::vector<float> left(48000), right(48000);
  float* outputs[2] = {left.data(), right.data()};
  synth.plugin->processReplacing(nullptr, outputs, 48000);
  int crossings = 0;
  for (std::size_t i = 1; i < left.size(); ++i) crossings += left[i - 1] < 0.0f && left[i] >= 0.0f;
  EXPECT_NEAR(crossings, 440, 1);
}

}  // namespace

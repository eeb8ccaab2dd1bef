// The example effects, loaded through their entries: one behaviour each that a
// slip in the example would break.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "plugin_test.h"

namespace {

// Runs `frames` frames through the instance in blocks of `block`, with every
// input sample 1.0, moving the host's transport on; returns the left output.
std::vector<float> renderOnes(host::Plugin& plugin, VstInt32 frames, VstInt32 block) {
  std::vector<float> in(static_cast<std::size_t>(block), 1.0f), left(frames), right(frames);
  for (VstInt32 at = 0; at < frames; at += block) {
    const VstInt32 count = std::min(block, frames - at);
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {left.data() + at, right.data() + at};
    plugin.processReplacing(inputs, outputs, count);
    plugin.host().transport().advance(count);
  }
  return left;
}

// Typed in as decibels; a change while running eases in instead of jumping.
TEST(GainExample, MinusSixDecibelsHalveTheSignalAndChangesEaseIn) {
  LoadedPlugin gain;
  ASSERT_TRUE(gain.load(GAIN_MODULE));
  EXPECT_EQ(gain.plugin->record()->version, 1000) << "the version the effect set";
  char text[] = "-6.0206 dB";
  EXPECT_EQ(gain.plugin->dispatch(effString2Parameter, 0, 0, text), 1);
  EXPECT_EQ(gain.plugin->parameterDisplay(0), "-6.02");
  EXPECT_EQ(gain.plugin->parameterLabel(0), "dB");
  gain.plugin->activate(44100.0f, 64);
  for (const float sample : renderOnes(*gain.plugin, 64, 64)) ASSERT_NEAR(sample, 0.5f, 1e-5f);
  char unity[] = "0";
  gain.plugin->dispatch(effString2Parameter, 0, 0, unity);
  const std::vector<float> eased = renderOnes(*gain.plugin, 4410, 64);
  EXPECT_GT(eased[0], 0.5f);
  EXPECT_LT(eased[0], 0.6f) << "a jump would click";
  EXPECT_EQ(eased.back(), 1.0f) << "settled within 0.1 s";
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

// Synced to 1/4 at 120 BPM the level is full on every beat (every 22050
// frames) and lowest half-way between; with no time from the host it runs
// at its own rate.
TEST(TremoloExample, SyncedItDipsBetweenTheHostsBeats) {
  LoadedPlugin tremolo;
  ASSERT_TRUE(tremolo.load(TREMOLO_MODULE));
  char quarter[] = "1/4";
  ASSERT_EQ(tremolo.plugin->dispatch(effString2Parameter, 2, 0, quarter), 1);
  tremolo.plugin->activate(44100.0f, 441);
  const std::vector<float> level = renderOnes(*tremolo.plugin, 44100, 441);
  EXPECT_FLOAT_EQ(level[0], 1.0f);
  EXPECT_FLOAT_EQ(level[22050], 1.0f);
  EXPECT_NEAR(level[11025], 0.5f, 1e-3f);
  EXPECT_NEAR(level[33075], 0.5f, 1e-3f);

  tremolo.host.transport().setAnswersNull(true);
  const std::vector<float> free = renderOnes(*tremolo.plugin, 44100, 441);
  EXPECT_LT(*std::min_element(free.begin(), free.end()), 0.51f) << "still a tremolo at 5 Hz";
}

// The level of `frequency` in `samples` (Goertzel), as a sine's amplitude.
double amplitudeAt(const std::vector<float>& samples, double frequency, double rate) {
  const double coefficient = 2.0 * std::cos(6.283185307179586 * frequency / rate);
  double previous = 0.0, before = 0.0;
  for (const float sample : samples) {
    const double current = sample + coefficient * previous - before;
    before = previous;
    previous = current;
  }
  const double power = previous * previous + before * before - coefficient * previous * before;
  return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(samples.size());
}

double keyHz(int key) { return 440.0 * std::pow(2.0, (key - 69) / 12.0); }

// Renders `frames` frames of the instrument in blocks of 4800, `events` with the first.
std::vector<float> play(host::Plugin& synth, const host::EventList& events, VstInt32 frames) {
  std::vector<float> left(static_cast<std::size_t>(frames)), right(left.size());
  for (VstInt32 at = 0; at < frames; at += 4800) {
    float* outputs[2] = {left.data() + at, right.data() + at};
    synth.processReplacing(at == 0 ? events : host::EventList(), nullptr, outputs,
                           std::min<VstInt32>(4800, frames - at));
  }
  EXPECT_EQ(left, right);
  return left;
}

TEST(SineSynthExample, NoteA4SoundsAt440Hz) {
  LoadedPlugin synth;
  ASSERT_TRUE(synth.load(SINE_SYNTH_MODULE));
  synth.plugin->activate(48000.0f, 4800);
  // One second: count the upward zero crossings after the attack.
  const std::vector<float> left = play(*synth.plugin, host::EventList().noteOn(0, 69, 100), 48000);
  int crossings = 0;
  for (std::size_t i = 1; i < left.size(); ++i) crossings += left[i - 1] < 0.0f && left[i] >= 0.0f;
  EXPECT_NEAR(crossings, 440, 1);
}

TEST(SineSynthExample, PlaysEightNotesAtTheirFramesAndStealsTheOldestForANinth) {
  LoadedPlugin synth;
  ASSERT_TRUE(synth.load(SINE_SYNTH_MODULE));
  synth.plugin->activate(48000.0f, 4800);
  // A chord struck at frame 1000: silence before, every note after.
  host::EventList chord;
  for (int key = 60; key < 68; ++key) chord.noteOn(1000, key, 100);
  std::vector<float> out = play(*synth.plugin, chord, 24000);
  EXPECT_EQ(*std::max_element(out.begin(), out.begin() + 1001), 0.0f);
  EXPECT_NE(out[1001], 0.0f);
  const std::vector<float> held(out.begin() + 4800, out.end());
  for (int key = 60; key < 68; ++key)
    EXPECT_NEAR(amplitudeAt(held, keyHz(key), 48000.0), 0.25 * 0.25 * 100 / 127, 0.005)
        << "key " << key;

  // A ninth note takes the voice held longest (key 60); the others play on.
  out = play(*synth.plugin, host::EventList().noteOn(0, 72, 100), 24000);
  const std::vector<float> stolen(out.begin() + 4800, out.end());
  EXPECT_LT(amplitudeAt(stolen, keyHz(60), 48000.0), 0.005);
  EXPECT_GT(amplitudeAt(stolen, keyHz(61), 48000.0), 0.015);
  EXPECT_GT(amplitudeAt(stolen, keyHz(72), 48000.0), 0.015);

  // All notes off at frame 100: silent within the 50 ms release, exactly.
  out = play(*synth.plugin, host::EventList().controller(100, 123, 0), 4800);
  EXPECT_NE(out[2000], 0.0f);
  for (std::size_t i = 2500; i < out.size(); ++i) ASSERT_EQ(out[i], 0.0f) << "frame " << i;
}

}  // namespace

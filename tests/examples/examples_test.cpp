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

// Upward zero crossings of `samples` from `from` to `to`: a sine's cycles.
int cycles(const std::vector<float>& samples, std::size_t from, std::size_t to) {
  int crossings = 0;
  for (std::size_t i = from + 1; i < to; ++i)
    crossings += samples[i - 1] < 0.0f && samples[i] >= 0.0f;
  return crossings;
}

// `a` followed by `b`.
std::vector<float> operator+(std::vector<float> a, const std::vector<float>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A voice at full level: velocity 100 at the default -12 dB.
const double kLevel = 0.25 * std::pow(10.0, -12.0 / 20.0) * 100.0 / 127.0;

// With eight voices: six keys held, two that only the pedal holds; a ninth
// note takes the pedal's note whose key went up first, and every held note
// plays on. At its frame the stolen note fades out within 4 ms, so no step
// between frames exceeds what the sounding sines and the ramps can make.
TEST(SineSynthExample, StealsAPedalNoteBeforeAHeldOneAndFadesTheStolenNote) {
  LoadedPlugin synth;
  ASSERT_TRUE(synth.load(SINE_SYNTH_MODULE));
  synth.plugin->activate(48000.0f, 4800);
  host::EventList events;
  events.controller(0, 64, 127);
  for (int key = 48; key < 56; ++key) events.noteOn(0, key, 100);
  events.noteOff(100, 54).noteOff(200, 55);
  // Key 54 (185.0 Hz, begun at frame 0) is at its peak at frame 2400.
  events.noteOn(2400, 60, 100);
  const std::vector<float> out = play(*synth.plugin, events, 48000);
  const std::vector<float> after(out.begin() + 4800, out.end());
  EXPECT_LT(amplitudeAt(after, keyHz(54), 48000.0), 0.2 * kLevel)
      << "the pedal's first note was stolen";
  for (const int key : {48, 49, 50, 51, 52, 53, 55, 60})
    EXPECT_NEAR(amplitudeAt(after, keyHz(key), 48000.0), kLevel, 0.15 * kLevel) << "key " << key;

  double bound = 0.0;  // per frame: each sine's steepest slope, and its ramp
  for (const int key : {48, 49, 50, 51, 52, 53, 54, 55, 60})
    bound += kLevel * (6.283185307179586 * keyHz(key) / 48000.0 + 1.0 / (0.004 * 48000.0));
  ASSERT_LT(bound, 0.5 * kLevel) << "cutting key 54 at once would step by its level";
  for (std::size_t i = 1; i < out.size(); ++i)
    ASSERT_LE(std::fabs(out[i] - out[i - 1]), bound) << "frame " << i;
}

// MPE as a controller turns it on (RPN 6 on channel 1, fifteen member
// channels): a member's bend, 48 semitones at full, moves its own note only;
// the master's, 2 semitones at full, moves every note.
TEST(SineSynthExample, AnMpeMemberBendMovesItsNoteAndTheMastersMovesAll) {
  LoadedPlugin synth;
  ASSERT_TRUE(synth.load(SINE_SYNTH_MODULE));
  synth.plugin->activate(48000.0f, 4800);
  host::EventList mpe;
  mpe.controller(0, 101, 0).controller(0, 100, 6).controller(0, 6, 15);
  mpe.noteOn(0, 57, 100, 1).noteOn(0, 64, 100, 2).pitchBend(0, 2048, 1);  // a quarter: 12 semitones
  std::vector<float> out = play(*synth.plugin, mpe, 24000);
  std::vector<float> held(out.begin() + 4800, out.end());
  EXPECT_NEAR(amplitudeAt(held, 440.0, 48000.0), kLevel, 0.002);
  EXPECT_LT(amplitudeAt(held, 220.0, 48000.0), 0.002);
  EXPECT_NEAR(amplitudeAt(held, keyHz(64), 48000.0), kLevel, 0.002) << "channel 3 unbent";

  out = play(*synth.plugin, host::EventList().pitchBend(0, 4096, 0), 24000);  // half: 1 semitone
  held.assign(out.begin() + 4800, out.end());
  EXPECT_NEAR(amplitudeAt(held, keyHz(70), 48000.0), kLevel, 0.002);
  EXPECT_NEAR(amplitudeAt(held, keyHz(65), 48000.0), kLevel, 0.002);
  EXPECT_LT(amplitudeAt(held, keyHz(64), 48000.0), 0.002);
}

// 5,000 events in one block, far past the queue: notes on every channel, the
// pedal, bends and wheels, then the pedal lifted and every key released.
// Nothing sounds once the releases have died away.
TEST(SineSynthExample, AFloodEndingInNoteOffsLeavesSilence) {
  LoadedPlugin synth;
  ASSERT_TRUE(synth.load(SINE_SYNTH_MODULE));
  synth.plugin->activate(48000.0f, 4800);
  host::EventList flood;
  flood.controller(0, 64, 127, 3);
  for (int i = 0; i < 2950; ++i) {
    const VstInt32 frame = i * 4000 / 2950;
    if (i % 10 == 4)
      flood.pitchBend(frame, (i * 37) % 16384 - 8192, i % 16);
    else if (i % 10 == 9)
      flood.controller(frame, 1, i % 128, i % 16);
    else
      flood.noteOn(frame, (i * 7) % 128, 1 + i % 127, i % 16);
  }
  flood.controller(4000, 64, 0, 3);
  for (int channel = 0; channel < 16; ++channel)
    for (int key = 0; key < 128; ++key) flood.noteOff(4000 + key, key, 0, channel);
  ASSERT_EQ(flood.size(), 5000u);
  const std::vector<float> out = play(*synth.plugin, flood, 4800 * 3);
  EXPECT_NE(*std::max_element(out.begin(), out.begin() + 4000), 0.0f);
  for (std::size_t i = 4800 + 2400 + 200; i < out.size(); ++i)
    ASSERT_EQ(out[i], 0.0f) << "frame " << i;
}

// Mode Legato: a second key glides there (an octave at 100 semitones a
// second: 38.1 cycles in 0.12 s instead of 52.8 at once) with no new attack,
// the level never dipping; releasing it glides back to the key still held.
TEST(SineSynthExample, InLegatoASecondKeyGlidesWithoutANewAttack) {
  LoadedPlugin synth;
  ASSERT_TRUE(synth.load(SINE_SYNTH_MODULE));
  char legato[] = "Legato";
  ASSERT_EQ(synth.plugin->dispatch(effString2Parameter, 1, 0, legato), 1);
  synth.plugin->activate(48000.0f, 4800);
  std::vector<float> out = play(*synth.plugin, host::EventList().noteOn(0, 57, 100), 9600);
  out = out + play(*synth.plugin, host::EventList().noteOn(0, 69, 100), 24000);
  out = out + play(*synth.plugin, host::EventList().noteOff(0, 69), 24000);
  EXPECT_NEAR(cycles(out, 9600, 9600 + 5760), 38, 1);
  EXPECT_NEAR(cycles(out, 14400, 14400 + 19200), 176, 1) << "440 Hz";
  EXPECT_NEAR(cycles(out, 38400, 38400 + 19200), 88, 1) << "220 Hz again";
  for (std::size_t at = 480; at + 218 < out.size(); at += 50) {
    const float peak =
        std::fabs(*std::max_element(out.begin() + at, out.begin() + at + 218,
                                    [](float a, float b) { return std::fabs(a) < std::fabs(b); }));
    ASSERT_NEAR(peak, kLevel, 0.02 * kLevel) << "frame " << at;
  }
}

}  // namespace

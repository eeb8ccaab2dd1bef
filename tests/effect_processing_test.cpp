// Audio processing of the effect, driven through the class.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "effect_instance.h"

namespace {

struct Stereo {
  std::vector<float> left, right;
  explicit Stereo(size_t frames = 0) : left(frames), right(frames) {}
  size_t size() const { return left.size(); }
};

Stereo noise(size_t frames, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
  Stereo signal(frames);
  for (size_t i = 0; i < frames; ++i) {
    signal.left[i] = sample(random);
    signal.right[i] = sample(random);
  }
  return signal;
}

// Runs `in` through the effect in blocks of the given sizes (cycled).
Stereo run(QuillaneVST& effect, const Stereo& in, const std::vector<size_t>& blocks) {
  Stereo out(in.size());
  size_t start = 0;
  for (size_t b = 0; start < in.size(); ++b) {
    const size_t count = std::min(blocks[b % blocks.size()], in.size() - start);
    float* inputs[2] = {const_cast<float*>(in.left.data()) + start,
                        const_cast<float*>(in.right.data()) + start};
    float* outputs[2] = {out.left.data() + start, out.right.data() + start};
    effect.processReplacing(inputs, outputs, static_cast<VstInt32>(count));
    start += count;
  }
  return out;
}

Stereo run(QuillaneVST& effect, const Stereo& in) { return run(effect, in, {in.size()}); }

float lagged(const std::vector<float>& source, size_t i, size_t lag) {
  return i >= lag ? source[i - lag] : 0.0f;
}

TEST(Processing, DefaultsDelayTheRightChannelBy440Frames) {
  auto effect = makeEffect();
  const Stereo in = noise(2000, 1);
  const Stereo out = run(*effect, in, {64});
  for (size_t i = 0; i < in.size(); ++i) {
    ASSERT_EQ(out.left[i], in.left[i]) << i;
    ASSERT_EQ(out.right[i], lagged(in.right, i, 440)) << i;
  }
}

TEST(Processing, ThreeFramesOfDelayLagTwo) {
  auto effect = makeEffect();
  effect->setParameter(QuillaneVST::kParamDepth, 0.07f / 50.0f);
  ASSERT_EQ(QuillaneVST::delayFramesFor(0.07f, 44100.0f), 3);
  Stereo in(5);
  in.right = {1, 2, 3, 4, 5};
  EXPECT_EQ(run(*effect, in).right, (std::vector<float>{0, 0, 1, 2, 3}));
}

TEST(Processing, ZeroDepthPassesEachModeThrough) {
  const Stereo in = noise(300, 2);
  struct Case {
    float input;
    int mode;
  };
  for (const Case c : {Case{0.0f, 0}, Case{0.25f, 1}, Case{0.5f, 2}, Case{1.0f, 3}}) {
    auto effect = makeEffect();
    effect->setParameter(QuillaneVST::kParamInput, c.input);
    effect->setParameter(QuillaneVST::kParamDepth, 0.0f);
    const Stereo out = run(*effect, in);
    for (size_t i = 0; i < in.size(); ++i) {
      const float mono = (in.left[i] + in.right[i]) * 0.5f;
      const float expectLeft = c.mode == 0   ? in.left[i]
                               : c.mode == 1 ? in.left[i]
                               : c.mode == 2 ? in.right[i]
                                             : mono;
      const float expectRight = c.mode == 0 ? in.right[i] : expectLeft;
      ASSERT_EQ(out.left[i], expectLeft) << "mode " << c.mode << " frame " << i;
      ASSERT_EQ(out.right[i], expectRight) << "mode " << c.mode << " frame " << i;
    }
  }
}

TEST(Processing, DelayedModesReadTheSelectedHistory) {
  const Stereo in = noise(1000, 3);
  const size_t lag = 220 - 1;  // 5 ms at 44100 Hz: 220 frames
  for (int mode = 1; mode <= 3; ++mode) {
    for (int channel = 0; channel <= 1; ++channel) {
      auto effect = makeEffect();
      effect->setParameter(QuillaneVST::kParamInput, static_cast<float>(mode) * 0.25f);
      effect->setParameter(QuillaneVST::kParamChannel, static_cast<float>(channel) * 0.5f);
      effect->setParameter(QuillaneVST::kParamDepth, 0.1f);
      const Stereo out = run(*effect, in, {37});
      const auto& delayed = channel == 0 ? out.left : out.right;
      const auto& undelayed = channel == 0 ? out.right : out.left;
      for (size_t i = 0; i < in.size(); ++i) {
        auto source = [&](size_t at, size_t back) {
          const float l = lagged(in.left, at, back), r = lagged(in.right, at, back);
          return mode == 1 ? l : mode == 2 ? r : (l + r) * 0.5f;
        };
        ASSERT_EQ(undelayed[i], source(i, 0)) << mode << channel << i;
        ASSERT_EQ(delayed[i], source(i, lag)) << mode << channel << i;
      }
    }
  }
}

TEST(Processing, StereoWithLeftDelayedUsesTheLeftHistory) {
  auto effect = makeEffect();
  effect->setParameter(QuillaneVST::kParamChannel, 0.0f);
  const Stereo in = noise(1000, 4);
  const Stereo out = run(*effect, in);
  for (size_t i = 0; i < in.size(); ++i) {
    ASSERT_EQ(out.right[i], in.right[i]);
    ASSERT_EQ(out.left[i], lagged(in.left, i, 440));
  }
}

TEST(Processing, DelayFramesFollowDepthAndRate) {
  struct Case {
    float depthMs, rate;
    VstInt32 frames;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (const Case c :
       {Case{10, 44100, 441}, Case{10, 48000, 480}, Case{5, 44100, 220}, Case{50, 44100, 2205},
        Case{50, 96000, 4800}, Case{0.03f, 44100, 1}, Case{0.02f, 44100, 0},
        Case{50, 882000, 44100}, Case{50, 900000, 0}, Case{-10, 44100, -441}, Case{nan, 44100, 0},
        Case{10, nan, 0}, Case{inf, 44100, 0}, Case{-inf, 44100, 0}, Case{-1e30f, 44100, 0},
        Case{-2147400.0f, 1e6f, 0}, Case{-1e6f, 2000, -2000000}}) {
    EXPECT_EQ(QuillaneVST::delayFramesFor(c.depthMs, c.rate), c.frames)
        << c.depthMs << " ms at " << c.rate << " Hz";
  }
}

TEST(Processing, LongestAndOutOfRangeDelays) {
  const Stereo in = noise(50000, 5);
  auto longest = makeEffect();
  longest->setSampleRate(882000.0f);
  longest->setParameter(QuillaneVST::kParamDepth, 1.0f);
  Stereo out = run(*longest, in, {4096});
  for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(out.right[i], lagged(in.right, i, 44099)) << i;

  for (float depth : {std::numeric_limits<float>::quiet_NaN(), 1e30f, -1e30f}) {
    auto passing = makeEffect();
    passing->setParameter(QuillaneVST::kParamDepth, depth);
    out = run(*passing, in, {1000});
    ASSERT_EQ(out.right, in.right) << depth;
  }
}

TEST(Processing, NegativeDelayReadsOlderHistoryInsideTheRing) {
  auto effect = makeEffect();
  effect->setParameter(QuillaneVST::kParamDepth, -0.2f);  // -10 ms: -441 frames
  const Stereo in = noise(50000, 6);
  const Stereo out = run(*effect, in, {333});
  const size_t lag = 44100 - 442;  // (-441 - 1) mod 44100
  for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(out.right[i], lagged(in.right, i, lag)) << i;
}

TEST(Processing, SwitchingInputOrChannelReadsRealHistory) {
  const Stereo in = noise(3000, 8);
  auto effect = makeEffect();
  effect->setParameter(QuillaneVST::kParamDepth, 0.0f);
  run(*effect, Stereo(noise(1000, 8)));  // same first 1000 frames as `in`
  effect->setParameter(QuillaneVST::kParamDepth, 0.2f);
  effect->setParameter(QuillaneVST::kParamInput, 0.25f);  // L, right delayed
  Stereo rest(2000);
  std::copy(in.left.begin() + 1000, in.left.end(), rest.left.begin());
  std::copy(in.right.begin() + 1000, in.right.end(), rest.right.begin());
  const Stereo out = run(*effect, rest);
  for (size_t i = 0; i < rest.size(); ++i) ASSERT_EQ(out.right[i], in.left[1000 + i - 440]) << i;
}

TEST(Processing, SampleRateChangeKeepsTheRing) {
  const Stereo in = noise(4000, 10);
  auto effect = makeEffect();
  Stereo first(2000), second(2000);
  std::copy(in.right.begin(), in.right.begin() + 2000, first.right.begin());
  std::copy(in.right.begin() + 2000, in.right.end(), second.right.begin());
  run(*effect, first);
  effect->setSampleRate(48000.0f);  // 10 ms: 480 frames, lag 479
  const Stereo out = run(*effect, second);
  for (size_t i = 0; i < 2000; ++i) ASSERT_EQ(out.right[i], in.right[2000 + i - 479]) << i;
}

}  // namespace

// The optimised processing against the frame-by-frame reference: long random
// streams with random block sizes, parameter values (regular, out of range, not
// a number), sample rates and buffer layouts must give bit-identical buffers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "literal_processing.h"
#include "quillane_vst.h"
#include "stretch_kernels.h"

namespace {

constexpr size_t kLongestBlock = 50000;
constexpr size_t kStride = kLongestBlock + 32;  // one region per buffer in the arena

// Where the two inputs and two outputs lie in the arena, in samples.
struct Layout {
  const char* name;
  size_t in[2], out[2];
};
constexpr Layout kLayouts[] = {
    {"separate", {0, kStride}, {2 * kStride, 3 * kStride}},
    {"in place", {0, kStride}, {0, kStride}},
    {"swapped", {0, kStride}, {kStride, 0}},
    {"left output on right input", {0, kStride}, {kStride, 3 * kStride}},
    {"right output on left input", {0, kStride}, {2 * kStride, 0}},
    {"one output buffer", {0, kStride}, {2 * kStride, 2 * kStride}},
    {"one input buffer, in place", {0, 0}, {0, 2 * kStride}},
    {"outputs overlapping inputs", {0, kStride}, {5, kStride + 3}},
    {"outputs overlapping each other", {0, kStride}, {2 * kStride, 2 * kStride + 7}},
    // Apart for blocks of up to 64 frames, overlapping for longer ones.
    {"outputs 64 samples past the inputs", {0, kStride}, {64, kStride + 64}},
};

template <typename T>
T pick(std::mt19937& random, std::initializer_list<T> values) {
  return values.begin()[std::uniform_int_distribution<size_t>(0, values.size() - 1)(random)];
}

// Runs with each lane width of the kernels this processor and build have.
class DifferentialProcessing : public testing::TestWithParam<orsolane::KernelSet> {
 protected:
  void SetUp() override {
    if (!orsolane::useKernels(GetParam())) GTEST_SKIP() << "this processor lacks these kernels";
  }
  void TearDown() override { orsolane::useKernels(orsolane::widestKernels()); }
};

std::string kernelSetName(const testing::TestParamInfo<orsolane::KernelSet>& info) {
  static const char* const kNames[] = {"Sse2", "Avx", "Avx512"};
  return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Kernels, DifferentialProcessing,
                         testing::Values(orsolane::KernelSet::kSse2, orsolane::KernelSet::kAvx,
                                         orsolane::KernelSet::kAvx512),
                         kernelSetName);

// Streams 0 and 1 change something at almost every call; streams 2 and 3 keep
// their buffers and change a setting about once in 40 calls, the way hosts
// drive an effect, so most of their blocks take the planned path, wrapping the
// ring and reading delayed samples from behind its start. Stream 3 also returns
// to the same few Depths often.
TEST_P(DifferentialProcessing, RandomStreamsMatchTheFrameByFrameReference) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  std::mt19937 random(20240611);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
  std::vector<float> optimisedArena(4 * kStride), referenceArena(4 * kStride);
  size_t framesCompared = 0;

  for (int stream = 0; stream < 4; ++stream) {
    auto optimised = std::make_unique<Observed<QuillaneVST>>(nullptr);
    auto reference = std::make_unique<Observed<LiteralQuillane>>();
    const bool steady = stream >= 2;
    const unsigned changeEvery = steady ? 40 : 4;
    const Layout& steadyLayout = kLayouts[random() % std::size(kLayouts)];
    const size_t hostBlock = stream == 2 ? 64 : 1000;
    for (int call = 0; call < (steady ? 2000 : 600); ++call) {
      // Change each parameter and the sample rate now and then, to anything a host could send.
      auto set = [&](VstInt32 index, float value) {
        optimised->setParameter(index, value);
        reference->setParameter(index, value);
      };
      if (random() % changeEvery == 0)
        set(0, random() % 2 ? unit(random) : pick(random, {1.3f, -0.6f, 4.0f, nan, 1e12f, -inf}));
      if (random() % changeEvery == 0)
        set(1, random() % 2 ? unit(random) : pick(random, {nan, -1.0f, 7.0f}));
      if (stream == 3 && random() % 8 == 0) {
        // A few Depths again and again: settings come back to ones planned before.
        set(2, pick(random, {0.2f, 0.0f, 0.7f}));
      } else if (random() % changeEvery == 0) {
        // Regular depths, none, out of range, and delays of exactly the ring, just
        // inside it and just below zero (lags near the ring's length).
        const float rate = optimised->getSampleRate();
        const float framesToDepth = 1000.0f / (rate * 50.0f);
        set(2, random() % 2 ? unit(random)
                            : pick(random, {0.0f, -0.2f, nan, inf, 25.0f, -1e9f,
                                            44100.0f * framesToDepth, 44037.5f * framesToDepth,
                                            -1.0f * framesToDepth, -40.5f * framesToDepth,
                                            1.5f * framesToDepth, -44099.0f * framesToDepth}));
      }
      if (random() % (2 * changeEvery) == 0) {
        const float rate =
            pick(random, {44100.0f, 48000.0f, 96000.0f, 882000.0f, 900000.0f, 0.0f, -44100.0f, nan,
                          1e30f, 8000.0f + 200000.0f * unit(random)});
        optimised->setSampleRate(rate);
        reference->setSampleRate(rate);
      }

      // Block sizes from none to more than the ring, and now and then a negative
      // count, which must touch no buffer and still compute the delay.
      const auto kind = random() % (steady ? 64 : 8);
      const size_t frames = kind >= 32
                                ? hostBlock
                                : std::uniform_int_distribution<size_t>(0, kind == 0 ? kLongestBlock
                                                                           : kind < 4 ? 700
                                                                                      : 70)(random);
      const VstInt32 count = kind == 1 && random() % 4 == 0
                                 ? pick(random, {-1, -64, -0x7FFFFFFF - 1})
                                 : static_cast<VstInt32>(frames);
      const Layout& layout = steady ? steadyLayout : kLayouts[random() % std::size(kLayouts)];
      for (size_t region = 0; region < 4; ++region) {
        for (size_t i = 0; i < frames + 16; ++i)
          optimisedArena[region * kStride + i] = sample(random);
      }
      std::copy(optimisedArena.begin(), optimisedArena.end(), referenceArena.begin());
      auto process = [&](QuillaneVST& effect, std::vector<float>& arena) {
        float* inputs[2] = {&arena[layout.in[0]], &arena[layout.in[1]]};
        float* outputs[2] = {&arena[layout.out[0]], &arena[layout.out[1]]};
        effect.processReplacing(inputs, outputs, count);
      };
      process(*optimised, optimisedArena);
      process(*reference, referenceArena);
      ASSERT_EQ(std::memcmp(optimisedArena.data(), referenceArena.data(),
                            sizeof(float) * optimisedArena.size()),
                0)
          << "stream " << stream << " call " << call << ", " << count << " frames, " << layout.name
          << ", Input " << optimised->getParameter(0) << ", Channel " << optimised->getParameter(1)
          << ", Depth " << optimised->getParameter(2) * 50.0f << " ms at "
          << optimised->getSampleRate() << " Hz";
      // The state a derived effect sees: the delay of this call, the ring and its position.
      ASSERT_EQ(optimised->delayFrames(), reference->delayFrames()) << "call " << call;
      ASSERT_EQ(optimised->ringPosition(), reference->ringPosition()) << "call " << call;
      ASSERT_EQ(std::memcmp(optimised->ring(), reference->ring(),
                            sizeof(float) * optimised->kRingSamples),
                0)
          << "call " << call;
      framesCompared += count > 0 ? frames : 0;
    }
  }
  EXPECT_GT(framesCompared, 4 * 44100u * 10) << "the streams must wrap the ring many times";
}

// Settings planned for, changed for one block too long to plan and changed
// back: the block after must still see its own delay, like every block.
TEST_P(DifferentialProcessing, SettingsComingBackAfterAnUnplannedBlock) {
  auto optimised = std::make_unique<Observed<QuillaneVST>>(nullptr);
  auto reference = std::make_unique<Observed<LiteralQuillane>>();
  std::vector<float> samples(4 * kLongestBlock, 0.25f);
  float* inputs[2] = {&samples[0], &samples[kLongestBlock]};
  float* outputs[2] = {&samples[2 * kLongestBlock], &samples[3 * kLongestBlock]};
  const struct {
    float depth;
    VstInt32 frames;
  } steps[] = {{0.2f, 64}, {0.2f, 64}, {0.4f, 50000}, {0.2f, 64}, {0.2f, 64}};
  for (const auto& step : steps) {
    for (QuillaneVST* effect :
         {static_cast<QuillaneVST*>(optimised.get()), static_cast<QuillaneVST*>(reference.get())}) {
      effect->setParameter(QuillaneVST::kParamDepth, step.depth);
      effect->processReplacing(inputs, outputs, step.frames);
    }
    EXPECT_EQ(optimised->delayFrames(), reference->delayFrames()) << step.depth * 50.0f << " ms";
  }
}

}  // namespace

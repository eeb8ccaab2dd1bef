// Processing on one thread while two others change every parameter and the
// sample rate as fast as they can. Every output sample must be one a valid
// mode could have produced from the inputs: never a torn or invented value.
//
// The inputs make every sample name its frame and channel: frame n carries
// 4k + 1 on the left and 4k + 3 on the right, k = n mod 2^20, so the mono mean
// is 4k + 2. An output value thus says which source it is and how many frames
// old, and all of them are exact in float.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "plugin_test.h"
#include "vst/host.h"

namespace {

constexpr int64_t kPeriod = 1 << 20;  // well beyond the 44100-frame ring
constexpr int64_t kRingFrames = 44100;
constexpr auto kDuration = std::chrono::milliseconds(2500);

enum Source { kSilence, kLeft, kMono, kRight, kInvalid };

struct Sample {
  Source source;
  int64_t age;  // frames behind the current one
};

Sample decode(float value, int64_t frame) {
  if (value == 0.0f) return {kSilence, 0};
  if (!(value > 0.0f && value < 4.0f * kPeriod) || value != std::floor(value)) return {kInvalid, 0};
  const auto code = static_cast<int64_t>(value);
  const auto source = static_cast<Source>(code % 4);
  if (source == kSilence) return {kInvalid, 0};
  return {source, ((frame % kPeriod) - code / 4 + kPeriod) % kPeriod};
}

// Empty when the pair is a valid output of frame `frame`, else what is wrong.
std::string check(float left, float right, int64_t frame) {
  const Sample l = decode(left, frame), r = decode(right, frame);
  const int64_t oldest = std::min(frame, kRingFrames - 1);
  bool valid = l.source != kInvalid && r.source != kInvalid && l.age <= oldest && r.age <= oldest;
  // Silence comes only from ring positions no frame has reached yet.
  if (l.source == kSilence || r.source == kSilence)
    valid = valid && frame < kRingFrames && l.source != r.source && (l.age == 0 && r.age == 0);
  else
    valid = valid && (l.age == 0 || r.age == 0) &&
            (l.source == r.source || (l.source == kLeft && r.source == kRight));
  if (valid) return "";
  std::ostringstream out;
  out << "frame " << frame << ": outputs " << left << ", " << right;
  return out.str();
}

uint32_t nextRandom(uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

TEST(ThreadStress, OutputsStayValidWhileParametersAndSampleRateChange) {
  LoadedPlugin loaded;
  ASSERT_TRUE(loaded.load(ORSOLANE_MODULE));
  host::Plugin* plugin = loaded.plugin.get();
  plugin->open();
  plugin->resume();

  std::atomic<bool> stop{false};
  std::atomic<long> changes{0};
  auto changer = [&](uint32_t seed) {
    static const float kRates[] = {8000.0f,   44100.0f, 48000.0f,  96000.0f, 192000.0f, 882000.0f,
                                   900000.0f, 0.0f,     -44100.0f, 1e38f,    NAN,       INFINITY};
    static const float kOdd[] = {-1.0f, 1.3f, 2.0f, -0.3f, 1e38f, -1e38f, NAN, INFINITY};
    uint32_t state = seed;
    char text[16];
    while (!stop.load(std::memory_order_relaxed)) {
      for (VstInt32 index = 0; index < 3; ++index) {
        const uint32_t r = nextRandom(state);
        const float value =
            r % 8 == 0 ? kOdd[(r >> 3) % 8] : static_cast<float>(r >> 8) / 16777216.0f;
        plugin->setParameter(index, value);
        plugin->getParameter(index);
        plugin->dispatch(effGetParamDisplay, index, 0, text);
      }
      plugin->setSampleRate(kRates[nextRandom(state) % 12]);
      changes.fetch_add(1, std::memory_order_relaxed);
    }
  };

  std::string failure;
  int64_t frame = 0;
  std::thread first(changer, 0x1234567u), second(changer, 0x89ABCDEu);
  const auto deadline = std::chrono::steady_clock::now() + kDuration;
  std::vector<float> in[2], out[2];
  for (auto* channel : {&in[0], &in[1], &out[0], &out[1]}) channel->resize(2048);
  uint32_t state = 42;
  while (failure.empty() && std::chrono::steady_clock::now() < deadline) {
    const auto frames = static_cast<VstInt32>(1 + nextRandom(state) % 2048);
    for (VstInt32 i = 0; i < frames; ++i) {
      const auto k = static_cast<float>((frame + i) % kPeriod);
      in[0][i] = 4.0f * k + 1.0f;
      in[1][i] = 4.0f * k + 3.0f;
    }
    float* inputs[2] = {in[0].data(), in[1].data()};
    float* outputs[2] = {out[0].data(), out[1].data()};
    plugin->processReplacing(inputs, outputs, frames);
    for (VstInt32 i = 0; i < frames && failure.empty(); ++i)
      failure = check(out[0][i], out[1][i], frame + i);
    frame += frames;
  }
  stop = true;
  first.join();
  second.join();
  EXPECT_EQ(failure, "");
  EXPECT_GT(frame, 100000) << "processing barely ran";
  EXPECT_GT(changes.load(), 1000) << "the changing threads barely ran";
}

}  // namespace

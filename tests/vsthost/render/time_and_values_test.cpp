// render's transport and parameter values with units, driven through
// vsthost::render in this process.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "common/common.h"
#include "render/render.h"
#include "scratch_folder.h"

namespace {

const std::string kModules = BROKEN_MODULES;

class RenderTime : public ScratchFolder {
 protected:
  void SetUp() override {
    ScratchFolder::SetUp();
    // One second of a constant 0.5 on both channels, 32-bit float.
    writeInterleaved(dir + "/in.wav", std::vector<float>(2 * 44100, 0.5f), 2, 44100);
  }
  vsthost::RenderOptions options(const std::string& module) {
    vsthost::RenderOptions result;
    result.module = module;
    result.input = dir + "/in.wav";
    result.output = dir + "/out.wav";
    return result;
  }
  // The rendered output, channel by channel.
  std::vector<std::vector<float>> output() { return read("out.wav"); }
};

// The probe writes tempo / 1000 left and the block's quarter-note position /
// 1000 right: at 90 BPM a block of 441 frames at 44100 Hz is 0.015 quarter notes.
TEST_F(RenderTime, TheEffectReadsTheTempoAndAPositionThatMovesWithTheRender) {
  vsthost::RenderOptions probe = options(kModules + "/tempo_probe.so");
  probe.tempo = 90.0;
  probe.timeSignature = "6/8";
  probe.block = 441;
  vsthost::render(probe);
  const auto out = output();
  ASSERT_EQ(out.size(), 2u);
  ASSERT_EQ(out[0].size(), 44100u);
  for (size_t block : {0, 1, 37, 99}) {
    EXPECT_FLOAT_EQ(out[0][block * 441], 0.09f) << "block " << block;
    EXPECT_NEAR(out[1][block * 441 + 440], static_cast<double>(block) * 0.015 / 1000.0, 1e-9)
        << "block " << block;
  }

  // What no transport has is refused before anything runs, in one line.
  for (const auto& bad : std::vector<std::pair<double, std::string>>{
           {0.0, "4/4"},
           {-120.0, "4/4"},
           {std::numeric_limits<double>::quiet_NaN(), "4/4"},
           {120.0, "0/0"},
           {120.0, "4/3"},
           {120.0, "4"},
           {120.0, "-4/4"}}) {
    vsthost::RenderOptions wrong = options(kModules + "/tempo_probe.so");
    wrong.tempo = bad.first;
    wrong.timeSignature = bad.second;
    EXPECT_THROW(vsthost::render(wrong), vsthost::Error) << bad.first << " " << bad.second;
  }
}

// Values in the parameter's own terms go through the effect's parser: -6 dB
// is a factor of 0.501187, -6.02 dB one of a half (6.02 dB down).
TEST_F(RenderTime, GainTakesDecibels) {
  for (const auto& value : std::vector<std::pair<std::string, double>>{
           {"-6dB", std::pow(10.0, -6.0 / 20.0)},
           {"-6.0206 dB", 0.5},
           {"0.7", std::pow(10.0, -6.0 / 20.0)},       // normalised: -48 + 0.7 * 60 = -6 dB
           {"+40dB", std::pow(10.0, 12.0 / 20.0)}}) {  // clamped to the top, +12 dB
    vsthost::RenderOptions gain = options(GAIN_MODULE);
    gain.params = {{"Gain", value.first}};
    vsthost::render(gain);
    const auto out = output();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_NEAR(out[0][0] / 0.5, value.second, 1e-5) << value.first;
    EXPECT_NEAR(out[1][44099] / 0.5, value.second, 1e-5) << value.first;
  }
  vsthost::RenderOptions wrong = options(GAIN_MODULE);
  for (const char* text : {"-6ms", "abc", "-6,5dB", "", "nan dB"}) {
    wrong.params = {{"Gain", text}};
    EXPECT_THROW(vsthost::render(wrong), vsthost::Error) << text;
  }
}

}  // namespace

// vsthost analyze against answers known by hand: a biquad's analytic
// response, a delay's latency and group delay, a polynomial's harmonics, a
// tremolo's time variance, Orsolane's mono-sum comb; and, as a user runs it,
// the baseline gate and the one-line errors.
#include "analyze/analyze.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "analyze/analysis.h"
#include "scratch_folder.h"

namespace {

const double kPi = 3.14159265358979323846;

nlohmann::json measure(const std::string& module, double rate = 48000.0,
                       std::vector<std::pair<std::string, std::string>> params = {},
                       double maxTail = 30.0) {
  vsthost::AnalyzeOptions options;
  options.module = module;
  options.rate = rate;
  options.maxTailSeconds = maxTail;
  options.params = std::move(params);
  return vsthost::measureModule(options, [](const char*) {});
}

std::string known(const std::string& kind) {
  return std::string(BROKEN_MODULES) + "/" + kind + ".so";
}

bool warns(const nlohmann::json& analysis, const std::string& what) {
  for (const auto& warning : analysis["warnings"])
    if (warning.get<std::string>().find(what) != std::string::npos) return true;
  return false;
}

TEST(AnalyzeTest, LinearResponseLatencyAndTimeInvariance) {
  // The low-pass from the same cookbook formulas, evaluated on the unit circle.
  for (double rate : {44100.0, 48000.0}) {
    const nlohmann::json a = measure(known("biquad_lowpass"), rate);
    const double w0 = 2.0 * kPi * 1000.0 / rate, alpha = std::sin(w0) / (2.0 * std::sqrt(0.5));
    const double b0 = (1.0 - std::cos(w0)) / 2.0, b1 = 1.0 - std::cos(w0), a0 = 1.0 + alpha,
                 a1 = -2.0 * std::cos(w0), a2 = 1.0 - alpha;
    const auto& f = a["response"]["frequency_hz"];
    ASSERT_NEAR(f.front().get<double>(), 20.0, 1e-9);
    EXPECT_NEAR(f.back().get<double>(), 20000.0, 1e-9);
    for (size_t i = 0; i < f.size(); ++i) {
      const std::complex<double> z = std::polar(1.0, -2.0 * kPi * f[i].get<double>() / rate);
      const std::complex<double> h = (b0 + b1 * z + b0 * z * z) / (a0 + a1 * z + a2 * z * z);
      for (const char* curve : {"left", "right", "mid"}) {
        ASSERT_NEAR(a["response"]["magnitude_db"][curve][i].get<double>(),
                    20.0 * std::log10(std::abs(h)), 0.1)
            << curve << " at " << f[i] << " Hz, " << rate << " Hz";
        ASSERT_NEAR(a["response"]["phase_deg"][curve][i].get<double>(), std::arg(h) * 180.0 / kPi,
                    0.5)
            << curve << " at " << f[i] << " Hz, " << rate << " Hz";
      }
    }
    EXPECT_TRUE(a["time_invariant"].get<bool>());
    EXPECT_FALSE(warns(a, "latency")) << a["warnings"];  // a low-pass's peak is no latency
  }

  // A delay of 100 frames: exact latency, 100 frames of group delay at every
  // frequency, and a warning only when the effect reports another figure.
  const nlohmann::json delay = measure(known("pure_delay"));
  EXPECT_EQ(delay["latency"]["measured_frames"], 100);
  EXPECT_EQ(delay["latency"]["reported_frames"], 100);
  EXPECT_FALSE(warns(delay, "latency"));
  for (const auto& ms : delay["response"]["group_delay_ms"]["side"]) EXPECT_TRUE(ms.is_null());
  for (const auto& ms : delay["response"]["group_delay_ms"]["left"])
    ASSERT_NEAR(ms.get<double>(), 100.0 / 48.0, 1e-4);
  const nlohmann::json wrong = measure(known("delay_misreported"));
  EXPECT_EQ(wrong["latency"]["measured_frames"], 100);
  EXPECT_TRUE(
      warns(wrong, "latency: the effect reports 60 frames, its response peaks at frame 100"));

  const nlohmann::json tremolo = measure(known("tremolo"));
  EXPECT_FALSE(tremolo["time_invariant"].get<bool>());
  EXPECT_TRUE(warns(tremolo, "not time-invariant"));
}

TEST(AnalyzeTest, HarmonicsAndLevelCurveOfAPolynomial) {
  // y = x - x^3/3 on A sin: (A - A^3/4) sin wt + (A^3/12) sin 3wt, nothing else.
  const nlohmann::json a = measure(known("clipper"));
  ASSERT_EQ(a["harmonics"].size(), 5u);
  for (const auto& h : a["harmonics"]) {
    const double amplitude = std::pow(10.0, h["level_dbfs"].get<double>() / 20.0);
    const double fundamental = amplitude - std::pow(amplitude, 3) / 4.0;
    const double third = std::pow(amplitude, 3) / 12.0;
    const double thd = 20.0 * std::log10(third / fundamental);
    EXPECT_NEAR(h["thd_db"].get<double>(), thd, 0.5) << h;
    EXPECT_NEAR(h["harmonics_db"][1].get<double>(), thd, 0.5) << h;
    EXPECT_LT(h["harmonics_db"][0].get<double>(), thd - 40.0) << h;  // no even harmonics
    EXPECT_NEAR(h["output_dbfs"].get<double>(), 20.0 * std::log10(fundamental), 0.01) << h;
    EXPECT_NEAR(h["frequency_hz"].get<double>(), 1000.0, 1e-9);
  }
  const auto& dynamics = a["dynamics"];
  ASSERT_EQ(dynamics["input_dbfs"].size(), 21u);
  for (size_t i = 0; i < 21; ++i) {
    const double amplitude = std::pow(10.0, dynamics["input_dbfs"][i].get<double>() / 20.0);
    const double fundamental = amplitude - std::pow(amplitude, 3) / 4.0;
    const double third = std::pow(amplitude, 3) / 12.0;
    EXPECT_NEAR(dynamics["output_dbfs"][i].get<double>(),
                10.0 * std::log10(fundamental * fundamental + third * third), 0.01);
  }
  EXPECT_GT(a["cpu"]["realtime_factor"].get<double>(), 0.0);
}

TEST(AnalyzeTest, OrsolaneCombIsWhereItsDelayPutsIt) {
  // The delayed channel trails by Depth x rate - 1 frames (the effect's own
  // rule); the mono sum cancels at odd multiples of rate / (2 x lag).
  for (const auto& setting : {std::make_pair(48000.0, "10ms"), std::make_pair(44100.0, "3ms")}) {
    const double rate = setting.first;
    const nlohmann::json a = measure(ORSOLANE_MODULE, rate, {{"Depth", setting.second}});
    const double lag = std::floor(std::atof(setting.second) * rate / 1000.0) - 1.0;
    const double spacing = rate / lag;
    const auto& notches = a["mono_notches_hz"];
    ASSERT_EQ(notches.size(), static_cast<size_t>(std::floor(20000.0 / spacing + 0.5)));
    for (size_t k = 0; k < notches.size(); ++k)
      ASSERT_NEAR(notches[k].get<double>(), (static_cast<double>(k) + 0.5) * spacing, 0.05);
    EXPECT_EQ(a["latency"]["measured_frames"], 0);
    EXPECT_TRUE(a["warnings"].empty()) << a["warnings"];
  }
}

TEST(AnalyzeTest, EchoesCrossTheMatrixRingTheirDecayAndAreNoLatency) {
  // The ping-pong: each input also leaves the other output 6000 frames later
  // at half the level, so the cross paths are -6.02 dB with 125 ms of group
  // delay, the straight ones 0 dB with none.
  const nlohmann::json pong = measure(known("ping_pong"));
  const auto& matrix = pong["matrix"];
  for (const char* path : {"left_to_right", "right_to_left", "left_to_left", "right_to_right"}) {
    const bool cross = std::string(path) == "left_to_right" || path == std::string("right_to_left");
    ASSERT_EQ(matrix[path]["magnitude_db"].size(), pong["response"]["frequency_hz"].size());
    for (size_t i = 0; i < matrix[path]["magnitude_db"].size(); ++i) {
      ASSERT_NEAR(matrix[path]["magnitude_db"][i].get<double>(), cross ? -6.0206 : 0.0, 0.01)
          << path;
      ASSERT_NEAR(matrix[path]["group_delay_ms"][i].get<double>(), cross ? 125.0 : 0.0, 1e-3)
          << path;
    }
  }
  EXPECT_NEAR(pong["impulse_response"]["right"][6000].get<double>(), 0.5, 1e-6);
  EXPECT_TRUE(pong["time_invariant"].get<bool>());
  EXPECT_FALSE(warns(pong, "latency")) << pong["warnings"];

  // A feedback echo, 3 dB down every 0.1 s: RT60 = -60 x 0.1 / -3 = 2 s; it
  // rings to -100 dB (3.3 s) and stays time-invariant.
  const nlohmann::json echo = measure(known("feedback_echo"));
  EXPECT_TRUE(echo["time_invariant"].get<bool>()) << echo["warnings"];
  EXPECT_NEAR(echo["decay"]["rt60_s"].get<double>(), 2.0, 0.1);
  EXPECT_EQ(echo["decay"]["rt60_from"], "T30");
  EXPECT_GT(echo["impulse_response"]["left"].size(), 3.3 * 48000);
  EXPECT_TRUE(echo["warnings"].empty()) << echo["warnings"];
  // A noise whose level falls 60 dB a second: RT60 1 s, EDT the same.
  const nlohmann::json tail = measure(known("noise_tail"));
  EXPECT_NEAR(tail["decay"]["rt60_s"].get<double>(), 1.0, 0.1);
  EXPECT_NEAR(tail["decay"]["edt_s"].get<double>(), 1.0, 0.1);
  EXPECT_TRUE(tail["time_invariant"].get<bool>());

  // Echoes without the dry sound are no latency fault; one late arrival is.
  const nlohmann::json wet = measure(known("wet_echo"));
  EXPECT_FALSE(warns(wet, "latency")) << wet["warnings"];
  EXPECT_NEAR(wet["decay"]["rt60_s"].get<double>(), 60.0 * 0.125 / 6.0206, 0.07);
  const nlohmann::json ahead = measure(known("lookahead"));
  EXPECT_TRUE(warns(ahead, "latency: the effect reports 0 frames, its response peaks at frame 64"))
      << ahead["warnings"];

  // A response that never dies away stops at the cap, named; a cap under the
  // second kept still compares whole responses.
  const nlohmann::json endless = measure(known("endless_echo"), 48000.0, {}, 0.5);
  EXPECT_TRUE(warns(endless, "Echo does not die away")) << endless["warnings"];
  EXPECT_TRUE(endless["time_invariant"].get<bool>());
}

TEST(AnalyzeTest, InstrumentNotesHarmonicsAliasingVelocityOnsetAndCpu) {
  // Harmonics 0.5, 0.25, 0.125 and a folded tone of 0.005, all times
  // velocity / 127 (tone_module.c).
  const nlohmann::json a = measure(known("harmonic_synth"));
  const auto& i = a["instrument"];
  EXPECT_NEAR(i["frequency_hz"].get<double>(), 440.0, 0.5);
  EXPECT_NEAR(i["level_dbfs"].get<double>(), 20.0 * std::log10(0.5 * 100.0 / 127.0), 0.1);
  EXPECT_NEAR(i["harmonics"][1]["level_db"].get<double>(), -6.0206, 0.1);
  EXPECT_NEAR(i["harmonics"][2]["level_db"].get<double>(), -12.0412, 0.1);
  EXPECT_LT(i["harmonics"][3]["level_db"].get<double>(), -100.0);
  EXPECT_NEAR(i["alias_db"].get<double>(), 10.0 * std::log10(0.005 * 0.005 / 0.328125), 0.5);
  const auto& levels = i["velocity_level"]["level_dbfs"];
  ASSERT_EQ(levels.size(), 9u);
  EXPECT_NEAR(levels.back().get<double>() - levels.front().get<double>(), 20.0 * std::log10(127.0),
              0.1);
  EXPECT_EQ(i["onset"]["late_frames"], 0);
  ASSERT_EQ(i["cpu"].size(), 4u);
  const int voices[] = {1, 4, 16, 64};
  for (size_t v = 0; v < 4; ++v) {
    EXPECT_EQ(i["cpu"][v]["voices"], voices[v]);
    EXPECT_GT(i["cpu"][v]["mean_us"].get<double>(), 0.0);
  }
  EXPECT_TRUE(a["warnings"].empty()) << a["warnings"];
}

using Result = CommandResult;

// vsthost analyze as a user runs it.
class AnalyzeCommandTest : public ScratchFolder {
 protected:
  Result run(const std::string& arguments) { return ScratchFolder::run("analyze " + arguments); }
};

TEST_F(AnalyzeCommandTest, BaselinePassesUnchangedAndFailsADecibel) {
  const std::string gain = known("clean"), base = dir + "/base.json";
  Result made = run(gain + " --output " + base);
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_NE(made.out.find("mono-sum notches none"), std::string::npos) << made.out;
  EXPECT_EQ(run(gain + " --baseline " + base).status, 0);
  Result louder = run(gain + " --param Gain=0.5611 --baseline " + base);
  EXPECT_EQ(louder.status, 1);
  EXPECT_NE(louder.out.find("differs: left magnitude at 20.0 Hz: -5.02 dB, the baseline -6.02 dB"),
            std::string::npos)
      << louder.out;
  EXPECT_EQ(run(gain + " --param Gain=0.5611 --baseline " + base + " --tolerance 1.1").status, 0);

  std::ofstream(dir + "/broken.json") << "{\"vsthost_analysis\": 1, \"rate\": ";
  const struct {
    std::string arguments, message;
  } unusable[] = {{"--baseline " + dir + "/missing.json", "missing.json: No such file"},
                  {"--baseline " + dir + "/broken.json", "broken.json: not a JSON analysis"},
                  {"--rate 44100 --baseline " + base, "measured at 48000 Hz, not at 44100 Hz"}};
  for (const auto& c : unusable) expectRefused("analyze " + gain + " " + c.arguments, c.message, 2);
}

TEST_F(AnalyzeCommandTest, ModulesThatCannotBeMeasuredAreOneLine) {
  const struct {
    std::string arguments, message;
  } cases[] = {
      {known("text_overrun") + " --param 0=1",
       "crashed (Segmentation fault) while measuring the impulse response"},
      {known("hang") + " --timeout 2", "no answer within 2 s while measuring the impulse response"},
      {known("nan_output"),
       "the output is not finite (NaN or infinity) at frame 0 while "
       "measuring the impulse response"},
      {known("silent_synth"), "the instrument is silent for note 69 (A4) at velocity 100"},
      {dir + "/none.so", "none.so: No such file or directory"},
  };
  for (const auto& c : cases)
    expectRefused("analyze " + c.arguments + " --output " + dir + "/out.json", c.message);
  const struct {
    std::string arguments, message;
  } usage[] = {{"--max-tail 0", "--max-tail wants seconds above 0"},
               {"--max-tail -1", "--max-tail wants seconds above 0"},
               {"--time-signature 3/5", "time signature '3/5' is not N/D"},
               {"--note 128", "--note wants a MIDI key from 0 to 127"}};
  for (const auto& c : usage)
    expectRefused("analyze " + known("clean") + " " + c.arguments, c.message, 2);
}

}  // namespace

// The measurement: fresh instances of the module, driven block by block with
// test signals on their first two inputs, and what their outputs say: the
// linear response from impulses (response.cpp), and with the same signal on
// both inputs (the way a widener is fed) the harmonics of a 1 kHz sine at five
// levels, the static level curve and the time each block takes.
#include "analyze/measure.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "analyze/analysis.h"
#include "analyze/analyze.h"
#include "analyze/bench.h"
#include "common/common.h"
#include "vst/noise.h"

namespace vsthost {

namespace {

constexpr int kHarmonicsCounted = 10;  // THD sums harmonics 2 to 10 (those below Nyquist)
constexpr int kHarmonicsListed = 5;    // harmonics_db lists 2 to 6
const double kHarmonicLevels[] = {0.0, -6.0, -12.0, -24.0, -48.0};

std::vector<double> slice(const std::vector<float>& signal, size_t from, size_t frames,
                          double scale) {
  std::vector<double> result(frames);
  for (size_t i = 0; i < frames; ++i) result[i] = signal[from + i] * scale;
  return result;
}

// A 1 kHz sine (exactly on a bin of a one-second window), settled for half a
// second, at each level in turn; answers the chosen channel.
std::vector<analysis::SineLevels> sineAtLevels(Bench& bench, double rate, const char* what,
                                               const std::vector<double>& levels, bool& rightChosen,
                                               long& cycles, size_t& window) {
  window = static_cast<size_t>(std::round(rate));
  cycles = 1000;
  const size_t settle = window / 2, segment = settle + window;
  std::vector<float> input(segment * levels.size()), left, right;
  for (size_t s = 0; s < levels.size(); ++s) {
    const double amplitude = std::pow(10.0, levels[s] / 20.0);
    for (size_t i = 0; i < segment; ++i) {
      const size_t at = s * segment + i;
      input[at] = static_cast<float>(
          amplitude * std::sin(2.0 * analysis::kPi * static_cast<double>((at * 1000) % window) /
                               static_cast<double>(window)));
    }
  }
  bench.run(what, input, left, right);
  std::vector<analysis::SineLevels> answer;
  for (size_t s = 0; s < levels.size(); ++s) {
    const size_t from = s * segment + settle;
    analysis::SineLevels l =
        analysis::sineLevels(slice(left, from, window, 1.0), cycles, kHarmonicsCounted);
    analysis::SineLevels r =
        analysis::sineLevels(slice(right, from, window, 1.0), cycles, kHarmonicsCounted);
    if (s == 0) rightChosen = r.fundamental > l.fundamental * 1.0001;
    answer.push_back(rightChosen ? r : l);
  }
  return answer;
}

void measureHarmonics(Bench& bench, double rate, nlohmann::json& result) {
  const std::vector<double> levels(std::begin(kHarmonicLevels), std::end(kHarmonicLevels));
  bool right = false;
  long cycles = 0;
  size_t window = 0;
  const auto measured =
      sineAtLevels(bench, rate, "measuring harmonics", levels, right, cycles, window);
  const double frequency = static_cast<double>(cycles) * rate / static_cast<double>(window);
  result["harmonics"] = nlohmann::json::array();
  for (size_t s = 0; s < levels.size(); ++s) {
    const analysis::SineLevels& m = measured[s];
    double harmonicPower = 0.0;
    nlohmann::json listed = nlohmann::json::array();
    for (size_t h = 0; h < m.harmonics.size(); ++h) {
      harmonicPower += m.harmonics[h] * m.harmonics[h];
      if (h < kHarmonicsListed)
        listed.push_back(rounded(std::max(-200.0, decibels(m.harmonics[h] / m.fundamental)), 1e-3));
    }
    const double fundamentalPower = 0.5 * m.fundamental * m.fundamental;
    result["harmonics"].push_back(
        {{"frequency_hz", rounded(frequency, 1e-3)},
         {"level_dbfs", levels[s]},
         {"channel", right ? "right" : "left"},
         {"output_dbfs", rounded(decibels(m.fundamental), 1e-4)},
         {"thd_db",
          rounded(std::max(-200.0, 10.0 * std::log10(0.5 * harmonicPower / fundamentalPower)),
                  1e-3)},
         {"thd_n_db",
          rounded(std::max(-200.0, 10.0 * std::log10(m.residualPower / fundamentalPower)), 1e-3)},
         {"harmonics_db", listed}});
  }
}

void measureDynamics(Bench& bench, double rate, nlohmann::json& result) {
  std::vector<double> levels;
  for (int level = -60; level <= 0; level += 3) levels.push_back(level);
  bool right = false;
  long cycles = 0;
  size_t window = 0;
  const auto measured =
      sineAtLevels(bench, rate, "measuring the level curve", levels, right, cycles, window);
  nlohmann::json& dynamics = result["dynamics"];
  dynamics["channel"] = right ? "right" : "left";
  for (size_t s = 0; s < levels.size(); ++s) {
    // The whole output (fundamental, harmonics and noise) as the peak of a
    // sine of the same power.
    const double power =
        0.5 * measured[s].fundamental * measured[s].fundamental + measured[s].residualPower;
    dynamics["input_dbfs"].push_back(levels[s]);
    dynamics["output_dbfs"].push_back(
        rounded(std::max(-200.0, 10.0 * std::log10(2.0 * power)), 1e-4));
  }
}

void measureCpu(Bench& bench, const AnalyzeOptions& options, nlohmann::json& result) {
  const auto blocks = static_cast<size_t>(std::clamp(std::ceil(2.0 * options.rate / options.block),
                                                     64.0, 200000.0)) +
                      8;
  std::vector<float> input(blocks * static_cast<size_t>(options.block)), left, right;
  host::Noise noise(1);
  for (float& sample : input) sample = 0.5f * noise.next();  // -6 dBFS peak
  std::vector<double> micros;
  bench.run("timing the blocks", input, left, right, &micros);
  std::vector<double> sorted = micros;
  std::sort(sorted.begin(), sorted.end());
  double total = 0.0;
  for (double t : micros) total += t;
  const double mean = total / static_cast<double>(micros.size());
  const double p99 = sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
  const double blockMicros = 1e6 * options.block / options.rate;
  result["cpu"] = {{"mean_us", rounded(mean, 1e-3)},
                   {"p99_us", rounded(p99, 1e-3)},
                   {"max_us", rounded(sorted.back(), 1e-3)},
                   {"blocks", micros.size()},
                   {"realtime_factor", rounded(mean > 0.0 ? blockMicros / mean : 1e9, 1e-2)}};
}

}  // namespace

nlohmann::json measureModule(const AnalyzeOptions& options,
                             const std::function<void(const char*)>& stage) {
  Bench bench(options, stage);
  nlohmann::json result;
  result["vsthost_analysis"] = kAnalysisFormat;
  result["module"] = options.module;
  result["effect"] = bench.effect();
  result["unique_id"] = bench.uniqueId();
  result["rate"] = options.rate;
  result["block"] = options.block;
  result["params"] = bench.params();
  result["tempo_bpm"] = options.tempo;
  result["time_signature"] =
      std::to_string(options.signature.first) + "/" + std::to_string(options.signature.second);
  result["method"] =
      "impulse response: a -6 dBFS impulse after 0.1 s of silence into both inputs, into the "
      "left alone and into the right alone, each captured until it stays below -100 dB of its "
      "peak (at least 1 s plus the reported latency, at most --max-tail), and its spectrum "
      "(KissFFT, zero-padded); the same impulse 0.137 s after the first has died away tests "
      "time invariance";
  result["warnings"] = nlohmann::json::array();
  if (!bench.stereo()) result["warnings"].push_back("one output: right is the left output");
  if (bench.instrument()) {
    result["kind"] = "instrument";
    result["method"] =
        "notes: the held note (--note, --velocity) for 1.5 s, its last second's spectrum "
        "(Blackman-Harris window); nine velocities held 0.3 s each; a note asked for the middle "
        "of the tenth block; 1, 4, 16 and 64 notes held for 2 s, each block timed";
    measureInstrument(bench, result);
    return result;
  }
  result["kind"] = "effect";
  measureImpulses(bench, result);
  measureHarmonics(bench, options.rate, result);
  measureDynamics(bench, options.rate, result);
  measureCpu(bench, options, result);
  return result;
}

}  // namespace vsthost

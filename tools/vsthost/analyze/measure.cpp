// The measurement: fresh instances of the module, driven block by block with
// test signals on their first two inputs (the same signal on both, the way a
// widener is fed), and what their outputs say: the linear response from two
// impulses (which also tell whether the module is time-invariant), the
// harmonics of a 1 kHz sine at five levels, the static level curve and the
// time each block takes.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "analyze/analysis.h"
#include "analyze/analyze.h"
#include "common/common.h"
#include "common/parameter_values.h"
#include "vst/noise.h"

namespace vsthost {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kImpulse = 0.5f;        // -6 dBFS: a linear module does not care
constexpr int kHarmonicsCounted = 10;   // THD sums harmonics 2 to 10 (those below Nyquist)
constexpr int kHarmonicsListed = 5;     // harmonics_db lists 2 to 6
constexpr double kTimeVariance = 1e-4;  // -80 dB of the response's peak
constexpr double kNotchReport = 1e-12;  // below this |H| the phase and group delay mean nothing
const double kHarmonicLevels[] = {0.0, -6.0, -12.0, -24.0, -48.0};

// A number for JSON, rounded to `step` (a power of ten, so the division
// gives the shortest decimal text); null when not finite.
nlohmann::json rounded(double value, double step) {
  if (!std::isfinite(value)) return nullptr;
  const double scale = std::round(1.0 / step);
  return std::round(value * scale) / scale;
}

double decibels(double amplitude) { return 20.0 * std::log10(amplitude); }

// The module loaded once, its parameters resolved once, and a fresh instance
// for each measurement.
class Bench {
 public:
  Bench(const AnalyzeOptions& options, const std::function<void(const char*)>& stage)
      : options_(options), stage_(stage) {
    stage_("loading the module");
    loaded_ = load(options.module);
    host::Plugin& first = *loaded_->plugin;
    const AEffect* record = first.record();
    inputs_ = record->numInputs;
    outputs_ = record->numOutputs;
    if (outputs_ <= 0) throw Error(options.module + ": the effect has no audio outputs to measure");
    if (inputs_ <= 0)
      throw Error(options.module +
                  ": an instrument without audio inputs is not analysable (analyze measures what "
                  "an effect does to its input; it plays no notes)");
    if (inputs_ > 256 || outputs_ > 256)
      throw Error(options.module + ": claims " + std::to_string(std::max(inputs_, outputs_)) +
                  " channels");
    effect_ = printable(first.effectName());
    uniqueId_ = fourChars(record->uniqueID);
    stage_("setting the parameters");
    start(first, false);
    for (const auto& param : options.params) indices_.push_back(parameterIndex(first, param.first));
    for (size_t i = 0; i < indices_.size(); ++i)
      values_.push_back(resolveParameterValue(first, indices_[i], options.params[i].first,
                                              options.params[i].second));
    for (size_t i = 0; i < indices_.size(); ++i) first.setParameter(indices_[i], values_[i]);
    for (VstInt32 i = 0; i < record->numParams; ++i) {
      std::string shown = first.parameterDisplay(i);
      const std::string label = first.parameterLabel(i);
      if (!label.empty()) shown += " " + label;
      params_[printable(first.parameterName(i))] = printable(shown);
    }
    first.resume();
    reportedLatency_ = record->initialDelay;
    first.suspend();
    first.close();
  }

  const std::string& effect() const { return effect_; }
  const std::string& uniqueId() const { return uniqueId_; }
  const nlohmann::json& params() const { return params_; }
  int reportedLatency() const { return reportedLatency_; }
  bool stereo() const { return outputs_ > 1; }

  // Runs `input` through a fresh instance at the measurement's settings and
  // answers its first two outputs (the first twice for a mono effect). With
  // `micros`, the time of every block after the first few is kept there.
  void run(const char* what, const std::vector<float>& input, std::vector<float>& left,
           std::vector<float>& right, std::vector<double>* micros = nullptr) {
    stage_(what);
    std::string error;
    std::unique_ptr<host::Plugin> plugin = loaded_->instantiate(error);
    if (!plugin) throw Error(options_.module + ": " + error);
    start(*plugin, true);
    const AEffect* record = plugin->record();
    const auto block = static_cast<size_t>(options_.block);
    std::vector<std::vector<float>> in(static_cast<size_t>(inputs_), std::vector<float>(block));
    std::vector<std::vector<float>> out(static_cast<size_t>(outputs_), std::vector<float>(block));
    std::vector<float*> inPointers, outPointers;
    for (auto& channel : in) inPointers.push_back(channel.data());
    for (auto& channel : out) outPointers.push_back(channel.data());
    const bool replacing =
        (record->flags & effFlagsCanReplacing) != 0 || record->process == nullptr;
    left.assign(input.size(), 0.0f);
    right.assign(input.size(), 0.0f);
    for (size_t done = 0, blocks = 0; done < input.size(); done += block, ++blocks) {
      const size_t n = std::min(block, input.size() - done);
      for (size_t c = 0; c < in.size(); ++c)
        for (size_t i = 0; i < n; ++i) in[c][i] = c < 2 ? input[done + i] : 0.0f;
      for (auto& channel : out) std::fill(channel.begin(), channel.end(), 0.0f);
      const auto before = std::chrono::steady_clock::now();
      if (replacing)
        plugin->processReplacing(inPointers.data(), outPointers.data(), static_cast<VstInt32>(n));
      else
        record->process(plugin->record(), inPointers.data(), outPointers.data(),
                        static_cast<VstInt32>(n));
      const auto after = std::chrono::steady_clock::now();
      if (micros != nullptr && blocks >= 8)
        micros->push_back(std::chrono::duration<double, std::micro>(after - before).count());
      for (size_t i = 0; i < n; ++i) {
        left[done + i] = out[0][i];
        right[done + i] = out[outputs_ > 1 ? 1 : 0][i];
        if (!std::isfinite(left[done + i]) || !std::isfinite(right[done + i]))
          throw Error(options_.module + ": the output is not finite (NaN or infinity) at frame " +
                      std::to_string(done + i) + " while " + what);
      }
    }
    plugin->dispatch(effStopProcess);
    plugin->suspend();
    plugin->close();
  }

 private:
  void start(host::Plugin& plugin, bool resume) {
    loaded_->host.setSampleRate(static_cast<float>(options_.rate));
    loaded_->host.setBlockSize(options_.block);
    plugin.open();
    plugin.setSampleRate(static_cast<float>(options_.rate));
    plugin.setBlockSize(options_.block);
    if (!resume) return;
    for (size_t i = 0; i < indices_.size(); ++i) plugin.setParameter(indices_[i], values_[i]);
    plugin.resume();
    plugin.dispatch(effStartProcess);
  }

  const AnalyzeOptions& options_;
  const std::function<void(const char*)>& stage_;
  std::unique_ptr<host::LoadedPlugin> loaded_;
  int inputs_ = 0, outputs_ = 0, reportedLatency_ = 0;
  std::string effect_, uniqueId_;
  nlohmann::json params_ = nlohmann::json::object();
  std::vector<VstInt32> indices_;
  std::vector<float> values_;
};

std::vector<double> slice(const std::vector<float>& signal, size_t from, size_t frames,
                          double scale) {
  std::vector<double> result(frames);
  for (size_t i = 0; i < frames; ++i) result[i] = signal[from + i] * scale;
  return result;
}

// The index of the largest magnitude, and the first index reaching 1 % of it.
std::pair<size_t, size_t> peakAndOnset(const std::vector<double>& response) {
  size_t peak = 0;
  for (size_t i = 1; i < response.size(); ++i)
    if (std::fabs(response[i]) > std::fabs(response[peak])) peak = i;
  size_t onset = 0;
  while (onset < peak && std::fabs(response[onset]) < 0.01 * std::fabs(response[peak])) ++onset;
  return {peak, onset};
}

// The impulses: the response, the latency and time invariance.
void measureImpulses(Bench& bench, double rate, nlohmann::json& result) {
  const int reported = bench.reportedLatency();
  const auto window =
      static_cast<size_t>(std::round(rate)) + static_cast<size_t>(std::clamp(reported, 0, 480000));
  const auto first = static_cast<size_t>(std::round(0.1 * rate)) + 7;
  const size_t second = first + window + static_cast<size_t>(std::round(0.137 * rate));
  std::vector<float> input(second + window, 0.0f), left, right;
  input[first] = input[second] = kImpulse;
  bench.run("measuring the impulse response", input, left, right);
  const std::vector<double> channels[2] = {slice(left, first, window, 1.0 / kImpulse),
                                           slice(right, first, window, 1.0 / kImpulse)};
  const std::vector<double> again[2] = {slice(left, second, window, 1.0 / kImpulse),
                                        slice(right, second, window, 1.0 / kImpulse)};
  double peak = 0.0, difference = 0.0;
  for (int c = 0; c < 2; ++c)
    for (size_t i = 0; i < window; ++i) {
      peak = std::max(peak, std::fabs(channels[c][i]));
      difference = std::max(difference, std::fabs(channels[c][i] - again[c][i]));
    }
  if (peak == 0.0)
    throw Error("the effect answers an impulse with silence: there is no response to measure");
  const bool invariant = difference <= kTimeVariance * peak;
  result["time_invariant"] = invariant;
  if (!invariant)
    result["warnings"].push_back(
        "not time-invariant: the same impulse " + std::to_string(second - first) +
        " frames later gives another response (differing by " +
        std::to_string(static_cast<int>(std::round(decibels(difference / peak)))) +
        " dB of its peak); the linear response holds for one moment only");

  // Latency: the main peak of the earlier channel (a channel far quieter than
  // the other does not count). A reported delay before the response begins or
  // after its peak makes a host compensate the wrong amount.
  const auto leftPeak = peakAndOnset(channels[0]), rightPeak = peakAndOnset(channels[1]);
  const double leftLevel = std::fabs(channels[0][leftPeak.first]);
  const double rightLevel = std::fabs(channels[1][rightPeak.first]);
  std::pair<size_t, size_t> latency = leftLevel >= rightLevel ? leftPeak : rightPeak;
  const std::pair<size_t, size_t>& quieter = leftLevel >= rightLevel ? rightPeak : leftPeak;
  if (std::min(leftLevel, rightLevel) >= 0.1 * std::max(leftLevel, rightLevel) &&
      quieter.first < latency.first)
    latency = quieter;
  result["latency"] = {{"reported_frames", reported}, {"measured_frames", latency.first}};
  if (reported < static_cast<long>(latency.second) || reported > static_cast<long>(latency.first))
    result["warnings"].push_back("latency: the effect reports " + std::to_string(reported) +
                                 " frames, its response peaks at frame " +
                                 std::to_string(latency.first) +
                                 ": a host compensates the wrong amount");

  // The response from the first impulse: spectra zero-padded to at least
  // twice its length, so the bins are half a hertz apart at most.
  const size_t size = analysis::fastLength(2 * window);
  std::vector<std::complex<double>> spectra[2], weighted[2];
  for (int c = 0; c < 2; ++c) {
    spectra[c] = analysis::spectrum(channels[c], size);
    std::vector<double> timed(window);
    for (size_t i = 0; i < window; ++i) timed[i] = static_cast<double>(i) * channels[c][i];
    weighted[c] = analysis::spectrum(timed, size);
  }
  const std::vector<double> frequencies = analysis::responseFrequencies(rate);
  const char* names[] = {"left", "right", "mid", "side"};
  nlohmann::json& response = result["response"];
  for (double f : frequencies) response["frequency_hz"].push_back(rounded(f, 1e-3));
  for (int curve = 0; curve < 4; ++curve) {
    nlohmann::json magnitude = nlohmann::json::array(), phase = nlohmann::json::array(),
                   delay = nlohmann::json::array();
    for (double f : frequencies) {
      const std::complex<double> l = analysis::at(spectra[0], size, rate, f),
                                 r = analysis::at(spectra[1], size, rate, f);
      const std::complex<double> lw = analysis::at(weighted[0], size, rate, f),
                                 rw = analysis::at(weighted[1], size, rate, f);
      const double sign = curve == 3 ? -1.0 : 1.0;
      const std::complex<double> h = curve == 0 ? l : curve == 1 ? r : 0.5 * (l + sign * r);
      const std::complex<double> hw = curve == 0 ? lw : curve == 1 ? rw : 0.5 * (lw + sign * rw);
      const bool meaningful = std::abs(h) > kNotchReport;
      magnitude.push_back(rounded(decibels(std::abs(h)), 1e-4));
      phase.push_back(meaningful ? rounded(std::arg(h) * 180.0 / kPi, 1e-3) : nullptr);
      delay.push_back(meaningful ? rounded(std::real(hw / h) / rate * 1000.0, 1e-6) : nullptr);
    }
    response["magnitude_db"][names[curve]] = magnitude;
    response["phase_deg"][names[curve]] = phase;
    response["group_delay_ms"][names[curve]] = delay;
  }
  nlohmann::json notches = nlohmann::json::array();
  for (double f : analysis::monoNotches(spectra[0], spectra[1], size, rate))
    notches.push_back(rounded(f, 1e-2));
  result["mono_notches_hz"] = notches;
  const size_t shown = std::min(window, std::max(static_cast<size_t>(std::ceil(0.05 * rate)),
                                                 std::max(leftPeak.first, rightPeak.first) +
                                                     static_cast<size_t>(std::ceil(0.02 * rate))));
  for (int c = 0; c < 2; ++c)
    for (size_t i = 0; i < shown; ++i)
      result["impulse_response"][names[c]].push_back(rounded(channels[c][i], 1e-9));
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
          amplitude * std::sin(2.0 * kPi * static_cast<double>((at * 1000) % window) /
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
  result["method"] =
      "impulse response: a -6 dBFS impulse after 0.1 s of silence, captured for 1 s plus the "
      "reported latency, and its spectrum (KissFFT, zero-padded); a second impulse 1.137 s later "
      "tests time invariance";
  result["warnings"] = nlohmann::json::array();
  if (!bench.stereo()) result["warnings"].push_back("one output: right is the left output");
  measureImpulses(bench, options.rate, result);
  measureHarmonics(bench, options.rate, result);
  measureDynamics(bench, options.rate, result);
  measureCpu(bench, options, result);
  return result;
}

}  // namespace vsthost

// The linear response: impulses into each input alone and into both, each
// captured until it dies away, and what they say: the stereo transfer matrix,
// left, right, mid and side, time invariance, latency and the decay.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "analyze/analysis.h"
#include "analyze/bench.h"
#include "analyze/measure.h"

namespace vsthost {

namespace {

constexpr float kImpulse = 0.5f;        // -6 dBFS: a linear module does not care
constexpr double kTimeVariance = 1e-4;  // -80 dB of the response's peak
constexpr double kNotchReport = 1e-12;  // below this |H| the phase and group delay mean nothing
constexpr double kDiedAway = 1e-5;      // -100 dB of the response's peak
constexpr double kArrival = 0.1;        // an echo reaches -20 dB of the response's peak

// A response captured from an impulse: both outputs from the impulse on.
struct Capture {
  std::vector<double> left, right;
  size_t end = 0;       // frames until it died away
  bool capped = false;  // still sounding at the cap
};

// Runs silence for `before` frames, then an impulse into the chosen inputs,
// and captures until the response stays below -100 dB of its peak for at least
// a second, the tail the effect reports and a quarter more than the longest
// silence between its arrivals (an echo's spacing); or, with `frames`, that
// many frames. At most `cap` frames.
Capture capture(Instance& instance, size_t block, size_t before, bool intoLeft, bool intoRight,
                size_t quiet, size_t cap, size_t frames, size_t& position) {
  std::vector<float> zero(block, 0.0f), impulse(block, 0.0f), left(block), right(block);
  impulse[0] = kImpulse;
  for (size_t done = 0; done < before;) {
    const size_t n = std::min(block, before - done);
    instance.process(zero.data(), zero.data(), n, left.data(), right.data(), position);
    done += n, position += n;
  }
  Capture result;
  double peak = 0.0;
  size_t lastLoud = 0, longestGap = 0;
  bool heard = false;
  for (size_t done = 0;;) {
    const bool first = done == 0;
    const size_t n = block;
    instance.process(first && intoLeft ? impulse.data() : zero.data(),
                     first && intoRight ? impulse.data() : zero.data(), n, left.data(),
                     right.data(), position);
    for (size_t i = 0; i < n; ++i) {
      result.left.push_back(left[i] / kImpulse);
      result.right.push_back(right[i] / kImpulse);
      const double level = std::max(std::fabs(left[i]), std::fabs(right[i])) / kImpulse;
      peak = std::max(peak, level);
      if (level > kDiedAway * peak && level > 0.0) {
        longestGap = std::max(longestGap, done + i - (heard ? lastLoud : 0));
        lastLoud = done + i, heard = true;
      }
    }
    done += n, position += n;
    if (frames > 0) {
      if (done >= frames) break;
      continue;
    }
    if (done - lastLoud >= std::max(quiet, longestGap + longestGap / 4)) break;
    if (done >= cap && done >= quiet) {  // never shorter than the window kept
      result.capped = true;
      break;
    }
  }
  result.end = heard ? lastLoud + 1 : 0;
  return result;
}

// A path's magnitude, phase and group delay on the response's grid; null
// where the path is silent.
void curves(const std::vector<std::complex<double>>& h,
            const std::vector<std::complex<double>>& weighted, size_t size, double rate,
            const std::vector<double>& frequencies, nlohmann::json& into) {
  nlohmann::json magnitude = nlohmann::json::array(), phase = nlohmann::json::array(),
                 delay = nlohmann::json::array();
  for (double f : frequencies) {
    const std::complex<double> v = analysis::at(h, size, rate, f),
                               w = analysis::at(weighted, size, rate, f);
    const bool meaningful = std::abs(v) > kNotchReport;
    magnitude.push_back(rounded(decibels(std::abs(v)), 1e-4));
    phase.push_back(meaningful ? rounded(std::arg(v) * 180.0 / analysis::kPi, 1e-3) : nullptr);
    delay.push_back(meaningful ? rounded(std::real(w / v) / rate * 1000.0, 1e-6) : nullptr);
  }
  into["magnitude_db"] = magnitude;
  into["phase_deg"] = phase;
  into["group_delay_ms"] = delay;
  // The least and the most of the magnitude over every bin nearer to each
  // point than to its neighbours: a comb denser than the grid is a band in
  // the pictures, not a pattern of false notches.
  nlohmann::json low = nlohmann::json::array(), high = nlohmann::json::array(),
                 fastest = nlohmann::json::array(), slowest = nlohmann::json::array();
  const double binHz = rate / static_cast<double>(size);
  for (size_t i = 0; i < frequencies.size(); ++i) {
    const double from = i > 0 ? 0.5 * (frequencies[i - 1] + frequencies[i]) : frequencies[i];
    const double to =
        i + 1 < frequencies.size() ? 0.5 * (frequencies[i] + frequencies[i + 1]) : frequencies[i];
    double least = std::abs(analysis::at(h, size, rate, frequencies[i])), most = least;
    double soonest = delay[i].is_number() ? delay[i].get<double>() : HUGE_VAL;
    double latest = delay[i].is_number() ? soonest : -HUGE_VAL;
    for (auto k = static_cast<size_t>(std::ceil(from / binHz));
         k < h.size() && static_cast<double>(k) * binHz <= to; ++k) {
      least = std::min(least, std::abs(h[k]));
      most = std::max(most, std::abs(h[k]));
      if (std::abs(h[k]) <= kNotchReport) continue;
      const double ms = std::real(weighted[k] / h[k]) / rate * 1000.0;
      soonest = std::min(soonest, ms);
      latest = std::max(latest, ms);
    }
    low.push_back(rounded(decibels(least), 1e-4));
    high.push_back(rounded(decibels(most), 1e-4));
    fastest.push_back(rounded(soonest, 1e-6));
    slowest.push_back(rounded(latest, 1e-6));
  }
  into["magnitude_min_db"] = low;
  into["magnitude_max_db"] = high;
  into["group_delay_min_ms"] = fastest;
  into["group_delay_max_ms"] = slowest;
}

// A signal's spectrum and that of the signal weighted by time (for the group
// delay), zero-padded to `size`.
struct Spectra {
  std::vector<std::complex<double>> plain, weighted;
};
Spectra spectra(const std::vector<double>& signal, size_t window, size_t size) {
  std::vector<double> kept(signal.begin(), signal.begin() + static_cast<long>(window)),
      timed(window);
  for (size_t i = 0; i < window; ++i) timed[i] = static_cast<double>(i) * kept[i];
  return {analysis::spectrum(kept, size), analysis::spectrum(timed, size)};
}

// The index of the largest magnitude, and the first index reaching 1 % of it.
std::pair<size_t, size_t> peakAndOnset(const std::vector<double>& response, size_t window) {
  size_t peak = 0;
  for (size_t i = 1; i < window; ++i)
    if (std::fabs(response[i]) > std::fabs(response[peak])) peak = i;
  size_t onset = 0;
  while (onset < peak && std::fabs(response[onset]) < 0.01 * std::fabs(response[peak])) ++onset;
  return {peak, onset};
}

// The distinct arrivals of a response: stretches reaching -20 dB of its peak,
// apart by more than 5 ms of quieter sound (an echo, not one filter's ringing).
size_t arrivals(const std::vector<double>& left, const std::vector<double>& right, size_t window,
                double rate) {
  double peak = 0.0;
  for (size_t i = 0; i < window; ++i)
    peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
  const auto apart = static_cast<size_t>(std::ceil(0.005 * rate));
  size_t count = 0, last = 0;
  for (size_t i = 0; i < window; ++i)
    if (std::max(std::fabs(left[i]), std::fabs(right[i])) >= kArrival * peak) {
      if (count == 0 || i - last > apart) ++count;
      last = i;
    }
  return count;
}

// Seconds as the shortest text, "30" or "0.5".
std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

void measureImpulses(Bench& bench, nlohmann::json& result) {
  const AnalyzeOptions& options = bench.options();
  const double rate = options.rate;
  const auto block = static_cast<size_t>(options.block);
  const int reported = bench.reportedLatency();
  const size_t latency = static_cast<size_t>(std::clamp(reported, 0, 480000));
  const auto second = static_cast<size_t>(std::round(rate));
  const auto cap = static_cast<size_t>(std::ceil(options.maxTailSeconds * rate));
  // The reported tail is a hint, never more than the cap.
  const size_t quiet =
      std::max({second, std::min(static_cast<size_t>(bench.tailHint()), cap), latency + 1});
  const auto before = static_cast<size_t>(std::round(0.1 * rate)) + 7;

  // Into both inputs, then the same impulse again once it has died away.
  size_t position = 0;
  Capture both;
  size_t window = 0, end = 0;
  bool invariant = true;
  double difference = 0.0, peak = 0.0;
  size_t later = 0;
  {
    auto instance = bench.fresh("measuring the impulse response");
    both = capture(*instance, block, before, true, true, quiet, cap, 0, position);
    end = both.end;
    window = std::max(second + latency, end);
    for (size_t i = 0; i < window && i < both.left.size(); ++i)
      peak = std::max({peak, std::fabs(both.left[i]), std::fabs(both.right[i])});
    if (peak == 0.0)
      throw Error("the effect answers an impulse with silence: there is no response to measure");
    const auto gap = static_cast<size_t>(std::round(0.137 * rate));
    Capture again;
    if (!both.capped) {
      later = position + gap - before;
      again = capture(*instance, block, gap, true, true, quiet, cap, window, position);
    } else {
      // Still sounding: the same impulse later in a fresh instance.
      size_t fresh = 0;
      auto other = bench.fresh("testing time invariance");
      later = both.left.size() + gap;
      again = capture(*other, block, before + later, true, true, quiet, cap, window, fresh);
    }
    both.left.resize(std::max(window, both.left.size()));
    both.right.resize(both.left.size());
    for (size_t i = 0; i < window; ++i)
      difference = std::max({difference, std::fabs(both.left[i] - again.left[i]),
                             std::fabs(both.right[i] - again.right[i])});
    invariant = difference <= kTimeVariance * peak;
  }
  if (both.capped)
    result["warnings"].push_back(
        bench.effect() +
        " does not die away: its response still sounds above -100 dB of its peak " +
        seconds(options.maxTailSeconds) +
        " s after the impulse (--max-tail); the analysis holds for that much of it");
  result["response_seconds"] = rounded(static_cast<double>(end) / rate, 1e-4);
  result["time_invariant"] = invariant;
  if (!invariant)
    result["warnings"].push_back(
        "not time-invariant: the same impulse " + std::to_string(later) +
        " frames later gives another response (differing by " +
        std::to_string(static_cast<int>(std::round(decibels(difference / peak)))) +
        " dB of its peak); the linear response holds for one moment only");

  // Latency: the main peak of the earlier channel (a channel far quieter than
  // the other does not count). A reported delay before the response begins or
  // after its peak makes a host compensate the wrong amount; a response of
  // several arrivals (echoes) is not late, unless the reported delay passes its
  // first.
  const auto leftPeak = peakAndOnset(both.left, window),
             rightPeak = peakAndOnset(both.right, window);
  const double leftLevel = std::fabs(both.left[leftPeak.first]);
  const double rightLevel = std::fabs(both.right[rightPeak.first]);
  std::pair<size_t, size_t> found = leftLevel >= rightLevel ? leftPeak : rightPeak;
  const std::pair<size_t, size_t>& quieter = leftLevel >= rightLevel ? rightPeak : leftPeak;
  if (std::min(leftLevel, rightLevel) >= 0.1 * std::max(leftLevel, rightLevel) &&
      quieter.first < found.first)
    found = quieter;
  result["latency"] = {{"reported_frames", reported}, {"measured_frames", found.first}};
  const bool echoes = arrivals(both.left, both.right, window, rate) > 1;
  if (reported < static_cast<long>(echoes ? 0 : found.second) ||
      reported > static_cast<long>(found.first))
    result["warnings"].push_back("latency: the effect reports " + std::to_string(reported) +
                                 " frames, its response peaks at frame " +
                                 std::to_string(found.first) +
                                 ": a host compensates the wrong amount");

  // Each input alone: the stereo transfer matrix.
  Capture alone[2];
  for (int input = 0; input < 2; ++input) {
    size_t at = 0;
    auto instance = bench.fresh(input == 0 ? "measuring the left input's response"
                                           : "measuring the right input's response");
    alone[input] =
        capture(*instance, block, before, input == 0, input == 1, quiet, cap, both.left.size(), at);
  }

  // Spectra zero-padded to at least twice the response, so the bins are half
  // a hertz apart at most.
  const size_t size = analysis::fastLength(2 * window);
  const Spectra l = spectra(both.left, window, size), r = spectra(both.right, window, size);
  const std::vector<double> frequencies = analysis::responseFrequencies(rate);
  nlohmann::json& response = result["response"];
  for (double f : frequencies) response["frequency_hz"].push_back(rounded(f, 1e-3));
  const char* names[] = {"left", "right", "mid", "side"};
  for (int curve = 0; curve < 4; ++curve) {
    Spectra s = curve == 0 ? l : r;
    if (curve >= 2) {
      const double sign = curve == 3 ? -1.0 : 1.0;
      for (size_t k = 0; k < s.plain.size(); ++k) {
        s.plain[k] = 0.5 * (l.plain[k] + sign * r.plain[k]);
        s.weighted[k] = 0.5 * (l.weighted[k] + sign * r.weighted[k]);
      }
    }
    nlohmann::json into;
    curves(s.plain, s.weighted, size, rate, frequencies, into);
    for (const char* key : {"magnitude_db", "phase_deg", "group_delay_ms", "magnitude_min_db",
                            "magnitude_max_db", "group_delay_min_ms", "group_delay_max_ms"})
      response[key][names[curve]] = into[key];
  }
  const char* paths[2][2] = {{"left_to_left", "left_to_right"},
                             {"right_to_left", "right_to_right"}};
  for (int input = 0; input < 2; ++input)
    for (int output = 0; output < 2; ++output) {
      const Spectra s = spectra(output == 0 ? alone[input].left : alone[input].right, window, size);
      nlohmann::json& path = result["matrix"][paths[input][output]];
      curves(s.plain, s.weighted, size, rate, frequencies, path);
      // Where the path's response peaks (an echo's frame); null where silent.
      const std::vector<double>& heard = output == 0 ? alone[input].left : alone[input].right;
      const size_t at = peakAndOnset(heard, window).first;
      path["peak_frame"] = heard[at] != 0.0 ? nlohmann::json(at) : nlohmann::json(nullptr);
      path["peak_db"] = rounded(decibels(std::fabs(heard[at])), 1e-4);
    }
  nlohmann::json notches = nlohmann::json::array();
  for (double f : analysis::monoNotches(l.plain, r.plain, size, rate))
    notches.push_back(rounded(f, 1e-2));
  result["mono_notches_hz"] = notches;

  // The whole response, at least 50 ms and 20 ms past its peak.
  const size_t shown =
      std::min(window, std::max({end, static_cast<size_t>(std::ceil(0.05 * rate)),
                                 std::max(leftPeak.first, rightPeak.first) +
                                     static_cast<size_t>(std::ceil(0.02 * rate))}));
  for (size_t i = 0; i < shown; ++i) {
    result["impulse_response"]["left"].push_back(rounded(both.left[i], 1e-9));
    result["impulse_response"]["right"].push_back(rounded(both.right[i], 1e-9));
  }

  // The decay of a response that rings longer than 100 ms.
  if (static_cast<double>(end) > 0.1 * rate) {
    std::vector<double> energy(end);
    for (size_t i = 0; i < end; ++i)
      energy[i] = both.left[i] * both.left[i] + both.right[i] * both.right[i];
    const analysis::Decay d = analysis::decay(energy, rate);
    nlohmann::json& decay = result["decay"];
    decay["rt60_s"] = rounded(d.rt60, 1e-4);
    decay["rt60_from"] = d.fromT20 ? "T20" : "T30";
    decay["edt_s"] = rounded(d.edt, 1e-4);
    for (size_t i = 0; i < d.time.size(); ++i) {
      decay["time_s"].push_back(rounded(d.time[i], 1e-4));
      decay["edc_db"].push_back(rounded(d.edc[i], 1e-3));
    }
  }
}

}  // namespace vsthost

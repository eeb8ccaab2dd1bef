// An instrument measured: the spectrum of a held note with its harmonics and
// what is not harmonic (aliasing), its level against velocity, when a note
// sounds against the frame its event asked for, and the time a block takes
// with 1, 4, 16 and 64 notes held.
#include <algorithm>
#include <cmath>

#include "analyze/analysis.h"
#include "analyze/bench.h"
#include "analyze/measure.h"

namespace vsthost {

namespace {

constexpr int kSpectrumPoints = 2000;  // the spectrum kept for the picture, at most
constexpr int kVoices[] = {1, 4, 16, 64};

const char* const kNoteNames[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

std::string noteName(int key) {
  return std::to_string(key) + " (" + kNoteNames[key % 12] + std::to_string(key / 12 - 1) + ")";
}

// A note's event: on with `velocity`, off with none.
struct NoteEvent {
  size_t frame;
  int key, velocity;
};

// Plays `frames` of the instance, handing each block the events that fall in
// it; both outputs kept.
void play(Instance& instance, size_t block, size_t frames, std::vector<float>& left,
          std::vector<float>& right, const std::vector<NoteEvent>& notes,
          std::vector<double>* micros = nullptr) {
  left.assign(frames, 0.0f);
  right.assign(frames, 0.0f);
  std::vector<float> zero(block, 0.0f);
  for (size_t done = 0, blocks = 0; done < frames; done += block, ++blocks) {
    const size_t n = std::min(block, frames - done);
    host::EventList list;
    for (const NoteEvent& note : notes)
      if (note.frame >= done && note.frame < done + n) {
        const auto at = static_cast<VstInt32>(note.frame - done);
        if (note.velocity > 0)
          list.noteOn(at, note.key, note.velocity);
        else
          list.noteOff(at, note.key);
      }
    if (!list.empty()) instance.events(list);
    double took = 0.0;
    instance.process(zero.data(), zero.data(), n, &left[done], &right[done], done, &took);
    if (micros != nullptr && blocks >= 8) micros->push_back(took);
  }
}

// A Blackman-Harris window's weight at i of n (sidelobes 92 dB down).
double blackmanHarris(size_t i, size_t n) {
  const double x = 2.0 * analysis::kPi * static_cast<double>(i) / static_cast<double>(n);
  return 0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
}

// The held note: its windowed power spectrum, the harmonics found near each
// multiple of the measured fundamental, and the power of the rest.
void heldNote(Instance& instance, const AnalyzeOptions& options, double frequency,
              nlohmann::json& into) {
  const auto block = static_cast<size_t>(options.block);
  const auto window = static_cast<size_t>(std::round(options.rate));  // 1 Hz bins
  const auto settle = window / 2;
  std::vector<float> left, right;
  play(instance, block, settle + window, left, right, {{0, options.note, options.velocity}});
  double peakLeft = 0.0, peakRight = 0.0;
  for (size_t i = settle; i < settle + window; ++i) {
    peakLeft = std::max(peakLeft, std::fabs(static_cast<double>(left[i])));
    peakRight = std::max(peakRight, std::fabs(static_cast<double>(right[i])));
  }
  if (std::max(peakLeft, peakRight) == 0.0)
    throw Error(options.module + ": the instrument is silent for note " + noteName(options.note) +
                " at velocity " + std::to_string(options.velocity) +
                ": there is no note to measure (--note, --velocity)");
  const bool useRight = peakRight > peakLeft;
  std::vector<double> signal(window);
  double gain = 0.0, squares = 0.0;
  for (size_t i = 0; i < window; ++i) {
    const double w = blackmanHarris(i, window);
    signal[i] = (useRight ? right : left)[settle + i] * w;
    gain += w, squares += w * w;
  }
  // Each bin's power, scaled so that a sine's main lobe sums to its power
  // (the window's gain and its equivalent noise bandwidth divided out).
  const std::vector<std::complex<double>> bins = analysis::spectrum(signal, window);
  const double bandwidth = static_cast<double>(window) * squares / (gain * gain);
  std::vector<double> power(bins.size());
  for (size_t k = 0; k < bins.size(); ++k)
    power[k] = std::norm(bins[k]) * 2.0 / (gain * gain * bandwidth);
  const double binHz = options.rate / static_cast<double>(window);
  // The fundamental where the strongest bin within a semitone of the note is.
  const auto strongestBin = [&](double f, double width) {
    const auto from = static_cast<size_t>(std::max(1.0, std::floor((f - width) / binHz)));
    const auto to = std::min(power.size() - 1, static_cast<size_t>(std::ceil((f + width) / binHz)));
    size_t best = from;
    for (size_t k = from; k <= to; ++k)
      if (power[k] > power[best]) best = k;
    return best;
  };
  const size_t fundamentalBin = strongestBin(frequency, frequency * 0.06);
  const double fundamental = static_cast<double>(fundamentalBin) * binHz;
  // Each harmonic's power: the bins of its main lobe (4 bins each side).
  constexpr size_t kLobe = 4;
  std::vector<bool> harmonic(power.size(), false);
  double harmonicPower = 0.0, fundamentalPower = 0.0;
  nlohmann::json harmonics = nlohmann::json::array();
  std::vector<std::pair<double, double>> harmonicLevels;  // frequency, power
  for (int h = 1; h * fundamental < options.rate / 2.0 - kLobe * binHz; ++h) {
    const size_t at = strongestBin(h * fundamental, std::max(2.0 * binHz, 0.005 * h * fundamental));
    double sum = 0.0;
    for (size_t k = at - std::min(at, kLobe); k <= std::min(power.size() - 1, at + kLobe); ++k) {
      if (!harmonic[k]) sum += power[k];
      harmonic[k] = true;
    }
    if (h == 1) fundamentalPower = sum;
    harmonicPower += sum;
    harmonicLevels.emplace_back(static_cast<double>(at) * binHz, sum);
  }
  // Each harmonic's level against the fundamental's.
  for (size_t h = 0; h < harmonicLevels.size() && h < 32; ++h)
    harmonics.push_back(
        {{"number", h + 1},
         {"frequency_hz", rounded(harmonicLevels[h].first, 1e-3)},
         {"level_db",
          rounded(std::max(-200.0, 10.0 * std::log10(harmonicLevels[h].second / fundamentalPower)),
                  1e-3)}});
  double rest = 0.0;
  for (size_t k = kLobe + 1; k < power.size(); ++k)
    if (!harmonic[k]) rest += power[k];
  into["channel"] = useRight ? "right" : "left";
  into["frequency_hz"] = rounded(fundamental, 1e-3);
  into["level_dbfs"] = rounded(10.0 * std::log10(2.0 * fundamentalPower), 1e-3);
  into["harmonics"] = harmonics;
  into["alias_db"] = rounded(std::max(-200.0, 10.0 * std::log10(rest / harmonicPower)), 1e-3);
  // The spectrum for the picture: the most of each stretch of bins.
  const size_t stretch = std::max<size_t>(1, power.size() / kSpectrumPoints);
  for (size_t k = 1; k < power.size(); k += stretch) {
    double most = 0.0;
    for (size_t j = k; j < k + stretch && j < power.size(); ++j) most = std::max(most, power[j]);
    into["spectrum"]["frequency_hz"].push_back(rounded(static_cast<double>(k) * binHz, 1e-2));
    into["spectrum"]["level_db"].push_back(
        rounded(std::max(-200.0, 10.0 * std::log10(most)), 1e-2));
  }
}

}  // namespace

void measureInstrument(Bench& bench, nlohmann::json& result) {
  const AnalyzeOptions& options = bench.options();
  const auto block = static_cast<size_t>(options.block);
  nlohmann::json& instrument = result["instrument"];
  instrument["note"] = options.note;
  instrument["velocity"] = options.velocity;
  const double frequency = 440.0 * std::pow(2.0, (options.note - 69) / 12.0);
  {
    auto instance = bench.fresh("playing the held note");
    heldNote(*instance, options, frequency, instrument);
  }

  // Level against velocity: each note held 0.3 s, its last 0.2 s measured,
  // then 0.5 s for its release.
  {
    auto instance = bench.fresh("playing velocities");
    const auto hold = static_cast<size_t>(0.3 * options.rate),
               gap = static_cast<size_t>(0.5 * options.rate);
    const int velocities[] = {1, 16, 32, 48, 64, 80, 96, 112, 127};
    std::vector<NoteEvent> notes;
    size_t at = 0;
    for (int v : velocities) {
      notes.push_back({at, options.note, v});
      notes.push_back({at + hold, options.note, 0});
      at += hold + gap;
    }
    std::vector<float> left, right;
    play(*instance, block, at, left, right, notes);
    at = 0;
    for (int v : velocities) {
      double sum = 0.0;
      const size_t from = at + hold / 3;
      for (size_t i = from; i < at + hold; ++i)
        sum += 0.5 *
               (static_cast<double>(left[i]) * left[i] + static_cast<double>(right[i]) * right[i]);
      const double rms = std::sqrt(sum / static_cast<double>(at + hold - from));
      instrument["velocity_level"]["velocity"].push_back(v);
      instrument["velocity_level"]["level_dbfs"].push_back(
          rounded(std::max(-200.0, decibels(rms * std::sqrt(2.0))), 1e-3));
      at += hold + gap;
    }
  }

  // The onset: a note asked for a frame inside the tenth block.
  {
    auto instance = bench.fresh("timing the note's onset");
    const size_t asked = 10 * block + block / 2;
    std::vector<float> left, right;
    play(*instance, block, asked + static_cast<size_t>(0.2 * options.rate), left, right,
         {{asked, options.note, options.velocity}});
    double peak = 0.0;
    for (size_t i = 0; i < left.size(); ++i)
      peak = std::max({peak, std::fabs(static_cast<double>(left[i])),
                       std::fabs(static_cast<double>(right[i]))});
    size_t heard = 0;
    while (heard < left.size() &&
           std::max(std::fabs(left[heard]), std::fabs(right[heard])) <= 1e-3 * peak)
      ++heard;
    nlohmann::json& onset = instrument["onset"];
    onset["asked_frame"] = asked;
    onset["heard_frame"] = heard;
    onset["late_frames"] = static_cast<long>(heard) - static_cast<long>(asked);
    const size_t from = asked - std::min<size_t>(asked, 64);
    for (size_t i = from; i < std::min(left.size(), asked + 192); ++i)
      onset["output"].push_back(
          rounded(std::fabs(left[i]) >= std::fabs(right[i]) ? left[i] : right[i], 1e-7));
    onset["output_from_frame"] = from;
    if (heard < asked)
      result["warnings"].push_back("onset: the note asked for frame " + std::to_string(asked) +
                                   " sounds from frame " + std::to_string(heard) + ", before it");
    else if (heard == asked - asked % block && asked % block != 0)
      result["warnings"].push_back("onset: the note asked for frame " + std::to_string(asked) +
                                   " sounds from its block's start (" + std::to_string(heard) +
                                   "): the event's frame is ignored");
  }

  // CPU with 1, 4, 16 and 64 notes held, from key 36 up, for two seconds.
  for (int voices : kVoices) {
    auto instance = bench.fresh("timing held notes");
    std::vector<NoteEvent> notes;
    for (int v = 0; v < voices; ++v) notes.push_back({0, 36 + v, options.velocity});
    const auto frames =
        static_cast<size_t>(std::max(2.0 * options.rate, static_cast<double>(72 * block)));
    std::vector<float> left, right;
    std::vector<double> micros;
    play(*instance, block, frames, left, right, notes, &micros);
    std::vector<double> sorted = micros;
    std::sort(sorted.begin(), sorted.end());
    double total = 0.0;
    for (double t : micros) total += t;
    const double mean = total / static_cast<double>(std::max<size_t>(1, micros.size()));
    const double p99 =
        sorted.empty() ? 0.0 : sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
    const double blockMicros = 1e6 * options.block / options.rate;
    instrument["cpu"].push_back(
        {{"voices", voices},
         {"mean_us", rounded(mean, 1e-3)},
         {"p99_us", rounded(p99, 1e-3)},
         {"realtime_factor", rounded(mean > 0.0 ? blockMicros / mean : 1e9, 1e-2)}});
  }
}

}  // namespace vsthost

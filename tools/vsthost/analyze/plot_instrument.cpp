// The pictures of an instrument's analysis: the held note's spectrum, level
// against velocity, the onset and the CPU by notes held.
#include <plplot.h>

#include <algorithm>
#include <cmath>

#include "analyze/plot.h"
#include "analyze/plot_canvas.h"

namespace vsthost {

namespace plotting {

namespace {

using nlohmann::json;

struct Instrument {
  Analysis a;
  double note = 0, velocity = 0, fundamental = 0, alias = NAN;
  std::vector<double> frequency, level, velocities, velocityLevel, onset, voices, mean, p99;
  double asked = 0, heard = 0, from = 0;
};

Instrument readInstrument(const json& analysis) {
  Instrument i;
  readTitle(analysis, i.a);
  const json& in = readMember(analysis, "", "instrument");
  const auto number = [&](const json& object, const std::string& parent, const char* name) {
    const json& value = readMember(object, parent, name);
    if (!value.is_number()) throw Invalid{"'" + parent + "." + name + "' is not a number"};
    return value.get<double>();
  };
  i.note = number(in, "instrument", "note");
  i.velocity = number(in, "instrument", "velocity");
  i.fundamental = number(in, "instrument", "frequency_hz");
  if (in.contains("alias_db") && in["alias_db"].is_number()) i.alias = in["alias_db"].get<double>();
  const json& spectrum = readMember(in, "instrument", "spectrum");
  i.frequency = readNumbers(spectrum, "instrument.spectrum", "frequency_hz");
  i.level = readNumbers(spectrum, "instrument.spectrum", "level_db", i.frequency.size());
  const json& velocity = readMember(in, "instrument", "velocity_level");
  i.velocities = readNumbers(velocity, "instrument.velocity_level", "velocity");
  i.velocityLevel =
      readNumbers(velocity, "instrument.velocity_level", "level_dbfs", i.velocities.size());
  const json& onset = readMember(in, "instrument", "onset");
  i.onset = readNumbers(onset, "instrument.onset", "output");
  i.asked = number(onset, "instrument.onset", "asked_frame");
  i.heard = number(onset, "instrument.onset", "heard_frame");
  i.from = number(onset, "instrument.onset", "output_from_frame");
  const json& cpu = readMember(in, "instrument", "cpu");
  if (!cpu.is_array() || cpu.empty()) throw Invalid{"'instrument.cpu' is not a non-empty array"};
  for (const json& row : cpu) {
    i.voices.push_back(number(row, "instrument.cpu[]", "voices"));
    i.mean.push_back(number(row, "instrument.cpu[]", "mean_us"));
    i.p99.push_back(number(row, "instrument.cpu[]", "p99_us"));
  }
  if (i.frequency.empty() || i.velocities.empty() || i.onset.empty())
    throw Invalid{"'instrument' has an empty curve"};
  return i;
}

bool spectrum(const Instrument& i, const std::string& folder, std::string& error) {
  Picture picture(folder, "note_spectrum.png");
  if (!picture.begin(error)) return false;
  std::vector<double> x, y;
  for (size_t k = 0; k < i.frequency.size(); ++k)
    if (i.frequency[k] > 0) x.push_back(i.frequency[k]), y.push_back(i.level[k]);
  std::vector<Curve> curves = {{"held note", kBlue, 1, 1.4, &x, &y}};
  const std::vector<double> values = finiteValues(curves);
  const double peak = values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
  const Range range = {10 * std::floor((peak - 140) / 10), 10 * std::ceil(peak / 10 + 0.05)};
  char title[128];
  std::snprintf(title, sizeof title, "note %g (%.1f Hz), not harmonic %.1f dB", i.note,
                i.fundamental, i.alias);
  const double low = std::log10(std::max(10.0, std::min(20.0, x.empty() ? 20.0 : x.front())));
  const double high = std::log10(std::max(100.0, i.a.rate / 2));
  frame(i.a, title, low, high, range);
  frequencyAxes(low, high, range, "Level (dB, a sine's power)");
  draw(curves[0], range, true);
  legend(curves);
  return picture.commit(error);
}

bool velocity(const Instrument& i, const std::string& folder, std::string& error) {
  Picture picture(folder, "velocity.png");
  if (!picture.begin(error)) return false;
  std::vector<Curve> curves = {
      {"level of the held note", kBlue, 1, 2.0, &i.velocities, &i.velocityLevel, true}};
  const std::vector<double> values = finiteValues(curves);
  Range range = {-60, 0};
  if (!values.empty()) {
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    range = rounded(*low - 3, *high + 3, 6, 12);
  }
  frame(i.a, "level against velocity", 0, 128, range);
  linearAxes("Velocity", "Level (dBFS, a sine's peak of the same power)");
  draw(curves[0], range, false);
  legend(curves);
  return picture.commit(error);
}

bool onset(const Instrument& i, const std::string& folder, std::string& error) {
  Picture picture(folder, "onset.png");
  if (!picture.begin(error)) return false;
  std::vector<double> frames(i.onset.size());
  for (size_t k = 0; k < frames.size(); ++k) frames[k] = i.from + static_cast<double>(k);
  std::vector<Curve> curves = {{"output", kBlue, 1, 1.6, &frames, &i.onset}};
  double peak = 0;
  for (double v : i.onset)
    if (std::isfinite(v)) peak = std::max(peak, std::fabs(v));
  if (!(peak > 0)) peak = 1;
  const Range range = {-1.1 * peak, 1.1 * peak};
  char title[96];
  std::snprintf(title, sizeof title, "onset: asked for frame %.0f, heard from %.0f", i.asked,
                i.heard);
  frame(i.a, title, frames.front(), std::max(frames.back(), frames.front() + 1), range);
  linearAxes("Frame", "Amplitude");
  std::vector<double> askedX = {i.asked, i.asked}, askedY = {range.low, range.high};
  curves.push_back({"asked frame", kVermillion, 2, 1.4, &askedX, &askedY});
  draw(curves[1], range, false);
  draw(curves[0], range, false);
  legend(curves);
  return picture.commit(error);
}

bool cpu(const Instrument& i, const std::string& folder, std::string& error) {
  Picture picture(folder, "cpu_by_notes.png");
  if (!picture.begin(error)) return false;
  std::vector<Curve> curves = {{"mean", kBlue, 1, 2.0, &i.voices, &i.mean, true},
                               {"99th percentile", kVermillion, 3, 2.0, &i.voices, &i.p99, true}};
  const std::vector<double> values = finiteValues(curves);
  const double most = values.empty() ? 1.0 : *std::max_element(values.begin(), values.end());
  const Range range = {0, std::max(1.0, most * 1.1)};
  frame(i.a, "time a block takes by notes held", 0, 68, range);
  linearAxes("Notes held", "Time a block takes (microseconds)");
  for (const Curve& curve : curves) draw(curve, range, false);
  legend(curves);
  return picture.commit(error);
}

}  // namespace

bool writeInstrumentPlots(const json& analysis, const std::string& folder, std::string& error) {
  Instrument i;
  try {
    i = readInstrument(analysis);
  } catch (const Invalid& invalid) {
    error = invalid.line;
    return false;
  }
  using Drawing = bool (*)(const Instrument&, const std::string&, std::string&);
  for (Drawing drawing : {spectrum, velocity, onset, cpu})
    if (!drawing(i, folder, error)) return false;
  return true;
}

}  // namespace plotting

}  // namespace vsthost

// Pictures of an analysis, drawn with PLplot's pngcairo device. Everything a
// picture needs is read and checked first (plot_data.cpp), so an analysis
// that lacks a key writes nothing; each picture is drawn into a temporary
// file beside its target and renamed into place only when complete.
#include "analyze/plot.h"

#if VSTHOST_PLOTS

#include <plplot.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

#include "analyze/plot_canvas.h"

namespace vsthost {

namespace {

using namespace plotting;
using nlohmann::json;

// The four channels' curves against frequency, with the magnitude's bands
// when given.
std::vector<Curve> channelCurves(const Analysis& a, const std::vector<double> (&values)[4],
                                 const std::vector<double> (*low)[4] = nullptr,
                                 const std::vector<double> (*high)[4] = nullptr) {
  std::vector<Curve> curves;
  const int colours[] = {kBlue, kVermillion, kGreen, kPurple};
  const int styles[] = {1, 3, 1, 2};
  const double widths[] = {2.0, 2.0, 2.2, 2.0};
  const char* labels[] = {"left", "right", "mid (L+R)/2", "side (L-R)/2"};
  for (int c = 0; c < 4; ++c) {
    const std::string label =
        hasFinite(values[c]) ? labels[c] : kChannels[c] + std::string(": silent");
    curves.push_back({label, colours[c], styles[c], widths[c], &a.frequency, &values[c]});
    if (low != nullptr && !(*low)[c].empty()) {
      curves.back().low = &(*low)[c];
      curves.back().high = &(*high)[c];
    }
  }
  return curves;
}

// Draws left and right, then side, then mid on top: the mono sum is what
// matters most in a widener's picture.
void drawChannels(const std::vector<Curve>& curves, Range y, double jump = HUGE_VAL) {
  for (int c : {0, 1, 3, 2}) draw(curves[static_cast<size_t>(c)], y, true, jump);
}

// The frequency axis: 20 Hz to 20 kHz, or to the highest frequency below it
// where Nyquist comes first, widened to whatever the curves cover.
double logLow(const Analysis& a) { return std::log10(std::min(a.frequency.front(), 20.0)); }
double logHigh(const Analysis& a) {
  const double high = std::log10(std::max(a.frequency.back(), std::min(20000.0, a.rate / 2)));
  return high > logLow(a) + 0.1 ? high : logLow(a) + 1.0;
}

bool magnitude(const Analysis& a, const std::string& folder, std::string& error) {
  Picture picture(folder, "magnitude.png");
  if (!picture.begin(error)) return false;
  const std::vector<Curve> curves =
      channelCurves(a, a.magnitude, &a.magnitudeLow, &a.magnitudeHigh);
  const std::vector<double> values = finiteValues(curves);
  const double peak = values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
  // A comb's notches go down without end: the floor is 60 dB under the peak.
  const Range y = {10 * std::floor((peak - 60) / 10), 5 * std::ceil(peak / 5 + 0.2)};
  frame(a, "magnitude response", logLow(a), logHigh(a), y);
  frequencyAxes(logLow(a), logHigh(a), y, "Magnitude (dB), shown to 60 dB below the peak");
  drawChannels(curves, y);
  legend(curves);
  return picture.commit(error);
}

bool phase(const Analysis& a, const std::string& folder, std::string& error) {
  Picture picture(folder, "phase.png");
  if (!picture.begin(error)) return false;
  const std::vector<Curve> curves = channelCurves(a, a.phase);
  const std::vector<double> values = finiteValues(curves);
  const bool wrapped =
      std::all_of(values.begin(), values.end(), [](double v) { return v >= -180.5 && v <= 180.5; });
  const Range y = wrapped ? Range{-180, 180} : robustRange(values, 10.0);
  frame(a, "phase response", logLow(a), logHigh(a), y);
  frequencyAxes(logLow(a), logHigh(a), y,
                wrapped ? "Phase (degrees, wrapped to -180..180)" : "Phase (degrees)",
                wrapped ? 90.0 : 0.0);
  // A wrapped phase's jumps from -180 to 180 are not part of the curve.
  drawChannels(curves, y, wrapped ? 180.0 : HUGE_VAL);
  legend(curves);
  return picture.commit(error);
}

bool groupDelay(const Analysis& a, const std::string& folder, std::string& error) {
  Picture picture(folder, "group_delay.png");
  if (!picture.begin(error)) return false;
  const std::vector<Curve> curves = channelCurves(a, a.groupDelay, &a.delayLow, &a.delayHigh);
  const std::vector<double> values = finiteValues(curves);
  const Range y = robustRange(values, 1.0);
  const bool clipped =
      std::any_of(values.begin(), values.end(), [&](double v) { return v < y.low || v > y.high; });
  frame(a, "group delay", logLow(a), logHigh(a), y);
  frequencyAxes(logLow(a), logHigh(a), y,
                clipped ? "Group delay (ms), spikes clipped" : "Group delay (ms)");
  drawChannels(curves, y);
  legend(curves);
  return picture.commit(error);
}

// The impulse response: its first 50 ms as it is, and beside it the whole of
// it as the peak level of each stretch in dB.
bool impulse(const Analysis& a, const std::string& folder, std::string& error) {
  Picture picture(folder, "impulse.png");
  if (!picture.begin(error)) return false;
  const size_t frames = std::max(a.impulse[0].size(), a.impulse[1].size());
  const size_t early = std::min(frames, static_cast<size_t>(std::ceil(0.05 * a.rate)));
  std::vector<double> time(early), shown[2];
  for (size_t i = 0; i < early; ++i) time[i] = 1000.0 * static_cast<double>(i) / a.rate;
  for (int c = 0; c < 2; ++c)
    shown[c].assign(a.impulse[c].begin(),
                    a.impulse[c].begin() + static_cast<long>(std::min(early, a.impulse[c].size())));
  std::vector<Curve> curves = {{"left", kBlue, 1, 1.6, &time, &shown[0]},
                               {"right", kVermillion, 3, 1.6, &time, &shown[1]}};
  double peak = 0;
  for (int c = 0; c < 2; ++c)
    for (double v : a.impulse[c])
      if (std::isfinite(v)) peak = std::max(peak, std::fabs(v));
  if (!(peak > 0)) peak = 1.0;
  const Range y = {-1.1 * peak, 1.1 * peak};
  const double end = early > 1 ? time.back() : 1000.0 / a.rate;
  // A little room left of frame 0, where an undelayed impulse stands.
  frame(a, "impulse response", -0.02 * end, end, y);
  plvpor(0.09, 0.40, 0.13, a.warning.empty() ? 0.84 : 0.80);
  plwind(-0.02 * end, end, y.low, y.high);
  linearAxes("Time (ms), the first 50", "Amplitude (input impulse = 1)");
  for (const Curve& curve : curves) draw(curve, y, false);

  // The whole response: the peak of each of at most 2000 stretches, in dB.
  const size_t stretch = std::max<size_t>(1, (frames + 1999) / 2000);
  std::vector<double> seconds, level[2];
  for (size_t from = 0; from < frames; from += stretch) {
    seconds.push_back(static_cast<double>(from) / a.rate);
    for (int c = 0; c < 2; ++c) {
      double most = 0.0;
      for (size_t i = from; i < from + stretch && i < a.impulse[c].size(); ++i)
        if (std::isfinite(a.impulse[c][i])) most = std::max(most, std::fabs(a.impulse[c][i]));
      level[c].push_back(most > 0 ? 20.0 * std::log10(most) : -HUGE_VAL);
    }
  }
  const double top = 20.0 * std::log10(peak);
  const Range db = {10 * std::floor((top - 120) / 10), 10 * std::ceil(top / 10 + 0.05)};
  // Silence (and what is quieter than the floor) stands on the floor.
  for (auto& values : level)
    for (double& v : values) v = std::max(v, db.low);
  const double length = std::max(seconds.back(), 1.0 / a.rate);
  plvpor(0.53, 0.80, 0.13, a.warning.empty() ? 0.84 : 0.80);
  plwind(0, length, db.low, db.high);
  linearAxes("Time (s), the whole response", "Peak level (dB)");
  std::vector<Curve> whole = {{"left", kBlue, 1, 1.6, &seconds, &level[0]},
                              {"right", kVermillion, 3, 1.6, &seconds, &level[1]}};
  for (const Curve& curve : whole) draw(curve, db, false);
  legend(curves);
  return picture.commit(error);
}

// The stereo transfer matrix: what each input makes of each output, the
// paths that cross (left to right, right to left) where they are not silent.
bool matrix(const Analysis& a, const std::string& folder, std::string& error) {
  if (a.path[0].empty()) return true;
  Picture picture(folder, "matrix.png");
  if (!picture.begin(error)) return false;
  const int colours[] = {kBlue, kGreen, kPurple, kVermillion};
  const int styles[] = {1, 2, 3, 1};
  const char* labels[] = {"left to left", "left to right", "right to left", "right to right"};
  std::vector<Curve> curves;
  for (int p = 0; p < 4; ++p) {
    const bool silent = !hasFinite(a.path[p]);
    curves.push_back({labels[p] + std::string(silent ? ": silent" : ""), colours[p], styles[p], 2.0,
                      &a.frequency, &a.path[p]});
    if (!a.pathLow[p].empty()) {
      curves.back().low = &a.pathLow[p];
      curves.back().high = &a.pathHigh[p];
    }
  }
  const std::vector<double> values = finiteValues(curves);
  const double peak = values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
  const Range y = {10 * std::floor((peak - 60) / 10), 5 * std::ceil(peak / 5 + 0.2)};
  frame(a, "stereo transfer matrix (each input alone)", logLow(a), logHigh(a), y);
  frequencyAxes(logLow(a), logHigh(a), y, "Magnitude (dB), shown to 60 dB below the peak");
  for (int p : {0, 3, 1, 2}) draw(curves[static_cast<size_t>(p)], y, true);
  legend(curves);
  return picture.commit(error);
}

// The energy decay curve of a response that rings, with its RT60 and EDT.
bool decay(const Analysis& a, const std::string& folder, std::string& error) {
  if (a.decayTime.empty()) return true;
  Picture picture(folder, "decay.png");
  if (!picture.begin(error)) return false;
  char title[96];
  std::snprintf(title, sizeof title, "energy decay, RT60 %.3g s, EDT %.3g s", a.rt60, a.edt);
  std::vector<Curve> curves = {{"energy decay", kBlue, 1, 2.0, &a.decayTime, &a.decayDb}};
  const Range y = {-120, 5};
  const double end = std::max(a.decayTime.back(), 1e-3);
  frame(a, title, 0, end, y);
  linearAxes("Time after the impulse (s)", "Energy left (dB)");
  // A line falling 60 dB in RT60 from 0 dB, beside the curve it was fitted to.
  if (std::isfinite(a.rt60) && a.rt60 > 0) {
    std::vector<double> lineX = {0, end}, lineY = {0, -60.0 * end / a.rt60};
    curves.push_back({"60 dB in RT60", kGrey, 2, 1.4, &lineX, &lineY});
    draw(curves.back(), y, false);
    curves.back().x = curves.back().y = nullptr;
  }
  draw(curves[0], y, false);
  legend(curves);
  return picture.commit(error);
}

bool distortion(const Analysis& a, const std::string& folder, std::string& error) {
  Picture picture(folder, "thd.png");
  if (!picture.begin(error)) return false;
  std::vector<Curve> curves = {{"THD", kBlue, 1, 2.0, &a.harmonicLevel, &a.thd, true},
                               {"THD+N", kVermillion, 3, 2.0, &a.harmonicLevel, &a.thdN, true}};
  const std::vector<double> values = finiteValues(curves);
  Range y = {-120, 0};
  if (!values.empty()) {
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    y = rounded(*low - 3, *high + 3, 10, 20);
  }
  const auto [low, high] = std::minmax_element(a.harmonicLevel.begin(), a.harmonicLevel.end());
  const Range x = rounded(*low - 3, *high + 3, 2, 12);
  frame(a, "distortion of a 1 kHz sine against its level", x.low, x.high, y);
  linearAxes("Input level (dBFS, 0 = a sine of peak 1.0)", "THD, THD+N (dB re the fundamental)");
  if (values.empty()) {
    plmtex("t", -2.0, 0.5, 0.5, "no distortion above the measurement's floor");
  }
  for (const Curve& curve : curves) draw(curve, y, false);
  legend(curves);
  return picture.commit(error);
}

bool dynamics(const Analysis& a, const std::string& folder, std::string& error) {
  Picture picture(folder, "dynamics.png");
  if (!picture.begin(error)) return false;
  std::vector<double> unity = a.dynamicsIn;
  std::vector<Curve> curves = {{"output level", kBlue, 1, 2.2, &a.dynamicsIn, &a.dynamicsOut, true},
                               {"unity (out = in)", kGrey, 2, 1.4, &a.dynamicsIn, &unity}};
  std::vector<double> values = finiteValues(curves);
  const std::vector<double> levels = finiteValues({curves[1]});
  Range x = {-60, 0};
  if (!levels.empty()) {
    const auto [low, high] = std::minmax_element(levels.begin(), levels.end());
    x = rounded(*low - 2, *high + 2, 2, 12);
  }
  Range y = x;
  if (!values.empty()) {
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    y = rounded(*low - 3, *high + 3, 6, 12);
  }
  frame(a, "static level curve of a 1 kHz sine", x.low, x.high, y);
  linearAxes("Input level (dBFS)", "Output level (dBFS)");
  draw(curves[1], y, false);
  draw(curves[0], y, false);
  legend(curves);
  return picture.commit(error);
}

}  // namespace

bool analysisPlotsAvailable() { return true; }

bool writeAnalysisPlots(const json& analysis, const std::string& folder, std::string& error) {
  const bool instrument = analysis.is_object() && analysis.contains("instrument");
  Analysis a;
  try {
    if (!instrument) a = readAnalysis(analysis);
  } catch (const Invalid& invalid) {
    error = invalid.line;
    return false;
  }
  if (!pngDeviceAvailable()) {
    error = "PLplot's pngcairo device is missing (Debian's plplot-driver-cairo)";
    return false;
  }
  std::error_code failure;
  std::filesystem::create_directories(folder, failure);
  if (failure || !std::filesystem::is_directory(folder)) {
    error = folder + ": cannot create the folder" +
            (failure ? " (" + failure.message() + ")" : std::string(" (not a folder)"));
    return false;
  }
  plsexit(plplotExit);
  if (instrument) return writeInstrumentPlots(analysis, folder, error);
  using Drawing = bool (*)(const Analysis&, const std::string&, std::string&);
  for (Drawing drawing :
       {magnitude, phase, groupDelay, impulse, matrix, decay, distortion, dynamics})
    if (!drawing(a, folder, error)) return false;
  return true;
}

}  // namespace vsthost

#else

namespace vsthost {

bool analysisPlotsAvailable() { return false; }

bool writeAnalysisPlots(const nlohmann::json&, const std::string&, std::string& error) {
  error = "this build of vsthost draws no pictures (it has no plotting library)";
  return false;
}

}  // namespace vsthost

#endif

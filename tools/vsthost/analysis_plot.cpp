// Pictures of an analysis, drawn with PLplot's pngcairo device. Everything a
// picture needs is read and checked first, so an analysis that lacks a key
// writes nothing; each picture is drawn into a temporary file beside its
// target and renamed into place only when complete.
#include "analysis_plot.h"

#if VSTHOST_PLOTS

#include <plplot.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "temporary_file.h"
#include "vsthost.h"

namespace vsthost {

namespace {

using nlohmann::json;

// What is wrong with the analysis: one line that names the key.
struct Invalid {
  std::string line;
};

const double kMissing = std::nan("");

std::string join(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "." + name;
}

const json& member(const json& object, const std::string& parent, const std::string& name) {
  if (!object.is_object() || !object.contains(name))
    throw Invalid{"missing key '" + join(parent, name) + "'"};
  return object[name];
}

// A value no picture can place (beyond any measurement's range) is drawn as
// a gap, like a null, so that the axes keep a range they can divide.
const double kLargest = 1e12;

double plottable(double value) { return std::fabs(value) <= kLargest ? value : kMissing; }

double number(const json& object, const std::string& parent, const std::string& name) {
  const json& value = member(object, parent, name);
  if (!value.is_number()) throw Invalid{"'" + join(parent, name) + "' is not a number"};
  return value.get<double>();
}

// A number or null (a value that was not finite); null reads as NaN.
double numberOrNull(const json& object, const std::string& parent, const std::string& name) {
  const json& value = member(object, parent, name);
  if (value.is_null()) return kMissing;
  if (!value.is_number()) throw Invalid{"'" + join(parent, name) + "' is not a number"};
  return plottable(value.get<double>());
}

// An array of numbers; null entries read as NaN (a gap in the curve).
std::vector<double> numbers(const json& object, const std::string& parent, const std::string& name,
                            size_t length = 0) {
  const json& value = member(object, parent, name);
  const std::string key = join(parent, name);
  if (!value.is_array()) throw Invalid{"'" + key + "' is not an array of numbers"};
  std::vector<double> result;
  result.reserve(value.size());
  for (const json& entry : value) {
    if (entry.is_null())
      result.push_back(kMissing);
    else if (entry.is_number())
      result.push_back(plottable(entry.get<double>()));
    else
      throw Invalid{"'" + key + "' is not an array of numbers"};
  }
  if (length != 0 && result.size() != length)
    throw Invalid{"'" + key + "' has " + std::to_string(result.size()) + " values for " +
                  std::to_string(length) + " frequencies"};
  return result;
}

const char* const kChannels[] = {"left", "right", "mid", "side"};

// The analysis as the pictures draw it.
struct Analysis {
  std::string effect, settings, warning;
  double rate = 0;
  std::vector<double> frequency;
  std::vector<double> magnitude[4], phase[4], groupDelay[4];
  std::vector<double> impulse[2];
  std::vector<double> harmonicLevel, thd, thdN;
  std::vector<double> dynamicsIn, dynamicsOut;
};

// Text as PLplot draws it: '#' starts its escape sequences, so it is doubled.
std::string plotText(const std::string& text, size_t longest = 120) {
  std::string shown = printable(text);
  if (shown.size() > longest) {
    size_t cut = longest;
    while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) --cut;
    shown = shown.substr(0, cut) + "...";
  }
  std::string result;
  for (char c : shown) {
    result += c;
    if (c == '#') result += '#';
  }
  return result;
}

Analysis read(const json& analysis) {
  if (!analysis.is_object()) throw Invalid{"the analysis is not a JSON object"};
  Analysis a;
  const json& effect = member(analysis, "", "effect");
  if (!effect.is_string()) throw Invalid{"'effect' is not a string"};
  a.effect = effect.get<std::string>();
  // An effect without a name is named by its module's file.
  if (a.effect.empty() && analysis.contains("module") && analysis["module"].is_string())
    a.effect = std::filesystem::path(analysis["module"].get<std::string>()).filename().string();
  a.rate = number(analysis, "", "rate");
  if (!(a.rate >= 1 && a.rate <= 1e7)) throw Invalid{"'rate' is not a rate from 1 to 10000000 Hz"};
  const json& params = member(analysis, "", "params");
  if (!params.is_object()) throw Invalid{"'params' is not an object"};
  for (const auto& [name, display] : params.items()) {
    if (!a.settings.empty()) a.settings += ", ";
    a.settings += name + " " + (display.is_string() ? display.get<std::string>() : display.dump());
  }
  char rate[32];
  std::snprintf(rate, sizeof rate, "%g Hz", a.rate);
  a.settings = a.settings.empty() ? rate : a.settings + "; " + rate;
  if (analysis.contains("time_invariant") && analysis["time_invariant"] == false)
    a.warning = "not time-invariant: the linear response is only approximate";

  const json& response = member(analysis, "", "response");
  a.frequency = numbers(response, "response", "frequency_hz");
  if (a.frequency.empty()) throw Invalid{"'response.frequency_hz' is empty"};
  for (size_t i = 0; i < a.frequency.size(); ++i)
    if (!(a.frequency[i] > 0) || (i > 0 && !(a.frequency[i] > a.frequency[i - 1])))
      throw Invalid{"'response.frequency_hz' is not an ascending list of positive frequencies"};
  const size_t n = a.frequency.size();
  for (int c = 0; c < 4; ++c) {
    a.magnitude[c] = numbers(member(response, "response", "magnitude_db"), "response.magnitude_db",
                             kChannels[c], n);
    a.phase[c] =
        numbers(member(response, "response", "phase_deg"), "response.phase_deg", kChannels[c], n);
    a.groupDelay[c] = numbers(member(response, "response", "group_delay_ms"),
                              "response.group_delay_ms", kChannels[c], n);
  }

  const json& impulse = member(analysis, "", "impulse_response");
  for (int c = 0; c < 2; ++c) {
    a.impulse[c] = numbers(impulse, "impulse_response", kChannels[c]);
    if (a.impulse[c].empty())
      throw Invalid{"'impulse_response." + std::string(kChannels[c]) + "' is empty"};
  }

  const json& harmonics = member(analysis, "", "harmonics");
  if (!harmonics.is_array() || harmonics.empty())
    throw Invalid{"'harmonics' is not a non-empty array"};
  for (size_t i = 0; i < harmonics.size(); ++i) {
    const std::string key = "harmonics[" + std::to_string(i) + "]";
    a.harmonicLevel.push_back(number(harmonics[i], key, "level_dbfs"));
    if (!std::isfinite(plottable(a.harmonicLevel.back())))
      throw Invalid{"'" + key + ".level_dbfs' is not a level"};
    a.thd.push_back(numberOrNull(harmonics[i], key, "thd_db"));
    a.thdN.push_back(numberOrNull(harmonics[i], key, "thd_n_db"));
  }

  const json& dynamics = member(analysis, "", "dynamics");
  a.dynamicsIn = numbers(dynamics, "dynamics", "input_dbfs");
  a.dynamicsOut = numbers(dynamics, "dynamics", "output_dbfs");
  if (a.dynamicsIn.empty()) throw Invalid{"'dynamics.input_dbfs' is empty"};
  if (a.dynamicsOut.size() != a.dynamicsIn.size())
    throw Invalid{"'dynamics.output_dbfs' has " + std::to_string(a.dynamicsOut.size()) +
                  " values for " + std::to_string(a.dynamicsIn.size()) + " input levels"};
  return a;
}

// The colours of the pictures (PLplot's map 0): the background, ink, grid,
// then one per curve, told apart by colour-blind readers too.
enum Colour { kWhite, kBlack, kGrid, kBlue, kVermillion, kGreen, kPurple, kGrey };
void setColours() {
  const PLINT r[] = {255, 0, 218, 0, 213, 0, 204, 120};
  const PLINT g[] = {255, 0, 218, 114, 94, 158, 121, 120};
  const PLINT b[] = {255, 0, 218, 178, 0, 115, 167, 120};
  plscmap0(r, g, b, 8);
}

// The mark at each measured value of a curve drawn with points.
const char* const kDot = "\u25CF";

struct Curve {
  std::string label;
  int colour;
  int style;  // PLplot's line style: 1 solid, 2 and 3 dashed
  double width;
  const std::vector<double>* x;
  const std::vector<double>* y;
  bool points = false;  // a symbol at every value
};

struct Range {
  double low, high;
};

// The finite values of the curves.
std::vector<double> finiteValues(const std::vector<Curve>& curves) {
  std::vector<double> values;
  for (const Curve& curve : curves)
    for (double v : *curve.y)
      if (std::isfinite(v)) values.push_back(v);
  return values;
}

bool hasFinite(const std::vector<double>& values) {
  return std::any_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// The limits of `values` widened to whole `step`s, at least `minimum` wide.
Range rounded(double low, double high, double step, double minimum) {
  if (high - low < minimum) {
    const double middle = (low + high) / 2;
    low = middle - minimum / 2;
    high = middle + minimum / 2;
  }
  return {std::floor(low / step) * step, std::ceil(high / step) * step};
}

// A range for values with narrow spikes (a group delay near a notch): the
// bulk of them, and the extremes only when they are near it.
Range robustRange(std::vector<double> values, double minimumSpan) {
  if (values.empty()) return {-minimumSpan / 2, minimumSpan / 2};
  std::sort(values.begin(), values.end());
  const auto at = [&](double fraction) {
    return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
  };
  double low = at(0.02), high = at(0.98);
  const double span = std::max(high - low, minimumSpan);
  if (values.front() >= low - span) low = values.front();
  if (values.back() <= high + span) high = values.back();
  const double margin = std::max(high - low, minimumSpan) * 0.08;
  return {low - margin, high + margin};
}

// Whether `path` holds a PNG from its signature to its closing IEND chunk.
bool wholePng(const std::string& path) {
  static const unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  static const unsigned char kEnd[] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  unsigned char head[sizeof kSignature] = {}, tail[sizeof kEnd] = {};
  const bool whole = std::fread(head, 1, sizeof head, file) == sizeof head &&
                     std::fseek(file, -static_cast<long>(sizeof tail), SEEK_END) == 0 &&
                     std::fread(tail, 1, sizeof tail, file) == sizeof tail &&
                     std::memcmp(head, kSignature, sizeof head) == 0 &&
                     std::memcmp(tail, kEnd, sizeof tail) == 0;
  std::fclose(file);
  return whole;
}

// The picture being drawn, removed if PLplot ends the process.
char drawingPath[4096];

// One PNG, drawn into a temporary file beside its target.
class Picture {
 public:
  Picture(const std::string& folder, const std::string& name) : target_(folder + "/" + name) {}
  ~Picture() {
    if (started_) plend();
    drawingPath[0] = '\0';
  }
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  bool begin(std::string& error) {
    try {
      file_ = std::make_unique<TemporaryFile>(target_, "the picture");
    } catch (const Error& failure) {
      error = failure.what();
      return false;
    }
    const std::string& temporary = file_->path();
    if (temporary.size() < sizeof drawingPath)
      std::memcpy(drawingPath, temporary.c_str(), temporary.size() + 1);
    plsdev("pngcairo");
    plsfnam(temporary.c_str());
    plsetopt("geometry", "1000x600");
    setColours();
    plinit();
    started_ = true;
    pladv(0);
    plschr(0.0, 0.95);
    plfont(1);
    // Labels in plain numbers, never with a separate "x10^n" factor.
    plsxax(10, 0);
    plsyax(10, 0);
    plwidth(1.0);
    return true;
  }

  // Finishes the file and puts it in the target's place.
  bool commit(std::string& error) {
    plend();
    started_ = false;
    // The device writes the whole image when the page ends, without telling
    // of a failed write: a full disk leaves a file without the signature or
    // without the closing chunk.
    if (!wholePng(file_->path())) {
      error = target_ + ": the picture could not be written (is the disk full?)";
      return false;
    }
    try {
      file_->commit();
    } catch (const Error& failure) {
      error = failure.what();
      return false;
    }
    return true;
  }

 private:
  std::string target_;
  std::unique_ptr<TemporaryFile> file_;
  bool started_ = false;
};

// The most characters a number on the y axis takes.
double yNumberLength(Range y) {
  size_t longest = 0;
  for (double v : {y.low, y.high}) {
    char number[64];
    std::snprintf(number, sizeof number, std::fabs(v) < 10 ? "%.2f" : "%.0f", v);
    longest = std::max(longest, std::strlen(number));
  }
  return static_cast<double>(longest);
}

// The frame: the plot area, the title (the effect and what the picture shows)
// and the settings line under it.
void frame(const Analysis& a, const std::string& what, double xLow, double xHigh, Range y) {
  // A warning takes a third line under the title.
  const bool warned = !a.warning.empty();
  plvpor(0.04 + 0.013 * yNumberLength(y), 0.76, 0.13, warned ? 0.80 : 0.84);
  plwind(xLow, xHigh, y.low, y.high);
  plcol0(kBlack);
  plschr(0.0, 1.35);
  plmtex("t", warned ? 4.1 : 3.0, 0.5, 0.5, plotText(a.effect + ": " + what, 80).c_str());
  plschr(0.0, 0.9);
  plmtex("t", warned ? 2.3 : 1.6, 0.5, 0.5, plotText(a.settings, 72).c_str());
  if (warned) {
    plcol0(kVermillion);
    plmtex("t", 0.9, 0.5, 0.5, plotText(a.warning).c_str());
    plcol0(kBlack);
  }
  plschr(0.0, 0.95);
}

// The y axis's label, clear of its numbers however many digits they have.
void yAxisLabel(const std::string& text) {
  PLFLT xLow, xHigh, yLow, yHigh;
  plgvpw(&xLow, &xHigh, &yLow, &yHigh);
  plmtex("l", 1.4 + 0.75 * yNumberLength({yLow, yHigh}), 0.5, 0.5, text.c_str());
}

// The box with a linear x axis, a grid and the axes' labels.
void linearAxes(const std::string& xLabel, const std::string& yLabel) {
  plcol0(kGrid);
  plbox("g", 0.0, 0, "g", 0.0, 0);
  plcol0(kBlack);
  plbox("bcnst", 0.0, 0, "bcnstv", 0.0, 0);
  plmtex("b", 3.0, 0.5, 0.5, xLabel.c_str());
  yAxisLabel(yLabel);
}

// The box with a logarithmic frequency axis (the window's x is log10 of Hz),
// labelled at 20, 50, 100, ... Hz with a grid line at each label.
void frequencyAxes(double xLow, double xHigh, Range y, const std::string& yLabel,
                   double yTick = 0.0) {
  static const double kLabelled[] = {10,   20,   50,  100, 200, 500, 1000,
                                     2000, 5000, 1e4, 2e4, 5e4, 1e5};
  plcol0(kGrid);
  plbox("", 0.0, 0, "g", yTick, 0);
  for (double f : kLabelled) {
    const double x = std::log10(f);
    if (x < xLow - 1e-9 || x > xHigh + 1e-9) continue;
    plcol0(kGrid);
    pljoin(x, y.low, x, y.high);
    plcol0(kBlack);
    char text[16];
    if (f >= 1000)
      std::snprintf(text, sizeof text, "%gk", f / 1000);
    else
      std::snprintf(text, sizeof text, "%g", f);
    plmtex("b", 1.3, (x - xLow) / (xHigh - xLow), 0.5, text);
  }
  plcol0(kBlack);
  plbox("bclst", 0.0, 0, "bcnstv", yTick, 0);
  plmtex("b", 3.0, 0.5, 0.5, "Frequency (Hz)");
  yAxisLabel(yLabel);
}

// Draws a curve as lines through its values, broken where a value is missing
// or jumps by more than `jump` (a wrapped phase); values far outside the
// window are held just outside it, where PLplot clips.
void draw(const Curve& curve, Range y, bool logX, double jump = HUGE_VAL) {
  plcol0(curve.colour);
  pllsty(curve.style);
  plwidth(curve.width);
  const double span = y.high - y.low;
  std::vector<PLFLT> xs, ys;
  const auto flush = [&] {
    if (xs.size() > 1) plline(static_cast<PLINT>(xs.size()), xs.data(), ys.data());
    if (curve.points && !xs.empty()) {
      pllsty(1);
      plschr(0.0, 0.7);
      plstring(static_cast<PLINT>(xs.size()), xs.data(), ys.data(), kDot);
      plschr(0.0, 0.95);
      pllsty(curve.style);
    }
    xs.clear();
    ys.clear();
  };
  for (size_t i = 0; i < curve.x->size() && i < curve.y->size(); ++i) {
    const double x = (*curve.x)[i], v = (*curve.y)[i];
    if (!std::isfinite(v) || !std::isfinite(x) || (logX && !(x > 0))) {
      flush();
      continue;
    }
    if (!ys.empty() && std::fabs(v - ys.back()) > jump) flush();
    xs.push_back(logX ? std::log10(x) : x);
    ys.push_back(std::clamp(v, y.low - span, y.high + span));
  }
  flush();
  pllsty(1);
  plwidth(1.0);
  plcol0(kBlack);
}

// The legend, right of the plot area.
void legend(const std::vector<Curve>& curves) {
  const auto n = static_cast<PLINT>(curves.size());
  std::vector<PLINT> options, colours, styles, boxColours, patterns, symbolNumbers, textColours;
  std::vector<PLFLT> widths, boxScales, boxWidths, symbolScales;
  std::vector<std::string> texts;
  std::vector<const char*> textPointers, symbols;
  for (const Curve& curve : curves) {
    options.push_back(PL_LEGEND_LINE | (curve.points ? PL_LEGEND_SYMBOL : 0));
    colours.push_back(curve.colour);
    styles.push_back(curve.style);
    widths.push_back(curve.width);
    textColours.push_back(kBlack);
    boxColours.push_back(0);
    patterns.push_back(0);
    boxScales.push_back(0.0);
    boxWidths.push_back(0.0);
    symbolNumbers.push_back(1);
    symbolScales.push_back(0.85);
    symbols.push_back(kDot);
    texts.push_back(plotText(curve.label));
  }
  for (const std::string& text : texts) textPointers.push_back(text.c_str());
  PLFLT width = 0, height = 0;
  plschr(0.0, 1.0);
  pllegend(&width, &height, PL_LEGEND_BACKGROUND | PL_LEGEND_BOUNDING_BOX,
           PL_POSITION_RIGHT | PL_POSITION_OUTSIDE | PL_POSITION_VIEWPORT, 0.015, 0.0, 0.06, kWhite,
           kBlack, 1, 0, 0, n, options.data(), 0.6, 0.8, 2.0, 0.0, textColours.data(),
           textPointers.data(), boxColours.data(), patterns.data(), boxScales.data(),
           boxWidths.data(), colours.data(), styles.data(), widths.data(), colours.data(),
           symbolScales.data(), symbolNumbers.data(), symbols.data());
}

// The four channels' curves against frequency.
std::vector<Curve> channelCurves(const Analysis& a, const std::vector<double> (&values)[4]) {
  std::vector<Curve> curves;
  const int colours[] = {kBlue, kVermillion, kGreen, kPurple};
  const int styles[] = {1, 3, 1, 2};
  const double widths[] = {2.0, 2.0, 2.2, 2.0};
  const char* labels[] = {"left", "right", "mid (L+R)/2", "side (L-R)/2"};
  for (int c = 0; c < 4; ++c) {
    const std::string label =
        hasFinite(values[c]) ? labels[c] : kChannels[c] + std::string(": silent");
    curves.push_back({label, colours[c], styles[c], widths[c], &a.frequency, &values[c]});
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
  const std::vector<Curve> curves = channelCurves(a, a.magnitude);
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
  const std::vector<Curve> curves = channelCurves(a, a.groupDelay);
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

bool impulse(const Analysis& a, const std::string& folder, std::string& error) {
  Picture picture(folder, "impulse.png");
  if (!picture.begin(error)) return false;
  const size_t frames = std::max(a.impulse[0].size(), a.impulse[1].size());
  std::vector<double> time(frames);
  for (size_t i = 0; i < frames; ++i) time[i] = 1000.0 * static_cast<double>(i) / a.rate;
  std::vector<Curve> curves = {{"left", kBlue, 1, 1.6, &time, &a.impulse[0]},
                               {"right", kVermillion, 1, 1.6, &time, &a.impulse[1]}};
  double peak = 0;
  for (double v : finiteValues(curves)) peak = std::max(peak, std::fabs(v));
  if (!(peak > 0)) peak = 1.0;
  const Range y = {-1.1 * peak, 1.1 * peak};
  const double end = frames > 1 ? time.back() : 1000.0 / a.rate;
  // A little room left of frame 0, where an undelayed impulse stands.
  frame(a, "impulse response", -0.02 * end, end, y);
  linearAxes("Time (ms)", "Amplitude (input impulse = 1)");
  for (const Curve& curve : curves) draw(curve, y, false);
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

// PLplot ends the process on an error it meets; the pictures are drawn only
// from checked values, so this is left for what cannot be checked first (a
// missing device, say) and names the cause.
int plplotExit(const char* message) {
  if (drawingPath[0] != '\0') unlink(drawingPath);
  std::fprintf(stderr, "vsthost: the plotting library failed: %s\n", message);
  return 1;
}

bool pngDeviceAvailable() {
  std::vector<const char*> menu(128), names(128);
  const char** menuEntries = menu.data();
  const char** deviceNames = names.data();
  int count = static_cast<int>(names.size());
  plgDevs(&menuEntries, &deviceNames, &count);
  for (int i = 0; i < count && i < static_cast<int>(names.size()); ++i)
    if (deviceNames[i] != nullptr && std::strcmp(deviceNames[i], "pngcairo") == 0) return true;
  return false;
}

}  // namespace

bool analysisPlotsAvailable() { return true; }

bool writeAnalysisPlots(const json& analysis, const std::string& folder, std::string& error) {
  Analysis a;
  try {
    a = read(analysis);
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
  using Drawing = bool (*)(const Analysis&, const std::string&, std::string&);
  for (Drawing drawing : {magnitude, phase, groupDelay, impulse, distortion, dynamics})
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

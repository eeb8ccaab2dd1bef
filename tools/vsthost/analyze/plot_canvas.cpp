// How every picture of an analysis is drawn with PLplot's pngcairo device:
// the picture file, its frame and title, the axes, curves and legend.
#include "analyze/plot_canvas.h"

#include <plplot.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/common.h"

namespace vsthost::plotting {

namespace {

// The picture's width in pixels.
constexpr double kPictureWidth = 1000.0;

// The mark at each measured value of a curve drawn with points.
const char* const kDot = "\u25CF";

// The colours of the pictures (PLplot's map 0): the background, ink, grid,
// then one per curve, told apart by colour-blind readers too.
void setColours() {
  const PLINT r[] = {255, 0, 218, 0, 213, 0, 204, 120};
  const PLINT g[] = {255, 0, 218, 114, 94, 158, 121, 120};
  const PLINT b[] = {255, 0, 218, 178, 0, 115, 167, 120};
  plscmap0(r, g, b, 8);
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

// The most characters a number on the y axis takes.
double yNumberLength(Range y) {
  size_t longest = 0;
  for (double v : {y.low, y.high}) {
    char number[64];
    // PLplot writes as many decimals as its tick step needs: one past the
    // units for most ranges, two below ten.
    std::snprintf(number, sizeof number, std::fabs(v) < 10 ? "%.2f" : "%.1f", v);
    longest = std::max(longest, std::strlen(number));
  }
  return static_cast<double>(longest);
}

// The y axis's label, clear of its numbers however many digits they have.
void yAxisLabel(const std::string& text) {
  PLFLT xLow, xHigh, yLow, yHigh;
  plgvpw(&xLow, &xHigh, &yLow, &yHigh);
  plmtex("l", 1.4 + 0.75 * yNumberLength({yLow, yHigh}), 0.5, 0.5, text.c_str());
}

}  // namespace

Picture::~Picture() {
  if (started_) plend();
  drawingPath[0] = '\0';
}

bool Picture::begin(std::string& error) {
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
  plsetopt("geometry", "1000x600");  // kPictureWidth
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

bool Picture::commit(std::string& error) {
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

// Text as PLplot draws it: '#' starts its escape sequences, so it is doubled.
std::string plotText(const std::string& text, size_t longest) {
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
void frequencyAxes(double xLow, double xHigh, Range y, const std::string& yLabel, double yTick) {
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

// Draws a curve through its values, broken where a value is missing or jumps
// by more than `jump` (a wrapped phase); values far outside the window are
// held just outside it, where PLplot clips. Values sharing a pixel column are
// drawn as one vertical stroke from their least to their most, joined to the
// neighbouring columns from its first and to its last value.
void draw(const Curve& curve, Range y, bool logX, double jump) {
  plcol0(curve.colour);
  pllsty(curve.style);
  plwidth(curve.width);
  const double span = y.high - y.low;
  PLFLT deviceLow, deviceHigh, deviceBottom, deviceTop, xLow, xHigh, yLow, yHigh;
  plgvpd(&deviceLow, &deviceHigh, &deviceBottom, &deviceTop);
  plgvpw(&xLow, &xHigh, &yLow, &yHigh);
  const double columns = std::max(1.0, (deviceHigh - deviceLow) * kPictureWidth);
  const double perColumn = (xHigh - xLow) / columns;
  std::vector<PLFLT> xs, ys, dotsX, dotsY;
  struct Column {
    long index;
    double x, first, last, least, most;
    int count;
  } column{0, 0, 0, 0, 0, 0, 0};
  const auto clamp = [&](double v) { return std::clamp(v, y.low - span, y.high + span); };
  const auto close = [&] {
    if (column.count == 0) return;
    if (column.count == 1 && column.least == column.most) {
      xs.push_back(column.x);
      ys.push_back(column.first);
    } else {
      const double x = column.count == 1
                           ? column.x
                           : xLow + (static_cast<double>(column.index) + 0.5) * perColumn;
      for (double v : {column.first, column.least, column.most, column.last}) {
        xs.push_back(x);
        ys.push_back(v);
      }
    }
    column.count = 0;
  };
  double previous = NAN;
  const auto flush = [&] {
    close();
    if (xs.size() > 1) plline(static_cast<PLINT>(xs.size()), xs.data(), ys.data());
    xs.clear();
    ys.clear();
    previous = NAN;
  };
  const auto finite = [](const std::vector<double>* values, size_t i) {
    return values != nullptr && i < values->size() && std::isfinite((*values)[i]);
  };
  for (size_t i = 0; i < curve.x->size() && i < curve.y->size(); ++i) {
    const double x = (*curve.x)[i], v = (*curve.y)[i];
    if (!std::isfinite(v) || !std::isfinite(x) || (logX && !(x > 0))) {
      flush();
      continue;
    }
    if (std::isfinite(previous) && std::fabs(v - previous) > jump) flush();
    previous = v;
    const double at = logX ? std::log10(x) : x;
    if (curve.points) {
      dotsX.push_back(at);
      dotsY.push_back(clamp(v));
    }
    const auto index = static_cast<long>(std::floor((at - xLow) / perColumn));
    if (column.count > 0 && index != column.index) close();
    const double value = clamp(v);
    double least = value, most = value;
    if (finite(curve.low, i)) least = std::min(least, clamp((*curve.low)[i]));
    if (finite(curve.high, i)) most = std::max(most, clamp((*curve.high)[i]));
    // A band's null low is a level of zero: as deep as the picture goes.
    if (curve.low != nullptr && i < curve.low->size() && std::isnan((*curve.low)[i]))
      least = y.low - span;
    if (column.count == 0) {
      column = {index, at, value, value, least, most, 1};
    } else {
      column.last = value;
      column.least = std::min(column.least, least);
      column.most = std::max(column.most, most);
      ++column.count;
    }
  }
  flush();
  if (!dotsX.empty()) {
    pllsty(1);
    plschr(0.0, 0.7);
    plstring(static_cast<PLINT>(dotsX.size()), dotsX.data(), dotsY.data(), kDot);
    plschr(0.0, 0.95);
  }
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

}  // namespace vsthost::plotting

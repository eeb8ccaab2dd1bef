// The drawing every picture of an analysis shares, on PLplot's pngcairo
// device: a picture file that appears whole or not at all, the frame with the
// title and settings, linear and logarithmic-frequency axes, curves broken at
// gaps, and the legend. The six pictures (plot.cpp) only choose ranges and
// curves.
#pragma once

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "analyze/plot_data.h"
#include "common/temporary_file.h"

namespace vsthost::plotting {

// The colours of the pictures (PLplot's map 0): the background, ink, grid,
// then one per curve, told apart by colour-blind readers too.
enum Colour { kWhite, kBlack, kGrid, kBlue, kVermillion, kGreen, kPurple, kGrey };

struct Curve {
  std::string label;
  int colour;
  int style;  // PLplot's line style: 1 solid, 2 and 3 dashed
  double width;
  const std::vector<double>* x;
  const std::vector<double>* y;
  bool points = false;  // a symbol at every value
  // The least and the most between this value and its neighbours (a comb
  // denser than the points), drawn as a band; null for none.
  const std::vector<double>* low = nullptr;
  const std::vector<double>* high = nullptr;
};

struct Range {
  double low, high;
};

// One PNG, drawn into a temporary file beside its target and renamed into
// place by commit(); removed if PLplot ends the process meanwhile.
class Picture {
 public:
  Picture(const std::string& folder, const std::string& name) : target_(folder + "/" + name) {}
  ~Picture();
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  // Starts the page; false with `error` set when the file cannot be made.
  bool begin(std::string& error);
  // Finishes the file and puts it in the target's place.
  bool commit(std::string& error);

 private:
  std::string target_;
  std::unique_ptr<TemporaryFile> file_;
  bool started_ = false;
};

// Text as PLplot draws it, cut to `longest` bytes: '#' starts its escape
// sequences, so it is doubled.
std::string plotText(const std::string& text, size_t longest = 120);

// The finite values of the curves.
std::vector<double> finiteValues(const std::vector<Curve>& curves);
bool hasFinite(const std::vector<double>& values);
// The limits of `values` widened to whole `step`s, at least `minimum` wide.
Range rounded(double low, double high, double step, double minimum);
// A range for values with narrow spikes (a group delay near a notch): the
// bulk of them, and the extremes only when they are near it.
Range robustRange(std::vector<double> values, double minimumSpan);

// The frame: the plot area, the title (the effect and what the picture shows)
// and the settings line under it.
void frame(const Analysis& a, const std::string& what, double xLow, double xHigh, Range y);
// The box with a linear x axis, a grid and the axes' labels.
void linearAxes(const std::string& xLabel, const std::string& yLabel);
// The box with a logarithmic frequency axis (the window's x is log10 of Hz),
// labelled at 20, 50, 100, ... Hz with a grid line at each label.
void frequencyAxes(double xLow, double xHigh, Range y, const std::string& yLabel,
                   double yTick = 0.0);
// Draws a curve through its values, broken where a value is missing or jumps
// by more than `jump` (a wrapped phase); where several values fall in one
// pixel column, the column shows their least to their most, so a curve denser
// than the pixels is a band, never a pattern that is not in the values.
void draw(const Curve& curve, Range y, bool logX, double jump = HUGE_VAL);
// The legend, right of the plot area.
void legend(const std::vector<Curve>& curves);

// What PLplot calls when it must end the process: removes the picture being
// drawn and names the cause.
int plplotExit(const char* message);
// The pictures of an instrument's analysis (plot_instrument.cpp).
bool writeInstrumentPlots(const nlohmann::json& analysis, const std::string& folder,
                          std::string& error);

// Whether PLplot has the pngcairo device.
bool pngDeviceAvailable();

}  // namespace vsthost::plotting

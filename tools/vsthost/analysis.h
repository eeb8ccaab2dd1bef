// analyze: what a module does to sound, measured. The measurement runs in a
// process of its own (a crash or a hang of the module ends that process, not
// vsthost) and hands back one JSON object; the command prints a summary of it,
// writes it, draws it and compares it with a stored one.
#pragma once

#include <complex>
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

namespace vsthost {

struct AnalyzeOptions {
  std::string module;
  std::vector<std::pair<std::string, std::string>> params;  // name or index, value text
  double rate = 48000.0;
  int block = 512;
  bool json = false;       // the object on standard output instead of the summary
  std::string output;      // the object into this file (whole or not at all)
  std::string plotFolder;  // pictures into this folder
  std::string baseline;    // a stored object to compare with
  double toleranceDb = 0.1;
  double timeoutSeconds = 300.0;
};

// The version of the JSON object's layout.
constexpr int kAnalysisFormat = 1;
// The largest THD difference from a baseline that passes, in dB.
constexpr double kThdMarginDb = 1.0;
// Levels below this count as this level when compared with a baseline: the
// depth of a notch changes with every rounding.
constexpr double kCompareFloorDb = -60.0;

// analyze: measures the module in a process of its own and answers the exit
// status (0, 1 on a difference from the baseline or a module that cannot be
// measured, 2 for a baseline that cannot be used). Throws Error/UsageError
// for the caller to print.
int analyze(const AnalyzeOptions& options, std::FILE* out);

// The measurement itself, in this process: loads the module, drives fresh
// instances with the test signals and answers the analysis object. `stage`
// is told what is being measured, so a crash or a hang can be named. Throws
// Error for a module that cannot be measured.
nlohmann::json measureModule(const AnalyzeOptions& options,
                             const std::function<void(const char*)>& stage);

// A Windows measurement process: `--check-child MAPPING --analyze RESULT ...`.
int analyzeChild(int argc, char** argv);

// The parts of the measurement that are plain arithmetic on captured audio.
namespace analysis {

// The frequencies of the response: 1/48 octave apart, and never more than
// 10 Hz apart, from 20 Hz to min(20 kHz, Nyquist).
std::vector<double> responseFrequencies(double rate);

// The spectrum of a real signal, zero-padded to `size` frames (at least the
// signal's length): bins 0 to size/2.
std::vector<std::complex<double>> spectrum(const std::vector<double>& signal, size_t size);

// A fast FFT length of at least `frames`.
size_t fastLength(size_t frames);

// The complex value of a spectrum of `size` bins at `frequency`, linearly
// interpolated between bins.
std::complex<double> at(const std::vector<std::complex<double>>& bins, size_t size, double rate,
                        double frequency);

// The deep minima of |mid| from 20 Hz to min(20 kHz, Nyquist): at least 20 dB
// below the mean of |left| and |right|, each refined between bins.
std::vector<double> monoNotches(const std::vector<std::complex<double>>& left,
                                const std::vector<std::complex<double>>& right, size_t size,
                                double rate);

// A sine's levels in `signal`, which holds a whole number `cycles` of it: the
// amplitude of the fundamental and of harmonics 2 to `count` (0 past Nyquist),
// and the power of everything else that is not DC.
struct SineLevels {
  double fundamental = 0.0;
  std::vector<double> harmonics;  // amplitudes of harmonics 2, 3, ...
  double residualPower = 0.0;     // all but the fundamental and DC
};
SineLevels sineLevels(const std::vector<double>& signal, long cycles, int count);

}  // namespace analysis

}  // namespace vsthost

// vsthost analyze: what a module does to sound, measured. The measurement runs
// in a process of its own (a crash or a hang of the module ends that process,
// not vsthost) and hands back one JSON object; the command prints a summary of
// it, writes it, draws it and compares it with a stored one.
#pragma once

#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "common/command.h"

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
  double maxTailSeconds = 30.0;         // the longest response captured
  double tempo = 120.0;                 // the host's transport, quarter notes per minute
  std::pair<int, int> signature{4, 4};  // beats per bar, the beat's note value
  int note = 69;                        // an instrument's note (A4) and velocity
  int velocity = 100;
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

// The `analyze` and `plot` subcommands of `app`.
Command addAnalyzeCommand(CLI::App& app);
Command addPlotCommand(CLI::App& app);

}  // namespace vsthost

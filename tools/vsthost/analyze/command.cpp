// The command lines of `vsthost analyze` and `vsthost plot`.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "analyze/analysis.h"
#include "analyze/analyze.h"
#include "analyze/plot.h"
#include "common/command_line.h"
#include "common/common.h"

namespace vsthost {

namespace {

// plot: draws the pictures of an analysis saved by `analyze --json`. A file
// that is missing, is not JSON or lacks what a picture needs is the user's
// input at fault (exit 2); a folder that cannot be written is an error (1).
int plot(const std::string& file, const std::string& folder) {
  if (!analysisPlotsAvailable()) {
    std::fprintf(stderr,
                 "vsthost: plot is not available in this build: it draws no pictures (the "
                 "Linux build does, from the same JSON)\n");
    return 2;
  }
  std::string text;
  if (!readWholeFile(file, text)) {
    std::fprintf(stderr, "vsthost: %s: cannot read (%s)\n", file.c_str(), std::strerror(errno));
    return 2;
  }
  const nlohmann::json analysis = nlohmann::json::parse(text, nullptr, false);
  if (analysis.is_discarded() || !analysis.is_object()) {
    std::fprintf(stderr, "vsthost: %s: not a JSON object (an analysis from analyze --json)\n",
                 file.c_str());
    return 2;
  }
  std::string error;
  if (writeAnalysisPlots(analysis, folder, error)) return 0;
  // Whatever the analysis lacks is named by its key, in quotes.
  const bool analysisAtFault = error.rfind("missing key '", 0) == 0 || error.rfind('\'', 0) == 0;
  if (analysisAtFault) {
    std::fprintf(stderr, "vsthost: %s: %s\n", file.c_str(), error.c_str());
    return 2;
  }
  std::fprintf(stderr, "vsthost: %s\n", error.c_str());
  return 1;
}

}  // namespace

Command addAnalyzeCommand(CLI::App& app) {
  struct Options {
    AnalyzeOptions analyzing;
    std::vector<std::string> params;
    std::string tolerance, signature = "4/4";
  };
  auto options = std::make_shared<Options>();
  AnalyzeOptions& analyzing = options->analyzing;
  CLI::App* command = app.add_subcommand(
      "analyze",
      "analyze MODULE: measure what the effect does to sound (frequency, phase and group-delay "
      "response of left, right, mid and side, latency, time invariance, harmonics, level curve, "
      "CPU) and print a summary; exits 1 when it cannot be measured or differs from --baseline");
  command->add_option("MODULE", analyzing.module, "the module file")->required();
  addParameterOption(*command, options->params);
  command
      ->add_option("--rate", analyzing.rate, "the sample rate, 8000 to 384000 Hz (default 48000)")
      ->check(CLI::Range(8000.0, 384000.0))
      ->type_name("HZ");
  command
      ->add_option("--block", analyzing.block, "frames per process call, 1 to 65536 (default 512)")
      ->check(wholeNumber(1, 65536));
  command->add_flag("--json", analyzing.json,
                    "print the whole analysis as one JSON object instead of the summary");
  command
      ->add_option("--output", analyzing.output,
                   "also write the JSON object to FILE (whole or not at all)")
      ->type_name("FILE");
  command->add_option("--plot", analyzing.plotFolder, "draw the analysis as PNG pictures into DIR")
      ->type_name("DIR");
  CLI::Option* baseline = command
                              ->add_option("--baseline", analyzing.baseline,
                                           "compare with an analysis stored by --json or "
                                           "--output: magnitudes within --tolerance, "
                                           "latency equal, THD within 1 dB; exits 1 at the "
                                           "first difference, 2 for an unusable file")
                              ->type_name("FILE.json");
  command
      ->add_option("--tolerance", options->tolerance,
                   "with --baseline: the largest magnitude difference that passes, in dB "
                   "(default 0.1)")
      ->type_name("DB")
      ->needs(baseline);
  command
      ->add_option("--max-tail", analyzing.maxTailSeconds,
                   "the longest response captured, in seconds above 0 (default 30): a "
                   "response is captured until it dies away to -100 dB of its peak")
      ->type_name("S");
  command->add_option("--note", analyzing.note,
                      "an instrument's note, a MIDI key 0 to 127 (default 69, A4)");
  command->add_option("--velocity", analyzing.velocity,
                      "an instrument's note velocity, 1 to 127 (default 100)");
  command->add_option("--tempo", analyzing.tempo,
                      "the host's tempo in quarter notes per minute, 1 to 999 (default 120)");
  command->add_option("--time-signature", options->signature,
                      "the host's time signature N/D (default 4/4)");
  command
      ->add_option("--timeout", analyzing.timeoutSeconds,
                   "time limit of the measurement in seconds, 1 to 86400 (default 300)")
      ->check(wholeNumber(1, 86400));
  return {
      command, [options](std::FILE* out) -> int {
        AnalyzeOptions& analyzing = options->analyzing;
        analyzing.params = assignments(options->params);
        if (!(analyzing.maxTailSeconds > 0.0 && analyzing.maxTailSeconds <= 3600.0))
          throw UsageError("--max-tail wants seconds above 0 and at most 3600, not " +
                           std::to_string(analyzing.maxTailSeconds));
        if (!(analyzing.tempo >= 1.0 && analyzing.tempo <= 999.0))
          throw UsageError("--tempo must be between 1 and 999 BPM");
        try {
          analyzing.signature = timeSignature(options->signature);
        } catch (const Error& error) {
          throw UsageError(error.what());
        }
        if (analyzing.note < 0 || analyzing.note > 127)
          throw UsageError("--note wants a MIDI key from 0 to 127, not " +
                           std::to_string(analyzing.note));
        if (analyzing.velocity < 1 || analyzing.velocity > 127)
          throw UsageError("--velocity wants 1 to 127, not " + std::to_string(analyzing.velocity));
        const std::string& tolerance = options->tolerance;
        if (!tolerance.empty()) {
          char* end = nullptr;
          analyzing.toleranceDb = std::strtod(tolerance.c_str(), &end);
          if (*end != '\0' || !(analyzing.toleranceDb > 0.0 && analyzing.toleranceDb <= 100.0))
            throw UsageError("--tolerance wants a difference in dB above 0, e.g. 0.1, not '" +
                             tolerance + "'");
        }
#if VSTHOST_ANALYZE
        return analyze(analyzing, out);
#else
            (void)out;
            throw Error(
                "analyze is not available in this build: it needs KissFFT, which Debian packages "
                "only for Linux (scripts/mingw-kissfft fetches its source for Windows)");
#endif
      }};
}

Command addPlotCommand(CLI::App& app) {
  struct Options {
    std::string file, folder;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand(
      "plot",
      "plot FILE.json DIR: draw the pictures of an analysis saved by analyze --json as PNG files "
      "in DIR (magnitude, phase, group delay, impulse, THD and level curves)");
  command->add_option("FILE.json", options->file, "the analysis")->required();
  command->add_option("DIR", options->folder, "the folder for the pictures (made if missing)")
      ->required();
  return {command, [options](std::FILE*) { return plot(options->file, options->folder); }};
}

}  // namespace vsthost

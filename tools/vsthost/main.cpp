// vsthost: inspect, render and check any VST 2.4 module from the shell.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "analysis.h"
#include "analysis_plot.h"
#include "vsthost.h"

#if VSTHOST_COUNTS_HEAP
#include "allocation_counter.h"
#endif

namespace {

using vsthost::UsageError;

// A whole number from `low` to `high`, checked on the text so that a value
// too large for any integer is refused the same way.
CLI::Validator wholeNumber(long low, long high) {
  return CLI::Validator(
      [low, high](std::string& text) -> std::string {
        char* end = nullptr;
        errno = 0;
        const long value = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || errno == ERANGE || value < low || value > high)
          return "wants a whole number from " + std::to_string(low) + " to " +
                 std::to_string(high) + ", not '" + text + "'";
        return "";
      },
      "");
}

// A rate in Hz from 1 to 10 MHz, written with a decimal point.
CLI::Validator sampleRate() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !(value >= 1.0 && value <= 1e7))
          return "wants rates in Hz from 1 to 10000000, not '" + text + "'";
        return "";
      },
      "");
}

// The --param options' NAME=VALUE pairs, split at the first '='.
std::vector<std::pair<std::string, std::string>> assignments(
    const std::vector<std::string>& params) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const auto& param : params) {
    const size_t equals = param.find('=');
    if (equals == std::string::npos || equals == 0)
      throw UsageError("--param wants NAME=VALUE, not '" + param + "'");
    pairs.emplace_back(param.substr(0, equals), param.substr(equals + 1));
  }
  return pairs;
}

std::string checkList() {
  std::string names;
  size_t column = 8;
  for (const auto& check : vsthost::checkRegistry()) {
    const std::string name = check.name;
    if (column + name.size() + 1 > 78) {
      names += "\n       ";
      column = 7;
    }
    names += " " + name;
    column += name.size() + 1;
  }
  return names;
}

#if VSTHOST_COUNTS_HEAP
// The heap counter this program links, for the real-time check.
class ProcessHeap : public vsthost::HeapCounter {
 public:
  bool countOnThisThread(bool on) override { return vsthost::allocations::countOnThisThread(on); }
  long counted() override { return vsthost::allocations::counted(); }
  void forgetFirstStack() override { vsthost::allocations::forgetFirstStack(); }
  std::vector<void*> firstStack() override { return vsthost::allocations::firstStack(); }
};
#endif

vsthost::HeapCounter* processHeap() {
#if VSTHOST_COUNTS_HEAP
  static ProcessHeap heap;
  return &heap;
#else
  return nullptr;
#endif
}

// The options that shape the checks, shared by `check` and the hidden
// `--check-child` command a Windows check process runs.
void addCheckSettings(CLI::App& command, vsthost::CheckSettings& settings,
                      std::vector<double>& rates, std::vector<long>& blocks) {
  command.add_flag("--strict", settings.strict,
                   "fail every warning and hold the module to the interface's letter: "
                   "exactly-sized text buffers, null arguments, bit-exact block-size invariance");
  command.add_option("--seed", settings.seed,
                     "every random input derives from this number (default 1); the report "
                     "prints it so a failure can be reproduced");
  command.add_option("--sample-rates", rates, "rates for rates-blocks, e.g. 44100,48000,96000")
      ->allow_extra_args(false)
      ->delimiter(',')
      ->check(sampleRate())
      ->type_name("HZ,...");
  command
      .add_option("--block-sizes", blocks,
                  "block sizes for rates-blocks, 1 to 65536 frames, e.g. 1,64,512")
      ->allow_extra_args(false)
      ->delimiter(',')
      ->check(wholeNumber(1, 65536))
      ->type_name("N,...");
}

void applyLists(vsthost::CheckSettings& settings, const std::vector<double>& rates,
                const std::vector<long>& blocks) {
  if (!rates.empty()) settings.sampleRates.assign(rates.begin(), rates.end());
  if (!blocks.empty()) settings.blockSizes.assign(blocks.begin(), blocks.end());
}

// A Windows check process: `--check-child MAPPING NAME MODULE [settings]`.
int checkChild(int argc, char** argv) {
  CLI::App app("one check in a process of its own");
  std::string mapping, name;
  vsthost::CheckSettings settings;
  std::vector<double> rates;
  std::vector<long> blocks;
  app.add_option("mapping", mapping)->required();
  app.add_option("name", name)->required();
  app.add_option("module", settings.module)->required();
  addCheckSettings(app, settings, rates, blocks);
  try {
    app.parse(argc - 1, argv + 1);
  } catch (const CLI::ParseError&) {
    return 3;
  }
  applyLists(settings, rates, blocks);
  settings.heap = processHeap();
  return vsthost::checkChild(mapping, name, settings);
}

// plot: draws the pictures of an analysis saved by `analyze --json`. A file
// that is missing, is not JSON or lacks what a picture needs is the user's
// input at fault (exit 2); a folder that cannot be written is an error (1).
int plot(const std::string& file, const std::string& folder) {
  if (!vsthost::analysisPlotsAvailable()) {
    std::fprintf(stderr,
                 "vsthost: plot is not available in this build: it draws no pictures (the "
                 "Linux build does, from the same JSON)\n");
    return 2;
  }
  std::string text;
  if (!vsthost::readWholeFile(file, text)) {
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
  if (vsthost::writeAnalysisPlots(analysis, folder, error)) return 0;
  // Whatever the analysis lacks is named by its key, in quotes.
  const bool analysisAtFault = error.rfind("missing key '", 0) == 0 || error.rfind('\'', 0) == 0;
  if (analysisAtFault) {
    std::fprintf(stderr, "vsthost: %s: %s\n", file.c_str(), error.c_str());
    return 2;
  }
  std::fprintf(stderr, "vsthost: %s\n", error.c_str());
  return 1;
}

int run(int argc, char** argv, std::FILE* out) {
#if VSTHOST_ANALYZE
  if (argc >= 4 && std::strcmp(argv[1], "--check-child") == 0 &&
      std::strcmp(argv[3], "--analyze") == 0)
    return vsthost::analyzeChild(argc, argv);
#endif
  if (argc >= 2 && std::strcmp(argv[1], "--check-child") == 0) return checkChild(argc, argv);

  CLI::App app("Inspect, render and check a VST 2.4 module (.so on Linux, .dll on Windows).",
               "vsthost");
  app.require_subcommand(1);
  app.set_version_flag("--version", VSTHOST_VERSION, "Print vsthost's version and exit");
  // Options are --long and -s on every system: a path such as /tmp/in.wav is
  // a path on Windows too, not a Windows-style option.
  app.allow_windows_style_options(false);
  app.footer("exit status: 0 success, 1 error or failed check, 2 wrong usage");

  bool infoJson = false;
  std::string infoModule;
  CLI::App* info = app.add_subcommand(
      "info",
      "info MODULE: the effect's name, vendor, identifier, channels, flags, latency and "
      "every parameter");
  info->add_option("MODULE", infoModule, "the module file")->required();
  info->add_flag("--json", infoJson, "print the same as JSON");

  vsthost::RenderOptions render;
  bool quiet = false;
  CLI::App* renderCommand = app.add_subcommand(
      "render",
      "render MODULE IN OUT: run the audio file IN through the effect and write OUT (WAV, AIFF, "
      "FLAC, Ogg, AU, CAF), at IN's rate; a mono file feeds every input. "
      "render MODULE [IN] OUT --midi FILE.mid: play a MIDI file into it (IN may be left out). "
      "render --session FILE.json [OUT]: a chain of modules as the session file says");
  std::vector<std::string> renderFiles;
  renderCommand->add_option("MODULE [IN] OUT", renderFiles,
                            "the module file, the input (none for an instrument or with --midi), "
                            "the output; with --session only OUT, if any");
  renderCommand->add_option("--midi", render.midi,
                            "a Standard MIDI File (type 0 or 1) played into the module; the "
                            "render lasts until its end and the tail");
  renderCommand
      ->add_option("--rate", render.rate,
                   "the sample rate without an input, in Hz (default 44100); with one, its rate")
      ->check(sampleRate());
  renderCommand->add_option("--tail", render.tail,
                            "seconds rendered after the end, 0 to 3600 (default 1 with --midi, "
                            "else 0)");
  renderCommand->add_option("--session", render.session,
                            "a session file (JSON): the settings and a chain of modules");
  renderCommand->add_option("--module", render.module,
                            "with --session: the module that \"$MODULE\" in it stands for");
  std::vector<std::string> params;
  renderCommand
      ->add_option("--param", params,
                   "NAME=VALUE: set a parameter (name or index) to a normalised value "
                   "from 0 to 1; repeatable")
      ->allow_extra_args(false);
  renderCommand
      ->add_option("--block", render.block, "frames per process call, 1 to 65536 (default 512)")
      ->check(wholeNumber(1, 65536));
  renderCommand->add_option("--format", render.format, "wav, aiff, flac, ogg, au or caf");
  renderCommand->add_option("--encoding", render.encoding,
                            "pcm16, pcm24, pcm32, float, double or vorbis");
  renderCommand->add_flag("--quiet", quiet, "no progress bar (it only shows on a terminal)");
  renderCommand->add_option("--tempo", render.tempo,
                            "the host's tempo in quarter notes per minute, 1 to 999 (default 120)");
  renderCommand->add_option("--time-signature", render.timeSignature,
                            "the host's time signature N/D (default 4/4)");
  CLI::Option* preset = renderCommand->add_option(
      "--preset", render.preset,
      "a program (.fxp) or bank (.fxb) file to load before rendering (before any --param)");
  renderCommand->add_flag("--force", render.force, "load a --preset made for another plug-in ID")
      ->needs(preset);
  renderCommand->add_option("--save-preset", render.savePreset,
                            "write the effect's state after the render: the current program "
                            "(FILE.fxp) or every program (FILE.fxb)");

  vsthost::CompareOptions comparing;
  std::string tolerance;
  CLI::App* compareCommand = app.add_subcommand(
      "compare",
      "compare A B: the null test of two audio files of the same rate, channels and length; "
      "prints the residual's peak and RMS in dBFS and the first frame past the tolerance, and "
      "exits 1 when a frame is past it");
  compareCommand->add_option("A", comparing.a, "the first audio file")->required();
  compareCommand->add_option("B", comparing.b, "the second audio file")->required();
  compareCommand->add_option("--tolerance", tolerance,
                             "the loudest residual that passes, in dB below full scale (default "
                             "-96; -inf passes only bit-identical files)");

  std::string plotFile, plotFolder;
  CLI::App* plotCommand = app.add_subcommand(
      "plot",
      "plot FILE.json DIR: draw the pictures of an analysis saved by analyze --json as PNG files "
      "in DIR (magnitude, phase, group delay, impulse, THD and level curves)");
  plotCommand->add_option("FILE.json", plotFile, "the analysis")->required();
  plotCommand->add_option("DIR", plotFolder, "the folder for the pictures (made if missing)")
      ->required();

  vsthost::CheckOptions checking;
  bool list = false, markdown = false;
  std::vector<double> rates;
  std::vector<long> blocks;
  CLI::App* checkCommand = app.add_subcommand(
      "check",
      "check MODULE: run the behaviour checks, each in its own process, and print "
      "PASS, WARN, FAIL or SKIP for each; exits 1 when any check fails (warnings pass)");
  checkCommand->add_option("MODULE", checking.settings.module, "the module file");
  checkCommand->add_flag("--list", list,
                         "list the checks (with --json as JSON, with --markdown as a table for a "
                         "README) and exit");
  checkCommand->add_flag("--markdown", markdown, "with --list: a Markdown table");
  checkCommand->add_flag("--json", checking.json, "print one JSON object instead of the table");
  addCheckSettings(*checkCommand, checking.settings, rates, blocks);
  checkCommand->add_option("--only", checking.only, "run only these checks (repeatable, or A,B)")
      ->allow_extra_args(false)
      ->delimiter(',');
  checkCommand->add_option("--skip", checking.skip, "leave these checks out (repeatable, or A,B)")
      ->allow_extra_args(false)
      ->delimiter(',');
  checkCommand
      ->add_option("--timeout", checking.timeoutSeconds,
                   "time limit per check in seconds, 1 to 86400 (default 60)")
      ->check(wholeNumber(1, 86400));
  checkCommand
      ->add_option("--repeat", checking.repeat,
                   "run every check N times (up to 1000), each with the next seed")
      ->check(wholeNumber(1, 1000));
  checkCommand->add_flag("--in-process", checking.inProcess,
                         "run the checks in this process, without time limits: a crash ends "
                         "vsthost, so a debugger or a sanitizer shows its stack");
  checkCommand->add_flag("--verbose", checking.verbose, "show everything the effect printed");
  checkCommand->footer("checks:" + checkList());

  vsthost::AnalyzeOptions analyzing;
  std::vector<std::string> analyzeParams;
  std::string analyzeTolerance;
  CLI::App* analyzeCommand = app.add_subcommand(
      "analyze",
      "analyze MODULE: measure what the effect does to sound (frequency, phase and group-delay "
      "response of left, right, mid and side, latency, time invariance, harmonics, level curve, "
      "CPU) and print a summary; exits 1 when it cannot be measured or differs from --baseline");
  analyzeCommand->add_option("MODULE", analyzing.module, "the module file")->required();
  analyzeCommand
      ->add_option("--param", analyzeParams,
                   "NAME=VALUE: set a parameter (name or index) to a normalised value from 0 to 1 "
                   "or a value in its own terms (25ms, -6dB); repeatable")
      ->allow_extra_args(false);
  analyzeCommand
      ->add_option("--rate", analyzing.rate, "the sample rate, 8000 to 384000 Hz (default 48000)")
      ->check(CLI::Range(8000.0, 384000.0))
      ->type_name("HZ");
  analyzeCommand
      ->add_option("--block", analyzing.block, "frames per process call, 1 to 65536 (default 512)")
      ->check(wholeNumber(1, 65536));
  analyzeCommand->add_flag("--json", analyzing.json,
                           "print the whole analysis as one JSON object instead of the summary");
  analyzeCommand
      ->add_option("--output", analyzing.output,
                   "also write the JSON object to FILE (whole or not at all)")
      ->type_name("FILE");
  analyzeCommand
      ->add_option("--plot", analyzing.plotFolder, "draw the analysis as PNG pictures into DIR")
      ->type_name("DIR");
  CLI::Option* baselineOption = analyzeCommand
                                    ->add_option("--baseline", analyzing.baseline,
                                                 "compare with an analysis stored by --json or "
                                                 "--output: magnitudes within --tolerance, "
                                                 "latency equal, THD within 1 dB; exits 1 at the "
                                                 "first difference, 2 for an unusable file")
                                    ->type_name("FILE.json");
  analyzeCommand
      ->add_option("--tolerance", analyzeTolerance,
                   "with --baseline: the largest magnitude difference that passes, in dB "
                   "(default 0.1)")
      ->type_name("DB")
      ->needs(baselineOption);
  analyzeCommand
      ->add_option("--timeout", analyzing.timeoutSeconds,
                   "time limit of the measurement in seconds, 1 to 86400 (default 300)")
      ->check(wholeNumber(1, 86400));

  if (argc >= 2 && argv[1][0] != '-') {
    bool known = false;
    for (const CLI::App* command : app.get_subcommands([](CLI::App*) { return true; }))
      known = known || command->get_name() == argv[1];
    if (!known) throw UsageError(std::string("unknown command '") + argv[1] + "'");
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    const CLI::App* asked = app.get_subcommands().empty() ? &app : app.get_subcommands()[0];
    std::fprintf(out, "%s", asked->help().c_str());
    return 0;
  } catch (const CLI::CallForVersion&) {
    std::fprintf(out, "vsthost %s\n", VSTHOST_VERSION);
    return 0;
  } catch (const CLI::ParseError& error) {
    throw UsageError(error.what());
  }

  if (info->parsed()) {
    vsthost::info(infoModule, infoJson, out);
    return 0;
  }
  if (renderCommand->parsed()) {
#if !VSTHOST_RENDER
    throw vsthost::Error(
        "render is not available in this build: it needs libsndfile, which Debian packages "
        "only for Linux (scripts/mingw-sndfile builds it for Windows)");
#else
    render.params = assignments(params);
    if (!render.session.empty()) {
      // The session holds the chain and the settings; the command line adds
      // the output, the module of "$MODULE" and how the output is written.
      for (const char* option : {"--midi", "--rate", "--tail", "--param", "--block", "--tempo",
                                 "--time-signature", "--preset", "--save-preset"})
        if (renderCommand->count(option) > 0)
          throw UsageError(std::string(option) + " is set in the session file, not with --session");
      if (renderFiles.size() > 1)
        throw UsageError("render --session FILE.json takes one file, OUT, not " +
                         std::to_string(renderFiles.size()));
      if (!renderFiles.empty()) render.output = renderFiles[0];
    } else {
      if (renderFiles.size() > 3)
        throw UsageError("render takes MODULE, IN and OUT, not " +
                         std::to_string(renderFiles.size()) + " files");
      if (renderCommand->count("--module") > 0)
        throw UsageError("--module names the module of \"$MODULE\" in a --session");
      if (renderFiles.empty()) throw UsageError("render: MODULE is required");
      if (renderFiles.size() == 1 || (renderFiles.size() == 2 && render.midi.empty()))
        throw UsageError(
            "render: OUT is required (render MODULE IN OUT, or MODULE [IN] OUT --midi FILE)");
      render.module = renderFiles[0];
      render.input = renderFiles.size() == 3 ? renderFiles[1] : "";
      render.output = renderFiles.back();
      if (renderCommand->count("--tail") > 0 && !(render.tail >= 0.0 && render.tail <= 3600.0))
        throw UsageError("--tail wants seconds from 0 to 3600");
    }
    render.progress = !quiet && isatty(STDERR_FILENO) != 0;
    vsthost::render(render);
    return 0;
#endif
  }
  if (compareCommand->parsed()) {
#if !VSTHOST_RENDER
    throw vsthost::Error(
        "compare is not available in this build: it needs libsndfile, which Debian packages "
        "only for Linux (scripts/mingw-sndfile builds it for Windows)");
#else
    if (!tolerance.empty()) {
      char* end = nullptr;
      comparing.toleranceDb = std::strtod(tolerance.c_str(), &end);
      if (*end != '\0' || std::isnan(comparing.toleranceDb) || comparing.toleranceDb > 0 ||
          (std::isinf(comparing.toleranceDb) && comparing.toleranceDb > 0))
        throw UsageError("--tolerance wants a level in dB from -inf to 0, e.g. -96, not '" +
                         tolerance + "'");
    }
    return vsthost::compare(comparing, out);
#endif
  }
  if (plotCommand->parsed()) return plot(plotFile, plotFolder);
  if (analyzeCommand->parsed()) {
    analyzing.params = assignments(analyzeParams);
    if (!analyzeTolerance.empty()) {
      char* end = nullptr;
      analyzing.toleranceDb = std::strtod(analyzeTolerance.c_str(), &end);
      if (*end != '\0' || !(analyzing.toleranceDb > 0.0 && analyzing.toleranceDb <= 100.0))
        throw UsageError("--tolerance wants a difference in dB above 0, e.g. 0.1, not '" +
                         analyzeTolerance + "'");
    }
#if VSTHOST_ANALYZE
    return vsthost::analyze(analyzing, out);
#else
    throw vsthost::Error(
        "analyze is not available in this build: it needs KissFFT, which Debian packages only "
        "for Linux (scripts/mingw-kissfft fetches its source for Windows)");
#endif
  }
  if (list) {
    vsthost::listChecks(markdown        ? vsthost::ListFormat::kMarkdown
                        : checking.json ? vsthost::ListFormat::kJson
                                        : vsthost::ListFormat::kText,
                        out);
    return 0;
  }
  if (checking.settings.module.empty()) throw UsageError("check needs a MODULE");
  applyLists(checking.settings, rates, blocks);
  checking.settings.heap = processHeap();
  return vsthost::check(checking, out) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Effects may print on standard output; keep it for our own output only and
  // send theirs to standard error, so `info --json` stays valid JSON.
  const int ours = dup(STDOUT_FILENO);
  std::FILE* out = ours >= 0 ? fdopen(ours, "w") : nullptr;
  if (out == nullptr)
    out = stdout;
  else
    dup2(STDERR_FILENO, STDOUT_FILENO);
  int status = 1;
  try {
    status = run(argc, argv, out);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "vsthost: %s (see vsthost --help)\n", error.what());
    status = 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vsthost: %s\n", error.what());
    status = 1;
  }
  if (std::fflush(out) != 0 && status == 0) {
    std::fprintf(stderr, "vsthost: cannot write the output (%s)\n", std::strerror(errno));
    status = 1;
  }
  std::fflush(stderr);
  // Leave without running the effects' static destructors a second time over
  // unloaded code; everything of ours is already flushed.
  std::_Exit(status);
}

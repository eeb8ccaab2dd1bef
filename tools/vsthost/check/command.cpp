// The command line of `vsthost check`, and of the hidden `--check-child`
// command that runs one check in a Windows process of its own.
#include <memory>

#include "check/check.h"
#include "common/command_line.h"
#include "common/common.h"

namespace vsthost {

namespace {

// The checks' names, wrapped for the usage text.
std::string checkList() {
  std::string names;
  size_t column = 8;
  for (const auto& check : checkRegistry()) {
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

// The options that shape the checks, shared by `check` and `--check-child`.
struct SettingOptions {
  std::vector<double> rates;
  std::vector<long> blocks;

  void add(CLI::App& command, CheckSettings& settings) {
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

  void apply(CheckSettings& settings) const {
    if (!rates.empty()) settings.sampleRates.assign(rates.begin(), rates.end());
    if (!blocks.empty()) settings.blockSizes.assign(blocks.begin(), blocks.end());
  }
};

}  // namespace

Command addCheckCommand(CLI::App& app, HeapCounter* heap) {
  struct Options {
    CheckOptions checking;
    SettingOptions settings;
    bool list = false, markdown = false;
  };
  auto options = std::make_shared<Options>();
  CheckOptions& checking = options->checking;
  CLI::App* command = app.add_subcommand(
      "check",
      "check MODULE: run the behaviour checks, each in its own process, and print "
      "PASS, WARN, FAIL or SKIP for each; exits 1 when any check fails (warnings pass)");
  command->add_option("MODULE", checking.settings.module, "the module file");
  command->add_flag("--list", options->list,
                    "list the checks (with --json as JSON, with --markdown as a table for a "
                    "README) and exit");
  command->add_flag("--markdown", options->markdown, "with --list: a Markdown table");
  command->add_flag("--json", checking.json, "print one JSON object instead of the table");
  options->settings.add(*command, checking.settings);
  command->add_option("--only", checking.only, "run only these checks (repeatable, or A,B)")
      ->allow_extra_args(false)
      ->delimiter(',');
  command->add_option("--skip", checking.skip, "leave these checks out (repeatable, or A,B)")
      ->allow_extra_args(false)
      ->delimiter(',');
  command
      ->add_option("--timeout", checking.timeoutSeconds,
                   "time limit per check in seconds, 1 to 86400 (default 60)")
      ->check(wholeNumber(1, 86400));
  command
      ->add_option("--repeat", checking.repeat,
                   "run every check N times (up to 1000), each with the next seed")
      ->check(wholeNumber(1, 1000));
  command->add_flag("--in-process", checking.inProcess,
                    "run the checks in this process, without time limits: a crash ends "
                    "vsthost, so a debugger or a sanitizer shows its stack");
  command->add_flag("--verbose", checking.verbose, "show everything the effect printed");
  command->footer("checks:" + checkList());
  return {command, [options, heap](std::FILE* out) {
            CheckOptions& checking = options->checking;
            if (options->list) {
              listChecks(options->markdown ? ListFormat::kMarkdown
                         : checking.json   ? ListFormat::kJson
                                           : ListFormat::kText,
                         out);
              return 0;
            }
            if (checking.settings.module.empty()) throw UsageError("check needs a MODULE");
            options->settings.apply(checking.settings);
            checking.settings.heap = heap;
            return check(checking, out) == 0 ? 0 : 1;
          }};
}

int runCheckChild(int argc, char** argv, HeapCounter* heap) {
  CLI::App app("one check in a process of its own");
  std::string mapping, name;
  CheckSettings settings;
  SettingOptions options;
  app.add_option("mapping", mapping)->required();
  app.add_option("name", name)->required();
  app.add_option("module", settings.module)->required();
  options.add(app, settings);
  try {
    app.parse(argc - 1, argv + 1);
  } catch (const CLI::ParseError&) {
    return 3;
  }
  options.apply(settings);
  settings.heap = heap;
  return checkChild(mapping, name, settings);
}

}  // namespace vsthost

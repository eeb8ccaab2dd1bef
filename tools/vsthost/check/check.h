// vsthost check: the checks of the registry run against a module, each in a
// process of its own, and their report.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "check/registry.h"
#include "common/command.h"

namespace vsthost {

struct CheckOptions {
  CheckSettings settings;  // the module, the level, the seed, rates and block sizes
  double timeoutSeconds = 60.0;
  bool verbose = false;
  bool json = false;
  bool inProcess = false;  // no process per check: for a debugger or a sanitizer
  int repeat = 1;
  std::vector<std::string> only, skip;  // check names; empty `only` runs all
};

// check: runs the checks of the registry, each in a process of its own unless
// in-process, prints a PASS/WARN/FAIL/SKIP table (or one JSON object) to `out`
// and answers the number of failed checks. Throws UsageError for an unknown
// check name.
int check(const CheckOptions& options, std::FILE* out);
// check --list: every check with its group, summary and the fault it catches,
// as text, as JSON, or as the Markdown table of the check manual (docs/vsthost-check.md).
enum class ListFormat { kText, kJson, kMarkdown };
void listChecks(ListFormat format, std::FILE* out);
// The process of one check where a check cannot fork (Windows): runs the
// check and leaves its verdict in the report mapped under `mappingName`.
int checkChild(const std::string& mappingName, const std::string& name,
               const CheckSettings& settings);
// The arguments after `--check-child MAPPING` that make checkChild() run
// `name` with `settings` in another process.
std::vector<std::string> checkChildArguments(const std::string& name,
                                             const CheckSettings& settings);

// The `check` subcommand of `app`; `heap` counts the heap calls of the
// real-time check (null where this program links no counter).
Command addCheckCommand(CLI::App& app, HeapCounter* heap);
// The hidden command `--check-child MAPPING NAME MODULE [settings]` a Windows
// check process runs: one check, its verdict left in the mapped report.
int runCheckChild(int argc, char** argv, HeapCounter* heap);

}  // namespace vsthost

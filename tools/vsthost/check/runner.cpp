// Runs the registry's checks: each in a process of its own with a time limit
// (so a crash, a hang or an overrun fails that check and leaves the others and
// the user's session alone), or all in this process for a debugger.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "check/check.h"
#include "check/report.h"
#include "check/support.h"
#include "common/common.h"
#include "common/isolation.h"
#include "vst/editor_window.h"

namespace vsthost {

const char* verdictName(int32_t verdict) {
  switch (verdict) {
    case kPass: return "PASS";
    case kWarn: return "WARN";
    case kSkip: return "SKIP";
    default: return "FAIL";
  }
}

const std::vector<CheckDefinition>& checkRegistry() {
  static const std::vector<CheckDefinition> registry = [] {
    std::vector<CheckDefinition> all;
    for (auto group : {lifecycleChecks, audioChecks, parameterAndStateChecks, interfaceChecks,
                       realtimeChecks, instrumentChecks, editorChecks}) {
      const auto checks = group();
      all.insert(all.end(), checks.begin(), checks.end());
    }
    return all;
  }();
  return registry;
}

const CheckDefinition* findCheck(const std::string& name) {
  for (const CheckDefinition& check : checkRegistry())
    if (name == check.name) return &check;
  return nullptr;
}

namespace {

// Runs one check here and leaves its verdict in `report`; answers the exit
// status for a check process (0: the verdict is in the report).
int runHere(const CheckDefinition& check, const CheckSettings& settings, CheckReport& report) {
  CheckContext context(settings, &report);
  int32_t verdict = kFail;
  std::string detail;
  try {
    detail = check.run(context);
    const auto& warnings = context.warnings();
    if (warnings.empty()) {
      verdict = kPass;
    } else {
      verdict = settings.strict ? kFail : kWarn;
      detail = warnings[0];
      if (warnings.size() > 1) detail += " (and " + number(warnings.size() - 1) + " more)";
    }
  } catch (const CheckFailed& failed) {
    detail = failed.why;
  } catch (const CheckSkipped& skipped) {
    verdict = kSkip;
    detail = skipped.why;
  } catch (const CheckNeedsDisplay&) {
    verdict = kNeedsDisplay;
    detail = "needs a display";
  } catch (const std::exception& error) {
    detail = std::string("error: ") + error.what();
  }
  std::snprintf(report.detail, sizeof report.detail, "%s", detail.c_str());
  report.verdict = verdict;
  return 0;
}

CheckResult runIsolated(Isolation& isolation, const CheckDefinition& check,
                        const CheckOptions& options) {
  const ChildRequest request{check.name, options.timeoutSeconds,
                             checkChildArguments(check.name, options.settings)};
  const ChildOutcome child =
      isolation.run(request, [&] { return runHere(check, options.settings, isolation.report()); });
  CheckResult result{&check, 0, kFail, "", child.output, 0.0};
  const CheckReport& shared = isolation.report();
  const std::string during =
      shared.step[0] != '\0' ? std::string(" while ") + std::string(shared.step) : "";
  switch (child.kind) {
    case ChildOutcome::kNotStarted: result.detail = child.reason; break;
    case ChildOutcome::kTimedOut:
      result.detail = "no answer within " + number(options.timeoutSeconds) + " s" + during;
      break;
    case ChildOutcome::kCrashed: result.detail = "crashed (" + child.reason + ")" + during; break;
    case ChildOutcome::kExited:
      if (child.exitStatus == 0 && shared.detail[0] != '\0') {
        result.verdict = shared.verdict;
        result.detail = shared.detail;
      } else {
        result.detail = "exited with status " + number(child.exitStatus) + during;
      }
      break;
  }
  return result;
}

CheckResult runInProcess(const CheckDefinition& check, const CheckOptions& options) {
  CheckReport report{};
  runHere(check, options.settings, report);
  return {&check, 0, report.verdict, report.detail, "", 0.0};
}

// The display the editor checks open windows on where none is set: a private
// virtual X server, started once for the whole run when the first check asks
// for it, stopped at the end.
class DisplayForChecks {
 public:
  // False with `why` when there is none and none can be started.
  bool ready(std::string& why) {
    if (!tried_) {
      tried_ = true;
      display_ = host::VirtualDisplay::start(error_);
    }
    why = error_;
    return display_ != nullptr;
  }

 private:
  bool tried_ = false;
  std::string error_;
  std::unique_ptr<host::VirtualDisplay> display_;
};

bool listed(const std::vector<std::string>& names, const char* name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

std::vector<std::string> checkChildArguments(const std::string& name,
                                             const CheckSettings& settings) {
  std::vector<std::string> arguments{name, settings.module, "--seed",
                                     std::to_string(settings.seed)};
  std::string rates, blocks;
  for (float rate : settings.sampleRates) rates += (rates.empty() ? "" : ",") + number(rate);
  for (size_t block : settings.blockSizes) blocks += (blocks.empty() ? "" : ",") + number(block);
  arguments.insert(arguments.end(), {"--sample-rates", rates, "--block-sizes", blocks});
  if (settings.strict) arguments.push_back("--strict");
  return arguments;
}

int checkChild(const std::string& mappingName, const std::string& name,
               const CheckSettings& settings) {
  CheckReport* report = openChildReport(mappingName);
  const CheckDefinition* check = findCheck(name);
  if (report == nullptr || check == nullptr) return 3;
  return runHere(*check, settings, *report);
}

int check(const CheckOptions& options, std::FILE* out) {
  for (const auto* names : {&options.only, &options.skip})
    for (const auto& name : *names)
      if (findCheck(name) == nullptr)
        throw UsageError("no check named '" + name + "' (vsthost check --list names them)");
  std::FILE* probe = std::fopen(options.settings.module.c_str(), "rb");
  if (probe == nullptr) throw Error(options.settings.module + ": " + std::strerror(errno));
  std::fclose(probe);
  std::unique_ptr<Isolation> isolation;
  if (!options.inProcess) {
    try {
      isolation.reset(new Isolation());
    } catch (const std::runtime_error& error) {
      throw Error(error.what());
    }
  }
  DisplayForChecks display;
  auto report = makeReport(options, out);
  report->begin();
  for (const CheckDefinition& check : checkRegistry()) {
    if ((!options.only.empty() && !listed(options.only, check.name)) ||
        listed(options.skip, check.name))
      continue;
    bool loadFailed = false;
    for (int repetition = 0; repetition < options.repeat; ++repetition) {
      // Each repetition draws its random inputs from a seed of its own.
      CheckOptions repeated = options;
      repeated.settings.seed = options.settings.seed + static_cast<uint32_t>(repetition);
      const auto start = std::chrono::steady_clock::now();
      const auto runOnce = [&] {
        return isolation ? runIsolated(*isolation, check, repeated) : runInProcess(check, repeated);
      };
      CheckResult result = runOnce();
      if (result.verdict == kNeedsDisplay) {
        std::string why;
        if (display.ready(why)) result = runOnce();
        if (result.verdict == kNeedsDisplay) {
          result.verdict = kSkip;
          result.detail = !why.empty() ? why
                                       : "no display to open the editor's window on (under Wine: "
                                         "scripts/wine-run --display)";
        }
      }
      result.repetition = repetition;
      result.seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      report->add(result);
      loadFailed = loadFailed || (std::strcmp(check.name, "load") == 0 && result.verdict == kFail);
    }
    if (loadFailed) {
      report->note("the module does not load; no further checks");
      break;
    }
  }
  return report->end();
}

}  // namespace vsthost

// The checks of `vsthost check`, one record each. The usage text, `check
// --list`, the check manual's table and the tests' counts are all read from the
// registry; adding a check is one record, its run function and a broken module
// that it catches.
//
// A check runs against a CheckContext: it names the step it is in (so a crash
// or a hang can name the call), requires what must hold (a FAIL), warns about
// what is only against the interface's letter or the real-time rules (a WARN at
// the default level, a FAIL with --strict), or skips when it does not apply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vsthost {

struct CheckReport;

enum Verdict : int32_t {
  kPass = 0,
  kWarn = 1,
  kFail = 2,
  kSkip = 3,
  // Never reported: the check needs a display and none is reachable; the
  // runner starts a private one and runs it again.
  kNeedsDisplay = 4,
};
// "PASS", "WARN", "FAIL", "SKIP".
const char* verdictName(int32_t verdict);

// What the real-time check needs from a program that counts heap calls.
// Only vsthost itself links the counter; elsewhere the check is skipped.
class HeapCounter {
 public:
  virtual ~HeapCounter() = default;
  // Turns counting on or off for the calling thread; answers the former state.
  virtual bool countOnThisThread(bool on) = 0;
  // Heap calls counted so far, on every thread.
  virtual long counted() = 0;
  // Forgets the stack of the first counted call, so the next one is kept.
  virtual void forgetFirstStack() = 0;
  // The return addresses of the first counted call since forgetFirstStack().
  virtual std::vector<void*> firstStack() = 0;
};

// Everything a check may depend on besides the module: the level, the seed
// every random input derives from, and the lists of rates and block sizes.
struct CheckSettings {
  std::string module;
  bool strict = false;
  uint32_t seed = 1;
  std::vector<float> sampleRates{44100.0f, 48000.0f, 96000.0f};
  std::vector<size_t> blockSizes{1, 2, 3, 16, 64, 100, 256, 512, 1000, 1024, 2048, 4096};
  HeapCounter* heap = nullptr;  // null where heap calls are not counted
};

// Thrown by require() and skip(); caught by the runner.
struct CheckFailed {
  std::string why;
};
struct CheckSkipped {
  std::string why;
};
// Thrown by a check that opens windows when no display can be reached.
struct CheckNeedsDisplay {};

class CheckContext {
 public:
  CheckContext(const CheckSettings& settings, CheckReport* report)
      : settings_(settings), report_(report) {}

  // Names what the check does next: the report says "while <text>" when the
  // module crashes or hangs in it.
  void step(const std::string& text);
  // A FAIL with `why` unless `condition` holds.
  void require(bool condition, const std::string& why) {
    if (!condition) throw CheckFailed{why};
  }
  // Legal in practice, against the letter or the real-time rules: a WARN at
  // the default level, a FAIL with --strict.
  void warn(const std::string& why) { warnings_.push_back(why); }
  [[noreturn]] void skip(const std::string& why) { throw CheckSkipped{why}; }

  bool strict() const { return settings_.strict; }
  // A seed for one random input of the check: the run's seed mixed with
  // `salt`, so different inputs differ and every one follows --seed.
  uint32_t seed(uint32_t salt = 0) const;
  const CheckSettings& settings() const { return settings_; }
  const std::string& module() const { return settings_.module; }
  const std::vector<std::string>& warnings() const { return warnings_; }

 private:
  const CheckSettings& settings_;
  CheckReport* report_;
  std::vector<std::string> warnings_;
};

struct CheckDefinition {
  const char* name;  // short name for --only and --skip
  // lifecycle, audio, parameters and state, interface, real time, instruments, editor
  const char* group;
  const char* summary;  // what it does, one line
  const char* catches;  // the fault it exists for, one line
  // Runs the check; answers its detail for the report. Throws CheckFailed or
  // CheckSkipped.
  std::string (*run)(CheckContext& context);
};

// Every check, in the order they run ("load" first).
const std::vector<CheckDefinition>& checkRegistry();
// Null when there is no check of that name.
const CheckDefinition* findCheck(const std::string& name);

// The records of each group, in their order; the registry joins them.
std::vector<CheckDefinition> lifecycleChecks();
std::vector<CheckDefinition> audioChecks();
std::vector<CheckDefinition> parameterAndStateChecks();
std::vector<CheckDefinition> interfaceChecks();
std::vector<CheckDefinition> realtimeChecks();
std::vector<CheckDefinition> instrumentChecks();
std::vector<CheckDefinition> editorChecks();

}  // namespace vsthost

// The command-line host's three commands, as functions the vsthost program and
// the demo share. Each reports a user's error by throwing vsthost::Error with
// one line of text; the caller prints it and exits non-zero.
#pragma once

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "check_registry.h"
#include "vst/host.h"

namespace vsthost {

struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// A command line that asks for something impossible; exit status 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Loads `path` and makes one instance, with a host that keeps no record of
// the calls; throws Error naming what went wrong.
std::unique_ptr<host::LoadedPlugin> load(const std::string& path);

using host::fourChars;
// The names of the bits set in `flags`, e.g. {"CanReplacing"}; unknown bits as "bit N".
std::vector<std::string> flagNames(VstInt32 flags);
// "Effect", "Synth", ... for an effGetPlugCategory answer.
std::string categoryName(VstIntPtr category);
// Strips control characters and invalid UTF-8 so an effect's text prints safely.
std::string printable(const std::string& text);

// The whole of the file at `path` into `text`; false (errno telling why) when
// it cannot be read.
bool readWholeFile(const std::string& path, std::string& text);

// info: what a host sees of the module, as aligned text or as JSON.
void info(const std::string& module, bool json, std::FILE* out);

struct RenderOptions {
  std::string module;   // with a session: what "$MODULE" in it stands for
  std::string input;    // "" for silence: an instrument, or an effect played by `midi`
  std::string output;   // with a session: replaces the session's output
  std::string midi;     // a Standard MIDI File played into the module
  double rate = 0.0;    // Hz without an input (default 44100); with one, must be its rate
  double tail = -1.0;   // seconds after the end (below 0: 1 s with a MIDI file, else 0)
  std::string session;  // a session file with the settings and a chain of modules
  std::vector<std::pair<std::string, std::string>> params;  // name or index, value text
  int block = 512;
  std::string format;    // "" keeps the input's container unless the output's extension names one
  std::string encoding;  // "" keeps the input's sample encoding where the container allows it
  bool progress = false;
  double tempo = 120.0;               // the host's transport, in quarter notes per minute
  std::string timeSignature = "4/4";  // N/D: beats per bar, the beat's note value
  std::string preset;      // a program (.fxp) or bank (.fxb) file loaded before the parameters
  bool force = false;      // loads a preset made for another unique ID
  std::string savePreset;  // the state after the render: .fxp the program, .fxb every program
};

// render: runs `input` (and the MIDI file's events) through the effect, or
// through a session's chain, into `output`. The output (and the saved
// preset) appear whole or not at all.
void render(const RenderOptions& options);

struct CompareOptions {
  std::string a, b;
  double toleranceDb = -96.0;  // -inf: bit-identical
};

// compare: the null test of two audio files of the same rate, channels and
// length; prints the residual's peak and RMS and the first frame past the
// tolerance, and answers 0 within it, 1 beyond. Throws Error for files that
// cannot be compared.
int compare(const CompareOptions& options, std::FILE* out);

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
// as text, as JSON, or as the Markdown table the README shows.
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

}  // namespace vsthost

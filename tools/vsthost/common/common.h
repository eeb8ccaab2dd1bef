// What every command of vsthost shares: its two kinds of error, loading a
// module, and the names and texts that describe one. A command reports a
// user's error by throwing Error (exit 1) or UsageError (exit 2) with one line
// of text; main() prints it.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

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

// A time signature "N/D": beats per bar 1 to 64 and a note value that is a
// power of two up to 64; throws Error naming what it wants.
std::pair<int, int> timeSignature(const std::string& text);

// The whole of the file at `path` into `text`; false (errno telling why) when
// it cannot be read.
bool readWholeFile(const std::string& path, std::string& text);

}  // namespace vsthost

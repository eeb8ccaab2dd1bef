// The shape of a vsthost command, as each folder's interface offers it: its
// CLI11 subcommand and what runs when it was given. This header names CLI11's
// App only, so what includes it does not compile the command-line library;
// the command-line pieces are in command_line.h.
#pragma once

#include <cstdio>
#include <functional>

namespace CLI {
class App;
}

namespace vsthost {

// A subcommand of vsthost: `run` is called after the command line was parsed,
// when `command` was the one given, and answers the exit status.
struct Command {
  CLI::App* command = nullptr;
  std::function<int(std::FILE* out)> run;
};

}  // namespace vsthost

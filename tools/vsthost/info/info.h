// vsthost info: what a host sees of a module.
#pragma once

#include <cstdio>
#include <string>

#include "common/command.h"

namespace vsthost {

// info: what a host sees of the module, as aligned text or as JSON.
void info(const std::string& module, bool json, std::FILE* out);

// The `info` subcommand of `app`.
Command addInfoCommand(CLI::App& app);

}  // namespace vsthost

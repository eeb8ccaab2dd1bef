// The pieces every command's command line is built from (with CLI11, which
// only the command-line files include): the validators of numbers and the
// NAME=VALUE pairs of --param.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/command.h"

namespace vsthost {

// A whole number from `low` to `high`, checked on the text so that a value
// too large for any integer is refused the same way.
CLI::Validator wholeNumber(long low, long high);

// A rate in Hz from 1 to 10 MHz, written with a decimal point.
CLI::Validator sampleRate();

// The repeatable option --param NAME=VALUE of the commands that set
// parameters, its values gathered in `params`.
void addParameterOption(CLI::App& command, std::vector<std::string>& params);

// The --param options' NAME=VALUE pairs, split at the first '='; throws
// UsageError for one without a name or an '='.
std::vector<std::pair<std::string, std::string>> assignments(
    const std::vector<std::string>& params);

}  // namespace vsthost

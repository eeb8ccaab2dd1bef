#include "common/command_line.h"

#include <cerrno>
#include <cstdlib>

#include "common/common.h"

namespace vsthost {

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

void addParameterOption(CLI::App& command, std::vector<std::string>& params) {
  command
      .add_option("--param", params,
                  "NAME=VALUE: set a parameter (name or index) to a normalised value from 0 to 1 "
                  "or a value in its own terms (25ms, -6dB); repeatable")
      ->allow_extra_args(false);
}

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

}  // namespace vsthost

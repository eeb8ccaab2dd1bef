// The analysis as its pictures draw it: read from the JSON object of
// `vsthost analyze --json` and checked whole before anything is drawn.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace vsthost::plotting {

// What is wrong with the analysis: one line that names the key.
struct Invalid {
  std::string line;
};

inline constexpr const char* kChannels[] = {"left", "right", "mid", "side"};

// The analysis as the pictures draw it. kChannels names the four channels.
struct Analysis {
  std::string effect, settings, warning;
  double rate = 0;
  std::vector<double> frequency;
  std::vector<double> magnitude[4], phase[4], groupDelay[4];
  std::vector<double> impulse[2];
  std::vector<double> harmonicLevel, thd, thdN;
  std::vector<double> dynamicsIn, dynamicsOut;
};

// The analysis's values, every one checked; throws Invalid naming the first
// key that is missing or holds the wrong kind of value.
Analysis readAnalysis(const nlohmann::json& analysis);

}  // namespace vsthost::plotting

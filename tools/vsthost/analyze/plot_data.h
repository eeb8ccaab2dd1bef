// The analysis as its pictures draw it: read from the JSON object of
// `vsthost analyze --json` and checked whole before anything is drawn.
#pragma once

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace vsthost::plotting {

// What is wrong with the analysis: one line that names the key.
struct Invalid {
  std::string line;
};

inline constexpr const char* kChannels[] = {"left", "right", "mid", "side"};
inline constexpr const char* kPaths[] = {"left_to_left", "left_to_right", "right_to_left",
                                         "right_to_right"};

// The analysis as the pictures draw it. kChannels names the four channels.
struct Analysis {
  std::string effect, settings, warning;
  double rate = 0;
  std::vector<double> frequency;
  std::vector<double> magnitude[4], phase[4], groupDelay[4];
  // The magnitude's least and most between the points (empty in an analysis
  // from before they were measured).
  std::vector<double> magnitudeLow[4], magnitudeHigh[4], delayLow[4], delayHigh[4];
  // The stereo transfer matrix, kPaths in order (empty without one).
  std::vector<double> path[4], pathLow[4], pathHigh[4], pathDelay[4];
  std::vector<double> impulse[2];
  // The energy decay curve (empty for a short response) and its times.
  std::vector<double> decayTime, decayDb;
  double rt60 = NAN, edt = NAN;
  std::vector<double> harmonicLevel, thd, thdN;
  std::vector<double> dynamicsIn, dynamicsOut;
};

// `parent.name` of the analysis: an array of numbers (null read as NaN) of
// `length` values when not 0, or any value; throws Invalid naming the key.
std::vector<double> readNumbers(const nlohmann::json& object, const std::string& parent,
                                const std::string& name, size_t length = 0);
const nlohmann::json& readMember(const nlohmann::json& object, const std::string& parent,
                                 const std::string& name);

// The effect's name, the rate and the settings line of the pictures' titles.
void readTitle(const nlohmann::json& analysis, Analysis& a);

// The analysis's values, every one checked; throws Invalid naming the first
// key that is missing or holds the wrong kind of value.
Analysis readAnalysis(const nlohmann::json& analysis);

}  // namespace vsthost::plotting

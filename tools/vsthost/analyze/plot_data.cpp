#include "analyze/plot_data.h"

#include <cmath>
#include <filesystem>

namespace vsthost::plotting {

namespace {

using nlohmann::json;

const double kMissing = std::nan("");

std::string join(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "." + name;
}

const json& member(const json& object, const std::string& parent, const std::string& name) {
  if (!object.is_object() || !object.contains(name))
    throw Invalid{"missing key '" + join(parent, name) + "'"};
  return object[name];
}

// A value no picture can place (beyond any measurement's range) is drawn as
// a gap, like a null, so that the axes keep a range they can divide.
const double kLargest = 1e12;

double plottable(double value) { return std::fabs(value) <= kLargest ? value : kMissing; }

double number(const json& object, const std::string& parent, const std::string& name) {
  const json& value = member(object, parent, name);
  if (!value.is_number()) throw Invalid{"'" + join(parent, name) + "' is not a number"};
  return value.get<double>();
}

// A number or null (a value that was not finite); null reads as NaN.
double numberOrNull(const json& object, const std::string& parent, const std::string& name) {
  const json& value = member(object, parent, name);
  if (value.is_null()) return kMissing;
  if (!value.is_number()) throw Invalid{"'" + join(parent, name) + "' is not a number"};
  return plottable(value.get<double>());
}

// An array of numbers; null entries read as NaN (a gap in the curve).
std::vector<double> numbers(const json& object, const std::string& parent, const std::string& name,
                            size_t length = 0) {
  const json& value = member(object, parent, name);
  const std::string key = join(parent, name);
  if (!value.is_array()) throw Invalid{"'" + key + "' is not an array of numbers"};
  std::vector<double> result;
  result.reserve(value.size());
  for (const json& entry : value) {
    if (entry.is_null())
      result.push_back(kMissing);
    else if (entry.is_number())
      result.push_back(plottable(entry.get<double>()));
    else
      throw Invalid{"'" + key + "' is not an array of numbers"};
  }
  if (length != 0 && result.size() != length)
    throw Invalid{"'" + key + "' has " + std::to_string(result.size()) + " values for " +
                  std::to_string(length) + " frequencies"};
  return result;
}

}  // namespace

std::vector<double> readNumbers(const json& object, const std::string& parent,
                                const std::string& name, size_t length) {
  return numbers(object, parent, name, length);
}

const json& readMember(const json& object, const std::string& parent, const std::string& name) {
  return member(object, parent, name);
}

void readTitle(const json& analysis, Analysis& a) {
  if (!analysis.is_object()) throw Invalid{"the analysis is not a JSON object"};
  const json& effect = member(analysis, "", "effect");
  if (!effect.is_string()) throw Invalid{"'effect' is not a string"};
  a.effect = effect.get<std::string>();
  // An effect without a name is named by its module's file.
  if (a.effect.empty() && analysis.contains("module") && analysis["module"].is_string())
    a.effect = std::filesystem::path(analysis["module"].get<std::string>()).filename().string();
  a.rate = number(analysis, "", "rate");
  if (!(a.rate >= 1 && a.rate <= 1e7)) throw Invalid{"'rate' is not a rate from 1 to 10000000 Hz"};
  const json& params = member(analysis, "", "params");
  if (!params.is_object()) throw Invalid{"'params' is not an object"};
  for (const auto& [name, display] : params.items()) {
    if (!a.settings.empty()) a.settings += ", ";
    a.settings += name + " " + (display.is_string() ? display.get<std::string>() : display.dump());
  }
  char rate[64];
  if (analysis.contains("tempo_bpm") && analysis["tempo_bpm"].is_number())
    std::snprintf(rate, sizeof rate, "%g Hz, %g BPM %s", a.rate,
                  analysis["tempo_bpm"].get<double>(),
                  analysis.contains("time_signature") && analysis["time_signature"].is_string()
                      ? analysis["time_signature"].get<std::string>().c_str()
                      : "4/4");
  else
    std::snprintf(rate, sizeof rate, "%g Hz", a.rate);
  a.settings = a.settings.empty() ? rate : a.settings + "; " + rate;
  if (analysis.contains("time_invariant") && analysis["time_invariant"] == false)
    a.warning = "not time-invariant: the linear response is only approximate";
}

Analysis readAnalysis(const json& analysis) {
  Analysis a;
  readTitle(analysis, a);

  const json& response = member(analysis, "", "response");
  a.frequency = numbers(response, "response", "frequency_hz");
  if (a.frequency.empty()) throw Invalid{"'response.frequency_hz' is empty"};
  for (size_t i = 0; i < a.frequency.size(); ++i)
    if (!(a.frequency[i] > 0) || (i > 0 && !(a.frequency[i] > a.frequency[i - 1])))
      throw Invalid{"'response.frequency_hz' is not an ascending list of positive frequencies"};
  const size_t n = a.frequency.size();
  for (int c = 0; c < 4; ++c) {
    a.magnitude[c] = numbers(member(response, "response", "magnitude_db"), "response.magnitude_db",
                             kChannels[c], n);
    a.phase[c] =
        numbers(member(response, "response", "phase_deg"), "response.phase_deg", kChannels[c], n);
    a.groupDelay[c] = numbers(member(response, "response", "group_delay_ms"),
                              "response.group_delay_ms", kChannels[c], n);
    if (response.contains("magnitude_min_db") && response.contains("magnitude_max_db")) {
      a.magnitudeLow[c] =
          numbers(response["magnitude_min_db"], "response.magnitude_min_db", kChannels[c], n);
      a.magnitudeHigh[c] =
          numbers(response["magnitude_max_db"], "response.magnitude_max_db", kChannels[c], n);
    }
    if (response.contains("group_delay_min_ms") && response.contains("group_delay_max_ms")) {
      a.delayLow[c] =
          numbers(response["group_delay_min_ms"], "response.group_delay_min_ms", kChannels[c], n);
      a.delayHigh[c] =
          numbers(response["group_delay_max_ms"], "response.group_delay_max_ms", kChannels[c], n);
    }
  }
  if (analysis.contains("matrix"))
    for (int p = 0; p < 4; ++p) {
      const std::string key = std::string("matrix.") + kPaths[p];
      const json& path = member(analysis["matrix"], "matrix", kPaths[p]);
      a.path[p] = numbers(path, key, "magnitude_db", n);
      a.pathDelay[p] = numbers(path, key, "group_delay_ms", n);
      if (path.contains("magnitude_min_db") && path.contains("magnitude_max_db")) {
        a.pathLow[p] = numbers(path, key, "magnitude_min_db", n);
        a.pathHigh[p] = numbers(path, key, "magnitude_max_db", n);
      }
    }
  if (analysis.contains("decay")) {
    const json& decay = analysis["decay"];
    a.decayTime = numbers(decay, "decay", "time_s");
    a.decayDb = numbers(decay, "decay", "edc_db", a.decayTime.size());
    a.rt60 = numberOrNull(decay, "decay", "rt60_s");
    a.edt = numberOrNull(decay, "decay", "edt_s");
  }

  const json& impulse = member(analysis, "", "impulse_response");
  for (int c = 0; c < 2; ++c) {
    a.impulse[c] = numbers(impulse, "impulse_response", kChannels[c]);
    if (a.impulse[c].empty())
      throw Invalid{"'impulse_response." + std::string(kChannels[c]) + "' is empty"};
  }

  const json& harmonics = member(analysis, "", "harmonics");
  if (!harmonics.is_array() || harmonics.empty())
    throw Invalid{"'harmonics' is not a non-empty array"};
  for (size_t i = 0; i < harmonics.size(); ++i) {
    const std::string key = "harmonics[" + std::to_string(i) + "]";
    a.harmonicLevel.push_back(number(harmonics[i], key, "level_dbfs"));
    if (!std::isfinite(plottable(a.harmonicLevel.back())))
      throw Invalid{"'" + key + ".level_dbfs' is not a level"};
    a.thd.push_back(numberOrNull(harmonics[i], key, "thd_db"));
    a.thdN.push_back(numberOrNull(harmonics[i], key, "thd_n_db"));
  }

  const json& dynamics = member(analysis, "", "dynamics");
  a.dynamicsIn = numbers(dynamics, "dynamics", "input_dbfs");
  a.dynamicsOut = numbers(dynamics, "dynamics", "output_dbfs");
  if (a.dynamicsIn.empty()) throw Invalid{"'dynamics.input_dbfs' is empty"};
  if (a.dynamicsOut.size() != a.dynamicsIn.size())
    throw Invalid{"'dynamics.output_dbfs' has " + std::to_string(a.dynamicsOut.size()) +
                  " values for " + std::to_string(a.dynamicsIn.size()) + " input levels"};
  return a;
}

}  // namespace vsthost::plotting

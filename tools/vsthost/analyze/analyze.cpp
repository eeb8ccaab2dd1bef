// analyze: runs the measurement in a process of its own, then prints a
// summary or the JSON object, writes it to a file, draws it and compares it
// with a baseline.
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "analyze/analysis.h"
#include "analyze/analyze.h"
#include "analyze/plot.h"
#include "common/common.h"
#include "common/isolation.h"
#include "common/temporary_file.h"

namespace vsthost {

namespace {

const char* const kCurves[] = {"left", "right", "mid", "side"};

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// A level in dB as text; a null (a level of zero) as -inf.
std::string level(const nlohmann::json& value, int decimals = 1) {
  return value.is_number() ? fixed(value.get<double>(), decimals) : "-inf";
}

std::string readFile(const std::string& path) {
  std::string text;
  if (!readWholeFile(path, text)) throw Error(path + ": " + std::strerror(errno));
  return text;
}

std::vector<std::string> childArguments(const AnalyzeOptions& options, const std::string& result) {
  std::vector<std::string> arguments{"--analyze",
                                     result,
                                     options.module,
                                     "--rate",
                                     fixed(options.rate, 6),
                                     "--block",
                                     std::to_string(options.block)};
  for (const auto& param : options.params)
    arguments.insert(arguments.end(), {"--param", param.first + "=" + param.second});
  arguments.insert(arguments.end(),
                   {"--max-tail", fixed(options.maxTailSeconds, 6), "--tempo",
                    fixed(options.tempo, 6), "--beats", std::to_string(options.signature.first),
                    "--note-value", std::to_string(options.signature.second), "--note",
                    std::to_string(options.note), "--velocity", std::to_string(options.velocity)});
  return arguments;
}

// The measurement process's work: the analysis into `resultPath`, or the
// error's line into the report; the stage measured is kept in the report all
// along, so a crash or a hang can be named.
int measureInto(const AnalyzeOptions& options, const std::string& resultPath, CheckReport& report) {
  try {
    const nlohmann::json result = measureModule(options, [&](const char* stage) {
      std::snprintf(report.step, sizeof report.step, "%s", stage);
    });
    writeWholeFile(resultPath, result.dump(), "the result");
    return 0;
  } catch (const std::exception& error) {
    std::snprintf(report.detail, sizeof report.detail, "%s", error.what());
    return 1;
  }
}

// Measures in a process of its own: a crash or a hang of the module is one
// line naming what was being measured.
nlohmann::json measureIsolated(const AnalyzeOptions& options) {
  std::unique_ptr<Isolation> isolation;
  try {
    isolation.reset(new Isolation());
  } catch (const std::runtime_error& error) {
    throw Error(error.what());
  }
  const std::string resultPath = newTemporaryFile("vsthost-analysis");
  struct Removed {
    std::string path;
    ~Removed() { std::remove(path.c_str()); }
  } removed{resultPath};
  CheckReport& report = isolation->report();
  const ChildRequest request{"analyze", options.timeoutSeconds,
                             childArguments(options, resultPath)};
  const ChildOutcome child =
      isolation->run(request, [&] { return measureInto(options, resultPath, report); });
  const std::string during = report.step[0] != '\0' ? std::string(" while ") + report.step : "";
  switch (child.kind) {
    case ChildOutcome::kNotStarted: throw Error(child.reason);
    case ChildOutcome::kTimedOut:
      throw Error(options.module + ": no answer within " + fixed(options.timeoutSeconds, 0) + " s" +
                  during);
    case ChildOutcome::kCrashed:
      throw Error(options.module + ": crashed (" + child.reason + ")" + during);
    case ChildOutcome::kExited: break;
  }
  if (child.exitStatus != 0)
    throw Error(report.detail[0] != '\0' ? std::string(report.detail)
                                         : options.module + ": the measurement ended with status " +
                                               std::to_string(child.exitStatus) + during);
  try {
    return nlohmann::json::parse(readFile(resultPath));
  } catch (const nlohmann::json::exception&) {
    throw Error("the measurement process left no readable result");
  }
}

// A baseline as stored by --json/--output: one line naming what is wrong.
bool loadBaseline(const std::string& path, double rate, nlohmann::json& baseline,
                  std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  try {
    baseline = nlohmann::json::parse(file);
  } catch (const nlohmann::json::exception&) {
    error = path + ": not a JSON analysis (malformed JSON)";
    return false;
  }
  const auto has = [&](const nlohmann::json& object, const char* key) {
    return object.is_object() && object.contains(key);
  };
  if (!has(baseline, "vsthost_analysis") || baseline["vsthost_analysis"] != kAnalysisFormat ||
      !has(baseline, "rate") || !baseline["rate"].is_number() || !has(baseline, "response") ||
      !has(baseline["response"], "magnitude_db") || !has(baseline, "latency") ||
      !has(baseline, "harmonics") || !baseline["harmonics"].is_array()) {
    error = path + ": not an analysis of this vsthost (vsthost analyze --json writes one)";
    return false;
  }
  for (const char* curve : kCurves)
    if (!has(baseline["response"]["magnitude_db"], curve) ||
        !baseline["response"]["magnitude_db"][curve].is_array()) {
      error = path + ": its analysis has no " + curve + " magnitude curve";
      return false;
    }
  if (baseline["rate"].get<double>() != rate) {
    error = path + ": measured at " + fixed(baseline["rate"].get<double>(), 0) + " Hz, not at " +
            fixed(rate, 0) + " Hz (use --rate to match)";
    return false;
  }
  return true;
}

double floored(const nlohmann::json& value, double floor) {
  return value.is_number() ? std::max(floor, value.get<double>()) : floor;
}

// The first difference between a measurement and its baseline beyond the
// tolerances; empty when within.
std::string firstDifference(const nlohmann::json& now, const nlohmann::json& then,
                            double toleranceDb) {
  const auto& frequencies = now["response"]["frequency_hz"];
  for (const char* curve : kCurves) {
    const auto& a = now["response"]["magnitude_db"][curve];
    const auto& b = then["response"]["magnitude_db"][curve];
    if (a.size() != b.size())
      return std::string("the ") + curve + " magnitude curve has " + std::to_string(a.size()) +
             " points, the baseline's " + std::to_string(b.size());
    for (size_t i = 0; i < a.size(); ++i) {
      const double x = floored(a[i], kCompareFloorDb), y = floored(b[i], kCompareFloorDb);
      if (std::fabs(x - y) > toleranceDb)
        return std::string(curve) + " magnitude at " + fixed(frequencies[i].get<double>(), 1) +
               " Hz: " + level(a[i], 2) + " dB, the baseline " + level(b[i], 2) + " dB (beyond " +
               fixed(toleranceDb, 2) + " dB)";
    }
  }
  for (const char* key : {"measured_frames", "reported_frames"})
    if (now["latency"][key] != then["latency"].value(key, nlohmann::json()))
      return std::string("latency (") + key + "): " + now["latency"][key].dump() +
             ", the baseline " + then["latency"].value(key, nlohmann::json()).dump();
  if (then.contains("time_invariant") && now["time_invariant"] != then["time_invariant"])
    return std::string("time invariance: ") + now["time_invariant"].dump() + ", the baseline " +
           then["time_invariant"].dump();
  const auto& harmonics = now["harmonics"];
  for (size_t i = 0; i < harmonics.size() && i < then["harmonics"].size(); ++i) {
    const double x = floored(harmonics[i]["thd_db"], -100.0);
    const double y = floored(then["harmonics"][i].value("thd_db", nlohmann::json()), -100.0);
    if (std::fabs(x - y) > kThdMarginDb)
      return "THD at " + level(harmonics[i]["level_dbfs"], 0) +
             " dBFS: " + level(harmonics[i]["thd_db"], 2) + " dB, the baseline " +
             level(then["harmonics"][i].value("thd_db", nlohmann::json()), 2) + " dB (beyond " +
             fixed(kThdMarginDb, 1) + " dB)";
  }
  return "";
}

// The notches as a short list, "50.1, 150.3, 250.5 Hz ... (200 in all)", and
// where they make a delay's comb (odd multiples of one frequency), the delay.
std::string notchList(const nlohmann::json& notches) {
  std::string text;
  const size_t shown = std::min<size_t>(notches.size(), 6);
  for (size_t i = 0; i < shown; ++i)
    text += (i > 0 ? ", " : "") + fixed(notches[i].get<double>(), 1);
  text += " Hz";
  if (notches.size() > shown) text += " ... (" + std::to_string(notches.size()) + " in all)";
  if (notches.size() < 2) return text;
  const double base = (notches.back().get<double>() - notches[0].get<double>()) /
                      (2.0 * static_cast<double>(notches.size() - 1));
  bool comb = base > 0.0;
  for (size_t k = 0; k < notches.size() && comb; ++k)
    comb =
        std::fabs(notches[k].get<double>() - base * static_cast<double>(2 * k + 1)) <= 0.02 * base;
  if (comb)
    text += ": odd multiples of " + fixed(base, 2) + " Hz, the comb of " +
            fixed(1000.0 / (2.0 * base), 2) + " ms between the channels summed to mono";
  return text;
}

// An instrument's notes: the held note, its aliasing, velocity, onset, CPU.
void printInstrument(const nlohmann::json& a, std::FILE* out) {
  const auto& i = a["instrument"];
  std::fprintf(out, "note             %d at velocity %d: %s Hz, fundamental %s dBFS (%s)\n",
               i["note"].get<int>(), i["velocity"].get<int>(), level(i["frequency_hz"], 2).c_str(),
               level(i["level_dbfs"], 1).c_str(), i["channel"].get<std::string>().c_str());
  std::string harmonics;
  for (size_t h = 1; h < i["harmonics"].size() && h < 6; ++h)
    harmonics += (h > 1 ? ", " : "") + level(i["harmonics"][h]["level_db"], 1);
  std::fprintf(out, "harmonics        2 to 6: %s dB; not harmonic (aliasing) %s dB\n",
               harmonics.c_str(), level(i["alias_db"], 1).c_str());
  const auto& v = i["velocity_level"];
  std::fprintf(out, "velocity         1: %s dBFS, 64: %s dBFS, 127: %s dBFS\n",
               level(v["level_dbfs"].front(), 1).c_str(), level(v["level_dbfs"][4], 1).c_str(),
               level(v["level_dbfs"].back(), 1).c_str());
  std::fprintf(out, "onset            asked for frame %zu, heard from %zu (%+ld)\n",
               i["onset"]["asked_frame"].get<size_t>(), i["onset"]["heard_frame"].get<size_t>(),
               i["onset"]["late_frames"].get<long>());
  for (const auto& c : i["cpu"])
    std::fprintf(out, "CPU %2d notes     %s us a block (99th percentile %s), %sx real time\n",
                 c["voices"].get<int>(), level(c["mean_us"], 2).c_str(),
                 level(c["p99_us"], 2).c_str(), level(c["realtime_factor"], 0).c_str());
}

void printSummary(const nlohmann::json& a, std::FILE* out) {
  std::string params;
  for (const auto& item : a["params"].items())
    params += (params.empty() ? "" : ", ") + item.key() + " " + item.value().get<std::string>();
  std::fprintf(out, "%s (%s) at %s Hz, blocks of %d, %s BPM %s%s%s\n",
               a["effect"].get<std::string>().c_str(), a["unique_id"].get<std::string>().c_str(),
               fixed(a["rate"].get<double>(), 0).c_str(), a["block"].get<int>(),
               level(a["tempo_bpm"], 0).c_str(), a["time_signature"].get<std::string>().c_str(),
               params.empty() ? "" : ": ", params.c_str());
  if (a.contains("instrument")) {
    printInstrument(a, out);
    for (const auto& warning : a["warnings"])
      std::fprintf(out, "warning: %s\n", warning.get<std::string>().c_str());
    return;
  }
  std::fprintf(out, "latency          %d frames measured, %d reported\n",
               a["latency"]["measured_frames"].get<int>(),
               a["latency"]["reported_frames"].get<int>());
  std::fprintf(out, "time-invariant   %s\n", a["time_invariant"].get<bool>() ? "yes" : "no");
  if (a.contains("decay") && a["decay"]["rt60_s"].is_number())
    std::fprintf(out, "decay            RT60 %s s (%s), EDT %s s, the response rings %s s\n",
                 fixed(a["decay"]["rt60_s"].get<double>(), 3).c_str(),
                 a["decay"].value("rt60_from", "T30").c_str(),
                 level(a["decay"]["edt_s"], 3).c_str(), level(a["response_seconds"], 3).c_str());
  const auto& frequencies = a["response"]["frequency_hz"];
  std::fprintf(out,
               "response         %s to %s Hz:", fixed(frequencies.front().get<double>(), 0).c_str(),
               fixed(frequencies.back().get<double>(), 0).c_str());
  for (const char* curve : kCurves) {
    double low = 1e300, high = -1e300;
    for (const auto& value : a["response"]["magnitude_db"][curve]) {
      const double v = value.is_number() ? value.get<double>() : -1e300;
      low = std::min(low, v);
      high = std::max(high, v);
    }
    std::fprintf(out, " %s %s..%s dB%s", curve, low < -1e299 ? "-inf" : fixed(low, 1).c_str(),
                 high < -1e299 ? "-inf" : fixed(high, 1).c_str(), curve[0] == 's' ? "\n" : ",");
  }
  if (a.contains("matrix")) {
    const char* paths[] = {"left_to_left", "left_to_right", "right_to_left", "right_to_right"};
    const char* names[] = {"L>L", "L>R", "R>L", "R>R"};
    std::fprintf(out, "stereo matrix   ");
    for (int i = 0; i < 4; ++i) {
      const auto& p = a["matrix"][paths[i]];
      const std::string peak = p["peak_frame"].is_null()
                                   ? std::string("silent")
                                   : "peak " + level(p["peak_db"], 1) + " dB at frame " +
                                         std::to_string(p["peak_frame"].get<size_t>());
      std::fprintf(out, " %s %s%s", names[i], peak.c_str(), i == 3 ? "\n" : ",");
    }
  }
  const auto& notches = a["mono_notches_hz"];
  if (!notches.empty())
    std::fprintf(out, "mono-sum notches %s\n", notchList(notches).c_str());
  else
    std::fprintf(out, "mono-sum notches none\n");
  for (const auto& h : a["harmonics"])
    if (h["level_dbfs"] == 0)
      std::fprintf(out, "THD at 0 dBFS    %s dB (THD+N %s dB), %s output at %s dBFS\n",
                   level(h["thd_db"]).c_str(), level(h["thd_n_db"]).c_str(),
                   h["channel"].get<std::string>().c_str(), level(h["output_dbfs"], 2).c_str());
  const auto& cpu = a["cpu"];
  std::fprintf(out, "CPU              %s us a block (99th percentile %s, max %s), %sx real time\n",
               level(cpu["mean_us"], 2).c_str(), level(cpu["p99_us"], 2).c_str(),
               level(cpu["max_us"], 2).c_str(), level(cpu["realtime_factor"], 0).c_str());
  for (const auto& warning : a["warnings"])
    std::fprintf(out, "warning: %s\n", warning.get<std::string>().c_str());
}

}  // namespace

int analyze(const AnalyzeOptions& options, std::FILE* out) {
  nlohmann::json baseline;
  if (!options.baseline.empty()) {
    std::string error;
    if (!loadBaseline(options.baseline, options.rate, baseline, error)) {
      std::fprintf(stderr, "vsthost: baseline %s\n", error.c_str());
      return 2;
    }
  }
  std::FILE* probe = std::fopen(options.module.c_str(), "rb");
  if (probe == nullptr) throw Error(options.module + ": " + std::strerror(errno));
  std::fclose(probe);

  const nlohmann::json analysis = measureIsolated(options);
  if (!options.output.empty())
    writeWholeFile(options.output, analysis.dump(1) + "\n", "the analysis");
  if (options.json)
    std::fprintf(out, "%s\n", analysis.dump(1).c_str());
  else
    printSummary(analysis, out);
  if (!options.plotFolder.empty()) {
    if (!analysisPlotsAvailable()) {
      std::fprintf(stderr,
                   "vsthost: this build draws no pictures; `vsthost plot FILE.json DIR` on Linux "
                   "draws them\n");
    } else {
      std::string error;
      if (!writeAnalysisPlots(analysis, options.plotFolder, error)) throw Error(error);
    }
  }
  if (options.baseline.empty()) return 0;
  if (analysis.contains("instrument")) {
    std::fprintf(stderr,
                 "vsthost: baseline %s: compares an effect's response; %s is an instrument\n",
                 options.baseline.c_str(), options.module.c_str());
    return 2;
  }
  std::FILE* verdict = options.json ? stderr : out;
  std::string difference;
  try {
    difference = firstDifference(analysis, baseline, options.toleranceDb);
  } catch (const nlohmann::json::exception&) {
    std::fprintf(stderr,
                 "vsthost: baseline %s: not an analysis of this vsthost (a key holds "
                 "the wrong kind of value)\n",
                 options.baseline.c_str());
    return 2;
  }
  if (!difference.empty()) {
    std::fprintf(verdict, "baseline %s: differs: %s\n", options.baseline.c_str(),
                 difference.c_str());
    return 1;
  }
  std::fprintf(verdict, "baseline %s: within %s dB (magnitude), latency equal, THD within %s dB\n",
               options.baseline.c_str(), fixed(options.toleranceDb, 2).c_str(),
               fixed(kThdMarginDb, 1).c_str());
  return 0;
}

int analyzeChild(int argc, char** argv) {
  // --check-child MAPPING --analyze RESULT MODULE [--rate R] [--block N] [--param N=V]...
  if (argc < 6) return 3;
  CheckReport* report = openChildReport(argv[2]);
  if (report == nullptr) return 3;
  AnalyzeOptions options;
  const std::string resultPath = argv[4];
  options.module = argv[5];
  for (int i = 6; i + 1 < argc; i += 2) {
    const std::string key = argv[i], value = argv[i + 1];
    if (key == "--rate") options.rate = std::strtod(value.c_str(), nullptr);
    if (key == "--block") options.block = std::atoi(value.c_str());
    if (key == "--max-tail") options.maxTailSeconds = std::strtod(value.c_str(), nullptr);
    if (key == "--tempo") options.tempo = std::strtod(value.c_str(), nullptr);
    if (key == "--beats") options.signature.first = std::atoi(value.c_str());
    if (key == "--note") options.note = std::atoi(value.c_str());
    if (key == "--velocity") options.velocity = std::atoi(value.c_str());
    if (key == "--note-value") options.signature.second = std::atoi(value.c_str());
    const size_t equals = value.find('=');
    if (key == "--param" && equals != std::string::npos)
      options.params.emplace_back(value.substr(0, equals), value.substr(equals + 1));
  }
  return measureInto(options, resultPath, *report);
}

}  // namespace vsthost

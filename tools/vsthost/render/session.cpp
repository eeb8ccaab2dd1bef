// render --session: one JSON object with the render's settings and its chain
// of modules. Every key is checked; anything unknown or of the wrong kind is
// one line naming the file and the place ("s.json: chain[1].params.Gain").
#include <cerrno>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <sstream>

#include "render/plan.h"

namespace vsthost {

namespace {

// Keys keep the file's order, so parameters are set in the order written.
using Json = nlohmann::ordered_json;

class SessionReader {
 public:
  SessionReader(const std::string& path, const std::string& module) : path_(path), module_(module) {
    const size_t slash = path.find_last_of("/\\");
    directory_ = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  }

  [[noreturn]] void fail(const std::string& place, const std::string& what) const {
    throw Error(path_ + ": " + (place.empty() ? "" : place + ": ") + what);
  }

  // A path as written in the session: relative ones from the session's folder.
  std::string path(const Json& value, const std::string& place) const {
    const std::string text = string(value, place);
    if (text.empty()) fail(place, "an empty path");
    if (text == "$MODULE") {
      if (module_.empty())
        fail(place, "$MODULE stands for the module given with --module, and none was given");
      return module_;
    }
    const bool absolute = text[0] == '/' || text[0] == '\\' ||
                          (text.size() > 1 && text[1] == ':');  // C:\... and Wine's Z:/...
    return absolute ? text : directory_ + text;
  }

  std::string string(const Json& value, const std::string& place) const {
    if (!value.is_string()) fail(place, "wants text, not " + shown(value));
    return value.get<std::string>();
  }

  double number(const Json& value, const std::string& place, double low, double high) const {
    if (!value.is_number())
      fail(place,
           "wants a number from " + plain(low) + " to " + plain(high) + ", not " + shown(value));
    const double number = value.get<double>();
    if (!(number >= low && number <= high))
      fail(place,
           "wants a number from " + plain(low) + " to " + plain(high) + ", not " + shown(value));
    return number;
  }

  double whole(const Json& value, const std::string& place, double low, double high) const {
    const double n = number(value, place, low, high);
    if (n != std::floor(n)) fail(place, "wants a whole number, not " + shown(value));
    return n;
  }

  // A parameter value: a plain number (normalised) or text with a unit.
  std::string value(const Json& value, const std::string& place) const {
    if (value.is_number()) return value.dump();
    if (value.is_string()) return value.get<std::string>();
    fail(place, "wants a number from 0 to 1 or a value with its unit, not " + shown(value));
  }

  PlannedModule member(const Json& json, const std::string& place) const {
    if (!json.is_object()) fail(place, "wants an object with \"module\", not " + shown(json));
    PlannedModule member;
    member.where = path_ + ": " + place;
    if (!json.contains("module")) fail(place, "no \"module\"");
    for (const auto& [key, item] : json.items()) {
      const std::string at = place + "." + key;
      if (key == "module") {
        member.module = path(item, at);
      } else if (key == "preset") {
        member.preset = path(item, at);
      } else if (key == "params") {
        if (!item.is_object()) fail(at, "wants an object of NAME: value, not " + shown(item));
        for (const auto& [name, setting] : item.items())
          member.params.push_back({name, value(setting, at + "." + name)});
      } else if (key == "automation") {
        if (!item.is_object())
          fail(at, "wants an object of NAME: [[seconds, value], ...], not " + shown(item));
        for (const auto& [name, points] : item.items())
          member.automation.push_back(automation(name, points, at + "." + name));
      } else {
        fail(at, "unknown key (a chain member has module, params, preset, automation)");
      }
    }
    return member;
  }

  PlannedAutomation automation(const std::string& name, const Json& points,
                               const std::string& place) const {
    PlannedAutomation result{name, path_ + ": " + place, {}};
    if (!points.is_array() || points.empty())
      fail(place, "wants points [[seconds, value], ...], not " + shown(points));
    for (size_t i = 0; i < points.size(); ++i) {
      const std::string at = place + "[" + std::to_string(i) + "]";
      const Json& point = points[i];
      if (!point.is_array() || point.size() != 2)
        fail(at, "wants a point [seconds, value], not " + shown(point));
      const double seconds = number(point[0], at, 0.0, 86400.0);
      if (!result.points.empty() && seconds < result.points.back().first)
        fail(at, "at " + plain(seconds) + " s comes before the point ahead of it (" +
                     plain(result.points.back().first) + " s): points go in time order");
      result.points.push_back({seconds, value(point[1], at)});
    }
    return result;
  }

  RenderPlan read(const std::string& output) const {
    std::string text;
    if (!readWholeFile(path_, text))
      fail("", "cannot read the session (" + std::string(std::strerror(errno)) + ")");
    Json json;
    try {
      json = Json::parse(text);
    } catch (const Json::parse_error& error) {
      std::string what = error.what();
      const size_t end = what.find("] ");
      if (end != std::string::npos) what = what.substr(end + 2);
      fail("", "not JSON (" + what + ")");
    }
    if (!json.is_object()) fail("", "wants one JSON object, not " + shown(json));
    RenderPlan plan;
    bool hasChain = false;
    for (const auto& [key, item] : json.items()) {
      if (key == "rate") {
        plan.rate = whole(item, key, 1, 10000000);
      } else if (key == "block") {
        plan.block = static_cast<int>(whole(item, key, 1, 65536));
      } else if (key == "tempo") {
        plan.tempo = number(item, key, 1, 999);
      } else if (key == "time_signature") {
        plan.timeSignature = string(item, key);
      } else if (key == "input") {
        plan.input = path(item, key);
      } else if (key == "output") {
        plan.output = path(item, key);
      } else if (key == "midi") {
        plan.midi = path(item, key);
      } else if (key == "tail") {
        plan.tail = number(item, key, 0, 3600);
      } else if (key == "chain") {
        hasChain = true;
        if (!item.is_array() || item.empty())
          fail(key, "wants an array of one or more modules, not " + shown(item));
        for (size_t i = 0; i < item.size(); ++i)
          plan.chain.push_back(member(item[i], "chain[" + std::to_string(i) + "]"));
      } else {
        fail(key,
             "unknown key (a session has rate, block, tempo, time_signature, input, output, "
             "midi, tail, chain)");
      }
    }
    if (!hasChain) fail("", "no \"chain\" of modules");
    if (!output.empty()) plan.output = output;
    if (plan.output.empty()) fail("", "no \"output\" (or OUT on the command line)");
    if (plan.input.empty() && plan.midi.empty())
      fail("", "neither \"input\" nor \"midi\": nothing to render");
    return plan;
  }

 private:
  static std::string plain(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
  }
  static std::string shown(const Json& value) {
    std::string text = value.dump();
    if (text.size() > 40) text = text.substr(0, 37) + "...";
    return text;
  }

  std::string path_, module_, directory_;
};

}  // namespace

RenderPlan readSession(const std::string& path, const std::string& output,
                       const std::string& module) {
  return SessionReader(path, module).read(output);
}

}  // namespace vsthost

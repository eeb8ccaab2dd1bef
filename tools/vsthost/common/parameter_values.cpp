#include "common/parameter_values.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "common/common.h"

namespace vsthost {

namespace {

// Lower case, for names compared without regard to case.
std::string lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Lower case without blanks: "25 MS" and "25ms" compare equal.
std::string folded(const std::string& text) {
  std::string result;
  for (char c : text)
    if (c != ' ' && c != '\t')
      result += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

// A decimal number at the start of `text` (a point, never a comma, whatever
// the locale): its value and the length it takes; 0 when there is none, or
// when it is not finite.
size_t leadingNumber(const std::string& text, double& value) {
  size_t at = 0;
  while (at < text.size() && text[at] == ' ') ++at;
  size_t start = at;
  if (at < text.size() && text[at] == '+')
    start = ++at;
  else if (at < text.size() && text[at] == '-')
    ++at;
  if (at >= text.size() || !(std::isdigit(static_cast<unsigned char>(text[at])) || text[at] == '.'))
    return 0;
  const auto result = std::from_chars(text.data() + start, text.data() + text.size(), value);
  if (result.ec != std::errc() || !std::isfinite(value)) return 0;
  return static_cast<size_t>(result.ptr - text.data());
}

// The value of a text made of a number alone; false for anything more.
bool plainNumber(const std::string& text, double& value) {
  const size_t length = leadingNumber(text, value);
  return length > 0 && text.find_first_not_of(' ', length) == std::string::npos;
}

// Digits after the point in a display: its resolution.
double resolution(const std::string& display) {
  const size_t point = display.find('.');
  if (point == std::string::npos) return 1.0;
  size_t digits = 0;
  while (point + 1 + digits < display.size() &&
         std::isdigit(static_cast<unsigned char>(display[point + 1 + digits])))
    ++digits;
  return std::pow(10.0, -static_cast<double>(digits));
}

struct Shown {
  float value;
  std::string display;
  bool numeric;
  double number;
};

class Search {
 public:
  Search(host::Plugin& plugin, VstInt32 index) : plugin_(plugin), index_(index) {}
  Shown at(float value) {
    plugin_.setParameter(index_, value);
    Shown shown{value, plugin_.parameterDisplay(index_), false, 0.0};
    const size_t length = leadingNumber(shown.display, shown.number);
    shown.numeric = length > 0;
    return shown;
  }

 private:
  host::Plugin& plugin_;
  VstInt32 index_;
};

constexpr int kSteps = 1000;

// How many of `to` make one `from`, for units of one kind (times: s, ms, us;
// frequencies: Hz, kHz); 0 when they are not of one kind.
double unitRatio(const std::string& from, const std::string& to) {
  struct Unit {
    const char* name;
    int kind;
    double size;
  };
  static const Unit units[] = {{"s", 0, 1.0},   {"sec", 0, 1.0}, {"ms", 0, 1e-3},
                               {"us", 0, 1e-6}, {"hz", 1, 1.0},  {"khz", 1, 1e3}};
  const Unit *a = nullptr, *b = nullptr;
  for (const Unit& unit : units) {
    if (from == unit.name) a = &unit;
    if (to == unit.name) b = &unit;
  }
  return a != nullptr && b != nullptr && a->kind == b->kind ? a->size / b->size : 0.0;
}

}  // namespace

float resolveParameterValue(host::Plugin& plugin, VstInt32 index, const std::string& name,
                            const std::string& text) {
  const std::string what = "parameter " + name + ": ";
  double number = 0.0;
  if (plainNumber(text, number)) {
    if (number < 0.0 || number > 1.0)
      throw Error(what + text +
                  " is outside the normalised range 0 to 1 (give a unit for a value in the "
                  "parameter's own terms, e.g. -6dB)");
    return static_cast<float>(number);
  }
  if (text.find_first_not_of(' ') == std::string::npos) throw Error(what + "no value given");
  if (text.size() > 255) throw Error(what + "value too long");

  const float original = plugin.getParameter(index);
  // The effect's own parser, which knows its units and names.
  std::vector<char> buffer(256, '\0');
  std::copy(text.begin(), text.end(), buffer.begin());
  if (plugin.dispatch(effString2Parameter, index, 0, buffer.data()) != 0) {
    const float value = plugin.getParameter(index);
    if (!(value >= 0.0f && value <= 1.0f)) {
      plugin.setParameter(index, original);
      throw Error(what + "the effect read '" + text + "' as " + std::to_string(value) +
                  ", outside 0 to 1");
    }
    // At an end of the range, a number beyond it was clamped: say so.
    double asked = 0.0;
    if ((value == 0.0f || value == 1.0f) && leadingNumber(text, asked) > 0) {
      Search ends(plugin, index);
      const Shown low = ends.at(0.0f), high = ends.at(1.0f);
      const double bottom = std::fmin(low.number, high.number);
      const double top = std::fmax(low.number, high.number);
      if (low.numeric && high.numeric && (asked < bottom || asked > top))
        std::fprintf(
            stderr, "vsthost: warning: %s%s is outside its range %s to %s %s; clamped to %s\n",
            what.c_str(), text.c_str(), low.display.c_str(), high.display.c_str(),
            plugin.parameterLabel(index).c_str(), (value == 0.0f ? low : high).display.c_str());
    }
    plugin.setParameter(index, original);
    return value;
  }

  // No parser: search the displays over the whole range.
  Search search(plugin, index);
  std::vector<Shown> shown;
  for (int i = 0; i <= kSteps; ++i) shown.push_back(search.at(static_cast<float>(i) / kSteps));
  const std::string label = plugin.parameterLabel(index);
  const std::string wanted = folded(text);
  struct Restore {
    host::Plugin& plugin;
    VstInt32 index;
    float value;
    ~Restore() { plugin.setParameter(index, value); }
  } restore{plugin, index, original};

  // As words: the middle of the first stretch of the range that shows them.
  for (size_t i = 0; i < shown.size(); ++i) {
    if (folded(shown[i].display) != wanted && folded(shown[i].display + label) != wanted) continue;
    size_t last = i;
    while (last + 1 < shown.size() && shown[last + 1].display == shown[i].display) ++last;
    return (shown[i].value + shown[last].value) / 2.0f;
  }

  // As a number with an optional unit: the segment of the range whose
  // displays enclose it, narrowed down by halving.
  double target = 0.0;
  const size_t length = leadingNumber(text, target);
  // What it shows: each text of a few, the first and last of many.
  std::vector<std::string> distinct;
  for (size_t i = 0; i < shown.size(); ++i)
    if (i == 0 || shown[i].display != shown[i - 1].display) distinct.push_back(shown[i].display);
  std::string shows = distinct.front() + " to " + distinct.back();
  if (distinct.size() <= 8) {
    shows.clear();
    for (const std::string& display : distinct) shows += (shows.empty() ? "" : ", ") + display;
  }
  shows = " (it shows " + shows + (label.empty() ? "" : " " + label) + ")";
  // A choice (nothing it shows is a number) names its choices.
  bool numeric = false;
  for (const Shown& each : shown) numeric = numeric || each.numeric;
  if (!numeric) {
    std::string choices;
    for (const std::string& display : distinct) choices += (choices.empty() ? "" : ", ") + display;
    throw Error(what + "'" + text + "' is none of its choices: " + choices);
  }
  if (length == 0) throw Error(what + "nothing it shows reads '" + text + "'" + shows);
  const std::string unit = folded(text.substr(length));
  if (!unit.empty() && unit != folded(label)) {
    // Another unit of the same kind converts: 2s for milliseconds, 1.5kHz for hertz.
    const double ratio = unitRatio(unit, folded(label));
    if (ratio == 0.0)
      throw Error(what + "'" + text.substr(text.find_first_not_of(' ', length)) +
                  "' is not its unit" + (label.empty() ? " (it has none)" : " (" + label + ")"));
    target *= ratio;
  }
  // Beyond every number it shows: the nearer end, with a warning.
  const Shown *lowest = nullptr, *highest = nullptr;
  for (const Shown& each : shown) {
    if (!each.numeric) continue;
    if (lowest == nullptr || each.number < lowest->number) lowest = &each;
    if (highest == nullptr || each.number > highest->number) highest = &each;
  }
  if (target < lowest->number || target > highest->number) {
    const Shown& end = target < lowest->number ? *lowest : *highest;
    std::fprintf(stderr, "vsthost: warning: %s%s is outside its range %s to %s %s; clamped to %s\n",
                 what.c_str(), text.c_str(), lowest->display.c_str(), highest->display.c_str(),
                 label.c_str(), end.display.c_str());
    return end.value;
  }
  // A value of the sweep that shows exactly the number: the middle of its stretch.
  for (size_t i = 0; i < shown.size(); ++i) {
    if (!shown[i].numeric || shown[i].number != target) continue;
    size_t last = i;
    while (last + 1 < shown.size() && shown[last + 1].display == shown[i].display) ++last;
    return shown[(i + last) / 2].value;
  }
  for (size_t i = 0; i + 1 < shown.size(); ++i) {
    const Shown &a = shown[i], &b = shown[i + 1];
    if (!a.numeric || !b.numeric) continue;
    if (target < std::fmin(a.number, b.number) || target > std::fmax(a.number, b.number)) continue;
    float low = a.value, high = b.value;
    const bool rising = b.number >= a.number;
    for (int step = 0; step < 40 && high - low > 1e-7f; ++step) {
      const float middle = (low + high) / 2.0f;
      const Shown probe = search.at(middle);
      if (!probe.numeric) break;
      if ((probe.number < target) == rising)
        low = middle;
      else
        high = middle;
    }
    Shown best = search.at(low);
    const Shown other = search.at(high);
    if (!best.numeric ||
        (other.numeric && std::fabs(other.number - target) < std::fabs(best.number - target)))
      best = other;
    const double tolerance =
        std::fmax(resolution(best.display), 1e-3 * std::fmax(std::fabs(target), 1e-6));
    if (best.numeric && std::fabs(best.number - target) <= tolerance) return best.value;
  }
  throw Error(what + "nothing it shows reads '" + text + "'" + shows);
}

VstInt32 parameterIndex(host::Plugin& plugin, const std::string& key) {
  const VstInt32 count = plugin.record()->numParams;
  for (VstInt32 i = 0; i < count; ++i)
    if (plugin.parameterName(i) == key) return i;
  for (VstInt32 i = 0; i < count; ++i)
    if (lowered(plugin.parameterName(i)) == lowered(key)) return i;
  if (!key.empty() && key.find_first_not_of("0123456789") == std::string::npos) {
    const long index = key.size() <= 9 ? std::strtol(key.c_str(), nullptr, 10) : -1;
    if (index >= 0 && index < count) return static_cast<VstInt32>(index);
    throw Error("parameter index " + key + " out of range (the effect has " +
                std::to_string(count) + " parameters)");
  }
  throw Error("unknown parameter '" + key + "' (see vsthost info for the names)");
}

}  // namespace vsthost

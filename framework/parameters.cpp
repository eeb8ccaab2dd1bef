// The conversions behind declared parameters: normalised to plain and back,
// the display, and the reading of typed-in text. Nothing here depends on the
// process's locale: numbers are written and read with a decimal point.
#include "vst/parameters.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace vst {

namespace {

constexpr double kFloorDb = -200.0;
// Longer text is no value a user typed.
constexpr std::size_t kMaxTextLength = 63;

double lowest(const ParameterSpec& parameter) { return std::fmin(parameter.min, parameter.max); }
double highest(const ParameterSpec& parameter) { return std::fmax(parameter.min, parameter.max); }
bool stepped(const ParameterSpec& parameter) {
  return parameter.mapping == Mapping::kChoice || parameter.mapping == Mapping::kStep;
}
bool logarithmic(const ParameterSpec& parameter) {
  return parameter.mapping == Mapping::kLogarithmic && parameter.min > 0.0 && parameter.max > 0.0;
}
// The number of steps from the first whole value to the last.
double stepCount(const ParameterSpec& parameter) {
  const double count = std::round(parameter.max - parameter.min);
  return count > 0.0 && count < 1e9 ? count : 0.0;
}
// A range the table may have got wrong (infinite ends) still maps onto finite values.
bool usable(const ParameterSpec& parameter) {
  return std::isfinite(parameter.min) && std::isfinite(parameter.max);
}

double clampPlain(const ParameterSpec& parameter, double plain) {
  return std::fmax(lowest(parameter), std::fmin(highest(parameter), plain));
}

bool isSpace(char c) { return c == ' ' || c == '\t'; }

bool sameText(const char* a, std::size_t length, const char* b) {
  if (b == nullptr || std::strlen(b) != length) return false;
  for (std::size_t i = 0; i < length; ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The extent of a decimal number at the start of `text`: sign, digits with at
// most one point, optional exponent; 0 when there is none.
std::size_t numberLength(const char* text, std::size_t length) {
  std::size_t at = 0, digits = 0;
  if (at < length && (text[at] == '+' || text[at] == '-')) ++at;
  while (at < length && text[at] >= '0' && text[at] <= '9') ++at, ++digits;
  if (at < length && text[at] == '.') {
    ++at;
    while (at < length && text[at] >= '0' && text[at] <= '9') ++at, ++digits;
  }
  if (digits == 0) return 0;
  if (at < length && (text[at] == 'e' || text[at] == 'E')) {
    std::size_t exponent = at + 1;
    if (exponent < length && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    if (exponent < length && text[exponent] >= '0' && text[exponent] <= '9') {
      while (exponent < length && text[exponent] >= '0' && text[exponent] <= '9') ++exponent;
      at = exponent;
    }
  }
  return at;
}

bool readNumber(const char* text, std::size_t length, double& value) {
  const char* begin = text;
  if (length > 0 && *begin == '+') ++begin;  // from_chars takes no plus sign
  double read = 0.0;
  const auto result = std::from_chars(begin, text + length, read);
  if (result.ec != std::errc() || result.ptr != text + length || !std::isfinite(read)) return false;
  value = read;
  return true;
}

// `value` with `precision` digits after the point, or fewer to fit `maxLen`.
void formatNumber(double value, int precision, char* text, VstInt32 maxLen) {
  precision = precision < 0 ? 0 : (precision > 9 ? 9 : precision);
  for (int digits = precision; digits >= 0; --digits) {
    const double scale = std::pow(10.0, digits);
    const double scaled = std::round(std::fabs(value) * scale);
    if (!(scaled < 1e17)) break;
    const auto whole = static_cast<long long>(scaled);
    const auto unit = static_cast<long long>(scale);
    char number[48];
    const char* sign = value < 0.0 && whole != 0 ? "-" : "";
    if (digits == 0)
      std::snprintf(number, sizeof number, "%s%lld", sign, whole);
    else
      std::snprintf(number, sizeof number, "%s%lld.%0*lld", sign, whole / unit, digits,
                    whole % unit);
    if (maxLen < 0 || std::strlen(number) <= static_cast<std::size_t>(maxLen)) {
      copyText(text, number, maxLen);
      return;
    }
  }
  copyText(text, "Huge!", maxLen);
}

}  // namespace

double dbToFactor(double db) {
  if (db != db) return 0.0;
  return std::pow(10.0, std::fmax(kFloorDb, std::fmin(-kFloorDb, db)) / 20.0);
}

double factorToDb(double factor) {
  if (!(factor > 0.0)) return kFloorDb;
  return std::fmax(kFloorDb, std::fmin(-kFloorDb, 20.0 * std::log10(factor)));
}

float snapNormalised(const ParameterSpec& parameter, float normalised) {
  if (normalised != normalised) return normalised;
  normalised = normalised < 0.0f ? 0.0f : (normalised > 1.0f ? 1.0f : normalised);
  if (!stepped(parameter)) return normalised;
  const double count = stepCount(parameter);
  return count > 0.0 ? static_cast<float>(std::round(normalised * count) / count) : 0.0f;
}

double toPlain(const ParameterSpec& parameter, float normalised) {
  if (!usable(parameter)) return 0.0;
  const double v = normalised >= 0.0f ? (normalised <= 1.0f ? normalised : 1.0) : 0.0;  // NaN: 0
  double plain;
  if (stepped(parameter))
    plain = parameter.min + std::round(v * stepCount(parameter));
  else if (logarithmic(parameter))
    plain = parameter.min * std::pow(parameter.max / parameter.min, v);
  else
    plain = parameter.min + v * (parameter.max - parameter.min);
  // A 32-bit normalised value is a few millionths off the value a user typed:
  // rounded to a thousandth of the display's last digit, 0 dB is exactly 0
  // (a factor of exactly 1) and 25 ms exactly 25.
  const double grid = std::pow(10.0, std::fmin(std::fmax(parameter.precision, 0), 9) + 3);
  if (!stepped(parameter) && std::fabs(plain) * grid < 1e15)
    plain = std::round(plain * grid) / grid;
  return clampPlain(parameter, plain);
}

float toNormalised(const ParameterSpec& parameter, double plain) {
  if (!usable(parameter)) return 0.0f;
  if (plain != plain)
    plain = parameter.initial == parameter.initial ? parameter.initial : parameter.min;
  plain = clampPlain(parameter, plain);
  double v = 0.0;
  if (stepped(parameter)) {
    const double count = stepCount(parameter);
    v = count > 0.0 ? std::round(std::fabs(plain - parameter.min)) / count : 0.0;
  } else if (logarithmic(parameter)) {
    v = parameter.max != parameter.min
            ? std::log(plain / parameter.min) / std::log(parameter.max / parameter.min)
            : 0.0;
  } else {
    v = parameter.max != parameter.min ? (plain - parameter.min) / (parameter.max - parameter.min)
                                       : 0.0;
  }
  return static_cast<float>(v >= 0.0 ? (v <= 1.0 ? v : 1.0) : 0.0);
}

void formatValue(const ParameterSpec& parameter, double plain, char* text, VstInt32 maxLen) {
  if (parameter.mapping == Mapping::kChoice) {
    const double index = std::round(clampPlain(parameter, plain == plain ? plain : parameter.min));
    const char* name = parameter.choices != nullptr && index >= 0.0 && index <= stepCount(parameter)
                           ? parameter.choices[static_cast<std::size_t>(index)]
                           : nullptr;
    if (name != nullptr) return copyText(text, name, maxLen);
    return formatNumber(index, 0, text, maxLen);
  }
  formatNumber(plain, parameter.mapping == Mapping::kStep ? 0 : parameter.precision, text, maxLen);
}

bool parseValue(const ParameterSpec& parameter, const char* text, double& plain) {
  if (text == nullptr || !usable(parameter)) return false;
  std::size_t length = 0;
  while (length <= kMaxTextLength && text[length] != '\0') ++length;
  if (length > kMaxTextLength) return false;
  while (length > 0 && isSpace(text[length - 1])) --length;
  while (length > 0 && isSpace(*text)) ++text, --length;
  if (length == 0) return false;

  if (parameter.mapping == Mapping::kChoice && parameter.choices != nullptr) {
    const double count = stepCount(parameter);
    for (std::size_t i = 0; i <= static_cast<std::size_t>(count); ++i)
      if (sameText(text, length, parameter.choices[i])) {
        plain = parameter.min + static_cast<double>(i);
        return true;
      }
  }

  const std::size_t numberEnd = numberLength(text, length);
  double value = 0.0;
  if (numberEnd == 0 || !readNumber(text, numberEnd, value)) return false;
  const char* unit = text + numberEnd;
  std::size_t unitLength = length - numberEnd;
  while (unitLength > 0 && isSpace(*unit)) ++unit, --unitLength;
  if (unitLength > 0) {
    const char* expected = parameter.unit != nullptr ? parameter.unit : "";
    if (*expected == '\0' || parameter.mapping == Mapping::kChoice) return false;
    if (!sameText(unit, unitLength, expected)) {
      // "k" before the unit: 1.5kHz is 1500 Hz.
      if (!((*unit == 'k' || *unit == 'K') && sameText(unit + 1, unitLength - 1, expected)))
        return false;
      value *= 1000.0;
      if (!std::isfinite(value)) return false;
    }
  }
  plain = clampPlain(parameter, stepped(parameter) ? std::round(value) : value);
  return true;
}

void Smoother::setTime(double seconds, double sampleRate) {
  const double samples = seconds * sampleRate;
  coefficient_ = samples > 0.0 && std::isfinite(samples)
                     ? static_cast<float>(1.0 - std::exp(-1.0 / std::fmax(samples, 1.0)))
                     : 1.0f;
  if (!(coefficient_ > 0.0f)) coefficient_ = 1.0f;
}

}  // namespace vst

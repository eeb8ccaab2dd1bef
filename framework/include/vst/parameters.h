// Parameters declared once. An effect describes each parameter in one table
// (name, unit, range, default, how the host's normalised value maps onto the
// range, display precision) and derives from vst::ParameterEffect, which
// answers every parameter call from the table: clamped storage, names, units,
// displays and the parsing of typed-in text. Processing reads plain values:
// hertz, milliseconds, a gain factor for decibels, a choice's index. Given an
// identity record too (vst/identity.h), it answers the identity calls from it.
//
//   constexpr vst::ParameterSpec kParameters[] = {
//       vst::decibelParameter("Gain", -48.0, 12.0, 0.0),
//   };
//   constexpr vst::Identity kIdentity = {"Gain", "Velmbrook", "Gain example", 1000};
//   class Gain : public vst::ParameterEffect<1> { ... factor(0) ... };
#pragma once

#include <cstddef>

#include "vst/audio_effect_x.h"
#include "vst/identity.h"
#include "vst/relaxed.h"
#include "vst/text_copy.h"

namespace vst {

// How the normalised value 0 to 1 the host sends maps onto a parameter's range.
enum class Mapping {
  kLinear,       // evenly from min to max
  kLogarithmic,  // evenly in ratio (frequencies, times); min and max above 0
  kDecibel,      // evenly in decibels from min to max; factor() gives the gain
  kChoice,       // one of the names in `choices`, index 0 to max
  kStep,         // a whole number from min to max
};

// One parameter. Values in the parameter's own terms ("plain"): `min`, `max`
// and `initial` are hertz for a frequency, decibels for a gain, the index for
// a choice.
struct ParameterSpec {
  const char* name;  // at most 8 characters
  const char* unit;  // the label the host shows after the value, at most 8 characters
  double min, max;
  double initial;
  Mapping mapping;
  int precision;               // digits after the decimal point in the display
  const char* const* choices;  // kChoice: max + 1 names, each at most 8 characters
};

// The builders take names and units as literals and refuse, at compile time,
// one longer than the 8 characters a host's buffer holds (kVstMaxParamStrLen),
// so "Resonance" cannot be cut to "Resonanc" without a word.
template <std::size_t N>
constexpr const char* parameterText(const char (&text)[N]) {
  static_assert(N - 1 <= kVstMaxParamStrLen,
                "a parameter name or unit has at most 8 characters (kVstMaxParamStrLen)");
  return text;
}
// Not constexpr: reached only when a choice name is too long, which makes
// the table's constant evaluation, and so its compilation, fail here.
inline void choice_name_over_8_characters() {}
constexpr const char* const* choiceTexts(const char* const* names, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t length = 0;
    while (names[i][length] != '\0') ++length;
    if (length > kVstMaxParamStrLen) choice_name_over_8_characters();
  }
  return names;
}

template <std::size_t NameSize, std::size_t UnitSize>
constexpr ParameterSpec linearParameter(const char (&name)[NameSize], const char (&unit)[UnitSize],
                                        double min, double max, double initial, int precision = 2) {
  return {parameterText(name), parameterText(unit), min,    max, initial,
          Mapping::kLinear,    precision,           nullptr};
}
template <std::size_t NameSize, std::size_t UnitSize>
constexpr ParameterSpec logParameter(const char (&name)[NameSize], const char (&unit)[UnitSize],
                                     double min, double max, double initial, int precision = 2) {
  return {parameterText(name),   parameterText(unit), min,    max, initial,
          Mapping::kLogarithmic, precision,           nullptr};
}
template <std::size_t NameSize>
constexpr ParameterSpec decibelParameter(const char (&name)[NameSize], double minDb, double maxDb,
                                         double initialDb, int precision = 2) {
  return {parameterText(name), "dB",      minDb,  maxDb, initialDb,
          Mapping::kDecibel,   precision, nullptr};
}
template <std::size_t NameSize, std::size_t UnitSize>
constexpr ParameterSpec stepParameter(const char (&name)[NameSize], const char (&unit)[UnitSize],
                                      int min, int max, int initial) {
  return {parameterText(name), parameterText(unit), double(min), double(max),
          double(initial),     Mapping::kStep,      0,           nullptr};
}
template <std::size_t NameSize, std::size_t N>
constexpr ParameterSpec choiceParameter(const char (&name)[NameSize], const char* const (&names)[N],
                                        int initial) {
  return {parameterText(name),  "", 0.0, double(N - 1), double(initial), Mapping::kChoice, 0,
          choiceTexts(names, N)};
}

// Decibels and gain factors, both answers finite: decibels are taken within
// -200 to +200 and NaN decibels are silence (a factor of 0); a factor of 0 or
// below, or NaN, is -200 dB.
double dbToFactor(double db);
double factorToDb(double factor);

// The conversions the helper below is made of, for effects that keep their
// own storage. Every answer is finite and within the range, whatever the input:
// a NaN normalised value is the range's start, a NaN plain value its default.
double toPlain(const ParameterSpec& parameter, float normalised);
// Clamped to 0 to 1; a choice or step lands exactly on its own value.
float toNormalised(const ParameterSpec& parameter, double plain);
// A normalised value the host sent, made one the parameter can take: clamped
// to 0 to 1, a choice or step snapped to the nearest; NaN gives NaN.
float snapNormalised(const ParameterSpec& parameter, float normalised);
// The display: a choice's name, else the value with `precision` digits after
// the point (fewer when the text would not fit in `maxLen` characters). A
// decimal point whatever the process's locale.
void formatValue(const ParameterSpec& parameter, double plain, char* text, VstInt32 maxLen);
// Reads text a user typed: a number with or without the unit ("-6 dB", "-6dB",
// "-6"; "k" before a unit multiplies by 1000: "1.5kHz"), or a choice's name or
// index. A decimal point only, whatever the locale. Values beyond the range
// are clamped. False, with `plain` untouched, for empty or over-long text,
// another unit, a comma, NaN or infinity, or anything else it cannot read.
bool parseValue(const ParameterSpec& parameter, const char* text, double& plain);

// An AudioEffectX that answers the parameter calls from a table of N
// parameters, and the identity calls from an Identity when it is given one
// (an IdentityEffect). The table must outlive every instance (a constexpr
// table at namespace scope does). It overrides setParameter, getParameter,
// getParameterName, getParameterLabel, getParameterDisplay and
// string2parameter, and adds no virtual operation.
template <VstInt32 N>
class ParameterEffect : public IdentityEffect {
  static_assert(N > 0, "a table of at least one parameter");

 public:
  // [construction] Every parameter starts at its initial value.
  ParameterEffect(audioMasterCallback host, VstInt32 programs, const ParameterSpec (&table)[N],
                  const Identity& identity)
      : IdentityEffect(host, programs, N, identity), table_(table) {
    start();
  }
  // [construction] Without an identity the identity calls keep AudioEffectX's
  // defaults, for an effect that answers them itself.
  ParameterEffect(audioMasterCallback host, VstInt32 programs, const ParameterSpec (&table)[N])
      : IdentityEffect(host, programs, N), table_(table) {
    start();
  }

  // [any thread] Clamps to 0 to 1 and snaps choices and steps; a NaN or an
  // index outside the table changes nothing. One whole store, no lock.
  void setParameter(VstInt32 index, float value) override {
    if (valid(index) && value == value) values_[index] = snapNormalised(table_[index], value);
  }
  float getParameter(VstInt32 index) override {
    return valid(index) ? values_[index].load() : 0.0f;
  }

  // [host thread] Texts within the interface's 8 characters.
  void getParameterName(VstInt32 index, char* text) override {
    copyText(text, valid(index) ? table_[index].name : "", kVstMaxParamStrLen);
  }
  void getParameterLabel(VstInt32 index, char* text) override {
    copyText(text, valid(index) ? table_[index].unit : "", kVstMaxParamStrLen);
  }
  void getParameterDisplay(VstInt32 index, char* text) override {
    if (valid(index))
      formatValue(table_[index], plain(index), text, kVstMaxParamStrLen);
    else
      copyText(text, "", kVstMaxParamStrLen);
  }
  // [any thread] The table the effect was made with (N entries), for an
  // editor that lays itself out from it. Not virtual: adds no slot.
  const ParameterSpec* parameterTable() const { return table_; }

  // [host thread] Text typed by the user, with or without its unit.
  bool string2parameter(VstInt32 index, char* text) override {
    double value = 0.0;
    if (!valid(index) || !parseValue(table_[index], text, value)) return false;
    setParameter(index, toNormalised(table_[index], value));
    return true;
  }

 protected:
  // [any thread] The parameter in its own terms: hertz, decibels, a choice's index.
  double plain(VstInt32 index) const { return valid(index) ? plainOf(index, values_[index]) : 0.0; }
  // [any thread] A decibel parameter as a gain factor (1 at 0 dB).
  float factor(VstInt32 index) const { return static_cast<float>(dbToFactor(plain(index))); }
  // [any thread] A choice's or step's whole number.
  int choice(VstInt32 index) const { return static_cast<int>(plain(index)); }

 private:
  void start() {
    for (VstInt32 i = 0; i < N; ++i) values_[i] = toNormalised(table_[i], table_[i].initial);
  }
  static bool valid(VstInt32 index) { return index >= 0 && index < N; }
  double plainOf(VstInt32 index, float normalised) const {
    return toPlain(table_[index], normalised);
  }
  const ParameterSpec* table_;
  Relaxed<float> values_[N];
};

// Eases a value that would click when it jumps (a gain, a delay time) towards
// its target: a one-pole filter per sample. Real-time safe; processing alone
// uses it.
class Smoother {
 public:
  // [host thread, suspended] The time to get about two thirds of the way
  // (63 %); 0, a negative or NaN time or rate jumps at once.
  void setTime(double seconds, double sampleRate);
  // [audio thread, or resume] Jumps to `value`, e.g. the parameter's current
  // value when processing resumes.
  void reset(float value) { current_ = value == value ? value : 0.0f; }
  // [audio thread] One sample nearer `target`; lands exactly on it once close,
  // so it settles without denormals. A NaN target is ignored.
  float next(float target) {
    if (target != target) return current_;
    const float gap = target - current_, moved = current_ + coefficient_ * gap;
    // Within a millionth, or where a step no longer moves it, it lands.
    current_ = (gap < 1e-6f && gap > -1e-6f) || moved == current_ ? target : moved;
    return current_;
  }
  float current() const { return current_; }

 private:
  float coefficient_ = 1.0f;
  float current_ = 0.0f;
};

}  // namespace vst

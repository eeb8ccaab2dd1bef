// Value-to-text conversions of AudioEffect.
//
// Every number that fits becomes a text of exactly 8 characters, the length of
// a parameter display. Digits are cut, never rounded. None of them allocates.
#include <cfloat>
#include <cmath>

#include "vst/audio_effect.h"
#include "vst/text_copy.h"

namespace {

constexpr VstInt32 kDisplayPositions = 8;

// The character of the integer part of a non-negative x below 10.
char digitOf(double x) { return static_cast<char>('0' + static_cast<int>(x)); }

// Narrows to float without the undefined conversion of a value beyond float's
// range: those become infinities, which print as "Huge!".
float narrowToFloat(double value) {
  if (value > FLT_MAX) return INFINITY;
  if (value < -FLT_MAX) return -INFINITY;
  return static_cast<float>(value);
}

}  // namespace

void AudioEffect::dB2string(float value, char* text, VstInt32 maxLen) {
  if (value <= 0.0f) {
    vst::copyText(text, "-oo", maxLen);
    return;
  }
  float2string(narrowToFloat(20.0 * std::log10(static_cast<double>(value))), text, maxLen);
}

void AudioEffect::Hz2string(float samples, char* text, VstInt32 maxLen) {
  const float rate = getSampleRate();
  float2string(samples == 0.0f ? 0.0f : rate / samples, text, maxLen);
}

void AudioEffect::ms2string(float samples, char* text, VstInt32 maxLen) {
  const double rate = getSampleRate();
  float2string(narrowToFloat(static_cast<double>(samples) * 1000.0 / rate), text, maxLen);
}

void AudioEffect::float2string(float value, char* text, VstInt32 maxLen) {
  const double v = value;
  if (std::isnan(v)) {  // has no digits to show
    vst::copyText(text, "NaN", maxLen);
    return;
  }
  const bool negative = v < 0.0;
  const double magnitude = std::fabs(v);
  if ((negative && magnitude > 9999999.0) || (!negative && magnitude > 99999999.0)) {
    vst::copyText(text, "Huge!", maxLen);
    return;
  }

  // Integer part, right to left: point, units digit, further digits, sign.
  char scratch[32];
  char* start = scratch + sizeof scratch;
  *--start = '\0';
  *--start = '.';
  const double whole = std::floor(magnitude);
  *--start = digitOf(std::fmod(whole, 10.0));
  for (double q = whole / 10.0; q >= 1.0; q /= 10.0) *--start = digitOf(std::fmod(q, 10.0));
  if (negative) *--start = '-';
  const auto positions = static_cast<VstInt32>(scratch + sizeof scratch - 1 - start);

  // A value whose integer part needs more than the 8 positions keeps all its
  // digits, cut to maxLen like any other text, and gets no fraction.
  vst::copyText(text, start, maxLen);
  if (positions >= kDisplayPositions) return;

  // Fraction: as many digits as fill the 8 positions, cut off, not rounded.
  const VstInt32 count = kDisplayPositions - positions;
  char fraction[kDisplayPositions + 1];
  fraction[count] = '\0';
  double m = std::pow(10.0, count) * std::fmod(magnitude, 1.0);
  for (VstInt32 i = count - 1; i >= 0; --i) {
    if (m <= 0.0) {
      fraction[i] = '0';
    } else {
      fraction[i] = digitOf(std::fmod(m, 10.0));
      m /= 10.0;
    }
  }
  vst::appendText(text, fraction, maxLen);
}

void AudioEffect::int2string(VstInt32 value, char* text, VstInt32 maxLen) {
  if (value >= 100000000) {
    vst::copyText(text, "Huge!", maxLen);
    return;
  }
  // The magnitude is taken unsigned, so the most negative value has one too;
  // negative values keep all their digits, up to ten of them.
  uint32_t magnitude = static_cast<uint32_t>(value);
  if (value < 0) {
    vst::copyText(text, "-", maxLen);
    magnitude = 0u - magnitude;
  } else {
    vst::copyText(text, "", maxLen);
  }
  bool started = false;
  for (uint32_t place = 1000000000u; place != 0; place /= 10) {
    const uint32_t digit = magnitude / place;
    magnitude %= place;
    if (!started && digit == 0 && place != 1) continue;
    started = true;
    const char piece[2] = {static_cast<char>('0' + digit), '\0'};
    vst::appendText(text, piece, maxLen);
  }
}

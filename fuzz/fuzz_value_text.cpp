// Fuzz target: the value-to-text conversions with any float or integer, any
// sample rate and any maxLen from -1 to 64. Each text is written into a
// buffer with a guard region behind index maxLen and checked for termination,
// zero fill, an untouched guard, its characters, and for being the first
// maxLen characters of the uncut text.
#include "byte_reader.h"
#include "vst/audio_effect.h"

namespace {

class TextOnlyEffect : public AudioEffect {
 public:
  TextOnlyEffect() : AudioEffect(nullptr, 1, 0) {}
  void processReplacing(float**, float**, VstInt32) override {}
};

constexpr size_t kRoom = 65 + 32;  // maxLen 64 plus its terminator, then the guard
constexpr char kGuard = '\x5A';

void convert(TextOnlyEffect& effect, int kind, float value, VstInt32 integer, char* text,
             VstInt32 maxLen) {
  switch (kind) {
    case 0: effect.dB2string(value, text, maxLen); break;
    case 1: effect.Hz2string(value, text, maxLen); break;
    case 2: effect.ms2string(value, text, maxLen); break;
    case 3: effect.float2string(value, text, maxLen); break;
    default: effect.int2string(integer, text, maxLen); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TextOnlyEffect effect;
  ByteReader in(data, size);
  effect.setSampleRate(44100.0f);
  for (int step = 0; step < 64 && !in.empty(); ++step) {
    const uint8_t choice = in.byte();
    if (choice >= 240) {
      effect.setSampleRate(in.anyFloat());
      continue;
    }
    const int kind = choice % 5;
    const float value = in.anyFloat();
    const VstInt32 integer = in.anyInt();
    const VstInt32 maxLen = static_cast<VstInt32>(in.byte() % 66) - 1;

    char full[kRoom];
    std::memset(full, kGuard, sizeof full);
    convert(effect, kind, value, integer, full, 64);
    FUZZ_CHECK(full[64] == '\0');
    const size_t fullLength = std::strlen(full);
    for (size_t i = 0; i < fullLength; ++i)
      FUZZ_CHECK(std::strchr("0123456789.-Huge!NaNo", full[i]) != nullptr);
    if (kind == 3 && value > -1000000.0f && value < 10000000.0f) FUZZ_CHECK(fullLength == 8);

    char text[kRoom];
    std::memset(text, kGuard, sizeof text);
    convert(effect, kind, value, integer, text, maxLen);
    if (maxLen < 0) {  // nothing at all is written
      for (char c : text) FUZZ_CHECK(c == kGuard);
      continue;
    }
    const size_t limit = static_cast<size_t>(maxLen);
    const size_t length = std::strlen(text);
    FUZZ_CHECK(length == std::min(limit, fullLength));
    FUZZ_CHECK(std::memcmp(text, full, length) == 0);
    for (size_t i = length; i <= limit; ++i) FUZZ_CHECK(text[i] == '\0');
    for (size_t i = limit + 1; i < kRoom; ++i) FUZZ_CHECK(text[i] == kGuard);
  }
  return 0;
}

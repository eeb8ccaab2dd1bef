// The one bounded text copy used wherever the framework or an effect writes
// text into a caller's buffer, and the kinds of text an effect writes, each
// with its limit in characters.
#pragma once

#include <cstring>
#include <type_traits>

#include "vst/dispatcher_opcodes.h"
#include "vst/types.h"

namespace vst {

// A kind of text a host asks for, and the most characters it may have; the
// host's buffer holds one byte more, for the terminating zero.
class TextKind {
 public:
  constexpr explicit TextKind(VstInt32 maxCharacters) noexcept : maxCharacters_(maxCharacters) {}
  constexpr VstInt32 maxCharacters() const noexcept { return maxCharacters_; }

 private:
  VstInt32 maxCharacters_;
};

// Parameter texts: 8 characters, the interface's limit.
inline constexpr TextKind kParameterNameText{kVstMaxParamStrLen};
inline constexpr TextKind kParameterLabelText{kVstMaxParamStrLen};
inline constexpr TextKind kParameterDisplayText{kVstMaxParamStrLen};
inline constexpr TextKind kProgramNameText{kVstMaxProgNameLen};
// Identity texts: 24 characters, which fit the interface's 32-byte effect-name
// and 64-byte vendor and product buffers and the smaller ones some hosts pass.
inline constexpr TextKind kEffectNameText{24};
inline constexpr TextKind kVendorText{24};
inline constexpr TextKind kProductText{24};

// A limit in characters: a number, or a text's kind. kVstMaxEffectNameLen,
// kVstMaxVendorStrLen, kVstMaxProductStrLen and kVstMaxNameLen are buffer
// sizes in bytes, terminator included: as a character limit they would write
// one byte past the host's buffer, so they are refused at compile time; name
// the text's kind instead.
class TextLimit {
 public:
  constexpr TextLimit(VstInt32 maxCharacters) noexcept  // NOLINT: a number converts
      : maxCharacters_(maxCharacters) {}
  constexpr TextLimit(TextKind kind) noexcept  // NOLINT: a kind converts
      : maxCharacters_(kind.maxCharacters()) {}
  template <typename Size,
            typename std::enable_if<std::is_same<Size, VstTextBufferSize>::value, int>::type = 0>
  TextLimit(Size) noexcept : maxCharacters_(-1) {
    static_assert(!std::is_same<Size, Size>::value,
                  "a buffer size in bytes is no character limit: pass the text's kind "
                  "(vst::kEffectNameText, vst::kVendorText, vst::kProductText)");
  }
  constexpr VstInt32 maxCharacters() const noexcept { return maxCharacters_; }

 private:
  VstInt32 maxCharacters_;
};

// Copies at most `limit` characters of `source` into `text`, fills the rest of
// the first `limit` bytes with zero bytes and writes a zero byte at index
// `limit`: exactly `limit` + 1 bytes, nothing beyond. A null `text` or a
// negative limit writes nothing; a null `source` counts as the empty text.
inline void copyText(char* text, const char* source, TextLimit limit) noexcept {
  const VstInt32 maxLen = limit.maxCharacters();
  if (text == nullptr || maxLen < 0) return;
  VstInt32 length = 0;
  if (source != nullptr) {
    while (length < maxLen && source[length] != '\0') ++length;
    std::memcpy(text, source, static_cast<std::size_t>(length));
  }
  std::memset(text + length, 0, static_cast<std::size_t>(maxLen - length) + 1);
}

// Appends as much of `source` to the terminated text in `text` as keeps it
// within `limit` characters, then zero-fills through index `limit`.
inline void appendText(char* text, const char* source, TextLimit limit) noexcept {
  const VstInt32 maxLen = limit.maxCharacters();
  if (text == nullptr || maxLen < 0) return;
  VstInt32 length = 0;
  while (length < maxLen && text[length] != '\0') ++length;
  copyText(text + length, source, maxLen - length);
}

}  // namespace vst

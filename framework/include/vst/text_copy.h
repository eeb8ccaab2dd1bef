// The one bounded text copy used wherever the framework or an effect writes
// text into a caller's buffer.
#pragma once

#include <cstring>

#include "vst/types.h"

namespace vst {

// Copies at most `maxLen` characters of `source` into `text`, fills the rest of
// the first `maxLen` bytes with zero bytes and writes a zero byte at index
// `maxLen`: exactly `maxLen` + 1 bytes, nothing beyond. A null `text` or a
// negative `maxLen` writes nothing; a null `source` counts as the empty text.
inline void copyText(char* text, const char* source, VstInt32 maxLen) noexcept {
  if (text == nullptr || maxLen < 0) return;
  VstInt32 length = 0;
  if (source != nullptr) {
    while (length < maxLen && source[length] != '\0') ++length;
    std::memcpy(text, source, static_cast<std::size_t>(length));
  }
  std::memset(text + length, 0, static_cast<std::size_t>(maxLen - length) + 1);
}

// Appends as much of `source` to the terminated text in `text` as keeps it
// within `maxLen` characters, then zero-fills through index `maxLen`.
inline void appendText(char* text, const char* source, VstInt32 maxLen) noexcept {
  if (text == nullptr || maxLen < 0) return;
  VstInt32 length = 0;
  while (length < maxLen && text[length] != '\0') ++length;
  copyText(text + length, source, maxLen - length);
}

}  // namespace vst

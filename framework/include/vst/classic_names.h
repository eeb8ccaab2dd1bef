// The text helpers under the names effects written for the classic effect API
// call them by: vst_strncpy and vst_strncat, the bounded copy and append.
// Kept out of vst/framework.h, so new code keeps the typed text kinds of
// vst/text_copy.h (which refuse a buffer size in bytes as a character limit);
// a module made with vst_add_module(... FRAMEWORK_HEADERS <name>) gets this
// header through the one it generates.
//
// Both take the limit as a plain number, as classic code passes it, the
// byte-size constants (kVstMaxEffectNameLen, kVstMaxProductStrLen, ...)
// included: the caller answers for the buffer holding maxLen + 1 bytes.
#pragma once

#include "vst/text_copy.h"
#include "vst/types.h"

// Copies at most `maxLen` characters of `src` into `dst`, fills the rest of the
// first `maxLen` bytes with zero bytes and writes a zero byte at index `maxLen`:
// exactly `maxLen` + 1 bytes. A null `dst` or a negative `maxLen` writes
// nothing; a null `src` counts as the empty text. Returns `dst`.
inline char* vst_strncpy(char* dst, const char* src, VstInt32 maxLen) noexcept {
  vst::copyText(dst, src, maxLen);
  return dst;
}

// Appends as much of `src` to the terminated text in `dst` as keeps it within
// `maxLen` characters, then zero-fills through index `maxLen` (a text already
// longer than `maxLen` is cut there). A null `dst` or a negative `maxLen`
// writes nothing. Returns `dst`.
inline char* vst_strncat(char* dst, const char* src, VstInt32 maxLen) noexcept {
  vst::appendText(dst, src, maxLen);
  return dst;
}

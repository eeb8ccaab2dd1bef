// The classic helper names' bounds: what classic code passes them must never
// write past maxLen + 1 bytes.
#include "vst/classic_names.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// An 80-byte buffer filled with '#', to see how far a helper wrote.
struct Marked {
  char bytes[80];
  Marked() { std::memset(bytes, '#', sizeof bytes); }
  // How many bytes from the start were written (are no longer '#').
  std::size_t written() const {
    std::size_t last = 0;
    for (std::size_t i = 0; i < sizeof bytes; ++i)
      if (bytes[i] != '#') last = i + 1;
    return last;
  }
};

// At most maxLen characters, then zeros through index maxLen and nothing past
// it, also with the byte-size constants passed as plain numbers, as classic
// code passes them; append keeps the text already there. Null and negative
// write nothing.
TEST(ClassicNames, CopyAndAppendWriteExactlyMaxLenPlusOneBytes) {
  Marked name, vendor, label, negative;
  EXPECT_EQ(vst_strncpy(name.bytes, "A rather long effect name, over 31", kVstMaxEffectNameLen - 1),
            name.bytes);
  EXPECT_STREQ(name.bytes, "A rather long effect name, over");
  EXPECT_EQ(name.written(), 32u);
  vst_strncpy(vendor.bytes, "Short", kVstMaxVendorStrLen);
  EXPECT_STREQ(vendor.bytes, "Short");
  EXPECT_EQ(vendor.written(), 65u) << "zero-filled through index 64";

  vst_strncpy(label.bytes, "dB", kVstMaxParamStrLen);
  EXPECT_EQ(vst_strncat(label.bytes, " gain", kVstMaxParamStrLen), label.bytes);
  EXPECT_STREQ(label.bytes, "dB gain");
  vst_strncat(label.bytes, " and more", kVstMaxParamStrLen);
  EXPECT_STREQ(label.bytes, "dB gain ");
  EXPECT_EQ(label.written(), 9u);
  vst_strncat(label.bytes, "x", 3);
  EXPECT_STREQ(label.bytes, "dB ") << "a longer text is cut at maxLen";

  EXPECT_EQ(vst_strncpy(nullptr, "x", 8), nullptr);
  EXPECT_EQ(vst_strncat(nullptr, "x", 8), nullptr);
  vst_strncpy(negative.bytes, "x", -1);
  vst_strncat(negative.bytes, "x", -5);
  EXPECT_EQ(negative.written(), 0u);
  vst_strncpy(negative.bytes, nullptr, 2);
  EXPECT_EQ(negative.bytes[0], '\0');
  EXPECT_EQ(negative.written(), 3u);
}

}  // namespace

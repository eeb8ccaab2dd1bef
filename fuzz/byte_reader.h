// Turns a fuzzer's byte stream into the values a hostile host might send:
// edge values of each type far more often than a uniform draw would give them.
#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "vst/types.h"

// Reports a broken property and stops the run so the fuzzer records the input.
#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool empty() const { return position_ >= size_; }

  // The next byte; 0 once the stream is used up.
  uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }

  // The next sizeof(T) bytes as a T, zero-padded at the end of the stream.
  template <typename T>
  T raw() {
    unsigned char bytes[sizeof(T)] = {};
    for (auto& b : bytes) b = byte();
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
  }

  // Any float: the awkward ones (NaN, infinities, subnormals, signed zeros,
  // the extremes) or arbitrary bits.
  float anyFloat() {
    static const float kEdges[] = {0.0f,     -0.0f,   1.0f,     -1.0f,     0.5f,     0.25f,
                                   0.75f,    1.25f,   -0.25f,   1e38f,     -1e38f,   FLT_MAX,
                                   -FLT_MAX, FLT_MIN, 1e-45f,   -1e-45f,   INFINITY, -INFINITY,
                                   NAN,      -NAN,    44100.0f, 882000.0f, 1e9f,     2147483648.0f};
    const uint8_t choice = byte();
    if (choice < 128) return kEdges[choice % (sizeof kEdges / sizeof kEdges[0])];
    if (choice < 192) return static_cast<float>(byte()) / 255.0f;  // the normal range
    return raw<float>();
  }

  // Any 32-bit integer, edges first.
  VstInt32 anyInt() {
    static const VstInt32 kEdges[] = {0,
                                      1,
                                      -1,
                                      2,
                                      3,
                                      4,
                                      8,
                                      24,
                                      64,
                                      44100,
                                      44101,
                                      65536,
                                      std::numeric_limits<VstInt32>::min(),
                                      std::numeric_limits<VstInt32>::max(),
                                      100000000,
                                      -100000000,
                                      19173961,
                                      19173962};
    const uint8_t choice = byte();
    if (choice < 128) return kEdges[choice % (sizeof kEdges / sizeof kEdges[0])];
    return raw<VstInt32>();
  }

  // Any pointer-sized integer: small, the 32-bit edges widened, or arbitrary bits.
  VstIntPtr anyIntPtr() {
    const uint8_t choice = byte();
    if (choice < 96) return anyInt();
    if (choice < 128) return (VstIntPtr(1) << 32) + (choice & 7);
    return raw<VstIntPtr>();
  }

  // A short text of arbitrary bytes, terminated.
  std::string text() {
    std::string out(byte() % 80, '\0');
    for (char& c : out) c = static_cast<char>(byte() | 1);  // no early zero byte
    return out;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// The byte layout of program and bank files, shared by their writer and
// their reader: the forms' four-character codes, the offsets of the fields,
// the largest file, and the texts errors name codes with.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "vst/host.h"
#include "vst/program_file.h"

namespace host {
namespace program_file {

constexpr VstInt32 fourCC(char a, char b, char c, char d) {
  return static_cast<VstInt32>((static_cast<uint32_t>(static_cast<unsigned char>(a)) << 24) |
                               (static_cast<uint32_t>(static_cast<unsigned char>(b)) << 16) |
                               (static_cast<uint32_t>(static_cast<unsigned char>(c)) << 8) |
                               static_cast<uint32_t>(static_cast<unsigned char>(d)));
}

constexpr VstInt32 kChunkMagic = fourCC('C', 'c', 'n', 'K');
constexpr VstInt32 kProgramParameters = fourCC('F', 'x', 'C', 'k');
constexpr VstInt32 kProgramChunk = fourCC('F', 'P', 'C', 'h');
constexpr VstInt32 kBankParameters = fourCC('F', 'x', 'B', 'k');
constexpr VstInt32 kBankChunk = fourCC('F', 'B', 'C', 'h');
constexpr VstInt32 kFormatVersion = 1;

// The header: chunk magic, byte size, form magic, version, unique ID, the
// effect's version; byteSize counts everything after its own field.
constexpr size_t kByteSizeEnd = 8;
static_assert(kProgramFileHeaderSize == 7 * 4,
              "header: six 32-bit fields and the count after them");
// A parameter program: header with its count, the name, then the values.
constexpr size_t kProgramValuesOffset = kProgramFileHeaderSize + kProgramFileNameSize;
static_assert(kProgramValuesOffset == 56, "a parameter program's first value");
// A chunk program: header with its count, the name, the chunk's size, the chunk.
constexpr size_t kProgramChunkOffset = kProgramValuesOffset + 4;
static_assert(kProgramChunkOffset == 60, "a program chunk's first byte");
// A bank: header with its count, the reserved bytes, then the programs or the
// chunk's size and the chunk.
constexpr size_t kBankContentOffset = kProgramFileHeaderSize + kProgramFileReservedSize;
static_assert(kBankContentOffset == 156, "a bank's first program");
static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559,
              "values are stored as IEEE single-precision floats");

// The largest file this writes or reads: byteSize is a signed 32-bit count.
constexpr uint64_t kMaxFileSize = static_cast<uint64_t>(std::numeric_limits<VstInt32>::max()) + 8;

inline std::string hex(VstInt32 code) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = 28; shift >= 0; shift -= 4)
    text += digits[(static_cast<uint32_t>(code) >> shift) & 0xF];
  return text;
}

inline std::string idText(VstInt32 id) { return "'" + fourChars(id) + "' (" + hex(id) + ")"; }

// An effect's text inside an error: control characters would break its line.
inline std::string oneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text;
}

inline std::string plural(uint64_t count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace program_file
}  // namespace host

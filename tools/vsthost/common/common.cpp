// Loading a module and naming what its record holds.
#include "common/common.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vsthost {

std::unique_ptr<host::LoadedPlugin> load(const std::string& path) {
  auto loaded = std::make_unique<host::LoadedPlugin>();
  loaded->host.setRecording(false);
  std::string error;
  if (!loaded->load(path, error)) throw Error(error);
  return loaded;
}

std::vector<std::string> flagNames(VstInt32 flags) {
  static const char* const names[] = {
      "HasEditor",         "HasClip",       "HasVu",      "CanMono",
      "CanReplacing",      "ProgramChunks", nullptr,      nullptr,
      "IsSynth",           "NoSoundInStop", "ExtIsAsync", "ExtHasBuffer",
      "CanDoubleReplacing"};
  std::vector<std::string> result;
  for (int bit = 0; bit < 32; ++bit) {
    if ((static_cast<uint32_t>(flags) & (1u << bit)) == 0) continue;
    const bool known = bit < static_cast<int>(sizeof names / sizeof names[0]) && names[bit];
    result.push_back(known ? names[bit] : "bit " + std::to_string(bit));
  }
  return result;
}

std::string categoryName(VstIntPtr category) {
  static const char* const names[] = {"Unknown",     "Effect",         "Synth",  "Analysis",
                                      "Mastering",   "Spacializer",    "RoomFx", "SurroundFx",
                                      "Restoration", "OfflineProcess", "Shell",  "Generator"};
  if (category >= 0 && category < static_cast<VstIntPtr>(sizeof names / sizeof names[0]))
    return names[category];
  return "category " + std::to_string(category);
}

std::string printable(const std::string& text) {
  std::string result;
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      result += byte >= 0x20 && byte != 0x7F ? text[i] : '?';
      ++i;
      continue;
    }
    // A UTF-8 sequence: a lead byte and 1 to 3 continuation bytes.
    size_t length = byte >= 0xF0 && byte < 0xF5   ? 4
                    : byte >= 0xE0                ? 3
                    : byte >= 0xC2 && byte < 0xE0 ? 2
                                                  : 0;
    if (byte >= 0xF5) length = 0;
    bool valid = length > 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k)
      valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    if (valid) {
      result.append(text, i, length);
      i += length;
    } else {
      result += '?';
      ++i;
    }
  }
  return result;
}

bool readWholeFile(const std::string& path, std::string& text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::stringstream contents;
  contents << file.rdbuf();
  text = contents.str();
  return true;
}

std::pair<int, int> timeSignature(const std::string& text) {
  const std::string error = "time signature '" + text +
                            "' is not N/D (beats per bar 1 to 64, a note value 1, 2, 4, 8, 16, "
                            "32 or 64; e.g. 6/8)";
  const size_t slash = text.find('/');
  const auto whole = [&](const std::string& part) {
    if (part.empty() || part.size() > 2 ||
        part.find_first_not_of("0123456789") != std::string::npos)
      throw Error(error);
    return std::atoi(part.c_str());
  };
  if (slash == std::string::npos) throw Error(error);
  const int numerator = whole(text.substr(0, slash)), denominator = whole(text.substr(slash + 1));
  if (numerator < 1 || numerator > 64 || denominator < 1 || denominator > 64 ||
      (denominator & (denominator - 1)) != 0)
    throw Error(error);
  return {numerator, denominator};
}

}  // namespace vsthost

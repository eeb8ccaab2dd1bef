// Fuzz target: any bytes loaded as a program or bank file into an effect with
// three programs of one parameter, keeping its state in parameters or in
// chunks (the first byte chooses, and whether another plug-in's file is
// forced). The file sits in a buffer of exactly its size, so a read past it
// is the sanitizer's; the effect checks every call it gets (a program in
// range, a name that fits its buffer, values from 0 to 1, a chunk it can read
// whole), and a load that fails must leave its state as it was.
#include <cstring>
#include <vector>

#include "byte_reader.h"
#include "vst/program_file.h"

namespace {

struct Effect {
  static constexpr int kPrograms = 3;
  AEffect record{};
  int current = 0;
  float values[kPrograms] = {0.1f, 0.2f, 0.3f};
  char names[kPrograms][kVstMaxProgNameLen + 1] = {};
  std::vector<unsigned char> chunk;

  explicit Effect(bool chunks) {
    record.magic = kEffectMagic;
    record.object = this;
    record.dispatcher = dispatch;
    record.setParameter = [](AEffect* e, VstInt32 index, float value) {
      FUZZ_CHECK(index == 0 && value >= 0.0f && value <= 1.0f);
      self(e).values[self(e).current] = value;
    };
    record.getParameter = [](AEffect* e, VstInt32) { return self(e).values[self(e).current]; };
    record.numPrograms = kPrograms;
    record.numParams = 1;
    record.flags = chunks ? effFlagsProgramChunks : 0;
    record.uniqueID = VST_FOUR_CHARS('b', 'r', 'k', 'n');
  }
  static Effect& self(AEffect* e) { return *static_cast<Effect*>(e->object); }
  static VstIntPtr dispatch(AEffect* e, VstInt32 opcode, VstInt32, VstIntPtr value, void* ptr,
                            float) {
    Effect& fx = self(e);
    switch (opcode) {
      case effSetProgram:
        FUZZ_CHECK(value >= 0 && value < kPrograms);
        fx.current = static_cast<int>(value);
        return 0;
      case effGetProgram: return fx.current;
      case effSetProgramName:
        FUZZ_CHECK(ptr != nullptr && std::strlen(static_cast<char*>(ptr)) <= kVstMaxProgNameLen);
        std::strcpy(fx.names[fx.current], static_cast<char*>(ptr));
        return 0;
      case effGetProgramName: std::strcpy(static_cast<char*>(ptr), fx.names[fx.current]); return 0;
      case effSetChunk: {
        FUZZ_CHECK((fx.record.flags & effFlagsProgramChunks) != 0 && value >= 0);
        FUZZ_CHECK(value == 0 || ptr != nullptr);
        const auto* bytes = static_cast<const unsigned char*>(ptr);
        fx.chunk.assign(bytes, bytes + value);  // every byte it was promised
        return 0;
      }
      default: return 0;
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t choice = data[0];
  std::vector<unsigned char> file(data + 1, data + size);
  host::Host host;
  Effect effect((choice & 1) != 0);
  host::Plugin plugin(host, &effect.record);
  host::ProgramFileLoadOptions options;
  options.force = (choice & 2) != 0;
  std::string error;
  // A copy on the heap of exactly the file's size: nothing behind it to read.
  std::unique_ptr<unsigned char[]> exact(new unsigned char[file.size() + (file.empty() ? 1 : 0)]);
  if (!file.empty()) std::memcpy(exact.get(), file.data(), file.size());
  const bool loaded = host::loadProgramState(plugin, exact.get(), file.size(), options, error);
  if (!loaded) {
    FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos);
    const Effect untouched((choice & 1) != 0);
    FUZZ_CHECK(std::memcmp(effect.values, untouched.values, sizeof effect.values) == 0);
    FUZZ_CHECK(std::memcmp(effect.names, untouched.names, sizeof effect.names) == 0);
    FUZZ_CHECK(effect.chunk.empty() && effect.current == 0);
  } else {
    FUZZ_CHECK(effect.current == 0);  // the current program is put back after a bank
  }
  // Whatever was loaded saves and loads back the same.
  std::vector<unsigned char> saved;
  for (auto kind : {host::ProgramFileKind::kProgram, host::ProgramFileKind::kBank}) {
    FUZZ_CHECK(host::saveProgramState(plugin, kind, saved, error));
    FUZZ_CHECK(host::loadProgramState(plugin, saved.data(), saved.size(), {}, error));
  }
  plugin.close();
  return 0;
}

// Program and bank files: the bytes written are the big-endian layout worked
// out by hand, all four forms come back as they went out, every malformed
// file is refused with its own line and leaves the effect as it was, and a
// file of another plug-in loads only when forced.
#include "vst/program_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// An effect with three programs of two parameters each, kept in its record's
// object; with `chunks` it keeps its state in chunks: a program chunk is the
// current program's values, a bank chunk every program's.
struct ProgramEffect {
  static constexpr int kPrograms = 3, kParams = 2;
  AEffect record{};
  int current = 0;
  float values[kPrograms][kParams] = {};
  char names[kPrograms][kVstMaxProgNameLen + 1] = {};
  std::vector<float> chunk;
  bool nullChunk = false;  // answers a size with a null pointer

  explicit ProgramEffect(bool chunks, VstInt32 id = VST_FOUR_CHARS('A', 'b', 'C', 'd')) {
    record.magic = kEffectMagic;
    record.object = this;
    record.dispatcher = dispatch;
    record.setParameter = [](AEffect* e, VstInt32 i, float v) {
      self(e).values[self(e).current][i] = v;
    };
    record.getParameter = [](AEffect* e, VstInt32 i) { return self(e).values[self(e).current][i]; };
    record.numPrograms = kPrograms;
    record.numParams = kParams;
    record.flags = chunks ? effFlagsProgramChunks : 0;
    record.uniqueID = id;
    record.version = 0x01020304;
  }
  static ProgramEffect& self(AEffect* e) { return *static_cast<ProgramEffect*>(e->object); }
  static VstIntPtr dispatch(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                            float) {
    ProgramEffect& fx = self(e);
    switch (opcode) {
      case effSetProgram: fx.current = static_cast<int>(value); return 0;
      case effGetProgram: return fx.current;
      case effSetProgramName:
        std::snprintf(fx.names[fx.current], sizeof fx.names[0], "%s", static_cast<char*>(ptr));
        return 0;
      case effGetProgramName: std::strcpy(static_cast<char*>(ptr), fx.names[fx.current]); return 0;
      case effGetParamName: std::snprintf(static_cast<char*>(ptr), 9, "P%d", index); return 0;
      case effGetChunk: {
        const float* from = index ? fx.values[fx.current] : fx.values[0];
        fx.chunk.assign(from, from + (index ? kParams : kPrograms * kParams));
        *static_cast<void**>(ptr) = fx.nullChunk ? nullptr : fx.chunk.data();
        return static_cast<VstIntPtr>(fx.chunk.size() * sizeof(float));
      }
      case effSetChunk: {
        float* to = index ? fx.values[fx.current] : fx.values[0];
        const size_t want = (index ? kParams : kPrograms * kParams) * sizeof(float);
        if (static_cast<size_t>(value) == want) std::memcpy(to, ptr, want);
        return 0;
      }
      default: return 0;
    }
  }
  void fill(float base) {
    for (int p = 0; p < kPrograms; ++p) {
      for (int i = 0; i < kParams; ++i) values[p][i] = base + 0.1f * static_cast<float>(p + i);
      std::snprintf(names[p], sizeof names[p], "Program %d", p);
    }
  }
};

struct Instance {
  host::Host host;
  ProgramEffect effect;
  host::Plugin plugin;
  explicit Instance(bool chunks, VstInt32 id = VST_FOUR_CHARS('A', 'b', 'C', 'd'))
      : effect(chunks, id), plugin(host, &effect.record) {}
  ~Instance() { plugin.close(); }
};

Bytes save(host::Plugin& plugin, host::ProgramFileKind kind) {
  Bytes bytes;
  std::string error;
  EXPECT_TRUE(host::saveProgramState(plugin, kind, bytes, error)) << error;
  return bytes;
}

std::string load(host::Plugin& plugin, const Bytes& bytes, bool force = false,
                 host::ProgramFileProblem* problem = nullptr) {
  std::string error;
  host::ProgramFileLoadOptions options;
  options.force = force;
  return host::loadProgramState(plugin, bytes.data(), bytes.size(), options, error, problem)
             ? ""
             : error;
}

void put32(Bytes& bytes, size_t at, uint32_t value) {
  if (bytes.size() < at + 4) bytes.resize(at + 4);
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<size_t>(i)] = (value >> (24 - 8 * i)) & 0xFF;
}

TEST(ProgramFile, WritesTheBigEndianLayout) {
  Instance fx(false);
  fx.effect.current = 1;
  fx.effect.values[1][0] = 0.5f;
  fx.effect.values[1][1] = 1.0f;
  std::strcpy(fx.effect.names[1], "Warm");
  Bytes expected = {'C', 'c', 'n', 'K', 0, 0, 0, 56,  // byteSize: 64 - 8
                    'F', 'x', 'C', 'k', 0, 0, 0, 1,   // form, format version 1
                    'A', 'b', 'C', 'd', 1, 2, 3, 4,   // unique ID, effect version
                    0,   0,   0,   2,                 // parameters
                    'W', 'a', 'r', 'm'};              // the name, zero-padded to 28 bytes
  expected.resize(56, 0);
  expected.insert(expected.end(), {0x3F, 0, 0, 0, 0x3F, 0x80, 0, 0});  // 0.5f, 1.0f
  EXPECT_EQ(save(fx.plugin, host::ProgramFileKind::kProgram), expected);

  // A chunk bank: header, program count, 128 reserved zero bytes, the
  // chunk's size at 156 and its bytes from 160.
  Instance chunky(true);
  const Bytes bank = save(chunky.plugin, host::ProgramFileKind::kBank);
  ASSERT_EQ(bank.size(), 160u + 24u);
  EXPECT_EQ(Bytes(bank.begin() + 4, bank.begin() + 12), (Bytes{0, 0, 0, 176, 'F', 'B', 'C', 'h'}));
  EXPECT_EQ(Bytes(bank.begin() + 24, bank.begin() + 28), (Bytes{0, 0, 0, 3}));
  EXPECT_EQ(Bytes(bank.begin() + 28, bank.begin() + 156), Bytes(128, 0));
  EXPECT_EQ(Bytes(bank.begin() + 156, bank.begin() + 160), (Bytes{0, 0, 0, 24}));
}

TEST(ProgramFile, EveryFormComesBackAsItWentOut) {
  for (bool chunks : {false, true}) {
    SCOPED_TRACE(chunks ? "chunks" : "parameters");
    Instance from(chunks), to(chunks);
    from.effect.fill(0.2f);
    from.effect.current = 2;
    std::strcpy(from.effect.names[2], "A name of exactly 24 chr");

    // A program goes into the current program, name and values.
    to.effect.current = 1;
    ASSERT_EQ(load(to.plugin, save(from.plugin, host::ProgramFileKind::kProgram)), "");
    EXPECT_EQ(to.effect.values[1][0], from.effect.values[2][0]);
    EXPECT_EQ(to.effect.values[1][1], from.effect.values[2][1]);
    EXPECT_STREQ(to.effect.names[1], from.effect.names[2]);
    EXPECT_EQ(to.effect.values[0][0], 0.0f) << "another program changed";

    // A bank restores every program, and the current program stays current
    // on both sides.
    const Bytes bank = save(from.plugin, host::ProgramFileKind::kBank);
    EXPECT_EQ(from.effect.current, 2);
    ASSERT_EQ(load(to.plugin, bank), "");
    EXPECT_EQ(to.effect.current, 1);
    EXPECT_EQ(std::memcmp(to.effect.values, from.effect.values, sizeof to.effect.values), 0);
    if (!chunks) {
      EXPECT_STREQ(to.effect.names[0], "Program 0");
    }
  }

  // An effect's chunk that claims bytes at no address is refused, not read.
  Instance broken(true);
  broken.effect.nullChunk = true;
  Bytes bytes;
  std::string error;
  EXPECT_FALSE(
      host::saveProgramState(broken.plugin, host::ProgramFileKind::kProgram, bytes, error));
  EXPECT_EQ(error, "the effect answered a program chunk of 8 bytes at a null address");
}

TEST(ProgramFile, AGainModuleRoundTripsThroughFiles) {
  host::LoadedPlugin first, second;
  std::string error;
  ASSERT_TRUE(first.load(GAIN_MODULE, error)) << error;
  ASSERT_TRUE(second.load(GAIN_MODULE, error)) << error;
  first.plugin->open();
  second.plugin->open();
  first.plugin->setParameter(0, 0.25f);
  const std::string path = ::testing::TempDir() + "program_file_test_gain.fxb";
  for (auto kind : {host::ProgramFileKind::kProgram, host::ProgramFileKind::kBank}) {
    ASSERT_TRUE(host::saveProgramFile(*first.plugin, kind, path, error)) << error;
    second.plugin->setParameter(0, 1.0f);
    ASSERT_TRUE(host::loadProgramFile(*second.plugin, path, {}, error)) << error;
    EXPECT_EQ(second.plugin->getParameter(0), 0.25f);
  }
  std::remove(path.c_str());
  EXPECT_FALSE(host::loadProgramFile(*second.plugin, path, {}, error));
  EXPECT_EQ(error, path + ": cannot open");
}

TEST(ProgramFile, MalformedFilesAreOneLineAndChangeNothing) {
  Instance fx(false);
  fx.effect.fill(0.3f);
  const Bytes program = save(fx.plugin, host::ProgramFileKind::kProgram);  // 64 bytes
  const Bytes bank = save(fx.plugin, host::ProgramFileKind::kBank);        // 156 + 3 * 64
  Instance chunky(true);
  const Bytes chunkProgram = save(chunky.plugin, host::ProgramFileKind::kProgram);  // 60 + 8

  const auto with = [](Bytes bytes, size_t at, uint32_t value) {
    put32(bytes, at, value);
    return bytes;
  };
  const auto cut = [](Bytes bytes, size_t size) {
    bytes.resize(size);
    put32(bytes, 4, static_cast<uint32_t>(size - 8));
    return bytes;
  };
  Bytes longer = with(program, 24, 3);
  longer.insert(longer.end(), {0x3F, 0, 0, 0});
  put32(longer, 4, static_cast<uint32_t>(longer.size() - 8));
  Bytes trailing = program;
  trailing.insert(trailing.end(), 4, 0);
  const struct {
    const char* what;
    Bytes bytes;
    const char* error;
  } cases[] = {
      {"empty", {}, "truncated: the header at byte 0 needs 28 bytes, 0 left"},
      {"magic", with(program, 0, 0x52494646), "not a program or bank file: starts with 'RIFF'"},
      {"form", with(program, 8, 0x46784378), "unknown form 'FxCx' (0x46784378) at byte 8"},
      {"version", with(program, 12, 7), "unknown format version 7 at byte 12"},
      {"size past the end", with(program, 4, 57), "truncated: the byte size at byte 4 claims 57"},
      {"size inside the header", with(program, 4, 3), "the byte size at byte 4 is 3, less than"},
      {"negative count", with(program, 24, 0xFFFFFFFF), "negative parameter count -1 at byte 24"},
      {"values cut", cut(program, 60), "truncated: the 2 parameter values at byte 56 needs 8"},
      {"name cut", cut(program, 40), "truncated: the program name at byte 28 needs 28"},
      {"fewer parameters", cut(with(program, 24, 1), 60),
       "holds 1 parameter, the effect has 2: "
       "missing 1 'P1'"},
      {"more parameters", longer, "holds 3 parameters, the effect has only 2"},
      {"not a number", with(program, 56, 0x7FC00000), "parameter 0 at byte 56 is not a number"},
      {"out of range", with(program, 60, 0x40000000), "parameter 1 at byte 60 is 2.0"},
      {"chunk past the end", with(chunkProgram, 56, 9), "the chunk size at byte 56 claims 9"},
      {"negative chunk", with(chunkProgram, 56, 0x80000000), "negative chunk size -2147483648"},
      {"chunk into parameters", chunkProgram, "the file holds an opaque chunk, but the effect"},
      {"programs past the end", with(bank, 24, 0x7FFFFFFF), "2147483647 programs claimed, 192"},
      {"fewer programs than held", with(bank, 24, 2),
       "64 bytes after the end of the bank, at "
       "byte 284"},
      {"bytes past the size", trailing,
       "4 bytes after the end of the 56 bytes the header's "
       "byte size gives, at byte 64"},
      {"program form", with(bank, 156 + 64 + 8, 0x46504368), "program 1 at byte 220 is 'FPCh'"},
      {"program size", with(bank, 156 + 4, 1000),
       "program 0: truncated: the byte size at byte "
       "160 claims 1000"},
      {"program's plug-in", with(bank, 156 + 16, 0x58585858),
       "program 0 at byte 156 is made "
       "for 'XXXX'"},
  };
  for (const auto& c : cases) {
    const std::string error = load(fx.plugin, c.bytes);
    EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << c.what;
  }
  // A bank of four programs into an effect of three, well formed otherwise.
  Bytes four = with(bank, 24, 4);
  four.insert(four.end(), bank.begin() + 156, bank.begin() + 220);
  put32(four, 4, static_cast<uint32_t>(four.size() - 8));
  EXPECT_EQ(load(fx.plugin, four), "the bank holds 4 programs, the effect has only 3");
  // None of them changed a value or a name.
  Instance untouched(false);
  untouched.effect.fill(0.3f);
  EXPECT_EQ(std::memcmp(fx.effect.values, untouched.effect.values, sizeof fx.effect.values), 0);
  EXPECT_EQ(std::memcmp(fx.effect.names, untouched.effect.names, sizeof fx.effect.names), 0);
}

TEST(ProgramFile, AnotherPluginsFileLoadsOnlyWhenForced) {
  Instance other(false, VST_FOUR_CHARS('Z', 'z', 'Z', 'z')), fx(false);
  other.effect.values[0][0] = 0.75f;
  const Bytes program = save(other.plugin, host::ProgramFileKind::kProgram);
  host::ProgramFileProblem problem = host::ProgramFileProblem::kNone;
  EXPECT_EQ(load(fx.plugin, program, false, &problem),
            "made for the plug-in 'ZzZz' (0x5A7A5A7A), not this one, 'AbCd' (0x41624364)");
  EXPECT_EQ(problem, host::ProgramFileProblem::kOtherPlugin);
  EXPECT_EQ(fx.effect.values[0][0], 0.0f);
  EXPECT_EQ(load(fx.plugin, program, true, &problem), "");
  EXPECT_EQ(problem, host::ProgramFileProblem::kNone);
  EXPECT_EQ(fx.effect.values[0][0], 0.75f);
}

}  // namespace

// The built module, driven the way a host drives it: the exported entry, the
// record's fields and its six functions.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "plugin_test.h"
#include "vst/host.h"

namespace {

std::unique_ptr<host::Module> loadModule() {
  std::string error;
  auto module = host::Module::load(ORSOLANE_MODULE, error);
  EXPECT_TRUE(module) << error;
  return module;
}

class ModuleTest : public PluginTest {
 protected:
  ModuleTest() : PluginTest(ORSOLANE_MODULE) {}
};

TEST_F(ModuleTest, RecordHoldsTheEffectsSettings) {
  const AEffect* record = plugin->record();
  EXPECT_EQ(record->magic, 0x56737450);
  EXPECT_EQ(record->numPrograms, 1);
  EXPECT_EQ(record->numParams, 3);
  EXPECT_EQ(record->numInputs, 2);
  EXPECT_EQ(record->numOutputs, 2);
  EXPECT_EQ(record->flags, 0x10);
  EXPECT_EQ(record->initialDelay, 0);
  EXPECT_EQ(record->realQualities, 0);
  EXPECT_EQ(record->offQualities, 0);
  EXPECT_EQ(record->ioRatio, 1.0f);
  EXPECT_NE(record->object, nullptr);
  EXPECT_EQ(record->uniqueID, 0x76717A78);
  EXPECT_EQ(record->version, 1);
  EXPECT_EQ(record->resvd1, 0);
  EXPECT_EQ(record->resvd2, 0);
  for (auto function : {reinterpret_cast<const void*>(record->dispatcher),
                        reinterpret_cast<const void*>(record->process),
                        reinterpret_cast<const void*>(record->setParameter),
                        reinterpret_cast<const void*>(record->getParameter),
                        reinterpret_cast<const void*>(record->processReplacing),
                        reinterpret_cast<const void*>(record->processDoubleReplacing)})
    EXPECT_NE(function, nullptr);
  const auto* bytes = reinterpret_cast<const unsigned char*>(record);
  for (size_t offset : {4, 5, 6, 7, 60, 61, 62, 63}) EXPECT_EQ(bytes[offset], 0) << offset;
  for (size_t offset = 136; offset < 192; ++offset) EXPECT_EQ(bytes[offset], 0) << offset;
}

TEST(ModuleEntry, VersionAnswerDecidesWhetherAnInstanceIsMade) {
  auto module = loadModule();
  ASSERT_TRUE(module);
  struct Case {
    VstIntPtr version;
    bool created;
  };
  for (const Case c :
       {Case{0, false}, Case{2400, true}, Case{VstIntPtr(1) << 40, true}, Case{-1, true}}) {
    host::Host refusing;
    refusing.setVersion(c.version);
    std::string error;
    auto plugin = refusing.instantiate(module->entry(), error);
    EXPECT_EQ(plugin != nullptr, c.created) << c.version;
    const auto calls = refusing.calls();
    ASSERT_EQ(calls.size(), 1u) << "only the version query";
    EXPECT_EQ(calls[0].effect, nullptr);
    EXPECT_EQ(calls[0].opcode, audioMasterVersion);
    EXPECT_EQ(calls[0].index, 0);
    EXPECT_EQ(calls[0].value, 0);
    EXPECT_EQ(calls[0].ptr, nullptr);
    EXPECT_EQ(calls[0].opt, 0.0f);
  }
  EXPECT_EQ(module->entry()(nullptr), nullptr) << "no callback, no instance";
}

TEST_F(ModuleTest, InstancesAreIndependent) {
  std::string error;
  auto second = host.instantiate(module->entry(), error);
  ASSERT_TRUE(second);
  EXPECT_NE(second->record(), plugin->record());
  EXPECT_NE(second->record()->object, plugin->record()->object);
  plugin->setParameter(2, 1.0f);
  EXPECT_EQ(second->getParameter(2), 0.2f);
  EXPECT_EQ(plugin->close(), 1);
  EXPECT_EQ(second->getParameter(2), 0.2f);
  EXPECT_EQ(second->parameterName(1), "Channel");
  EXPECT_EQ(second->close(), 1);
}

TEST_F(ModuleTest, ControlOpcodesAndParameterTexts) {
  EXPECT_EQ(plugin->dispatch(effIdentify), 0x4E764566);
  EXPECT_EQ(plugin->dispatch(effGetProgram), 0);
  plugin->dispatch(effSetProgram, 0, 1);  // only one program: ignored
  EXPECT_EQ(plugin->dispatch(effGetProgram), 0);
  plugin->activate(48000.0f, 256);
  const char* names[] = {"Input", "Channel", "Depth"};
  const char* labels[] = {"", "", "ms"};
  const char* displays[] = {"Stereo", "R", "10.00000"};
  for (VstInt32 i = 0; i < 3; ++i) {
    EXPECT_EQ(plugin->parameterName(i), names[i]);
    EXPECT_EQ(plugin->parameterLabel(i), labels[i]);
    EXPECT_EQ(plugin->parameterDisplay(i), displays[i]);
  }
  plugin->setParameter(2, 0.5f);
  EXPECT_EQ(plugin->getParameter(2), 0.5f);
  EXPECT_EQ(plugin->parameterDisplay(2), "25.00000");
  plugin->setParameter(0, 0.75f);
  EXPECT_EQ(plugin->parameterDisplay(0), "Mono");
  char program[32];
  std::memset(program, 'x', sizeof program);
  EXPECT_EQ(plugin->dispatch(effGetProgramName, 0, 0, program), 0);
  EXPECT_EQ(program[0], '\0');
  EXPECT_EQ(plugin->dispatch(effGetParamName, 0, 0, nullptr), 0) << "null buffer survives";
}

TEST_F(ModuleTest, ProcessesThroughTheRecord) {
  plugin->open();
  plugin->setSampleRate(44100.0f);
  plugin->resume();
  std::vector<float> left(2000), right(2000), outLeft(2000), outRight(2000);
  for (size_t i = 0; i < left.size(); ++i) {
    left[i] = static_cast<float>(i) + 0.5f;
    right[i] = -static_cast<float>(i) - 0.25f;
  }
  for (size_t start = 0; start < left.size(); start += 100) {
    float* inputs[2] = {left.data() + start, right.data() + start};
    float* outputs[2] = {outLeft.data() + start, outRight.data() + start};
    plugin->processReplacing(inputs, outputs, 100);
  }
  for (size_t i = 0; i < left.size(); ++i) {
    ASSERT_EQ(outLeft[i], left[i]);
    ASSERT_EQ(outRight[i], i >= 440 ? right[i - 440] : 0.0f) << i;
  }
  // The deprecated accumulating and double-precision paths do nothing.
  float* inputs[2] = {left.data(), right.data()};
  float* outputs[2] = {outLeft.data(), outRight.data()};
  const std::vector<float> before = outLeft;
  plugin->record()->process(plugin->record(), inputs, outputs, 100);
  double dl[4] = {1, 2, 3, 4}, dr[4] = {5, 6, 7, 8};
  double* dIn[2] = {dl, dr};
  double* dOut[2] = {dr, dl};
  plugin->record()->processDoubleReplacing(plugin->record(), dIn, dOut, 4);
  EXPECT_EQ(outLeft, before);
  EXPECT_EQ(dl[0], 1.0);
  EXPECT_EQ(dr[0], 5.0);
}

TEST_F(ModuleTest, IdentityTextsAreExactlyTwentyFiveBytes) {
  struct Case {
    VstInt32 opcode;
    const char* text;
  };
  for (const Case c : {Case{effGetEffectName, "Orsolane"}, Case{effGetVendorString, "Velmbrook"},
                       Case{effGetProductString, "Orsolane"}}) {
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(plugin->dispatch(c.opcode, 0, 0, buffer), 1) << c.text;
    char expected[64];
    std::memset(expected, 'x', sizeof expected);
    std::memset(expected, 0, 25);
    std::memcpy(expected, c.text, std::strlen(c.text));
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(expected, sizeof expected));
  }
  // The identity the effect leaves to the framework.
  EXPECT_EQ(plugin->dispatch(effGetVendorVersion), 0);
  EXPECT_EQ(plugin->dispatch(effGetPlugCategory), kPlugCategUnknown);
  EXPECT_EQ(plugin->dispatch(effGetVstVersion), 2400);
  char capability[] = "receiveVstMidiEvent";
  EXPECT_EQ(plugin->dispatch(effCanDo, 0, 0, capability), 0);
}

// The one place that holds the effect to calling its host only for the
// version query: every opcode in and far outside the ranges, with buffers and
// without, switching on and off, processing of every kind of frame count and in
// place, the parameter calls with any index and value, and closing.
TEST_F(ModuleTest, NoHostCallAfterTheVersionQuery) {
  host.clearCalls();
  char buffer[256];
  for (VstInt32 opcode = -10; opcode <= 100; ++opcode) {
    if (opcode == effClose) continue;
    for (VstInt32 index : {-1, 0, 1, 2, 3}) {
      for (VstIntPtr value : {VstIntPtr(0), reinterpret_cast<VstIntPtr>(buffer)}) {
        std::memset(buffer, 0, sizeof buffer);
        plugin->dispatch(opcode, index, value, buffer, 0.0f);
      }
      if (opcode != effSetSampleRate && opcode != effMainsChanged)
        plugin->dispatch(opcode, index, 0, nullptr, 0.0f);
    }
  }
  std::vector<float> left(70000, 0.25f), right(70000, -0.5f), outLeft(70000), outRight(70000);
  float* inputs[2] = {left.data(), right.data()};
  float* outputs[2] = {outLeft.data(), outRight.data()};
  plugin->setSampleRate(44100.0f);
  for (VstInt32 frames : {0, -1, 1, 64, 4096, 70000})
    plugin->processReplacing(inputs, outputs, frames);
  plugin->processReplacing(inputs, inputs, 512);  // in place
  for (VstInt32 index = -1; index <= 3; ++index) {
    for (float value : {0.0f, 0.3f, 0.8f, 1.0f, -7.0f, 1e38f}) {
      plugin->setParameter(index, value);
      plugin->getParameter(index);
    }
  }
  EXPECT_TRUE(host.calls().empty());
  EXPECT_EQ(plugin->close(), 1);
  EXPECT_TRUE(host.calls().empty());
}

}  // namespace

// The module must run on every x86-64 processor: instructions wider than SSE2's
// registers may appear only in the kernels chosen after a runtime processor check.
TEST(ModuleBinary, WideVectorsOnlyInTheRuntimeCheckedKernels) {
#if defined(__x86_64__) && !defined(_WIN32)
  const std::string command =
      "objdump -d -C --no-show-raw-insn '" + std::string(ORSOLANE_MODULE) + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string function, offenders;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    const std::string text(line);
    if (text.size() > 2 && text.find(">:") != std::string::npos && text[0] != ' ') {
      function = text.substr(text.find('<') + 1);
    } else if ((text.find("%ymm") != std::string::npos || text.find("%zmm") != std::string::npos) &&
               function.find("avx::") == std::string::npos &&
               function.find("avx512::") == std::string::npos &&
               offenders.find(function) == std::string::npos) {
      offenders += function;
    }
  }
  ASSERT_EQ(pclose(pipe), 0);
  EXPECT_EQ(offenders, "");
#endif
}

// The shipped module is built optimised whatever a build folder's cache holds
// (the module records how it was compiled); Debug builds, the sanitizers', are
// unoptimised by design.
TEST(ModuleBinary, BuiltOptimised) {
#if defined(ORSOLANE_DEBUG_BUILD)
  GTEST_SKIP() << "a Debug build";
#endif
  std::ifstream file(ORSOLANE_MODULE, std::ios::binary);
  ASSERT_TRUE(file) << ORSOLANE_MODULE;
  const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  EXPECT_NE(bytes.find("orsolane build: optimised"), std::string::npos)
      << ORSOLANE_MODULE << " was compiled without optimisation";
}

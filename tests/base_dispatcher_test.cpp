// The base dispatcher and the base class's defaults, through a recording effect.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "vst/audio_effect_x.h"

namespace {

// Records which operations the dispatcher reached and with what.
class RecordingEffect : public AudioEffectX {
 public:
  explicit RecordingEffect(audioMasterCallback master = nullptr) : AudioEffectX(master, 4, 2) {}
  void processReplacing(float**, float**, VstInt32) override {}
  void open() override { log.push_back("open"); }
  void close() override { log.push_back("close"); }
  void suspend() override { log.push_back("suspend"); }
  void resume() override { log.push_back("resume"); }
  void setParameter(VstInt32 index, float value) override {
    log.push_back("setParameter " + std::to_string(index) + " " + std::to_string(value));
  }
  float getVu() override {
    log.push_back("getVu");
    return 1.0f;
  }
  VstInt32 getChunk(void** data, bool isPreset) override {
    (void)data;
    log.push_back(isPreset ? "getChunk preset" : "getChunk bank");
    return -7;
  }
  VstInt32 setChunk(void* data, VstInt32 size, bool isPreset) override {
    (void)data;
    log.push_back("setChunk " + std::to_string(size) + (isPreset ? " preset" : " bank"));
    return size;
  }
  VstIntPtr base(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                 float opt = 0.0f) {
    return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
  }
  VstInt32 storedBlockSize() const { return blockSize; }
  std::vector<std::string> log;
};

TEST(BaseDispatcher, LifecycleOpcodesReachTheirOperations) {
  RecordingEffect effect;
  struct Case {
    VstInt32 opcode;
    VstIntPtr value;
    const char* operation;
  };
  for (const Case c :
       {Case{effOpen, 0, "open"}, Case{effClose, 0, "close"}, Case{effMainsChanged, 0, "suspend"},
        Case{effMainsChanged, 1, "resume"}, Case{effMainsChanged, VstIntPtr(1) << 40, "resume"},
        Case{effMainsChanged, -1, "resume"}}) {
    effect.log.clear();
    EXPECT_EQ(effect.base(c.opcode, 0, c.value), 0);
    EXPECT_EQ(effect.log, std::vector<std::string>{c.operation}) << c.opcode << " " << c.value;
  }
}

TEST(BaseDispatcher, ProgramsAreCheckedAgainstTheCountOnly) {
  RecordingEffect effect;
  struct Case {
    VstIntPtr value;
    VstIntPtr expected;
  };
  for (const Case c : {Case{0, 0}, Case{3, 3}, Case{4, 3}, Case{-1, -1},
                       Case{VstIntPtr(1) << 32, -1}, Case{-(VstIntPtr(1) << 32) + 2, 2}}) {
    EXPECT_EQ(effect.base(effSetProgram, 0, c.value), 0);
    EXPECT_EQ(effect.base(effGetProgram), c.expected) << c.value;
  }
}

TEST(BaseDispatcher, ChunksPassIsPresetFromIndex) {
  RecordingEffect effect;
  EXPECT_EQ(effect.base(effGetChunk, 0), -7);
  EXPECT_EQ(effect.base(effGetChunk, 5), -7);
  EXPECT_EQ(effect.base(effSetChunk, 0, (VstIntPtr(1) << 32) + 12), 12);
  EXPECT_EQ(effect.base(effSetChunk, -1, 3), 3);
  EXPECT_EQ(effect.log, (std::vector<std::string>{"getChunk bank", "getChunk preset",
                                                  "setChunk 12 bank", "setChunk 3 preset"}));
}

TEST(BaseDispatcher, SettingsAndFixedAnswers) {
  RecordingEffect effect;
  EXPECT_EQ(effect.base(effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
  EXPECT_EQ(effect.getSampleRate(), 48000.0f);
  EXPECT_EQ(effect.base(effSetBlockSize, 0, (VstIntPtr(1) << 32) + 256), 0);
  EXPECT_EQ(effect.storedBlockSize(), 256);
  EXPECT_EQ(effect.base(effIdentify, 9, 9, &effect, 9.0f), 0x4E764566);
  EXPECT_EQ(effect.base(effGetVu), 0);
  EXPECT_TRUE(effect.log.empty()) << "getVu must not be consulted";
}

TEST(BaseDispatcher, EditorAndUnknownOpcodesAnswerZeroWithoutAnEditor) {
  RecordingEffect effect;
  ERect* rect = reinterpret_cast<ERect*>(&effect);
  for (VstInt32 opcode : {13, 14, 15, 16, 17, 18, 19, 20, 21, 25, 80, 1000, -1, -2147483647 - 1}) {
    EXPECT_EQ(effect.base(opcode, 1, 1, &rect, 1.0f), 0) << opcode;
  }
  EXPECT_EQ(rect, reinterpret_cast<ERect*>(&effect));
  EXPECT_TRUE(effect.log.empty());
}

TEST(BaseDispatcher, TextDefaultsWriteOneZeroByte) {
  RecordingEffect effect;
  for (VstInt32 opcode :
       {effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName}) {
    char buffer[4] = {'x', 'y', 'z', 'w'};
    EXPECT_EQ(effect.base(opcode, 0, 0, buffer), 0);
    EXPECT_EQ(std::string(buffer, 4), std::string("\0yzw", 4)) << opcode;
    EXPECT_EQ(effect.base(opcode, 0, 0, nullptr), 0) << "null buffer, opcode " << opcode;
  }
}

VstIntPtr VSTCALLBACK recordAutomate(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                     VstIntPtr value, void* ptr, float opt);
std::vector<std::string>* automateLog = nullptr;
VstIntPtr VSTCALLBACK recordAutomate(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                     VstIntPtr value, void* ptr, float opt) {
  automateLog->push_back("host " + std::to_string(opcode) + " " + std::to_string(index) + " " +
                         std::to_string(value) + " " + (ptr ? "ptr" : "null") + " " +
                         std::to_string(opt) + (effect ? " effect" : " none"));
  return 99;
}

TEST(BaseClass, SetParameterAutomatedSetsThenTellsTheHost) {
  RecordingEffect effect(recordAutomate);
  automateLog = &effect.log;
  effect.setParameterAutomated(2, 0.75f);
  automateLog = nullptr;
  EXPECT_EQ(effect.log, (std::vector<std::string>{"setParameter 2 0.750000",
                                                  "host 0 2 0 null 0.750000 effect"}));
  RecordingEffect hostless;
  hostless.setParameterAutomated(1, 0.5f);
  EXPECT_EQ(hostless.log, std::vector<std::string>{"setParameter 1 0.500000"});
}

}  // namespace

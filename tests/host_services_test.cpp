// Every host service: the exact call it makes through a recording host, how it
// reads the answer, and its fixed result without a callback.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "vst/audio_effect_x.h"
#include "vst/host.h"

namespace host_services {

class ServiceEffect : public AudioEffectX {
 public:
  explicit ServiceEffect(host::Host* host)
      : AudioEffectX(host != nullptr ? &host::Host::callback : nullptr, 1, 1) {
    cEffect.user = host;
  }
  void processReplacing(float**, float**, VstInt32) override {}
};

char text[64];
void* const kPtr = text;

// Any result as a 64-bit number, so one table holds every operation.
VstIntPtr wide(bool b) { return b ? 1 : 0; }
VstIntPtr wide(VstInt32 n) { return n; }
VstIntPtr wide(VstIntPtr n) { return n; }
VstIntPtr wide(const void* p) { return reinterpret_cast<VstIntPtr>(p); }

// How a service reads the host's 64-bit answer.
enum Form { kInt, kNonZero, kWhole, kDropped, kVersion, kConnected };

VstIntPtr expectedResult(Form form, VstIntPtr answer) {
  const auto low = static_cast<VstInt32>(answer);
  switch (form) {
    case kInt: return low;
    case kNonZero: return answer != 0 ? 1 : 0;
    case kWhole: return answer;
    case kDropped: return 0;
    case kVersion: return low != 0 ? low : 1;
    case kConnected: return low == 0 ? 1 : 0;
  }
  return -1;
}

struct Row {
  const char* name;
  std::function<VstIntPtr(ServiceEffect&)> call;
  VstInt32 opcode, index;
  VstIntPtr value;
  void* ptr;
  float opt;
  Form form;
  VstIntPtr withoutHost;
};

#define SERVICE(expr) #expr, [](ServiceEffect & e) { return wide(e.expr); }
#define DROPPED(expr) #expr, [](ServiceEffect & e) { return e.expr, VstIntPtr(0); }
const VstIntPtr kBig = VstIntPtr(1) << 40;
auto* const kFiles = static_cast<VstAudioFile*>(kPtr);
auto* const kTask = static_cast<VstOfflineTask*>(kPtr);
auto* const kSelect = static_cast<VstFileSelect*>(kPtr);
auto* const kWindow = static_cast<VstWindow*>(kPtr);
// clang-format off
const Row kRows[] = {
  {SERVICE(getMasterVersion()), 1, 0, 0, nullptr, 0, kVersion, 1},
  {SERVICE(getCurrentUniqueId()), 2, 0, 0, nullptr, 0, kInt, 0},
  {DROPPED(masterIdle()), 3, 0, 0, nullptr, 0, kDropped, 0},
  {SERVICE(isInputConnected(5)), 4, 5, 0, nullptr, 0, kConnected, 1},
  {SERVICE(isOutputConnected(-6)), 4, -6, 1, nullptr, 0, kConnected, 1},
  {DROPPED(wantEvents(-2)), 6, 0, -2, nullptr, 0, kDropped, 0},
  {SERVICE(getTimeInfo(0x2A00)), 7, 0, 0x2A00, nullptr, 0, kWhole, 0},
  {SERVICE(tempoAt(-9)), 10, 0, -9, nullptr, 0, kInt, 0},
  {SERVICE(getNumAutomatableParameters()), 11, 0, 0, nullptr, 0, kInt, 0},
  {SERVICE(getParameterQuantization()), 12, 0, 0, nullptr, 0, kInt, 0},
  {SERVICE(ioChanged()), 13, 0, 0, nullptr, 0, kNonZero, 0},
  {SERVICE(needIdle()), 14, 0, 0, nullptr, 0, kNonZero, 0},
  {SERVICE(sizeWindow(640, -480)), 15, 640, -480, nullptr, 0, kNonZero, 0},
  {SERVICE(getInputLatency()), 18, 0, 0, nullptr, 0, kInt, 0},
  {SERVICE(getOutputLatency()), 19, 0, 0, nullptr, 0, kInt, 0},
  {SERVICE(getPreviousPlug(3)), 20, 0, 0, nullptr, 0, kWhole, 0},
  {SERVICE(getNextPlug(4)), 21, 0, 0, nullptr, 0, kWhole, 0},
  {SERVICE(willProcessReplacing()), 22, 0, 0, nullptr, 0, kInt, 0},
  {SERVICE(getCurrentProcessLevel()), 23, 0, 0, nullptr, 0, kInt, 0},
  {SERVICE(getAutomationState()), 24, 0, 0, nullptr, 0, kInt, 0},
  {SERVICE(offlineStart(kFiles, 3, 2)), 25, 2, 3, kPtr, 0, kNonZero, 0},
  {SERVICE(offlineRead(kTask, -2, true)), 26, 1, -2, kPtr, 0, kNonZero, 0},
  {SERVICE(offlineRead(kTask, 4, false)), 26, 0, 4, kPtr, 0, kNonZero, 0},
  {SERVICE(offlineWrite(kTask, 5)), 27, 0, 5, kPtr, 0, kNonZero, 0},
  {SERVICE(offlineGetCurrentPass()), 28, 0, 0, nullptr, 0, kNonZero, 0},
  {SERVICE(offlineGetCurrentMetaPass()), 29, 0, 0, nullptr, 0, kNonZero, 0},
  {DROPPED(setOutputSamplerate(22050.5f)), 30, 0, 0, nullptr, 22050.5f, kDropped, 0},
  {SERVICE(getOutputSpeakerArrangement()), 31, 0, 0, nullptr, 0, kWhole, 0},
  {SERVICE(getHostVendorString(text)), 32, 0, 0, kPtr, 0, kNonZero, 0},
  {SERVICE(getHostProductString(text)), 33, 0, 0, kPtr, 0, kNonZero, 0},
  {SERVICE(getHostVendorVersion()), 34, 0, 0, nullptr, 0, kInt, 0},
  {SERVICE(hostVendorSpecific(-1, -kBig, kPtr, 1.5f)), 35, -1, -kBig, kPtr, 1.5f, kWhole, 0},
  {SERVICE(canHostDo(text)), 37, 0, 0, kPtr, 0, kNonZero, 0},
  {SERVICE(getHostLanguage()), 38, 0, 0, nullptr, 0, kInt, 0},
  {SERVICE(openWindow(kWindow)), 39, 0, 0, kPtr, 0, kWhole, 0},
  {SERVICE(closeWindow(kWindow)), 40, 0, 0, kPtr, 0, kNonZero, 0},
  {SERVICE(getDirectory()), 41, 0, 0, nullptr, 0, kWhole, 0},
  {SERVICE(updateDisplay()), 42, 0, 0, nullptr, 0, kNonZero, 0},
  {SERVICE(beginEdit(7)), 43, 7, 0, nullptr, 0, kNonZero, 0},
  {SERVICE(endEdit(-7)), 44, -7, 0, nullptr, 0, kNonZero, 0},
  {SERVICE(openFileSelector(kSelect)), 45, 0, 0, kPtr, 0, kNonZero, 0},
  {SERVICE(closeFileSelector(kSelect)), 46, 0, 0, kPtr, 0, kNonZero, 0},
  {SERVICE(getChunkFile(kPtr)), 48, 0, 0, kPtr, 0, kNonZero, 0},
  {SERVICE(getInputSpeakerArrangement()), 49, 0, 0, nullptr, 0, kWhole, 0}};
// clang-format on

TEST(HostServices, EachMakesItsOneCallAndReadsTheAnswerInItsForm) {
  for (const Row& row : kRows) {
    for (VstIntPtr answer : {VstIntPtr(0), VstIntPtr(1), VstIntPtr(-1), VstIntPtr(2400),
                             VstIntPtr(1) << 32, (VstIntPtr(1) << 32) + 256, -kBig - 5}) {
      host::Host host;
      host.setResponder([answer](const host::HostCall&) { return answer; });
      ServiceEffect effect(&host);
      EXPECT_EQ(row.call(effect), expectedResult(row.form, answer)) << row.name << " " << answer;
      const auto calls = host.calls();
      ASSERT_EQ(calls.size(), 1u) << row.name;
      const host::HostCall& call = calls[0];
      EXPECT_EQ(call.effect, effect.getAeffect()) << row.name;
      EXPECT_EQ(call.opcode, row.opcode) << row.name;
      EXPECT_EQ(call.index, row.index) << row.name;
      EXPECT_EQ(call.value, row.value) << row.name;
      EXPECT_EQ(call.ptr, row.ptr) << row.name;
      EXPECT_EQ(call.opt, row.opt) << row.name;
    }
  }
}

TEST(HostServices, WithoutACallbackEachAnswersItsFixedDefault) {
  ServiceEffect effect(nullptr);
  for (const Row& row : kRows) EXPECT_EQ(row.call(effect), row.withoutHost) << row.name;
  EXPECT_EQ(effect.updateSampleRate(), 44100.0);
  EXPECT_EQ(effect.updateBlockSize(), 1024);
}

TEST(HostServices, NullRecordPointersAreNotHandedToTheHost) {
  host::Host host;
  host.setResponder([](const host::HostCall&) { return VstIntPtr(1); });
  ServiceEffect effect(&host);
  EXPECT_FALSE(effect.openFileSelector(nullptr));
  EXPECT_FALSE(effect.closeFileSelector(nullptr));
  EXPECT_FALSE(effect.getChunkFile(nullptr));
  EXPECT_TRUE(host.calls().empty());
}

TEST(HostServices, SampleRateAndBlockSizeKeepTheStoredValueUnlessPositive) {
  struct Case {
    VstIntPtr answer;
    double rate;
    VstInt32 size;
  };
  host::Host host;
  ServiceEffect effect(&host);
  for (const Case c :
       {Case{48000, 48000.0, 48000}, Case{0, 48000.0, 48000}, Case{-1, 48000.0, 48000},
        Case{512, 512.0, 512}, Case{VstIntPtr(1) << 32, 4294967296.0, 512},
        Case{(VstIntPtr(1) << 32) + 256, 4294967296.0, 256}, Case{-5, 4294967296.0, 256}}) {
    host.setResponder([c](const host::HostCall&) { return c.answer; });
    EXPECT_EQ(effect.updateSampleRate(), c.rate) << c.answer;
    EXPECT_EQ(effect.getSampleRate(), static_cast<float>(c.rate));
    EXPECT_EQ(effect.updateBlockSize(), c.size) << c.answer;
    EXPECT_EQ(effect.getBlockSize(), c.size);
  }
  const auto calls = host.calls();
  ASSERT_EQ(calls.size(), 14u);
  EXPECT_EQ(calls[0].opcode, audioMasterGetSampleRate);
  EXPECT_EQ(calls[1].opcode, audioMasterGetBlockSize);
}

}  // namespace host_services

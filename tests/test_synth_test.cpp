// The framework as a library for other effects: TestSynth, a second module
// built on AudioEffectX, driven through its entry and record. Its editor
// reports each call it gets to the host as audioMasterVendorSpecific with the
// event in index (1 key down, 2 key up, 3 knob mode, 4 rect, 5 open, 6 close,
// 7 idle, 8 destroyed) and what it received in value or ptr.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "plugin_test.h"
#include "vst/host.h"

namespace {

class TestSynthModule : public PluginTest {
 protected:
  TestSynthModule() : PluginTest(TEST_SYNTH_MODULE) {}
  void loaded() override {
    record = plugin->record();
    host.clearCalls();
  }
  // The one call the last dispatch made, as (opcode, index, value).
  void expectOneCall(VstInt32 opcode, VstInt32 index, VstIntPtr value, const char* what) {
    const auto calls = host.calls();
    ASSERT_EQ(calls.size(), 1u) << what;
    EXPECT_EQ(calls[0].effect, record) << what;
    EXPECT_EQ(calls[0].opcode, opcode) << what;
    EXPECT_EQ(calls[0].index, index) << what;
    EXPECT_EQ(calls[0].value, value) << what;
    host.clearCalls();
  }
  AEffect* record = nullptr;  // kept for the calls made while the instance goes away
};

VstIntPtr key(VstIntPtr character, VstIntPtr virt, VstIntPtr modifier) {
  return character | virt << 32 | modifier << 40;
}

TEST_F(TestSynthModule, EditorKeyCodesAreBuiltFromIndexValueAndOpt) {
  struct Case {
    VstInt32 opcode;
    VstIntPtr value;
    float opt;
    VstIntPtr answer;
    VstIntPtr seen;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const Case c : {Case{effEditKeyDown, 0x1FF, 3.9f, 1, key(65, 0xFF, 3)},
                       Case{effEditKeyUp, 0x1FF, 3.9f, 0, key(65, 0xFF, 3)},
                       Case{effEditKeyDown, -1, -1.5f, 1, key(65, 0xFF, 0xFF)},
                       Case{effEditKeyDown, 0x100, 256.5f, 1, key(65, 0, 0)},
                       Case{effEditKeyDown, 7, nan, 1, key(65, 7, 0)},
                       Case{effEditKeyDown, 7, 1e10f, 1, key(65, 7, 0)},
                       Case{effEditKeyDown, 7, -INFINITY, 1, key(65, 7, 0)}}) {
    EXPECT_EQ(plugin->dispatch(c.opcode, 65, c.value, nullptr, c.opt), c.answer) << c.opt;
    expectOneCall(audioMasterVendorSpecific, c.opcode == effEditKeyDown ? 1 : 2, c.seen, "key");
  }
  EXPECT_EQ(plugin->dispatch(effSetEditKnobMode, 0, (VstIntPtr(1) << 32) + 2), 1);
  expectOneCall(audioMasterVendorSpecific, 3, 2, "knob mode: low 32 bits");
}

TEST_F(TestSynthModule, EditorWindowOpcodesReachTheEditor) {
  ERect* rect = nullptr;
  EXPECT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &rect), 1);
  expectOneCall(audioMasterVendorSpecific, 4, 0, "getRect");
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right, 240);
  int window = 0;
  EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, &window), 1);
  EXPECT_EQ(host.calls().at(0).ptr, &window);
  expectOneCall(audioMasterVendorSpecific, 5, 0, "open");
  EXPECT_EQ(plugin->dispatch(effEditIdle), 0);
  expectOneCall(audioMasterVendorSpecific, 7, 0, "idle");
  EXPECT_EQ(plugin->dispatch(effEditClose), 0);
  expectOneCall(audioMasterVendorSpecific, 6, 0, "close");
  EXPECT_EQ(plugin->close(), 1);
  expectOneCall(audioMasterVendorSpecific, 8, 0, "effClose destroys the editor");
}

TEST_F(TestSynthModule, ResumeAsksTheHostForEvents) {
  EXPECT_EQ(plugin->record()->flags & (effFlagsIsSynth | effFlagsHasEditor), 0x101);
  EXPECT_EQ(plugin->dispatch(effGetPlugCategory), kPlugCategSynth);
  char capability[] = "receiveVstMidiEvent";
  EXPECT_EQ(plugin->dispatch(effCanDo, 0, 0, capability), 1);
  EXPECT_TRUE(host.calls().empty());
  plugin->resume();
  expectOneCall(audioMasterWantMidi, 0, 1, "resume");
  plugin->suspend();
  EXPECT_TRUE(host.calls().empty());
}

TEST_F(TestSynthModule, VendorSpecificAnswersReachTheHostWhole) {
  EXPECT_EQ(plugin->dispatch(effVendorSpecific, 3, 0x1234567890),
            (VstIntPtr(3) << 40) | 0x1234567890);
  EXPECT_EQ(plugin->dispatch(effVendorSpecific, -1, 5),
            static_cast<VstIntPtr>(0xFFFFFF0000000005ull));
}

}  // namespace

// Hostile host inputs through the built module: null buffers and records,
// opcodes outside every range with pointers that must not be followed, closing
// without opening, nonsense sample rates and frame counts, and thousands of
// instances made and closed (the sanitizer and valgrind runs check for leaks).
#include "vst/host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "plugin_test.h"
#include "vst/opcode_arguments.h"

namespace {

class HostileHost : public PluginTest {
 protected:
  HostileHost() : PluginTest(ORSOLANE_MODULE) {}
  // The observable state: every parameter and display, and the program.
  std::string state() {
    std::string out;
    for (VstInt32 i = 0; i < 3; ++i)
      out += std::to_string(plugin->getParameter(i)) + plugin->parameterDisplay(i) + ";";
    return out + std::to_string(plugin->dispatch(effGetProgram));
  }
};

// Null where an opcode takes a buffer or a record; where it takes no pointer,
// one that must never be followed.
TEST_F(HostileHost, NullBuffersAndRecordsOnEveryOpcode) {
  plugin->setParameter(2, 0.5f);
  const std::string before = state();
  void* bogus = reinterpret_cast<void*>(uintptr_t{0x10});
  for (VstInt32 opcode = -10; opcode <= 100; ++opcode) {
    if (opcode == effClose || opcode == effSetSampleRate || opcode == effMainsChanged) continue;
    void* ptr = host::opcodeArgument(opcode).takesPointer() ? nullptr : bogus;
    for (VstInt32 index : {-1, 0, 1, 2, 3}) plugin->dispatch(opcode, index, 0, ptr, 0.0f);
  }
  EXPECT_EQ(state(), before);
}

TEST_F(HostileHost, OpcodesOutsideEveryRangeAnswerZeroAndTouchNothing) {
  const std::string before = state();
  void* bogus = reinterpret_cast<void*>(uintptr_t{0x10});  // must never be followed
  for (VstInt32 opcode : {std::numeric_limits<VstInt32>::min(), -1000, -10, -2, -1, 80, 81, 100,
                          1000, std::numeric_limits<VstInt32>::max()}) {
    for (VstIntPtr value : {VstIntPtr(0), VstIntPtr(-1), VstIntPtr(0x10)}) {
      EXPECT_EQ(plugin->dispatch(opcode, -1, value, bogus, NAN), 0) << opcode;
      EXPECT_EQ(plugin->dispatch(opcode, 7, value, nullptr, 1e38f), 0) << opcode;
    }
  }
  EXPECT_EQ(state(), before);
}

TEST_F(HostileHost, CloseRightAfterTheEntry) {
  EXPECT_EQ(plugin->close(), 1);
  auto suspended = instantiate();
  suspended->suspend();
  EXPECT_EQ(suspended->close(), 1);
}

TEST_F(HostileHost, NonsenseSampleRatesDepthsAndFrameCounts) {
  // Bounded inputs keep outputs bounded whatever the settings; counts of zero
  // or below write nothing.
  std::vector<float> in(70000), outLeft(70016), outRight(70016);
  for (size_t i = 0; i < in.size(); ++i) in[i] = std::sin(0.01f * static_cast<float>(i));
  float* inputs[2] = {in.data(), in.data()};
  float* outputs[2] = {outLeft.data(), outRight.data()};
  const float kNonsense[] = {NAN, INFINITY, -INFINITY, 0.0f, -44100.0f, 1e38f, -1e38f, 1e-45f};
  for (float rate : kNonsense) {
    for (float depth : kNonsense) {
      plugin->setSampleRate(rate);
      plugin->setParameter(2, depth);
      plugin->setParameter(0, depth);
      plugin->setParameter(1, depth);
      for (VstInt32 frames : {70000, 0, -1, std::numeric_limits<VstInt32>::min()}) {
        outLeft.assign(outLeft.size(), 9.0f);
        outRight.assign(outRight.size(), 9.0f);
        plugin->processReplacing(inputs, outputs, frames);
        const size_t written = frames > 0 ? static_cast<size_t>(frames) : 0;
        for (size_t i = 0; i < outLeft.size(); ++i) {
          const float limit = i < written ? 1.0f : 9.0f;
          ASSERT_TRUE(std::fabs(outLeft[i]) <= limit && std::fabs(outRight[i]) <= limit)
              << "rate " << rate << " depth " << depth << " frames " << frames << " at " << i;
        }
      }
      EXPECT_EQ(plugin->parameterDisplay(2).size() <= 8, true);
    }
  }
}

TEST_F(HostileHost, ThousandsOfInstancesMadeAndClosed) {
  for (int round = 0; round < 2000; ++round) {
    auto instance = instantiate();
    ASSERT_TRUE(instance);
    if (round % 100 == 0) instance->open();
    ASSERT_EQ(instance->close(), 1);
  }
  std::vector<std::unique_ptr<host::Plugin>> alive;
  for (int i = 0; i < 64; ++i) alive.push_back(instantiate());
  for (auto& instance : alive) {
    instance->setParameter(2, 0.5f);
    EXPECT_EQ(instance->parameterDisplay(2), "25.00000");
  }
  alive.clear();  // each Plugin closes its instance
}

}  // namespace

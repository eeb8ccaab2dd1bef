// Real-time safety, measured: every heap allocation and release in the process
// (the loaded module's included) is counted while the host drives processing,
// the parameter calls and the text opcodes, and the count must stay zero. The
// counter is the one vsthost's real-time check uses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "common/allocation_counter.h"
#include "plugin_test.h"
#include "vst/host.h"

namespace {

namespace allocations = vsthost::allocations;

long heapCallsDuring(const std::function<void()>& action) {
  allocations::countOnThisThread(true);
  const long before = allocations::counted();
  action();
  const long during = allocations::counted() - before;
  allocations::countOnThisThread(false);
  return during;
}

class RealtimeSafety : public PluginTest {
 protected:
  RealtimeSafety() : PluginTest(ORSOLANE_MODULE) {}
  void loaded() override { plugin->activate(48000.0f, 4096); }
};

TEST_F(RealtimeSafety, TheCounterSeesEveryKindOfAllocation) {
  EXPECT_GE(heapCallsDuring([] {
              int* volatile block = new int(1);  // volatile: the pair may not be elided
              delete block;
            }),
            2);
  EXPECT_GE(heapCallsDuring([] {
              void* volatile block = std::calloc(3, 5);
              std::free(block);
            }),
            2);
  EXPECT_GE(heapCallsDuring([] { std::string text(200, 'x'); }), 2);
}

TEST_F(RealtimeSafety, HotPathsAllocateNothing) {
  std::vector<float> left(70000, 0.25f), right(70000, -0.5f), outLeft(70000), outRight(70000);
  float* inputs[2] = {left.data(), right.data()};
  float* outputs[2] = {outLeft.data(), outRight.data()};
  AEffect* record = plugin->record();
  char text[256];
  const VstInt32 kTextOpcodes[] = {effGetProgramName,  effGetParamLabel,         effGetParamDisplay,
                                   effGetParamName,    effGetProgramNameIndexed, effGetEffectName,
                                   effGetVendorString, effGetProductString};
  struct Action {
    const char* name;
    std::function<void()> run;
  };
  const std::vector<Action> actions = {
      {"processReplacing",
       [&] {
         for (VstInt32 frames : {0, -1, 1, 64, 4096, 70000})
           record->processReplacing(record, inputs, outputs, frames);
         record->processReplacing(record, inputs, inputs, 512);  // in place
       }},
      {"setParameter",
       [&] {
         for (VstInt32 index = -1; index <= 3; ++index)
           for (float value : {0.0f, 0.3f, 0.8f, 1.0f, -7.0f, 1e38f})
             record->setParameter(record, index, value);
       }},
      {"getParameter",
       [&] {
         for (VstInt32 index = -1; index <= 3; ++index) record->getParameter(record, index);
       }},
      {"text opcodes",
       [&] {
         for (VstInt32 opcode : kTextOpcodes)
           for (VstInt32 index = -1; index <= 3; ++index)
             record->dispatcher(record, opcode, index, 0, text, 0.0f);
       }},
  };
  for (const Action& action : actions) action.run();  // first touch of every page
  for (const Action& action : actions) EXPECT_EQ(heapCallsDuring(action.run), 0) << action.name;
}

TEST(RealtimeSafetyEntry, RefusedInstanceBlockGivesNull) {
  if (!allocations::refuseFrom(0)) GTEST_SKIP() << "this build's heap cannot be made to refuse";
  std::string error;
  auto module = host::Module::load(ORSOLANE_MODULE, error);
  ASSERT_TRUE(module) << error;
  AEffect* effect = nullptr;
  allocations::refuseFrom(64 * 1024);  // the instance, with its delay ring, is far larger
  effect = module->entry()([](AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return VstIntPtr(opcode == audioMasterVersion ? 2400 : 0);
  });
  allocations::refuseFrom(0);
  EXPECT_EQ(effect, nullptr);
}

}  // namespace

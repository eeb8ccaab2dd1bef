// Real-time safety, measured: every heap allocation and release in the process
// (the loaded module's included) is counted while the host drives processing,
// the parameter calls and the text opcodes, and the count must stay zero.
//
// Plain builds interpose malloc, calloc, realloc and free in this executable
// (the global operator new of the C++ library allocates through malloc, so it
// is counted too); sanitizer builds, whose runtimes own those symbols, count
// through the sanitizer's allocation hooks instead.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "plugin_test.h"
#include "vst/host.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ORSOLANE_SANITIZED 1
// The sanitizer runtimes' allocation hooks (declared here: not every compiler
// installs the runtime's headers).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
#else
#define ORSOLANE_SANITIZED 0
#endif

namespace {

std::atomic<long> heapCalls{0};
// Blocks at least this large are refused while set (0: refuse none).
std::atomic<size_t> refuseFrom{0};

void counted() { heapCalls.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

#if ORSOLANE_SANITIZED
namespace {
void mallocHook(const volatile void*, size_t) { counted(); }
void freeHook(const volatile void*) { counted(); }
[[maybe_unused]] const int hooksInstalled =
    __sanitizer_install_malloc_and_free_hooks(mallocHook, freeHook);
}  // namespace
#else
namespace {
bool refused(size_t size) {
  const size_t limit = refuseFrom.load(std::memory_order_relaxed);
  return limit != 0 && size >= limit;
}

}  // namespace

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);

#define INTERPOSED __attribute__((visibility("default")))
INTERPOSED void* malloc(size_t size) {
  counted();
  return refused(size) ? nullptr : __libc_malloc(size);
}
INTERPOSED void* calloc(size_t count, size_t size) {
  counted();
  return refused(count * size) ? nullptr : __libc_calloc(count, size);
}
INTERPOSED void* realloc(void* block, size_t size) {
  counted();
  return refused(size) ? nullptr : __libc_realloc(block, size);
}
INTERPOSED void free(void* block) {
  if (block != nullptr) counted();
  __libc_free(block);
}
}
#endif

namespace {

long heapCallsDuring(const std::function<void()>& action) {
  const long before = heapCalls.load();
  action();
  return heapCalls.load() - before;
}

class RealtimeSafety : public PluginTest {
 protected:
  RealtimeSafety() : PluginTest(ORSOLANE_MODULE) {}
  void SetUp() override {
    PluginTest::SetUp();
    if (HasFatalFailure()) return;
    plugin->activate(48000.0f, 4096);
  }
};

TEST_F(RealtimeSafety, TheCounterSeesEveryKindOfAllocation) {
  EXPECT_GE(heapCallsDuring([] {
              int* volatile block = new int(1);  // volatile: the pair may not be elided
              delete block;
            }),
            2);
  EXPECT_GE(heapCallsDuring([] { std::free(std::calloc(3, 5)); }), 2);
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
  if (ORSOLANE_SANITIZED) GTEST_SKIP() << "the sanitizer's allocator cannot be made to refuse";
  std::string error;
  auto module = host::Module::load(ORSOLANE_MODULE, error);
  ASSERT_TRUE(module) << error;
  AEffect* effect = nullptr;
  refuseFrom = 64 * 1024;  // the instance, with its delay ring, is far larger
  effect = module->entry()([](AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return VstIntPtr(opcode == audioMasterVersion ? 2400 : 0);
  });
  refuseFrom = 0;
  EXPECT_EQ(effect, nullptr);
}

}  // namespace

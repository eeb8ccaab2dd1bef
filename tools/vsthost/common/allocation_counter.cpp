// The heap is watched by interposing the C library's malloc, calloc, realloc
// and free in this program (the C++ library's operator new allocates through
// malloc, so it is counted too); sanitizer builds, whose runtimes own those
// symbols, count through the sanitizer's allocation hooks. Linux only: a
// Windows program cannot replace the heap's functions this way, so vsthost.exe
// does without (its real-time check is skipped).
#include "common/allocation_counter.h"

#include <execinfo.h>

#include <atomic>
#include <cstddef>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VSTHOST_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VSTHOST_SANITIZED 1
#endif

namespace vsthost {
namespace allocations {
namespace {

std::atomic<long> total{0};
std::atomic<std::size_t> refusedFrom{0};
// Plain data with constant initialisation: reading it allocates nothing.
thread_local bool counting = false;

// The first counted call's stack. Taking a stack may itself allocate the
// first time (the unwinder is loaded lazily), so it is taken once up front,
// and never from inside another capture.
const int kStackDepth = 32;
void* stack[kStackDepth];
std::atomic<int> stackDepth{0};
std::atomic<bool> stackWanted{true};
thread_local bool capturing = false;

[[maybe_unused]] void captureStack() {
  if (capturing || !stackWanted.exchange(false)) return;
  capturing = true;
  stackDepth.store(backtrace(stack, kStackDepth), std::memory_order_release);
  capturing = false;
}

[[maybe_unused]] const int unwinderLoaded = [] {
  void* frames[2];
  return backtrace(frames, 2);
}();

[[maybe_unused]] void count() {
  if (!counting) return;
  total.fetch_add(1, std::memory_order_relaxed);
  captureStack();
}

[[maybe_unused]] bool refused(std::size_t size) {
  const std::size_t limit = refusedFrom.load(std::memory_order_relaxed);
  return limit != 0 && size >= limit;
}

}  // namespace

bool countOnThisThread(bool on) {
  const bool was = counting;
  counting = on;
  return was;
}
void forgetFirstStack() {
  stackDepth.store(0, std::memory_order_relaxed);
  stackWanted.store(true);
}
std::vector<void*> firstStack() {
  // Copied with counting off: the vector allocates.
  Paused paused;
  const int depth = stackDepth.load(std::memory_order_acquire);
  return std::vector<void*>(stack, stack + depth);
}
long counted() { return total.load(std::memory_order_relaxed); }
Paused::Paused() : was_(counting) { counting = false; }
Paused::~Paused() { counting = was_; }

bool refuseFrom(std::size_t bytes) {
#if defined(VSTHOST_SANITIZED)
  (void)bytes;
  return false;
#else
  refusedFrom.store(bytes, std::memory_order_relaxed);
  return true;
#endif
}

}  // namespace allocations
}  // namespace vsthost

#if defined(VSTHOST_SANITIZED)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
namespace {
void mallocHook(const volatile void*, size_t) { vsthost::allocations::count(); }
void freeHook(const volatile void*) { vsthost::allocations::count(); }
[[maybe_unused]] const int hooksInstalled =
    __sanitizer_install_malloc_and_free_hooks(mallocHook, freeHook);
}  // namespace
#else
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);

#define INTERPOSED __attribute__((visibility("default")))
using vsthost::allocations::refused;
INTERPOSED void* malloc(size_t size) {
  vsthost::allocations::count();
  return refused(size) ? nullptr : __libc_malloc(size);
}
INTERPOSED void* calloc(size_t count, size_t size) {
  vsthost::allocations::count();
  return refused(count * size) ? nullptr : __libc_calloc(count, size);
}
INTERPOSED void* realloc(void* block, size_t size) {
  vsthost::allocations::count();
  return refused(size) ? nullptr : __libc_realloc(block, size);
}
INTERPOSED void free(void* block) {
  if (block != nullptr) vsthost::allocations::count();
  __libc_free(block);
}
}
#endif

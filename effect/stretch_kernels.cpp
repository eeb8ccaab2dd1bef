// The kernels, built for three lane widths: for every x86-64 processor (four
// samples at a time with SSE2) and, where the compiler can target them, eight
// at a time with AVX and sixteen with AVX-512, used only when the processor
// reports them. Every lane width performs the same IEEE single-precision
// operations, so the results are identical.
#include "stretch_kernels.h"

#include <initializer_list>
#if defined(__SSE2__) || defined(_M_X64)
#include <immintrin.h>
#endif

// The output must be bit-identical to the plain per-frame arithmetic.
#if defined(__FAST_MATH__)
#error "Orsolane must not be built with -ffast-math: it changes the samples"
#endif

// Whether the compiler optimised this build, kept in the module file for its
// tests to read: a build folder whose cached flags lost their -O builds a
// module that is correct but many times slower, and nothing else would notice.
#if defined(__OPTIMIZE__)
[[gnu::used]] static const char kBuildMarker[] = "orsolane build: optimised";
#else
[[gnu::used]] static const char kBuildMarker[] = "orsolane build: not optimised";
#endif

namespace orsolane {
namespace {

using Kernel = StretchKernel;

// One sample at a time; the tail of every stretch, and the whole of it where
// nothing wider is available.
struct OneSample {
  static constexpr VstInt32 kWidth = 1;
  using Value = float;
  static Value load(const float* from) { return *from; }
  static void store(float* to, Value value) { *to = value; }
  static Value mean(Value a, Value b) { return (a + b) * 0.5f; }
};

namespace baseline {
#if defined(__SSE2__) || defined(_M_X64)
struct Lane {
  static constexpr VstInt32 kWidth = 4;
  using Value = __m128;
  static Value load(const float* from) { return _mm_loadu_ps(from); }
  static void store(float* to, Value value) { _mm_storeu_ps(to, value); }
  static Value mean(Value a, Value b) { return _mm_mul_ps(_mm_add_ps(a, b), _mm_set1_ps(0.5f)); }
};
#else
using Lane = OneSample;
#endif
using Tail = OneSample;
#include "stretch_kernels.inc"
}  // namespace baseline

// GCC on Linux only: on Windows GCC does not keep the stack aligned for spilled
// AVX values, and other compilers take their target pragmas in other forms.
#if defined(__x86_64__) && !defined(_WIN32) && defined(__GNUC__) && !defined(__clang__)
#define ORSOLANE_WIDE_KERNELS 1
#pragma GCC push_options
#pragma GCC target("avx")
namespace avx {
struct Lane {
  static constexpr VstInt32 kWidth = 8;
  using Value = __m256;
  static Value load(const float* from) { return _mm256_loadu_ps(from); }
  static void store(float* to, Value value) { _mm256_storeu_ps(to, value); }
  static Value mean(Value a, Value b) {
    return _mm256_mul_ps(_mm256_add_ps(a, b), _mm256_set1_ps(0.5f));
  }
};
using Tail = baseline::Lane;  // four frames at a time before the last few
#include "stretch_kernels.inc"
}  // namespace avx
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f")
namespace avx512 {
struct Lane {
  static constexpr VstInt32 kWidth = 16;
  using Value = __m512;
  static Value load(const float* from) { return _mm512_loadu_ps(from); }
  static void store(float* to, Value value) { _mm512_storeu_ps(to, value); }
  static Value mean(Value a, Value b) {
    return _mm512_mul_ps(_mm512_add_ps(a, b), _mm512_set1_ps(0.5f));
  }
};
using Tail = avx::Lane;  // eight frames at a time before the last few
#include "stretch_kernels.inc"
}  // namespace avx512
#pragma GCC pop_options
#endif

// The kernels of `set`, or null where the processor or the build lacks them.
// AVX-512 only where the processor also has VBMI2 (Ice Lake, Zen 4 and later):
// the first AVX-512 processors lower the clock of the whole core for a while
// after 512-bit arithmetic, which would slow everything else the host runs on it.
const Kernel* kernelsOf(KernelSet set) {
#if defined(ORSOLANE_WIDE_KERNELS)
  __builtin_cpu_init();
  switch (set) {
    case KernelSet::kAvx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vbmi2")
                 ? avx512::kKernels
                 : nullptr;
    case KernelSet::kAvx: return __builtin_cpu_supports("avx") ? avx::kKernels : nullptr;
    case KernelSet::kSse2: break;
  }
#endif
  return set == KernelSet::kSse2 ? baseline::kKernels : nullptr;
}

// The module's one piece of global state: the kernel set processing uses,
// chosen when the module loads (the widest) and changed only by useKernels.
const Kernel* activeKernels = kernelsOf(widestKernels());

}  // namespace

StretchKernel kernelFor(Shape shape) { return activeKernels[static_cast<int>(shape)]; }

KernelSet widestKernels() {
  for (auto set : {KernelSet::kAvx512, KernelSet::kAvx}) {
    if (kernelsOf(set) != nullptr) return set;
  }
  return KernelSet::kSse2;
}

bool useKernels(KernelSet set) {
  const Kernel* kernels = kernelsOf(set);
  if (kernels != nullptr) activeKernels = kernels;
  return kernels != nullptr;
}

}  // namespace orsolane

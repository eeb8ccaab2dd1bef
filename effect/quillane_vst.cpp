#include "quillane_vst.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__) || defined(_M_X64)
#include <immintrin.h>
#endif

// The output must be bit-identical to the plain per-frame arithmetic.
#if defined(__FAST_MATH__)
#error "Orsolane must not be built with -ffast-math: it changes the samples"
#endif

#include "vst/text_copy.h"

namespace {

constexpr VstInt32 kRing = QuillaneVST::kDelayBufferLength;
// Input and Channel are read at least once per this many frames.
constexpr VstInt32 kParameterRun = 64;

// Truncates toward zero when the result is a 32-bit value; false for NaN,
// infinities and everything outside the range.
bool truncateToInt32(float value, VstInt32& result) {
  if (!(value >= -2147483648.0f && value < 2147483648.0f)) return false;
  result = static_cast<VstInt32>(value);
  return true;
}

using orsolane::Stretch;

inline std::uint32_t bitsOf(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// How the outputs are formed; one kernel each.
enum class Shape {
  kPassStereo,      // no delay: left to left, right to right
  kPassLeft,        // no delay: left input to both
  kPassRight,       // no delay: right input to both
  kPassMono,        // no delay: (left + right) * 0.5 to both
  kDelayFromLeft,   // undelayed output from the left input, delayed one from delayedRow
  kDelayFromRight,  // undelayed output from the right input, delayed one from delayedRow
  kDelayMono,       // both outputs the mono mean, the delayed one of both delayed rows
};
constexpr int kShapeCount = 7;

using Kernel = orsolane::StretchKernel;

// One sample at a time; the tail of every stretch, and the whole of it where
// nothing wider is available.
struct OneSample {
  static constexpr VstInt32 kWidth = 1;
  using Value = float;
  static Value load(const float* from) { return *from; }
  static void store(float* to, Value value) { *to = value; }
  static Value mean(Value a, Value b) { return (a + b) * 0.5f; }
};

}  // namespace

// The kernels, built for three lane widths: for every x86-64 processor (four
// samples at a time with SSE2) and, where the compiler can target them, eight
// at a time with AVX and sixteen with AVX-512, used only when the processor
// reports them. Every lane width performs the same IEEE single-precision
// operations, so the results are identical.
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

namespace {

// The kernels of `set`, or null where the processor or the build lacks them.
// AVX-512 only where the processor also has VBMI2 (Ice Lake, Zen 4 and later):
// the first AVX-512 processors lower the clock of the whole core for a while
// after 512-bit arithmetic, which would slow everything else the host runs on it.
const Kernel* kernelsFor(orsolane::KernelSet set) {
#if defined(ORSOLANE_WIDE_KERNELS)
  __builtin_cpu_init();
  switch (set) {
    case orsolane::KernelSet::kAvx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vbmi2")
                 ? avx512::kKernels
                 : nullptr;
    case orsolane::KernelSet::kAvx: return __builtin_cpu_supports("avx") ? avx::kKernels : nullptr;
    case orsolane::KernelSet::kSse2: break;
  }
#endif
  return set == orsolane::KernelSet::kSse2 ? baseline::kKernels : nullptr;
}

// The kernels processing uses: the widest set, chosen when the module loads.
const Kernel* kKernels = kernelsFor(orsolane::widestKernels());

// The stretch's pointers as they are.
inline void processStretch(Shape shape, const Stretch& s, VstInt32 count) {
  kKernels[static_cast<int>(shape)](s, 0, 0, count);
}

#if defined(__GNUC__) || defined(__clang__)
#define ORSOLANE_RARELY_USED __attribute__((noinline, cold))
#define ORSOLANE_NOT_INLINED __attribute__((noinline))
#else
#define ORSOLANE_RARELY_USED
#define ORSOLANE_NOT_INLINED
#endif

// Copies `count` samples of a ring row starting at `from`, wrapping at its end.
void copyFromRing(float* to, const float* row, VstInt32 from, VstInt32 count) {
  const VstInt32 first = std::min(count, kRing - from);
  std::memcpy(to, row + from, sizeof(float) * static_cast<size_t>(first));
  std::memcpy(to + first, row, sizeof(float) * static_cast<size_t>(count - first));
}

// For lags within kParameterRun of the ring's length: copies the delayed samples
// of the stretch (at most kParameterRun frames) out of both ring rows before the
// stretch's store can overwrite them, then processes it from the copies.
ORSOLANE_RARELY_USED void processStretchCopiedEarly(Shape shape, Stretch s, const float* ringLeft,
                                                    const float* ringRight, VstInt32 readFrom,
                                                    VstInt32 count) {
  float early[2][kParameterRun];
  copyFromRing(early[0], ringLeft, readFrom, count);
  copyFromRing(early[1], ringRight, readFrom, count);
  s.delayedRow = s.delayedRow == s.delayedLeft ? early[0] : early[1];
  s.delayedLeft = early[0];
  s.delayedRight = early[1];
  processStretch(shape, s, count);
}

// True when some output shares memory with another buffer of the block
// without being the same buffer. Branch-free: a and b, `bytes` long, overlap
// partly when 0 < |a - b| < bytes, that is when a - b + bytes - 1, taken
// unsigned, is below 2 * bytes - 1 and a != b.
inline bool overlapsPartly(float** inputs, float** outputs, VstInt32 count) {
  const auto bytes = sizeof(float) * static_cast<std::uintptr_t>(count);
  const auto partly = [bytes](const float* a, const float* b) {
    const auto x = reinterpret_cast<std::uintptr_t>(a);
    const auto y = reinterpret_cast<std::uintptr_t>(b);
    return static_cast<unsigned>(x - y + (bytes - 1) < 2 * bytes - 1) &
           static_cast<unsigned>(x != y);
  };
  return (partly(outputs[0], outputs[1]) | partly(outputs[0], inputs[0]) |
          partly(outputs[0], inputs[1]) | partly(outputs[1], inputs[0]) |
          partly(outputs[1], inputs[1])) != 0;
}

// The kernel's shape for a block's settings. Stereo pass-through writes the
// left output before it reads the right input: when those are one buffer, the
// right output receives the left input, which is kPassLeft.
Shape shapeFor(bool delayed, VstInt32 mode, VstInt32 channel, bool rightReadsLeft) {
  using Q = QuillaneVST;
  if (!delayed) {
    return mode == Q::kInputLeft    ? Shape::kPassLeft
           : mode == Q::kInputRight ? Shape::kPassRight
           : mode == Q::kInputMono  ? Shape::kPassMono
           : rightReadsLeft         ? Shape::kPassLeft
                                    : Shape::kPassStereo;
  }
  return mode == Q::kInputLeft    ? Shape::kDelayFromLeft
         : mode == Q::kInputRight ? Shape::kDelayFromRight
         : mode == Q::kInputMono  ? Shape::kDelayMono
         : channel == 0           ? Shape::kDelayFromRight
                                  : Shape::kDelayFromLeft;
}

// How many frames the delayed output lags its source: (delay - 1) taken into
// 0 to kRing - 1. A negative delay reads older history.
VstInt32 lagFor(VstInt32 delay) {
  if (delay > 0) return delay - 1;           // delay is at most kRing
  const VstInt32 lag = (delay - 1) % kRing;  // delay - 1 stays above INT32_MIN
  return lag < 0 ? lag + kRing : lag;
}

// Where the delayed samples of the frame stored at ring position `position`
// come from: `lag` positions back, from the ring's end when that is before its start.
inline VstInt32 delayedPosition(VstInt32 position, VstInt32 lag) {
  return position >= lag ? position - lag : position - lag + kRing;
}

// The stretch of `count` frames starting at frame `done` of the block, ring
// position `position`, delayed samples from `readFrom`.
Stretch stretchAt(float** inputs, float** outputs, float (*ring)[QuillaneVST::kDelayBufferLength],
                  VstInt32 done, VstInt32 position, VstInt32 readFrom, VstInt32 mode,
                  VstInt32 channel) {
  Stretch s;
  const bool leftDelayed = channel == 0;
  // The delayed ring row: the selected input's, the delayed channel's own in
  // Stereo; Mono reads both.
  const bool delayedRowLeft =
      mode == QuillaneVST::kInputLeft ||
      (mode != QuillaneVST::kInputRight && mode != QuillaneVST::kInputMono && leftDelayed);
  s.inLeft = inputs[0] + done;
  s.inRight = inputs[1] + done;
  s.ringLeft = ring[0] + position;
  s.ringRight = ring[1] + position;
  s.outLeft = outputs[0] + done;
  s.outRight = outputs[1] + done;
  s.outUndelayed = leftDelayed ? s.outRight : s.outLeft;
  s.outDelayed = leftDelayed ? s.outLeft : s.outRight;
  s.delayedLeft = ring[0] + readFrom;
  s.delayedRight = ring[1] + readFrom;
  s.delayedRow = delayedRowLeft ? s.delayedLeft : s.delayedRight;
  return s;
}

struct DelayAndLag {
  VstInt32 delay, lag;
};

// The delay for a Depth and a sample rate and its lag; computed only when one
// of them changes.
ORSOLANE_RARELY_USED DelayAndLag delayAndLagFor(float depthMs, float sampleRate) {
  const VstInt32 delay = QuillaneVST::delayFramesFor(depthMs, sampleRate);
  return {delay, delay != 0 ? lagFor(delay) : 0};
}

}  // namespace

orsolane::KernelSet orsolane::widestKernels() {
  for (auto set : {KernelSet::kAvx512, KernelSet::kAvx}) {
    if (kernelsFor(set) != nullptr) return set;
  }
  return KernelSet::kSse2;
}

bool orsolane::useKernels(KernelSet set) {
  const Kernel* kernels = kernelsFor(set);
  if (kernels != nullptr) kKernels = kernels;
  return kernels != nullptr;
}

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new (std::nothrow) QuillaneVST(audioMaster);
}

QuillaneVST::QuillaneVST(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, 1, kNumParams),
      inputMode(kInputStereo),
      delayedChannel(1),
      depthMs(10.0f),
      writePos(0) {
  // delaySamples keeps the zero of the freshly filled block.
  setNumInputs(2);
  setNumOutputs(2);
  canProcessReplacing(true);
  programsAreChunks(false);
  setFlag(effFlagsIsSynth, false);
  setUniqueID(kUniqueId);
  std::memset(delayBuffer, 0, sizeof delayBuffer);
}

VstInt32 QuillaneVST::delayFramesFor(float depthMs, float sampleRate) {
  VstInt32 frames = 0;
  if (!truncateToInt32(depthMs * sampleRate / 1000.0f, frames)) return 0;
  if (frames > kRing) return 0;
  // (writePos - frames + kRing) must stay within 32 bits for writePos up to kRing.
  if (frames < -(0x7FFFFFFF - 2 * kRing)) return 0;
  return frames;
}

// Processing moves stretches of frames in one pass each instead of one frame
// at a time, and gives exactly the output of the frame-by-frame order (store
// both inputs in the ring, advance the position, read Input and Channel, write
// the undelayed output, then the delayed one):
// - Within a stretch, each group of frames reads its input samples before it
//   writes anything (see processFrames), so in-place and swapped buffers see
//   the values the frame-by-frame order sees.
// - Its inputs go into the ring before its delayed samples are read. That is
//   right as long as no later frame of the stretch stores to a position an
//   earlier frame reads: with the delayed output `lag` frames behind, stretches
//   hold at most kRing - lag frames. For lags within kParameterRun of the
//   ring's length (a delay of exactly the ring, or a small negative one), the
//   delayed samples of at most kParameterRun frames are copied out before the
//   store.
// - Buffers that overlap without being the same (no host hands those over) are
//   processed one frame at a time through the same steps.
//
// Input and Channel are relaxed atomics, read once per run of at most
// kParameterRun frames: a relaxed load may go on returning the value it last
// saw until a new store becomes visible, so this is one of the executions
// "read for every frame" allows, and a change from another thread takes effect
// within kParameterRun frames. The loads for following runs may come before
// the writes of earlier ones (relaxed loads are not ordered with them); runs
// that read the same values are processed together.
//
// The usual block comes on the buffers of the block before, with the same
// Depth, sample rate, Input and Channel, and is one stretch (neither its ring
// positions nor its delayed ones wrap). It is checked with one branch and goes
// straight to the planned kernel; every other block takes processUnplanned.
void QuillaneVST::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
  const float depth = depthMs;
  const float rate = sampleRate;
  const VstInt32 mode = inputMode;
  const VstInt32 channel = delayedChannel;
  const auto differs = [](const float* a, const float* b) {
    return reinterpret_cast<std::uintptr_t>(a) ^ reinterpret_cast<std::uintptr_t>(b);
  };
  const std::uintptr_t changed =
      differs(inputs[0], plan.buffers[0]) | differs(inputs[1], plan.buffers[1]) |
      differs(outputs[0], plan.buffers[2]) | differs(outputs[1], plan.buffers[3]) |
      ((bitsOf(depth) ^ plan.depthBits) | (bitsOf(rate) ^ plan.rateBits) |
       static_cast<std::uint32_t>((mode ^ plan.mode) | (channel ^ plan.channel)));
  // 1 to plan.frames frames, read as unsigned so 0 and negative counts fail.
  const bool planned = changed == 0 && static_cast<std::uint32_t>(sampleFrames) - 1u <
                                           static_cast<std::uint32_t>(plan.frames);
  if (planned && (sampleFrames <= kParameterRun || sameThroughout(sampleFrames, mode, channel))) {
    // Delayed samples from behind the ring's start come from its end; then the
    // block must end before the position they start from.
    const VstInt32 position = writePos;
    const bool behind = position < plan.lag;
    if (sampleFrames <= (behind ? plan.lag : kRing) - position) {
      writePos = position + sampleFrames;
      plan.kernel(plan.stretch, position, delayedPosition(position, plan.lag), sampleFrames);
      return;
    }
  }
  processUnplanned(inputs, outputs, sampleFrames, depth, rate, mode, channel);
}

bool QuillaneVST::sameThroughout(VstInt32 sampleFrames, VstInt32 mode, VstInt32 channel) {
  // One read of Input and Channel per run of kParameterRun frames stands for
  // the read of every frame of the run (see processReplacing).
  for (VstInt32 run = kParameterRun; run < sampleFrames; run += kParameterRun) {
    if (inputMode != mode || delayedChannel != channel) return false;
  }
  return true;
}

ORSOLANE_NOT_INLINED void QuillaneVST::processUnplanned(float** inputs, float** outputs,
                                                        VstInt32 sampleFrames, float depth,
                                                        float rate, VstInt32 mode,
                                                        VstInt32 channel) {
  const std::uint32_t depthBits = bitsOf(depth);
  const std::uint32_t rateBits = bitsOf(rate);
  if (depthBits != delayDepthBits || rateBits != delayRateBits) {
    const DelayAndLag computed = delayAndLagFor(depth, rate);
    delayForBits = computed.delay;
    lagForBits = computed.lag;
    delayDepthBits = depthBits;
    delayRateBits = rateBits;
  }
  delaySamples = delayForBits;
  // The planned path leaves delaySamples as it is: a plan holds only while
  // delaySamples is the delay it was made for.
  if (depthBits != plan.depthBits || rateBits != plan.rateBits) plan.frames = 0;
  if (sampleFrames <= 0) return;
  const bool delayed = delaySamples != 0;
  const VstInt32 lag = lagForBits;

  const VstInt32 position = writePos < kRing ? writePos : 0;
  const VstInt32 readFrom = delayedPosition(position, lag);
  // The longest stretch this lag allows (see above).
  const VstInt32 longestStretch = lag == 0 ? kRing : kRing - lag;
  const bool oneStretch =
      std::max(position, readFrom) <= kRing - sampleFrames && sampleFrames <= longestStretch;
  if (oneStretch && sameThroughout(sampleFrames, mode, channel) &&
      !overlapsPartly(inputs, outputs, sampleFrames)) {
    // Plans blocks on these buffers and settings. A longer block found free of
    // partial overlaps on the same buffers before still counts.
    const bool sameBuffers = plan.buffers[0] == inputs[0] && plan.buffers[1] == inputs[1] &&
                             plan.buffers[2] == outputs[0] && plan.buffers[3] == outputs[1];
    plan.frames =
        std::min(sameBuffers ? std::max(plan.frames, sampleFrames) : sampleFrames, longestStretch);
    plan.depthBits = depthBits;
    plan.rateBits = rateBits;
    plan.mode = mode;
    plan.channel = channel;
    plan.lag = lag;
    plan.buffers[0] = inputs[0];
    plan.buffers[1] = inputs[1];
    plan.buffers[2] = outputs[0];
    plan.buffers[3] = outputs[1];
    const bool rightReadsLeft = outputs[0] == inputs[1] && inputs[0] != inputs[1];
    plan.kernel = kKernels[static_cast<int>(shapeFor(delayed, mode, channel, rightReadsLeft))];
    plan.stretch = stretchAt(inputs, outputs, delayBuffer, 0, 0, 0, mode, channel);
    plan.kernel(plan.stretch, position, readFrom, sampleFrames);
    writePos = position + sampleFrames;
    return;
  }
  processStretches(inputs, outputs, sampleFrames, lag, mode, channel);
}

void QuillaneVST::processStretches(float** inputs, float** outputs, VstInt32 sampleFrames,
                                   VstInt32 lag, VstInt32 mode, VstInt32 channel) {
  const bool delayed = delaySamples != 0;
  const bool copyEarly = delayed && kRing - lag < kParameterRun;
  const VstInt32 longestStretch = !delayed || lag == 0 ? kRing
                                  : copyEarly          ? kParameterRun
                                                       : kRing - lag;
  const bool frameByFrame = overlapsPartly(inputs, outputs, sampleFrames);
  const bool rightReadsLeft = outputs[0] == inputs[1] && inputs[0] != inputs[1];
  const VstInt32 runLength = frameByFrame ? 1 : kParameterRun;

  VstInt32 position = writePos;
  VstInt32 done = 0;
  while (done < sampleFrames) {
    // Input and Channel as at processReplacing: the first run uses the values
    // read there, every later run reads them again.
    if (done > 0) {
      mode = inputMode;
      channel = delayedChannel;
    }
    VstInt32 end = done + std::min(runLength, sampleFrames - done);
    while (end < sampleFrames && !frameByFrame && inputMode == mode && delayedChannel == channel) {
      end += std::min(runLength, sampleFrames - end);
    }
    const Shape shape = shapeFor(delayed, mode, channel, rightReadsLeft);
    while (done < end) {
      if (position >= kRing) position = 0;
      VstInt32 count = std::min({end - done, kRing - position, longestStretch});
      const VstInt32 readFrom = delayedPosition(position, lag);
      if (delayed && !copyEarly) {
        count = std::min(count, kRing - readFrom);  // the delayed positions do not wrap
      }
      const Stretch s =
          stretchAt(inputs, outputs, delayBuffer, done, position, readFrom, mode, channel);
      if (copyEarly) {
        processStretchCopiedEarly(shape, s, delayBuffer[0], delayBuffer[1], readFrom, count);
      } else {
        processStretch(shape, s, count);
      }
      position += count;
      done += count;
    }
  }
  writePos = position;
}

void QuillaneVST::setParameter(VstInt32 index, float value) {
  switch (index) {
    case kParamInput: {
      // NaN and values whose product has no 32-bit value saturate to a value
      // outside 0 to 3, which behaves like Stereo.
      VstInt32 mode = 0;
      if (!truncateToInt32(value * 4.0f, mode)) mode = value > 0.0f ? 0x7FFFFFFF : -0x7FFFFFFF - 1;
      inputMode = mode == 4 ? kInputMono : mode;
      break;
    }
    case kParamChannel: delayedChannel = value >= 0.5f ? 1 : 0; break;
    case kParamDepth: depthMs = value * 50.0f; break;
    default: break;
  }
}

float QuillaneVST::getParameter(VstInt32 index) {
  switch (index) {
    case kParamInput: return static_cast<float>(inputMode.load()) * 0.25f;
    case kParamChannel: return static_cast<float>(delayedChannel.load()) * 0.5f;
    case kParamDepth: return depthMs / 50.0f;
    default: return 0.0f;
  }
}

void QuillaneVST::getParameterName(VstInt32 index, char* text) {
  static const char* const kNames[kNumParams] = {"Input", "Channel", "Depth"};
  if (index >= 0 && index < kNumParams) vst::copyText(text, kNames[index], kVstMaxParamStrLen);
}

void QuillaneVST::getParameterLabel(VstInt32 index, char* label) {
  static const char* const kLabels[kNumParams] = {"", "", "ms"};
  if (index >= 0 && index < kNumParams) vst::copyText(label, kLabels[index], kVstMaxParamStrLen);
}

void QuillaneVST::getParameterDisplay(VstInt32 index, char* text) {
  switch (index) {
    case kParamInput: {
      const VstInt32 mode = inputMode;
      const char* name = mode == kInputLeft    ? "L"
                         : mode == kInputRight ? "R"
                         : mode == kInputMono  ? "Mono"
                                               : "Stereo";
      vst::copyText(text, name, kVstMaxParamStrLen);
      break;
    }
    case kParamChannel:
      vst::copyText(text, delayedChannel == 0 ? "L" : "R", kVstMaxParamStrLen);
      break;
    case kParamDepth: float2string(depthMs, text, kVstMaxParamStrLen); break;
    default: break;
  }
}

// The effect name and the product name are the same text.
bool QuillaneVST::getEffectName(char* name) {
  vst::copyText(name, "Orsolane", kIdentityTextLength);
  return true;
}

bool QuillaneVST::getProductString(char* text) { return QuillaneVST::getEffectName(text); }

bool QuillaneVST::getVendorString(char* text) {
  vst::copyText(text, "Velmbrook", kIdentityTextLength);
  return true;
}

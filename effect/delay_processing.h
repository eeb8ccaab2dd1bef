// The effect's delay processing: one block at a time into the ring and the
// outputs, cut into stretches that the kernels (stretch_kernels.h) move in one
// pass each, with exactly the output of the frame-by-frame order. It works on
// ring state the effect owns and no plug-in interface appears in it.
#pragma once

#include <cstdint>
#include <cstring>

#include "stretch_kernels.h"
#include "vst/relaxed.h"
#include "vst/types.h"

namespace orsolane {

// Frames per ring row, at every sample rate; also the largest delay accepted.
constexpr VstInt32 kRingFrames = 44100;

// Input and Channel are read once for every run of this many frames (and at
// the start of each block).
constexpr VstInt32 kFramesPerRoutingRead = 64;

// The source sent to the outputs (the effect's Input parameter). Any other
// value behaves like kInputStereo.
enum InputMode : VstInt32 { kInputStereo = 0, kInputLeft = 1, kInputRight = 2, kInputMono = 3 };

// Truncates toward zero when the result is a 32-bit value; false for NaN,
// infinities and everything outside the range.
inline bool truncateToInt32(float value, VstInt32& result) {
  if (!(value >= -2147483648.0f && value < 2147483648.0f)) return false;
  result = static_cast<VstInt32>(value);
  return true;
}

// The delay in frames for a Depth and a sample rate: depthMs * sampleRate /
// 1000 in float, truncated; 0 above kRingFrames, and 0 where the product has no
// 32-bit value or would carry the ring arithmetic past 32 bits. The delayed
// output reads the ring `delay` positions behind the write position after the
// frame's store, so it trails its source by delay - 1 frames (see lagFrames).
VstInt32 delayFramesFor(float depthMs, float sampleRate);

// The ring state processing works on; the effect owns it.
struct Ring {
  float (&rows)[2][kRingFrames];  // row 0 left input, row 1 right input
  VstInt32& writePos;             // where the next frame goes, 0 to kRingFrames
  VstInt32& delaySamples;         // the delay of the latest block, in frames
};

// Input and Channel as the host sets them, read again for every run of frames.
struct Routing {
  const Relaxed<VstInt32>& inputMode;
  const Relaxed<VstInt32>& delayedChannel;  // 0 left, 1 right
};

// One call of processing: its buffers and the values read at its start.
struct Block {
  float** inputs;
  float** outputs;
  VstInt32 frames;
  float depthMs, sampleRate;  // read once for the block
  VstInt32 mode, channel;     // Input and Channel as read for its first run
};

// The bits of a float, for comparing values exactly (NaN included).
inline std::uint32_t bitsOf(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// Where the delayed samples of the frame stored at ring position `position`
// come from: `lagFrames` positions back, from the ring's end when that is
// before its start.
inline VstInt32 delayedPosition(VstInt32 position, VstInt32 lagFrames) {
  return position >= lagFrames ? position - lagFrames : position - lagFrames + kRingFrames;
}

// The processing state beside the ring: the delay last computed and the plan
// for the usual block [audio thread].
class DelayProcessing {
 public:
  // Processes one block: stores its inputs in the ring, writes its outputs and
  // sets ring.delaySamples to the delay for the block's Depth and sample rate.
  void process(const Ring& ring, const Routing& routing, const Block& block);

 private:
  // The delay for one Depth and sample rate (their exact bits), computed only
  // when one of them changes, so an unchanged pair costs no division.
  struct DelayCache {
    std::uint32_t depthBits = 0;
    std::uint32_t rateBits = 0;
    VstInt32 delayFrames = 0;  // delayFramesFor(depth, rate)
    VstInt32 lagFrames = 0;    // how far the delayed output trails its source
  };
  DelayCache delay;

  // The plan for the usual block: the same buffers, Depth, sample rate, Input
  // and Channel as a block before it. It holds that block's stretch from frame
  // 0 and ring position 0 and its kernel, so such a block costs a few
  // comparisons before its kernel runs. It holds only while `delay` is the one
  // it was made with.
  struct Plan {
    VstInt32 mode, channel;
    VstInt32 maxFrames;       // the longest block found free of partial overlaps; 0: no plan
    const float* buffers[4];  // inputs[0], inputs[1], outputs[0], outputs[1]
    StretchKernel kernel;
    Stretch stretch;
  };
  Plan plan{};

  // Every block the planned path does not take: the first of new buffers or
  // settings, ring wraps, partly overlapping buffers, parameter changes within
  // the block.
  void processUnplanned(const Ring& ring, const Routing& routing, const Block& block);
  // True when Input and Channel read for every later run of the block are
  // `mode` and `channel`.
  static bool sameThroughout(const Routing& routing, VstInt32 frames, VstInt32 mode,
                             VstInt32 channel);
  void processStretches(const Ring& ring, const Routing& routing, const Block& block);
};

// The usual block comes on the buffers of the block before, with the same
// Depth, sample rate, Input and Channel, and is one stretch (neither its ring
// positions nor its delayed ones wrap). It is checked with one branch and goes
// straight to the planned kernel; every other block takes processUnplanned.
inline void DelayProcessing::process(const Ring& ring, const Routing& routing, const Block& block) {
  // Non-zero where a and b differ: their xor.
  const auto differingBits = [](const float* a, const float* b) {
    return reinterpret_cast<std::uintptr_t>(a) ^ reinterpret_cast<std::uintptr_t>(b);
  };
  const std::uintptr_t changed =
      differingBits(block.inputs[0], plan.buffers[0]) |
      differingBits(block.inputs[1], plan.buffers[1]) |
      differingBits(block.outputs[0], plan.buffers[2]) |
      differingBits(block.outputs[1], plan.buffers[3]) |
      ((bitsOf(block.depthMs) ^ delay.depthBits) | (bitsOf(block.sampleRate) ^ delay.rateBits) |
       static_cast<std::uint32_t>((block.mode ^ plan.mode) | (block.channel ^ plan.channel)));
  // 1 to plan.maxFrames frames, read as unsigned so 0 and negative counts fail.
  const bool planned = changed == 0 && static_cast<std::uint32_t>(block.frames) - 1u <
                                           static_cast<std::uint32_t>(plan.maxFrames);
  if (planned && (block.frames <= kFramesPerRoutingRead ||
                  sameThroughout(routing, block.frames, block.mode, block.channel))) {
    // Delayed samples from behind the ring's start come from its end; then the
    // block must end before the position they start from.
    const VstInt32 position = ring.writePos;
    const VstInt32 lag = delay.lagFrames;
    const bool behind = position < lag;
    if (block.frames <= (behind ? lag : kRingFrames) - position) {
      ring.writePos = position + block.frames;
      plan.kernel(plan.stretch, position, delayedPosition(position, lag), block.frames);
      return;
    }
  }
  processUnplanned(ring, routing, block);
}

}  // namespace orsolane

// Processing moves stretches of frames in one pass each instead of one frame
// at a time, and gives exactly the output of the frame-by-frame order (store
// both inputs in the ring, advance the position, read Input and Channel, write
// the undelayed output, then the delayed one):
// - Within a stretch, each group of frames reads its input samples before it
//   writes anything (see processFrames), so in-place and swapped buffers see
//   the values the frame-by-frame order sees.
// - Its inputs go into the ring before its delayed samples are read. That is
//   right as long as no later frame of the stretch stores to a position an
//   earlier frame reads: with the delayed output lagFrames behind, stretches
//   hold at most kRingFrames - lagFrames frames. For lags within
//   kFramesPerRoutingRead of the ring's length (a delay of exactly the ring, or
//   a small negative one), the delayed samples of at most kFramesPerRoutingRead
//   frames are copied out before the store.
// - Buffers that overlap without being the same (no host hands those over) are
//   processed one frame at a time through the same steps.
//
// Input and Channel are relaxed atomics, read once per run of at most
// kFramesPerRoutingRead frames: a relaxed load may go on returning the value it
// last saw until a new store becomes visible, so this is one of the executions
// "read for every frame" allows, and a change from another thread takes effect
// within kFramesPerRoutingRead frames. The loads for following runs may come
// before the writes of earlier ones (relaxed loads are not ordered with them);
// runs that read the same values are processed together.
#include "delay_processing.h"

#include <algorithm>
#include <cstring>

namespace orsolane {
namespace {

#if defined(__GNUC__) || defined(__clang__)
#define ORSOLANE_RARELY_USED __attribute__((noinline, cold))
#else
#define ORSOLANE_RARELY_USED
#endif

// Copies `count` samples of a ring row starting at `from`, wrapping at its end.
void copyFromRing(float* to, const float* row, VstInt32 from, VstInt32 count) {
  const VstInt32 first = std::min(count, kRingFrames - from);
  std::memcpy(to, row + from, sizeof(float) * static_cast<size_t>(first));
  std::memcpy(to + first, row, sizeof(float) * static_cast<size_t>(count - first));
}

// The stretch's pointers as they are.
inline void processStretch(Shape shape, const Stretch& s, VstInt32 count) {
  kernelFor(shape)(s, 0, 0, count);
}

// For lags within kFramesPerRoutingRead of the ring's length: copies the
// delayed samples of the stretch (at most kFramesPerRoutingRead frames) out of
// both ring rows before the stretch's store can overwrite them, then processes
// it from the copies.
ORSOLANE_RARELY_USED void processStretchCopiedEarly(Shape shape, Stretch s, const float* ringLeft,
                                                    const float* ringRight, VstInt32 readFrom,
                                                    VstInt32 count) {
  float early[2][kFramesPerRoutingRead];
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
  if (!delayed) {
    return mode == kInputLeft    ? Shape::kPassLeft
           : mode == kInputRight ? Shape::kPassRight
           : mode == kInputMono  ? Shape::kPassMono
           : rightReadsLeft      ? Shape::kPassLeft
                                 : Shape::kPassStereo;
  }
  return mode == kInputLeft    ? Shape::kDelayFromLeft
         : mode == kInputRight ? Shape::kDelayFromRight
         : mode == kInputMono  ? Shape::kDelayMono
         : channel == 0        ? Shape::kDelayFromRight
                               : Shape::kDelayFromLeft;
}

// How many frames the delayed output trails its source for a delay of
// `delayFrames`: one fewer, since the delayed read comes after the frame's own
// store, taken into 0 to kRingFrames - 1. A negative delay reads older history.
VstInt32 lagFramesFor(VstInt32 delayFrames) {
  if (delayFrames > 0) return delayFrames - 1;           // at most kRingFrames - 1
  const VstInt32 lag = (delayFrames - 1) % kRingFrames;  // stays above INT32_MIN
  return lag < 0 ? lag + kRingFrames : lag;
}

// The stretch of `count` frames starting at frame `done` of the block, ring
// position `position`, delayed samples from `readFrom`.
Stretch stretchAt(const Block& block, float (&ring)[2][kRingFrames], VstInt32 done,
                  VstInt32 position, VstInt32 readFrom, VstInt32 mode, VstInt32 channel) {
  Stretch s;
  const bool leftDelayed = channel == 0;
  // The delayed ring row: the selected input's, the delayed channel's own in
  // Stereo; Mono reads both.
  const bool delayedRowLeft =
      mode == kInputLeft || (mode != kInputRight && mode != kInputMono && leftDelayed);
  s.inLeft = block.inputs[0] + done;
  s.inRight = block.inputs[1] + done;
  s.ringLeft = ring[0] + position;
  s.ringRight = ring[1] + position;
  s.outLeft = block.outputs[0] + done;
  s.outRight = block.outputs[1] + done;
  s.outUndelayed = leftDelayed ? s.outRight : s.outLeft;
  s.outDelayed = leftDelayed ? s.outLeft : s.outRight;
  s.delayedLeft = ring[0] + readFrom;
  s.delayedRight = ring[1] + readFrom;
  s.delayedRow = delayedRowLeft ? s.delayedLeft : s.delayedRight;
  return s;
}

struct DelayAndLag {
  VstInt32 delayFrames, lagFrames;
};

// The delay for a Depth and a sample rate and its lag; computed only when one
// of them changes.
ORSOLANE_RARELY_USED DelayAndLag delayAndLagFor(float depthMs, float sampleRate) {
  const VstInt32 delayFrames = delayFramesFor(depthMs, sampleRate);
  return {delayFrames, delayFrames != 0 ? lagFramesFor(delayFrames) : 0};
}

}  // namespace

VstInt32 delayFramesFor(float depthMs, float sampleRate) {
  VstInt32 frames = 0;
  if (!truncateToInt32(depthMs * sampleRate / 1000.0f, frames)) return 0;
  if (frames > kRingFrames) return 0;
  // (writePos - frames + kRingFrames) must stay within 32 bits for writePos up
  // to kRingFrames.
  if (frames < -(0x7FFFFFFF - 2 * kRingFrames)) return 0;
  return frames;
}

bool DelayProcessing::sameThroughout(const Routing& routing, VstInt32 frames, VstInt32 mode,
                                     VstInt32 channel) {
  // One read of Input and Channel per run stands for the read of every frame
  // of the run (see above).
  for (VstInt32 run = kFramesPerRoutingRead; run < frames; run += kFramesPerRoutingRead) {
    if (routing.inputMode != mode || routing.delayedChannel != channel) return false;
  }
  return true;
}

void DelayProcessing::processUnplanned(const Ring& ring, const Routing& routing,
                                       const Block& block) {
  const std::uint32_t depthBits = bitsOf(block.depthMs);
  const std::uint32_t rateBits = bitsOf(block.sampleRate);
  if (depthBits != delay.depthBits || rateBits != delay.rateBits) {
    const DelayAndLag computed = delayAndLagFor(block.depthMs, block.sampleRate);
    delay = {depthBits, rateBits, computed.delayFrames, computed.lagFrames};
    plan.maxFrames = 0;  // made for the delay before
  }
  ring.delaySamples = delay.delayFrames;
  if (block.frames <= 0) return;
  const bool delayed = delay.delayFrames != 0;
  const VstInt32 lag = delay.lagFrames;

  const VstInt32 position = ring.writePos < kRingFrames ? ring.writePos : 0;
  const VstInt32 readFrom = delayedPosition(position, lag);
  // The longest stretch this lag allows (see above).
  const VstInt32 longestStretch = lag == 0 ? kRingFrames : kRingFrames - lag;
  const bool oneStretch =
      std::max(position, readFrom) <= kRingFrames - block.frames && block.frames <= longestStretch;
  if (oneStretch && sameThroughout(routing, block.frames, block.mode, block.channel) &&
      !overlapsPartly(block.inputs, block.outputs, block.frames)) {
    // Plans blocks on these buffers and settings. A longer block found free of
    // partial overlaps on the same buffers before still counts.
    float** inputs = block.inputs;
    float** outputs = block.outputs;
    const bool sameBuffers = plan.buffers[0] == inputs[0] && plan.buffers[1] == inputs[1] &&
                             plan.buffers[2] == outputs[0] && plan.buffers[3] == outputs[1];
    plan.maxFrames = std::min(sameBuffers ? std::max(plan.maxFrames, block.frames) : block.frames,
                              longestStretch);
    plan.mode = block.mode;
    plan.channel = block.channel;
    plan.buffers[0] = inputs[0];
    plan.buffers[1] = inputs[1];
    plan.buffers[2] = outputs[0];
    plan.buffers[3] = outputs[1];
    const bool rightReadsLeft = outputs[0] == inputs[1] && inputs[0] != inputs[1];
    plan.kernel = kernelFor(shapeFor(delayed, block.mode, block.channel, rightReadsLeft));
    plan.stretch = stretchAt(block, ring.rows, 0, 0, 0, block.mode, block.channel);
    plan.kernel(plan.stretch, position, readFrom, block.frames);
    ring.writePos = position + block.frames;
    return;
  }
  processStretches(ring, routing, block);
}

void DelayProcessing::processStretches(const Ring& ring, const Routing& routing,
                                       const Block& block) {
  const bool delayed = delay.delayFrames != 0;
  const VstInt32 lag = delay.lagFrames;
  const bool copyEarly = delayed && kRingFrames - lag < kFramesPerRoutingRead;
  const VstInt32 longestStretch = !delayed || lag == 0 ? kRingFrames
                                  : copyEarly          ? kFramesPerRoutingRead
                                                       : kRingFrames - lag;
  const bool frameByFrame = overlapsPartly(block.inputs, block.outputs, block.frames);
  const bool rightReadsLeft =
      block.outputs[0] == block.inputs[1] && block.inputs[0] != block.inputs[1];
  const VstInt32 runLength = frameByFrame ? 1 : kFramesPerRoutingRead;

  VstInt32 mode = block.mode;
  VstInt32 channel = block.channel;
  VstInt32 position = ring.writePos;
  VstInt32 done = 0;
  while (done < block.frames) {
    // Input and Channel as read at the block's start for the first run; every
    // later run reads them again.
    if (done > 0) {
      mode = routing.inputMode;
      channel = routing.delayedChannel;
    }
    VstInt32 end = done + std::min(runLength, block.frames - done);
    while (end < block.frames && !frameByFrame && routing.inputMode == mode &&
           routing.delayedChannel == channel) {
      end += std::min(runLength, block.frames - end);
    }
    const Shape shape = shapeFor(delayed, mode, channel, rightReadsLeft);
    while (done < end) {
      if (position >= kRingFrames) position = 0;
      VstInt32 count = std::min({end - done, kRingFrames - position, longestStretch});
      const VstInt32 readFrom = delayedPosition(position, lag);
      if (delayed && !copyEarly) {
        count = std::min(count, kRingFrames - readFrom);  // the delayed positions do not wrap
      }
      const Stretch s = stretchAt(block, ring.rows, done, position, readFrom, mode, channel);
      if (copyEarly) {
        processStretchCopiedEarly(shape, s, ring.rows[0], ring.rows[1], readFrom, count);
      } else {
        processStretch(shape, s, count);
      }
      position += count;
      done += count;
    }
  }
  ring.writePos = position;
}

}  // namespace orsolane

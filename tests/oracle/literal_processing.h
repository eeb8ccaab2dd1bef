// The effect with its processing written literally, one frame at a time, in
// the exact order of reads and writes the effect promises: store both inputs in
// the ring, advance the position, read Input and Channel, write the undelayed
// output, then the delayed one. It is the reference the optimised
// QuillaneVST::processReplacing must match bit for bit, and the baseline the
// benchmarks measure it against. Parameters and sample rate go through the
// effect's own operations, so only processing differs.
#pragma once

#include <cstddef>

#include "quillane_vst.h"

// The processing state a derived effect sees, exposed so tests can compare it.
template <typename Effect>
class Observed : public Effect {
 public:
  using Effect::Effect;
  VstInt32 delayFrames() const { return this->delaySamples; }
  VstInt32 ringPosition() const { return this->writePos; }
  const float* ring() const { return &this->delayBuffer[0][0]; }  // both rows, row 0 first
  static constexpr size_t kRingSamples = 2 * QuillaneVST::kDelayBufferLength;
};

class LiteralQuillane : public QuillaneVST {
 public:
  LiteralQuillane() : QuillaneVST(nullptr) {}

  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override {
    constexpr VstInt32 kRingFrames = kDelayBufferLength;
    delaySamples = delayFramesFor(depthMs, sampleRate);
    for (VstInt32 i = 0; i < sampleFrames; ++i) {
      if (writePos >= kRingFrames) writePos = 0;
      delayBuffer[0][writePos] = inputs[0][i];
      delayBuffer[1][writePos] = inputs[1][i];
      ++writePos;
      const VstInt32 mode = inputMode;
      const VstInt32 channel = delayedChannel;
      if (delaySamples == 0) {
        if (mode == kInputLeft || mode == kInputRight || mode == kInputMono) {
          const float value = mode == kInputLeft    ? inputs[0][i]
                              : mode == kInputRight ? inputs[1][i]
                                                    : (inputs[0][i] + inputs[1][i]) * 0.5f;
          outputs[1][i] = value;
          outputs[0][i] = value;
        } else {
          outputs[0][i] = inputs[0][i];
          outputs[1][i] = inputs[1][i];
        }
        continue;
      }
      const VstInt32 c = channel;
      const VstInt32 u = 1 - c;
      const VstInt32 r = (writePos - delaySamples + kRingFrames) % kRingFrames;
      switch (mode) {
        case kInputLeft:
          outputs[u][i] = inputs[0][i];
          outputs[c][i] = delayBuffer[0][r];
          break;
        case kInputRight:
          outputs[u][i] = inputs[1][i];
          outputs[c][i] = delayBuffer[1][r];
          break;
        case kInputMono:
          outputs[u][i] = (inputs[0][i] + inputs[1][i]) * 0.5f;
          outputs[c][i] = (delayBuffer[0][r] + delayBuffer[1][r]) * 0.5f;
          break;
        default:
          outputs[u][i] = inputs[u][i];
          outputs[c][i] = delayBuffer[c][r];
          break;
      }
    }
  }
};

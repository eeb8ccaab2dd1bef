// Orsolane: a Haas stereo widener. It selects a source from the stereo input
// (the pair, left, right or their mono mean), sends it to both outputs and
// delays one output channel by 0 to 50 ms through a ring of the last 44100
// input frames held inside the instance.
//
// How values cross threads:
//   inputMode, delayedChannel  written by setParameter [any thread]; read by
//                              processing at least once every 64 frames
//                              (relaxed atomics; see processReplacing)
//   depthMs, sampleRate        written by setParameter / setSampleRate; read by
//                              processing once per call (relaxed atomics)
//   delaySamples, delayBuffer, writePos
//                              belong to processing alone [audio thread]
#pragma once

#include <cstdint>

#include "stretch.h"
#include "vst/audio_effect_x.h"

class QuillaneVST : public AudioEffectX {
 public:
  enum Parameter : VstInt32 { kParamInput = 0, kParamChannel = 1, kParamDepth = 2, kNumParams = 3 };
  enum InputMode : VstInt32 { kInputStereo = 0, kInputLeft = 1, kInputRight = 2, kInputMono = 3 };
  // Frames per ring row, at every sample rate; also the largest delay accepted.
  static constexpr VstInt32 kDelayBufferLength = 44100;
  static constexpr VstInt32 kUniqueId = VST_FOUR_CHARS('v', 'q', 'z', 'x');

  // [construction] Makes no host call.
  explicit QuillaneVST(audioMasterCallback audioMaster);
  ~QuillaneVST() override = default;

  // [audio thread] Allocates nothing, locks nothing, calls nothing.
  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;

  // [any thread] Store or read one field whole; no clamping beyond the conversion.
  void setParameter(VstInt32 index, float value) override;
  float getParameter(VstInt32 index) override;
  // [any thread] Write 9 bytes for indices 0 to 2, nothing for any other.
  void getParameterLabel(VstInt32 index, char* label) override;
  void getParameterDisplay(VstInt32 index, char* text) override;
  void getParameterName(VstInt32 index, char* text) override;

  // [any thread] Identity texts: exactly 25 bytes into the host's buffer
  // (kIdentityTextLength characters, zero-filled, then a zero byte); true.
  bool getEffectName(char* name) override;
  bool getVendorString(char* text) override;
  bool getProductString(char* text) override;
  static constexpr VstInt32 kIdentityTextLength = 24;

  // The delay in frames that processing uses for a Depth and a sample rate:
  // truncated, 0 above the ring's length, and 0 where the product has no 32-bit
  // value or would carry the ring arithmetic past 32 bits.
  static VstInt32 delayFramesFor(float depthMs, float sampleRate);

 protected:
  // The state, reachable by derived effects (and by the frame-by-frame reference
  // the tests hold the processing against).
  Relaxed<VstInt32> inputMode;
  Relaxed<VstInt32> delayedChannel;  // 0 left, 1 right
  Relaxed<float> depthMs;
  VstInt32 delaySamples;
  float delayBuffer[2][kDelayBufferLength];  // row 0 left input, row 1 right input
  VstInt32 writePos;                         // 0 to kDelayBufferLength

 private:
  // The delay last computed and the exact Depth and sample rate (their bits) it
  // was computed from, so an unchanged pair costs no division [audio thread].
  std::uint32_t delayDepthBits = 0;
  std::uint32_t delayRateBits = 0;
  VstInt32 delayForBits = 0;
  VstInt32 lagForBits = 0;  // how far the delayed output lags, for delayForBits

  // The plan for the usual block: the same buffers, Depth, sample rate, Input
  // and Channel as a block before it. It holds that block's stretch from frame
  // 0 and ring position 0 and its kernel, so such a block costs a few
  // comparisons before its kernel runs [audio thread].
  struct Plan {
    std::uint32_t depthBits, rateBits;  // delaySamples is the delay for these
    VstInt32 mode, channel;
    VstInt32 frames;  // the longest block found free of partial overlaps; 0: no plan
    VstInt32 lag;
    const float* buffers[4];  // inputs[0], inputs[1], outputs[0], outputs[1]
    orsolane::StretchKernel kernel;
    orsolane::Stretch stretch;
  };
  Plan plan{};

  // Every block the planned path does not take: the first of new buffers or
  // settings, ring wraps, partly overlapping buffers, parameter changes within
  // the block. `depth` and `rate` are the values read for this call, `mode` and
  // `channel` those read for its first run of frames [audio thread].
  void processUnplanned(float** inputs, float** outputs, VstInt32 sampleFrames, float depth,
                        float rate, VstInt32 mode, VstInt32 channel);
  // True when Input and Channel read for every later run of kParameterRun
  // frames of the block are `mode` and `channel` [audio thread].
  bool sameThroughout(VstInt32 sampleFrames, VstInt32 mode, VstInt32 channel);
  void processStretches(float** inputs, float** outputs, VstInt32 sampleFrames, VstInt32 lag,
                        VstInt32 mode, VstInt32 channel);
};

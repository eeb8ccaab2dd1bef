// Orsolane: a Haas stereo widener. It selects a source from the stereo input
// (the pair, left, right or their mono mean), sends it to both outputs and
// delays one output channel by 0 to 50 ms through a ring of the last 44100
// input frames held inside the instance. The processing itself is in
// delay_processing.h and stretch_kernels.h.
//
// How values cross threads:
//   inputMode, delayedChannel  written by setParameter [any thread]; read by
//                              processing at least once every 64 frames
//                              (relaxed atomics; see delay_processing.cpp)
//   depthMs, sampleRate        written by setParameter / setSampleRate; read by
//                              processing once per call (relaxed atomics)
//   delaySamples, delayBuffer, writePos
//                              belong to processing alone [audio thread]
#pragma once

#include "delay_processing.h"
#include "vst/identity.h"

class QuillaneVST : public vst::IdentityEffect {
 public:
  enum Parameter : VstInt32 { kParamInput = 0, kParamChannel = 1, kParamDepth = 2, kNumParams = 3 };
  using InputMode = orsolane::InputMode;
  static constexpr InputMode kInputStereo = orsolane::kInputStereo;
  static constexpr InputMode kInputLeft = orsolane::kInputLeft;
  static constexpr InputMode kInputRight = orsolane::kInputRight;
  static constexpr InputMode kInputMono = orsolane::kInputMono;
  // Frames per ring row, at every sample rate; also the largest delay accepted.
  static constexpr VstInt32 kDelayBufferLength = orsolane::kRingFrames;
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
  // The identity texts ("Orsolane", "Velmbrook", "Orsolane") and vendor
  // version 0 come from its identity record, answered by vst::IdentityEffect.

  // The delay in frames that processing uses for a Depth and a sample rate:
  // truncated, 0 above the ring's length, and 0 where the product has no 32-bit
  // value or would carry the ring arithmetic past 32 bits.
  static VstInt32 delayFramesFor(float depthMs, float sampleRate) {
    return orsolane::delayFramesFor(depthMs, sampleRate);
  }

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
  // One record per parameter: its name and label, and how it is set, read and
  // shown. Indexed by Parameter.
  struct ParameterInfo {
    const char* name;
    const char* label;
    void (*set)(QuillaneVST& effect, float value);
    float (*get)(const QuillaneVST& effect);
    void (*display)(QuillaneVST& effect, char* text);
  };
  static const ParameterInfo kParameters[kNumParams];

  // The delay last computed and the plan for the usual block [audio thread].
  orsolane::DelayProcessing processing;
};

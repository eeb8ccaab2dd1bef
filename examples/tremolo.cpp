// Tremolo: the level of both channels rises and falls with a slow sine. It
// shows state that processing carries from one block to the next (the
// oscillator's phase) and a sample rate the host may change while suspended.
// Order: parameter table, state, construction, processing, parameters, texts, entry.
#include <cmath>

#include "vst/framework.h"

namespace {

enum Parameter : VstInt32 { kParamRate, kParamDepth, kNumParams };

struct ParameterInfo {
  const char* name;   // at most 8 characters
  const char* label;  // at most 8 characters
  float initial;      // normalised, 0 to 1
};

constexpr ParameterInfo kParameters[kNumParams] = {
    {"Rate", "Hz", 0.25f},  // 0 to 20 Hz: 5 Hz
    {"Depth", "%", 0.5f},   // how far the level dips, 0 to 100 %
};

constexpr float kMaxRateHz = 20.0f;
constexpr double kTwoPi = 6.283185307179586;

float rateHz(float normalised) { return normalised * kMaxRateHz; }

class Tremolo : public AudioEffectX {
  // Parameters: written by the host's threads, read by processing once per block.
  Relaxed<float> parameters[kNumParams] = {kParameters[kParamRate].initial,
                                           kParameters[kParamDepth].initial};
  // The oscillator's position in cycles, 0 to 1. Processing alone touches it;
  // it is kept across blocks so the level never jumps at a block's start.
  double phase = 0.0;

 public:
  explicit Tremolo(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, 1, kNumParams) {
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(VST_FOUR_CHARS('V', 'b', 'T', 'r'));
    canProcessReplacing();
  }

  // [host thread, suspended] The phase starts over when processing resumes.
  void resume() override {
    phase = 0.0;
    AudioEffectX::resume();
  }

  // [audio thread] The step per frame comes from the sample rate the host set
  // last, so a new rate keeps the tremolo's speed in hertz.
  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override {
    const double step = rateHz(parameters[kParamRate]) / static_cast<double>(getSampleRate());
    const float depth = parameters[kParamDepth];
    for (VstInt32 i = 0; i < sampleFrames; ++i) {
      const float level = 1.0f - depth * static_cast<float>(0.5 - 0.5 * std::cos(kTwoPi * phase));
      outputs[0][i] = inputs[0][i] * level;
      outputs[1][i] = inputs[1][i] * level;
      phase += step;
      if (phase >= 1.0) phase -= std::floor(phase);
    }
  }

  // [host thread, suspended] A rate of 0 or less, or none at all, would stop or reverse
  // the oscillator: such a rate is refused and the last good one kept.
  void setSampleRate(float newSampleRate) override {
    if (newSampleRate > 0.0f && std::isfinite(newSampleRate))
      AudioEffectX::setSampleRate(newSampleRate);
  }

  // [any thread] Values are clamped to 0 to 1; a NaN becomes 0.
  void setParameter(VstInt32 index, float value) override {
    if (index >= 0 && index < kNumParams)
      parameters[index] = value >= 0.0f ? (value <= 1.0f ? value : 1.0f) : 0.0f;
  }
  float getParameter(VstInt32 index) override {
    return index >= 0 && index < kNumParams ? parameters[index].load() : 0.0f;
  }

  // [host thread] Texts within 8 characters for parameters, 24 for identity.
  void getParameterName(VstInt32 index, char* text) override {
    vst::copyText(text, valid(index) ? kParameters[index].name : "", kVstMaxParamStrLen);
  }
  void getParameterLabel(VstInt32 index, char* text) override {
    vst::copyText(text, valid(index) ? kParameters[index].label : "", kVstMaxParamStrLen);
  }
  void getParameterDisplay(VstInt32 index, char* text) override {
    if (index == kParamRate)
      float2string(rateHz(parameters[kParamRate]), text, kVstMaxParamStrLen);
    else if (index == kParamDepth)
      int2string(static_cast<VstInt32>(parameters[kParamDepth] * 100.0f + 0.5f), text,
                 kVstMaxParamStrLen);
    else
      vst::copyText(text, "", kVstMaxParamStrLen);
  }
  bool getEffectName(char* name) override { return identity(name, "Tremolo"); }
  bool getVendorString(char* text) override { return identity(text, "Velmbrook"); }
  bool getProductString(char* text) override { return identity(text, "Tremolo example"); }
  VstPlugCategory getPlugCategory() override { return kPlugCategEffect; }

 private:
  static bool valid(VstInt32 index) { return index >= 0 && index < kNumParams; }
  static bool identity(char* text, const char* value) {
    vst::copyText(text, value, 24);
    return true;
  }
};

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new (std::nothrow) Tremolo(audioMaster);
}

// Gain: the smallest useful effect. One parameter scales both channels; the
// host shows it in decibels. The file reads in the order every example keeps:
// parameter table, state, construction, processing, parameters, texts, entry.
#include "vst/framework.h"

namespace {

// One record per parameter: what the host lists, and the value it starts at.
enum Parameter : VstInt32 { kParamGain, kNumParams };

struct ParameterInfo {
  const char* name;   // at most 8 characters
  const char* label;  // the unit, at most 8 characters
  float initial;      // normalised, 0 to 1
};

constexpr ParameterInfo kParameters[kNumParams] = {
    {"Gain", "dB", 0.5f},  // a factor of 1: 0 dB
};

// The normalised value 0 to 1 maps to a factor of 0 to 2 (-oo to +6 dB).
constexpr float kMaxFactor = 2.0f;

class Gain : public AudioEffectX {
  // Written by the host's threads, read by processing: one whole value at a time.
  Relaxed<float> gain{kParameters[kParamGain].initial};

 public:
  explicit Gain(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, 1, kNumParams) {
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(VST_FOUR_CHARS('V', 'b', 'G', 'n'));  // your own four characters
    canProcessReplacing();
    setVersion(1000);
  }

  // [audio thread] Input and output may be the same buffer (in place): each
  // sample is read before its output is written.
  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override {
    const float factor = gain * kMaxFactor;  // read once per block
    for (VstInt32 channel = 0; channel < 2; ++channel) {
      const float* in = inputs[channel];
      float* out = outputs[channel];
      for (VstInt32 i = 0; i < sampleFrames; ++i) out[i] = in[i] * factor;
    }
  }

  // [any thread] Values arrive normalised; anything outside 0 to 1 is clamped
  // and a NaN becomes 0, so processing never sees a value it cannot use.
  void setParameter(VstInt32 index, float value) override {
    if (index == kParamGain) gain = value >= 0.0f ? (value <= 1.0f ? value : 1.0f) : 0.0f;
  }
  float getParameter(VstInt32 index) override { return index == kParamGain ? gain.load() : 0.0f; }

  // [host thread] Texts go into the host's buffer through the bounded copy:
  // parameter texts within 8 characters, identity texts within 24.
  void getParameterName(VstInt32 index, char* text) override {
    vst::copyText(text, index == kParamGain ? kParameters[index].name : "", kVstMaxParamStrLen);
  }
  void getParameterLabel(VstInt32 index, char* text) override {
    vst::copyText(text, index == kParamGain ? kParameters[index].label : "", kVstMaxParamStrLen);
  }
  void getParameterDisplay(VstInt32 index, char* text) override {
    if (index == kParamGain)
      dB2string(gain * kMaxFactor, text, kVstMaxParamStrLen);
    else
      vst::copyText(text, "", kVstMaxParamStrLen);
  }
  bool getEffectName(char* name) override { return identity(name, "Gain"); }
  bool getVendorString(char* text) override { return identity(text, "Velmbrook"); }
  bool getProductString(char* text) override { return identity(text, "Gain example"); }
  VstPlugCategory getPlugCategory() override { return kPlugCategEffect; }

 private:
  static bool identity(char* text, const char* value) {
    vst::copyText(text, value, 24);
    return true;
  }
};

}  // namespace

// The plug-in entry calls this once for every instance the host asks for.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new (std::nothrow) Gain(audioMaster);
}

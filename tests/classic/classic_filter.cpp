// A one-pole low-pass in the classic style, in both precisions, answering
// effCanDo from a table and bypassing when the host asks. The cutoff shows in
// Hz through Hz2string. Built through FRAMEWORK_HEADERS myplug.h.
#include <math.h>
#include <string.h>

#include "myplug.h"

static const char* canDos[] = {"plugAsChannelInsert", "plugAsSend", "2in2out", "bypass", 0};

class ClassicFilter : public AudioEffectX {
 public:
  ClassicFilter(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, 0, 1) {
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID('CfLt');
    canProcessReplacing();
    canDoubleReplacing();
    fCutoff = 0.5f;
    bypass = false;
    resume();
  }

  void resume() override { state[0] = state[1] = 0; }
  VstInt32 canDo(char* text) override {
    if (!text) return 0;
    for (VstInt32 i = 0; canDos[i]; i++)
      if (!strcmp(text, canDos[i])) return 1;
    return -1;
  }
  bool setBypass(bool onOff) override {
    bypass = onOff;
    return true;
  }

  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override {
    double a = coefficient();
    for (VstInt32 c = 0; c < 2; c++) {
      double y = state[c];
      for (VstInt32 i = 0; i < sampleFrames; i++) {
        y += a * (inputs[c][i] - y);
        outputs[c][i] = bypass ? inputs[c][i] : (float)y;
      }
      state[c] = y;
    }
  }
  void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) override {
    double a = coefficient();
    for (VstInt32 c = 0; c < 2; c++) {
      double y = state[c];
      for (VstInt32 i = 0; i < sampleFrames; i++) {
        y += a * (inputs[c][i] - y);
        outputs[c][i] = bypass ? inputs[c][i] : y;
      }
      state[c] = y;
    }
  }

  void setParameter(VstInt32 index, float value) override {
    if (index == 0) fCutoff = value;
  }
  float getParameter(VstInt32) override { return fCutoff; }
  void getParameterName(VstInt32, char* text) override {
    vst_strncpy(text, "Cutoff", kVstMaxParamStrLen);
  }
  void getParameterDisplay(VstInt32, char* text) override {
    Hz2string(getSampleRate() / cutoffHz(), text, kVstMaxParamStrLen);
  }
  void getParameterLabel(VstInt32, char* text) override {
    vst_strncpy(text, "Hz", kVstMaxParamStrLen);
  }
  bool getEffectName(char* name) override {
    vst_strncpy(name, "Classic Filter", kVstMaxEffectNameLen - 1);
    return true;
  }
  bool getVendorString(char* text) override {
    vst_strncpy(text, "Velmbrook", kVstMaxVendorStrLen - 1);
    return true;
  }
  VstInt32 getVendorVersion() override { return 1300; }

 private:
  // 20 Hz to 20 kHz, logarithmically.
  float cutoffHz() { return 20.f * powf(1000.f, fCutoff); }
  double coefficient() {
    return 1.0 - exp(-2.0 * 3.141592653589793 * cutoffHz() / getSampleRate());
  }

  float fCutoff;
  bool bypass;
  double state[2];
};

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new ClassicFilter(audioMaster);
}

// A gain as effects for the classic effect API were written: one parameter
// shown in decibels through dB2string, a program name, identity texts with
// vst_strncpy, a vendor version, both precisions. Built unchanged through
// FRAMEWORK_HEADERS classic_effect.h.
#include "classic_effect.h"

class ClassicGain : public AudioEffectX {
 public:
  ClassicGain(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, 1, 1) {
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID('CgAn');
    canProcessReplacing();
    canDoubleReplacing();
    fGain = 1.f;
    vst_strncpy(programName, "Default", kVstMaxProgNameLen);
  }

  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override {
    float* in1 = inputs[0];
    float* in2 = inputs[1];
    float* out1 = outputs[0];
    float* out2 = outputs[1];
    while (--sampleFrames >= 0) {
      (*out1++) = (*in1++) * fGain;
      (*out2++) = (*in2++) * fGain;
    }
  }
  void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) override {
    double dGain = fGain;
    for (VstInt32 i = 0; i < sampleFrames; i++) {
      outputs[0][i] = inputs[0][i] * dGain;
      outputs[1][i] = inputs[1][i] * dGain;
    }
  }

  void setProgramName(char* name) override { vst_strncpy(programName, name, kVstMaxProgNameLen); }
  void getProgramName(char* name) override { vst_strncpy(name, programName, kVstMaxProgNameLen); }

  void setParameter(VstInt32 index, float value) override {
    if (index == 0) fGain = value;
  }
  float getParameter(VstInt32 index) override { return index == 0 ? fGain : 0.f; }
  void getParameterName(VstInt32 index, char* label) override {
    if (index == 0) vst_strncpy(label, "Gain", kVstMaxParamStrLen);
  }
  void getParameterDisplay(VstInt32 index, char* text) override {
    if (index == 0) dB2string(fGain, text, kVstMaxParamStrLen);
  }
  void getParameterLabel(VstInt32 index, char* label) override {
    if (index == 0) vst_strncpy(label, "dB", kVstMaxParamStrLen);
  }

  bool getEffectName(char* name) override {
    vst_strncpy(name, "Classic Gain", kVstMaxEffectNameLen - 1);
    return true;
  }
  bool getProductString(char* text) override {
    vst_strncpy(text, "Classic Gain", kVstMaxProductStrLen - 1);
    return true;
  }
  bool getVendorString(char* text) override {
    vst_strncpy(text, "Velmbrook", kVstMaxVendorStrLen - 1);
    return true;
  }
  VstInt32 getVendorVersion() override { return 1000; }

 protected:
  float fGain;
  char programName[kVstMaxProgNameLen + 1];
};

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new ClassicGain(audioMaster);
}

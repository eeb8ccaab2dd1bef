// A mono-to-stereo panner in the classic style: one input, two outputs, the
// position shown as a whole percentage through int2string and typed in by the
// host through string2parameter. Built through FRAMEWORK_HEADERS panfx.h.
#include <math.h>
#include <stdlib.h>

#include "panfx.h"

class ClassicPan : public AudioEffectX {
 public:
  ClassicPan(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, 1, 1) {
    setNumInputs(1);
    setNumOutputs(2);
    setUniqueID('CpAn');
    canProcessReplacing();
    fPan = 0.5f;
  }

  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override {
    // Equal power: the two gains' squares add up to one.
    float left = cosf(fPan * 1.5707963f), right = sinf(fPan * 1.5707963f);
    for (VstInt32 i = 0; i < sampleFrames; i++) {
      float x = inputs[0][i];
      outputs[0][i] = x * left;
      outputs[1][i] = x * right;
    }
  }

  void setParameter(VstInt32, float value) override { fPan = value; }
  float getParameter(VstInt32) override { return fPan; }
  void getParameterName(VstInt32, char* text) override {
    vst_strncpy(text, "Pan", kVstMaxParamStrLen);
  }
  void getParameterDisplay(VstInt32, char* text) override {
    int2string((VstInt32)floorf(fPan * 200.f - 100.f + 0.5f), text, kVstMaxParamStrLen);
  }
  void getParameterLabel(VstInt32, char* text) override {
    vst_strncpy(text, "%", kVstMaxParamStrLen);
  }
  bool string2parameter(VstInt32, char* text) override {
    if (!text) return false;
    float percent = (float)atof(text);
    if (percent < -100.f) percent = -100.f;
    if (percent > 100.f) percent = 100.f;
    setParameter(0, (percent + 100.f) / 200.f);
    return true;
  }
  VstInt32 canDo(char* text) override { return text && !strcmp(text, "1in2out") ? 1 : -1; }
  bool getEffectName(char* name) override {
    vst_strncpy(name, "Classic Pan", kVstMaxEffectNameLen - 1);
    return true;
  }
  bool getVendorString(char* text) override {
    vst_strncpy(text, "Velmbrook", kVstMaxVendorStrLen - 1);
    vst_strncat(text, " Classics", kVstMaxVendorStrLen - 1);
    return true;
  }
  VstInt32 getVendorVersion() override { return 1400; }

 private:
  float fPan;
};

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new ClassicPan(audioMaster);
}

// The faults older effects commonly carry, gathered in one classic-style
// effect that builds and runs but that vsthost check must fail (see "Bring an
// existing plug-in" in docs/writing-an-effect.md):
//  - its effect name copied with the product text's limit into the 32-byte
//    effect-name buffer (64 bytes written);
//  - a chunk reader that trusts the count it wrote, not the size it is given;
//  - dither noise seeded at start-up from the clock and the instance's
//    address, so two instances differ;
//  - a scratch buffer allocated in every processing call;
//  - a loop four frames at a time that leaves the block's last frames (its
//    tail, when the frame count is no multiple of four) unwritten.
// Built through FRAMEWORK_HEADERS oldfx.h.
#include <stdint.h>
#include <time.h>

#include "oldfx.h"

class ClassicFaults : public AudioEffectX {
 public:
  ClassicFaults(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, 1, 2) {
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID('CfLs');
    canProcessReplacing();
    programsAreChunks(true);
    params[0] = 0.8f;
    params[1] = 0.5f;
    seed = (uint32_t)time(0) ^ (uint32_t)(uintptr_t)this;
  }

  bool getEffectName(char* name) override {
    vst_strncpy(name, "Classic Faults", kVstMaxProductStrLen - 1);
    return true;
  }
  bool getVendorString(char* text) override {
    vst_strncpy(text, "Velmbrook", kVstMaxVendorStrLen - 1);
    return true;
  }

  VstInt32 getChunk(void** data, bool) override {
    saved[0] = 2;
    memcpy(saved + 1, params, sizeof(params));
    *data = saved;
    return sizeof(saved);
  }
  VstInt32 setChunk(void* data, VstInt32, bool) override {
    VstInt32* in = (VstInt32*)data;
    VstInt32 count = in[0] < 2 ? in[0] : 2;
    for (VstInt32 i = 0; i < count; i++) memcpy(&params[i], in + 1 + i, sizeof(float));
    return 1;
  }

  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override {
    float* scratch = new float[sampleFrames];
    for (VstInt32 c = 0; c < 2; c++) {
      memcpy(scratch, inputs[c], sampleFrames * sizeof(float));
      for (VstInt32 i = 0; i + 4 <= sampleFrames; i += 4)
        for (VstInt32 j = i; j < i + 4; j++) outputs[c][j] = scratch[j] * params[0] + dither();
    }
    delete[] scratch;
  }

  void setParameter(VstInt32 index, float value) override { params[index & 1] = value; }
  float getParameter(VstInt32 index) override { return params[index & 1]; }
  void getParameterName(VstInt32 index, char* text) override {
    vst_strncpy(text, index ? "Dither" : "Level", kVstMaxParamStrLen);
  }
  void getParameterDisplay(VstInt32 index, char* text) override {
    float2string(params[index & 1], text, kVstMaxParamStrLen);
  }

 private:
  float dither() {
    seed = seed * 1664525u + 1013904223u;
    return params[1] * 1e-5f * ((float)(seed >> 8) / 16777216.f - 0.5f);
  }

  float params[2];
  VstInt32 saved[3];
  uint32_t seed;
};

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new ClassicFaults(audioMaster);
}

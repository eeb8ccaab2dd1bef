// A bit crusher keeping its state in a chunk, as many classic effects do: the
// chunk is a small record with a tag and a version, and the reader takes
// nothing the host's size does not cover. Displays through int2string and
// float2string. Built through FRAMEWORK_HEADERS chunkfx.h.
#include <math.h>

#include "chunkfx.h"

struct CrusherChunk {
  VstInt32 tag;
  VstInt32 version;
  float bits;
  float mix;
  char name[kVstMaxProgNameLen + 1];
};

class ClassicCrusher : public AudioEffectX {
 public:
  ClassicCrusher(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, 1, 2) {
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID('CcRs');
    canProcessReplacing();
    programsAreChunks(true);
    chunk.tag = 'CcRs';
    chunk.version = 1;
    chunk.bits = 0.5f;
    chunk.mix = 1.f;
    vst_strncpy(chunk.name, "Crushed", kVstMaxProgNameLen);
  }

  VstInt32 getChunk(void** data, bool) override {
    if (!data) return 0;
    *data = &chunk;
    return sizeof(CrusherChunk);
  }
  VstInt32 setChunk(void* data, VstInt32 byteSize, bool) override {
    CrusherChunk in;
    if (!data || byteSize < (VstInt32)sizeof(CrusherChunk)) return 0;
    memcpy(&in, data, sizeof(in));
    if (in.tag != 'CcRs' || in.version != 1 || !(in.bits >= 0.f && in.bits <= 1.f) ||
        !(in.mix >= 0.f && in.mix <= 1.f))
      return 0;
    in.name[kVstMaxProgNameLen] = 0;
    chunk = in;
    return 1;
  }

  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override {
    float steps = (float)(1 << levels());
    float mix = chunk.mix;
    for (VstInt32 c = 0; c < 2; c++)
      for (VstInt32 i = 0; i < sampleFrames; i++) {
        float x = inputs[c][i];
        float crushed = floorf(x * steps + 0.5f) / steps;
        outputs[c][i] = x + (crushed - x) * mix;
      }
  }

  void setProgramName(char* name) override { vst_strncpy(chunk.name, name, kVstMaxProgNameLen); }
  void getProgramName(char* name) override { vst_strncpy(name, chunk.name, kVstMaxProgNameLen); }
  void setParameter(VstInt32 index, float value) override {
    if (index == 0) chunk.bits = value;
    if (index == 1) chunk.mix = value;
  }
  float getParameter(VstInt32 index) override {
    return index == 0 ? chunk.bits : index == 1 ? chunk.mix : 0.f;
  }
  void getParameterName(VstInt32 index, char* text) override {
    vst_strncpy(text, index == 0 ? "Bits" : "Mix", kVstMaxParamStrLen);
  }
  void getParameterDisplay(VstInt32 index, char* text) override {
    if (index == 0) int2string(levels(), text, kVstMaxParamStrLen);
    if (index == 1) float2string(chunk.mix, text, kVstMaxParamStrLen);
  }
  bool getEffectName(char* name) override {
    vst_strncpy(name, "Classic Crusher", kVstMaxEffectNameLen - 1);
    return true;
  }
  bool getVendorString(char* text) override {
    vst_strncpy(text, "Velmbrook", kVstMaxVendorStrLen - 1);
    return true;
  }
  VstInt32 getVendorVersion() override { return 1200; }

 private:
  // 2 to 16 bits.
  VstInt32 levels() { return 2 + (VstInt32)(chunk.bits * 14.f + 0.5f); }

  CrusherChunk chunk;
};

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new ClassicCrusher(audioMaster);
}

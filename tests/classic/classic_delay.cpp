// The delay's code, as such sources keep it: programs with names, displays
// through ms2string, float2string and dB2string, a buffer made at
// construction and a tail for hosts that stop processing.
#include "classic_delay.h"

ClassicDelayProgram::ClassicDelayProgram() {
  fDelay = 0.5f;
  fFeedBack = 0.5f;
  fOut = 0.75f;
  vst_strncpy(name, "Init", kVstMaxProgNameLen);
}

ClassicDelay::ClassicDelay(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
  size = 44100;
  cursor = 0;
  delay = 0;
  buffer = new float[size];
  programs = new ClassicDelayProgram[kNumPrograms];
  fDelay = fFeedBack = fOut = 0;

  programs[1].fDelay = 0.1f;
  vst_strncpy(programs[1].name, "Slapback", kVstMaxProgNameLen);
  programs[2].fDelay = 0.9f;
  programs[2].fFeedBack = 0.7f;
  vst_strncpy(programs[2].name, "Long", kVstMaxProgNameLen);
  setProgram(0);

  setNumInputs(1);
  setNumOutputs(1);
  setUniqueID('CdLy');
  canProcessReplacing();
  resume();
}

ClassicDelay::~ClassicDelay() {
  delete[] buffer;
  delete[] programs;
}

void ClassicDelay::setProgram(VstInt32 program) {
  if (program < 0 || program >= kNumPrograms) return;
  ClassicDelayProgram* ap = &programs[program];
  curProgram = program;
  setDelay(ap->fDelay);
  fFeedBack = ap->fFeedBack;
  fOut = ap->fOut;
}

void ClassicDelay::setDelay(float fdelay) {
  fDelay = fdelay;
  programs[curProgram].fDelay = fdelay;
  cursor = 0;
  delay = (VstInt32)(fdelay * (float)(size - 1));
}

void ClassicDelay::setProgramName(char* name) {
  vst_strncpy(programs[curProgram].name, name, kVstMaxProgNameLen);
}

void ClassicDelay::getProgramName(char* name) {
  vst_strncpy(name, programs[curProgram].name, kVstMaxProgNameLen);
}

bool ClassicDelay::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
  if (index < 0 || index >= kNumPrograms) return false;
  vst_strncpy(text, programs[index].name, kVstMaxProgNameLen);
  return true;
}

void ClassicDelay::resume() {
  memset(buffer, 0, size * sizeof(float));
  cursor = 0;
}

void ClassicDelay::setParameter(VstInt32 index, float value) {
  ClassicDelayProgram* ap = &programs[curProgram];
  switch (index) {
    case kDelay: setDelay(value); break;
    case kFeedBack: fFeedBack = ap->fFeedBack = value; break;
    case kOut: fOut = ap->fOut = value; break;
  }
}

float ClassicDelay::getParameter(VstInt32 index) {
  switch (index) {
    case kDelay: return fDelay;
    case kFeedBack: return fFeedBack;
    case kOut: return fOut;
  }
  return 0;
}

void ClassicDelay::getParameterName(VstInt32 index, char* label) {
  switch (index) {
    case kDelay: vst_strncpy(label, "Delay", kVstMaxParamStrLen); break;
    case kFeedBack: vst_strncpy(label, "FeedBack", kVstMaxParamStrLen); break;
    case kOut: vst_strncpy(label, "Volume", kVstMaxParamStrLen); break;
  }
}

void ClassicDelay::getParameterDisplay(VstInt32 index, char* text) {
  switch (index) {
    case kDelay: ms2string((float)delay, text, kVstMaxParamStrLen); break;
    case kFeedBack: float2string(fFeedBack, text, kVstMaxParamStrLen); break;
    case kOut: dB2string(fOut, text, kVstMaxParamStrLen); break;
  }
}

void ClassicDelay::getParameterLabel(VstInt32 index, char* label) {
  switch (index) {
    case kDelay: vst_strncpy(label, "ms", kVstMaxParamStrLen); break;
    case kFeedBack: vst_strncpy(label, "amount", kVstMaxParamStrLen); break;
    case kOut: vst_strncpy(label, "dB", kVstMaxParamStrLen); break;
  }
}

VstInt32 ClassicDelay::getGetTailSize() { return size * 16; }

bool ClassicDelay::getEffectName(char* name) {
  vst_strncpy(name, "Classic Delay", kVstMaxEffectNameLen - 1);
  return true;
}

bool ClassicDelay::getProductString(char* text) {
  vst_strncpy(text, "Classic Delay", kVstMaxProductStrLen - 1);
  return true;
}

bool ClassicDelay::getVendorString(char* text) {
  vst_strncpy(text, "Velmbrook", kVstMaxVendorStrLen - 1);
  return true;
}

void ClassicDelay::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
  float* in = inputs[0];
  float* out = outputs[0];
  while (--sampleFrames >= 0) {
    float x = *in++;
    float y = buffer[cursor];
    buffer[cursor++] = x + y * fFeedBack;
    if (cursor >= delay) cursor = 0;
    *out++ = y * fOut;
  }
}

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new ClassicDelay(audioMaster);
}

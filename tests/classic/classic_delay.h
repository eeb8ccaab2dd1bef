// A feedback delay in the classic style: the class declared in a header of its
// own, which includes the two framework names such sources include (here
// fxbase.h and fxbasex.h, both made by FRAMEWORK_HEADERS).
#pragma once

#include "fxbase.h"
#include "fxbasex.h"

enum { kDelay, kFeedBack, kOut, kNumParams };
enum { kNumPrograms = 3 };

class ClassicDelayProgram {
  friend class ClassicDelay;

 public:
  ClassicDelayProgram();

 private:
  float fDelay, fFeedBack, fOut;
  char name[kVstMaxProgNameLen + 1];
};

class ClassicDelay : public AudioEffectX {
 public:
  ClassicDelay(audioMasterCallback audioMaster);
  ~ClassicDelay();

  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
  void resume() override;

  void setProgram(VstInt32 program) override;
  void setProgramName(char* name) override;
  void getProgramName(char* name) override;
  bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;

  void setParameter(VstInt32 index, float value) override;
  float getParameter(VstInt32 index) override;
  void getParameterLabel(VstInt32 index, char* label) override;
  void getParameterDisplay(VstInt32 index, char* text) override;
  void getParameterName(VstInt32 index, char* text) override;
  VstInt32 getGetTailSize() override;

  bool getEffectName(char* name) override;
  bool getVendorString(char* text) override;
  bool getProductString(char* text) override;
  VstInt32 getVendorVersion() override { return 1100; }
  VstPlugCategory getPlugCategory() override { return kPlugCategEffect; }

 private:
  void setDelay(float delay);

  ClassicDelayProgram* programs;
  float* buffer;
  float fDelay, fFeedBack, fOut;
  VstInt32 delay, size, cursor;
};

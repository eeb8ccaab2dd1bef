/* What the C test modules share: the export of their entry, and the record
 * each of them starts from. */
#ifndef VST_TESTS_TEST_RECORD_H
#define VST_TESTS_TEST_RECORD_H

#include <stdio.h>
#include <stdlib.h>

#include "vst/vst.h"

#if defined(_WIN32)
#define EXPORT __declspec(dllexport)
#else
#define EXPORT __attribute__((visibility("default")))
#endif

/* Fills a zeroed record as a stereo effect with replacing processing, one
 * program and no parameters, reached through the four functions given, under
 * the ID given. A module then sets what makes it different: its parameters,
 * an instrument's flag and channels, a fault. */
static inline void fillTestRecord(AEffect* record, AEffectDispatcherProc dispatcher,
                                  AEffectSetParameterProc setParameter,
                                  AEffectGetParameterProc getParameter,
                                  AEffectProcessProc processReplacing, VstInt32 uniqueID) {
  record->magic = kEffectMagic;
  record->dispatcher = dispatcher;
  record->setParameter = setParameter;
  record->getParameter = getParameter;
  record->processReplacing = processReplacing;
  record->numPrograms = 1;
  record->numInputs = 2;
  record->numOutputs = 2;
  record->flags = effFlagsCanReplacing;
  record->uniqueID = uniqueID;
}

/* The parameter functions of a module without parameters. */
static inline void setNoParameter(AEffect* effect, VstInt32 index, float value) {
  (void)effect, (void)index, (void)value;
}
static inline float getNoParameter(AEffect* effect, VstInt32 index) {
  (void)effect, (void)index;
  return 0.0f;
}

/* The opcodes a plain test effect answers alike, for an instance allocated
 * with malloc whose record comes first: close frees the instance, the host's
 * sample rate is kept in *rate, the effect's name is `name` and the vendor
 * "Test"; everything else answers 0. */
static inline VstIntPtr answerPlainOpcode(AEffect* effect, double* rate, VstInt32 opcode, void* ptr,
                                          float opt, const char* name) {
  switch (opcode) {
    case effClose: free(effect); return 1;
    case effSetSampleRate:
      if (opt > 0.0f) *rate = opt;
      return 0;
    case effGetEffectName:
      if (ptr != NULL) snprintf((char*)ptr, kVstMaxEffectNameLen, "%s", name);
      return 1;
    case effGetVendorString:
      if (ptr != NULL) snprintf((char*)ptr, kVstMaxVendorStrLen, "Test");
      return 1;
    default: return 0;
  }
}

#endif

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

/* A plain test effect: an instance that starts with this record, made by
 * newPlainEffect and answered by plainDispatcher. Close frees it, the host's
 * sample rate is kept in `rate`, switching on calls `reset`, the effect's
 * name is `name` and the vendor "Test"; other opcodes answer 0. */
typedef struct PlainEffect {
  AEffect record;
  double rate;
  const char* name;
  void (*reset)(struct PlainEffect* effect);
} PlainEffect;

static inline VstIntPtr plainDispatcher(AEffect* record, VstInt32 opcode, VstInt32 index,
                                        VstIntPtr value, void* ptr, float opt) {
  PlainEffect* effect = (PlainEffect*)record;
  (void)index, (void)value;
  switch (opcode) {
    case effClose: free(effect); return 1;
    case effSetSampleRate:
      if (opt > 0.0f) effect->rate = opt;
      return 0;
    case effMainsChanged: effect->reset(effect); return 0;
    case effGetEffectName:
      if (ptr != NULL) snprintf((char*)ptr, kVstMaxEffectNameLen, "%s", effect->name);
      return 1;
    case effGetVendorString:
      if (ptr != NULL) snprintf((char*)ptr, kVstMaxVendorStrLen, "Test");
      return 1;
    default: return 0;
  }
}

/* A zeroed instance of `size` bytes at 44.1 kHz, reset, its record filled as
 * fillTestRecord fills it with plainDispatcher; null when memory is short. */
static inline AEffect* newPlainEffect(size_t size, const char* name,
                                      void (*reset)(PlainEffect* effect),
                                      AEffectProcessProc processReplacing, VstInt32 uniqueID) {
  PlainEffect* effect = (PlainEffect*)calloc(1, size);
  if (effect == NULL) return NULL;
  effect->rate = 44100.0;
  effect->name = name;
  effect->reset = reset;
  reset(effect);
  fillTestRecord(&effect->record, plainDispatcher, setNoParameter, getNoParameter, processReplacing,
                 uniqueID);
  return &effect->record;
}

#endif

/* Modules that go wrong the ways a command-line host must survive, chosen by
 * one definition: BROKEN_NO_ENTRY (exports neither entry), BROKEN_NULL_ENTRY
 * (the entry returns no effect), BROKEN_BAD_MAGIC (a record without the magic),
 * BROKEN_TEXT_OVERRUN (a working pass-through effect whose parameter name
 * overruns the 9-byte buffer, and which crashes in processing once its
 * parameter is set to 1). */
#include <signal.h>
#include <stdlib.h>
#include <string.h>

#include "vst/vst.h"

#define EXPORT __attribute__((visibility("default")))

#ifndef BROKEN_NO_ENTRY

/* The record first, so a record pointer is an instance pointer. */
typedef struct Instance {
  AEffect record;
  float parameter;
} Instance;

static VstIntPtr dispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void* ptr, float opt) {
  (void)index, (void)value, (void)opt;
  if (opcode == effClose) {
    free(effect);
    return 1;
  }
  if (opcode == effGetParamName && ptr != NULL) strcpy((char*)ptr, "A name far too long to fit");
  return 0;
}

static void setParameter(AEffect* effect, VstInt32 index, float value) {
  (void)index;
  ((Instance*)effect)->parameter = value;
}

static float getParameter(AEffect* effect, VstInt32 index) {
  (void)index;
  return ((Instance*)effect)->parameter;
}

static void processReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
  if (((Instance*)effect)->parameter == 1.0f) raise(SIGSEGV);
  for (VstInt32 i = 0; i < frames; ++i) {
    outputs[0][i] = inputs[0][i];
    outputs[1][i] = inputs[1][i];
  }
}

EXPORT AEffect* VSTPluginMain(audioMasterCallback master) {
  (void)master;
#ifdef BROKEN_NULL_ENTRY
  return NULL;
#elif defined(BROKEN_BAD_MAGIC)
  static AEffect record;
  record.magic = VST_FOUR_CHARS('N', 'o', 'p', 'e');
  return &record;
#else
  Instance* instance = (Instance*)calloc(1, sizeof(Instance));
  if (instance == NULL) return NULL;
  instance->parameter = 0.5f;
  AEffect* effect = &instance->record;
  effect->magic = kEffectMagic;
  effect->dispatcher = dispatcher;
  effect->setParameter = setParameter;
  effect->getParameter = getParameter;
  effect->processReplacing = processReplacing;
  effect->numParams = 1;
  effect->numInputs = 2;
  effect->numOutputs = 2;
  effect->flags = effFlagsCanReplacing;
  effect->uniqueID = VST_FOUR_CHARS('b', 'r', 'k', 'n');
  return effect;
#endif
}

#else
EXPORT int notAnEntry(void) { return 0; }
#endif

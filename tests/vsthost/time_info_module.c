/* Two small modules that read the host's time, chosen by one definition
 * BROKEN_<KIND>:
 *
 *   TIME_UNCHECKED  a pass-through that reads the tempo from the host's time
 *                   record without testing the record for null: it crashes in
 *                   a host that answers null, as many real effects would
 *   TEMPO_PROBE     writes what it reads, tested for null: the tempo / 1000 on the
 *                   left output and the quarter-note position / 1000 on the
 *                   right, 0 for what the host does not give */
#include <stdlib.h>
#include <string.h>

#include "vst/vst.h"

#if defined(_WIN32)
#define EXPORT __declspec(dllexport)
#else
#define EXPORT __attribute__((visibility("default")))
#endif

typedef struct Instance {
  AEffect record; /* first, so a record pointer is an instance pointer */
  audioMasterCallback master;
} Instance;

static VstIntPtr dispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void* ptr, float opt) {
  (void)index, (void)value, (void)opt;
  switch (opcode) {
    case effClose: free(effect); return 1;
    case effGetEffectName:
      if (ptr != NULL) strcpy((char*)ptr, "Time");
      return 1;
    default: return 0;
  }
}

static void processReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
  Instance* instance = (Instance*)effect;
  const VstTimeInfo* time = (const VstTimeInfo*)instance->master(
      effect, audioMasterGetTime, 0, kVstTempoValid | kVstPpqPosValid, NULL, 0.0f);
#if defined(BROKEN_TIME_UNCHECKED)
  const float gain = time->tempo > 0.0 ? 1.0f : 0.5f;
  for (VstInt32 i = 0; i < frames; ++i) {
    outputs[0][i] = inputs[0][i] * gain;
    outputs[1][i] = inputs[1][i] * gain;
  }
#else
  /* Values no transport has (NaN, a position of 1e300) are written as 0. */
  float tempo =
      time != NULL && (time->flags & kVstTempoValid) ? (float)(time->tempo / 1000.0) : 0.0f;
  float ppq =
      time != NULL && (time->flags & kVstPpqPosValid) ? (float)(time->ppqPos / 1000.0) : 0.0f;
  if (!(tempo > -1e6f && tempo < 1e6f)) tempo = 0.0f;
  if (!(ppq > -1e6f && ppq < 1e6f)) ppq = 0.0f;
  (void)inputs;
  for (VstInt32 i = 0; i < frames; ++i) {
    outputs[0][i] = tempo;
    outputs[1][i] = ppq;
  }
#endif
}

static void setParameter(AEffect* effect, VstInt32 index, float value) {
  (void)effect, (void)index, (void)value;
}
static float getParameter(AEffect* effect, VstInt32 index) {
  (void)effect, (void)index;
  return 0.0f;
}

EXPORT AEffect* VSTPluginMain(audioMasterCallback master) {
  Instance* instance;
  if (master == NULL || master(NULL, audioMasterVersion, 0, 0, NULL, 0.0f) == 0) return NULL;
  instance = (Instance*)calloc(1, sizeof(Instance));
  if (instance == NULL) return NULL;
  instance->master = master;
  instance->record.magic = kEffectMagic;
  instance->record.dispatcher = dispatcher;
  instance->record.setParameter = setParameter;
  instance->record.getParameter = getParameter;
  instance->record.processReplacing = processReplacing;
  instance->record.numPrograms = 1;
  instance->record.numInputs = 2;
  instance->record.numOutputs = 2;
  instance->record.flags = effFlagsCanReplacing;
  instance->record.uniqueID = VST_FOUR_CHARS('t', 'i', 'm', 'e');
  return &instance->record;
}

/* Small modules that read the host's time or its events, chosen by one
 * definition BROKEN_<KIND>:
 *
 *   TIME_UNCHECKED  a pass-through that reads the tempo from the host's time
 *                   record without testing the record for null: it crashes in
 *                   a host that answers null, as many real effects would
 *   TEMPO_PROBE     writes what it reads, tested for null: the tempo / 1000 on the
 *                   left output and the quarter-note position / 1000 on the
 *                   right, 0 for what the host does not give
 *   EVENT_MARKER    an instrument that marks its events at their frames on the
 *                   left output: 1 for a note on, -1 for a note off, 0.5 for any
 *                   other channel message, 0.25 for a system-exclusive message
 *                   that starts with F0 and 0.125 for other bytes sent as one
 *                   (summed where they meet), 0 elsewhere; its one parameter,
 *                   Level, is written as it is on the second output; the bar
 *                   start (in quarter notes) on the third and the time signature
 *                   as N + D / 100 (3.04 for 3/4) on the fourth, 0 for what the
 *                   host does not give */
#include <stdlib.h>
#include <string.h>

#include "test_record.h"

#define MAX_MARKS 1024

typedef struct Instance {
  AEffect record; /* first, so a record pointer is an instance pointer */
  audioMasterCallback master;
  float level;
  int marks;
  VstInt32 markFrame[MAX_MARKS];
  float markValue[MAX_MARKS];
} Instance;

/* The marks of the events for the next block. */
static void markEvents(Instance* instance, const VstEvents* events) {
  VstInt32 i;
  instance->marks = 0;
  for (i = 0; events != NULL && i < events->numEvents && instance->marks < MAX_MARKS; ++i) {
    const VstEvent* event = events->events[i];
    float value;
    if (event == NULL) continue;
    if (event->type == kVstSysExType) {
      const VstMidiSysexEvent* sysex = (const VstMidiSysexEvent*)event;
      value = sysex->dumpBytes <= 0 || sysex->sysexDump == NULL ? 0.0f
              : (unsigned char)sysex->sysexDump[0] == 0xF0      ? 0.25f
                                                                : 0.125f;
    } else if (event->type == kVstMidiType) {
      const unsigned char* data = (const unsigned char*)((const VstMidiEvent*)event)->midiData;
      const unsigned kind = data[0] & 0xF0u;
      value = kind == 0x90 && data[2] > 0 ? 1.0f : kind == 0x80 || kind == 0x90 ? -1.0f : 0.5f;
    } else {
      continue;
    }
    instance->markFrame[instance->marks] = event->deltaFrames;
    instance->markValue[instance->marks++] = value;
  }
}

static VstIntPtr dispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void* ptr, float opt) {
  (void)index, (void)value, (void)opt;
  switch (opcode) {
    case effClose: free(effect); return 1;
    case effProcessEvents: markEvents((Instance*)effect, (const VstEvents*)ptr); return 1;
    case effGetParamName:
      if (ptr != NULL) strcpy((char*)ptr, "Level");
      return 1;
    case effGetEffectName:
      if (ptr != NULL) strcpy((char*)ptr, "Time");
      return 1;
    default: return 0;
  }
}

static void processReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
  Instance* instance = (Instance*)effect;
#if defined(BROKEN_EVENT_MARKER)
  int m;
  VstInt32 i;
  const VstTimeInfo* time = (const VstTimeInfo*)instance->master(
      effect, audioMasterGetTime, 0, kVstBarsValid | kVstTimeSigValid, NULL, 0.0f);
  const float bar = time != NULL && (time->flags & kVstBarsValid) ? (float)time->barStartPos : 0.0f;
  const float signature =
      time != NULL && (time->flags & kVstTimeSigValid)
          ? (float)time->timeSigNumerator + (float)time->timeSigDenominator / 100.0f
          : 0.0f;
  (void)inputs;
  for (i = 0; i < frames; ++i) {
    outputs[0][i] = 0.0f;
    outputs[1][i] = instance->level;
    outputs[2][i] = bar;
    outputs[3][i] = signature;
  }
  for (m = 0; m < instance->marks; ++m)
    if (instance->markFrame[m] >= 0 && instance->markFrame[m] < frames)
      outputs[0][instance->markFrame[m]] += instance->markValue[m];
  instance->marks = 0;
#else
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
#endif
}

static void setParameter(AEffect* effect, VstInt32 index, float value) {
  if (index == 0) ((Instance*)effect)->level = value;
}
static float getParameter(AEffect* effect, VstInt32 index) {
  return index == 0 ? ((Instance*)effect)->level : 0.0f;
}

EXPORT AEffect* VSTPluginMain(audioMasterCallback master) {
  Instance* instance;
  if (master == NULL || master(NULL, audioMasterVersion, 0, 0, NULL, 0.0f) == 0) return NULL;
  instance = (Instance*)calloc(1, sizeof(Instance));
  if (instance == NULL) return NULL;
  instance->master = master;
  fillTestRecord(&instance->record, dispatcher, setParameter, getParameter, processReplacing,
                 VST_FOUR_CHARS('t', 'i', 'm', 'e'));
#if defined(BROKEN_EVENT_MARKER)
  instance->record.numInputs = 0;
  instance->record.numOutputs = 4;
  instance->record.numParams = 1;
  instance->record.flags |= effFlagsIsSynth;
  instance->record.uniqueID = VST_FOUR_CHARS('m', 'a', 'r', 'k');
#endif
  return &instance->record;
}

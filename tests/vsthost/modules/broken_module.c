/* Modules that go wrong the ways a host and its checker must see, chosen by
 * one definition BROKEN_<KIND>. Without a fault (BROKEN_CLEAN, BROKEN_CLEAN_SYNTH)
 * the module is a well-behaved gain effect or a small instrument that passes
 * every check at both levels; each kind below adds exactly one fault:
 *
 *   NO_ENTRY, NULL_ENTRY, BAD_MAGIC  no entry, an entry making nothing, a bad record
 *   TEXT_OVERRUN      a parameter name of 26 characters (fits a host's buffer, not
 *                     the 9 bytes of the letter), and a crash in processing once
 *                     the parameter is 1
 *   TEXT_FLOOD        a parameter display of 400 characters: past any buffer
 *   NULL_POINTER      writes through effEditGetRect's ptr without testing it
 *   OPCODE_CRASH      crashes on effGetTailSize, which every host asks
 *   UNWRITTEN         never writes its second output
 *   BLOCK_DEPENDENT   a gain ramp that restarts with every block
 *   BLOCK_ROUNDING    a difference of one rounding step at every block start
 *   NAN_OUTPUT        produces NaN
 *   DENORMAL          produces denormal numbers for silence
 *   PARAMETER_RANGE   reads its parameter back doubled, beyond 1
 *   SHARED_PARAMETER  keeps its parameter in a global, shared by instances
 *   SHARED_HISTORY    keeps its filter state in a global
 *   STATE_LOST        reads back a fixed value instead of its parameter
 *   PROGRAM_MISMATCH  two programs, but effGetProgram always answers 0
 *   SUSPEND_CRASH     frees its buffer on a rate change while suspended and
 *                     processes into it after resuming
 *   ALLOCATING        allocates and frees in every processReplacing
 *   SILENT_SYNTH      an instrument that ignores its notes
 *   HANGING_NOTE      an instrument that ignores note off
 *   DEFAULT_ID        ships the framework's default unique ID
 *   HANG              never returns from processReplacing
 *   THREAD_LEFT_RUNNING  starts a thread in its entry that outlives the module:
 *                     it runs into unmapped code once the module is unloaded
 *   NOT_IN_PLACE      a width effect that writes its left output before it reads
 *                     the right side's left input: wrong when they share a buffer
 *   SLOW_SCAN         sleeps 300 ms in its entry, as heavy constructors do
 *   CHUNK_TRUSTING    keeps its state in a chunk and reads as many values as the
 *                     chunk's header claims, whatever size the host gave
 *   DOUBLE_MISMATCH   a double-precision path at half the single path's gain
 *   PARAMETER_NAN     produces NaN once its parameter is at 1 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "test_record.h"
#include "vst/events.h"

/* A write through a null pointer the compiler cannot see is null: a real
 * segmentation fault (an access violation on Windows), as an effect's bug
 * would make. */
static int* volatile nowhere = NULL;
static void crash(void) { *nowhere = 0; }
#define CRASH() crash()

#if defined(BROKEN_THREAD_LEFT_RUNNING)
#if defined(_WIN32)
#include <windows.h>
static DWORD WINAPI keepWaking(LPVOID unused) {
  (void)unused;
  for (;;) Sleep(1);
  return 0;
}
static void startThread(void) {
  HANDLE thread = CreateThread(NULL, 0, keepWaking, NULL, 0, NULL);
  if (thread != NULL) CloseHandle(thread);
}
#else
#include <pthread.h>
#include <unistd.h>
static void* keepWaking(void* unused) {
  (void)unused;
  for (;;) usleep(1000);
  return NULL;
}
static void startThread(void) {
  pthread_t thread;
  if (pthread_create(&thread, NULL, keepWaking, NULL) == 0) pthread_detach(thread);
}
#endif
#endif

#if defined(BROKEN_SLOW_SCAN)
#if defined(_WIN32)
#include <windows.h>
static void pause300ms(void) { Sleep(300); }
#else
#include <time.h>
static void pause300ms(void) {
  struct timespec time = {0, 300 * 1000 * 1000};
  nanosleep(&time, NULL);
}
#endif
#endif

#if defined(BROKEN_CLEAN_SYNTH) || defined(BROKEN_SILENT_SYNTH) || defined(BROKEN_HANGING_NOTE)
#define SYNTH 1
#endif

#ifndef BROKEN_NO_ENTRY

/* The record first, so a record pointer is an instance pointer. */
typedef struct Instance {
  AEffect record;
  float parameter;
  float sampleRate;
  int resumed;
  float* buffer; /* BROKEN_SUSPEND_CRASH */
  double phase, level;
  int note;
#if defined(BROKEN_CLEAN_SYNTH) || defined(BROKEN_SILENT_SYNTH) || defined(BROKEN_HANGING_NOTE)
  VstMidiEvent events[64]; /* the next block's */
  int pending;
  int pedal, released; /* the sustain pedal down; a note off held by it */
#endif
} Instance;

#if defined(BROKEN_SHARED_PARAMETER)
static float sharedParameter = 0.5f;
#define PARAMETER(effect) sharedParameter
#else
#define PARAMETER(effect) (((Instance*)(effect))->parameter)
#endif
#if defined(BROKEN_SHARED_HISTORY)
static float history[2];
#endif

static void copyText(void* ptr, const char* text, size_t size) {
  if (ptr != NULL) snprintf((char*)ptr, size, "%s", text);
}

static VstIntPtr dispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void* ptr, float opt) {
  Instance* instance = (Instance*)effect;
  (void)index;
  switch (opcode) {
    case effClose:
      free(instance->buffer);
      free(effect);
      return 1;
    case effGetProgram: return 0;
    case effSetProgram: return 0;
    case effGetProgramName: copyText(ptr, "Default", kVstMaxProgNameLen + 1); return 0;
    case effGetProgramNameIndexed:
      copyText(ptr, "Default", kVstMaxProgNameLen + 1);
      return index >= 0 && index < effect->numPrograms;
    case effGetParamName:
#if defined(BROKEN_TEXT_OVERRUN)
      if (ptr != NULL) strcpy((char*)ptr, "A name far too long to fit");
#else
      copyText(ptr, "Gain", kVstMaxParamStrLen + 1);
#endif
      return 0;
    case effGetParamLabel: copyText(ptr, "", kVstMaxParamStrLen + 1); return 0;
    case effGetParamDisplay:
#if defined(BROKEN_TEXT_FLOOD)
      if (ptr != NULL) memset(ptr, 'x', 400), ((char*)ptr)[400] = '\0';
#else
      if (ptr != NULL) snprintf((char*)ptr, kVstMaxParamStrLen + 1, "%.2f", PARAMETER(effect));
#endif
      return 0;
    case effGetEffectName: copyText(ptr, "Broken", kVstMaxEffectNameLen); return 1;
    case effGetVendorString: copyText(ptr, "Test", kVstMaxVendorStrLen); return 1;
    case effGetProductString: copyText(ptr, "Broken", kVstMaxProductStrLen); return 1;
    case effSetSampleRate:
#if defined(BROKEN_SUSPEND_CRASH)
      if (instance->resumed) { /* meant to be made again on resume, but never is */
        free(instance->buffer);
        instance->buffer = NULL;
      }
#endif
      instance->sampleRate = opt;
      return 0;
    case effMainsChanged:
      if (value != 0) instance->resumed = 1;
      return 0;
#if defined(BROKEN_NULL_POINTER)
    case effEditGetRect: {
      static ERect rect = {0, 0, 100, 100};
      *(ERect**)ptr = &rect;
      return 1;
    }
#endif
#if defined(BROKEN_OPCODE_CRASH)
    case effGetTailSize: CRASH(); return 0;
#endif
#if defined(BROKEN_CHUNK_TRUSTING)
    case effGetChunk: { /* a count, then the values */
      static float chunk[2];
      const VstInt32 one = 1;
      memcpy(&chunk[0], &one, sizeof one);
      chunk[1] = PARAMETER(effect);
      *(void**)ptr = chunk;
      return sizeof chunk;
    }
    case effSetChunk: {
      VstInt32 count;
      float value = 0.0f;
      memcpy(&count, ptr, sizeof count); /* even from an empty chunk */
      for (VstInt32 i = 0; i < count; ++i) value = ((const float*)ptr)[1 + i];
      if (value >= 0.0f && value <= 1.0f) PARAMETER(effect) = value;
      return 0;
    }
#endif
#if defined(SYNTH)
    case effProcessEvents: { /* kept for the next block, applied at their frames */
      const VstEvents* events = (const VstEvents*)ptr;
      instance->pending = 0;
      for (VstInt32 i = 0; events != NULL && i < events->numEvents && instance->pending < 64; ++i) {
        const VstMidiEvent* event = (const VstMidiEvent*)events->events[i];
        if (event == NULL || event->type != kVstMidiType) continue;
        instance->events[instance->pending++] = *event;
      }
      return 1;
    }
    case effCanDo: return ptr != NULL && strcmp((const char*)ptr, "receiveVstMidiEvent") == 0;
#endif
    default: return 0;
  }
}

static void setParameter(AEffect* effect, VstInt32 index, float value) {
  (void)index, (void)effect;
  PARAMETER(effect) = value;
}

static float getParameter(AEffect* effect, VstInt32 index) {
  (void)index, (void)effect;
#if defined(BROKEN_PARAMETER_RANGE)
  return PARAMETER(effect) * 2.0f;
#elif defined(BROKEN_STATE_LOST)
  return 0.5f;
#else
  return PARAMETER(effect);
#endif
}

#if defined(SYNTH)
/* One note at a time: note on and off, all notes off (123), all sound off
 * (120) and the sustain pedal (64). */
static void applyMidi(Instance* instance, const VstMidiEvent* event) {
  const int status = event->midiData[0] & 0xF0, data1 = event->midiData[1] & 0x7F,
            data2 = event->midiData[2] & 0x7F;
  if (status == 0x90 && data2 > 0) {
    instance->note = data1;
    instance->level = data2 / 127.0;
    instance->released = 0;
  }
#if !defined(BROKEN_HANGING_NOTE)
  if ((status == 0x80 || (status == 0x90 && data2 == 0)) && data1 == instance->note) {
    if (instance->pedal)
      instance->released = 1;
    else
      instance->note = -1;
  }
#endif
  if (status == 0xB0 && (data1 == 120 || data1 == 123)) instance->note = -1;
  if (status == 0xB0 && data1 == 64) {
    instance->pedal = data2 >= 64;
    if (!instance->pedal && instance->released) instance->note = -1;
  }
}
#endif

static void processReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
  Instance* instance = (Instance*)effect;
  const float gain = PARAMETER(effect);
#if defined(SYNTH)
  (void)inputs, (void)gain;
  int next = 0;
  for (VstInt32 i = 0; i < frames; ++i) {
    for (; next < instance->pending && instance->events[next].deltaFrames <= i; ++next)
      applyMidi(instance, &instance->events[next]);
    float sample = 0.0f;
#if !defined(BROKEN_SILENT_SYNTH)
    if (instance->note >= 0) {
      const double frequency = 440.0 * pow(2.0, (instance->note - 69) / 12.0);
      instance->phase = fmod(instance->phase + frequency / instance->sampleRate, 1.0);
      sample = (float)(0.3 * instance->level * sin(6.283185307179586 * instance->phase));
    }
#endif
    outputs[0][i] = outputs[1][i] = sample;
  }
  instance->pending = 0;
  return;
#else
#if defined(BROKEN_TEXT_OVERRUN)
  if (gain == 1.0f) CRASH();
#endif
#if defined(BROKEN_HANG)
  for (volatile int forever = 1; forever;) {
  }
#endif
#if defined(BROKEN_ALLOCATING)
  {
    float* volatile scratch = (float*)malloc((size_t)frames * sizeof(float));
    free(scratch);
  }
#endif
#if defined(BROKEN_SUSPEND_CRASH)
  instance->buffer[0] = 0.0f;
#else
  (void)instance;
#endif
  for (VstInt32 i = 0; i < frames; ++i)
    for (int c = 0; c < 2; ++c) {
      float sample = inputs[c][i] * gain;
#if defined(BROKEN_BLOCK_DEPENDENT)
      sample *= (float)(i + 1) / (float)frames;
#elif defined(BROKEN_BLOCK_ROUNDING)
      if (i == 0) sample = nextafterf(sample, 2.0f);
#elif defined(BROKEN_NAN_OUTPUT)
      sample = NAN;
#elif defined(BROKEN_DENORMAL)
      sample += 1e-39f;
#elif defined(BROKEN_SHARED_HISTORY)
      sample = history[c] = 0.5f * history[c] + 0.5f * sample;
#endif
#if defined(BROKEN_UNWRITTEN)
      if (c == 1) continue;
#endif
#if defined(BROKEN_PARAMETER_NAN)
      if (gain >= 1.0f) sample = NAN;
#endif
#if defined(BROKEN_NOT_IN_PLACE)
      continue;
#endif
      outputs[c][i] = sample;
    }
#if defined(BROKEN_NOT_IN_PLACE)
  /* Channel by channel: the right output reads the left input after the left
   * output has overwritten it when the two are one buffer. */
  for (int c = 0; c < 2; ++c)
    for (VstInt32 i = 0; i < frames; ++i)
      outputs[c][i] = gain * (1.5f * inputs[c][i] - 0.5f * inputs[1 - c][i]);
#endif
#endif
}

#if defined(BROKEN_DOUBLE_MISMATCH)
static void processDoubleReplacing(AEffect* effect, double** inputs, double** outputs,
                                   VstInt32 frames) {
  for (VstInt32 i = 0; i < frames; ++i)
    for (int c = 0; c < 2; ++c) outputs[c][i] = inputs[c][i] * PARAMETER(effect) * 0.5;
}
#endif

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
#if defined(BROKEN_THREAD_LEFT_RUNNING)
  startThread();
#endif
#if defined(BROKEN_SLOW_SCAN)
  pause300ms();
#endif
  instance->parameter = 0.5f;
  instance->sampleRate = 44100.0f;
  instance->note = -1;
  instance->buffer = (float*)calloc(16, sizeof(float));
  AEffect* effect = &instance->record;
  fillTestRecord(effect, dispatcher, setParameter, getParameter, processReplacing,
                 VST_FOUR_CHARS('b', 'r', 'k', 'n'));
  effect->numParams = 1;
#if defined(BROKEN_PROGRAM_MISMATCH)
  effect->numPrograms = 2;
#endif
#if defined(SYNTH)
  effect->numInputs = 0;
  effect->flags |= effFlagsIsSynth;
#endif
#if defined(BROKEN_CHUNK_TRUSTING)
  effect->flags |= effFlagsProgramChunks;
#endif
#if defined(BROKEN_DOUBLE_MISMATCH)
  effect->flags |= effFlagsCanDoubleReplacing;
  effect->processDoubleReplacing = processDoubleReplacing;
#endif
#if defined(BROKEN_DEFAULT_ID)
  effect->uniqueID = VST_FOUR_CHARS('N', 'o', 'E', 'f');
#endif
  return effect;
#endif
}

#else
EXPORT int notAnEntry(void) { return 0; }
#endif

/* Instruments that go wrong the ways an instrument's own test catches and the
 * checker must too, chosen by one definition BROKEN_<KIND>. Without a fault
 * (BROKEN_INSTRUMENT_CLEAN) it is a well-behaved eight-voice synth that passes
 * every check at both levels: a wave read through a per-key table, a
 * resonant low-pass filter per voice, the sustain pedal, pitch bend of two
 * semitones, all notes off and all sound off, every event at its frame.
 * Each kind below adds exactly one fault:
 *
 *   NOTE_OFF_FIRST         applies the block's note-offs before its note-ons:
 *                          a note struck and released in one block hangs
 *   BLOCK_START_EVENTS     applies every event at the block's first frame,
 *                          whatever its deltaFrames
 *   KEY_TABLE_OVERRUN      reads the per-key table at key + bend without a
 *                          bounds check: key 127 bent up (or 0 bent down)
 *                          reads an empty row and crashes
 *   ALL_NOTES_OFF_IGNORED  ignores all notes off (123 to 127)
 *   NOTE_OFF_HALF_VOICES   looks for a note-off's key in the first four voices
 *                          only (a loop bound's typo): with more than four
 *                          notes at once, some never end
 *   NAN_AT_CORNER          its filter's input gain 1 / (1 - resonance), meant
 *                          to keep the level as the resonance rises, is
 *                          infinite at resonance 1: NaN while a note sounds */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "pending_midi.h"
#include "test_record.h"

enum { kVoices = 8, kQueue = 512, kWave = 2048, kRows = 16 };
enum { kVolume, kCutoff, kResonance, kParams };
enum { kFree, kHeld, kSustained, kReleased };

typedef struct Voice {
  int state, key;
  float velocity, level;
  double phase;         /* in wave samples */
  float state1, state2; /* the filter's */
  unsigned long since;
} Voice;

/* The record first, so a record pointer is an instance pointer. */
typedef struct Instance {
  AEffect record;
  float parameters[kParams];
  float sampleRate;
  Pending pending[kQueue];
  int pendingCount;
  Voice voices[kVoices];
  int pedal;
  float bend; /* semitones */
  unsigned long clock;
  float wave[kWave + 1];
  /* The wave each key plays (one for all here; a sampled instrument would
   * have one per key range), with empty rows on either side. */
  const float* below[kRows];
  const float* keyWave[128];
  const float* above[kRows];
} Instance;

static const char* const kNames[kParams] = {"Volume", "Cutoff", "Reso"};
static const float kDefaults[kParams] = {0.5f, 0.8f, 0.2f};

static void copyText(void* ptr, const char* text, size_t size) {
  if (ptr != NULL) snprintf((char*)ptr, size, "%s", text);
}

/* Voices: a note on takes the voice of the same key, a free one, the one
 * released longest ago or the one held longest, in that order. */
static Voice* voiceFor(Instance* instance, int key) {
  Voice* chosen = NULL;
  for (int i = 0; i < kVoices && chosen == NULL; ++i)
    if (instance->voices[i].state != kFree && instance->voices[i].key == key)
      chosen = &instance->voices[i];
  for (int i = 0; i < kVoices && chosen == NULL; ++i)
    if (instance->voices[i].state == kFree) chosen = &instance->voices[i];
  for (int pass = 0; pass < 2 && chosen == NULL; ++pass)
    for (int i = 0; i < kVoices; ++i) {
      Voice* voice = &instance->voices[i];
      if ((voice->state == kReleased) == (pass == 0) &&
          (chosen == NULL || voice->since < chosen->since))
        chosen = voice;
    }
  return chosen;
}

static void release(Instance* instance, Voice* voice) {
  voice->state = kReleased;
  voice->since = ++instance->clock;
}

static void apply(Instance* instance, const Pending* event) {
  const int kind = event->status & 0xF0, data1 = event->data1, data2 = event->data2;
  if (event->status < 0x80 || event->status >= 0xF0 || data1 >= 0x80 || data2 >= 0x80) return;
  if (kind == 0x90 && data2 > 0) {
    Voice* voice = voiceFor(instance, data1);
    if (voice->state == kFree) {
      voice->level = 0.0f;
      voice->phase = 0.0;
      voice->state1 = voice->state2 = 0.0f;
    }
    voice->state = kHeld;
    voice->key = data1;
    voice->velocity = (float)data2 / 127.0f;
    voice->since = ++instance->clock;
  } else if (kind == 0x80 || kind == 0x90) {
#if defined(BROKEN_NOTE_OFF_HALF_VOICES)
    for (int i = 0; i < kVoices / 2; ++i) {
#else
    for (int i = 0; i < kVoices; ++i) {
#endif
      Voice* voice = &instance->voices[i];
      if (voice->state != kHeld || voice->key != data1) continue;
      if (instance->pedal)
        voice->state = kSustained;
      else
        release(instance, voice);
    }
  } else if (kind == 0xB0) {
    const int pedalUp = (data1 == 64 && data2 < 64) || data1 == 121;
    int allNotesOff = data1 >= 123;
#if defined(BROKEN_ALL_NOTES_OFF_IGNORED)
    allNotesOff = 0;
#endif
    if (data1 == 64 && data2 >= 64) instance->pedal = 1;
    if (pedalUp) instance->pedal = 0;
    if (data1 == 121) instance->bend = 0.0f;
    for (int i = 0; i < kVoices; ++i) {
      Voice* voice = &instance->voices[i];
      if (data1 == 120) voice->state = kFree;
      if ((pedalUp && voice->state == kSustained) ||
          (allNotesOff && (voice->state == kHeld || voice->state == kSustained)))
        release(instance, voice);
    }
  } else if (kind == 0xE0) {
    instance->bend = 2.0f * (float)((data2 << 7 | data1) - 8192) / 8192.0f;
  }
}

/* Frames `from` to `to`: every sounding voice through its filter. */
static void render(Instance* instance, float** outputs, VstInt32 from, VstInt32 to) {
  const float rate = instance->sampleRate;
  const float resonance = instance->parameters[kResonance];
  double cutoff = 20.0 * pow(1000.0, instance->parameters[kCutoff]);
  if (cutoff > 0.45 * rate) cutoff = 0.45 * rate;
  const float g = (float)tan(3.141592653589793 * cutoff / rate), k = 2.0f - 1.9f * resonance;
  const float a1 = 1.0f / (1.0f + g * (g + k)), a2 = g * a1, a3 = g * a2;
#if defined(BROKEN_NAN_AT_CORNER)
  const float drive = 1.0f / (1.0f - resonance);
#else
  const float drive = 1.0f / (1.0f - 0.5f * resonance);
#endif
  const float gain = 0.25f * instance->parameters[kVolume];
  const float attack = 1.0f / (0.005f * rate), fall = 1.0f / (0.05f * rate);
  for (VstInt32 i = from; i < to; ++i) outputs[0][i] = 0.0f;
  for (int v = 0; v < kVoices; ++v) {
    Voice* voice = &instance->voices[v];
    if (voice->state == kFree) continue;
    int row = voice->key + (int)lrintf(instance->bend);
#if !defined(BROKEN_KEY_TABLE_OVERRUN)
    row = row < 0 ? 0 : (row > 127 ? 127 : row);
#endif
    const float* wave = instance->keyWave[row];
    const double step =
        kWave * 440.0 * pow(2.0, ((double)(voice->key - 69) + instance->bend) / 12.0) / rate;
    for (VstInt32 i = from; i < to; ++i) {
      /* Free at the frame its release ends, whatever the block size. */
      if (voice->state == kReleased && voice->level == 0.0f) {
        voice->state = kFree;
        break;
      }
      voice->level = voice->state == kReleased ? fmaxf(voice->level - fall, 0.0f)
                                               : fminf(voice->level + attack, 1.0f);
      const float x = drive * voice->velocity * voice->level * wave[(int)voice->phase];
      voice->phase += step;
      voice->phase -= kWave * floor(voice->phase / kWave);
      const float v3 = x - voice->state2;
      const float v1 = a1 * voice->state1 + a2 * v3;
      const float v2 = voice->state2 + a2 * voice->state1 + a3 * v3;
      voice->state1 = 2.0f * v1 - voice->state1;
      voice->state2 = 2.0f * v2 - voice->state2;
      outputs[0][i] += gain * v2;
    }
  }
  for (VstInt32 i = from; i < to; ++i) outputs[1][i] = outputs[0][i];
}

static int isNoteOff(const Pending* event) {
  return (event->status & 0xF0) == 0x80 || ((event->status & 0xF0) == 0x90 && event->data2 == 0);
}

static void processReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
  Instance* instance = (Instance*)effect;
  (void)inputs;
#if defined(BROKEN_NOTE_OFF_FIRST)
  /* "Releases first, so a key struck again in the block is not cut short." */
  Pending sorted[kQueue];
  int count = 0;
  for (int pass = 0; pass < 2; ++pass)
    for (int i = 0; i < instance->pendingCount; ++i)
      if (isNoteOff(&instance->pending[i]) == (pass == 0)) sorted[count++] = instance->pending[i];
  memcpy(instance->pending, sorted, (size_t)count * sizeof(Pending));
#else
  (void)isNoteOff;
#endif
  VstInt32 at = 0;
  for (int i = 0; i < instance->pendingCount; ++i) {
    VstInt32 frame = instance->pending[i].frame;
    frame = frame < at ? at : (frame > frames ? frames : frame);
#if defined(BROKEN_BLOCK_START_EVENTS)
    frame = 0;
#endif
    render(instance, outputs, at, frame);
    at = frame;
    apply(instance, &instance->pending[i]);
  }
  instance->pendingCount = 0;
  render(instance, outputs, at, frames);
}

/* Keeps the MIDI events of the next block in the order of their frames. */
static void processEvents(Instance* instance, const VstEvents* events) {
  queueMidiEvents(instance->pending, &instance->pendingCount, kQueue, events);
}

static VstIntPtr dispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void* ptr, float opt) {
  Instance* instance = (Instance*)effect;
  const int valid = index >= 0 && index < kParams;
  switch (opcode) {
    case effClose: free(effect); return 1;
    case effGetProgram: return 0;
    case effGetProgramName: copyText(ptr, "Default", kVstMaxProgNameLen + 1); return 0;
    case effGetProgramNameIndexed:
      copyText(ptr, "Default", kVstMaxProgNameLen + 1);
      return index == 0;
    case effGetParamName:
      copyText(ptr, valid ? kNames[index] : "", kVstMaxParamStrLen + 1);
      return 0;
    case effGetParamLabel: copyText(ptr, "", kVstMaxParamStrLen + 1); return 0;
    case effGetParamDisplay:
      if (ptr != NULL)
        snprintf((char*)ptr, kVstMaxParamStrLen + 1, "%.2f",
                 valid ? (double)instance->parameters[index] : 0.0);
      return 0;
    case effGetEffectName: copyText(ptr, "Instrument", kVstMaxEffectNameLen); return 1;
    case effGetVendorString: copyText(ptr, "Test", kVstMaxVendorStrLen); return 1;
    case effGetProductString: copyText(ptr, "Instrument", kVstMaxProductStrLen); return 1;
    case effGetPlugCategory: return kPlugCategSynth;
    case effSetSampleRate:
      if (opt > 0.0f && isfinite(opt)) instance->sampleRate = opt;
      return 0;
    case effMainsChanged:
      if (value == 0) { /* switched off: nothing sounds on */
        memset(instance->voices, 0, sizeof instance->voices);
        instance->pendingCount = 0;
        instance->pedal = 0;
      }
      return 0;
    case effProcessEvents: processEvents(instance, (const VstEvents*)ptr); return 1;
    case effCanDo: return ptr != NULL && strcmp((const char*)ptr, "receiveVstMidiEvent") == 0;
    default: return 0;
  }
}

static void setParameter(AEffect* effect, VstInt32 index, float value) {
  if (index >= 0 && index < kParams)
    ((Instance*)effect)->parameters[index] = value >= 0.0f ? (value <= 1.0f ? value : 1.0f) : 0.0f;
}

static float getParameter(AEffect* effect, VstInt32 index) {
  return index >= 0 && index < kParams ? ((Instance*)effect)->parameters[index] : 0.0f;
}

EXPORT AEffect* VSTPluginMain(audioMasterCallback master) {
  (void)master;
  Instance* instance = (Instance*)calloc(1, sizeof(Instance));
  if (instance == NULL) return NULL;
  for (int i = 0; i < kParams; ++i) instance->parameters[i] = kDefaults[i];
  instance->sampleRate = 44100.0f;
  for (int i = 0; i <= kWave; ++i) instance->wave[i] = (float)sin(6.283185307179586 * i / kWave);
  for (int key = 0; key < 128; ++key) instance->keyWave[key] = instance->wave;
  AEffect* effect = &instance->record;
  fillTestRecord(effect, dispatcher, setParameter, getParameter, processReplacing,
                 VST_FOUR_CHARS('b', 'r', 'k', 'i'));
  effect->numParams = kParams;
  effect->numInputs = 0;
  effect->flags |= effFlagsIsSynth;
  return effect;
}

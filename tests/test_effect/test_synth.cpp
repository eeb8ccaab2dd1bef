// TestSynth: a second, small effect built on the framework as its own module.
// It takes the paths Orsolane never takes: a synth flag (so resume asks the
// host for events) and MIDI events (a sine while a note is held), a canDo
// that answers 1 to "receiveVstMidiEvent", a 64-bit
// vendorSpecific answer, and an editor. The editor reports every call it gets
// to the host as audioMasterVendorSpecific (index: the event below; value:
// what it received), so a test sees it through the host's record.
#include <cmath>
#include <cstring>

#include "vst/audio_effect_x.h"
#include "vst/events.h"
#include "vst/midi.h"
#include "vst/text_copy.h"

namespace {

enum EditorEvent : VstInt32 {
  kKeyDown = 1,  // value: character | virt << 32 | modifier << 40
  kKeyUp = 2,
  kKnobMode = 3,  // value: the mode
  kGetRect = 4,
  kOpen = 5,  // ptr: the parent window
  kClose = 6,
  kIdle = 7,
  kDestroyed = 8
};

class TestEditor : public AEffEditor {
 public:
  TestEditor(AudioEffect* effect, audioMasterCallback host)
      : AEffEditor(effect), host(host), record(effect->getAeffect()) {}
  // [host thread] Runs inside ~AudioEffect: reports through the callback
  // directly, since the effect's own operations are gone by then.
  ~TestEditor() override { report(kDestroyed); }
  bool getRect(ERect** rect) override {
    report(kGetRect);
    if (rect != nullptr) *rect = &bounds;
    return true;
  }
  bool open(void* parent) override { return report(kOpen, 0, parent), true; }
  void close() override { report(kClose); }
  void idle() override { report(kIdle); }
  bool onKeyDown(VstKeyCode& key) override { return report(kKeyDown, keyValue(key)), true; }
  bool onKeyUp(VstKeyCode& key) override { return report(kKeyUp, keyValue(key)), false; }
  bool setKnobMode(VstInt32 mode) override { return report(kKnobMode, mode), true; }

 private:
  static VstIntPtr keyValue(const VstKeyCode& key) {
    return static_cast<VstIntPtr>(static_cast<uint32_t>(key.character)) |
           static_cast<VstIntPtr>(key.virt) << 32 | static_cast<VstIntPtr>(key.modifier) << 40;
  }
  void report(VstInt32 event, VstIntPtr value = 0, void* ptr = nullptr) {
    if (host != nullptr) host(record, audioMasterVendorSpecific, event, value, ptr, 0.0f);
  }
  audioMasterCallback host;
  AEffect* record;
  ERect bounds{0, 0, 120, 240};
};

class TestSynth : public AudioEffectX {
 public:
  explicit TestSynth(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, 1, 0) {
    setNumInputs(0);
    setNumOutputs(2);
    isSynth(true);
    setUniqueID(VST_FOUR_CHARS('t', 's', 'y', 'n'));
    setFlag(effFlagsHasEditor, true);
    editor = new (std::nothrow) TestEditor(this, audioMaster);
  }
  // [audio thread] A sine at the held note's pitch, silence without one; each
  // event of the block applied at its frame.
  void processReplacing(float**, float** outputs, VstInt32 sampleFrames) override {
    for (vst::MidiSegments segment(midi, sampleFrames); segment.next();) {
      for (const vst::MidiMessage& message : segment) voice.apply(message);
      const vst::Voice& note = voice[0];
      const bool sounding = note.gate();
      const double step =
          sounding ? 440.0 * std::pow(2.0, (note.key - 69) / 12.0) / sampleRate : 0.0;
      for (VstInt32 i = segment.from(); i < segment.to(); ++i) {
        const float sample =
            sounding ? static_cast<float>(0.25 * std::sin(6.283185307179586 * phase)) : 0.0f;
        phase = std::fmod(phase + step, 1.0);
        outputs[0][i] = outputs[1][i] = sample;
      }
      if (!sounding && note.active()) voice.finish(0);  // no release: silent at once
    }
  }
  // [audio thread, before the block the events belong to] Kept for the block.
  VstInt32 processEvents(VstEvents* events) override { return midi.add(events); }
  bool getEffectName(char* name) override {
    vst::copyText(name, "TestSynth", kVstMaxEffectNameLen - 1);
    return true;
  }
  VstInt32 canDo(char* text) override {
    return text != nullptr && std::strcmp(text, "receiveVstMidiEvent") == 0 ? 1 : 0;
  }
  // A 64-bit answer: index in the top bits, value in the low 40.
  VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void*, float) override {
    return static_cast<VstIntPtr>(static_cast<uint64_t>(static_cast<uint32_t>(index)) << 40 |
                                  (static_cast<uint64_t>(value) & 0xFFFFFFFFFFull));
  }

 private:
  // Audio thread only: the next block's events; one voice, which the pedal
  // and the channel-mode messages reach too.
  vst::MidiQueue midi;
  vst::VoiceAllocator voice{1};
  double phase = 0.0;
};

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new (std::nothrow) TestSynth(audioMaster);
}

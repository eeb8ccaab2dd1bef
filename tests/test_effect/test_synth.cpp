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
    VstInt32 next = 0;
    for (VstInt32 i = 0; i < sampleFrames; ++i) {
      for (; next < pending && events[next].deltaFrames <= i; ++next) apply(events[next]);
      const float sample =
          note < 0 ? 0.0f : static_cast<float>(0.25 * std::sin(6.283185307179586 * phase));
      if (note >= 0)
        phase = std::fmod(phase + 440.0 * std::pow(2.0, (note - 69) / 12.0) / sampleRate, 1.0);
      outputs[0][i] = outputs[1][i] = sample;
    }
    pending = 0;
  }
  // [audio thread, before the block the events belong to] Kept for the block.
  VstInt32 processEvents(VstEvents* list) override {
    pending = 0;
    for (VstInt32 i = 0; list != nullptr && i < list->numEvents && pending < kMaxEvents; ++i) {
      const VstEvent* head = list->events[i];
      if (head == nullptr || head->type != kVstMidiType) continue;
      std::memcpy(&events[pending++], head, sizeof(VstMidiEvent));
    }
    return 1;
  }
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
  // Note on and off, all sound off (120) and all notes off (123), the
  // sustain pedal (64).
  void apply(const VstMidiEvent& event) {
    const int status = event.midiData[0] & 0xF0, data1 = event.midiData[1] & 0x7F,
              data2 = event.midiData[2] & 0x7F;
    if (status == 0x90 && data2 != 0) note = data1, released = false;
    if ((status == 0x80 || (status == 0x90 && data2 == 0)) && data1 == note)
      pedal ? void(released = true) : void(note = -1);
    if (status == 0xB0 && (data1 == 120 || data1 == 123)) note = -1;
    if (status == 0xB0 && data1 == 64) {
      pedal = data2 >= 64;
      if (!pedal && released) note = -1;
    }
  }
  // Audio thread only.
  static constexpr VstInt32 kMaxEvents = 64;
  VstMidiEvent events[kMaxEvents] = {};
  VstInt32 pending = 0;
  int note = -1;  // -1: none held
  bool pedal = false, released = false;
  double phase = 0.0;
};

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new (std::nothrow) TestSynth(audioMaster);
}

// Fuzz target: random MIDI through the queue into the voice allocator and its
// controllers, with every mode and stealing option, mode changes, resets and
// finished releases along the way; decodable bytes, garbled bytes and
// messages made by hand with any numbers. After every message no voice sounds
// a key nobody holds or the pedal no longer sustains, and the controllers read
// within their ranges; after all notes off and the pedals up on every channel
// no voice is still gated.
#include <cmath>
#include <cstring>
#include <vector>

#include "byte_reader.h"
#include "vst/midi.h"

namespace {

// The keys down as the allocator saw the messages.
struct Keys {
  bool down[16][128] = {};
  void apply(const vst::MidiMessage& message, const vst::MidiControllers& controllers) {
    const bool valid =
        message.channel >= 0 && message.channel < 16 && message.number >= 0 && message.number < 128;
    if (message.type == vst::MidiType::kNoteOn && valid)
      down[message.channel][message.number] = true;
    if (message.type == vst::MidiType::kNoteOff && valid)
      down[message.channel][message.number] = false;
    if (valid && message.type == vst::MidiType::kControlChange && message.value >= 0 &&
        message.value < 128 && message.number >= vst::kMidiAllSoundOff &&
        message.number != vst::kMidiResetControllers && message.number != 122)
      for (int channel = 0; channel < 16; ++channel)
        if (controllers.reaches(message.channel, channel))
          std::memset(down[channel], 0, sizeof down[channel]);
  }
};

void check(const vst::VoiceAllocator& voices, const Keys& keys) {
  for (int i = 0; i < voices.size(); ++i) {
    const vst::Voice& voice = voices[i];
    if (voice.state == vst::VoiceState::kHeld) FUZZ_CHECK(keys.down[voice.channel][voice.key]);
    if (voice.state == vst::VoiceState::kSustained)
      FUZZ_CHECK(voices.controllers().sustain(voice.channel));
    if (voice.active())
      FUZZ_CHECK(voice.channel >= 0 && voice.channel < 16 && voice.key >= 0 && voice.key < 128 &&
                 voice.velocity >= 1 && voice.velocity <= 127);
  }
  const vst::MidiControllers& controllers = voices.controllers();
  FUZZ_CHECK(controllers.mpeMembers() >= 0 && controllers.mpeMembers() <= 15);
  for (int channel = -1; channel <= 16; ++channel) {
    const float range = controllers.bendRange(channel), bend = controllers.bend(channel);
    FUZZ_CHECK(range >= 0.0f && range <= 96.0f);
    FUZZ_CHECK(std::isfinite(bend) && std::fabs(bend) <= 192.0f);
    for (const float unit : {controllers.modWheel(channel), controllers.pressure(channel),
                             controllers.volume(channel), controllers.expression(channel),
                             controllers.timbre(channel), controllers.polyPressure(channel, 60)})
      FUZZ_CHECK(unit >= 0.0f && unit <= 1.0f);
    FUZZ_CHECK(std::fabs(controllers.pan(channel)) <= 1.0f);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteReader in(data, size);
  static vst::MidiQueue queue;  // large: made once
  queue.clear();
  vst::VoiceAllocator voices(in.byte() % 70);
  Keys keys;
  int steals = 0;
  voices.onSteal([](void* count, const vst::VoiceSteal&) { ++*static_cast<int*>(count); }, &steals);
  while (!in.empty()) {
    // A block: settings, then a list of events, then its segments applied.
    const uint8_t settings = in.byte();
    voices.setMode(static_cast<vst::VoiceMode>(settings % 3));
    voices.spare(settings & 4, settings & 8);
    if (settings == 0xFF) voices.reset(), keys = Keys();
    std::vector<VstMidiEvent> events(in.byte() * 8u);
    for (VstMidiEvent& event : events) {
      event = VstMidiEvent{};
      event.type = kVstMidiType;
      event.byteSize = sizeof event;
      event.deltaFrames = in.byte() - 8;
      const uint8_t kind = in.byte();
      event.midiData[0] = static_cast<char>(kind < 0x80 ? 0x80 | (kind & 0x7F) : kind);
      event.midiData[1] = static_cast<char>(in.byte() & (kind & 1 ? 0xFF : 0x7F));
      event.midiData[2] = static_cast<char>(in.byte() & 0x7F);
    }
    std::vector<VstEvent*> pointers(events.size() + 2);
    for (size_t i = 0; i < events.size(); ++i)
      pointers[i] = reinterpret_cast<VstEvent*>(&events[i]);
    std::vector<char> list(sizeof(VstEvents) + pointers.size() * sizeof(VstEvent*));
    VstEvents* record = reinterpret_cast<VstEvents*>(list.data());
    record->numEvents = static_cast<VstInt32>(events.size());
    std::memcpy(record->events, pointers.data(), pointers.size() * sizeof(VstEvent*));
    queue.add(record);
    if (in.byte() < 16) {  // a message made by hand, any numbers
      vst::MidiMessage odd;
      odd.type = static_cast<vst::MidiType>(in.byte() % 8);
      odd.channel = in.anyInt();
      odd.number = in.anyInt();
      odd.value = in.anyInt();
      odd.bend = in.anyInt();
      queue.add(odd);
      keys.apply(odd, voices.controllers());
      voices.apply(odd);
      check(voices, keys);
    }
    for (vst::MidiSegments segment(queue, in.byte() * 4); segment.next();) {
      for (const vst::MidiMessage& message : segment) {
        keys.apply(message, voices.controllers());
        voices.apply(message);
        check(voices, keys);
      }
      const int finished = in.byte();  // a synth's release died away
      if (finished < voices.size()) voices.finish(finished);
    }
  }
  for (int channel = 0; channel < 16; ++channel) {
    voices.allNotesOff(channel);
    voices.setSustain(channel, false);
  }
  for (int i = 0; i < voices.size(); ++i) FUZZ_CHECK(!voices[i].gate());
  return 0;
}

// MIDI for instruments: a decoder from the host's MIDI events to messages, a
// queue that processEvents fills and processReplacing reads back in segments
// between the events' frames, the controllers of each channel (MPE included),
// and a voice allocator a synth may use or ignore. All are fixed-size: nothing
// allocates, locks or waits after construction, so they belong on the audio
// thread.
#pragma once

#include <cstdint>

#include "vst/events.h"
#include "vst/types.h"

namespace vst {

enum class MidiType : std::uint8_t {
  kNone,  // not a channel message the decoder knows: ignore it
  kNoteOff,
  kNoteOn,
  kPolyPressure,
  kControlChange,
  kProgramChange,
  kChannelPressure,
  kPitchBend
};

// Controllers with a meaning of their own.
enum MidiController : int {
  kMidiModWheel = 1,
  kMidiDataEntry = 6,  // the selected parameter's value (RPN 0: bend range in semitones)
  kMidiVolume = 7,
  kMidiPan = 10,
  kMidiExpression = 11,
  kMidiDataEntryFine = 38,  // RPN 0: the bend range's cents
  kMidiSustainPedal = 64,   // values 64 to 127: down; 0 to 63: up
  kMidiTimbre = 74,         // MPE's third dimension of a note, after bend and pressure
  kMidiNrpnFine = 98,       // selecting a non-registered parameter deselects any RPN
  kMidiNrpnCoarse = 99,
  kMidiRpnFine = 100,  // registered parameter: 0 pitch-bend range, 6 MPE configuration
  kMidiRpnCoarse = 101,
  kMidiAllSoundOff = 120,       // silence at once, release tails included
  kMidiResetControllers = 121,  // pedal up, bend and pressures centred, wheel and expression reset
  kMidiAllNotesOff = 123        // release every note; 124 to 127 imply it too
};

// One channel message, with the frame it takes effect at.
struct MidiMessage {
  MidiType type = MidiType::kNone;
  int channel = 0;           // 0 to 15
  int number = 0;            // key (notes, poly pressure), controller, program
  int value = 0;             // velocity (notes), controller value, pressure
  int bend = 0;              // pitch bend, -8192 to 8191; 0 is centred
  VstInt32 deltaFrames = 0;  // frame of the block, as the host sent it

  bool isController(int controller) const {
    return type == MidiType::kControlChange && number == controller;
  }
  // All notes off, or a channel-mode message (124 to 127) that implies it.
  bool endsAllNotes() const {
    return type == MidiType::kControlChange && number >= kMidiAllNotesOff;
  }
  // Pitch bend as a fraction of its range: -1 to just under 1.
  float bendFraction() const { return static_cast<float>(bend) / 8192.0f; }
  // A message that must land however full the queue: it ends or releases
  // sound (note off, pedal up, channel-mode messages 120 to 127).
  bool endsSound() const {
    return type == MidiType::kNoteOff ||
           (type == MidiType::kControlChange &&
            ((number == kMidiSustainPedal && value < 64) || number >= kMidiAllSoundOff));
  }
};

// Decodes one event. What is not a complete channel message in a MIDI event
// decodes as kNone: other event types, a byteSize too short for a MIDI event,
// a first byte that is no channel status (running status, system messages),
// a data byte with its top bit set. Reads the event's 32 bytes, never more,
// whatever its byteSize says. A note on of velocity 0 is a note off of
// velocity 64, as MIDI defines it.
MidiMessage decodeMidi(const VstEvent& event) noexcept;

// The messages of the next block: processEvents adds the host's list, and
// processReplacing takes them back with MidiSegments, which empties the queue.
//
// However dense a block, nothing it releases is lost: the last kKeptForEnds
// places are kept for the messages that end sound (endsSound()), and those
// that still find no place are noted (the keys released, the pedals lifted,
// the channel-mode messages) and come after the block's last segment. Other
// messages that find no place are dropped and counted.
class MidiQueue {
 public:
  static constexpr VstInt32 kCapacity = 1024;
  static constexpr VstInt32 kKeptForEnds = 128;

  // [audio thread] Keeps the decodable messages of a host's list, in the order
  // of their frames (arrival order within a frame). Null lists, null event
  // pointers and events that decode as kNone are skipped. Answers 1, what
  // processEvents answers the host.
  VstInt32 add(const VstEvents* events) noexcept;
  // [audio thread] Keeps one message; false, and counted, when it is dropped
  // for lack of room. A message with a channel outside 0 to 15 is dropped too.
  bool add(const MidiMessage& message) noexcept;

  VstInt32 size() const noexcept { return count_; }
  // Messages dropped for lack of room since construction.
  std::uint64_t overflowed() const noexcept { return overflowed_; }
  // Empties the queue, noted messages included.
  void clear() noexcept;

 private:
  friend class MidiSegments;
  // Notes a message that ends sound; false for one with no key or controller to note.
  bool note(const MidiMessage& message) noexcept;
  // Writes up to `room` noted messages at `frame`, forgetting them; answers how many.
  VstInt32 takeNoted(MidiMessage* out, VstInt32 room, VstInt32 frame) noexcept;

  MidiMessage messages_[kCapacity];
  VstInt32 count_ = 0;
  std::uint64_t overflowed_ = 0;
  // Noted when full: released keys by channel, lifted pedals, channel-mode
  // messages 120 to 127 (a bit each, and the value sent).
  bool noted_ = false;
  std::uint64_t releasedKeys_[16][2] = {};
  std::uint16_t pedalsUp_ = 0;
  std::uint8_t modes_[16] = {};
  std::uint8_t modeValues_[16][8] = {};
};

// [audio thread] A block of `sampleFrames` frames cut at the frames of the
// queued messages. Each next() moves to the following segment: first apply its
// messages (those at frame from()), then render frames from() to to(). Frames
// before the block count as 0; frames past its end come in a last segment of
// no frames, so they still apply before the next block, and so do the
// messages the queue noted when it was full. Empties the queue when it goes,
// however far it got.
//
//   for (vst::MidiSegments segment(queue, sampleFrames); segment.next();) {
//     for (const vst::MidiMessage& message : segment) apply(message);
//     render(outputs, segment.from(), segment.to());
//   }
class MidiSegments {
 public:
  MidiSegments(MidiQueue& queue, VstInt32 sampleFrames) noexcept
      : queue_(queue), frames_(sampleFrames > 0 ? sampleFrames : 0) {}
  ~MidiSegments() { queue_.clear(); }
  MidiSegments(const MidiSegments&) = delete;
  MidiSegments& operator=(const MidiSegments&) = delete;

  bool next() noexcept;
  VstInt32 from() const noexcept { return from_; }
  VstInt32 to() const noexcept { return to_; }
  const MidiMessage* begin() const noexcept { return queue_.messages_ + first_; }
  const MidiMessage* end() const noexcept { return queue_.messages_ + last_; }

 private:
  VstInt32 frameOf(VstInt32 index) const noexcept;
  MidiQueue& queue_;
  VstInt32 frames_;
  VstInt32 from_ = 0, to_ = 0;     // the current segment's frames
  VstInt32 first_ = 0, last_ = 0;  // its messages
  bool done_ = false;
};

// The controllers of the sixteen channels, as the messages left them: pitch
// bend and its range (RPN 0), mod wheel, channel and poly pressure, volume,
// pan, expression, timbre (CC 74) and the sustain pedal; and an MPE lower
// zone, whose master channel (channel 1, index 0) speaks for the whole zone
// and whose member channels (2 up) each carry one note with its own bend,
// pressure and timbre. A voice reads them through its channel.
//
// What cannot be meant is clamped or ignored, never stored out of a table: a
// channel outside 0 to 15 reads as a channel left at its defaults and changes
// nothing; a controller number or value outside 0 to 127 is ignored; a bend
// range above 96 semitones is 96, its cents 0 to 99; an MPE zone of more than
// 15 member channels has 15. Data increment and decrement are not read.
class MidiControllers {
 public:
  static constexpr int kDefaultBendRange = 2;  // semitones
  static constexpr int kMpeBendRange = 48;     // a member channel's, by default
  static constexpr int kMaxBendRange = 96;

  // [audio thread] Bend, pressures, control changes and their registered
  // parameters: RPN 0 sets the channel's bend range (on a member channel every
  // member's), RPN 6 on channel index 0 configures the lower zone as MPE
  // controllers send it (0 member channels turns it off). RPN 6 on index 15,
  // an upper zone, is not played as a zone, but it shrinks the lower zone so
  // the two never overlap, as MPE requires. Other messages change nothing.
  void apply(const MidiMessage& message) noexcept;
  // [audio thread] Every channel as after reset controllers, and volume and
  // pan at their defaults; the bend ranges and the zone, which configure the
  // instrument, stay.
  void reset() noexcept;

  // [audio thread] The lower zone with `members` member channels (index 1 to
  // `members`), clamped to 0 to 15, 0 turning it off; bend ranges become 48
  // on the members and 2 on the master, as the configuration message sets.
  void setMpeZone(int members) noexcept;
  int mpeMembers() const noexcept { return lowerMembers_; }
  bool isMpeMember(int channel) const noexcept { return channel >= 1 && channel <= lowerMembers_; }
  // A message on `messageChannel` reaches notes on `channel`: the same
  // channel, or the zone's master and one of its members.
  bool reaches(int messageChannel, int channel) const noexcept {
    return messageChannel == channel ||
           (messageChannel == 0 && lowerMembers_ > 0 && isMpeMember(channel));
  }

  // [audio thread] A channel's bend range in semitones, clamped to 0 to 96.
  void setBendRange(int channel, float semitones) noexcept;
  float bendRange(int channel) const noexcept;

  // Pitch bend in semitones: the channel's own; on a member channel the
  // master's added.
  float bend(int channel) const noexcept;
  // 0 to 1; volume 100/127 and expression 1 by default.
  float modWheel(int channel) const noexcept { return unit(at(channel).modWheel); }
  float pressure(int channel) const noexcept { return unit(at(channel).pressure); }
  float polyPressure(int channel, int key) const noexcept;
  float volume(int channel) const noexcept { return unit(at(channel).volume); }
  float expression(int channel) const noexcept { return unit(at(channel).expression); }
  float timbre(int channel) const noexcept { return unit(at(channel).timbre); }  // 0.5 centred
  // -1 (left) to 1 (right), 0 centred.
  float pan(int channel) const noexcept;
  // The channel's pedal, or for a member channel the master's.
  bool sustain(int channel) const noexcept;
  void setSustain(int channel, bool down) noexcept;

 private:
  struct Channel {
    std::int16_t bend = 0;  // -8192 to 8191
    std::uint16_t bendRangeCents = kDefaultBendRange * 100;
    std::uint8_t modWheel = 0, pressure = 0, volume = 100, pan = 64, expression = 127, timbre = 64;
    bool pedal = false;
    std::uint8_t rpnCoarse = 127, rpnFine = 127;  // 127, 127: none selected
    std::uint8_t polyPressure[128] = {};
  };
  static float unit(int value) { return static_cast<float>(value) / 127.0f; }
  const Channel& at(int channel) const noexcept;
  void control(int channel, int number, int value) noexcept;
  void dataEntry(int channel, bool coarse, int value) noexcept;
  void setRangeCents(int channel, int cents) noexcept;
  Channel channels_[16];
  int lowerMembers_ = 0, upperMembers_ = 0;
};

// What a voice is doing.
enum class VoiceState : std::uint8_t {
  kFree,       // silent, ready for a note
  kHeld,       // its key is down
  kSustained,  // its key is up, the sustain pedal holds it
  kReleased    // fading out; the synth calls finish() when it is silent
};

struct Voice {
  VoiceState state = VoiceState::kFree;
  int channel = 0;
  int key = 0;
  int velocity = 0;  // 1 to 127
  std::uint64_t since =
      0;  // when it started (held), its key went up (sustained) or it was released

  bool active() const { return state != VoiceState::kFree; }
  // Key or pedal down: the note sounds on at full level.
  bool gate() const { return state == VoiceState::kHeld || state == VoiceState::kSustained; }
};

// How notes take voices.
enum class VoiceMode : std::uint8_t {
  kPoly,   // a voice per note
  kMono,   // one voice: the newest key plays, with a new attack
  kLegato  // one voice: the newest key plays, gliding from the sounding note without one
};

// A voice taken from the note it sounded for a new one: the synth fades the
// old note out fast (a few milliseconds) so the steal makes no click.
struct VoiceSteal {
  int voice;
  int oldChannel, oldKey;
  int channel, key;
};

// Assigns notes to a fixed number of voices, and keeps the controllers.
//
// Poly: a note on takes the voice already playing that key on that channel,
// else a free voice; else it steals, in this order, the voice released
// longest ago, the voice the pedal sustains whose key went up longest ago,
// the voice held longest (sparing the highest and the lowest held keys if
// asked, while another held voice remains). Mono and legato play one voice
// (index 0) and remember the last 128 keys held: the newest plays, and
// releasing it returns to the newest still held, in mono with a new attack
// (told as a steal), in legato by changing the voice's key while it sounds,
// which the synth glides to; a legato note keeps the velocity of its attack.
//
// The sustain pedal keeps released keys sounding until it lifts; all notes
// off releases every note of its channel, pedal or not; all sound off frees
// them at once. On an MPE zone's master channel these reach the whole zone.
// Notes with a channel outside 0 to 15 or a key outside 0 to 127 are ignored,
// and so are note offs for keys no voice holds.
class VoiceAllocator {
 public:
  static constexpr int kMaxVoices = 64;
  static constexpr int kRememberedKeys = 128;
  using StealListener = void (*)(void* context, const VoiceSteal& steal);

  // [construction] `voices` is clamped to 1 to kMaxVoices.
  explicit VoiceAllocator(int voices) noexcept;

  int size() const noexcept { return count_; }
  // A free voice for an index outside 0 to size() - 1.
  const Voice& operator[](int index) const noexcept;
  const MidiControllers& controllers() const noexcept { return controllers_; }
  MidiControllers& controllers() noexcept { return controllers_; }

  // [audio thread] `listener(context, steal)` hears of every steal as it
  // happens, in apply() or noteOn(); null for none.
  void onSteal(StealListener listener, void* context) noexcept;
  // [audio thread] A new mode forgets the keys held for mono; sounding notes
  // play on until their note offs.
  void setMode(VoiceMode mode) noexcept;
  VoiceMode mode() const noexcept { return mode_; }
  // [audio thread] Poly stealing spares the highest and/or the lowest held key.
  void spare(bool highest, bool lowest) noexcept { spareHighest_ = highest, spareLowest_ = lowest; }

  // [audio thread] Every message goes to the controllers; the voices take note
  // on and off, the sustain pedal, all notes off (and the mode messages that
  // imply it), all sound off and reset controllers. Answers the voice a note
  // on started (or a legato note moved), else -1.
  int apply(const MidiMessage& message) noexcept;
  int noteOn(int channel, int key, int velocity) noexcept;
  void noteOff(int channel, int key) noexcept;
  void setSustain(int channel, bool down) noexcept;
  void allNotesOff(int channel) noexcept;
  void allSoundOff(int channel) noexcept;
  // [audio thread] The synth's release of `voice` has died away: it is free.
  void finish(int voice) noexcept;
  // [audio thread, or resume] Every voice free, every key and pedal up, the
  // controllers reset; mode, listener and MPE zone stay.
  void reset() noexcept;

 private:
  struct HeldKey {
    std::uint8_t channel, key, velocity;
  };
  int stealable() const noexcept;
  int monoNoteOn(int channel, int key, int velocity) noexcept;
  void start(int index, int channel, int key, int velocity) noexcept;
  void forget(int channel, int key) noexcept;
  void release(Voice& voice) noexcept;
  void releaseUnsustained() noexcept;
  Voice voices_[kMaxVoices];
  int count_;
  MidiControllers controllers_;
  VoiceMode mode_ = VoiceMode::kPoly;
  bool spareHighest_ = false, spareLowest_ = false;
  StealListener listener_ = nullptr;
  void* context_ = nullptr;
  HeldKey held_[kRememberedKeys] = {};  // mono and legato: oldest first
  int heldCount_ = 0;
  std::uint64_t clock_ = 0;
};

}  // namespace vst

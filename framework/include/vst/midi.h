// MIDI for instruments: a decoder from the host's MIDI events to messages, a
// queue that processEvents fills and processReplacing reads back in segments
// between the events' frames, and a voice allocator a synth may use or ignore.
// All three are fixed-size: nothing allocates, locks or waits after
// construction, so they belong on the audio thread.
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
  kMidiSustainPedal = 64,       // values 64 to 127: down; 0 to 63: up
  kMidiAllSoundOff = 120,       // silence at once, release tails included
  kMidiResetControllers = 121,  // pedal up, pitch bend centred
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
class MidiQueue {
 public:
  static constexpr VstInt32 kCapacity = 1024;

  // [audio thread] Keeps the decodable messages of a host's list, in the order
  // of their frames (arrival order within a frame). Null lists, null event
  // pointers and events that decode as kNone are skipped; once the queue is
  // full the rest of the list is not read but counted in overflowed(). Answers
  // 1, what processEvents answers the host.
  VstInt32 add(const VstEvents* events) noexcept;
  // [audio thread] Keeps one message; false, and counted, when the queue is full.
  bool add(const MidiMessage& message) noexcept;

  VstInt32 size() const noexcept { return count_; }
  // Events turned away for lack of room since construction.
  std::uint64_t overflowed() const noexcept { return overflowed_; }
  void clear() noexcept { count_ = 0; }

 private:
  friend class MidiSegments;
  MidiMessage messages_[kCapacity];
  VstInt32 count_ = 0;
  std::uint64_t overflowed_ = 0;
};

// [audio thread] A block of `sampleFrames` frames cut at the frames of the
// queued messages. Each next() moves to the following segment: first apply its
// messages (those at frame from()), then render frames from() to to(). Frames
// before the block count as 0; frames past its end come in a last segment of
// no frames, so they still apply before the next block. Empties the queue
// when it goes, however far it got.
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
  int velocity = 0;         // 1 to 127
  std::uint64_t since = 0;  // when it started (held, sustained) or was released

  bool active() const { return state != VoiceState::kFree; }
  // Key or pedal down: the note sounds on at full level.
  bool gate() const { return state == VoiceState::kHeld || state == VoiceState::kSustained; }
};

// Assigns notes to a fixed number of voices. A note on takes a free voice, or
// the voice already playing that key on that channel, or steals the voice
// released longest ago, or failing that the one held longest. The sustain
// pedal keeps released keys sounding until it lifts; all notes off releases
// every note of its channel, pedal or not; all sound off frees them at once.
class VoiceAllocator {
 public:
  static constexpr int kMaxVoices = 64;

  // [construction] `voices` is clamped to 1 to kMaxVoices.
  explicit VoiceAllocator(int voices) noexcept;

  int size() const noexcept { return count_; }
  // A free voice for an index outside 0 to size() - 1.
  const Voice& operator[](int index) const noexcept;

  // [audio thread] Note on and off, the sustain pedal, all notes off (and the
  // mode messages that imply it), all sound off and reset controllers; other
  // messages are the synth's. Answers the voice a note on started, else -1.
  int apply(const MidiMessage& message) noexcept;
  int noteOn(int channel, int key, int velocity) noexcept;
  void noteOff(int channel, int key) noexcept;
  void setSustain(int channel, bool down) noexcept;
  void allNotesOff(int channel) noexcept;
  void allSoundOff(int channel) noexcept;
  // [audio thread] The synth's release of `voice` has died away: it is free.
  void finish(int voice) noexcept;

 private:
  void release(Voice& voice) noexcept;
  Voice voices_[kMaxVoices];
  int count_;
  bool sustain_[16] = {};
  std::uint64_t clock_ = 0;
};

}  // namespace vst

// The MIDI decoder and the event queue with its segments.
#include "vst/midi.h"

#include <cstddef>
#include <cstring>

namespace vst {

namespace {

// A MIDI event's byteSize counts the bytes after type and byteSize; a host
// that declares fewer than reach the message's three bytes sent no message.
constexpr VstInt32 kMidiBytesEnd = static_cast<VstInt32>(offsetof(VstMidiEvent, midiData)) + 3;
constexpr VstInt32 kMinimumMidiByteSize = kMidiBytesEnd - 8;

static_assert(sizeof(VstMidiEvent) == sizeof(VstEvent), "a MIDI event is read as one event record");

}  // namespace

MidiMessage decodeMidi(const VstEvent& event) noexcept {
  MidiMessage message;
  if (event.type != kVstMidiType || event.byteSize < kMinimumMidiByteSize) return message;
  VstMidiEvent midi;
  std::memcpy(&midi, &event, sizeof midi);
  const int status = static_cast<unsigned char>(midi.midiData[0]);
  const int data1 = static_cast<unsigned char>(midi.midiData[1]);
  const int data2 = static_cast<unsigned char>(midi.midiData[2]);
  if (status < 0x80 || status >= 0xF0) return message;  // running status, system messages
  const int kind = status & 0xF0;
  const bool oneDataByte = kind == 0xC0 || kind == 0xD0;
  if (data1 >= 0x80 || (!oneDataByte && data2 >= 0x80)) return message;  // truncated or garbled

  message.channel = status & 0x0F;
  message.deltaFrames = midi.deltaFrames;
  message.number = data1;
  message.value = oneDataByte ? 0 : data2;
  switch (kind) {
    case 0x80: message.type = MidiType::kNoteOff; break;
    case 0x90:
      message.type = data2 == 0 ? MidiType::kNoteOff : MidiType::kNoteOn;
      if (data2 == 0) message.value = 64;
      break;
    case 0xA0: message.type = MidiType::kPolyPressure; break;
    case 0xB0: message.type = MidiType::kControlChange; break;
    case 0xC0: message.type = MidiType::kProgramChange; break;
    case 0xD0:
      message.type = MidiType::kChannelPressure;
      message.value = data1;
      message.number = 0;
      break;
    default:  // 0xE0: least significant seven bits first
      message.type = MidiType::kPitchBend;
      message.bend = (data2 << 7 | data1) - 8192;
      message.number = message.value = 0;
      break;
  }
  return message;
}

VstInt32 MidiQueue::add(const VstEvents* events) noexcept {
  if (events == nullptr) return 1;
  // numEvents pointer places follow, however many the declaration's two: read
  // through a pointer, not an index into the declared array.
  VstEvent* const* places = events->events;
  for (VstInt32 i = 0; i < events->numEvents; ++i) {
    const VstEvent* event = places[i];
    if (event == nullptr) continue;
    const MidiMessage message = decodeMidi(*event);
    if (message.type != MidiType::kNone) add(message);
  }
  return 1;
}

bool MidiQueue::add(const MidiMessage& message) noexcept {
  const bool ends = message.endsSound();
  if (message.channel < 0 || message.channel > 15 ||
      count_ >= kCapacity - (ends ? 0 : kKeptForEnds)) {
    if (ends && message.channel >= 0 && message.channel <= 15 && note(message)) return true;
    ++overflowed_;
    return false;
  }
  // Insertion keeps the frames in order and equal frames in arrival order; a
  // host that sends its events sorted, as it should, moves nothing.
  VstInt32 at = count_;
  while (at > 0 && messages_[at - 1].deltaFrames > message.deltaFrames) {
    messages_[at] = messages_[at - 1];
    --at;
  }
  messages_[at] = message;
  ++count_;
  return true;
}

bool MidiQueue::note(const MidiMessage& message) noexcept {
  const int channel = message.channel;
  if (message.type == MidiType::kNoteOff) {
    if (message.number < 0 || message.number > 127) return false;
    releasedKeys_[channel][message.number >> 6] |= std::uint64_t(1) << (message.number & 63);
  } else if (message.value < 0 || message.value > 127) {
    return false;  // a controller value nothing reads
  } else if (message.number == kMidiSustainPedal) {
    pedalsUp_ = static_cast<std::uint16_t>(pedalsUp_ | 1u << channel);
  } else if (message.number >= kMidiAllSoundOff && message.number <= 127) {
    const int mode = message.number - kMidiAllSoundOff;
    modes_[channel] = static_cast<std::uint8_t>(modes_[channel] | 1u << mode);
    modeValues_[channel][mode] = static_cast<std::uint8_t>(message.value);
  } else {
    return false;  // no such key or controller: nothing to note
  }
  noted_ = true;
  return true;
}

VstInt32 MidiQueue::takeNoted(MidiMessage* out, VstInt32 room, VstInt32 frame) noexcept {
  VstInt32 written = 0;
  const auto put = [&](MidiType type, int channel, int number, int value) {
    MidiMessage& message = out[written++];
    message = MidiMessage{};
    message.type = type;
    message.channel = channel;
    message.number = number;
    message.value = value;
    message.deltaFrames = frame;
  };
  // Per channel: the keys, then the pedal, then the channel-mode messages.
  for (int channel = 0; channel < 16 && noted_; ++channel) {
    for (int key = 0; key < 128; ++key) {
      std::uint64_t& bits = releasedKeys_[channel][key >> 6];
      const std::uint64_t bit = std::uint64_t(1) << (key & 63);
      if ((bits & bit) == 0) continue;
      if (written == room) return written;
      bits &= ~bit;
      put(MidiType::kNoteOff, channel, key, 64);
    }
    if (pedalsUp_ & 1u << channel) {
      if (written == room) return written;
      pedalsUp_ = static_cast<std::uint16_t>(pedalsUp_ & ~(1u << channel));
      put(MidiType::kControlChange, channel, kMidiSustainPedal, 0);
    }
    for (int mode = 0; mode < 8; ++mode) {
      if ((modes_[channel] & 1u << mode) == 0) continue;
      if (written == room) return written;
      modes_[channel] = static_cast<std::uint8_t>(modes_[channel] & ~(1u << mode));
      put(MidiType::kControlChange, channel, kMidiAllSoundOff + mode, modeValues_[channel][mode]);
    }
  }
  noted_ = false;
  return written;
}

void MidiQueue::clear() noexcept {
  count_ = 0;
  if (!noted_) return;
  noted_ = false;
  std::memset(releasedKeys_, 0, sizeof releasedKeys_);
  pedalsUp_ = 0;
  std::memset(modes_, 0, sizeof modes_);
}

VstInt32 MidiSegments::frameOf(VstInt32 index) const noexcept {
  const VstInt32 frame = queue_.messages_[index].deltaFrames;
  return frame < 0 ? 0 : (frame > frames_ ? frames_ : frame);
}

bool MidiSegments::next() noexcept {
  if (done_) {
    // What the full queue noted: segments of no frames after the last, written
    // over the messages already applied.
    const VstInt32 noted = queue_.takeNoted(queue_.messages_, MidiQueue::kCapacity, frames_);
    if (noted == 0) return false;
    from_ = to_ = frames_;
    first_ = 0;
    last_ = noted;
    return true;
  }
  from_ = to_;
  first_ = last_;
  while (last_ < queue_.count_ && frameOf(last_) <= from_) ++last_;
  to_ = last_ < queue_.count_ ? frameOf(last_) : frames_;
  done_ = last_ == queue_.count_;
  return true;
}

}  // namespace vst

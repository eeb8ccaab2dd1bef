// The MIDI decoder, the event queue with its segments, and the voice allocator.
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

int channelOf(int channel) { return channel & 0x0F; }
int keyOf(int key) { return key & 0x7F; }

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
  for (VstInt32 i = 0; i < events->numEvents; ++i) {
    if (count_ == kCapacity) {
      overflowed_ += static_cast<std::uint64_t>(events->numEvents - i);
      break;
    }
    const VstEvent* event = events->events[i];
    if (event == nullptr) continue;
    const MidiMessage message = decodeMidi(*event);
    if (message.type != MidiType::kNone) add(message);
  }
  return 1;
}

bool MidiQueue::add(const MidiMessage& message) noexcept {
  if (count_ == kCapacity) {
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

VstInt32 MidiSegments::frameOf(VstInt32 index) const noexcept {
  const VstInt32 frame = queue_.messages_[index].deltaFrames;
  return frame < 0 ? 0 : (frame > frames_ ? frames_ : frame);
}

bool MidiSegments::next() noexcept {
  if (done_) return false;
  from_ = to_;
  first_ = last_;
  while (last_ < queue_.count_ && frameOf(last_) <= from_) ++last_;
  to_ = last_ < queue_.count_ ? frameOf(last_) : frames_;
  done_ = last_ == queue_.count_;
  return true;
}

VoiceAllocator::VoiceAllocator(int voices) noexcept
    : count_(voices < 1 ? 1 : (voices > kMaxVoices ? kMaxVoices : voices)) {}

const Voice& VoiceAllocator::operator[](int index) const noexcept {
  static const Voice kNoVoice;
  return index >= 0 && index < count_ ? voices_[index] : kNoVoice;
}

int VoiceAllocator::apply(const MidiMessage& message) noexcept {
  switch (message.type) {
    case MidiType::kNoteOn: return noteOn(message.channel, message.number, message.value);
    case MidiType::kNoteOff: noteOff(message.channel, message.number); break;
    case MidiType::kControlChange:
      if (message.number == kMidiSustainPedal) setSustain(message.channel, message.value >= 64);
      if (message.number == kMidiAllSoundOff) allSoundOff(message.channel);
      if (message.number == kMidiResetControllers) setSustain(message.channel, false);
      if (message.endsAllNotes()) allNotesOff(message.channel);
      break;
    default: break;
  }
  return -1;
}

int VoiceAllocator::noteOn(int channel, int key, int velocity) noexcept {
  channel = channelOf(channel);
  key = keyOf(key);
  // The same key again takes its own voice; else a free one; else the voice
  // released longest ago; else the one held longest.
  int chosen = -1;
  for (int i = 0; i < count_ && chosen < 0; ++i)
    if (voices_[i].active() && voices_[i].channel == channel && voices_[i].key == key) chosen = i;
  for (int i = 0; i < count_ && chosen < 0; ++i)
    if (!voices_[i].active()) chosen = i;
  const auto oldest = [this](bool released) {
    int found = -1;
    for (int i = 0; i < count_; ++i)
      if ((voices_[i].state == VoiceState::kReleased) == released &&
          (found < 0 || voices_[i].since < voices_[found].since))
        found = i;
    return found;
  };
  if (chosen < 0) chosen = oldest(true);
  if (chosen < 0) chosen = oldest(false);
  Voice& voice = voices_[chosen];
  voice.state = VoiceState::kHeld;
  voice.channel = channel;
  voice.key = key;
  voice.velocity = velocity < 1 ? 1 : (velocity > 127 ? 127 : velocity);
  voice.since = ++clock_;
  return chosen;
}

void VoiceAllocator::noteOff(int channel, int key) noexcept {
  channel = channelOf(channel);
  key = keyOf(key);
  for (int i = 0; i < count_; ++i) {
    Voice& voice = voices_[i];
    if (voice.state != VoiceState::kHeld || voice.channel != channel || voice.key != key) continue;
    if (sustain_[channel])
      voice.state = VoiceState::kSustained;
    else
      release(voice);
  }
}

void VoiceAllocator::setSustain(int channel, bool down) noexcept {
  channel = channelOf(channel);
  sustain_[channel] = down;
  if (down) return;
  for (int i = 0; i < count_; ++i)
    if (voices_[i].state == VoiceState::kSustained && voices_[i].channel == channel)
      release(voices_[i]);
}

void VoiceAllocator::allNotesOff(int channel) noexcept {
  channel = channelOf(channel);
  for (int i = 0; i < count_; ++i)
    if (voices_[i].gate() && voices_[i].channel == channel) release(voices_[i]);
}

void VoiceAllocator::allSoundOff(int channel) noexcept {
  channel = channelOf(channel);
  for (int i = 0; i < count_; ++i)
    if (voices_[i].channel == channel) voices_[i].state = VoiceState::kFree;
}

void VoiceAllocator::finish(int voice) noexcept {
  if (voice >= 0 && voice < count_ && voices_[voice].state == VoiceState::kReleased)
    voices_[voice].state = VoiceState::kFree;
}

void VoiceAllocator::release(Voice& voice) noexcept {
  voice.state = VoiceState::kReleased;
  voice.since = ++clock_;
}

}  // namespace vst

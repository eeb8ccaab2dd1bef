// The voice allocator: poly with its stealing order, mono and legato with the
// keys still held, the sustain pedal and the channel-mode messages.
#include "vst/midi.h"

namespace vst {

namespace {

bool isChannel(int channel) { return channel >= 0 && channel <= 15; }
bool isData(int value) { return value >= 0 && value <= 127; }

}  // namespace

VoiceAllocator::VoiceAllocator(int voices) noexcept
    : count_(voices < 1 ? 1 : (voices > kMaxVoices ? kMaxVoices : voices)) {}

const Voice& VoiceAllocator::operator[](int index) const noexcept {
  static const Voice kNoVoice;
  return index >= 0 && index < count_ ? voices_[index] : kNoVoice;
}

void VoiceAllocator::onSteal(StealListener listener, void* context) noexcept {
  listener_ = listener;
  context_ = context;
}

void VoiceAllocator::setMode(VoiceMode mode) noexcept {
  if (mode == mode_) return;
  mode_ = mode;
  heldCount_ = 0;
}

int VoiceAllocator::apply(const MidiMessage& message) noexcept {
  controllers_.apply(message);
  switch (message.type) {
    case MidiType::kNoteOn: return noteOn(message.channel, message.number, message.value);
    case MidiType::kNoteOff: noteOff(message.channel, message.number); break;
    case MidiType::kControlChange:
      if (!isChannel(message.channel) || !isData(message.number) || !isData(message.value)) break;
      // The pedal, a reset or a new zone may leave sustained voices without a pedal.
      releaseUnsustained();
      if (message.number == kMidiAllSoundOff) allSoundOff(message.channel);
      if (message.endsAllNotes()) allNotesOff(message.channel);
      break;
    default: break;
  }
  return -1;
}

int VoiceAllocator::noteOn(int channel, int key, int velocity) noexcept {
  if (!isChannel(channel) || !isData(key)) return -1;
  velocity = velocity < 1 ? 1 : (velocity > 127 ? 127 : velocity);
  if (mode_ != VoiceMode::kPoly) return monoNoteOn(channel, key, velocity);
  // The same key again takes its own voice; else a free one; else a steal.
  int chosen = -1;
  for (int i = 0; i < count_ && chosen < 0; ++i)
    if (voices_[i].active() && voices_[i].channel == channel && voices_[i].key == key) chosen = i;
  for (int i = 0; i < count_ && chosen < 0; ++i)
    if (!voices_[i].active()) chosen = i;
  if (chosen < 0) {
    chosen = stealable();
    const Voice& old = voices_[chosen];
    if (listener_ != nullptr) listener_(context_, {chosen, old.channel, old.key, channel, key});
  }
  start(chosen, channel, key, velocity);
  return chosen;
}

int VoiceAllocator::stealable() const noexcept {
  // The oldest voice in `state`, other than `skipA` and `skipB`.
  const auto oldest = [this](VoiceState state, int skipA, int skipB) {
    int found = -1;
    for (int i = 0; i < count_; ++i)
      if (voices_[i].state == state && i != skipA && i != skipB &&
          (found < 0 || voices_[i].since < voices_[found].since))
        found = i;
    return found;
  };
  int found = oldest(VoiceState::kReleased, -1, -1);
  if (found < 0) found = oldest(VoiceState::kSustained, -1, -1);
  if (found >= 0) return found;
  // Every voice is held: spare the outer keys if asked, while others remain.
  int highest = 0, lowest = 0;
  for (int i = 1; i < count_; ++i) {
    if (voices_[i].key > voices_[highest].key) highest = i;
    if (voices_[i].key < voices_[lowest].key) lowest = i;
  }
  found = oldest(VoiceState::kHeld, spareHighest_ ? highest : -1, spareLowest_ ? lowest : -1);
  return found >= 0 ? found : oldest(VoiceState::kHeld, -1, -1);
}

int VoiceAllocator::monoNoteOn(int channel, int key, int velocity) noexcept {
  forget(channel, key);
  if (heldCount_ == kRememberedKeys) forget(held_[0].channel, held_[0].key);
  held_[heldCount_++] = {static_cast<std::uint8_t>(channel), static_cast<std::uint8_t>(key),
                         static_cast<std::uint8_t>(velocity)};
  Voice& voice = voices_[0];
  if (mode_ == VoiceMode::kLegato && voice.gate()) {
    // The sounding note moves to the new key; the synth glides, no new attack.
    voice.state = VoiceState::kHeld;
    voice.channel = channel;
    voice.key = key;
    voice.since = ++clock_;
    return 0;
  }
  if (voice.active() && (voice.channel != channel || voice.key != key) && listener_ != nullptr)
    listener_(context_, {0, voice.channel, voice.key, channel, key});
  start(0, channel, key, velocity);
  return 0;
}

void VoiceAllocator::noteOff(int channel, int key) noexcept {
  if (!isChannel(channel) || !isData(key)) return;
  if (mode_ != VoiceMode::kPoly) {
    forget(channel, key);
    Voice& voice = voices_[0];
    if (heldCount_ > 0 && voice.state == VoiceState::kHeld && voice.channel == channel &&
        voice.key == key) {
      // The newest key still held plays again.
      const HeldKey back = held_[heldCount_ - 1];
      if (mode_ == VoiceMode::kLegato) {
        voice.channel = back.channel;
        voice.key = back.key;
        voice.since = ++clock_;
      } else {
        if (listener_ != nullptr) listener_(context_, {0, channel, key, back.channel, back.key});
        start(0, back.channel, back.key, back.velocity);
      }
      return;
    }
  }
  for (int i = 0; i < count_; ++i) {
    Voice& voice = voices_[i];
    if (voice.state != VoiceState::kHeld || voice.channel != channel || voice.key != key) continue;
    if (controllers_.sustain(channel)) {
      voice.state = VoiceState::kSustained;
      voice.since = ++clock_;
    } else {
      release(voice);
    }
  }
}

void VoiceAllocator::setSustain(int channel, bool down) noexcept {
  controllers_.setSustain(channel, down);
  releaseUnsustained();
}

void VoiceAllocator::allNotesOff(int channel) noexcept {
  if (!isChannel(channel)) return;
  for (int i = heldCount_ - 1; i >= 0; --i)
    if (controllers_.reaches(channel, held_[i].channel)) forget(held_[i].channel, held_[i].key);
  for (int i = 0; i < count_; ++i)
    if (voices_[i].gate() && controllers_.reaches(channel, voices_[i].channel)) release(voices_[i]);
}

void VoiceAllocator::allSoundOff(int channel) noexcept {
  if (!isChannel(channel)) return;
  allNotesOff(channel);
  for (int i = 0; i < count_; ++i)
    if (controllers_.reaches(channel, voices_[i].channel)) voices_[i].state = VoiceState::kFree;
}

void VoiceAllocator::finish(int voice) noexcept {
  if (voice >= 0 && voice < count_ && voices_[voice].state == VoiceState::kReleased)
    voices_[voice].state = VoiceState::kFree;
}

void VoiceAllocator::reset() noexcept {
  for (Voice& voice : voices_) voice = Voice();
  heldCount_ = 0;
  controllers_.reset();
}

void VoiceAllocator::start(int index, int channel, int key, int velocity) noexcept {
  Voice& voice = voices_[index];
  voice.state = VoiceState::kHeld;
  voice.channel = channel;
  voice.key = key;
  voice.velocity = velocity;
  voice.since = ++clock_;
}

void VoiceAllocator::forget(int channel, int key) noexcept {
  int kept = 0;
  for (int i = 0; i < heldCount_; ++i)
    if (held_[i].channel != channel || held_[i].key != key) held_[kept++] = held_[i];
  heldCount_ = kept;
}

void VoiceAllocator::release(Voice& voice) noexcept {
  voice.state = VoiceState::kReleased;
  voice.since = ++clock_;
}

void VoiceAllocator::releaseUnsustained() noexcept {
  for (int i = 0; i < count_; ++i)
    if (voices_[i].state == VoiceState::kSustained && !controllers_.sustain(voices_[i].channel))
      release(voices_[i]);
}

}  // namespace vst

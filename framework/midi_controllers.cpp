// The controllers of each channel: bend and its range, pressures, control
// changes, the registered parameters that set the bend range and the MPE zone.
#include <cmath>

#include "vst/midi.h"

namespace vst {

namespace {

constexpr int kRpnBendRange = 0;
constexpr int kRpnMpeConfiguration = 6;

bool isChannel(int channel) { return channel >= 0 && channel <= 15; }
bool isData(int value) { return value >= 0 && value <= 127; }

}  // namespace

const MidiControllers::Channel& MidiControllers::at(int channel) const noexcept {
  static constexpr Channel kDefaults{};
  return isChannel(channel) ? channels_[channel] : kDefaults;
}

void MidiControllers::apply(const MidiMessage& message) noexcept {
  if (!isChannel(message.channel)) return;
  Channel& channel = channels_[message.channel];
  switch (message.type) {
    case MidiType::kPitchBend:
      channel.bend = static_cast<std::int16_t>(
          message.bend < -8192 ? -8192 : (message.bend > 8191 ? 8191 : message.bend));
      break;
    case MidiType::kChannelPressure:
      if (isData(message.value)) channel.pressure = static_cast<std::uint8_t>(message.value);
      break;
    case MidiType::kPolyPressure:
      if (isData(message.number) && isData(message.value))
        channel.polyPressure[message.number] = static_cast<std::uint8_t>(message.value);
      break;
    case MidiType::kControlChange:
      if (isData(message.number) && isData(message.value))
        control(message.channel, message.number, message.value);
      break;
    default: break;
  }
}

void MidiControllers::control(int index, int number, int value) noexcept {
  Channel& channel = channels_[index];
  const auto byte = static_cast<std::uint8_t>(value);
  switch (number) {
    case kMidiModWheel: channel.modWheel = byte; break;
    case kMidiVolume: channel.volume = byte; break;
    case kMidiPan: channel.pan = byte; break;
    case kMidiExpression: channel.expression = byte; break;
    case kMidiTimbre: channel.timbre = byte; break;
    case kMidiSustainPedal: channel.pedal = value >= 64; break;
    case kMidiRpnCoarse: channel.rpnCoarse = byte; break;
    case kMidiRpnFine: channel.rpnFine = byte; break;
    case kMidiNrpnCoarse:
    case kMidiNrpnFine: channel.rpnCoarse = channel.rpnFine = 127; break;
    case kMidiDataEntry: dataEntry(index, true, value); break;
    case kMidiDataEntryFine: dataEntry(index, false, value); break;
    case kMidiResetControllers: {
      Channel reset;
      reset.volume = channel.volume;
      reset.pan = channel.pan;
      reset.bendRangeCents = channel.bendRangeCents;
      channel = reset;
      break;
    }
    default: break;
  }
}

void MidiControllers::dataEntry(int index, bool coarse, int value) noexcept {
  const Channel& channel = channels_[index];
  if (channel.rpnCoarse != 0) return;
  if (channel.rpnFine == kRpnBendRange) {
    // Coarse: whole semitones (the cents go to 0); fine: the cents.
    const int semitones = channel.bendRangeCents / 100;
    setRangeCents(index, coarse ? value * 100 : semitones * 100 + (value > 99 ? 99 : value));
  } else if (channel.rpnFine == kRpnMpeConfiguration && coarse) {
    const int members = value > 15 ? 15 : value;
    if (index == 0) {
      setMpeZone(members);
    } else if (index == 15) {
      // An upper zone: not played, but the lower zone gives way to it.
      upperMembers_ = members;
      if (members > 0 && lowerMembers_ > 14 - members)
        setMpeZone(14 - members < 0 ? 0 : 14 - members);
    }
  }
}

void MidiControllers::setRangeCents(int index, int cents) noexcept {
  cents = cents < 0 ? 0 : (cents > kMaxBendRange * 100 ? kMaxBendRange * 100 : cents);
  // On a member channel the range is every member's, as MPE defines it.
  const bool member = isMpeMember(index);
  for (int i = 0; i < 16; ++i)
    if (i == index || (member && isMpeMember(i)))
      channels_[i].bendRangeCents = static_cast<std::uint16_t>(cents);
}

void MidiControllers::setMpeZone(int members) noexcept {
  members = members < 0 ? 0 : (members > 15 ? 15 : members);
  // Channels that leave the zone return to the ordinary range.
  for (int i = 1; i <= lowerMembers_; ++i) channels_[i].bendRangeCents = kDefaultBendRange * 100;
  lowerMembers_ = members;
  if (members > 0 && upperMembers_ > 14 - members) upperMembers_ = 14 - members;
  if (members == 0) return;
  channels_[0].bendRangeCents = kDefaultBendRange * 100;
  for (int i = 1; i <= members; ++i) channels_[i].bendRangeCents = kMpeBendRange * 100;
}

void MidiControllers::reset() noexcept {
  for (Channel& channel : channels_) {
    const std::uint16_t range = channel.bendRangeCents;
    channel = Channel();
    channel.bendRangeCents = range;
  }
}

void MidiControllers::setBendRange(int channel, float semitones) noexcept {
  if (!isChannel(channel) || !(semitones == semitones)) return;
  const float clamped = semitones < 0.0f ? 0.0f : (semitones > 96.0f ? 96.0f : semitones);
  channels_[channel].bendRangeCents = static_cast<std::uint16_t>(std::lround(clamped * 100.0f));
}

float MidiControllers::bendRange(int channel) const noexcept {
  return static_cast<float>(at(channel).bendRangeCents) / 100.0f;
}

float MidiControllers::bend(int channel) const noexcept {
  const auto own = [this](int index) {
    return static_cast<float>(at(index).bend) / 8192.0f * bendRange(index);
  };
  return own(channel) + (isMpeMember(channel) ? own(0) : 0.0f);
}

float MidiControllers::polyPressure(int channel, int key) const noexcept {
  return isData(key) ? unit(at(channel).polyPressure[key]) : 0.0f;
}

float MidiControllers::pan(int channel) const noexcept {
  const float pan = static_cast<float>(at(channel).pan - 64) / 63.0f;
  return pan < -1.0f ? -1.0f : pan;
}

bool MidiControllers::sustain(int channel) const noexcept {
  return at(channel).pedal || (isMpeMember(channel) && channels_[0].pedal);
}

void MidiControllers::setSustain(int channel, bool down) noexcept {
  if (isChannel(channel)) channels_[channel].pedal = down;
}

}  // namespace vst

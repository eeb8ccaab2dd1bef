// The framework's MIDI helpers: the decoder, the queue and its segments, the
// voice allocator; lists built with the host library's EventList.
#include "vst/midi.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "vst/event_list.h"

namespace {

using vst::MidiType;

VstEvent midiEvent(unsigned char status, unsigned char data1, unsigned char data2,
                   VstInt32 byteSize = 24, VstInt32 type = kVstMidiType) {
  VstMidiEvent midi{};
  midi.type = type;
  midi.byteSize = byteSize;
  midi.deltaFrames = 7;
  midi.midiData[0] = static_cast<char>(status);
  midi.midiData[1] = static_cast<char>(data1);
  midi.midiData[2] = static_cast<char>(data2);
  VstEvent event;
  std::memcpy(&event, &midi, sizeof event);
  return event;
}

TEST(MidiDecoder, OneRowPerMessageKind) {
  struct Row {
    unsigned char status, data1, data2;
    MidiType type;
    int channel, number, value, bend;
  };
  const Row rows[] = {
      {0x93, 60, 100, MidiType::kNoteOn, 3, 60, 100, 0},
      {0x90, 60, 0, MidiType::kNoteOff, 0, 60, 64, 0},  // velocity 0 is a note off
      {0x8F, 61, 20, MidiType::kNoteOff, 15, 61, 20, 0},
      {0xA1, 62, 70, MidiType::kPolyPressure, 1, 62, 70, 0},
      {0xB2, 64, 127, MidiType::kControlChange, 2, 64, 127, 0},
      {0xC4, 9, 99, MidiType::kProgramChange, 4, 9, 0, 0},  // one data byte: the second is ignored
      {0xD5, 33, 0xFF, MidiType::kChannelPressure, 5, 0, 33, 0},
      {0xE0, 0x00, 0x00, MidiType::kPitchBend, 0, 0, 0, -8192},
      {0xE0, 0x00, 0x40, MidiType::kPitchBend, 0, 0, 0, 0},
      {0xE6, 0x7F, 0x7F, MidiType::kPitchBend, 6, 0, 0, 8191},
      {0xE0, 0x01, 0x40, MidiType::kPitchBend, 0, 0, 0, 1},  // least significant bits first
      {0x3C, 100, 0, MidiType::kNone, 0, 0, 0, 0},           // running status
      {0xF8, 0, 0, MidiType::kNone, 0, 0, 0, 0},             // a system message
      {0x90, 0x80, 64, MidiType::kNone, 0, 0, 0, 0},         // a data byte with its top bit
      {0x90, 60, 0xC0, MidiType::kNone, 0, 0, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << "bytes " << int(row.status) << " "
                                    << int(row.data1) << " " << int(row.data2));
    const vst::MidiMessage message = vst::decodeMidi(midiEvent(row.status, row.data1, row.data2));
    EXPECT_EQ(message.type, row.type);
    if (row.type == MidiType::kNone) continue;
    EXPECT_EQ(message.channel, row.channel);
    EXPECT_EQ(message.number, row.number);
    EXPECT_EQ(message.value, row.value);
    EXPECT_EQ(message.bend, row.bend);
    EXPECT_EQ(message.deltaFrames, 7);
  }
  // Controllers with a meaning of their own, and what cannot be read.
  EXPECT_TRUE(vst::decodeMidi(midiEvent(0xB0, 64, 0)).isController(vst::kMidiSustainPedal));
  EXPECT_TRUE(vst::decodeMidi(midiEvent(0xB0, 123, 0)).endsAllNotes());
  EXPECT_TRUE(vst::decodeMidi(midiEvent(0xB0, 127, 0)).endsAllNotes());  // poly mode on
  EXPECT_FALSE(vst::decodeMidi(midiEvent(0xB0, 121, 0)).endsAllNotes());
  EXPECT_EQ(vst::decodeMidi(midiEvent(0x90, 60, 100, 32)).type, MidiType::kNoteOn);
  EXPECT_EQ(vst::decodeMidi(midiEvent(0x90, 60, 100, 18)).type, MidiType::kNone) << "too short";
  EXPECT_EQ(vst::decodeMidi(midiEvent(0x90, 60, 100, 24, kVstSysExType)).type, MidiType::kNone);
}

struct Segment {
  VstInt32 from, to;
  std::vector<int> keys;  // the messages applied at its start, by key
  bool operator==(const Segment& other) const {
    return from == other.from && to == other.to && keys == other.keys;
  }
};

std::vector<Segment> segments(vst::MidiQueue& queue, VstInt32 frames) {
  std::vector<Segment> cut;
  for (vst::MidiSegments segment(queue, frames); segment.next();) {
    cut.push_back({segment.from(), segment.to(), {}});
    for (const vst::MidiMessage& message : segment) cut.back().keys.push_back(message.number);
  }
  return cut;
}

void PrintTo(const Segment& segment, std::ostream* out) {
  *out << "[" << segment.from << ", " << segment.to << ") keys";
  for (int key : segment.keys) *out << " " << key;
}

TEST(MidiQueue, CutsTheBlockAtEachEventFrameInOrder) {
  // Frames at the block's start, in its middle (two at one frame), at its last
  // frame, one sent out of order, one before the block and one past its end.
  host::EventList list;
  list.noteOn(0, 1, 100)
      .noteOn(100, 2, 100)
      .noteOff(100, 3)
      .noteOn(511, 4, 100)
      .noteOn(300, 5, 100)
      .noteOn(-5, 6, 100)
      .noteOn(600, 7, 100);
  vst::MidiQueue queue;
  EXPECT_EQ(queue.add(list.events()), 1);
  const std::vector<Segment> expected = {
      {0, 100, {6, 1}}, {100, 300, {2, 3}}, {300, 511, {5}}, {511, 512, {4}}, {512, 512, {7}}};
  EXPECT_EQ(segments(queue, 512), expected);
  EXPECT_EQ(queue.size(), 0) << "the segments empty the queue";
  EXPECT_EQ(segments(queue, 512), (std::vector<Segment>{{0, 512, {}}}));

  // A block of no frames still applies every event; a loop left early still
  // empties the queue.
  queue.add(list.events());
  EXPECT_EQ(segments(queue, 0), (std::vector<Segment>{{0, 0, {6, 1, 2, 3, 5, 4, 7}}}));
  queue.add(list.events());
  { vst::MidiSegments(queue, 512).next(); }
  EXPECT_EQ(queue.size(), 0);
}

// A flood: note ons fill the queue but for the room kept; every note off,
// pedal up and channel-mode message after them still comes out, once, the
// ones that found no place after the block's last frame; other messages are
// dropped and counted.
TEST(MidiQueue, WhatEndsSoundLandsHoweverFullAndTheRestIsCounted) {
  constexpr VstInt32 kRoom = vst::MidiQueue::kCapacity - vst::MidiQueue::kKeptForEnds;
  host::EventList flood;
  for (VstInt32 i = 0; i < kRoom + 10; ++i) flood.noteOn(1, i % 128, 100, i % 16);
  for (int channel = 0; channel < 16; ++channel)
    for (int key = 0; key < 128; ++key) flood.noteOff(2, key, 0, channel).noteOn(2, key, 1);
  flood.controller(3, vst::kMidiSustainPedal, 0, 3).controller(3, vst::kMidiAllNotesOff, 0, 5);
  flood.controller(3, vst::kMidiSustainPedal, 0, 3).controller(3, vst::kMidiVolume, 9, 0);
  vst::MidiQueue queue;
  queue.add(flood.events());
  EXPECT_EQ(queue.size(), vst::MidiQueue::kCapacity);
  EXPECT_EQ(queue.overflowed(), 10u + 2048u + 1u) << "note ons past the room, and the volume";
  EXPECT_FALSE(queue.add(vst::MidiMessage{}));
  EXPECT_EQ(queue.overflowed(), 2060u);

  int noteOns = 0, pedals = 0, allNotesOff = 0;
  std::vector<int> offs(16 * 128);
  for (vst::MidiSegments segment(queue, 64); segment.next();)
    for (const vst::MidiMessage& message : segment) {
      noteOns += message.type == MidiType::kNoteOn;
      pedals += message.isController(vst::kMidiSustainPedal) && message.channel == 3;
      allNotesOff += message.endsAllNotes() && message.channel == 5;
      if (message.type != MidiType::kNoteOff) continue;
      ++offs[message.channel * 128 + message.number];
      EXPECT_EQ(segment.from(), message.deltaFrames == 2 ? 2 : 64) << "at its frame, or after";
    }
  EXPECT_EQ(noteOns, kRoom);
  EXPECT_EQ(offs, std::vector<int>(16 * 128, 1)) << "every key released once";
  EXPECT_EQ(pedals, 1) << "two lifts noted as one";
  EXPECT_EQ(allNotesOff, 1);

  // What was noted goes with the queue.
  queue.add(flood.events());
  queue.clear();
  EXPECT_EQ(segments(queue, 8), (std::vector<Segment>{{0, 8, {}}}));
}

TEST(MidiQueue, SkipsWhatCannotBeRead) {
  vst::MidiQueue queue;

  // Null places (also where numEvents counts more than the events), other
  // event types, lying sizes and garbled bytes are skipped; the rest is kept.
  VstEvent sysex = midiEvent(0xF0, 1, 2, 24, kVstSysExType);
  host::EventList hostile;
  hostile.addNull()
      .add(sysex)
      .add(midiEvent(0x90, 60, 100, -1))
      .midi(0, 0x90, 0xFF, 0xFF)
      .noteOn(3, 61, 100)
      .addNull()
      .addNull();
  queue.add(hostile.events());
  ASSERT_EQ(queue.size(), 1);
  EXPECT_EQ(segments(queue, 8), (std::vector<Segment>{{0, 3, {}}, {3, 8, {61}}}));
  queue.add(nullptr);
  VstEvents negative{-3, 0, {nullptr, nullptr}};
  queue.add(&negative);
  EXPECT_EQ(queue.size(), 0);
  EXPECT_EQ(queue.overflowed(), 0u);
}

// Four voices: two keys held, two that only the pedal holds. Steals take a
// released voice first, then the pedal's notes (the key up first), then the
// voice held longest, or the next held if the outer keys are spared; the
// synth hears of each steal.
TEST(VoiceAllocator, StealsReleasedThenPedalThenHeldVoicesAndTellsTheSynth) {
  vst::VoiceAllocator voices(4);
  std::vector<vst::VoiceSteal> steals;
  voices.onSteal(
      [](void* list, const vst::VoiceSteal& steal) {
        static_cast<std::vector<vst::VoiceSteal>*>(list)->push_back(steal);
      },
      &steals);
  for (const int key : {48, 60, 62, 63}) voices.noteOn(0, key, 100);
  voices.setSustain(0, true);
  voices.noteOff(0, 63);
  voices.noteOff(0, 62);
  EXPECT_EQ(voices.noteOn(1, 70, 100), 3) << "the pedal's note whose key went up first";
  EXPECT_EQ(voices.noteOn(1, 71, 100), 2);
  ASSERT_EQ(steals.size(), 2u);
  EXPECT_EQ(steals[0].voice, 3);
  EXPECT_EQ(steals[0].oldChannel, 0);
  EXPECT_EQ(steals[0].oldKey, 63);
  EXPECT_EQ(steals[0].channel, 1);
  EXPECT_EQ(steals[0].key, 70);
  voices.noteOff(1, 71);
  voices.setSustain(0, false);  // channel 1's pedal was never down
  EXPECT_EQ(voices[2].state, vst::VoiceState::kReleased);
  EXPECT_EQ(voices.noteOn(1, 72, 100), 2) << "released before held";

  // All held now: keys 48, 60, 70, 72, struck in that order.
  voices.spare(false, true);
  EXPECT_EQ(voices.noteOn(1, 73, 100), 1) << "the lowest, held longest, spared";
  EXPECT_EQ(steals.back().oldKey, 60);
  voices.spare(true, true);
  EXPECT_EQ(voices.noteOn(1, 74, 100), 3) << "48 and 73 spared";
  voices.spare(false, false);
  EXPECT_EQ(voices.noteOn(1, 75, 100), 0) << "the voice held longest";
  EXPECT_EQ(voices.noteOn(1, 75, 90), 0) << "a key struck again keeps its voice";
  EXPECT_EQ(voices[0].velocity, 90);
  EXPECT_EQ(voices.noteOn(2, 75, 90), 2) << "the same key on another channel does not";
  EXPECT_EQ(steals.size(), 7u);
  voices.noteOff(1, 75);
  voices.finish(0);
  EXPECT_EQ(voices.noteOn(0, 76, 100), 0) << "a free voice before any steal";
  EXPECT_EQ(steals.size(), 7u) << "a free voice is no steal";
  voices.reset();
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(voices[i].active());
  EXPECT_FALSE(voices[4].active()) << "an index past the voices";
  EXPECT_EQ(vst::VoiceAllocator(0).size(), 1);
  EXPECT_EQ(vst::VoiceAllocator(1000).size(), vst::VoiceAllocator::kMaxVoices);
}

TEST(VoiceAllocator, PedalAndChannelModeMessages) {
  vst::VoiceAllocator voices(4);
  const auto cc = [&](int number, int value, int channel = 0) {
    vst::MidiMessage message;
    message.type = MidiType::kControlChange;
    message.channel = channel;
    message.number = number;
    message.value = value;
    voices.apply(message);
  };
  voices.noteOn(0, 60, 100);
  voices.noteOn(0, 62, 100);
  voices.noteOn(1, 64, 100);
  cc(vst::kMidiSustainPedal, 127);
  voices.noteOff(0, 60);
  EXPECT_EQ(voices[0].state, vst::VoiceState::kSustained);
  EXPECT_TRUE(voices[0].gate()) << "the pedal holds the note";
  voices.noteOff(1, 64);
  EXPECT_EQ(voices[2].state, vst::VoiceState::kReleased) << "the pedal is channel 0's";
  cc(vst::kMidiSustainPedal, 0);
  EXPECT_EQ(voices[0].state, vst::VoiceState::kReleased) << "lifting the pedal releases it";
  EXPECT_EQ(voices[1].state, vst::VoiceState::kHeld) << "a key still down stays";

  cc(vst::kMidiSustainPedal, 100);
  voices.noteOff(0, 62);
  cc(vst::kMidiAllNotesOff, 0);
  EXPECT_EQ(voices[1].state, vst::VoiceState::kReleased) << "all notes off, pedal or not";
  voices.noteOn(0, 67, 100);
  cc(vst::kMidiResetControllers, 0);
  voices.noteOff(0, 67);
  EXPECT_EQ(voices[3].state, vst::VoiceState::kReleased) << "the reset lifted the pedal";

  voices.noteOn(0, 70, 100);
  voices.noteOn(1, 71, 100);
  cc(vst::kMidiAllSoundOff, 0);
  int active = 0, channel = -1;
  for (int i = 0; i < voices.size(); ++i)
    if (voices[i].active()) ++active, channel = voices[i].channel;
  EXPECT_EQ(active, 1) << "all sound off frees channel 0's voices at once";
  EXPECT_EQ(channel, 1);
}

// Mono and legato: the newest key plays on voice 0; releasing it returns to
// the newest still held, with a new attack (told as a steal) in mono, by
// moving the sounding note in legato, which keeps its attack's velocity.
TEST(VoiceAllocator, MonoAndLegatoPlayTheNewestKeyAndReturnToTheOneStillHeld) {
  for (const vst::VoiceMode mode : {vst::VoiceMode::kMono, vst::VoiceMode::kLegato}) {
    const bool legato = mode == vst::VoiceMode::kLegato;
    SCOPED_TRACE(legato ? "legato" : "mono");
    vst::VoiceAllocator voices(4);
    int steals = 0;
    voices.onSteal([](void* count, const vst::VoiceSteal&) { ++*static_cast<int*>(count); },
                   &steals);
    voices.setMode(mode);
    EXPECT_EQ(voices.noteOn(0, 60, 100), 0);
    EXPECT_EQ(voices.noteOn(0, 64, 50), 0);
    EXPECT_EQ(voices.noteOn(1, 67, 70), 0);
    EXPECT_EQ(voices[0].key, 67);
    EXPECT_EQ(voices[0].velocity, legato ? 100 : 70);
    EXPECT_FALSE(voices[1].active()) << "one voice";
    voices.noteOff(0, 64);  // not the newest: nothing changes
    EXPECT_EQ(voices[0].key, 67);
    voices.noteOff(1, 67);
    EXPECT_EQ(voices[0].key, 60) << "back to the one still held";
    EXPECT_EQ(voices[0].state, vst::VoiceState::kHeld);
    EXPECT_EQ(voices[0].velocity, 100);
    EXPECT_EQ(steals, legato ? 0 : 3);
    voices.setSustain(0, true);
    voices.noteOff(0, 60);
    EXPECT_EQ(voices[0].state, vst::VoiceState::kSustained) << "none held: the pedal holds it";
    voices.noteOn(0, 62, 90);
    voices.noteOn(0, 65, 90);
    voices.allNotesOff(0);
    EXPECT_EQ(voices[0].state, vst::VoiceState::kReleased) << "the held keys are forgotten";
    voices.noteOff(0, 65);
    EXPECT_EQ(voices[0].state, vst::VoiceState::kReleased);
  }
}

// Bend and its range per channel (RPN 0, clamped to 96 semitones), the MPE
// lower zone (RPN 6 on channel index 0): 48 semitones on members, the master's
// bend and pedal reaching every member, a member's range set for all members,
// an upper zone shrinking it; what cannot be meant changes nothing.
TEST(MidiControllers, BendRangesAndTheMpeZone) {
  vst::MidiControllers controllers;
  const auto message = [&](MidiType type, int channel, int number, int value, int bend = 0) {
    vst::MidiMessage m;
    m.type = type;
    m.channel = channel;
    m.number = number;
    m.value = value;
    m.bend = bend;
    controllers.apply(m);
  };
  const auto cc = [&](int channel, int number, int value) {
    message(MidiType::kControlChange, channel, number, value);
  };
  const auto rpn = [&](int channel, int parameter, int coarse, int fine = -1) {
    cc(channel, vst::kMidiRpnCoarse, 0);
    cc(channel, vst::kMidiRpnFine, parameter);
    cc(channel, vst::kMidiDataEntry, coarse);
    if (fine >= 0) cc(channel, vst::kMidiDataEntryFine, fine);
  };
  message(MidiType::kPitchBend, 3, 0, 0, 4096);
  EXPECT_FLOAT_EQ(controllers.bend(3), 1.0f) << "half of 2 semitones";
  EXPECT_FLOAT_EQ(controllers.bend(4), 0.0f);
  rpn(3, 0, 12, 50);
  EXPECT_FLOAT_EQ(controllers.bendRange(3), 12.5f);
  EXPECT_FLOAT_EQ(controllers.bend(3), 6.25f);
  rpn(3, 0, 127);
  EXPECT_FLOAT_EQ(controllers.bendRange(3), 96.0f) << "clamped";
  cc(3, vst::kMidiNrpnCoarse, 0);
  cc(3, vst::kMidiDataEntry, 5);
  EXPECT_FLOAT_EQ(controllers.bendRange(3), 96.0f) << "an NRPN deselected the range";
  message(MidiType::kPolyPressure, 3, 60, 127);
  cc(3, vst::kMidiResetControllers, 0);
  EXPECT_FLOAT_EQ(controllers.bend(3), 0.0f);
  EXPECT_FLOAT_EQ(controllers.polyPressure(3, 60), 0.0f);
  EXPECT_FLOAT_EQ(controllers.bendRange(3), 96.0f) << "the range stays";

  // Garbage: channels and numbers out of range, top bits, bends beyond 14 bits.
  cc(16, vst::kMidiModWheel, 127);
  cc(-1, vst::kMidiModWheel, 127);
  cc(2, vst::kMidiModWheel + 128, 127);
  cc(2, vst::kMidiModWheel, 200);
  message(MidiType::kPolyPressure, 2, 300, 5);
  message(MidiType::kPitchBend, 2, 0, 0, 100000);
  EXPECT_FLOAT_EQ(controllers.modWheel(2), 0.0f);
  EXPECT_FLOAT_EQ(controllers.modWheel(16), 0.0f);
  EXPECT_FLOAT_EQ(controllers.volume(16), 100.0f / 127.0f) << "a channel at its defaults";
  EXPECT_FLOAT_EQ(controllers.polyPressure(2, 300), 0.0f);
  EXPECT_FLOAT_EQ(controllers.bend(2), 2.0f * 8191.0f / 8192.0f) << "clamped to 8191";
  message(MidiType::kPitchBend, 2, 0, 0, 0);

  rpn(0, 6, 40);
  EXPECT_EQ(controllers.mpeMembers(), 15) << "clamped";
  rpn(0, 6, 4);
  EXPECT_EQ(controllers.mpeMembers(), 4);
  EXPECT_FLOAT_EQ(controllers.bendRange(0), 2.0f);
  EXPECT_FLOAT_EQ(controllers.bendRange(4), 48.0f);
  EXPECT_FLOAT_EQ(controllers.bendRange(5), 2.0f) << "not a member";
  message(MidiType::kPitchBend, 2, 0, 0, -4096);
  message(MidiType::kPitchBend, 0, 0, 0, 4096);
  EXPECT_FLOAT_EQ(controllers.bend(2), -24.0f + 1.0f) << "the member's and the master's";
  EXPECT_FLOAT_EQ(controllers.bend(1), 1.0f);
  EXPECT_FLOAT_EQ(controllers.bend(5), 0.0f);
  rpn(2, 0, 24);
  EXPECT_FLOAT_EQ(controllers.bendRange(1), 24.0f) << "one member's range is every member's";
  cc(0, vst::kMidiSustainPedal, 127);
  EXPECT_TRUE(controllers.sustain(3));
  EXPECT_FALSE(controllers.sustain(5));
  EXPECT_TRUE(controllers.reaches(0, 4));
  EXPECT_FALSE(controllers.reaches(0, 5));
  EXPECT_FALSE(controllers.reaches(1, 0));

  rpn(15, 6, 12);  // an upper zone of 12 members, index 3 to 14
  EXPECT_EQ(controllers.mpeMembers(), 2) << "shrunk so the zones do not overlap";
  EXPECT_FLOAT_EQ(controllers.bendRange(3), 2.0f) << "left the zone";
  rpn(0, 6, 0);
  EXPECT_EQ(controllers.mpeMembers(), 0);
  EXPECT_FLOAT_EQ(controllers.bend(2), -1.0f) << "no longer a member: its own range";
  controllers.setBendRange(2, 1000.0f);
  EXPECT_FLOAT_EQ(controllers.bendRange(2), 96.0f);
  controllers.setBendRange(2, std::nanf(""));
  EXPECT_FLOAT_EQ(controllers.bendRange(2), 96.0f);
}

}  // namespace

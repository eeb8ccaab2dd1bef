#include "vst/event_list.h"

#include <cstring>

namespace host {

namespace {

// The record is built in words: numEvents and the reserved field fill the
// first two, each pointer place one more.
constexpr std::size_t kHeaderWords = 2;
static_assert(offsetof(VstEvents, numEvents) == 0, "numEvents opens the record");
static_assert(offsetof(VstEvents, events) == kHeaderWords * sizeof(VstIntPtr),
              "the pointer places follow two words");
static_assert(sizeof(VstEvent*) == sizeof(VstIntPtr), "a pointer place is one word");
static_assert(sizeof(VstMidiEvent) == sizeof(VstEvent), "a MIDI event is one event record");

char byte(int value) { return static_cast<char>(value & 0x7F); }

}  // namespace

EventList& EventList::midi(VstInt32 frame, unsigned char status, unsigned char data1,
                           unsigned char data2) {
  VstMidiEvent event{};
  event.type = kVstMidiType;
  event.byteSize = static_cast<VstInt32>(sizeof(VstMidiEvent) - 8);  // less type and byteSize
  event.deltaFrames = frame;
  event.midiData[0] = static_cast<char>(status);
  event.midiData[1] = static_cast<char>(data1);
  event.midiData[2] = static_cast<char>(data2);
  return add(event);
}

EventList& EventList::noteOn(VstInt32 frame, int key, int velocity, int channel) {
  return midi(frame, static_cast<unsigned char>(0x90 | (channel & 0x0F)),
              static_cast<unsigned char>(byte(key)), static_cast<unsigned char>(byte(velocity)));
}

EventList& EventList::noteOff(VstInt32 frame, int key, int velocity, int channel) {
  return midi(frame, static_cast<unsigned char>(0x80 | (channel & 0x0F)),
              static_cast<unsigned char>(byte(key)), static_cast<unsigned char>(byte(velocity)));
}

EventList& EventList::controller(VstInt32 frame, int number, int value, int channel) {
  return midi(frame, static_cast<unsigned char>(0xB0 | (channel & 0x0F)),
              static_cast<unsigned char>(byte(number)), static_cast<unsigned char>(byte(value)));
}

EventList& EventList::pitchBend(VstInt32 frame, int value, int channel) {
  const int bend = (value < -8192 ? -8192 : (value > 8191 ? 8191 : value)) + 8192;
  return midi(frame, static_cast<unsigned char>(0xE0 | (channel & 0x0F)),
              static_cast<unsigned char>(bend & 0x7F), static_cast<unsigned char>(bend >> 7));
}

EventList& EventList::programChange(VstInt32 frame, int program, int channel) {
  return midi(frame, static_cast<unsigned char>(0xC0 | (channel & 0x0F)),
              static_cast<unsigned char>(byte(program)));
}

EventList& EventList::sysex(VstInt32 frame, const unsigned char* data, VstInt32 size) {
  Place place{false, {}};
  place.sysex = VstMidiSysexEvent{};
  place.sysex.type = kVstSysExType;
  place.sysex.byteSize = static_cast<VstInt32>(sizeof(VstMidiSysexEvent) - 8);
  place.sysex.deltaFrames = frame;
  place.sysex.dumpBytes = size;
  // The record's field is not const; effects only read it.
  place.sysex.sysexDump = const_cast<char*>(reinterpret_cast<const char*>(data));
  places_.push_back(place);
  return *this;
}

EventList& EventList::add(const VstEvent& event) {
  Place place{false, {}};
  place.record = event;
  places_.push_back(place);
  return *this;
}

EventList& EventList::add(const VstMidiEvent& event) {
  Place place{false, {}};
  std::memcpy(&place.record, &event, sizeof event);
  places_.push_back(place);
  return *this;
}

EventList& EventList::addNull() {
  places_.push_back(Place{true, {}});
  return *this;
}

VstEvents* EventList::events() const {
  // Never fewer places than the declaration's two, so the record is whole.
  const std::size_t places = places_.size() < 2 ? 2 : places_.size();
  table_.assign(kHeaderWords + places, 0);
  const VstInt32 count = static_cast<VstInt32>(places_.size());
  std::memcpy(table_.data(), &count, sizeof count);
  for (std::size_t i = 0; i < places_.size(); ++i) {
    const VstEvent* event = places_[i].null ? nullptr : &places_[i].record;
    std::memcpy(&table_[kHeaderWords + i], &event, sizeof event);
  }
  return reinterpret_cast<VstEvents*>(table_.data());
}

}  // namespace host

// The events a host hands an effect before one block: a list of any length,
// helpers for the MIDI messages a host sends, and the VstEvents record that
// carries them (whose pointer places, two in its declaration, the list
// provides for every event).
#pragma once

#include <cstddef>
#include <vector>

#include "vst/events.h"

namespace host {

class EventList {
 public:
  // MIDI messages at `frame` of the block. Channels are taken modulo 16 and
  // data bytes modulo 128, so each helper makes a valid message.
  EventList& noteOn(VstInt32 frame, int key, int velocity, int channel = 0);
  EventList& noteOff(VstInt32 frame, int key, int velocity = 0, int channel = 0);
  EventList& controller(VstInt32 frame, int number, int value, int channel = 0);
  // `value` from -8192 (down) to 8191 (up), clamped; 0 is centred.
  EventList& pitchBend(VstInt32 frame, int value, int channel = 0);
  EventList& programChange(VstInt32 frame, int program, int channel = 0);
  // Three bytes exactly as given: running status, system and garbled
  // messages included.
  EventList& midi(VstInt32 frame, unsigned char status, unsigned char data1 = 0,
                  unsigned char data2 = 0);
  // A system-exclusive message (F0 ... F7) of `size` bytes; the bytes are not
  // copied and must stay valid as long as the list.
  EventList& sysex(VstInt32 frame, const unsigned char* data, VstInt32 size);
  // Any event record as it is: its type, byteSize and deltaFrames unchecked.
  EventList& add(const VstEvent& event);
  EventList& add(const VstMidiEvent& event);
  // A null pointer place, counted in numEvents.
  EventList& addNull();

  std::size_t size() const { return places_.size(); }
  bool empty() const { return places_.empty(); }
  void clear() { places_.clear(); }

  // The record to hand to effProcessEvents: numEvents and one pointer place
  // per event, however many. It stays valid, and the effect may read it, until
  // the list next changes or goes.
  VstEvents* events() const;

 private:
  struct Place {
    bool null;
    union {
      VstEvent record;
      VstMidiSysexEvent sysex;  // larger than the common head on 64-bit systems
    };
  };
  std::vector<Place> places_;
  mutable std::vector<VstIntPtr> table_;  // the VstEvents record, one word per place
};

}  // namespace host

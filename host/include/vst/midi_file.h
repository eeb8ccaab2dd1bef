// Standard MIDI Files (type 0 and 1, ticks per quarter note) read into one
// time-ordered list of the events a host sends an instrument, and the file's
// tempo map, which places every tick at an exact frame.
//
// The reader is the host library's own: it runs on every platform the host
// does (the Windows build included) with no further library, and an error
// names the track and the byte where the file went wrong.
//
// Every function reports a problem as one line in `error` and answers false;
// nothing is read past the data given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

// One event for the instrument: a channel message (status and its data
// bytes) or a system-exclusive message (F0 ... F7 as it travels on the wire;
// the file's F7 form carries its bytes as they are).
struct MidiFileEvent {
  std::uint64_t tick = 0;  // from the start of the file
  int track = 0;           // from 0, in the file's order
  std::size_t offset = 0;  // the event's first byte in the file
  bool sysex = false;
  std::vector<unsigned char> bytes;
};

struct MidiTempoChange {
  std::uint64_t tick;
  std::uint32_t microsecondsPerQuarter;  // 1 to 0xFFFFFF
};

struct MidiTimeSignature {
  std::uint64_t tick;
  int numerator;    // 1 to 255
  int denominator;  // 1, 2, 4 ... 64
};

struct MidiFile {
  int format = 0;    // 0 or 1
  int division = 0;  // ticks per quarter note, 1 to 32767
  int tracks = 0;
  std::vector<MidiFileEvent> events;  // by tick; at one tick by track, then file order
  std::vector<MidiTempoChange> tempos;
  std::vector<MidiTimeSignature> signatures;
  std::uint64_t endTick = 0;  // the latest event or end of track
};

// The longest file read: its ticks, times the longest quarter note, still fit
// the tempo map's exact arithmetic.
constexpr std::uint64_t kMidiFileMaxTicks = std::uint64_t(1) << 39;

// Reads `size` bytes of a Standard MIDI File. Errors say where: "track 2,
// byte 181: running status without a status".
bool parseMidiFile(const unsigned char* data, std::size_t size, MidiFile& file, std::string& error);
// The same from a file; the error starts with the path.
bool readMidiFile(const std::string& path, MidiFile& file, std::string& error);

// Ticks to frames at a whole sample rate, exactly: the seconds up to a tick
// are a sum of whole ticks times whole microseconds per quarter note, divided
// by the division, so no rounding builds up over a long file; a tick's frame
// is those seconds times the rate, rounded to the nearest frame.
class TempoMap {
 public:
  // `initialMicrosecondsPerQuarter` holds until the file's first tempo event
  // (500000, 120 BPM, in a file that sets none); likewise the signature.
  TempoMap(const MidiFile& file, std::uint32_t initialMicrosecondsPerQuarter, int initialNumerator,
           int initialDenominator, std::uint32_t sampleRate);

  std::int64_t frameAt(std::uint64_t tick) const;

  // The musical place of a frame for the host's time record.
  struct Place {
    double ppq;       // quarter notes from the start
    double tempo;     // BPM
    double barStart;  // quarter notes, at the latest bar line
    int numerator, denominator;
  };
  Place placeAt(std::int64_t frame) const;
  // The frames where the tempo or the time signature changes, in order.
  const std::vector<std::int64_t>& changes() const { return changes_; }

 private:
  struct Segment {
    std::uint64_t tick;
    std::uint64_t microTicks;  // sum of ticks times microseconds per quarter before `tick`
    std::uint32_t microsecondsPerQuarter;
    std::int64_t frame;
  };
  struct Signature {
    double ppq;
    std::int64_t frame;
    int numerator, denominator;
  };
  std::uint64_t microTicksAt(std::uint64_t tick) const;
  std::uint64_t division_;
  std::uint32_t rate_;
  std::vector<Segment> segments_;
  std::vector<Signature> signatures_;
  std::vector<std::int64_t> changes_;
};

}  // namespace host

// Fuzz target: any bytes read as a Standard MIDI File, in a buffer of exactly
// their size, so a read past it is the sanitizer's. A file that parses must
// hold what the reader promises (events in time order, channel messages of
// the right length, tempos above 0, a signature a host can pass on), and its
// tempo map must place later ticks on later-or-equal frames with a finite
// time record at every change.
#include <cmath>
#include <cstdint>
#include <vector>

#include "byte_reader.h"
#include "vst/midi_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<unsigned char> file(data, data + size);
  host::MidiFile midi;
  std::string error;
  if (!host::parseMidiFile(file.data(), file.size(), midi, error)) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  FUZZ_CHECK(midi.division >= 1 && midi.division <= 32767);
  FUZZ_CHECK(midi.endTick < host::kMidiFileMaxTicks);
  std::uint64_t previous = 0;
  for (const host::MidiFileEvent& event : midi.events) {
    FUZZ_CHECK(event.tick >= previous && event.tick <= midi.endTick);
    previous = event.tick;
    FUZZ_CHECK(!event.bytes.empty() && event.offset < size);
    if (!event.sysex) {
      const unsigned kind = event.bytes[0] & 0xF0u;
      FUZZ_CHECK(event.bytes[0] >= 0x80 && event.bytes[0] < 0xF0);
      FUZZ_CHECK(event.bytes.size() == (kind == 0xC0 || kind == 0xD0 ? 2u : 3u));
      for (size_t i = 1; i < event.bytes.size(); ++i) FUZZ_CHECK(event.bytes[i] < 0x80);
    }
  }
  for (const host::MidiTempoChange& tempo : midi.tempos)
    FUZZ_CHECK(tempo.microsecondsPerQuarter >= 1 && tempo.microsecondsPerQuarter <= 0xFFFFFF);
  for (const host::MidiTimeSignature& signature : midi.signatures)
    FUZZ_CHECK(signature.numerator >= 1 && signature.denominator >= 1 &&
               signature.denominator <= 64);

  const std::uint32_t rate = size > 0 ? 8000u + data[0] * 1000u : 44100u;
  const host::TempoMap map(midi, 500000, 4, 4, rate);
  std::int64_t frame = 0;
  for (const host::MidiFileEvent& event : midi.events) {
    const std::int64_t at = map.frameAt(event.tick);
    FUZZ_CHECK(at >= frame);
    frame = at;
  }
  FUZZ_CHECK(map.frameAt(midi.endTick) >= frame);
  for (const std::int64_t change : map.changes()) {
    const host::TempoMap::Place place = map.placeAt(change);
    FUZZ_CHECK(std::isfinite(place.ppq) && place.ppq >= 0.0 && std::isfinite(place.tempo) &&
               place.tempo > 0.0 && std::isfinite(place.barStart) && place.barStart <= place.ppq);
  }
  return 0;
}

#include "vst/midi_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace host {

namespace {

std::uint32_t bigEndian(const unsigned char* bytes, int count) {
  std::uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
  return value;
}

std::string hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
  return text;
}

// Data bytes after a channel status: two, or one for program change and
// channel pressure.
int dataBytes(unsigned char status) {
  const unsigned kind = status & 0xF0u;
  return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

// Reads one track chunk's events, between `at` and `end`.
class TrackReader {
 public:
  TrackReader(const unsigned char* data, std::size_t at, std::size_t end, int track, MidiFile& file)
      : data_(data), at_(at), end_(end), track_(track), file_(file) {}

  bool read(std::string& error) {
    std::uint64_t tick = 0;
    unsigned char running = 0;  // the status of the latest channel message, 0 for none
    while (at_ < end_) {
      std::uint32_t delta = 0;
      if (!quantity(delta, "delta time", error)) return false;
      tick += delta;
      if (tick >= kMidiFileMaxTicks) return fail(at_, "the file is too long", error);
      file_.endTick = std::max(file_.endTick, tick);
      const std::size_t start = at_;
      if (at_ >= end_) return fail(at_, "truncated: an event without its status", error);
      unsigned char status = data_[at_];
      if (status < 0x80) {
        if (running == 0) return fail(at_, "running status without a status", error);
        status = running;
      } else {
        ++at_;
      }
      if (status < 0xF0) {
        running = status;
        MidiFileEvent event;
        event.tick = tick;
        event.track = track_;
        event.offset = start;
        event.bytes.push_back(status);
        for (int i = 0; i < dataBytes(status); ++i) {
          if (at_ >= end_) return fail(at_, "truncated: a message without its data", error);
          if (data_[at_] >= 0x80)
            return fail(at_, "data byte " + hex(data_[at_]) + " after status " + hex(status),
                        error);
          event.bytes.push_back(data_[at_++]);
        }
        file_.events.push_back(std::move(event));
        continue;
      }
      // System-exclusive and meta events cancel the running status.
      running = 0;
      if (status == 0xF0 || status == 0xF7) {
        std::uint32_t length = 0;
        if (!bodyLength(length, "sysex length", error)) return false;
        MidiFileEvent event;
        event.tick = tick;
        event.track = track_;
        event.offset = start;
        event.sysex = true;
        const std::size_t head = status == 0xF0 ? 1 : 0;  // the F0 form leaves out its F0
        event.bytes.resize(head + length);
        if (head != 0) event.bytes[0] = 0xF0;
        if (length != 0) std::memcpy(event.bytes.data() + head, data_ + at_, length);
        at_ += length;
        if (!event.bytes.empty()) file_.events.push_back(std::move(event));
        continue;
      }
      if (status != 0xFF)
        return fail(start, "status " + hex(status) + " has no place in a MIDI file", error);
      if (at_ >= end_) return fail(at_, "truncated: a meta event without its type", error);
      const unsigned char type = data_[at_++];
      std::uint32_t length = 0;
      if (!bodyLength(length, "meta event length", error)) return false;
      const unsigned char* body = data_ + at_;
      at_ += length;
      if (type == 0x2F) return true;  // end of track: anything after it is not read
      if (type == 0x51) {
        if (length != 3)
          return fail(start, "a tempo event of " + std::to_string(length) + " bytes (it has 3)",
                      error);
        const std::uint32_t tempo = bigEndian(body, 3);
        if (tempo == 0) return fail(start, "tempo of 0 microseconds per quarter note", error);
        file_.tempos.push_back({tick, tempo});
      } else if (type == 0x58) {
        if (length < 2)
          return fail(start, "a time signature of " + std::to_string(length) + " bytes", error);
        if (body[0] == 0 || body[1] > 6)
          return fail(start,
                      "time signature " + std::to_string(body[0]) + "/2^" +
                          std::to_string(body[1]) + " (beats 1 to 255, a note value up to 64)",
                      error);
        file_.signatures.push_back({tick, body[0], 1 << body[1]});
      }
    }
    return true;
  }

 private:
  // A variable-length quantity: up to four bytes of seven bits each.
  bool quantity(std::uint32_t& value, const char* what, std::string& error) {
    value = 0;
    const std::size_t start = at_;
    for (int i = 0; i < 4; ++i) {
      if (at_ >= end_) return fail(start, std::string("truncated: a ") + what, error);
      const unsigned char byte = data_[at_++];
      value = value << 7 | (byte & 0x7Fu);
      if (byte < 0x80) return true;
    }
    return fail(start, std::string("a ") + what + " longer than four bytes", error);
  }

  // The length before a sysex or meta event's body, which must fit in what is
  // left of the track.
  bool bodyLength(std::uint32_t& length, const char* what, std::string& error) {
    const std::size_t start = at_;
    if (!quantity(length, what, error)) return false;
    if (length <= end_ - at_) return true;
    return fail(start,
                std::string(what) + " " + std::to_string(length) + " past the end of the track",
                error);
  }

  bool fail(std::size_t at, const std::string& what, std::string& error) {
    error = "track " + std::to_string(track_ + 1) + ", byte " + std::to_string(at) + ": " + what;
    return false;
  }

  const unsigned char* data_;
  std::size_t at_, end_;
  int track_;
  MidiFile& file_;
};

}  // namespace

bool parseMidiFile(const unsigned char* data, std::size_t size, MidiFile& file,
                   std::string& error) {
  file = MidiFile{};
  const auto header = [&](const std::string& what) {
    error = "byte 0: not a MIDI file (" + what + ")";
    return false;
  };
  if (size < 14 || std::memcmp(data, "MThd", 4) != 0)
    return header(size < 14 ? "shorter than a header" : "no MThd header");
  const std::uint32_t headerLength = bigEndian(data + 4, 4);
  if (headerLength < 6 || headerLength > size - 8) {
    error = "byte 4: header length " + std::to_string(headerLength) +
            (headerLength < 6 ? " (at least 6)" : " past the end of the file");
    return false;
  }
  file.format = static_cast<int>(bigEndian(data + 8, 2));
  file.tracks = static_cast<int>(bigEndian(data + 10, 2));
  const std::uint32_t division = bigEndian(data + 12, 2);
  if (file.format == 2) {
    error = "byte 8: a type 2 file (independent sequences) is not played; type 0 and 1 are";
    return false;
  }
  if (file.format > 2) {
    error = "byte 8: unknown file type " + std::to_string(file.format);
    return false;
  }
  if (file.format == 0 && file.tracks != 1) {
    error = "byte 10: a type 0 file has one track, this one says " + std::to_string(file.tracks);
    return false;
  }
  if (division & 0x8000u) {
    error = "byte 12: time in SMPTE frames is not read; only ticks per quarter note";
    return false;
  }
  if (division == 0) {
    error = "byte 12: a division of 0 ticks per quarter note";
    return false;
  }
  file.division = static_cast<int>(division);

  std::size_t at = 8 + headerLength;
  int track = 0;
  while (track < file.tracks) {
    if (size - at < 8) {
      error = "byte " + std::to_string(at) + ": truncated: " + std::to_string(file.tracks) +
              " tracks announced, " + std::to_string(track) + " found";
      return false;
    }
    const std::uint32_t length = bigEndian(data + at + 4, 4);
    if (length > size - at - 8) {
      error = "byte " + std::to_string(at + 4) + ": chunk length " + std::to_string(length) +
              " past the end of the file";
      return false;
    }
    const bool isTrack = std::memcmp(data + at, "MTrk", 4) == 0;
    if (isTrack) {
      TrackReader reader(data, at + 8, at + 8 + length, track, file);
      if (!reader.read(error)) return false;
      ++track;
    }
    at += 8 + length;  // chunks of other types are skipped
  }
  const auto byTime = [](const auto& a, const auto& b) { return a.tick < b.tick; };
  std::stable_sort(file.events.begin(), file.events.end(), byTime);
  std::stable_sort(file.tempos.begin(), file.tempos.end(), byTime);
  std::stable_sort(file.signatures.begin(), file.signatures.end(), byTime);
  return true;
}

bool readMidiFile(const std::string& path, MidiFile& file, std::string& error) {
  std::FILE* stream = std::fopen(path.c_str(), "rb");
  if (stream == nullptr) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  std::vector<unsigned char> bytes;
  unsigned char buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
    bytes.insert(bytes.end(), buffer, buffer + got);
  const bool failed = std::ferror(stream) != 0;
  std::fclose(stream);
  if (failed) {
    error = path + ": read failed";
    return false;
  }
  if (!parseMidiFile(bytes.data(), bytes.size(), file, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

TempoMap::TempoMap(const MidiFile& file, std::uint32_t initialMicrosecondsPerQuarter,
                   int initialNumerator, int initialDenominator, std::uint32_t sampleRate)
    : division_(file.division > 0 ? static_cast<std::uint64_t>(file.division) : 1),
      rate_(sampleRate) {
  segments_.push_back({0, 0, std::max<std::uint32_t>(1, initialMicrosecondsPerQuarter), 0});
  for (const MidiTempoChange& change : file.tempos) {
    Segment next{change.tick, microTicksAt(change.tick), change.microsecondsPerQuarter, 0};
    if (change.tick == segments_.back().tick)
      segments_.back().microsecondsPerQuarter = change.microsecondsPerQuarter;
    else
      segments_.push_back(next);
  }
  for (Segment& segment : segments_) segment.frame = frameAt(segment.tick);
  signatures_.push_back({0.0, 0, initialNumerator, initialDenominator});
  for (const MidiTimeSignature& signature : file.signatures) {
    const Signature next{static_cast<double>(signature.tick) / static_cast<double>(division_),
                         frameAt(signature.tick), signature.numerator, signature.denominator};
    if (next.frame == signatures_.back().frame)
      signatures_.back() = next;
    else
      signatures_.push_back(next);
  }
  for (const Segment& segment : segments_)
    if (segment.frame > 0) changes_.push_back(segment.frame);
  for (const Signature& signature : signatures_)
    if (signature.frame > 0) changes_.push_back(signature.frame);
  std::sort(changes_.begin(), changes_.end());
  changes_.erase(std::unique(changes_.begin(), changes_.end()), changes_.end());
}

std::uint64_t TempoMap::microTicksAt(std::uint64_t tick) const {
  // The last segment starting at or before `tick`.
  auto segment = std::upper_bound(segments_.begin(), segments_.end(), tick,
                                  [](std::uint64_t t, const Segment& s) { return t < s.tick; });
  --segment;
  return segment->microTicks + (tick - segment->tick) * segment->microsecondsPerQuarter;
}

std::int64_t TempoMap::frameAt(std::uint64_t tick) const {
  // frame = round(microTicks * rate / (division * 10^6)), in parts that fit
  // 64 bits: whole seconds, then the remainder.
  const std::uint64_t divisor = division_ * 1000000u;
  const std::uint64_t microTicks = microTicksAt(std::min(tick, kMidiFileMaxTicks));
  const std::uint64_t seconds = microTicks / divisor, remainder = microTicks % divisor;
  const std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (seconds > limit / (rate_ + 1u)) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(seconds * rate_ +
                                   (2 * remainder * rate_ + divisor) / (2 * divisor));
}

TempoMap::Place TempoMap::placeAt(std::int64_t frame) const {
  // The segment a frame falls in: the last one starting at or before it.
  std::size_t s = 0;
  while (s + 1 < segments_.size() && segments_[s + 1].frame <= frame) ++s;
  const Segment& segment = segments_[s];
  const double division = static_cast<double>(division_);
  // The segment's start in seconds, and the frame's, from the same exact sums.
  const double segmentSeconds = static_cast<double>(segment.microTicks) / (division * 1e6);
  const double seconds = static_cast<double>(frame) / rate_;
  Place place{};
  place.tempo = 60e6 / segment.microsecondsPerQuarter;
  place.ppq = static_cast<double>(segment.tick) / division +
              (seconds - segmentSeconds) * 1e6 / segment.microsecondsPerQuarter;
  if (frame == segment.frame) place.ppq = static_cast<double>(segment.tick) / division;
  std::size_t g = 0;
  while (g + 1 < signatures_.size() && signatures_[g + 1].frame <= frame) ++g;
  const Signature& signature = signatures_[g];
  // The frame a signature starts on stands for its tick, as a segment's does.
  if (frame == signature.frame) place.ppq = signature.ppq;
  place.numerator = signature.numerator;
  place.denominator = signature.denominator;
  const double bar = signature.numerator * 4.0 / signature.denominator;
  // Never past the position itself, and never before the signature began.
  place.barStart = signature.ppq + std::floor((place.ppq - signature.ppq) / bar) * bar;
  if (place.barStart > place.ppq) place.barStart -= bar;
  if (place.barStart < signature.ppq) place.barStart = signature.ppq;
  return place;
}

}  // namespace host

// Instruments played by the checks: MIDI messages at absolute frames of a
// performance, a player that hands them to the module block by block, and
// where a note is heard in its output.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "check/support.h"
#include "vst/event_list.h"

namespace vsthost {

const float kPlayerRate = 44100.0f;
const size_t kSecond = 44100;
const double kSilent = 1e-3;  // a peak below this is silence

// A MIDI message at an absolute frame of a performance.
struct Message {
  size_t frame;
  unsigned char bytes[3];
};

Message note(size_t frame, int key, int velocity, bool on = true, int channel = 0);
Message controller(size_t frame, int number, int value, int channel = 0);
Message bend(size_t frame, int value14, int channel = 0);

// An instrument, opened at 44100 Hz, playing a performance block by block:
// each block's messages go to effProcessEvents just before the block. Skips
// the check for an effect.
class Player {
 public:
  Player(CheckContext& context, Session& session, size_t block);
  ~Player();
  host::Plugin& plugin() { return *plugin_; }

  // Plays `frames` frames from the current position with `messages` (frames
  // counted from the start of the performance); answers the output.
  Channels play(size_t frames, std::vector<Message> messages = {},
                const std::function<void(host::EventList&, size_t)>& extra = nullptr);
  // Plays silence until the output is silent, for at most five seconds;
  // answers the last tenth of a second's peak.
  double waitForSilence(const std::string& after);
  size_t position() const { return position_; }

 private:
  CheckContext& context_;
  std::unique_ptr<host::Plugin> plugin_;
  size_t block_;
  size_t position_ = 0;
};

// The first frame from `from` on where any channel is not exactly zero; the
// signal's length when none is.
size_t firstNonZero(const Channels& out, size_t from = 0);
// Where a listener hears a note begin: the first frame from `from` on within
// 50 dB of the peak that follows it, so an attack's shape far below the note
// (a control rate, a filter settling) does not move it. The signal's length
// when it is silent.
size_t onset(const Channels& out, size_t from = 0);

}  // namespace vsthost

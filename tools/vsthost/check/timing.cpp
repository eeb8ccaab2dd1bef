// Events at their frame and renders independent of the block size, for
// instruments: notes are located where a listener hears them, and the same
// performance is played in blocks of every size.
#include "check/timing.h"

#include <algorithm>

#include "check/player.h"

namespace vsthost {

void compareBlockSizes(CheckContext& context, const Channels& out, const Channels& reference,
                       double scale, size_t block) {
  // Beyond rounding: a block-size dependence a listener may hear. Any
  // difference at all: against the letter, which asks for none.
  Difference where;
  if (differs(out, reference, 1e-5 * scale, where))
    context.warn("blocks of " + number(block) + " differ from blocks of 4096 " + at(where));
  else if (context.strict() && differs(out, reference, 0.0, where))
    context.require(false, "blocks of " + number(block) + " differ from blocks of 4096 " +
                               at(where) + " (not bit-exact)");
}

namespace {

// Notes at odd frames, overlapping; the pitch bent and back; the mod wheel
// and a filter controller (CC 74) swept: every kind of event a control rate
// or a block-start shortcut would mistime.
std::vector<Message> performance() {
  std::vector<Message> messages = {
      note(101, 60, 100),        note(1037, 64, 90),        note(5003, 67, 110),
      bend(2999, 10000),         bend(7001, 8192),          note(13001, 60, 0, false),
      note(15013, 64, 0, false), note(17011, 67, 0, false), note(19999, 72, 80),
      bend(21011, 5000),         note(24001, 72, 0, false), bend(26003, 8192)};
  for (size_t frame = 3001, value = 0; frame < 12000; frame += 263, value = (value + 5) % 128)
    messages.push_back(controller(frame, 1, static_cast<int>(value)));
  for (size_t frame = 8009, value = 0; frame < 23000; frame += 97, value = (value + 3) % 128)
    messages.push_back(controller(frame, 74, static_cast<int>(value)));
  return messages;
}

}  // namespace

std::string instrumentBlockInvariance(CheckContext& context, Session& session) {
  const size_t frames = 32768;
  Channels reference;
  double scale = 1.0;
  for (size_t block : {size_t(4096), size_t(1), size_t(37), size_t(512)}) {
    Player player(context, session, block);
    context.step("playing notes, bends and controllers in blocks of " + number(block));
    const Channels out = player.play(frames, performance());
    requireFinite(context, out, "in blocks of " + number(block));
    if (reference.empty()) {
      reference = out;
      scale = std::max(1.0, peak(out));
      if (peak(out) < kSilent)
        context.warn("silent for a performance of notes, bend and controllers");
      // A second fresh instance in the same blocks: an instrument random by
      // design (a noise burst plucking a string) differs from itself.
      Player again(context, session, block);
      context.step("the same performance in a second instance, in blocks of 4096");
      Difference where;
      if (differs(again.play(frames, performance()), reference, 1e-5 * scale, where))
        return "not compared: two fresh instances already differ " + at(where) +
               " (random by design)";
      continue;
    }
    compareBlockSizes(context, out, reference, scale, block);
  }
  return context.strict()
             ? "notes, bend and controllers in blocks of 1, 37 and 512 match blocks of 4096 bit "
               "for bit"
             : "notes, bend and controllers in blocks of 1, 37 and 512 match blocks of 4096";
}

std::string checkDeltaFrames(CheckContext& context) {
  Session session(context);
  const size_t asked = 1037;  // inside the first block of every size
  size_t reference = 0;
  std::string heard, first;
  for (size_t block : {size_t(4096), size_t(512), size_t(64), size_t(1)}) {
    Player player(context, session, block);
    context.step("a note on at frame " + number(asked) + " in blocks of " + number(block));
    const Channels out = player.play(4096, {note(asked, 69, 127), note(3000, 69, 0, false)});
    requireFinite(context, out, "in blocks of " + number(block));
    // Heard within 50 dB of the note's peak: an attack's shape far below it
    // may depend on the block size without anyone hearing it.
    const size_t start = onset(out), nonZero = firstNonZero(out);
    if (start == out[0].size()) {
      context.warn("no sound from a note in blocks of " + number(block));
      continue;
    }
    const std::string where = "in blocks of " + number(block) + " a note asked for frame " +
                              number(asked) + " is heard from frame " + number(start) +
                              " (first non-zero frame " + number(nonZero) + ")";
    heard += (heard.empty() ? "" : ", ") + number(start);
    first += (first.empty() ? "" : ", ") + number(nonZero);
    context.require(start >= asked, where + ": deltaFrames ignored");
    context.require(start < asked + 441, where + ", more than 10 ms late");
    // Between block sizes, within half a millisecond: far below a flam a
    // listener hears, and above how much an attack's shape may move the
    // point 50 dB below its peak (amsynth's by 7 frames); an event applied at
    // a block's start moves it by up to a block, and sounds before its frame.
    const size_t slack = 22;
    if (reference == 0) reference = start;
    context.require(start <= reference + slack && reference <= start + slack,
                    where + " but from frame " + number(reference) +
                        " in blocks of 4096, more than 0.5 ms apart");
  }
  return "a note asked for frame " + number(asked) + " is heard from frames " + heard +
         " (first non-zero " + first + ") in blocks of 4096, 512, 64 and 1";
}

}  // namespace vsthost

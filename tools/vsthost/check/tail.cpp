// The tail: how long a module rings after its input (an effect's impulse) or
// after a note off (an instrument's), against what effGetTailSize reports
// (0 unknown, 1 none, otherwise frames). A host stops processing an effect
// once its input is silent for the reported tail, and a bounce ends there.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "check/player.h"
#include "check/timing.h"

namespace vsthost {

namespace {

const size_t kTailBlock = 512;
const size_t kLongest = 30 * kSecond;             // a tail longer than this is not followed
const size_t kQuietEnough = 2 * kSecond;          // silence for this long ends the tail
const double kTailFloor = 3.1622776601683795e-5;  // -90 dB

// Plays `next(frames)` a second at a time until the output has stayed below
// -90 dB of its peak for two seconds (or for 30 s); answers the frame after
// the last one above it, counted from the start, and the peak.
template <typename Next>
size_t lastLoud(Next next, double& level) {
  std::vector<float> magnitude;  // the loudest channel, frame by frame
  size_t last = 0;
  level = 0.0;
  while (magnitude.size() < kLongest) {
    const Channels out = next(kSecond);
    const size_t start = magnitude.size();
    magnitude.resize(start + kSecond);
    for (const auto& channel : out)
      for (size_t i = 0; i < channel.size(); ++i)
        magnitude[start + i] = std::max(magnitude[start + i], std::fabs(channel[i]));
    level = std::max(level, peak(out));
    last = 0;
    for (size_t i = magnitude.size(); i > 0; --i)
      if (magnitude[i - 1] > level * kTailFloor) {
        last = i;
        break;
      }
    if (magnitude.size() - last >= kQuietEnough) break;
  }
  return last;
}

std::string frames(size_t count) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(count) / kSecond);
  return number(count) + (count == 1 ? " frame (" : " frames (") + seconds + " s)";
}

std::string meaning(VstIntPtr reported) {
  if (reported == 0) return "0 (unknown)";
  if (reported == 1) return "1 (no tail)";
  return frames(static_cast<size_t>(reported));
}

}  // namespace

std::string checkTail(CheckContext& context) {
  Session session(context);
  auto probe = session.active(kPlayerRate, static_cast<VstInt32>(kTailBlock));
  const bool instrument = (probe->record()->flags & effFlagsIsSynth) != 0;
  const int inputs = probe->record()->numInputs;
  context.step("asking for the tail (effGetTailSize)");
  const VstIntPtr reported = probe->dispatch(effGetTailSize);
  finish(context, *probe);
  const size_t claimed = reported > 1 ? static_cast<size_t>(reported) : 0;
  double level = 0.0;
  size_t rings = 0;
  if (instrument) {
    // A short note; the tail is what sounds after its note off.
    Player player(context, session, kTailBlock);
    context.step("a note of 0.1 s, then waiting for its tail");
    const size_t off = kSecond / 10;
    bool first = true;
    const size_t last = lastLoud(
        [&](size_t count) {
          const Channels out = first
                                   ? player.play(count, {note(0, 60, 100), note(off, 60, 0, false)})
                                   : player.play(count);
          first = false;
          requireFinite(context, out, "after a short note");
          return out;
        },
        level);
    if (level < kSilent) return "not measured: a short note made no sound";
    rings = last > off ? last - off : 0;
    if (rings >= kLongest - kQuietEnough - off)
      return "not measured: still sounding 30 s after a note off";
    // A host keeps an instrument running anyway; only a report it would trust
    // to cut the sound short is wrong.
    if (claimed > 0 && rings > claimed + kTailBlock)
      context.warn("reports a tail of " + meaning(reported) + " but sounds for " + frames(rings) +
                   " after a note off");
    return "sounds for " + frames(rings) + " after a note off (to -90 dB); reports " +
           meaning(reported);
  }
  if (inputs == 0) context.skip("no audio inputs to play an impulse into");
  // Whatever sounds without input (noise, oscillators) is no tail.
  {
    auto quiet = session.active(kPlayerRate, static_cast<VstInt32>(kTailBlock));
    auto loud = session.active(kPlayerRate, static_cast<VstInt32>(kTailBlock));
    context.step("processing silence");
    const double own = peak(process(*quiet, silence(inputs, kSecond), kTailBlock));
    finish(context, *quiet);
    Channels in = silence(inputs, kSecond);
    for (auto& channel : in) channel[0] = 1.0f;
    context.step("processing an impulse, then silence until it dies away");
    bool first = true;
    const size_t last = lastLoud(
        [&](size_t count) {
          const Channels out = process(*loud, first ? in : silence(inputs, count), kTailBlock);
          first = false;
          requireFinite(context, out, "after an impulse");
          return out;
        },
        level);
    finish(context, *loud);
    if (level <= 0.0) return "not measured: no output for an impulse";
    if (own > level * kTailFloor)
      return "not measured: sounds without input (peak " + number(own) + ")";
    rings = last;
  }
  if (rings >= kLongest - kQuietEnough)
    context.warn("still ringing 30 s after an impulse; reports a tail of " + meaning(reported));
  else if (rings > claimed + kTailBlock)
    context.warn("rings for " + frames(rings) + " after an impulse (to -90 dB) but reports " +
                 (claimed == 0 ? meaning(reported) + ": a host guesses, and a bounce loses the rest"
                               : "a tail of " + meaning(reported)));
  return "rings for " + frames(rings) + " after an impulse (to -90 dB); reports " +
         meaning(reported);
}

}  // namespace vsthost

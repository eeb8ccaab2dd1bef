// Instruments: checks that play them. Notes on and off in one block and
// across blocks, events at their frame, every key with the pitch bent, more
// notes than voices, the channel-mode messages and the sustain pedal,
// parameters at their corners while notes sound, and MIDI fuzz.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "check/check.h"
#include "check/player.h"
#include "check/support.h"
#include "check/timing.h"
#include "common/common.h"

namespace vsthost {

namespace {

std::string checkInstrument(CheckContext& context) {
  Session session(context);
  Player player(context, session, 512);
  context.step("a note on (middle C, velocity 100)");
  const Channels held = player.play(kSecond / 2, {note(0, 60, 100)});
  requireFinite(context, held, "after a note on");
  const double level = peak(held);
  if (level < 1e-4) {
    context.warn("silent for half a second after a note on (peak " + number(level) + ")");
    return "silent";
  }
  context.step("a note off, then waiting for silence");
  player.play(512, {note(player.position(), 60, 0, false)});
  const double tail = player.waitForSilence("after a note off");
  context.require(tail < kSilent,
                  "still sounding 5 s after the note off (peak " + number(tail) + ")");
  return "a note on sounds (peak " + number(level) + ") and dies away after its note off";
}

std::string checkNotesInOneBlock(CheckContext& context) {
  Session session(context);
  Player player(context, session, 512);
  // A short note inside one block, then one from the end of a block into the next.
  context.step("a note on at frame 100 and its note off at frame 300 of one block");
  Channels out = player.play(kSecond / 4, {note(100, 64, 100), note(300, 64, 0, false)});
  requireFinite(context, out, "after a note within one block");
  const double shortNote = peak(out);
  double tail = player.waitForSilence("after a note within one block");
  context.require(tail < kSilent,
                  "a note on and its note off in one block: still sounding 5 s later (peak " +
                      number(tail) + ")");
  context.step("a note on at the last frame of a block, its note off in the next");
  const size_t at = player.position() + 511;
  out = player.play(kSecond / 4, {note(at, 67, 100), note(at + 2, 67, 0, false)});
  tail = player.waitForSilence("after a note across two blocks");
  context.require(
      tail < kSilent,
      "a note across two blocks still sounds 5 s after its note off (peak " + number(tail) + ")");
  if (shortNote < 1e-4) context.warn("a note of 200 frames made no sound");
  return "notes within a block and across two blocks sound and end";
}

std::string checkKeysAndBend(CheckContext& context) {
  Session session(context);
  Player player(context, session, 256);
  for (int velocity : {1, 127})
    for (int key = 0; key < 128; ++key) {
      context.step("key " + number(key) + " at velocity " + number(velocity) +
                   ", bent to both ends");
      const size_t at = player.position();
      const Channels out =
          player.play(768, {bend(at, 16383), note(at, key, velocity), bend(at + 256, 0),
                            bend(at + 512, 8192), note(at + 700, key, 0, false)});
      requireFinite(
          context, out,
          "for key " + number(key) + " at velocity " + number(velocity) + " with the pitch bent");
    }
  context.step("waiting for silence after every key");
  player.waitForSilence("after every key");
  return "every key at velocities 1 and 127 with the pitch bent to both ends: finite";
}

std::string checkPolyphony(CheckContext& context) {
  Session session(context);
  Player player(context, session, 512);
  std::vector<Message> chord;
  for (int key = 36; key < 68; ++key) chord.push_back(note(0, key, 100));
  context.step("32 notes at once");
  requireFinite(context, player.play(kSecond / 2, chord), "with 32 notes held");
  std::vector<Message> offs;
  for (int key = 36; key < 68; ++key) offs.push_back(note(player.position() + 7, key, 0, false));
  context.step("the 32 note-offs");
  player.play(512, offs);
  const double tail = player.waitForSilence("after 32 note-offs");
  context.require(tail < kSilent,
                  "still sounding 5 s after the note-offs of 32 notes (peak " + number(tail) + ")");
  return "32 notes at once, then their note-offs: finite, then silent";
}

std::string checkChannelMode(CheckContext& context) {
  Session session(context);
  Player player(context, session, 512);
  const struct {
    int number;
    const char* name;
  } messages[] = {{123, "all notes off (CC 123)"}, {120, "all sound off (CC 120)"}};
  for (const auto& message : messages) {
    context.step(std::string("four notes, then ") + message.name);
    player.play(kSecond / 4, {note(player.position(), 60, 100), note(player.position(), 64, 100),
                              note(player.position(), 67, 100), note(player.position(), 72, 100)});
    player.play(512, {controller(player.position() + 10, message.number, 0)});
    const double tail = player.waitForSilence(std::string("after ") + message.name);
    context.require(tail < kSilent, std::string("still sounding 5 s after ") + message.name +
                                        " (peak " + number(tail) + ")");
  }
  // The same note with the pedal down and without, 2 s after its note off:
  // long enough for any release to have ended, so a pedal ignored shows
  // whatever the release time.
  const auto heldFor2s = [&](Player& with, bool pedal) {
    std::vector<Message> on = {note(with.position(), 60, 100)};
    if (pedal) on.push_back(controller(with.position(), 64, 127));
    with.play(kSecond / 4, on);
    with.play(2 * kSecond - kSecond / 4, {note(with.position(), 60, 0, false)});
    return peak(with.play(kSecond / 4));
  };
  context.step("a note held by the sustain pedal, 2 s after its note off");
  const double sustained = heldFor2s(player, true);
  double released = 0.0;
  {
    Player without(context, session, 512);
    context.step("the same note without the pedal, 2 s after its note off");
    released = heldFor2s(without, false);
  }
  if (sustained < kSilent || sustained < 2.0 * released)
    context.warn("the sustain pedal does not hold a note: 2 s after its note off it sounds at " +
                 number(sustained) + " with the pedal down, " + number(released) + " without");
  context.step("the sustain pedal lifted");
  player.play(512, {controller(player.position(), 64, 0)});
  const double tail = player.waitForSilence("after the sustain pedal was lifted");
  context.require(tail < kSilent, "still sounding 5 s after the sustain pedal was lifted (peak " +
                                      number(tail) + ")");
  return "all notes off and all sound off silence it; the sustain pedal holds and releases";
}

std::string checkParameterCorners(CheckContext& context) {
  Session session(context);
  Player player(context, session, 512);
  host::Plugin& plugin = player.plugin();
  const VstInt32 count = std::min(plugin.record()->numParams, 256);
  std::vector<float> defaults;
  for (VstInt32 i = 0; i < count; ++i) defaults.push_back(plugin.getParameter(i));
  // Every parameter at 0, every one at 1, then each alone at 0 and at 1.
  const auto play = [&](const std::string& corner) {
    context.step("notes playing with " + corner);
    const size_t at = player.position();
    const Channels out =
        player.play(2048, {note(at, 48, 127), note(at, 60, 100), note(at + 1500, 48, 0, false),
                           note(at + 1500, 60, 0, false)});
    requireFinite(context, out, "with " + corner);
  };
  for (float value : {0.0f, 1.0f}) {
    for (VstInt32 i = 0; i < count; ++i) plugin.setParameter(i, value);
    play("every parameter at " + number(value));
  }
  for (VstInt32 i = 0; i < count; ++i)
    for (float value : {0.0f, 1.0f}) {
      for (VstInt32 k = 0; k < count; ++k) plugin.setParameter(k, defaults[static_cast<size_t>(k)]);
      plugin.setParameter(i, value);
      play("parameter " + number(i) + " (" + printable(plugin.parameterName(i)) + ") alone at " +
           number(value));
    }
  return number(count) + " parameters at their corners while notes sound: finite";
}

std::string checkMidiFuzz(CheckContext& context) {
  Session session(context);
  Player player(context, session, 512);
  host::Plugin& plugin = player.plugin();
  const VstInt32 params = plugin.record()->numParams;
  std::minstd_rand random(context.seed(21));
  // Random messages, valid and not: any status or none (running status),
  // data bytes with the top bit set, system messages, a sysex dump, an event
  // of a type no one knows; and a parameter swept every block.
  const auto fuzz = [&](host::EventList& events, size_t frames) {
    const int count = static_cast<int>(random() % 9);
    for (int i = 0; i < count; ++i) {
      const auto delta = static_cast<VstInt32>(random() % frames);
      const auto kind = random() % 10;
      if (kind == 0) {
        VstEvent other{};
        other.type = random() % 2 == 0 ? 99 : kVstSysExType;
        other.byteSize = sizeof other - 8;
        other.deltaFrames = delta;
        events.add(other);
        continue;
      }
      unsigned char bytes[3] = {static_cast<unsigned char>(random()),
                                static_cast<unsigned char>(random()),
                                static_cast<unsigned char>(random())};
      if (kind < 6) bytes[1] &= 0x7F, bytes[2] &= 0x7F;  // mostly well-formed
      events.midi(delta, bytes[0], bytes[1], bytes[2]);
    }
    if (params > 0)
      plugin.setParameter(static_cast<VstInt32>(random() % static_cast<unsigned>(params)),
                          static_cast<float>(random() % 1001) / 1000.0f);
  };
  for (int second = 0; second < 2; ++second) {
    context.step("random MIDI while parameters sweep (second " + number(second + 1) + ")");
    requireFinite(context, player.play(kSecond, {}, fuzz), "under random MIDI");
  }
  return "2 s of random valid and malformed MIDI with parameters sweeping: finite";
}

}  // namespace

std::vector<CheckDefinition> instrumentChecks() {
  return {
      {"instrument", "instruments", "a note on, then its note off (instruments only)",
       "a note that never ends after its note off; WARN: silent after a note on (SKIP for "
       "effects)",
       checkInstrument},
      {"notes-in-block", "instruments",
       "a note on and its note off in one block, and a note across two blocks",
       "note-offs applied before the block's note-ons: a short note that hangs",
       checkNotesInOneBlock},
      {"delta-frames", "instruments",
       "a note asked for mid-block, in blocks of 4096, 512, 64 and 1 frames",
       "events applied at the block's start instead of their frame", checkDeltaFrames},
      {"keys-bend", "instruments",
       "every key at velocities 1 and 127, the pitch bent to both ends before and during",
       "tables read at key plus bend without a bounds check: crashes, non-finite output",
       checkKeysAndBend},
      {"polyphony", "instruments", "32 notes at once, then their note-offs",
       "voice allocation that crashes, overflows or leaves notes hanging", checkPolyphony},
      {"channel-mode", "instruments",
       "all notes off (CC 123), all sound off (CC 120), the sustain pedal (CC 64)",
       "channel-mode messages ignored; WARN: a sustain pedal that holds nothing", checkChannelMode},
      {"parameter-corners", "instruments",
       "every parameter at 0 and 1, then each alone at 0 and 1, while notes sound",
       "non-finite output at a corner of the parameters", checkParameterCorners},
      {"midi-fuzz", "instruments",
       "2 s of random, malformed and unknown events while parameters sweep (--seed)",
       "crashes, hangs or non-finite output on MIDI a host may pass on", checkMidiFuzz},
  };
}

}  // namespace vsthost

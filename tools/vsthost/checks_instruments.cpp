// Instruments: notes that sound and end.
#include "check_support.h"
#include "vst/events.h"

namespace vsthost {

namespace {

// One MIDI message for the next block, kept alive until the block after it.
struct MidiMessage {
  VstMidiEvent event{};
  VstEvents list{};
  MidiMessage(unsigned char status, unsigned char note, unsigned char velocity) {
    event.type = kVstMidiType;
    event.byteSize = sizeof event;
    event.midiData[0] = static_cast<char>(status);
    event.midiData[1] = static_cast<char>(note);
    event.midiData[2] = static_cast<char>(velocity);
    list.numEvents = 1;
    list.events[0] = reinterpret_cast<VstEvent*>(&event);
  }
};

std::string checkInstrument(CheckContext& context) {
  Session session(context);
  auto plugin = session.instance();
  if ((plugin->record()->flags & effFlagsIsSynth) == 0) {
    plugin->close();
    context.skip("not an instrument");
  }
  plugin->activate(44100.0f, 512);
  plugin->dispatch(effStartProcess);
  const int inputs = plugin->record()->numInputs;
  const size_t block = 512, second = 44100 / block;
  context.step("a note on (middle C, velocity 100)");
  MidiMessage on(0x90, 60, 100);
  plugin->dispatch(effProcessEvents, 0, 0, &on.list);
  const Channels held = process(*plugin, silence(inputs, second * block / 2), block);
  requireFinite(context, held, "after a note on");
  const double level = peak(held);
  if (level < 1e-4) {
    context.warn("silent for half a second after a note on (peak " + number(level) + ")");
  } else {
    context.step("a note off, then waiting for silence");
    MidiMessage off(0x80, 60, 0);
    plugin->dispatch(effProcessEvents, 0, 0, &off.list);
    double tail = 1.0;
    size_t waited = 0;
    for (; waited < 5 * second && tail >= 1e-3; waited += second / 10) {
      const Channels out = process(*plugin, silence(inputs, second / 10 * block), block);
      requireFinite(context, out, "after a note off");
      tail = peak(out);
    }
    context.require(tail < 1e-3,
                    "still sounding 5 s after the note off (peak " + number(tail) + ")");
  }
  plugin->dispatch(effStopProcess);
  finish(context, *plugin);
  return "a note on sounds (peak " + number(level) + ") and dies away after its note off";
}

}  // namespace

std::vector<CheckDefinition> instrumentChecks() {
  return {
      {"instrument", "instruments", "a note on, then its note off (instruments only)",
       "a note that never ends after its note off; WARN: silent after a note on (SKIP for effects)",
       checkInstrument},
  };
}

}  // namespace vsthost

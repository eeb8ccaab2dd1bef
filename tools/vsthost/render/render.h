// vsthost render: a module (or a session's chain of modules) run over an
// audio file, a MIDI file or silence, written to an audio file.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/command.h"

namespace vsthost {

struct RenderOptions {
  std::string module;   // with a session: what "$MODULE" in it stands for
  std::string input;    // "" for silence: an instrument, or an effect played by `midi`
  std::string output;   // with a session: replaces the session's output
  std::string midi;     // a Standard MIDI File played into the module
  double rate = 0.0;    // Hz without an input (default 44100); with one, must be its rate
  double tail = -1.0;   // seconds after the end (below 0: the tail the effects report, with a MIDI
                        // file at least 1 s)
  std::string session;  // a session file with the settings and a chain of modules
  std::vector<std::pair<std::string, std::string>> params;  // name or index, value text
  int block = 512;
  std::string format;    // "" keeps the input's container unless the output's extension names one
  std::string encoding;  // "" keeps the input's sample encoding where the container allows it
  bool progress = false;
  double tempo = 120.0;               // the host's transport, in quarter notes per minute
  std::string timeSignature = "4/4";  // N/D: beats per bar, the beat's note value
  std::string preset;      // a program (.fxp) or bank (.fxb) file loaded before the parameters
  bool force = false;      // loads a preset made for another unique ID
  std::string savePreset;  // the state after the render: .fxp the program, .fxb every program
};

// render: runs `input` (and the MIDI file's events) through the effect, or
// through a session's chain, into `output`. The output (and the saved
// preset) appear whole or not at all.
void render(const RenderOptions& options);

// The `render` subcommand of `app`.
Command addRenderCommand(CLI::App& app);

}  // namespace vsthost

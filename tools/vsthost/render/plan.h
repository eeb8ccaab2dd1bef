// What a render runs: the settings and the chain of modules, taken from the
// command line (one module) or from a session file (render --session).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/common.h"
#include "render/render.h"

namespace vsthost {

// A parameter value as the user wrote it: a plain number is the normalised
// value, any other text the parameter's own ("-6dB"); see parameter_values.h.
struct PlannedValue {
  std::string name;  // parameter name or index
  std::string text;
};

// Points of one parameter's automation, in time order.
struct PlannedAutomation {
  std::string name;
  std::string where;  // the place in the session file, for messages
  std::vector<std::pair<double, std::string>> points;  // seconds, value text
};

struct PlannedModule {
  std::string module;
  std::string where;  // "" on the command line; "FILE: chain[1]" in a session
  std::vector<PlannedValue> params;
  std::string preset;
  bool force = false;
  std::vector<PlannedAutomation> automation;
};

struct RenderPlan {
  std::string input;   // "" for silence (an instrument, or an effect played by MIDI)
  std::string output;  // the file written
  std::string midi;    // "" for none
  double rate = 0.0;   // Hz; 0: the input's, else 44100
  double tail = -1.0;  // seconds after the end; below 0: the tail the effects report, with a MIDI
                       // file at least 1 s
  int block = 512;
  double tempo = 120.0;
  std::string timeSignature = "4/4";
  std::string format, encoding;
  bool progress = false;
  std::string savePreset;  // the first module's state after the render
  std::vector<PlannedModule> chain;
};

// The plan of a session file; throws Error naming the file and the place of
// anything it cannot take. `output` (from the command line) replaces the
// session's; `module` is what "$MODULE" in the session stands for.
RenderPlan readSession(const std::string& path, const std::string& output,
                       const std::string& module);

// Runs a plan; the output appears whole or not at all.
void renderPlan(const RenderPlan& plan);

}  // namespace vsthost

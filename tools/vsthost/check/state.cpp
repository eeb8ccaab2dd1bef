// Parameters and state: value round trips, saving and restoring, programs,
// and chunk data a host may hand over damaged.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "check/check.h"
#include "check/support.h"
#include "common/common.h"
#include "common/isolation.h"

namespace vsthost {

namespace {

std::string checkParameters(CheckContext& context) {
  Session session(context);
  auto plugin = session.active(44100.0f, 512);
  const VstInt32 count = plugin->record()->numParams;
  const Channels in = noise(plugin->record()->numInputs, 512, context.seed(12));
  for (VstInt32 i = 0; i < count; ++i) {
    const float original = plugin->getParameter(i);
    const std::string which =
        "parameter " + number(i) + " (" + printable(plugin->parameterName(i)) + ")";
    for (float value : {0.0f, 0.3f, 0.7f, 1.0f}) {
      const std::string setting = which + " set to " + number(static_cast<double>(value));
      context.step("setting " + which + " to " + number(static_cast<double>(value)));
      plugin->setParameter(i, value);
      const float read = plugin->getParameter(i);
      context.require(
          std::isfinite(read) && read >= -1e-6f && read <= 1.0f + 1e-6f,
          setting + " reads back " + number(static_cast<double>(read)) + ", outside 0 to 1");
      // Stepped parameters may snap, but setting what was read must keep it.
      plugin->setParameter(i, read);
      const float again = plugin->getParameter(i);
      context.require(std::fabs(again - read) <= 1e-6f, which + ": setting the value read back (" +
                                                            number(static_cast<double>(read)) +
                                                            ") reads " +
                                                            number(static_cast<double>(again)));
      context.step("processing after " + setting);
      requireFinite(context, process(*plugin, in, 512), "right after " + setting);
    }
    plugin->setParameter(i, original);
  }
  finish(context, *plugin);
  return number(count) + " parameters at 0, 0.3, 0.7, 1: stable round trips, finite output";
}

// Parameter values, and the bank chunk where the effect keeps one.
struct State {
  std::vector<float> parameters;
  std::vector<char> chunk;
};

State saveState(CheckContext& context, host::Plugin& plugin) {
  State state;
  context.step("reading the parameters back");
  for (VstInt32 i = 0; i < plugin.record()->numParams; ++i)
    state.parameters.push_back(plugin.getParameter(i));
  if ((plugin.record()->flags & effFlagsProgramChunks) != 0) {
    context.step("effGetChunk");
    void* data = nullptr;
    const VstIntPtr size = plugin.dispatch(effGetChunk, 0, 0, &data);
    context.require(size >= 0 && (size == 0 || data != nullptr),
                    "effGetChunk answers " + number(static_cast<long long>(size)) + " bytes at " +
                        (data != nullptr ? "an address" : "no address"));
    if (size > 0) state.chunk.assign(static_cast<char*>(data), static_cast<char*>(data) + size);
  }
  return state;
}

void restoreState(CheckContext& context, host::Plugin& plugin, State state) {
  if (!state.chunk.empty()) {
    context.step("effSetChunk with " + number(state.chunk.size()) + " bytes");
    plugin.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(state.chunk.size()), state.chunk.data());
  }
  context.step("setting the parameters read back");
  for (size_t i = 0; i < state.parameters.size(); ++i)
    plugin.setParameter(static_cast<VstInt32>(i), state.parameters[i]);
}

// Settles a freshly set instance on silence, then answers its output for noise.
Channels listen(CheckContext& context, host::Plugin& plugin) {
  const int inputs = plugin.record()->numInputs;
  context.step("processing");
  process(plugin, silence(inputs, 44100), 512);
  return process(plugin, noise(inputs, 22050, context.seed(13)), 512);
}

std::string checkStateRestore(CheckContext& context) {
  Session session(context);
  auto original = session.active(44100.0f, 512);
  const VstInt32 params = original->record()->numParams;
  std::mt19937 random(context.seed(14));
  std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
  context.step("setting random parameter values");
  for (VstInt32 i = 0; i < params; ++i) original->setParameter(i, uniform(random));
  const State state = saveState(context, *original);
  const Channels expected = listen(context, *original);
  finish(context, *original);

  auto restored = session.active(44100.0f, 512);
  restoreState(context, *restored, state);
  const Channels got = listen(context, *restored);
  finish(context, *restored);
  requireFinite(context, got, "after restoring");
  Difference where;
  const double tolerance = 1e-5 * std::max(1.0, peak(expected));
  std::string compared = "restored output matches";
  if (differs(got, expected, tolerance, where)) {
    // An effect random by design differs from itself: restore twice more and
    // compare those before blaming the state.
    auto again = session.active(44100.0f, 512);
    auto twice = session.active(44100.0f, 512);
    restoreState(context, *again, state);
    restoreState(context, *twice, state);
    const Channels a = listen(context, *again), b = listen(context, *twice);
    finish(context, *again);
    finish(context, *twice);
    Difference self;
    context.require(differs(a, b, tolerance, self),
                    "an instance given the saved " +
                        std::string(state.chunk.empty() ? "parameters" : "chunk and parameters") +
                        " sounds different " + at(where));
    compared = "output not compared (two equally restored instances differ)";
  }

  // Programs: selecting one must be what effGetProgram answers, and the
  // current program's name what the indexed query answers for it.
  auto plugin = session.active(44100.0f, 512);
  const VstInt32 programs = std::min(plugin->record()->numPrograms, 128);
  for (VstInt32 i = 0; i < programs; ++i) {
    context.step("effSetProgram " + number(i));
    plugin->dispatch(effSetProgram, 0, i);
    const VstIntPtr current = plugin->dispatch(effGetProgram);
    context.require(current == i, "after effSetProgram " + number(i) + ", effGetProgram answers " +
                                      number(static_cast<long long>(current)));
    char name[256] = {}, indexed[256] = {};
    context.step("the names of program " + number(i));
    plugin->dispatch(effGetProgramName, 0, 0, name);
    const bool answered = plugin->dispatch(effGetProgramNameIndexed, i, 0, indexed) != 0;
    name[255] = indexed[255] = '\0';
    if (answered && std::strcmp(name, indexed) != 0)
      context.warn("program " + number(i) + " is \"" + printable(name) + "\" but indexed \"" +
                   printable(indexed) + "\"");
  }
  finish(context, *plugin);
  return number(params) + " parameters" + (state.chunk.empty() ? "" : " and a chunk") +
         " restored: " + compared + "; " + number(programs) + " programs consistent";
}

// Chunk data as a host may hand it over after a crash, a truncated project
// file or a mix-up of plug-ins. Each lies in a buffer that ends at a guard
// page, so reading one byte past what the host gave faults.
std::string checkChunkGarbage(CheckContext& context) {
  Session session(context);
  auto donor = session.active(44100.0f, 512);
  if ((donor->record()->flags & effFlagsProgramChunks) == 0) {
    finish(context, *donor);
    context.skip("no program chunks");
  }
  const State own = saveState(context, *donor);
  const int inputs = donor->record()->numInputs;
  finish(context, *donor);

  std::mt19937 random(context.seed(15));
  std::vector<std::pair<std::string, std::vector<char>>> chunks;
  chunks.emplace_back("an empty chunk", std::vector<char>());
  chunks.emplace_back(
      "its own chunk cut to half",
      std::vector<char>(own.chunk.begin(),
                        own.chunk.begin() + static_cast<long>(own.chunk.size() / 2)));
  chunks.emplace_back("its own chunk without its last byte",
                      own.chunk.empty()
                          ? std::vector<char>()
                          : std::vector<char>(own.chunk.begin(), own.chunk.end() - 1));
  for (size_t size : {size_t(4), size_t(1000), size_t(1) << 20}) {
    std::vector<char> bytes(size);
    for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
    chunks.emplace_back(number(size) + " random bytes", bytes);
  }
  // Another plug-in's state: a program file's header for another identifier,
  // and text as many plug-ins keep their state in.
  const char foreign[] =
      "CcnK\0\0\0\x40"
      "FPCh\0\0\0\x01"
      "Othr\0\0\0\x01\0\0\0\x01"
      "Other plug-in's state\0\0\0\0"
      "<?xml version=\"1.0\"?><state plugin=\"other\"><param id=\"9\" value=\"1e300\"/></state>";
  chunks.emplace_back("another plug-in's chunk",
                      std::vector<char>(foreign, foreign + sizeof foreign));

  const Channels in = noise(inputs, 2048, context.seed(16));
  for (const auto& chunk : chunks)
    for (VstInt32 isProgram : {0, 1}) {
      auto plugin = session.active(44100.0f, 512);
      GuardedBuffer buffer(chunk.second.size());
      if (!chunk.second.empty())
        std::memcpy(buffer.data(), chunk.second.data(), chunk.second.size());
      const std::string what = chunk.first + " as a " + (isProgram ? "program" : "bank");
      context.step("effSetChunk with " + what);
      plugin->dispatch(effSetChunk, isProgram, static_cast<VstIntPtr>(chunk.second.size()),
                       buffer.data());
      context.step("processing after " + what);
      requireFinite(context, process(*plugin, in, 512), "after " + what);
      finish(context, *plugin);
    }
  return number(chunks.size()) + " damaged or foreign chunks refused or read safely";
}

}  // namespace

std::vector<CheckDefinition> parameterAndStateChecks() {
  return {
      {"parameters", "parameters and state",
       "every parameter at 0, 0.3, 0.7 and 1: read back, set again, processed",
       "values outside 0 to 1, unstable round trips, non-finite output at a setting",
       checkParameters},
      {"state-restore", "parameters and state",
       "random parameters saved (with the chunk) and restored into a fresh instance; programs",
       "state that does not survive a project reload; a program selection effGetProgram does not "
       "report; WARN: program names that disagree",
       checkStateRestore},
      {"chunk-garbage", "parameters and state",
       "effSetChunk with empty, truncated, random (up to 1 MB) and foreign data, then processing",
       "chunk data trusted without checking its size (SKIP without chunks)", checkChunkGarbage},
  };
}

}  // namespace vsthost

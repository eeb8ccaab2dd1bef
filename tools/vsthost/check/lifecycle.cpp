// Lifecycle: loading, instances, suspend and resume, and what a host's scan costs.
#include <algorithm>
#include <chrono>
#include <thread>

#include "check/support.h"

namespace vsthost {

namespace {

std::string checkLoad(CheckContext& context) {
  Session session(context);
  auto plugin = session.instance();
  const AEffect* r = plugin->record();
  context.require(
      r->numInputs >= 0 && r->numOutputs >= 0 && r->numParams >= 0 && r->numPrograms >= 0,
      "negative channel, parameter or program count in the record");
  context.require(r->processReplacing != nullptr, "the record has no processReplacing function");
  const std::string summary = "entry " + session.loaded.module->entryName() + "; " +
                              number(r->numInputs) + " in, " + number(r->numOutputs) + " out, " +
                              number(r->numParams) + " parameters";
  context.step("closing");
  plugin->close();  // the record is gone from here on
  return summary;
}

std::string checkReload(CheckContext& context) {
  const int cycles = 5;
  for (int i = 0; i < cycles; ++i) {
    {
      Session session(context);
      session.instance()->close();
      context.step("unloading the module");
    }
    // A host goes on running after it unloads a module: give anything the
    // module left behind (a thread, a timer) the time to run into its
    // unmapped code.
    context.step("running on after unloading the module");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return number(cycles) + " load, instantiate, close, unload cycles";
}

std::string checkOpenClose(CheckContext& context) {
  Session session(context);
  const int cycles = 10;
  for (int i = 0; i < cycles; ++i) {
    auto plugin = session.active(44100.0f, 512);
    context.step("processing in instance " + number(i + 1));
    const Channels in = noise(plugin->record()->numInputs, 1024, context.seed(1));
    requireFinite(context, process(*plugin, in, 512), "");
    finish(context, *plugin);
  }
  return number(cycles) + " instances opened, processed, closed";
}

std::string checkTwoInstances(CheckContext& context) {
  Session session(context);
  auto first = session.active(44100.0f, 256);
  auto second = session.active(44100.0f, 256);
  const VstInt32 count = first->record()->numParams;
  context.require(first->record() != second->record(), "both instances share one record");
  std::vector<float> before;
  for (VstInt32 i = 0; i < count; ++i) before.push_back(second->getParameter(i));
  context.step("changing every parameter of the first instance");
  for (VstInt32 i = 0; i < count; ++i)
    first->setParameter(i, before[static_cast<size_t>(i)] < 0.5f ? 1.0f : 0.0f);
  context.step("processing both instances in turn");
  const Channels in = noise(first->record()->numInputs, 2048, context.seed(2));
  for (int round = 0; round < 4; ++round) {
    requireFinite(context, process(*first, in, 256), "of the first instance");
    requireFinite(context, process(*second, in, 256), "of the second instance");
  }
  for (VstInt32 i = 0; i < count; ++i)
    context.require(second->getParameter(i) == before[static_cast<size_t>(i)],
                    "changing parameter " + number(i) + " of one instance changed the other");
  finish(context, *first);
  finish(context, *second);
  return "independent parameters, interleaved processing";
}

std::string checkSuspendResume(CheckContext& context) {
  Session session(context);
  auto plugin = session.active(44100.0f, 512);
  const int inputs = plugin->record()->numInputs;
  struct Stage {
    const char* what;
    float rate;  // 0: unchanged
    VstInt32 block;
  };
  const Stage stages[] = {{"at 44100 Hz", 0.0f, 512},
                          {"after suspend and resume", 0.0f, 512},
                          {"after a change to 96000 Hz while suspended", 96000.0f, 512},
                          {"after a change to 48000 Hz and blocks of 64", 48000.0f, 64},
                          {"after a change back to 44100 Hz", 44100.0f, 1024}};
  bool first = true;
  for (const Stage& stage : stages) {
    if (!first) {
      context.step(std::string("suspending, then resuming ") + stage.what);
      plugin->suspend();
      if (stage.rate > 0.0f) plugin->setSampleRate(stage.rate);
      plugin->setBlockSize(stage.block);
      plugin->resume();
    }
    first = false;
    context.step(std::string("processing ") + stage.what);
    const Channels in = noise(inputs, 22050, context.seed(3));
    requireFinite(context, process(*plugin, in, static_cast<size_t>(stage.block)), stage.what);
  }
  finish(context, *plugin);
  return "finite output through suspend and resume, with and without rate changes";
}

// What a host does with each module while it scans a folder: load, entry,
// open, the identity and parameter texts, close.
void scanOnce(CheckContext& context) {
  Session session(context);
  auto plugin = session.instance();
  context.step("the queries of a scan");
  plugin->open();
  plugin->effectName();
  plugin->vendorString();
  plugin->productString();
  plugin->dispatch(effGetVendorVersion);
  plugin->dispatch(effGetPlugCategory);
  plugin->dispatch(effGetVstVersion);
  for (const char* capability : {"receiveVstMidiEvent", "sendVstMidiEvent", "bypass"}) {
    char text[32];
    std::snprintf(text, sizeof text, "%s", capability);
    plugin->dispatch(effCanDo, 0, 0, text);
  }
  for (VstInt32 i = 0; i < plugin->record()->numParams; ++i) {
    plugin->parameterName(i);
    plugin->parameterLabel(i);
    plugin->parameterDisplay(i);
  }
  for (VstInt32 i = 0; i < std::min(plugin->record()->numPrograms, 128); ++i) {
    char name[256] = {};
    plugin->dispatch(effGetProgramNameIndexed, i, 0, name);
  }
  context.step("closing and unloading after the scan");
  plugin->close();
}

std::string checkScanTime(CheckContext& context) {
  // The fastest of three scans: a busy machine slows one, never all three.
  const double limit = 0.25;
  double fastest = 1e9;
  for (int i = 0; i < 3; ++i) {
    const auto start = std::chrono::steady_clock::now();
    scanOnce(context);
    fastest = std::min(
        fastest, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  const std::string took = number(static_cast<long long>(fastest * 1000.0)) + " ms";
  if (fastest > limit)
    context.warn("a host's scan takes " + took + ", over " +
                 number(static_cast<long long>(limit * 1000.0)) +
                 " ms (500 such modules stall a scan for minutes)");
  return "scanned in " + took;
}

}  // namespace

std::vector<CheckDefinition> lifecycleChecks() {
  return {
      {"load", "lifecycle", "loads the module and makes an instance through its entry",
       "no entry, a null or malformed record, negative counts, no processReplacing", checkLoad},
      {"reload", "lifecycle", "loads, instantiates, closes and unloads five times",
       "threads or timers left running into unloaded code", checkReload},
      {"open-close", "lifecycle", "opens, processes and closes ten instances in turn",
       "crashes or non-finite output in a fresh instance", checkOpenClose},
      {"two-instances", "lifecycle", "two instances with different parameters, processed in turn",
       "state shared between instances through globals", checkTwoInstances},
      {"suspend-resume", "lifecycle",
       "suspends and resumes with rate and block-size changes in between",
       "buffers freed or left stale across suspend and resume", checkSuspendResume},
      {"scan-time", "lifecycle",
       "times load, entry, open and the queries of a host's scan (250 ms at most)",
       "WARN (FAIL with --strict): work in the entry or the constructor that stalls a host's scan",
       checkScanTime},
  };
}

}  // namespace vsthost

// Real time: processing while another thread changes parameters, and heap
// calls on the audio thread, named down to the function that made the first.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "check/support.h"
#include "vst/noise.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#endif

namespace vsthost {

namespace {

// Random parameter changes: an index below `count`, then a value from 0 to 1.
class RandomParameter {
 public:
  RandomParameter(uint32_t seed, VstInt32 count) : noise_(seed), count_(count) {}
  VstInt32 index() {
    const auto drawn = static_cast<VstInt32>((noise_.next() + 0.5f) * static_cast<float>(count_));
    return std::min(drawn, count_ - 1);
  }
  float value() { return noise_.next() + 0.5f; }

 private:
  host::Noise noise_;
  VstInt32 count_;
};

std::string checkThreads(CheckContext& context) {
  Session session(context);
  auto plugin = session.active(44100.0f, 256);
  const VstInt32 count = plugin->record()->numParams;
  const Channels in = noise(plugin->record()->numInputs, 256, context.seed(17));
  std::atomic<bool> done{false};
  std::atomic<long> changes{0};
  // The last parameter changed before a non-finite block: -1 before any.
  std::atomic<VstInt32> lastChanged{-1};
  bool finite = true;
  VstInt32 changedBeforeFault = -1;
  long blocks = 0;
  context.step("processing while another thread changes parameters");
  // Both sides run until each has done its share, so the calls overlap
  // however fast either side is.
  std::thread audio([&] {
    const auto start = std::chrono::steady_clock::now();
    while (blocks < 400 || (count > 0 && changes.load() < 2000 &&
                            std::chrono::steady_clock::now() - start < std::chrono::seconds(3))) {
      const VstInt32 changed = lastChanged.load();
      for (const auto& channel : process(*plugin, in, 256))
        for (float sample : channel)
          if (finite && !std::isfinite(sample)) {
            finite = false;
            changedBeforeFault = changed;
          }
      ++blocks;
    }
    done = true;
  });
  RandomParameter random(context.seed(18), count);
  while (!done && count > 0) {
    const VstInt32 index = random.index();
    plugin->setParameter(index, random.value());
    lastChanged = index;
    plugin->getParameter(index);
    ++changes;
  }
  audio.join();
  context.require(finite, "non-finite output while parameters changed" +
                              (changedBeforeFault >= 0 ? " (the last change before it: parameter " +
                                                             number(changedBeforeFault) + ")"
                                                       : std::string()));
  finish(context, *plugin);
  return number(changes.load()) + " parameter changes during " + number(blocks) + " blocks";
}

#if !defined(_WIN32)
// One frame of a stack as "file: function+offset", or with the source line
// that addr2line finds in the file's debug information when the symbol is
// not exported.
std::string describeFrame(void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr)
    return number(reinterpret_cast<uintptr_t>(address));
  const std::string file = info.dli_fname;
  const auto offset =
      reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(info.dli_fbase);
  char hex[32];
  std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(offset));
  std::string where = file.substr(file.find_last_of('/') + 1) + ": ";
  if (info.dli_sname != nullptr) {
    const auto within =
        reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(info.dli_saddr);
    return where + info.dli_sname + "+" + number(within);
  }
  // A return address points after the call: one byte back is inside it.
  std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(offset - 1));
  const std::string command = "addr2line -f -C -e '" + file + "' " + hex + " 2>/dev/null";
  std::string symbol;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char line[512];
    std::string function, source;
    if (std::fgets(line, sizeof line, pipe) != nullptr) function = line;
    if (std::fgets(line, sizeof line, pipe) != nullptr) source = line;
    pclose(pipe);
    for (auto* text : {&function, &source})
      while (!text->empty() && (text->back() == '\n' || text->back() == '\r')) text->pop_back();
    if (!function.empty() && function != "??") symbol = function;
    if (!source.empty() && source.compare(0, 2, "??") != 0)
      symbol += " (" + source.substr(source.find_last_of('/') + 1) + ")";
  }
  return where + (symbol.empty() ? std::string(hex) : symbol);
}

// The first frames of `stack` inside the module, or the whole stack's first
// frames when none is.
std::string describeStack(const std::vector<void*>& stack, const std::string& module) {
  char resolved[PATH_MAX];
  const std::string modulePath = realpath(module.c_str(), resolved) != nullptr ? resolved : module;
  std::string inModule, all;
  int shown = 0;
  for (void* address : stack) {
    Dl_info info{};
    char file[PATH_MAX];
    const bool ours = dladdr(address, &info) != 0 && info.dli_fname != nullptr &&
                      realpath(info.dli_fname, file) != nullptr && modulePath == file;
    if (ours && shown < 3) {
      inModule += (inModule.empty() ? "" : " <- ") + describeFrame(address);
      ++shown;
    }
  }
  if (!inModule.empty()) return inModule;
  for (size_t i = 0; i < stack.size() && i < 4; ++i)
    all += (all.empty() ? "" : " <- ") + describeFrame(stack[i]);
  return all;
}
#else
std::string describeStack(const std::vector<void*>&, const std::string&) { return ""; }
#endif

// Answers the effect's callbacks with the host's defaults, without counting
// what answering costs: host calls are allowed on the audio thread.
void answerUncounted(host::Host& host, HeapCounter& heap) {
  host::Host* self = &host;
  host.setResponder([self, &heap](const host::HostCall& call) {
    const bool was = heap.countOnThisThread(false);
    const VstIntPtr answer = self->defaultAnswer(call);
    heap.countOnThisThread(was);
    return answer;
  });
}

std::string checkRealtime(CheckContext& context) {
  HeapCounter* heap = context.settings().heap;
  if (heap == nullptr) context.skip("heap calls are not counted on this platform");
  Session session(context);
  answerUncounted(session.loaded.host, *heap);
  auto plugin = session.active(44100.0f, 512);
  const AEffect* record = plugin->record();
  const VstInt32 params = record->numParams;
  const Channels in = noise(record->numInputs, 512, context.seed(19));
  Channels out(static_cast<size_t>(std::max(record->numOutputs, 1)), std::vector<float>(512));
  std::vector<float*> inPointers, outPointers;
  for (const auto& channel : in) inPointers.push_back(const_cast<float*>(channel.data()));
  for (auto& channel : out) outPointers.push_back(channel.data());
  long counts[3] = {0, 0, 0};  // processReplacing, setParameter, getParameter
  std::vector<void*> firstStack[3];
  long firstBlock = -1;
  // Counts the heap calls `call` makes on this thread, keeping the stack of
  // the first one of its kind.
  const auto counted = [&](int kind, auto&& call) {
    const long before = heap->counted();
    if (counts[kind] == 0) heap->forgetFirstStack();
    heap->countOnThisThread(true);
    call();
    heap->countOnThisThread(false);
    const long made = heap->counted() - before;
    if (made > 0 && counts[kind] == 0) firstStack[kind] = heap->firstStack();
    counts[kind] += made;
    return made;
  };
  RandomParameter random(context.seed(20), params);
  context.step("processing and changing parameters while heap calls are counted");
  for (long block = 0; block < 200; ++block) {
    const long made =
        counted(0, [&] { plugin->processReplacing(inPointers.data(), outPointers.data(), 512); });
    if (made > 0 && firstBlock < 0) firstBlock = block;
    if (params > 0) {
      const VstInt32 index = random.index();
      const float value = random.value();
      counted(1, [&] { plugin->setParameter(index, value); });
      counted(2, [&] { plugin->getParameter(index); });
    }
  }
  finish(context, *plugin);
  const char* const calls[] = {"processReplacing", "setParameter", "getParameter"};
  for (int kind = 0; kind < 3; ++kind) {
    if (counts[kind] == 0) continue;
    std::string where = describeStack(firstStack[kind], context.module());
    if (kind == 0)
      where = "in block " + number(firstBlock) + (where.empty() ? "" : ", at " + where);
    context.warn(number(counts[kind]) + " heap calls in " + calls[kind] +
                 (where.empty() ? "" : " (the first " + where + ")"));
  }
  return "no heap call in 200 blocks and 400 parameter calls";
}

}  // namespace

std::vector<CheckDefinition> realtimeChecks() {
  return {
      {"threads", "real time", "processing on one thread while another changes parameters",
       "crashes, hangs or non-finite output when parameters change during processing",
       checkThreads},
      {"realtime", "real time",
       "counts heap calls in processReplacing, setParameter and getParameter",
       "WARN: heap calls on the audio thread, named down to the first one's function (Linux; host "
       "calls excluded)",
       checkRealtime},
  };
}

}  // namespace vsthost

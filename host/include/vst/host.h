// A small VST 2.4 host library: loads a module by path, finds its entry,
// supplies a host callback that records every call it receives, wraps the
// record's functions and sends instruments their events (vst/event_list.h).
// Used by the tests, the demo, the command-line host and the benchmarks.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "vst/event_list.h"
#include "vst/transport.h"
#include "vst/vst.h"

namespace host {

// A four-character code as text, "vqzx" for 0x76717A78; unprintable bytes
// become '?'.
std::string fourChars(VstInt32 code);

// A loaded module (shared object or DLL) and its entry.
class Module {
 public:
  // Loads the module at `path`. On failure returns null and sets `error` to one
  // line a user can act on, starting with the path. A path without a directory
  // names a file in the working directory, never one on the library search path.
  static std::unique_ptr<Module> load(const std::string& path, std::string& error);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  VstPluginMainProc entry() const { return entry_; }
  // The exported name the entry was found under: "VSTPluginMain" or "main".
  const std::string& entryName() const { return entryName_; }
  const std::string& path() const { return path_; }
  // Looks up any exported symbol; null when absent.
  void* symbol(const char* name) const;

 private:
  Module() = default;
  void* handle_ = nullptr;
  VstPluginMainProc entry_ = nullptr;
  std::string entryName_;
  std::string path_;
};

// One call the effect made to the host.
struct HostCall {
  AEffect* effect;
  VstInt32 opcode;
  VstInt32 index;
  VstIntPtr value;
  void* ptr;
  float opt;
};

class Plugin;

// The host side: answers the effect's callback and records every call.
// Thread-safe: effects may call back from any thread.
class Host {
 public:
  using Responder = std::function<VstIntPtr(const HostCall&)>;

  Host();
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // The callback to hand to an entry. It finds its Host through the record's
  // `user` field, or, before a record exists, through the host creating it
  // (also when the effect calls from a thread of its own while being created).
  static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                        VstIntPtr value, void* ptr, float opt);

  // Calls `entry` with this host's callback. Null when the entry answers null or
  // hands back a record without the effect magic (`error` says which). The
  // instance keeps `owners` alive until it is closed.
  std::unique_ptr<Plugin> instantiate(VstPluginMainProc entry, std::string& error,
                                      std::shared_ptr<const void> owners = nullptr);

  // Replaces the default answers. The responder's answer is returned to the
  // effect; calls are recorded either way.
  void setResponder(Responder responder);
  // The responder set now (empty when none), so another can chain to it.
  Responder responder() const;
  // The version answered to audioMasterVersion (2400 by default; 0 refuses).
  void setVersion(VstIntPtr version);
  void setSampleRate(float rate) {
    sampleRate_ = rate;
    transport_.setSampleRate(rate);
  }
  void setBlockSize(VstInt32 size) { blockSize_ = size; }
  // Whether calls are kept for calls(); on by default. Long renders turn it
  // off so an effect that calls back every block does not grow the record.
  void setRecording(bool on);

  // What audioMasterGetTime answers: a transport playing from the start at
  // 120 BPM in 4/4 until changed. Unlike the rest of the host it is not
  // thread-safe: the thread that drives processing changes it and advances
  // it after every block.
  Transport& transport() { return transport_; }

  std::vector<HostCall> calls() const;
  void clearCalls();

  // Records `call` and answers it: through the responder when one is set,
  // else with defaultAnswer().
  VstIntPtr answer(const HostCall& call);
  // What this host answers without a responder: its version, rate and block
  // size, names, the transport's time record, and 0 for everything else.
  // Records nothing.
  VstIntPtr defaultAnswer(const HostCall& call) const;

 private:
  mutable std::mutex mutex_;
  std::vector<HostCall> calls_;
  bool recording_ = true;
  Responder responder_;
  VstIntPtr version_ = 2400;
  float sampleRate_ = 44100.0f;
  VstInt32 blockSize_ = 1024;
  Transport transport_;
};

// One effect instance, driven through its record only.
class Plugin {
 public:
  // `owners` are kept alive until the instance is closed: the module whose
  // code the record points into and the host its callback reaches.
  Plugin(Host& host, AEffect* record, std::shared_ptr<const void> owners = nullptr)
      : host_(host), record_(record), owners_(std::move(owners)) {}
  ~Plugin() { close(); }
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  AEffect* record() const { return record_; }
  Host& host() const { return host_; }
  bool isOpen() const { return record_ != nullptr; }

  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);
  void setParameter(VstInt32 index, float value);
  float getParameter(VstInt32 index);
  // Inline: a host's audio loop pays for the plug-in's call and nothing more.
  void processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    record_->processReplacing(record_, inputs, outputs, frames);
  }
  // The record's double-precision path; only for effects that set
  // effFlagsCanDoubleReplacing.
  void processDoubleReplacing(double** inputs, double** outputs, VstInt32 frames) {
    record_->processDoubleReplacing(record_, inputs, outputs, frames);
  }
  // Hands `events` to the effect (effProcessEvents) for the block that comes
  // next; answers what the effect answered.
  VstIntPtr processEvents(const EventList& events) {
    return dispatch(effProcessEvents, 0, 0, events.events());
  }
  // One block of an instrument: its events, when there are any, then the block.
  void processReplacing(const EventList& events, float** inputs, float** outputs, VstInt32 frames) {
    if (!events.empty()) processEvents(events);
    processReplacing(inputs, outputs, frames);
  }

  // Convenience forms of common opcodes.
  void open() { dispatch(effOpen); }
  void setSampleRate(float rate) { dispatch(effSetSampleRate, 0, 0, nullptr, rate); }
  void setBlockSize(VstInt32 size) { dispatch(effSetBlockSize, 0, size); }
  void resume() { dispatch(effMainsChanged, 0, 1); }
  void suspend() { dispatch(effMainsChanged, 0, 0); }
  // The usual start before processing: open, sample rate, block size, resume.
  void activate(float rate, VstInt32 blockSize) {
    open();
    setSampleRate(rate);
    setBlockSize(blockSize);
    resume();
  }
  // Texts read through a buffer larger than the interface's limit, so a long
  // answer is seen rather than cut.
  std::string parameterName(VstInt32 index);
  std::string parameterLabel(VstInt32 index);
  std::string parameterDisplay(VstInt32 index);
  std::string effectName();
  std::string vendorString();
  std::string productString();

  // Sends effClose; the record is gone afterwards. Answers what the effect
  // answered (1 for a well-behaved effect); 0 when already closed.
  VstIntPtr close();

 private:
  std::string text(VstInt32 opcode, VstInt32 index);
  Host& host_;
  AEffect* record_;
  std::shared_ptr<const void> owners_;  // released after close(), in ~Plugin's member teardown
};

// A loaded module, the host that answers its callback and its instances. Every
// instance keeps the module and the host alive, so an instance is closed before
// its module is unloaded whatever the order in which the owners go.
class LoadedPlugin {
 public:
  LoadedPlugin();
  virtual ~LoadedPlugin();
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  // Loads the module at `path` and makes the first instance (`plugin`). On
  // failure answers false and sets `error` to one line naming the path.
  bool load(const std::string& path, std::string& error);
  // Loads the module only; instances come from instantiate().
  bool loadModule(const std::string& path, std::string& error);
  // A further instance of the loaded module; null (with `error`) when the
  // entry refuses.
  std::unique_ptr<Plugin> instantiate(std::string& error);

  // Null until load() has succeeded.
  std::shared_ptr<const Module> module;
  Host& host;
  std::unique_ptr<Plugin> plugin;

 private:
  struct Owners;
  explicit LoadedPlugin(std::shared_ptr<Owners> owners);
  std::shared_ptr<Owners> owners_;
};

}  // namespace host

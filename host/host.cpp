#include "vst/host.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace host {

std::string fourChars(VstInt32 code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const auto c = static_cast<char>((static_cast<uint32_t>(code) >> shift) & 0xFF);
    text += (c >= 32 && c < 127) ? c : '?';
  }
  return text;
}

namespace {

// The host creating an instance on this thread: the entry's version query and
// anything the effect's constructor sends arrive before `user` is set.
thread_local Host* creatingHost = nullptr;
// The same for calls from other threads while an entry runs. Instantiations are
// serialised so this names the one host whose entry call is in progress.
std::atomic<Host*> instantiatingHost{nullptr};
std::mutex instantiateMutex;

#if defined(_WIN32)
void* openLibrary(const std::string& path, std::string& error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr)
    error = "cannot load module (Windows error " + std::to_string(GetLastError()) + ")";
  return reinterpret_cast<void*>(module);
}
void* findSymbol(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void closeLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
#else
void* openLibrary(const std::string& path, std::string& error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "cannot load module";
  }
  return handle;
}
void* findSymbol(void* handle, const char* name) { return dlsym(handle, name); }
void closeLibrary(void* handle) { dlclose(handle); }
#endif

}  // namespace

std::unique_ptr<Module> Module::load(const std::string& path, std::string& error) {
  std::unique_ptr<Module> module(new Module());
  module->path_ = path;
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    error = path + ": " + std::strerror(errno);
    return nullptr;
  }
  if (S_ISDIR(status.st_mode)) {
    error = path + ": is a directory, not a module";
    return nullptr;
  }
  std::string reason;
  // dlopen searches the library path for a bare file name: anchor it here.
  const bool bare = path.find('/') == std::string::npos && path.find('\\') == std::string::npos;
  module->handle_ = openLibrary(bare ? "./" + path : path, reason);
  if (module->handle_ == nullptr) {
    // The loader's message usually repeats the path: keep it once.
    for (const std::string& prefix : {path + ": ", "./" + path + ": "})
      if (reason.compare(0, prefix.size(), prefix) == 0) reason.erase(0, prefix.size());
    error = path + ": " + reason;
    return nullptr;
  }
  for (const char* name : {"VSTPluginMain", "main"}) {
    if (void* symbol = module->symbol(name)) {
      module->entry_ = reinterpret_cast<VstPluginMainProc>(symbol);
      module->entryName_ = name;
      return module;
    }
  }
  error = path + ": not a VST 2.4 module (exports neither VSTPluginMain nor main)";
  return nullptr;
}

Module::~Module() {
  if (handle_ != nullptr) closeLibrary(handle_);
}

void* Module::symbol(const char* name) const { return findSymbol(handle_, name); }

Host::Host() = default;
Host::~Host() = default;

VstIntPtr VSTCALLBACK Host::callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                     VstIntPtr value, void* ptr, float opt) {
  Host* host = effect != nullptr && effect->user != nullptr ? static_cast<Host*>(effect->user)
                                                            : creatingHost;
  if (host == nullptr) host = instantiatingHost.load();
  if (host == nullptr) return 0;
  return host->answer(HostCall{effect, opcode, index, value, ptr, opt});
}

VstIntPtr Host::answer(const HostCall& call) {
  Responder responder;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (recording_) calls_.push_back(call);
    responder = responder_;
  }
  if (responder) return responder(call);
  return defaultAnswer(call);
}

VstIntPtr Host::defaultAnswer(const HostCall& call) const {
  switch (call.opcode) {
    case audioMasterVersion: return version_;
    case audioMasterGetSampleRate: return static_cast<VstIntPtr>(sampleRate_);
    case audioMasterGetBlockSize: return blockSize_;
    case audioMasterGetVendorString:
      if (call.ptr != nullptr) std::strcpy(static_cast<char*>(call.ptr), "Velmbrook");
      return 1;
    case audioMasterGetProductString:
      if (call.ptr != nullptr) std::strcpy(static_cast<char*>(call.ptr), "vsthost");
      return 1;
    case audioMasterGetVendorVersion: return 1;
    case audioMasterGetTime:
      return reinterpret_cast<VstIntPtr>(const_cast<VstTimeInfo*>(transport_.info()));
    case audioMasterGetCurrentProcessLevel: return 0;
    default: return 0;
  }
}

std::unique_ptr<Plugin> Host::instantiate(VstPluginMainProc entry, std::string& error,
                                          std::shared_ptr<const void> owners) {
  std::unique_lock<std::mutex> serial(instantiateMutex, std::defer_lock);
  Host* previous = creatingHost;
  const bool outermost = previous == nullptr;  // not nested inside another host's entry call
  if (outermost) {
    serial.lock();
    instantiatingHost.store(this);
  }
  creatingHost = this;
  AEffect* record = entry(&Host::callback);
  creatingHost = previous;
  if (record != nullptr && record->magic == kEffectMagic) record->user = this;
  if (outermost) instantiatingHost.store(nullptr);
  if (record == nullptr) {
    error = "the entry returned no effect";
    return nullptr;
  }
  if (record->magic != kEffectMagic) {
    error = "the entry returned a record without the VST magic";
    return nullptr;
  }
  return std::unique_ptr<Plugin>(new Plugin(*this, record, std::move(owners)));
}

void Host::setResponder(Responder responder) {
  std::lock_guard<std::mutex> lock(mutex_);
  responder_ = std::move(responder);
}

Host::Responder Host::responder() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return responder_;
}

void Host::setVersion(VstIntPtr version) { version_ = version; }

void Host::setRecording(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  recording_ = on;
}

std::vector<HostCall> Host::calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

void Host::clearCalls() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
}

VstIntPtr Plugin::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  if (record_ == nullptr) return 0;
  if (opcode == effClose) return close();
  return record_->dispatcher(record_, opcode, index, value, ptr, opt);
}

void Plugin::setParameter(VstInt32 index, float value) {
  record_->setParameter(record_, index, value);
}

float Plugin::getParameter(VstInt32 index) { return record_->getParameter(record_, index); }

std::string Plugin::text(VstInt32 opcode, VstInt32 index) {
  char buffer[256] = {};
  dispatch(opcode, index, 0, buffer);
  buffer[sizeof buffer - 1] = '\0';
  return buffer;
}

std::string Plugin::parameterName(VstInt32 index) { return text(effGetParamName, index); }
std::string Plugin::parameterLabel(VstInt32 index) { return text(effGetParamLabel, index); }
std::string Plugin::parameterDisplay(VstInt32 index) { return text(effGetParamDisplay, index); }
std::string Plugin::effectName() { return text(effGetEffectName, 0); }
std::string Plugin::vendorString() { return text(effGetVendorString, 0); }
std::string Plugin::productString() { return text(effGetProductString, 0); }

VstIntPtr Plugin::close() {
  if (record_ == nullptr) return 0;
  AEffect* record = record_;
  record_ = nullptr;
  return record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
}

struct LoadedPlugin::Owners {
  Host host;
  std::shared_ptr<const Module> module;
};

LoadedPlugin::LoadedPlugin() : LoadedPlugin(std::make_shared<Owners>()) {}
LoadedPlugin::LoadedPlugin(std::shared_ptr<Owners> owners)
    : host(owners->host), owners_(std::move(owners)) {}
LoadedPlugin::~LoadedPlugin() = default;

bool LoadedPlugin::loadModule(const std::string& path, std::string& error) {
  std::unique_ptr<Module> loaded = Module::load(path, error);
  if (!loaded) return false;
  module = std::move(loaded);
  owners_->module = module;
  return true;
}

bool LoadedPlugin::load(const std::string& path, std::string& error) {
  if (!loadModule(path, error)) return false;
  plugin = instantiate(error);
  if (!plugin) error = path + ": " + error;
  return plugin != nullptr;
}

std::unique_ptr<Plugin> LoadedPlugin::instantiate(std::string& error) {
  if (!owners_->module) {
    error = "no module loaded";
    return nullptr;
  }
  return owners_->host.instantiate(owners_->module->entry(), error, owners_);
}

}  // namespace host

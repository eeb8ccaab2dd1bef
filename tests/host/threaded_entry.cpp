// A module whose entry asks for the host's version from a thread of its own and
// waits for it, as effects that start a worker in their constructor do. The
// entry makes an effect only when that thread got a version.
#include <cstdlib>
#include <thread>

#include "vst/vst.h"

#if defined(_WIN32)
#define EXPORT extern "C" __declspec(dllexport)
#else
#define EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

VstIntPtr dispatcher(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  if (opcode == effClose) {
    delete effect;
    return 1;
  }
  return 0;
}

}  // namespace

EXPORT AEffect* VSTPluginMain(audioMasterCallback master) {
  VstIntPtr version = 0;
  std::thread worker([&] { version = master(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f); });
  worker.join();
  if (version == 0) return nullptr;
  auto* effect = new AEffect{};
  effect->magic = kEffectMagic;
  effect->dispatcher = dispatcher;
  return effect;
}

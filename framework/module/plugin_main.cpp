// The module's one exported function, under the names VSTPluginMain and main
// (the build gives both names to this one address).
#include "vst/audio_effect.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#define VST_EXPORT __declspec(dllexport)
#else
#define VST_EXPORT __attribute__((visibility("default")))
#endif

// [host thread] Asks the host for its version, then makes one independent
// instance and hands back its record. Null when the host refuses (answers 0),
// when no callback is given, or when the instance's block cannot be had.
extern "C" VST_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback audioMaster) {
  if (audioMaster == nullptr) return nullptr;
  if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
  AudioEffect* effect = createEffectInstance(audioMaster);
  return effect != nullptr ? effect->getAeffect() : nullptr;
}

#if defined(_WIN32)
// Load and unload notifications answer success and do nothing else: the
// framework keeps no global state, and what an effect keeps (Orsolane: the
// kernel set it processes with, chosen when the module loads) is set up by the
// module's static initialisation, which the runtime completes before it passes
// the load notification on to this function.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif

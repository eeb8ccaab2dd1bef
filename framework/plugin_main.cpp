// The module's one exported function, under the names VSTPluginMain and main
// (the build gives both names to this one address).
#include "framework/audio_effect.h"

#if defined(_WIN32)
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

// AudioEffectX: the extended effect class every concrete effect derives from.
// It adds no fields to AudioEffect; its virtual operations follow the base
// class's in the slot order below, which is part of the binary contract.
#pragma once

#include "framework/audio_effect.h"

class AudioEffectX : public AudioEffect {
 public:
  // [construction] Constructs the AudioEffect part with the same arguments.
  AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
      : AudioEffect(audioMaster, numPrograms, numParams) {}
};

// Everything an effect built on the framework uses, in one include:
// AudioEffect and AudioEffectX to derive from, AEffEditor, the bounded text
// copy for every text written into a host's buffer, Relaxed<T> for values
// shared between the audio thread and the host's other threads, the interface
// types and constants, the framework's version, parameters declared in one
// table (ParameterEffect) with a smoother, and the host's time read safely.
//
// A module's sources define the one function the plug-in entry calls:
//   AudioEffect* createEffectInstance(audioMasterCallback audioMaster);
#pragma once

#include "vst/audio_effect.h"
#include "vst/audio_effect_x.h"
#include "vst/framework_version.h"
#include "vst/host_time.h"
#include "vst/parameters.h"
#include "vst/relaxed.h"
#include "vst/text_copy.h"
#include "vst/vst.h"

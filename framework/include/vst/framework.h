// Everything an effect built on the framework uses, in one include:
// AudioEffect and AudioEffectX to derive from, AEffEditor, the bounded text
// copy for every text written into a host's buffer, Relaxed<T> for values
// shared between the audio thread and the host's other threads, the MIDI
// decoder, event queue and voice allocator for instruments, parameters
// declared in one table (ParameterEffect) with a smoother, identity texts
// declared once (vst::Identity, IdentityEffect), the host's time
// read safely, the interface types and constants, and the framework's version.
//
// A module's sources define the one function the plug-in entry calls:
//   AudioEffect* createEffectInstance(audioMasterCallback audioMaster);
#pragma once

#include "vst/audio_effect.h"
#include "vst/audio_effect_x.h"
#include "vst/framework_version.h"
#include "vst/host_time.h"
#include "vst/identity.h"
#include "vst/midi.h"
#include "vst/parameters.h"
#include "vst/relaxed.h"
#include "vst/text_copy.h"
#include "vst/vst.h"

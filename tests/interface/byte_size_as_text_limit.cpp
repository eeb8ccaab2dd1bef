// An identity text copied with the interface's buffer size in bytes as its
// character limit would write its terminator one byte past the host's buffer:
// the framework's copy must refuse to compile it.
#include "vst/text_copy.h"

void effectName(char* name) { vst::copyText(name, "Name", kVstMaxEffectNameLen); }

/* A layout check whose condition is false: compiling this must fail, in C99
 * (where the check has no keyword of its own) as in every later standard. */
#include "vst/types.h"

VST_STATIC_ASSERT(sizeof(VstInt32) == 8, "a false condition");

/* The whole interface in one include. Valid C and C++. */
#ifndef VST_VST_H
#define VST_VST_H

#include "vst/dispatcher_opcodes.h"
#include "vst/effect_record.h"
#include "vst/events.h"
#include "vst/flags.h"
#include "vst/host_opcodes.h"
#include "vst/records.h"
#include "vst/speakers.h"
#include "vst/time_info.h"
#include "vst/types.h"

#endif

// A parameter name of 9 characters, and separately a choice name of 9, in a
// table of parameters: the builders must refuse to compile either, naming the
// 8-character limit. PARAMETER_CHOICE picks the choice's case.
#include "vst/parameters.h"

#if defined(PARAMETER_CHOICE)
constexpr const char* kNames[] = {"Low", "Resonance"};
constexpr vst::ParameterSpec kParameters[] = {vst::choiceParameter("Mode", kNames, 0)};
#else
constexpr vst::ParameterSpec kParameters[] = {vst::linearParameter("Resonance", "", 0.0, 1.0, 0.5)};
#endif

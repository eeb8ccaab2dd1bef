// Parameter values as a user writes them on the command line: a plain number
// is the normalised value the interface carries (0 to 1); anything else is a
// value in the parameter's own terms ("-6dB", "25 ms", "Mono").
#pragma once

#include <string>

#include "vst/host.h"

namespace vsthost {

// The normalised value that `text` stands for as parameter `index` of
// `plugin` (called `name` in messages). A plain number must lie within 0 to 1.
// Other text goes to the effect's own parser (effString2Parameter); an effect
// without one is searched instead: its displays over the whole normalised
// range are compared with the text, as words ("Mono") or as a number with an
// optional unit ("25ms" against "25.00000" and "ms"). Throws Error, naming the
// parameter, when nothing matches. The parameter may be changed meanwhile and
// is set back to its value before the call.
float resolveParameterValue(host::Plugin& plugin, VstInt32 index, const std::string& name,
                            const std::string& text);

// The index of the parameter a user names by its name (exact, then in any
// case) or by its index; throws Error naming what is wrong.
VstInt32 parameterIndex(host::Plugin& plugin, const std::string& key);

}  // namespace vsthost

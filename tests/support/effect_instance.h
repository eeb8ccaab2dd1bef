// The effect's class on its own, without a host: what the class-level suites drive.
#pragma once

#include <memory>

#include "quillane_vst.h"

using Effect = std::unique_ptr<QuillaneVST>;
inline Effect makeEffect() { return Effect(new QuillaneVST(nullptr)); }

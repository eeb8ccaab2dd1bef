// An identity text longer than its kind's 24 characters, given as a literal:
// the framework's identity record must refuse to compile it.
#include "vst/identity.h"

constexpr vst::Identity kIdentity = {"Twenty-five characters!!!", "Vendor", "Product", 1};

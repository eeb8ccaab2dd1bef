// The framework's version. An effect may test it at compile time, e.g.
//   #if VST_FRAMEWORK_VERSION >= VST_FRAMEWORK_MAKE_VERSION(1, 1, 0)
// The build reads the three numbers below for the CMake package's version.
#pragma once

#define VST_FRAMEWORK_VERSION_MAJOR 1
#define VST_FRAMEWORK_VERSION_MINOR 0
#define VST_FRAMEWORK_VERSION_PATCH 0

#define VST_FRAMEWORK_MAKE_VERSION(major, minor, patch) ((major)*10000 + (minor)*100 + (patch))
#define VST_FRAMEWORK_VERSION                                                          \
  VST_FRAMEWORK_MAKE_VERSION(VST_FRAMEWORK_VERSION_MAJOR, VST_FRAMEWORK_VERSION_MINOR, \
                             VST_FRAMEWORK_VERSION_PATCH)

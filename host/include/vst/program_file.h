// Program (.fxp) and bank (.fxb) files: an effect's state as the interface
// stores it, big-endian. A program is one set of parameter values with its
// name, or the effect's opaque program chunk; a bank is every program, or the
// effect's opaque bank chunk. Effects that set effFlagsProgramChunks are saved
// as chunks, others as parameters; loading takes any of the four forms.
//
// Every function reports a problem as one line in `error` and answers false;
// nothing is read past the data given, and a file that does not parse changes
// nothing in the effect.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "vst/host.h"

namespace host {

enum class ProgramFileKind { kProgram, kBank };

// The file's layout: the 28-byte header every file starts with, the 28-byte
// name field and the 128 bytes a bank reserves.
constexpr size_t kProgramFileHeaderSize = 28;
constexpr size_t kProgramFileNameSize = 28;
constexpr size_t kProgramFileReservedSize = 128;

struct ProgramFileLoadOptions {
  // Loads a file made for another unique ID instead of refusing it.
  bool force = false;
};

// What a load that failed ran into, for a caller that words its own advice.
enum class ProgramFileProblem {
  kNone,
  kOtherPlugin,  // made for another unique ID; `force` would load it
  kMalformed,    // not a program or bank file, or one that does not fit the module
  kIo,           // the file could not be read or written
};

// The current program (kProgram) or every program (kBank) of `plugin`, as the
// bytes of a file. A parameter bank selects each program in turn and puts the
// current one back afterwards.
bool saveProgramState(Plugin& plugin, ProgramFileKind kind, std::vector<unsigned char>& bytes,
                      std::string& error);

// Loads a program or a bank, whichever `data` holds, into `plugin`: a program
// into the current program, a bank into every program it holds (the current
// program is put back afterwards).
bool loadProgramState(Plugin& plugin, const unsigned char* data, size_t size,
                      const ProgramFileLoadOptions& options, std::string& error,
                      ProgramFileProblem* problem = nullptr);

// The same through a file; the errors start with the path. The file is written
// in place.
bool saveProgramFile(Plugin& plugin, ProgramFileKind kind, const std::string& path,
                     std::string& error);
bool loadProgramFile(Plugin& plugin, const std::string& path, const ProgramFileLoadOptions& options,
                     std::string& error, ProgramFileProblem* problem = nullptr);

// kBank for a path ending in ".fxb", kProgram for ".fxp" (either case); false
// for any other name.
bool programFileKindForPath(const std::string& path, ProgramFileKind& kind);

}  // namespace host

// The interface: texts within their buffers, every opcode, and the identity
// a host files the module under.
#include <algorithm>
#include <cstring>

#include "check/check.h"
#include "check/support.h"
#include "common/common.h"
#include "common/isolation.h"
#include "vst/opcode_arguments.h"

namespace vsthost {

namespace {

// The buffer hosts commonly give a text, whatever the interface's size for
// it: a text written past the interface's limit but within this works in
// them, and is a WARN at the default level.
const size_t kHostTextBuffer = 256;

// Asks the effect for one text. At the default level the buffer is of the size
// hosts commonly give (256 bytes); with --strict it is exactly the interface's
// size. It ends at a guard page either way and starts filled with a marker, so
// "wrote nothing" and "wrote without a terminator" can be told apart. `limit`
// is the longest text the interface allows.
void checkText(CheckContext& context, host::Plugin& plugin, VstInt32 opcode, VstInt32 index,
               size_t limit, const std::string& what) {
  const size_t exactSize = host::opcodeArgument(opcode).bytes;
  const size_t size = context.strict() ? exactSize : std::max(kHostTextBuffer, exactSize);
  GuardedBuffer buffer(size);
  std::memset(buffer.data(), 0x7F, size);
  context.step(what + " into a " + number(size) + "-byte buffer");
  plugin.dispatch(opcode, index, 0, buffer.data());
  const char* end = static_cast<const char*>(std::memchr(buffer.data(), '\0', size));
  bool untouched = true;
  for (size_t i = 0; i < size; ++i) untouched = untouched && buffer.data()[i] == 0x7F;
  context.require(untouched || end != nullptr,
                  what + " fills its " + number(size) + "-byte buffer without a terminator");
  const size_t length = end != nullptr ? static_cast<size_t>(end - buffer.data()) : 0;
  if (length > limit)
    context.warn(what + ": " + number(length + 1) + " bytes written against the interface's " +
                 number(limit + 1) + " (fits the " + number(kHostTextBuffer) +
                 "-byte buffer hosts commonly give; \"" +
                 printable(std::string(buffer.data(), length)) + "\")");
}

std::string checkTexts(CheckContext& context) {
  Session session(context);
  auto plugin = session.instance();
  plugin->open();
  const VstInt32 params = plugin->record()->numParams;
  const VstInt32 programs = std::min(plugin->record()->numPrograms, 128);
  const size_t paramText = kVstMaxParamStrLen, programText = kVstMaxProgNameLen;
  for (VstInt32 i = 0; i < params; ++i) {
    const std::string which = " of parameter " + number(i);
    checkText(context, *plugin, effGetParamName, i, paramText, "the name" + which);
    checkText(context, *plugin, effGetParamLabel, i, paramText, "the label" + which);
    checkText(context, *plugin, effGetParamDisplay, i, paramText, "the display" + which);
  }
  checkText(context, *plugin, effGetEffectName, 0, kVstMaxEffectNameLen - 1, "the effect name");
  checkText(context, *plugin, effGetVendorString, 0, kVstMaxVendorStrLen - 1, "the vendor");
  checkText(context, *plugin, effGetProductString, 0, kVstMaxProductStrLen - 1, "the product");
  checkText(context, *plugin, effGetProgramName, 0, programText, "the program name");
  for (VstInt32 i = 0; i < programs; ++i)
    checkText(context, *plugin, effGetProgramNameIndexed, i, programText,
              "the name of program " + number(i));
  context.step("closing");
  plugin->close();
  return "every text ends within its buffer (" + number(3 * params + 4 + programs) + " texts)";
}

std::string checkOpcodes(CheckContext& context) {
  Session session(context);
  auto plugin = session.instance();
  if (context.strict()) {
    for (VstInt32 opcode = 0; opcode <= 79; ++opcode) {
      if (opcode == effClose) continue;
      context.step("opcode " + number(opcode) + " with zero arguments");
      plugin->dispatch(opcode, 0, 0, nullptr, 0.0f);
    }
    context.step("opcode 1 (close) with zero arguments");
    plugin->close();
    return "opcodes 0 to 79 with index, value, ptr and opt zero";
  }
  // As a host calls them: zeroed memory behind every pointer (an empty text,
  // an empty event list, a record of zeros), a real rate and block size. The
  // editor's opcodes are left out: a host sends them only with a window
  // system to show the editor on, which a check has not. Soft bypass is asked
  // for only when the effect says it can.
  GuardedBuffer buffer(4096), arrangement(4096);
  context.step("opcode 0 (open)");
  plugin->open();
  char bypass[] = "bypass";
  context.step("effCanDo bypass");
  const bool bypasses = plugin->dispatch(effCanDo, 0, 0, bypass) > 0;
  for (VstInt32 opcode = 1; opcode <= 79; ++opcode) {
    if (opcode == effClose || host::isEditorOpcode(opcode) || (opcode == effSetBypass && !bypasses))
      continue;
    std::memset(buffer.data(), 0, buffer.size());
    std::memset(arrangement.data(), 0, arrangement.size());
    const host::OpcodeArgument argument = host::opcodeArgument(opcode);
    VstIntPtr value = 0;
    float opt = 0.0f;
    if (opcode == effSetSampleRate) opt = 44100.0f;
    if (opcode == effSetBlockSize) value = 512;
    if (opcode == effSetBlockSizeAndSampleRate) value = 512, opt = 44100.0f;
    if (argument.kind == host::OpcodeArgument::kSpeakerRecords ||
        argument.kind == host::OpcodeArgument::kSpeakerSlots)
      value = reinterpret_cast<VstIntPtr>(arrangement.data());
    context.step("opcode " + number(opcode) + " with realistic arguments");
    plugin->dispatch(opcode, 0, value, argument.takesPointer() ? buffer.data() : nullptr, opt);
  }
  context.step("opcode 1 (close)");
  plugin->close();
  return "opcodes 0 to 79 (not the editor's) with valid buffers and realistic arguments";
}

std::string checkIdentity(CheckContext& context) {
  Session session(context);
  auto plugin = session.instance();
  plugin->open();
  const VstInt32 id = plugin->record()->uniqueID;
  if (id == 0) context.warn("the unique ID is 0");
  if (id == VST_FOUR_CHARS('N', 'o', 'E', 'f'))
    context.warn("the unique ID is the framework's default 'NoEf'");
  context.step("effGetEffectName");
  const std::string name = plugin->effectName();
  if (name.empty()) context.warn("the effect name is empty");
  for (VstInt32 i = 0; i < plugin->record()->numParams; ++i) {
    context.step("the name of parameter " + number(i));
    const std::string parameter = plugin->parameterName(i);
    if (parameter.size() > kVstMaxParamStrLen)
      context.warn("parameter " + number(i) + " is named \"" + printable(parameter) + "\", over " +
                   number(kVstMaxParamStrLen) + " characters");
  }
  context.step("closing");
  plugin->close();
  return "\"" + printable(name) + "\", unique ID " + fourChars(id);
}

}  // namespace

std::vector<CheckDefinition> interfaceChecks() {
  return {
      {"texts", "interface",
       "every text into a buffer ending at a guard page (exactly sized with --strict)",
       "a text past its buffer or without a terminator; WARN: a text over its limit", checkTexts},
      {"opcodes", "interface",
       "opcodes 0 to 79 as hosts send them (null and zero arguments with --strict)",
       "a crash on an opcode with realistic arguments; --strict: with null and zero ones",
       checkOpcodes},
      {"identity", "interface", "the unique ID, the effect name and the parameter names",
       "WARN: a unique ID of 0 or the framework's default, an empty name, parameter names over 8 "
       "characters",
       checkIdentity},
  };
}

}  // namespace vsthost

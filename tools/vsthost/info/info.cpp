// info: loads a module, opens one instance the way a host does and prints what
// the host sees: identity, record fields, decoded flags and every parameter.
#include "info/info.h"

#include <cinttypes>
#include <cmath>
#include <nlohmann/json.hpp>

#include "common/common.h"

namespace vsthost {

namespace {

struct ParameterInfo {
  VstInt32 index;
  std::string name, display, label;
  float value;
};

struct EffectInfo {
  std::string path, entry, name, vendor, product;
  VstIntPtr vendorVersion, vstVersion, category;
  VstInt32 uniqueId, version, inputs, outputs, programs, parameters, flags, latency;
  VstIntPtr tail;  // effGetTailSize: 0 unknown, 1 none, otherwise samples
  std::vector<ParameterInfo> parameterList;
};

EffectInfo inspect(const std::string& path) {
  auto loaded = load(path);
  host::Plugin& plugin = *loaded->plugin;
  plugin.open();
  plugin.setSampleRate(44100.0f);
  plugin.setBlockSize(1024);
  EffectInfo info;
  info.path = path;
  info.entry = loaded->module->entryName();
  info.name = printable(plugin.effectName());
  info.vendor = printable(plugin.vendorString());
  info.product = printable(plugin.productString());
  info.vendorVersion = plugin.dispatch(effGetVendorVersion);
  info.vstVersion = plugin.dispatch(effGetVstVersion);
  info.category = plugin.dispatch(effGetPlugCategory);
  info.tail = plugin.dispatch(effGetTailSize);
  // Read after effOpen: some effects settle their channel counts and latency there.
  const AEffect* record = plugin.record();
  info.uniqueId = record->uniqueID;
  info.version = record->version;
  info.inputs = record->numInputs;
  info.outputs = record->numOutputs;
  info.programs = record->numPrograms;
  info.parameters = record->numParams;
  info.flags = record->flags;
  info.latency = record->initialDelay;
  for (VstInt32 i = 0; i < record->numParams; ++i)
    info.parameterList.push_back({i, printable(plugin.parameterName(i)),
                                  printable(plugin.parameterDisplay(i)),
                                  printable(plugin.parameterLabel(i)), plugin.getParameter(i)});
  plugin.close();
  return info;
}

using Json = nlohmann::ordered_json;

std::string joined(const std::vector<std::string>& names, const char* separator) {
  std::string result;
  for (const auto& name : names) result += (result.empty() ? "" : separator) + name;
  return result;
}

void printJson(const EffectInfo& info, std::FILE* out) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(info.uniqueId));
  Json parameters = Json::array();
  for (const ParameterInfo& p : info.parameterList)
    parameters.push_back({{"index", p.index},
                          {"name", p.name},
                          {"display", p.display},
                          {"label", p.label},
                          {"value", std::isfinite(p.value) ? Json(p.value) : Json()}});
  const Json document = {{"module", info.path},
                         {"entry", info.entry},
                         {"name", info.name},
                         {"vendor", info.vendor},
                         {"product", info.product},
                         {"vendorVersion", info.vendorVersion},
                         {"uniqueId", fourChars(info.uniqueId)},
                         {"uniqueIdHex", hex},
                         {"version", info.version},
                         {"vstVersion", info.vstVersion},
                         {"category", categoryName(info.category)},
                         {"inputs", info.inputs},
                         {"outputs", info.outputs},
                         {"programs", info.programs},
                         {"flags", flagNames(info.flags)},
                         {"flagBits", info.flags},
                         {"latency", info.latency},
                         {"tail", info.tail},
                         {"parameters", parameters}};
  std::fprintf(out, "%s\n", document.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
}

// Terminal columns of a UTF-8 text: one per character.
size_t columns(const std::string& text) {
  size_t count = 0;
  for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  return count;
}

std::string padded(const std::string& text, size_t width) {
  return text + std::string(width - std::min(width, columns(text)), ' ');
}

void printText(const EffectInfo& info, std::FILE* out) {
  auto orNone = [](const std::string& text) { return text.empty() ? std::string("(none)") : text; };
  const std::vector<std::string> flags = flagNames(info.flags);
  std::fprintf(out, "Module          %s\n", info.path.c_str());
  std::fprintf(out, "Entry           %s\n", info.entry.c_str());
  std::fprintf(out, "Effect name     %s\n", orNone(info.name).c_str());
  std::fprintf(out, "Vendor          %s\n", orNone(info.vendor).c_str());
  std::fprintf(out, "Product         %s\n", orNone(info.product).c_str());
  std::fprintf(out, "Vendor version  %" PRIdPTR "\n", info.vendorVersion);
  std::fprintf(out, "Unique ID       %s (0x%08X)\n", fourChars(info.uniqueId).c_str(),
               static_cast<unsigned>(info.uniqueId));
  std::fprintf(out, "Version         %d\n", info.version);
  std::fprintf(out, "VST version     %" PRIdPTR "\n", info.vstVersion);
  std::fprintf(out, "Category        %s\n", categoryName(info.category).c_str());
  std::fprintf(out, "Inputs          %d\n", info.inputs);
  std::fprintf(out, "Outputs         %d\n", info.outputs);
  std::fprintf(out, "Programs        %d\n", info.programs);
  std::fprintf(out, "Flags           0x%X (%s)\n", static_cast<unsigned>(info.flags),
               flags.empty() ? "none" : joined(flags, ", ").c_str());
  std::fprintf(out, "Latency         %d samples\n", info.latency);
  if (info.tail == 0)
    std::fprintf(out, "Tail            0 (unknown: a host guesses how long it rings)\n");
  else if (info.tail == 1)
    std::fprintf(out, "Tail            1 (none: silent as soon as its input is)\n");
  else
    std::fprintf(out, "Tail            %lld samples (%.3g s at 44100 Hz)\n",
                 static_cast<long long>(info.tail), static_cast<double>(info.tail) / 44100.0);
  std::fprintf(out, "Parameters      %d\n", info.parameters);
  if (info.parameterList.empty()) return;
  size_t nameWidth = 4, displayWidth = 7, labelWidth = 5;
  for (const auto& p : info.parameterList) {
    nameWidth = std::max(nameWidth, columns(p.name));
    displayWidth = std::max(displayWidth, columns(p.display));
    labelWidth = std::max(labelWidth, columns(p.label));
  }
  std::fprintf(out, "\n  Index  %s  %s  %s  Value\n", padded("Name", nameWidth).c_str(),
               padded("Display", displayWidth).c_str(), padded("Label", labelWidth).c_str());
  for (const auto& p : info.parameterList)
    std::fprintf(out, "  %5d  %s  %s  %s  %.6g\n", p.index, padded(p.name, nameWidth).c_str(),
                 padded(p.display, displayWidth).c_str(), padded(p.label, labelWidth).c_str(),
                 static_cast<double>(p.value));
}

}  // namespace

void info(const std::string& module, bool asJson, std::FILE* out) {
  const EffectInfo effect = inspect(module);
  if (asJson)
    printJson(effect, out);
  else
    printText(effect, out);
}

}  // namespace vsthost

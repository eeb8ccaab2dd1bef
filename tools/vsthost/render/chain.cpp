#include "render/chain.h"

#include <cmath>

#include "common/common.h"
#include "common/parameter_values.h"
#include "vst/program_file.h"

namespace vsthost {

void setUp(Member& member, const RenderPlan& plan, int rate, double tempo,
           std::pair<int, int> signature) {
  const PlannedModule& planned = *member.plan;
  member.loaded = load(planned.module);
  host::Plugin& plugin = *member.loaded->plugin;
  member.plugin = &plugin;
  const AEffect* record = plugin.record();
  std::vector<VstInt32> indices;
  std::vector<VstInt32> rampIndices;
  try {
    for (const auto& param : planned.params) indices.push_back(parameterIndex(plugin, param.name));
    for (const auto& ramp : planned.automation)
      rampIndices.push_back(parameterIndex(plugin, ramp.name));
  } catch (const Error& error) {
    throw Error(within(planned.where, error.what()));
  }

  host::Transport& transport = member.loaded->host.transport();
  transport.setTempo(tempo);
  transport.setTimeSignature(signature.first, signature.second);
  transport.setPlaying(true);
  member.loaded->host.setSampleRate(static_cast<float>(rate));
  member.loaded->host.setBlockSize(plan.block);
  plugin.open();
  plugin.setSampleRate(static_cast<float>(rate));
  plugin.setBlockSize(plan.block);
  if (!planned.preset.empty()) {
    std::string error;
    host::ProgramFileProblem problem = host::ProgramFileProblem::kNone;
    host::ProgramFileLoadOptions loadOptions;
    loadOptions.force = planned.force;
    if (!host::loadProgramFile(plugin, planned.preset, loadOptions, error, &problem))
      throw Error(
          within(planned.where,
                 error + (problem == host::ProgramFileProblem::kOtherPlugin && planned.where.empty()
                              ? "; --force loads it anyway"
                              : "")));
  }
  // Values with units are read once the effect knows its sample rate, which
  // a display may depend on.
  std::vector<float> values;
  try {
    for (size_t i = 0; i < indices.size(); ++i)
      values.push_back(resolveParameterValue(plugin, indices[i], planned.params[i].name,
                                             planned.params[i].text));
    for (size_t r = 0; r < rampIndices.size(); ++r) {
      const PlannedAutomation& ramp = planned.automation[r];
      Member::Ramp resolved{rampIndices[r], {}};
      for (size_t p = 0; p < ramp.points.size(); ++p) {
        const auto& point = ramp.points[p];
        float value;
        try {
          value = resolveParameterValue(plugin, rampIndices[r], ramp.name, point.second);
        } catch (const Error& error) {  // names the point: "...automation.Mix[1]"
          throw Error(within(ramp.where + "[" + std::to_string(p) + "]", error.what()));
        }
        resolved.points.push_back({std::llround(point.first * rate), value});
      }
      member.ramps.push_back(std::move(resolved));
    }
  } catch (const Error& error) {
    const std::string what = error.what();
    throw Error(what.rfind(planned.where, 0) == 0 ? what : within(planned.where, what));
  }
  for (size_t i = 0; i < indices.size(); ++i) plugin.setParameter(indices[i], values[i]);
  // Automated parameters start at their first value, before processing
  // resumes, so nothing glides towards it.
  for (const Member::Ramp& ramp : member.ramps) plugin.setParameter(ramp.index, ramp.at(0));
  plugin.resume();
  plugin.dispatch(effStartProcess);

  member.inputs = std::max(0, record->numInputs);
  member.outputs = std::max(0, record->numOutputs);
  member.replacing = (record->flags & effFlagsCanReplacing) != 0 || record->process == nullptr;
  if (member.outputs == 0) throw Error(planned.module + ": the effect has no audio outputs");
}

}  // namespace vsthost

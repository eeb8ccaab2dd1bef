// The command line of `vsthost info`.
#include <memory>

#include "common/command_line.h"
#include "info/info.h"

namespace vsthost {

Command addInfoCommand(CLI::App& app) {
  struct Options {
    std::string module;
    bool json = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand(
      "info",
      "info MODULE: the effect's name, vendor, identifier, channels, flags, latency and "
      "every parameter");
  command->add_option("MODULE", options->module, "the module file")->required();
  command->add_flag("--json", options->json, "print the same as JSON");
  return {command, [options](std::FILE* out) {
            info(options->module, options->json, out);
            return 0;
          }};
}

}  // namespace vsthost

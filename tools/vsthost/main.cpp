// vsthost: inspect, render and check any VST 2.4 module from the shell.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "vsthost.h"

namespace {

const char* const kUsage =
    "usage: vsthost COMMAND [OPTIONS] MODULE [ARGS]\n"
    "\n"
    "Inspect, render and check a VST 2.4 module (.so on Linux, .dll on Windows;\n"
    "the Windows build has no render).\n"
    "\n"
    "commands:\n"
    "  info MODULE [--json]\n"
    "      print the effect's name, vendor, identifier, channels, flags, latency\n"
    "      and every parameter; --json prints the same as JSON\n"
    "  render MODULE IN OUT [--param NAME=VALUE]... [--block N] [--format F] [--encoding E]\n"
    "      run the audio file IN through the effect and write OUT (WAV, AIFF, FLAC,\n"
    "      Ogg, AU, CAF). OUT keeps IN's sample rate; its format is --format, else\n"
    "      the one OUT's extension names, else IN's. A mono file feeds every input.\n"
    "        --param NAME=VALUE  set a parameter (name or index) to a normalised\n"
    "                            value from 0 to 1; repeatable\n"
    "        --block N           frames per process call, 1 to 65536 (default 512)\n"
    "        --format F          wav, aiff, flac, ogg, au or caf\n"
    "        --encoding E        pcm16, pcm24, pcm32, float, double or vorbis\n"
    "        --quiet             no progress bar (it only shows on a terminal)\n"
    "  check MODULE [--strict] [--json] [--only NAME]... [--skip NAME]... [--timeout S]\n"
    "      run behaviour checks, each in its own process, and print PASS, WARN,\n"
    "      FAIL or SKIP for each; exits 1 when any check fails (warnings pass)\n"
    "        --strict            fail every warning and hold the module to the\n"
    "                            interface's letter: exactly-sized text buffers,\n"
    "                            null arguments, bit-exact block-size invariance\n"
    "        --json              print one JSON object instead of the table\n"
    "        --only NAME         run only this check (repeatable, or NAME,NAME)\n"
    "        --skip NAME         leave this check out (repeatable, or NAME,NAME)\n"
    "        --timeout S         time limit per check in seconds (default 60)\n"
    "        --verbose           show everything the effect printed\n"
    "      checks: load reload open-close two-instances rates-blocks\n"
    "        block-invariance silence parameters texts opcodes threads\n"
    "        outputs-written determinism state-restore suspend-resume realtime\n"
    "        instrument identity\n"
    "\n"
    "exit status: 0 success, 1 error or failed check, 2 wrong usage\n";

using vsthost::UsageError;

// Splits the arguments after the command into options and positional words.
struct Arguments {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> options;  // name, value
  bool help = false;
};

Arguments parse(int argc, char** argv, const std::vector<std::string>& withValue,
                const std::vector<std::string>& flags) {
  Arguments arguments;
  for (int i = 2; i < argc; ++i) {
    std::string word = argv[i];
    if (word == "-h" || word == "--help") {
      arguments.help = true;
      continue;
    }
    if (word == "--") {
      for (++i; i < argc; ++i) arguments.positional.push_back(argv[i]);
      break;
    }
    if (word.size() < 2 || word.compare(0, 2, "--") != 0) {
      arguments.positional.push_back(word);
      continue;
    }
    std::string value;
    const size_t equals = word.find('=');
    const bool inlineValue = equals != std::string::npos;
    if (inlineValue) {
      value = word.substr(equals + 1);
      word.erase(equals);
    }
    const std::string name = word.substr(2);
    if (std::find(flags.begin(), flags.end(), name) != flags.end()) {
      if (inlineValue) throw UsageError("option --" + name + " takes no value");
      arguments.options.emplace_back(name, "");
    } else if (std::find(withValue.begin(), withValue.end(), name) != withValue.end()) {
      if (!inlineValue) {
        if (i + 1 >= argc) throw UsageError("option --" + name + " needs a value");
        value = argv[++i];
      }
      arguments.options.emplace_back(name, value);
    } else {
      throw UsageError("unknown option " + word);
    }
  }
  return arguments;
}

long integerOption(const std::string& name, const std::string& text, long low, long high) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno == ERANGE || value < low || value > high)
    throw UsageError("--" + name + " wants a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not '" + text + "'");
  return value;
}

void requirePositional(const Arguments& arguments, size_t count, const char* what) {
  if (arguments.positional.size() != count) throw UsageError(std::string("expected ") + what);
}

int run(int argc, char** argv, std::FILE* out) {
  if (argc < 2) throw UsageError("no command given");
  const std::string command = argv[1];
  if (command == "-h" || command == "--help" || command == "help") {
    std::fprintf(out, "%s", kUsage);
    return 0;
  }
  if (command == "info") {
    const Arguments arguments = parse(argc, argv, {}, {"json"});
    if (arguments.help) return std::fprintf(out, "%s", kUsage), 0;
    requirePositional(arguments, 1, "info MODULE");
    vsthost::info(arguments.positional[0], !arguments.options.empty(), out);
    return 0;
  }
  if (command == "render") {
#if !VSTHOST_RENDER
    throw vsthost::Error(
        "render is not available in this build: it needs an audio-file library, and none is "
        "packaged for Windows; render on Linux");
#else
    const Arguments arguments =
        parse(argc, argv, {"param", "block", "format", "encoding"}, {"quiet"});
    if (arguments.help) return std::fprintf(out, "%s", kUsage), 0;
    requirePositional(arguments, 3, "render MODULE IN OUT");
    vsthost::RenderOptions options;
    options.module = arguments.positional[0];
    options.input = arguments.positional[1];
    options.output = arguments.positional[2];
    options.progress = isatty(STDERR_FILENO) != 0;
    for (const auto& option : arguments.options) {
      if (option.first == "param") {
        const size_t equals = option.second.find('=');
        if (equals == std::string::npos || equals == 0)
          throw UsageError("--param wants NAME=VALUE, not '" + option.second + "'");
        options.params.emplace_back(option.second.substr(0, equals),
                                    option.second.substr(equals + 1));
      } else if (option.first == "block") {
        options.block = static_cast<int>(integerOption("block", option.second, 1, 65536));
      } else if (option.first == "format") {
        options.format = option.second;
      } else if (option.first == "encoding") {
        options.encoding = option.second;
      } else if (option.first == "quiet") {
        options.progress = false;
      }
    }
    vsthost::render(options);
    return 0;
#endif
  }
  if (command == "check") {
    const Arguments arguments =
        parse(argc, argv, {"timeout", "only", "skip"}, {"verbose", "strict", "json"});
    if (arguments.help) return std::fprintf(out, "%s", kUsage), 0;
    requirePositional(arguments, 1, "check MODULE");
    vsthost::CheckOptions options;
    options.module = arguments.positional[0];
    for (const auto& option : arguments.options) {
      if (option.first == "timeout")
        options.timeoutSeconds =
            static_cast<double>(integerOption("timeout", option.second, 1, 86400));
      if (option.first == "verbose") options.verbose = true;
      if (option.first == "strict") options.strict = true;
      if (option.first == "json") options.json = true;
      if (option.first == "only" || option.first == "skip") {
        auto& names = option.first == "only" ? options.only : options.skip;
        std::string list = option.second + ",";
        for (size_t start = 0, comma; (comma = list.find(',', start)) != std::string::npos;
             start = comma + 1)
          if (comma > start) names.push_back(list.substr(start, comma - start));
      }
    }
    return vsthost::check(options, out) == 0 ? 0 : 1;
  }
  if (command == "--check-child" && argc == 6)
    return vsthost::checkChild(argv[2], argv[3], std::strcmp(argv[4], "strict") == 0, argv[5]);
  throw UsageError("unknown command '" + command + "'");
}

}  // namespace

int main(int argc, char** argv) {
  // Effects may print on standard output; keep it for our own output only and
  // send theirs to standard error, so `info --json` stays valid JSON.
  const int ours = dup(STDOUT_FILENO);
  std::FILE* out = ours >= 0 ? fdopen(ours, "w") : nullptr;
  if (out == nullptr)
    out = stdout;
  else
    dup2(STDERR_FILENO, STDOUT_FILENO);
  int status = 1;
  try {
    status = run(argc, argv, out);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "vsthost: %s (see vsthost --help)\n", error.what());
    status = 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vsthost: %s\n", error.what());
    status = 1;
  }
  if (std::fflush(out) != 0 && status == 0) {
    std::fprintf(stderr, "vsthost: cannot write the output (%s)\n", std::strerror(errno));
    status = 1;
  }
  std::fflush(stderr);
  // Leave without running the effects' static destructors a second time over
  // unloaded code; everything of ours is already flushed.
  std::_Exit(status);
}

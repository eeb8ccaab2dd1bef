#include "check/report.h"

#include <nlohmann/json.hpp>

#include "check/check.h"
#include "common/common.h"

namespace vsthost {

namespace {

using Json = nlohmann::ordered_json;

// Drops terminal escape sequences (colours) from what an effect printed.
std::string withoutEscapes(const std::string& text) {
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\x1b') {
      result += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '[') {
      i += 2;
      while (i < text.size() && !(text[i] >= '@' && text[i] <= '~')) ++i;
    }
  }
  return result;
}

std::string lowercase(std::string word) {
  for (char& c : word) c = static_cast<char>(c - 'A' + 'a');
  return word;
}

const char* levelName(const CheckOptions& options) {
  return options.settings.strict ? "strict" : "default";
}

class Counting : public Report {
 protected:
  int counts_[4] = {0, 0, 0, 0};
  void count(const CheckResult& result) { counts_[result.verdict] += 1; }
};

class TextReport : public Counting {
 public:
  TextReport(const CheckOptions& options, std::FILE* out) : options_(options), out_(out) {}
  void begin() override {
    std::fprintf(out_, "Checking %s (%s level, seed %u)\n\n", options_.settings.module.c_str(),
                 levelName(options_), static_cast<unsigned>(options_.settings.seed));
  }
  void add(const CheckResult& result) override {
    count(result);
    const std::string name = options_.repeat > 1 ? std::string(result.check->name) + " #" +
                                                       std::to_string(result.repetition + 1)
                                                 : result.check->name;
    std::fprintf(out_, "  %s  %-17s %s\n", verdictName(result.verdict), name.c_str(),
                 printable(result.detail).c_str());
    const std::string& output = result.output;
    if (!output.empty()) {
      if (options_.verbose) {
        std::fprintf(out_, "%s", output.c_str());
      } else {
        const std::string line = printable(withoutEscapes(output.substr(0, output.find('\n'))));
        std::fprintf(out_, "        %-17s the effect printed: %.70s%s\n", "", line.c_str(),
                     output.find('\n') + 1 < output.size() ? " ..." : "");
      }
    }
    std::fflush(out_);
  }
  void note(const std::string& text) override { std::fprintf(out_, "\n%s\n", text.c_str()); }
  int end() override {
    std::fprintf(out_, "\n%d passed, %d warned, %d failed, %d skipped\n", counts_[kPass],
                 counts_[kWarn], counts_[kFail], counts_[kSkip]);
    if (counts_[kFail] > 0)
      std::fprintf(out_, "(to reproduce: --seed %u)\n",
                   static_cast<unsigned>(options_.settings.seed));
    return counts_[kFail];
  }

 private:
  const CheckOptions& options_;
  std::FILE* out_;
};

class JsonReport : public Counting {
 public:
  JsonReport(const CheckOptions& options, std::FILE* out) : options_(options), out_(out) {}
  void begin() override {}
  void add(const CheckResult& result) override {
    count(result);
    Json entry = {
        {"name", result.check->name},
        {"result", lowercase(verdictName(result.verdict))},
        {"detail", printable(result.detail)},
        {"duration", static_cast<double>(static_cast<long long>(result.seconds * 1000)) / 1000.0}};
    if (options_.repeat > 1) entry["repetition"] = result.repetition + 1;
    checks_.push_back(entry);
  }
  void note(const std::string&) override {}
  int end() override {
    Json report = {{"module", options_.settings.module}, {"level", levelName(options_)},
                   {"seed", options_.settings.seed},     {"checks", checks_},
                   {"passed", counts_[kPass]},           {"warned", counts_[kWarn]},
                   {"failed", counts_[kFail]},           {"skipped", counts_[kSkip]}};
    std::fprintf(out_, "%s\n", report.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
    return counts_[kFail];
  }

 private:
  const CheckOptions& options_;
  std::FILE* out_;
  Json checks_ = Json::array();
};

}  // namespace

std::unique_ptr<Report> makeReport(const CheckOptions& options, std::FILE* out) {
  if (options.json) return std::make_unique<JsonReport>(options, out);
  return std::make_unique<TextReport>(options, out);
}

void listChecks(ListFormat format, std::FILE* out) {
  if (format == ListFormat::kMarkdown) {
    std::fprintf(out,
                 "| Check | Group | What it does | The fault it catches |\n|---|---|---|---|\n");
    for (const CheckDefinition& check : checkRegistry())
      std::fprintf(out, "| `%s` | %s | %s | %s |\n", check.name, check.group, check.summary,
                   check.catches);
    return;
  }
  if (format == ListFormat::kJson) {
    Json checks = Json::array();
    for (const CheckDefinition& check : checkRegistry())
      checks.push_back({{"name", check.name},
                        {"group", check.group},
                        {"summary", check.summary},
                        {"catches", check.catches}});
    std::fprintf(out, "%s\n", Json{{"checks", checks}}.dump(2).c_str());
    return;
  }
  std::string group;
  for (const CheckDefinition& check : checkRegistry()) {
    if (group != check.group) {
      std::fprintf(out, "%s%s\n", group.empty() ? "" : "\n", check.group);
      group = check.group;
    }
    std::fprintf(out, "  %-17s %s\n  %-17s catches: %s\n", check.name, check.summary, "",
                 check.catches);
  }
}

}  // namespace vsthost

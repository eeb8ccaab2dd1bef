// The guide's code comes from files the build compiles: every line of each
// ```cpp and ```cmake block of the guide must appear, in the same order, in
// one of the source files named after it (blanks at either end of a line
// aside). A block that drifted from the examples is reported with its first
// line. Usage: guide_snippets GUIDE SOURCE...
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string trimmed(const std::string& line) {
  const auto first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string> readLines(const char* path) {
  std::ifstream file(path);
  if (!file) {
    std::fprintf(stderr, "guide_snippets: cannot read %s\n", path);
    std::exit(2);
  }
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(trimmed(line));
  return lines;
}

bool inOrder(const std::vector<std::string>& block, const std::vector<std::string>& source) {
  std::size_t at = 0;
  for (const std::string& wanted : block) {
    while (at < source.size() && source[at] != wanted) ++at;
    if (at++ >= source.size()) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: guide_snippets GUIDE SOURCE...\n");
    return 2;
  }
  std::vector<std::vector<std::string>> sources;
  for (int i = 2; i < argc; ++i) sources.push_back(readLines(argv[i]));

  int blocks = 0, failures = 0;
  bool inBlock = false;
  std::vector<std::string> block;
  for (const std::string& line : readLines(argv[1])) {
    if (!inBlock && (line == "```cpp" || line == "```cmake")) {
      inBlock = true;
      block.clear();
    } else if (inBlock && line == "```") {
      inBlock = false;
      ++blocks;
      bool found = false;
      for (const auto& source : sources) found = found || inOrder(block, source);
      if (!found) {
        std::printf("block %d is in no source: %s\n", blocks,
                    block.empty() ? "(empty)" : block.front().c_str());
        ++failures;
      }
    } else if (inBlock && !line.empty()) {
      block.push_back(line);
    }
  }
  std::printf("%d of %d code blocks of the guide come from the sources\n", blocks - failures,
              blocks);
  return failures == 0 && blocks > 0 ? 0 : 1;
}

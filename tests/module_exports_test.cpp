// A module made with vst_add_module, named on the command line, exports its
// entry under exactly two names for one function, and (on Windows) needs
// nothing at load time beyond the system's DLLs.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "vst/host.h"

namespace {

std::string modulePath;

#if defined(_WIN32)
// The parts of a PE32+ image's headers that say what it exports and imports.
struct PeTables {
  std::uint16_t machine = 0;
  bool dll = false;
  std::map<std::string, std::uint32_t> exports;  // name -> address (RVA)
  std::set<std::string> imports;                 // DLL names, lower case
};

// Reads the tables from the file; throws on a truncated or malformed image.
PeTables readPeTables(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<unsigned char> image((std::istreambuf_iterator<char>(file)),
                                         std::istreambuf_iterator<char>());
  auto u32 = [&](std::size_t at) {
    if (at > image.size() || image.size() - at < 4) throw std::out_of_range("past the image");
    return std::uint32_t(image[at]) | std::uint32_t(image[at + 1]) << 8 |
           std::uint32_t(image[at + 2]) << 16 | std::uint32_t(image[at + 3]) << 24;
  };
  auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(u32(at) & 0xFFFF); };
  const std::size_t pe = u32(0x3C);
  if (u32(pe) != 0x4550) throw std::runtime_error("no PE signature");
  PeTables tables;
  tables.machine = u16(pe + 4);
  tables.dll = (u16(pe + 22) & 0x2000) != 0;
  const std::size_t optional = pe + 24;
  if (u16(optional) != 0x20B) throw std::runtime_error("not PE32+");
  const std::size_t sections = optional + u16(pe + 20);
  const std::uint16_t sectionCount = u16(pe + 6);
  auto offset = [&](std::uint32_t rva) -> std::size_t {
    for (std::size_t i = 0; i < sectionCount; ++i) {
      const std::size_t header = sections + 40 * i;
      const std::uint32_t start = u32(header + 12), size = u32(header + 8);
      if (rva >= start && rva - start < size) return u32(header + 20) + (rva - start);
    }
    throw std::out_of_range("address outside every section");
  };
  auto text = [&](std::uint32_t rva) {
    std::string name;
    for (std::size_t at = offset(rva); at < image.size() && image[at] != 0; ++at)
      name += static_cast<char>(image[at]);
    return name;
  };
  if (const std::uint32_t exports = u32(optional + 112)) {
    const std::size_t directory = offset(exports);
    const std::uint32_t functionCount = u32(directory + 20), nameCount = u32(directory + 24);
    for (std::uint32_t i = 0; i < nameCount; ++i) {
      const std::uint16_t ordinal = u16(offset(u32(directory + 36)) + 2 * i);
      if (ordinal >= functionCount) throw std::out_of_range("export ordinal");
      tables.exports[text(u32(offset(u32(directory + 32)) + 4 * i))] =
          u32(offset(u32(directory + 28)) + 4 * ordinal);
    }
  }
  if (const std::uint32_t imports = u32(optional + 120)) {
    for (std::size_t descriptor = offset(imports); u32(descriptor + 12) != 0; descriptor += 20) {
      std::string name = text(u32(descriptor + 12));
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      tables.imports.insert(name);
    }
  }
  return tables;
}

TEST(ModuleExports, OnlyTheEntryUnderItsTwoNamesAndOnlySystemImports) {
  PeTables tables;
  ASSERT_NO_THROW(tables = readPeTables(modulePath));
  EXPECT_EQ(tables.machine, 0x8664) << "x86-64";
  EXPECT_TRUE(tables.dll);
  ASSERT_EQ(tables.exports.size(), 2u);
  ASSERT_EQ(tables.exports.count("VSTPluginMain"), 1u);
  ASSERT_EQ(tables.exports.count("main"), 1u);
  EXPECT_EQ(tables.exports["main"], tables.exports["VSTPluginMain"]) << "one function";
  // Nothing of the compiler's runtime (libstdc++, libgcc, libwinpthread) may
  // be needed at load time: a host's machine has only the system's DLLs
  // (an editor's window and drawing take user32 and gdi32 of them).
  EXPECT_EQ(tables.imports.count("kernel32.dll"), 1u);
  const std::set<std::string> system = {"kernel32.dll", "msvcrt.dll", "user32.dll", "gdi32.dll"};
  for (const std::string& name : tables.imports) EXPECT_EQ(system.count(name), 1u) << name;
#else
TEST(ModuleExports, OnlyTheEntryUnderItsTwoNames) {
  const std::string command = "nm -D --defined-only '" + std::string(modulePath) + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> names;
  std::set<std::string> addresses;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    char address[64], type[8], name[256];
    if (std::sscanf(line, "%63s %7s %255s", address, type, name) == 3) {
      names.insert(name);
      addresses.insert(address);
    }
  }
  ASSERT_EQ(pclose(pipe), 0);
  EXPECT_EQ(names, (std::set<std::string>{"VSTPluginMain", "main"}));
  EXPECT_EQ(addresses.size(), 1u) << "both names must denote one function";
#endif
  std::string error;
  auto module = host::Module::load(modulePath, error);
  ASSERT_TRUE(module) << error;
  EXPECT_EQ(module->entryName(), "VSTPluginMain");
  EXPECT_EQ(module->symbol("main"), module->symbol("VSTPluginMain"));
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: module_exports_tests MODULE\n");
    return 2;
  }
  modulePath = argv[1];
  return RUN_ALL_TESTS();
}

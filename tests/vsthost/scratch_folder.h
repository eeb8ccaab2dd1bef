// A fresh folder for each test, removed after it, with vsthost run as a user
// runs it from the shell: its exit status and what it printed, captured in
// hidden files so that files() lists only what the command itself left there.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audio_file.h"

struct CommandResult {
  int status;
  std::string out, err;
};

inline std::string slurp(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class ScratchFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vsthost-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

  // vsthost with `arguments` (quoted by the caller where needed); a death by
  // a signal answers 128 + the signal, as the shell does.
  CommandResult run(const std::string& arguments) {
    const std::string command = std::string("'") + VSTHOST + "' " + arguments + " >'" + dir +
                                "/.stdout' 2>'" + dir + "/.stderr' </dev/null";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            slurp(dir + "/.stdout"), slurp(dir + "/.stderr")};
  }

  // Each case refused with `status`, its message on one line, nothing written.
  void expectRefused(const std::string& arguments, const std::string& message, int status = 1) {
    const std::vector<std::string> before = files();
    const CommandResult r = run(arguments);
    EXPECT_EQ(r.status, status) << arguments << "\n" << r.err;
    EXPECT_NE(r.err.find(message), std::string::npos) << arguments << "\n" << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.out, "") << arguments;
    EXPECT_EQ(files(), before) << arguments << ": something was left behind";
  }

  std::vector<std::vector<float>> read(const std::string& name, SF_INFO& info) {
    return readChannels(dir + "/" + name, info);
  }
  std::vector<std::vector<float>> read(const std::string& name) {
    SF_INFO info;
    return read(name, info);
  }

  // The folder's files, sorted, without the hidden ones.
  std::vector<std::string> files() {
    std::vector<std::string> names;
    DIR* listing = opendir(dir.c_str());
    while (dirent* entry = readdir(listing))
      if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    closedir(listing);
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string dir;
};

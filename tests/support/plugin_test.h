// A module loaded and instantiated through its exported entry, the way a host
// does it; tests then drive the instance through its record.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "vst/host.h"

struct LoadedPlugin {
  // Loads the module at `path` and makes one instance; a failure is reported
  // as a test failure and answers false.
  bool load(const char* path) {
    std::string error;
    module = host::Module::load(path, error);
    EXPECT_TRUE(module) << error;
    if (!module) return false;
    plugin = instantiate();
    return plugin != nullptr;
  }

  // A further instance of the same module; null (and a test failure) when the
  // entry refuses.
  std::unique_ptr<host::Plugin> instantiate() {
    std::string error;
    auto made = host.instantiate(module->entry(), error);
    EXPECT_TRUE(made) << error;
    return made;
  }

  std::unique_ptr<host::Module> module;
  host::Host host;
  std::unique_ptr<host::Plugin> plugin;
};

// A fixture holding one loaded module and one instance of it.
class PluginTest : public ::testing::Test, protected LoadedPlugin {
 protected:
  explicit PluginTest(const char* modulePath) : modulePath_(modulePath) {}
  void SetUp() override { ASSERT_TRUE(load(modulePath_)); }

 private:
  const char* modulePath_;
};

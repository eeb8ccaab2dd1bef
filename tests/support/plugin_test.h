// A module loaded and instantiated through its exported entry, the way a host
// does it; tests then drive the instance through its record.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "vst/host.h"

// The host library's owner, with failures reported as test failures.
struct LoadedPlugin : host::LoadedPlugin {
  // Loads the module at `path` and makes one instance; a failure is reported
  // as a test failure and answers false.
  bool load(const char* path) {
    std::string error;
    const bool loaded = host::LoadedPlugin::load(path, error);
    EXPECT_TRUE(loaded) << error;
    return loaded;
  }

  // A further instance of the same module; null (and a test failure) when the
  // entry refuses.
  std::unique_ptr<host::Plugin> instantiate() {
    std::string error;
    auto made = host::LoadedPlugin::instantiate(error);
    EXPECT_TRUE(made) << error;
    return made;
  }
};

// A fixture holding one loaded module and one instance of it.
class PluginTest : public ::testing::Test, protected LoadedPlugin {
 protected:
  explicit PluginTest(const char* modulePath) : modulePath_(modulePath) {}
  void SetUp() override {
    ASSERT_TRUE(load(modulePath_));
    loaded();
  }
  // What a fixture does once its module is loaded and instantiated.
  virtual void loaded() {}

 private:
  const char* modulePath_;
};

// A fixture that loads a module and makes one instance through its exported
// entry, the way a host does; tests then drive it through the record.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/host.h"

class PluginTest : public ::testing::Test {
 protected:
  explicit PluginTest(const char* modulePath) : modulePath_(modulePath) {}

  void SetUp() override {
    std::string error;
    module = host::Module::load(modulePath_, error);
    ASSERT_TRUE(module) << error;
    plugin = instantiate();
    ASSERT_TRUE(plugin);
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

 private:
  const char* modulePath_;
};

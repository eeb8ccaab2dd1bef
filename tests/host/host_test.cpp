// The host library's own hard paths: a callback from an effect's own thread
// while its entry runs, and an instance that outlives the owner that made it.
#include "vst/host.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

TEST(Host, AnswersACallbackFromTheEffectsOwnThreadDuringItsEntry) {
  host::Host host;
  host.setVersion(2412);
  std::string error;
  auto module = host::Module::load(THREADED_ENTRY_MODULE, error);
  ASSERT_TRUE(module) << error;
  auto plugin = host.instantiate(module->entry(), error);
  ASSERT_TRUE(plugin) << "the entry's thread got no version: " << error;
  const auto calls = host.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].opcode, audioMasterVersion);
  EXPECT_EQ(calls[0].effect, nullptr);
}

TEST(Host, AnInstanceKeepsItsModuleLoadedAfterItsOwnerIsGone) {
  std::unique_ptr<host::Plugin> survivor;
  {
    host::LoadedPlugin loaded;
    std::string error;
    ASSERT_TRUE(loaded.load(ORSOLANE_MODULE, error)) << error;
    survivor = std::move(loaded.plugin);
  }
  // With the module unloaded these calls would jump into unmapped code.
  EXPECT_EQ(survivor->vendorString(), "Velmbrook");
  EXPECT_EQ(survivor->close(), 1);
}

}  // namespace

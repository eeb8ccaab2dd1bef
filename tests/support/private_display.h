// A test program's private display: a virtual X server (Xvfb) started before
// its first test and stopped after its last, so editor tests run on any
// machine, and never on the desktop of whoever runs them. Where Xvfb cannot
// start, the tests run on whatever display there is (and say why).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "vst/editor_window.h"

class PrivateDisplay : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string error;
    display_ = host::VirtualDisplay::start(error);
    if (!display_) std::fprintf(stderr, "no private display (%s)\n", error.c_str());
  }
  void TearDown() override { display_.reset(); }

 private:
  std::unique_ptr<host::VirtualDisplay> display_;
};

// One per program: the header goes into one test file of a program.
inline const auto* const privateDisplay = ::testing::AddGlobalTestEnvironment(new PrivateDisplay);

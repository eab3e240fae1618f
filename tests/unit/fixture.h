#pragma once

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"
#include "tray/mdlSubClass.h"

// Every test starts on a fresh fake platform with an empty registry.
class FakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    mdlSubClass::Discard();
  }
  void TearDown() override { mdlSubClass::Discard(); }
  fake::State& os() { return fake::Get(); }
};

// A bare form for tests of the toolkit and the watcher.
class PlainForm : public ui::Form {
 public:
  PlainForm() : ui::Form(ui::FormStyle{L"Plain", L"Plain", 1000, 1000, false, false, 0}) {}
};

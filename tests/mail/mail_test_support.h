// Test helpers for the mail layer: a fake clock whose pauses pass at once,
// and a fixture that installs it with a scripted socket layer.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"
#include "platform/socket_scripted.h"

class FakeClock : public Clock {
 public:
  FakeClock() { setClock(this); }
  ~FakeClock() override { setClock(nullptr); }
  std::time_t now() override { return 1700000000 + static_cast<std::time_t>(ms_ / 1000); }
  int64_t monotonicMs() override { return ms_; }
  void sleepMs(int64_t ms) override {
    if (ms > 0) ms_ += ms;
    slept_ += ms > 0 ? ms : 0;
  }
  int64_t slept() const { return slept_; }

 private:
  int64_t ms_ = 1000000;
  int64_t slept_ = 0;
};

class ScriptedNetTest : public ::testing::Test {
 protected:
  ScriptedNetTest() {
    net.addHost("mail.example.com", "192.0.2.10");
    setSockets(&net);
  }
  ~ScriptedNetTest() override { setSockets(nullptr); }

  FakeClock clock;
  ScriptedSockets net;
};

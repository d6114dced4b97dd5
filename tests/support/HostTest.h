// The fixture of every host and driver test: a fresh host before the test,
// and a failure for each verifier breach the test leaves behind.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "HostReset.h"
#include "Kernel/Pool.h"
#include "Runtime/Scheduler.h"
#include "Runtime/Verifier.h"

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The seed of this test: HIDI2C_SEED when set, else a fixed default.
  static uint64_t Seed();

  // Runs a scenario on the controlled scheduler and fails the test on a hang.
  host::RunResult RunControlled(std::function<void()> scenario, uint64_t seed = Seed());

  // Breaches recorded so far (the test takes them, so TearDown does not fail).
  std::vector<host::Breach> TakeBreaches();
  // Expects exactly one breach of the rule and takes it.
  void ExpectBreach(const std::string &rule);
};

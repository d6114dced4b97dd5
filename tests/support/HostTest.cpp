#include "HostTest.h"

#include "MiniDriver.h"

void HostTest::SetUp() {
  host::ResetForTest();
  mini::hooks() = mini::Hooks{};
}

void HostTest::TearDown() {
  for (const host::Breach &b : host::Verifier::Take()) ADD_FAILURE() << "verifier breach: " << b.ToString();
  host::ResetForTest();
}

uint64_t HostTest::Seed() { return host::Scheduler::SeedFromEnvironment(20261211); }

host::RunResult HostTest::RunControlled(std::function<void()> scenario, uint64_t seed) {
  host::RunOptions options;
  options.seed = seed;
  host::RunResult result = host::Scheduler::Run(std::move(scenario), options);
  EXPECT_FALSE(result.hung) << result.hangReport << "replay with HIDI2C_SEED=" << seed;
  return result;
}

std::vector<host::Breach> HostTest::TakeBreaches() { return host::Verifier::Take(); }

void HostTest::ExpectBreach(const std::string &rule) {
  auto breaches = host::Verifier::Take();
  ASSERT_EQ(breaches.size(), 1u) << "expected one breach of '" << rule << "'";
  EXPECT_EQ(breaches[0].rule, rule) << breaches[0].ToString();
}

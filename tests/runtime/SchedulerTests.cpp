#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "HostTest.h"
#include "Runtime/Irql.h"

using namespace host;

namespace {

// Three threads that each log a few steps with scheduling points between
// them; the log is the interleaving.
std::vector<std::string> InterleavingOf(uint64_t seed) {
  std::vector<std::string> log;
  RunOptions options;
  options.seed = seed;
  RunResult result = Scheduler::Run(
      [&] {
        for (int t = 0; t < 3; ++t) {
          Scheduler::Spawn("worker" + std::to_string(t), [&log, t] {
            for (int step = 0; step < 4; ++step) {
              log.push_back(std::to_string(t) + ":" + std::to_string(step));
              Scheduler::Point();
            }
          });
        }
      },
      options);
  EXPECT_FALSE(result.hung) << result.hangReport;
  return log;
}

}  // namespace

class SchedulerTest : public HostTest {};

TEST_F(SchedulerTest, SameSeedGivesSameInterleaving) {
  for (uint64_t seed : {1u, 7u, 42u}) EXPECT_EQ(InterleavingOf(seed), InterleavingOf(seed)) << "seed " << seed;
}

TEST_F(SchedulerTest, SeedsNameDifferentInterleavings) {
  std::set<std::vector<std::string>> seen;
  for (uint64_t seed = 1; seed <= 8; ++seed) seen.insert(InterleavingOf(seed));
  EXPECT_GT(seen.size(), 1u);
}

TEST_F(SchedulerTest, ControlledModeRunsOneThreadAtATime) {
  std::atomic<int> inside{0};
  std::atomic<int> most{0};
  RunControlled([&] {
    for (int t = 0; t < 4; ++t) {
      Scheduler::Spawn("t" + std::to_string(t), [&] {
        for (int i = 0; i < 20; ++i) {
          int now = ++inside;
          if (now > most) most = now;
          --inside;
          Scheduler::Point();
        }
      });
    }
  });
  EXPECT_EQ(most.load(), 1);
}

TEST_F(SchedulerTest, VirtualClockJumpsToTheNextDeadline) {
  Ticks woke = -1;
  RunResult result = RunControlled([&] {
    Scheduler::Sleep(5 * kTicksPerSecond);
    woke = Scheduler::Now();
  });
  EXPECT_EQ(woke, 5 * kTicksPerSecond);
  EXPECT_EQ(result.endTime, 5 * kTicksPerSecond);
}

TEST_F(SchedulerTest, WaitTimesOutExactlyAtItsDeadline) {
  bool signalled = true;
  Ticks at = -1;
  RunControlled([&] {
    SimEvent never(false, false, "never set");
    signalled = never.Wait(3 * kTicksPerMs);
    at = Scheduler::Now();
  });
  EXPECT_FALSE(signalled);
  EXPECT_EQ(at, 3 * kTicksPerMs);
}

TEST_F(SchedulerTest, EarlierDeadlinesWakeFirst) {
  std::vector<std::string> order;
  RunControlled([&] {
    Scheduler::Spawn("late", [&] {
      Scheduler::Sleep(20);
      order.push_back("late");
    });
    Scheduler::Spawn("early", [&] {
      Scheduler::Sleep(10);
      order.push_back("early");
    });
  });
  EXPECT_EQ(order, (std::vector<std::string>{"early", "late"}));
}

TEST_F(SchedulerTest, AutoResetEventReleasesOneWaiterPerSet) {
  int released = 0;
  RunControlled([&] {
    auto event = std::make_shared<SimEvent>(false, false, "auto");
    for (int i = 0; i < 3; ++i)
      Scheduler::Spawn("waiter", [&, event] {
        if (event->Wait(kTicksPerSecond)) ++released;
      });
    Scheduler::Sleep(1);
    event->Set();
    event->Set();
    Scheduler::Sleep(2 * kTicksPerSecond);
  });
  EXPECT_EQ(released, 2);
}

TEST_F(SchedulerTest, ManualResetEventReleasesEveryWaiter) {
  int released = 0;
  RunControlled([&] {
    auto event = std::make_shared<SimEvent>(true, false, "manual");
    for (int i = 0; i < 3; ++i)
      Scheduler::Spawn("waiter", [&, event] {
        if (event->Wait(kTicksPerSecond)) ++released;
      });
    Scheduler::Sleep(1);
    event->Set();
    Scheduler::Sleep(2 * kTicksPerSecond);
  });
  EXPECT_EQ(released, 3);
}

TEST_F(SchedulerTest, HangReportNamesEveryBlockedThreadAndItsWait) {
  auto first = std::make_shared<SimEvent>(false, false, "first gate");
  auto second = std::make_shared<SimEvent>(false, false, "second gate");
  RunOptions options;
  RunResult result = Scheduler::Run(
      [=] {
        Scheduler::Spawn("alpha", [=] { first->Wait(); });
        Scheduler::Spawn("beta", [=] { second->Wait(); });
      },
      options);
  ASSERT_TRUE(result.hung);
  EXPECT_NE(result.hangReport.find("thread 'alpha'"), std::string::npos) << result.hangReport;
  EXPECT_NE(result.hangReport.find("event 'first gate'"), std::string::npos) << result.hangReport;
  EXPECT_NE(result.hangReport.find("thread 'beta'"), std::string::npos) << result.hangReport;
  EXPECT_NE(result.hangReport.find("event 'second gate'"), std::string::npos) << result.hangReport;
}

TEST_F(SchedulerTest, SimLockExcludesInBothModes) {
  for (Mode mode : {Mode::Controlled, Mode::Free}) {
    int counter = 0;
    SimLock lock("counter");
    RunOptions options;
    options.mode = mode;
    RunResult result = Scheduler::Run(
        [&] {
          for (int t = 0; t < 4; ++t)
            Scheduler::Spawn("adder", [&] {
              for (int i = 0; i < 200; ++i) {
                lock.Acquire();
                int v = counter;
                Scheduler::Point();
                counter = v + 1;
                lock.Release();
              }
            });
        },
        options);
    EXPECT_FALSE(result.hung);
    EXPECT_EQ(counter, 800) << (mode == Mode::Free ? "free" : "controlled");
  }
}

TEST_F(SchedulerTest, ThreadsStartAtTheirIrql) {
  uint8_t seen = 0xFF;
  RunControlled([&] { Scheduler::Spawn("isr", [&] { seen = CurrentIrql(); }, 12); });
  EXPECT_EQ(seen, 12);
}

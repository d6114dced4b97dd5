// Free-running stress: the driver on real threads and the real clock, with
// reports streaming while the HID class sends feature and descriptor
// requests, the device stops and restarts, and is removed. Built with the
// thread sanitizer in CI.
#include <atomic>

#include "MachineTest.h"

using namespace sim;

namespace {

class FreeModeStressTest : public MachineTest {
 protected:
  void OnFreeMachine(const std::function<void(Machine &)> &body) {
    MachineConfig config = Config();
    config.speed = 1000000;
    host::RunOptions options;
    options.mode = host::Mode::Free;
    host::RunResult result = host::Scheduler::Run(
        [&] {
          Machine m(config);
          body(m);
          m.Shutdown();
        },
        options);
    EXPECT_FALSE(result.hung);
  }
};

void Stream(Machine &m, int frames) {
  const ContactLayout &layout = *m.Touch().Layout();
  std::vector<std::vector<Contact>> f;
  for (int i = 0; i < frames; ++i) f.push_back({Contact{0, true, (uint32_t)i, (uint32_t)(2 * i)}});
  m.Play(Machine::FromContacts(layout, f, host::kTicksPerMs / 4));
}

}  // namespace

TEST_F(FreeModeStressTest, ReportsAndRequestsAtOnce) {
  OnFreeMachine([&](Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    m.Hid().Start();
    host::Scheduler::Sleep(20 * host::kTicksPerMs);
    Stream(m, 300);
    std::atomic<int> done{0};
    for (int t = 0; t < 2; ++t) {
      host::Scheduler::Spawn("requests", [&] {
        std::vector<uint8_t> descriptor(m.Touch().Description().hid.wReportDescLength);
        for (int i = 0; i < 50; ++i) {
          EXPECT_EQ(m.Hid().Send(hid::kGetReportDescriptor, descriptor.data(), (ULONG)descriptor.size()).status,
                    STATUS_SUCCESS);
          std::vector<uint8_t> feature(4, 0);
          m.Hid().GetFeature(0x05, feature);
        }
        ++done;
      });
    }
    while (!m.PlayDone() || done < 2) host::Scheduler::Sleep(host::kTicksPerMs);
    host::Scheduler::Sleep(100 * host::kTicksPerMs);
    EXPECT_GT(m.Hid().Reports().size(), 0u);
    EXPECT_EQ(m.Hid().Reports().size() <= 300, true);
  });
}

TEST_F(FreeModeStressTest, StopRestartAndRemovalWhileStreaming) {
  for (int round = 0; round < 6; ++round) {
    OnFreeMachine([&](Machine &m) {
      ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
      m.Hid().Start();
      host::Scheduler::Sleep(10 * host::kTicksPerMs);
      Stream(m, 120);
      host::Scheduler::Sleep((round + 1) * host::kTicksPerMs);
      if (round % 2 == 0) {
        m.Stop();
        EXPECT_EQ(m.Start(), STATUS_SUCCESS);
        while (!m.PlayDone()) host::Scheduler::Sleep(host::kTicksPerMs);
      } else {
        m.Hid().StopReading();
        m.Remove(round % 4 == 1);
      }
    });
  }
}

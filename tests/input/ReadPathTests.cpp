// The input report path, from the touch controller's line through the ISR,
// the DPC and a work item to the HID class driver's parked reads.
#include <string>

#include "Framework/Fx.h"
#include "MachineTest.h"
#include "Runtime/Trace.h"

using namespace sim;
using Bytes = std::vector<uint8_t>;

namespace {

class ReadPathTest : public MachineTest {
 protected:
  // Boots, lets the reset response be read, and stops the class driver's own
  // reads so that the test parks reads itself.
  static void BootQuiet(Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    Settle();
  }
  static std::shared_ptr<host::fx::IrpCompletion> Park(Machine &m, std::vector<uint8_t> &buffer) {
    return m.Hid().Submit(hid::kReadReport, buffer.data(), (ULONG)buffer.size());
  }
  static Bytes Report(std::initializer_list<uint8_t> bytes) { return Bytes(bytes); }
};

}  // namespace

TEST_F(ReadPathTest, ReportsBeforeTheResetResponseAreDroppedWithReadsParked) {
  MachineConfig config = Config();
  config.touch = DefaultTouchscreen();
  config.touch.answerReset = false;
  OnMachine(config, [&](Machine &m) {
    BootQuiet(m);
    PDEVICE_EXTENSION c = Context(m);
    Bytes a(64), b(64);
    auto first = Park(m, a), second = Park(m, b);
    m.Touch().QueueRaw({0x34, 0x12, 0x01, 0x02, 0x03});
    Settle();
    EXPECT_FALSE(c->ResetComplete);
    EXPECT_FALSE(first->completed);
    EXPECT_FALSE(second->completed);

    m.Touch().QueueRaw({0x00, 0x00});  // the reset response
    Settle();
    EXPECT_TRUE(c->ResetComplete);
    EXPECT_FALSE(first->completed) << "the reset response completes no read";

    m.Touch().QueueRaw({0x07, 0x00, 0x01, 0xA1, 0xA2, 0xA3, 0xA4, 0xEE, 0xEE});
    Settle();
    ASSERT_TRUE(first->completed) << "the oldest read takes the report";
    EXPECT_EQ(first->status, STATUS_SUCCESS);
    EXPECT_EQ(first->information, 5u);
    EXPECT_EQ(Bytes(a.begin(), a.begin() + 6), (Bytes{0x01, 0xA1, 0xA2, 0xA3, 0xA4, 0x00}));
    EXPECT_FALSE(second->completed);
    host::fx::CancelIrp(second);
  });
}

TEST_F(ReadPathTest, AReportWithNoReadParkedIsLost) {
  OnMachine(Config(), [&](Machine &m) {
    BootQuiet(m);
    host::TraceSession trace(WppControlBlock.ControlGuid, 0xFFFF, TRACE_LEVEL_INFORMATION);
    m.Touch().QueueRaw({0x04, 0x00, 0x11, 0x22});
    Settle();
    EXPECT_FALSE(trace.At(TRACE_LEVEL_INFORMATION, "DeliverReport").empty()) << "the drop is traced";
    Bytes a(64);
    auto read = Park(m, a);
    Settle();
    EXPECT_FALSE(read->completed) << "a later read waits for the next report";
    m.Touch().QueueRaw({0x04, 0x00, 0x33, 0x44});
    Settle();
    ASSERT_TRUE(read->completed);
    EXPECT_EQ(a[0], 0x33);
  });
}

TEST_F(ReadPathTest, LengthFieldsThatCarryNoReportAreDroppedAndTheReadStaysParked) {
  OnMachine(Config(), [&](Machine &m) {
    BootQuiet(m);
    Bytes a(64);
    auto read = Park(m, a);
    host::TraceSession trace(WppControlBlock.ControlGuid, 0xFFFF, TRACE_LEVEL_WARNING);
    for (Bytes raw : {Bytes{0x00, 0x00}, Bytes{0x01, 0x00}, Bytes{0x02, 0x00}}) {
      m.Touch().QueueRaw(raw);
      Settle();
      EXPECT_FALSE(read->completed) << "length field " << int(raw[0]);
    }
    EXPECT_EQ(trace.At(TRACE_LEVEL_WARNING, "ReadOneReport").size(), 3u);
    host::fx::CancelIrp(read);
    EXPECT_EQ(read->status, STATUS_CANCELLED);
  });
}

TEST_F(ReadPathTest, ALengthFieldBeyondTheMaximumIsCutToWhatWasRead) {
  OnMachine(Config(), [&](Machine &m) {
    BootQuiet(m);
    uint16_t max = Context(m)->HidDescriptor.wMaxInputLength;
    Bytes raw(max, 0x5A);
    raw[0] = 0xFF;
    raw[1] = 0x7F;
    Bytes a(max + 16, 0);
    auto read = Park(m, a);
    m.Touch().QueueRaw(raw);
    Settle();
    ASSERT_TRUE(read->completed);
    EXPECT_EQ(read->status, STATUS_SUCCESS);
    EXPECT_EQ(read->information, (ULONG_PTR)max - 2);
    EXPECT_EQ(a[max - 3], 0x5A);
    EXPECT_EQ(a[max - 2], 0x00) << "nothing beyond the input buffer";
  });
}

TEST_F(ReadPathTest, AReadShorterThanTheReportFailsWithTheCopysStatus) {
  OnMachine(Config(), [&](Machine &m) {
    BootQuiet(m);
    Bytes small(3);
    auto read = Park(m, small);
    m.Touch().QueueRaw({0x07, 0x00, 1, 2, 3, 4, 5});
    Settle();
    ASSERT_TRUE(read->completed);
    EXPECT_EQ(read->status, STATUS_BUFFER_TOO_SMALL);
  });
}

TEST_F(ReadPathTest, AFailedReadUnmasksAndCompletesNothing) {
  OnMachine(Config(), [&](Machine &m) {
    BootQuiet(m);
    Bytes a(64);
    auto read = Park(m, a);
    unsigned unmasks = m.Gpio().UnmaskCalls();
    m.I2c().FailNext(1, STATUS_DEVICE_BUSY);
    m.Touch().QueueRaw({0x04, 0x00, 0x66, 0x77});
    Settle();
    EXPECT_GE(m.Gpio().UnmaskCalls(), unmasks + 2) << "after the failed read and after the retry";
    ASSERT_TRUE(read->completed) << "the line is still asserted: the next interrupt reads the report";
    EXPECT_EQ(a[0], 0x66);
    EXPECT_TRUE(m.Hid().FailedReads().empty());
  });
}

TEST_F(ReadPathTest, SuccessiveInterruptsUseTheTwoWorkItemsInTurn) {
  OnMachine(Config(), [&](Machine &m) {
    BootQuiet(m);
    PDEVICE_EXTENSION c = Context(m);
    auto item = [&](int i) {
      return std::static_pointer_cast<host::fx::WorkItem>(host::fx::LookupQuiet(c->ReadWorkItems[i]))->enqueued;
    };
    unsigned before0 = item(0), before1 = item(1);
    EXPECT_EQ(c->NextReadWorkItem, 1) << "the reset response used work item 0";
    for (int i = 0; i < 3; ++i) {
      m.Touch().QueueRaw({0x03, 0x00, (uint8_t)i});
      Settle();
    }
    EXPECT_EQ(item(1) - before1, 2u);
    EXPECT_EQ(item(0) - before0, 1u);
  });
}

TEST_F(ReadPathTest, WithoutTheGpioInterfaceTheIsrCallsNoPinRoutine) {
  MachineConfig config = Config();
  config.gpioAtBoot = false;
  OnMachine(config, [&](Machine &m) {
    BootQuiet(m);
    m.Hid().Start();
    const ContactLayout &layout = *m.Touch().Layout();
    m.Play(Machine::FromContacts(layout, {{Contact{0, true, 10, 20}}, {Contact{0, true, 30, 40}}}, host::kTicksPerMs));
    Settle();
    EXPECT_EQ(m.Hid().Reports().size(), 2u);
    EXPECT_EQ(m.Gpio().MaskCalls() + m.Gpio().UnmaskCalls(), 0u);
    auto interrupt = std::static_pointer_cast<host::fx::Interrupt>(host::fx::LookupQuiet(Context(m)->Interrupt));
    EXPECT_GE(interrupt->isrCalls, 3u);
  });
}

TEST_F(ReadPathTest, TwoReadsNeverShareTheInputBuffer) {
  for (bool gpio : {true, false}) {
    for (uint64_t seed = 1; seed <= 15; ++seed) {
      MachineConfig config = Config();
      config.gpioAtBoot = gpio;
      config.edgeTriggered = seed % 2 == 0;
      OnMachine(
          config,
          [&](Machine &m) {
            BootQuiet(m);
            m.Hid().Start();
            std::vector<Machine::Timed> burst;
            for (int i = 0; i < 12; ++i)
              burst.push_back(Machine::Timed{(host::Ticks)(i % 3) * 100, Bytes{0x01, (uint8_t)i}});
            m.Play(burst);
            while (!m.PlayDone()) host::Scheduler::Sleep(host::kTicksPerMs);
            Settle();
            EXPECT_EQ(m.I2c().MostConcurrentInputReads(), 1u);
            EXPECT_EQ(m.Touch().PendingReports(), 0u);
          },
          seed);
    }
  }
}

TEST_F(ReadPathTest, StreamingThroughStopRestartAndRemoval) {
  for (uint64_t seed = 1; seed <= 25; ++seed) {
    OnMachine(
        Config(),
        [&](Machine &m) {
          BootQuiet(m);
          m.Hid().Start();
          const ContactLayout &layout = *m.Touch().Layout();
          std::vector<std::vector<Contact>> frames;
          for (uint32_t i = 0; i < 30; ++i) frames.push_back({Contact{0, true, i * 10, i * 20}});
          m.Play(Machine::FromContacts(layout, frames, host::kTicksPerMs / 2));
          host::Scheduler::Sleep((host::Ticks)(seed % 7) * host::kTicksPerMs / 3);
          switch (seed % 3) {
            case 0:
              m.Stop();
              EXPECT_EQ(Context(m)->InputReportBuffer, nullptr);
              EXPECT_EQ(m.Start(), STATUS_SUCCESS);
              break;
            case 1:
              host::fx::AsPnpEvent([&] {
                WDF_DEVICE_STATE state;
                WDF_DEVICE_STATE_INIT(&state);
                state.Failed = WdfTrue;
                state.ResourcesChanged = WdfTrue;
                WdfDeviceSetDeviceState(m.Device(), &state);
              });
              break;
            default:
              break;  // removal below, while the stream runs
          }
          if (seed % 3 == 2) {
            m.Hid().StopReading();
            m.Remove(seed % 2 == 0);
            return;
          }
          while (!m.PlayDone()) host::Scheduler::Sleep(host::kTicksPerMs);
          Settle();
          EXPECT_EQ(host::fx::StateOf(m.Device()), host::fx::PnpState::Started);
          EXPECT_FALSE(m.Hid().Reports().empty());
        },
        seed);
  }
}

TEST_F(ReadPathTest, TwoTouchControllersOnSeparateControllersUnderOneDriver) {
  RunControlled([&] {
    MachineConfig first = Config();
    MachineConfig second = Config();
    second.i2cPath = "\\_SB.PCI0.I2C2";
    second.gpioPath = "\\_SB.GPO1";
    second.pin = 0x05;
    Machine a(first), b(second);
    b.ShareDriverOf(a);
    ASSERT_EQ(a.Boot(), STATUS_SUCCESS);
    ASSERT_EQ(b.Boot(), STATUS_SUCCESS);
    a.Hid().Start();
    b.Hid().Start();
    Settle();
    a.Play(Machine::FromContacts(*a.Touch().Layout(), {{Contact{1, true, 11, 12}}}, 0));
    b.Play(Machine::FromContacts(*b.Touch().Layout(), {{Contact{2, true, 21, 22}}, {Contact{2, true, 23, 24}}}, 0));
    Settle();
    ASSERT_EQ(a.Hid().Reports().size(), 1u);
    ASSERT_EQ(b.Hid().Reports().size(), 2u);
    EXPECT_EQ(a.Hid().Reports()[0].contacts, (std::vector<Contact>{Contact{1, true, 11, 12}}));
    EXPECT_EQ(b.Hid().Reports()[1].contacts, (std::vector<Contact>{Contact{2, true, 23, 24}}));
    EXPECT_EQ(a.I2c().TransferCount() > 0 && b.I2c().TransferCount() > 0, true);
    b.Shutdown();
    a.Shutdown();
  });
}

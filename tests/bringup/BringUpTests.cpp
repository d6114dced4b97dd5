// Hardware preparation and release, connection setup, the HID descriptor
// and the power commands, on a whole simulated machine.
#include <string>

#include "Kernel/Pool.h"
#include "MachineTest.h"
#include "Runtime/Faults.h"
#include "Runtime/Trace.h"

using namespace sim;
using Bytes = std::vector<uint8_t>;

namespace {

class BringUpTest : public MachineTest {};

}  // namespace

TEST_F(BringUpTest, ABootedDeviceIsBoundDescribedAndReset) {
  OnMachine(Config(), [&](Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    PDEVICE_EXTENSION c = Context(m);
    EXPECT_NE(c->I2cTarget, nullptr);
    EXPECT_NE(c->GpioTarget, nullptr);
    EXPECT_EQ(c->GpioNotificationEntry, nullptr);
    EXPECT_NE(c->InputReportBuffer, nullptr);
    EXPECT_NE(c->ReadWorkItems[0], nullptr);
    EXPECT_NE(c->ReadWorkItems[1], nullptr);
    EXPECT_EQ(c->HidDescriptor.wMaxInputLength, m.Touch().Description().hid.wMaxInputLength);
    EXPECT_EQ(m.I2c().ConnectionSettings(), (Bytes{0x80, 0x1A, 0x06, 0x00, 0x2C, 0x00}));
    EXPECT_EQ(m.Touch().Commands(), (std::vector<Bytes>{{0x05, 0x00, 0x00, 0x08}, {0x05, 0x00, 0x00, 0x01}}));
    EXPECT_TRUE(c->ResetSent);
    Settle();
    EXPECT_TRUE(c->ResetComplete) << "the reset response was read";
    EXPECT_FALSE(m.Gpio().Masked());
    EXPECT_TRUE(m.Touch().ProtocolBreaches().empty());
    EXPECT_TRUE(m.Gpio().Breaches().empty());
  });
}

TEST_F(BringUpTest, StopSleepsAndReleaseUnbinds) {
  OnMachine(Config(), [&](Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    Settle();
    PDEVICE_EXTENSION c = Context(m);
    m.Touch().ClearCommands();
    unsigned masks = m.Gpio().MaskCalls();
    m.Stop();
    EXPECT_EQ(m.Touch().Commands(), (std::vector<Bytes>{{0x05, 0x00, 0x01, 0x08}}));
    EXPECT_EQ(c->I2cTarget, nullptr);
    EXPECT_EQ(c->GpioTarget, nullptr);
    EXPECT_EQ(c->GpioNotificationEntry, nullptr);
    EXPECT_EQ(c->InputReportBuffer, nullptr);
    EXPECT_NE(c->ReadWorkItems[0], nullptr) << "the work items stay";
    EXPECT_EQ(m.Gpio().MaskCalls(), masks + 1) << "release masks the pin";
    EXPECT_TRUE(c->ResetSent);
    EXPECT_TRUE(c->ResetComplete);
  });
}

TEST_F(BringUpTest, ResetOncePerDeviceObjectAcrossStopAndRestart) {
  OnMachine(Config(), [&](Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    Settle();
    m.Stop();
    m.Touch().ClearCommands();
    ASSERT_EQ(m.Start(), STATUS_SUCCESS);
    EXPECT_EQ(m.Touch().Commands(), (std::vector<Bytes>{{0x05, 0x00, 0x00, 0x08}}));
    EXPECT_EQ(m.Touch().Resets(), 1u);
  });
}

TEST_F(BringUpTest, AFailedResetIsSentAgainAtTheNextStart) {
  OnMachine(Config(), [&](Machine &m) {
    m.I2c().FailMatching({0x05, 0x00, 0x00, 0x01}, STATUS_DEVICE_BUSY);
    EXPECT_EQ(m.Boot(), STATUS_DEVICE_BUSY);
    PDEVICE_EXTENSION c = Context(m);
    EXPECT_FALSE(c->ResetSent);
    EXPECT_EQ(host::fx::StateOf(m.Device()), host::fx::PnpState::Failed);
    EXPECT_EQ(host::Pool::OutstandingCount(), 0u) << "release ran after the failed start";
    m.Touch().ClearCommands();
    ASSERT_EQ(m.Start(), STATUS_SUCCESS);
    EXPECT_EQ(m.Touch().Commands(), (std::vector<Bytes>{{0x05, 0x00, 0x00, 0x08}, {0x05, 0x00, 0x00, 0x01}}));
    EXPECT_TRUE(c->ResetSent);
  });
}

TEST_F(BringUpTest, FailedPowerOnSendsNoReset) {
  OnMachine(Config(), [&](Machine &m) {
    m.I2c().FailMatching({0x05, 0x00, 0x00, 0x08}, STATUS_IO_TIMEOUT);
    EXPECT_EQ(m.Boot(), STATUS_IO_TIMEOUT);
    EXPECT_EQ(m.Touch().Resets(), 0u);
    EXPECT_FALSE(Context(m)->ResetSent);
  });
}

TEST_F(BringUpTest, CommandBytesFollowTheCommandRegister) {
  MachineConfig config = Config();
  config.touch = DefaultTouchscreen();
  config.touch.hid.wCommandRegister = 0x0122;
  OnMachine(config, [&](Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    Settle();
    m.Stop();
    EXPECT_EQ(m.Touch().Commands(), (std::vector<Bytes>{{0x22, 0x01, 0x00, 0x08},
                                                        {0x22, 0x01, 0x00, 0x01},
                                                        {0x22, 0x01, 0x01, 0x08}}));
  });
}

TEST_F(BringUpTest, ResourceChecks) {
  using R = std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR>;
  const auto irq = Machine::InterruptResource();
  const auto memory = Machine::MemoryResource();
  struct Case {
    const char *name;
    R resources;
  };
  const Case cases[] = {
      {"no resources", R{}},
      {"interrupt then memory", R{irq, memory}},
      {"memory then interrupt", R{memory, irq}},
      {"two interrupts", R{irq, irq}},
  };
  for (const Case &c : cases) {
    MachineConfig config = Config();
    config.resources = c.resources;
    OnMachine(config, [&](Machine &m) {
      EXPECT_EQ(m.Boot(), STATUS_DEVICE_CONFIGURATION_ERROR) << c.name;
      EXPECT_EQ(m.Acpi().Evaluations(), 0u) << c.name;
      EXPECT_EQ(m.I2c().TransferCount(), 0u) << c.name;
      EXPECT_EQ(m.Gpio().MaskCalls(), 0u) << "release with nothing bound calls nothing";
      EXPECT_EQ(host::Pool::OutstandingCount(), 0u);
    });
  }
}

TEST_F(BringUpTest, AnyThirtyBytesOfDescriptorAreAccepted) {
  MachineConfig config = Config();
  config.touch = DefaultTouchscreen();
  config.touch.hid.wHIDDescLength = 0x55;
  config.touch.hid.bcdVersion = 0x0200;
  OnMachine(config, [&](Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    EXPECT_EQ(Context(m)->HidDescriptor.wHIDDescLength, 0x55);
  });
}

TEST_F(BringUpTest, AnInputLengthThatCannotHoldAReportFailsTheStart) {
  for (uint16_t length : {0, 1}) {
    MachineConfig config = Config();
    config.touch = DefaultTouchscreen();
    config.touch.hid.wMaxInputLength = length;
    OnMachine(config, [&](Machine &m) {
      host::TraceSession trace(WppControlBlock.ControlGuid, 0xFFFF, TRACE_LEVEL_ERROR);
      EXPECT_EQ(m.Boot(), STATUS_DEVICE_CONFIGURATION_ERROR);
      EXPECT_EQ(Context(m)->InputReportBuffer, nullptr);
      EXPECT_FALSE(trace.At(TRACE_LEVEL_ERROR, "ReadHidDescriptor").empty());
    });
  }
}

TEST_F(BringUpTest, WithoutAnI2cTargetNoDescriptorIsRead) {
  OnMachine(Config(), [&](Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    DEVICE_EXTENSION copy = *Context(m);
    copy.I2cTarget = NULL;
    m.I2c().ClearTransfers();
    EXPECT_EQ(ConfigureI2cConnection(&copy), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(ReadHidDescriptor(&copy), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(copy.InputReportBuffer, Context(m)->InputReportBuffer) << "nothing allocated";
    EXPECT_EQ(m.I2c().TransferCount(), 0u);
  });
}

TEST_F(BringUpTest, AFailureAtEveryStepIsReturnedAndLeavesNothingBehind) {
  struct Sweep {
    const char *routine;
    bool gpioAtBoot;
  };
  const Sweep sweeps[] = {
      {"ExAllocatePoolWithTag", true},        {"WdfIoTargetSendIoctlSynchronously", true},
      {"IoGetDeviceInterfaces", true},        {"WdfIoTargetCreate", true},
      {"WdfIoTargetOpen", true},              {"WdfIoTargetQueryForInterface", true},
      {"WdfWorkItemCreate", true},            {"IoRegisterPlugPlayNotification", false},
      {"ExAllocatePoolWithTag", false},
  };
  for (const Sweep &s : sweeps) {
    for (unsigned n = 1;; ++n) {
      SCOPED_TRACE(std::string(s.routine) + " #" + std::to_string(n));
      MachineConfig config = Config();
      config.gpioAtBoot = s.gpioAtBoot;
      bool started = false;
      OnMachine(config, [&](Machine &m) {
        host::Faults::Reset();
        host::Faults::FailNth(s.routine, n, STATUS_DATA_ERROR);
        NTSTATUS status = m.Boot();
        started = NT_SUCCESS(status);
        if (!started) {
          EXPECT_EQ(host::fx::StateOf(m.Device()), host::fx::PnpState::Failed) << s.routine << " #" << n;
          EXPECT_EQ(host::Pool::OutstandingCount(), 0u) << s.routine << " #" << n;
          PDEVICE_EXTENSION c = Context(m);
          EXPECT_EQ(c->I2cTarget, nullptr);
          EXPECT_EQ(c->GpioTarget, nullptr);
          EXPECT_EQ(c->GpioNotificationEntry, nullptr);
        }
        host::Faults::Reset();
      });
      if (started || n > 40) break;
    }
  }
}

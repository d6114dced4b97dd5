// Controller binding: the path rewrite and match, the late GPIO controller,
// the removal of either controller, and requests in flight while the I2C
// controller goes away.
#include <string>

#include "Kernel/Pool.h"
#include "MachineTest.h"

using namespace sim;
using Bytes = std::vector<uint8_t>;

namespace {

class BindingTest : public MachineTest {};

}  // namespace

TEST_F(BindingTest, RewriteTouchesOnlyTheString) {
  WCHAR buffer[16] = L"\\_SB\\I2C1\\\\\\";
  UNICODE_STRING path{9 * 2, sizeof buffer, buffer};
  RewriteControllerPath(&path);
  EXPECT_EQ(std::u16string(buffer, buffer + 12), u"__SB_I2C1\\\\\\");
}

TEST_F(BindingTest, MatchIsAnExactSubstring) {
  WCHAR name[] = L"\\??\\ACPI#__SB.PCI0.I2C1#0#{guid}";
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, name);
  struct Case {
    const WCHAR *path;
    bool matches;
  };
  const Case cases[] = {
      {L"__SB.PCI0.I2C1", true}, {L"__sb.pci0.i2c1", false}, {L"#0#", true}, {L"__SB.PCI0.I2C2", false},
      {L"{guid}", true},
  };
  for (const Case &c : cases) {
    UNICODE_STRING path;
    RtlInitUnicodeString(&path, c.path);
    EXPECT_EQ(ControllerPathMatches(&link, &path), c.matches);
  }
}

TEST_F(BindingTest, FirstMatchInListOrderWins) {
  // A second controller whose name also contains the path, published first,
  // is the one opened: it has no touch controller, so the start fails.
  OnMachine(Config(), [&](Machine &m) {
    auto decoy = std::make_shared<I2cController>("\\_SB.PCI0.I2C10");
    decoy->Publish();
    EXPECT_EQ(m.Boot(), STATUS_NO_SUCH_DEVICE);
    EXPECT_EQ(m.I2c().TransferCount(), 0u);
    EXPECT_EQ(decoy->TransferCount(), 1u);
    decoy->Withdraw();
  });
  OnMachine(Config(), [&](Machine &m) {
    m.I2c().Publish();
    auto decoy = std::make_shared<I2cController>("\\_SB.PCI0.I2C10");
    decoy->Publish();
    EXPECT_EQ(m.Boot(), STATUS_SUCCESS);
    EXPECT_EQ(decoy->TransferCount(), 0u);
    decoy->Withdraw();
  });
}

TEST_F(BindingTest, PathsThatDifferInCaseDoNotMatch) {
  MachineConfig config = Config();
  AcpiDescription acpi;
  I2cSerialBus bus;
  bus.resourceSource = "\\_sb.pci0.i2c1";
  acpi.resources = ResourceTemplate().Add(bus).Add(GpioConnection{}).End().Bytes();
  config.acpi = acpi;
  OnMachine(config, [&](Machine &m) { EXPECT_EQ(m.Boot(), STATUS_DEVICE_CONFIGURATION_ERROR); });
}

TEST_F(BindingTest, NoI2cControllerAtAll) {
  OnMachine(Config(), [&](Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    m.Stop();
    m.I2c().Withdraw();
    EXPECT_EQ(m.Start(), STATUS_DEVICE_CONFIGURATION_ERROR);
  });
}

TEST_F(BindingTest, WithoutAGpioControllerTheDeviceStartsAndWaits) {
  MachineConfig config = Config();
  config.gpioAtBoot = false;
  OnMachine(config, [&](Machine &m) {
    auto other = std::make_shared<GpioController>("\\_SB.GPO9", 1, false);
    other->Publish();  // an existing interface that does not match
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    Settle();
    PDEVICE_EXTENSION c = Context(m);
    EXPECT_EQ(c->GpioTarget, nullptr);
    EXPECT_NE(c->GpioNotificationEntry, nullptr);
    EXPECT_NE(c->InputReportBuffer, nullptr);
    EXPECT_EQ(m.I2c().ConnectionSettings().size(), 6u);
    EXPECT_EQ(host::fx::RestartsOf(m.Device()), 0u);
    EXPECT_TRUE(c->ResetComplete) << "reports flow without masking";
    EXPECT_EQ(m.Gpio().MaskCalls() + m.Gpio().UnmaskCalls(), 0u);

    other->Withdraw();  // a removal event changes nothing
    Settle();
    EXPECT_EQ(host::fx::RestartsOf(m.Device()), 0u);

    m.ArriveGpio();  // the matching controller arrives: one restart, fully bound
    Settle();
    EXPECT_EQ(host::fx::RestartsOf(m.Device()), 1u);
    EXPECT_EQ(host::fx::StateOf(m.Device()), host::fx::PnpState::Started);
    EXPECT_NE(c->GpioTarget, nullptr);
    EXPECT_EQ(c->GpioNotificationEntry, nullptr);
    EXPECT_GE(m.Gpio().UnmaskCalls(), 1u);
    EXPECT_FALSE(m.Gpio().Masked());
  });
}

TEST_F(BindingTest, GpioInterfaceWithoutContextFailsTheStart) {
  OnMachine(Config(), [&](Machine &m) {
    m.Gpio().nullContext = true;
    EXPECT_EQ(m.Boot(), STATUS_INVALID_PARAMETER);
  });
}

TEST_F(BindingTest, GpioInterfaceWithoutUnmaskIsNotCalled) {
  OnMachine(Config(), [&](Machine &m) {
    m.Gpio().withoutUnmask = true;
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    EXPECT_EQ(m.Gpio().UnmaskCalls(), 0u);
  });
}

TEST_F(BindingTest, GpioQueryRemoveIsRefused) {
  OnMachine(Config(), [&](Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    EXPECT_FALSE(m.Gpio().RemoveOrderly());
    EXPECT_NE(Context(m)->GpioTarget, nullptr);
  });
}

TEST_F(BindingTest, GpioSurpriseRemovalUnbindsIt) {
  OnMachine(Config(), [&](Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    Settle();
    m.Gpio().RemoveSurprise();
    PDEVICE_EXTENSION c = Context(m);
    EXPECT_EQ(c->GpioTarget, nullptr);
    EXPECT_EQ(c->GpioNotificationEntry, nullptr);
    unsigned masks = m.Gpio().MaskCalls();
    m.Stop();
    EXPECT_EQ(m.Gpio().MaskCalls(), masks) << "no pin routine once the target is gone";
  });
}

TEST_F(BindingTest, I2cQueryRemoveSleepsClosesAndAllows) {
  OnMachine(Config(), [&](Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    Settle();
    m.Touch().ClearCommands();
    EXPECT_TRUE(m.I2c().RemoveOrderly());
    PDEVICE_EXTENSION c = Context(m);
    EXPECT_EQ(m.Touch().Commands(), (std::vector<Bytes>{{0x05, 0x00, 0x01, 0x08}}));
    EXPECT_TRUE(c->I2cTargetRemoved);
    EXPECT_EQ(c->I2cTarget, nullptr) << "remove-complete deleted it";
    m.Touch().ClearCommands();
    m.Stop();
    EXPECT_TRUE(m.Touch().Commands().empty()) << "D0 exit sends nothing after the query-remove";
  });
}

TEST_F(BindingTest, I2cRemovalThatIsCanceledKeepsTheTargetClosed) {
  OnMachine(Config(), [&](Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    Settle();
    // Another watcher vetoes; the driver's target stays closed until the next start.
    int watch = m.I2c().Watch([](host::io::RemovalEvent e) {
      return e == host::io::RemovalEvent::QueryRemove ? STATUS_UNSUCCESSFUL : STATUS_SUCCESS;
    });
    EXPECT_FALSE(m.I2c().RemoveOrderly());
    m.I2c().Unwatch(watch);
    PDEVICE_EXTENSION c = Context(m);
    EXPECT_TRUE(c->I2cTargetRemoved);
    EXPECT_NE(c->I2cTarget, nullptr);
    uint8_t buffer[0x200];
    HidResult r = m.Hid().Send(hid::kGetReportDescriptor, buffer, c->HidDescriptor.wReportDescLength);
    EXPECT_EQ(r.status, STATUS_INVALID_DEVICE_STATE);
  });
}

TEST_F(BindingTest, I2cControllerRemovedWhileRequestsAreInFlight) {
  for (uint64_t seed = 1; seed <= 40; ++seed) {
    bool surprise = seed % 2 == 0;
    OnMachine(
        Config(),
        [&](Machine &m) {
          ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
          PDEVICE_EXTENSION c = Context(m);
          USHORT length = c->HidDescriptor.wReportDescLength;
          int finished = 0;
          for (int t = 0; t < 3; ++t) {
            host::Scheduler::Spawn("hid class", [&, t] {
              std::vector<uint8_t> buffer(length);
              uint8_t report[4] = {(uint8_t)(2 + t), 0, 0, 0};
              HID_XFER_PACKET packet{report, sizeof report, report[0]};
              for (int i = 0; i < 4; ++i) {
                HidResult r = i % 2 ? m.Hid().Send(hid::kGetReportDescriptor, buffer.data(), length)
                                    : m.Hid().Send(hid::kSetFeature, &packet, sizeof packet, nullptr, false);
                (void)r;
              }
              ++finished;
            });
          }
          host::Scheduler::Spawn("pnp", [&] {
            if (surprise)
              m.I2c().RemoveSurprise();
            else
              EXPECT_TRUE(m.I2c().RemoveOrderly());
          });
          while (finished < 3) host::Scheduler::Sleep(host::kTicksPerMs);
          Settle();
          EXPECT_EQ(c->I2cTarget, nullptr);
          EXPECT_TRUE(c->I2cTargetRemoved);
        },
        seed);
  }
}

// The two _DSM readers: the input they send, every format error of the
// answer, and the resource walk with its bounds.
#include "OrvanHidI2c.h"

#include <string>

#include "AcpiDevice.h"
#include "Framework/Fx.h"
#include "HostTest.h"
#include "Runtime/Faults.h"

using namespace sim;

namespace {

class AcpiTest : public HostTest {
 protected:
  // Runs `body` with the driver's device added on an ACPI node of `acpi`.
  void OnNode(const AcpiDescription &acpi, const std::function<void()> &body) {
    acpi_ = std::make_shared<AcpiDevice>(acpi);
    RunControlled([&] {
      ASSERT_EQ(host::fx::LoadDriver(DriverEntry, driver_), STATUS_SUCCESS);
      auto added = host::fx::AddDevice(driver_, acpi_);
      ASSERT_EQ(added.status, STATUS_SUCCESS);
      device_ = added.device;
      body();
      host::fx::RemoveDevice(device_, false);
      host::fx::UnloadDriver(driver_);
    });
    EXPECT_TRUE(acpi_->InputBreaches().empty()) << acpi_->InputBreaches().front();
  }

  struct Connection {
    NTSTATUS status;
    USHORT slave = 0;
    ULONG speed = 0;
    USHORT pin = 0;
    std::string i2cPath, gpioPath;
  };
  Connection ReadConnection() {
    Connection c;
    UNICODE_STRING i2c{0, sizeof i2cBuffer_, i2cBuffer_};
    UNICODE_STRING gpio{0, sizeof gpioBuffer_, gpioBuffer_};
    c.status = QueryConnectionResources(device_, &c.slave, &c.speed, &i2c, &c.pin, &gpio);
    for (USHORT i = 0; i < i2c.Length / 2; ++i) c.i2cPath += (char)i2cBuffer_[i];
    for (USHORT i = 0; i < gpio.Length / 2; ++i) c.gpioPath += (char)gpioBuffer_[i];
    return c;
  }
  static std::vector<uint8_t> Resources(std::vector<uint8_t> template_) {
    return AcpiDevice::Output(ACPI_METHOD_ARGUMENT_BUFFER, template_);
  }

  host::fx::LoadedDriver driver_;
  WDFDEVICE device_ = nullptr;
  std::shared_ptr<AcpiDevice> acpi_;
  WCHAR i2cBuffer_[128];
  WCHAR gpioBuffer_[128];
};

}  // namespace

TEST_F(AcpiTest, InputIsTheComplexBufferOfSixtyFourBytes) {
  auto input = AcpiDevice::ExpectedInput(kHidI2cDsmGuid);
  EXPECT_EQ(input[16], 2);   // buffer
  EXPECT_EQ(input[18], 16);
  EXPECT_EQ(input[20], 0xF7);
  EXPECT_EQ(input[36], 0);   // integer: revision
  EXPECT_EQ(input[40], 1);
  EXPECT_EQ(input[44], 0);   // integer: function index
  EXPECT_EQ(input[48], 1);
  EXPECT_EQ(input[52], 3);   // package
  EXPECT_EQ(input[54], 4);
  // The driver's inputs are compared byte for byte by the node.
  OnNode(AcpiDescription{}, [&] {
    USHORT address = 0;
    EXPECT_EQ(QueryHidDescriptorAddress(device_, &address), STATUS_SUCCESS);
    EXPECT_EQ(ReadConnection().status, STATUS_SUCCESS);
    EXPECT_EQ(acpi_->Evaluations(), 2u);
  });
}

TEST_F(AcpiTest, HidDescriptorAddressAnswers) {
  struct Case {
    const char *name;
    std::optional<std::vector<uint8_t>> output;
    NTSTATUS request;
    NTSTATUS status;
    USHORT address;
  };
  const Case cases[] = {
      {"an integer", AcpiDevice::IntegerOutput(0x0020), STATUS_SUCCESS, STATUS_SUCCESS, 0x0020},
      {"upper bits dropped", AcpiDevice::IntegerOutput(0xABCD1234), STATUS_SUCCESS, STATUS_SUCCESS, 0x1234},
      {"bad signature", AcpiDevice::Output(0, {1, 0, 0, 0}, 1, 0x12345678), STATUS_SUCCESS, STATUS_INVALID_PARAMETER, 0},
      {"two arguments", AcpiDevice::Output(0, {1, 0, 0, 0}, 2), STATUS_SUCCESS, STATUS_INFO_LENGTH_MISMATCH, 0},
      {"a buffer", AcpiDevice::Output(2, {1, 0, 0, 0}), STATUS_SUCCESS, STATUS_DATA_ERROR, 0},
      {"two-byte integer", AcpiDevice::Output(0, {1, 0}), STATUS_SUCCESS, STATUS_INFO_LENGTH_MISMATCH, 0},
      {"request fails", std::nullopt, STATUS_NO_SUCH_DEVICE, STATUS_INSUFFICIENT_RESOURCES, 0},
  };
  for (const Case &c : cases) {
    AcpiDescription acpi;
    acpi.hidOutput = c.output;
    acpi.hidStatus = c.request;
    OnNode(acpi, [&] {
      USHORT address = 0x7777;
      EXPECT_EQ(QueryHidDescriptorAddress(device_, &address), c.status) << c.name;
      if (NT_SUCCESS(c.status)) {
        EXPECT_EQ(address, c.address) << c.name;
      }
    });
  }
}

TEST_F(AcpiTest, ConnectionResourcesAnswers) {
  I2cSerialBus i2c;
  GpioConnection gpio;
  auto make = [](std::function<void(ResourceTemplate &)> build) {
    ResourceTemplate t;
    build(t);
    return t.Bytes();
  };
  I2cSerialBus spi = i2c;
  spi.serialBusType = 2;
  I2cSerialBus uart = i2c;
  uart.serialBusType = 3;
  GpioConnection io = gpio;
  io.connectionType = 1;
  GpioConnection twoPins = gpio;
  twoPins.pins = {3, 4};
  I2cSerialBus longest = i2c;
  longest.resourceSource = std::string(127, 'P');
  I2cSerialBus tooLong = i2c;
  tooLong.resourceSource = std::string(128, 'P');
  I2cSerialBus unterminated = i2c;
  unterminated.terminateSource = false;
  GpioConnection gpioUnterminated = gpio;
  gpioUnterminated.terminateSource = false;

  struct Case {
    const char *name;
    std::vector<uint8_t> output;
    NTSTATUS status;
  };
  std::vector<Case> cases = {
      {"I2C and GPIO", Resources(make([&](auto &t) { t.Add(i2c).Add(gpio).End(); })), STATUS_SUCCESS},
      {"I2C only", Resources(make([&](auto &t) { t.Add(i2c).End(); })), STATUS_INSUFFICIENT_RESOURCES},
      {"GPIO only", Resources(make([&](auto &t) { t.Add(gpio).End(); })), STATUS_INSUFFICIENT_RESOURCES},
      {"SPI bus", Resources(make([&](auto &t) { t.Add(spi).Add(gpio).End(); })), STATUS_DATA_ERROR},
      {"UART bus", Resources(make([&](auto &t) { t.Add(uart).Add(gpio).End(); })), STATUS_DATA_ERROR},
      {"GPIO I/O", Resources(make([&](auto &t) { t.Add(i2c).Add(io).End(); })), STATUS_DATA_ERROR},
      {"two pins", Resources(make([&](auto &t) { t.Add(i2c).Add(twoPins).End(); })), STATUS_DATA_ERROR},
      {"127-character source", Resources(make([&](auto &t) { t.Add(longest).Add(gpio).End(); })), STATUS_SUCCESS},
      {"128-character source", Resources(make([&](auto &t) { t.Add(tooLong).Add(gpio).End(); })),
       STATUS_BUFFER_OVERFLOW},
      {"not a buffer", AcpiDevice::Output(0, {1, 0, 0, 0}), STATUS_DATA_ERROR},
      {"two arguments", AcpiDevice::Output(2, make([&](auto &t) { t.Add(i2c).Add(gpio).End(); }), 2),
       STATUS_INFO_LENGTH_MISMATCH},
      {"bad signature", AcpiDevice::Output(2, {0x79, 0}, 1, 0), STATUS_INVALID_PARAMETER},
      {"no data", AcpiDevice::Output(2, {}), STATUS_INFO_LENGTH_MISMATCH},
      // Refused by the bounds of the walk.
      {"I2C cut short", Resources(make([&](auto &t) { t.Add(gpio).Add(i2c).CutTo(t.LastOffset() + 12); })),
       STATUS_DATA_ERROR},
      {"GPIO cut short", Resources(make([&](auto &t) { t.Add(i2c).Add(gpio).CutTo(t.LastOffset() + 20); })),
       STATUS_DATA_ERROR},
      {"I2C source without terminator",
       Resources(make([&](auto &t) { t.Add(gpio).Add(unterminated); })), STATUS_DATA_ERROR},
      {"GPIO source without terminator",
       Resources(make([&](auto &t) { t.Add(i2c).Add(gpioUnterminated); })), STATUS_DATA_ERROR},
      {"length field past the data",
       Resources(make([&](auto &t) { t.Add(i2c).Add(gpio).SetLargeLength(t.LastOffset(), 0x4000).End(); })),
       STATUS_DATA_ERROR},
      {"data length past what came back",
       AcpiDevice::Output(2, make([&](auto &t) { t.Add(i2c).Add(gpio).End(); }), 1, 0x426F6541, 600),
       STATUS_DATA_ERROR},
  };
  for (const Case &c : cases) {
    AcpiDescription acpi;
    acpi.resourcesOutput = c.output;
    OnNode(acpi, [&] { EXPECT_EQ(ReadConnection().status, c.status) << c.name; });
  }
}

TEST_F(AcpiTest, ValuesOfTheTwoDescriptors) {
  I2cSerialBus i2c;
  i2c.speed = 1000000;
  i2c.address = 0x0015;
  i2c.resourceSource = "\\_SB.PCI0.I2C3";
  GpioConnection gpio;
  gpio.pins = {0x0123};
  gpio.resourceSource = "\\_SB.GPO1";
  AcpiDescription acpi;
  acpi.resources = ResourceTemplate().Add(i2c).Add(gpio).End().Bytes();
  OnNode(acpi, [&] {
    Connection c = ReadConnection();
    ASSERT_EQ(c.status, STATUS_SUCCESS);
    EXPECT_EQ(c.slave, 0x0015);
    EXPECT_EQ(c.speed, 1000000u);
    EXPECT_EQ(c.pin, 0x0123);
    EXPECT_EQ(c.i2cPath, "\\_SB.PCI0.I2C3");
    EXPECT_EQ(c.gpioPath, "\\_SB.GPO1");
  });
}

TEST_F(AcpiTest, OtherDescriptorsAreSkippedAndALaterOneWins) {
  I2cSerialBus first;
  first.resourceSource = "\\_SB.I2C1";
  I2cSerialBus second;
  second.address = 0x0040;
  second.resourceSource = "\\_SB.I2C2";
  GpioConnection gpio;
  AcpiDescription acpi;
  acpi.resources = ResourceTemplate()
                       .AddSmallIrq(0x0400)
                       .AddFixedMemory32(0xFED40000, 0x1000)
                       .Add(first)
                       .AddUnknownSmall(3)
                       .Add(gpio)
                       .AddUnknownLarge(0x84, 12)
                       .Add(second)
                       .AddSmallIrq(0x0001)
                       .End()
                       .Bytes();
  OnNode(acpi, [&] {
    Connection c = ReadConnection();
    ASSERT_EQ(c.status, STATUS_SUCCESS);
    EXPECT_EQ(c.i2cPath, "\\_SB.I2C2");
    EXPECT_EQ(c.slave, 0x0040);
    EXPECT_EQ(c.gpioPath, "\\_SB.GPO0");
  });
}

TEST_F(AcpiTest, VendorDataInTheI2cDescriptorBecomesPartOfThePath) {
  // The walk takes the resource source from byte 18, trusting that the I2C
  // descriptor carries no vendor data.
  I2cSerialBus i2c;
  i2c.vendorData = {'V', 'D'};
  AcpiDescription acpi;
  acpi.resources = ResourceTemplate().Add(i2c).Add(GpioConnection{}).End().Bytes();
  OnNode(acpi, [&] {
    Connection c = ReadConnection();
    ASSERT_EQ(c.status, STATUS_SUCCESS);
    EXPECT_EQ(c.i2cPath, "VD\\_SB.PCI0.I2C1");
  });
}

TEST_F(AcpiTest, AllocationFailuresFreeWhatWasTaken) {
  for (unsigned n : {1u, 2u}) {
    OnNode(AcpiDescription{}, [&] {
      host::Faults::Reset();
      host::Faults::FailNth("ExAllocatePoolWithTag", n, 0);
      USHORT address;
      EXPECT_EQ(QueryHidDescriptorAddress(device_, &address), STATUS_MEMORY_NOT_ALLOCATED);
      host::Faults::Reset();
      host::Faults::FailNth("ExAllocatePoolWithTag", n, 0);
      EXPECT_EQ(ReadConnection().status, STATUS_MEMORY_NOT_ALLOCATED);
    });
  }
}

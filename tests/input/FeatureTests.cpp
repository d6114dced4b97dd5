// Output reports and feature reports: the framing on the wire, the bounds,
// and what comes back of a GET_REPORT.
#include <string>

#include "MachineTest.h"

using namespace sim;
using Bytes = std::vector<uint8_t>;

namespace {

class FeatureTest : public MachineTest {
 protected:
  static MachineConfig WithRegisters(uint16_t maxOutput = 16) {
    MachineConfig c = Config();
    c.touch = DefaultTouchscreen();
    c.touch.hid.wOutputRegister = 0x0004;
    c.touch.hid.wCommandRegister = 0x0005;
    c.touch.hid.wDataRegister = 0x0006;
    c.touch.hid.wMaxOutputLength = maxOutput;
    return c;
  }
  static Bytes LastWritten(Machine &m) {
    auto t = m.I2c().Transfers();
    return t.empty() ? Bytes{} : t.back().written;
  }
  static HidResult Packet(Machine &m, ULONG code, Bytes &report, ULONG packetLength = sizeof(HID_XFER_PACKET)) {
    uint8_t none = 0;
    HID_XFER_PACKET packet{report.empty() ? &none : report.data(), (ULONG)report.size(),
                           report.empty() ? (UCHAR)0 : report[0]};
    return m.Hid().Send(code, &packet, packetLength, nullptr, false);
  }
};

}  // namespace

TEST_F(FeatureTest, FramingOnTheWire) {
  struct Case {
    const char *name;
    ULONG code;
    Bytes report;
    Bytes written;
    ULONG readLength;
  };
  const Case cases[] = {
      {"output report", hid::kWriteReport, {0xAA, 0xBB, 0xCC}, {0x04, 0x00, 0x05, 0x00, 0xAA, 0xBB, 0xCC}, 0},
      {"get feature 2", hid::kGetFeature, {0x02, 0x00}, {0x05, 0x00, 0x32, 0x02, 0x06, 0x00}, 4},
      {"get feature 14", hid::kGetFeature, {0x0E, 0x00}, {0x05, 0x00, 0x3E, 0x02, 0x06, 0x00}, 4},
      {"get feature 15", hid::kGetFeature, {0x0F, 0x00}, {0x05, 0x00, 0x3F, 0x02, 0x0F, 0x06, 0x00}, 4},
      {"get feature 0x20", hid::kGetFeature, {0x20, 0x00, 0x00}, {0x05, 0x00, 0x3F, 0x02, 0x20, 0x06, 0x00}, 5},
      {"get feature 0xFF", hid::kGetFeature, {0xFF}, {0x05, 0x00, 0x3F, 0x02, 0xFF, 0x06, 0x00}, 3},
      {"set feature 2", hid::kSetFeature, {0x02, 0x01},
       {0x05, 0x00, 0x32, 0x03, 0x06, 0x00, 0x04, 0x00, 0x02, 0x01}, 0},
      {"set feature 0x20", hid::kSetFeature, {0x20, 0x07, 0x08},
       {0x05, 0x00, 0x3F, 0x03, 0x20, 0x06, 0x00, 0x05, 0x00, 0x20, 0x07, 0x08}, 0},
  };
  OnMachine(WithRegisters(), [&](Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    Settle();
    for (const Case &c : cases) {
      Bytes report = c.report;
      m.I2c().ClearTransfers();
      HidResult r = Packet(m, c.code, report);
      EXPECT_EQ(r.status, STATUS_SUCCESS) << c.name;
      auto t = m.I2c().Transfers();
      ASSERT_EQ(t.size(), 1u) << c.name;
      EXPECT_EQ(t[0].written, c.written) << c.name;
      EXPECT_EQ(t[0].readLength, c.readLength) << c.name;
      EXPECT_EQ(t[0].ioControlCode, c.readLength ? (ULONG)IOCTL_I2C_WRITE_READ : (ULONG)IOCTL_I2C_WRITE) << c.name;
    }
    EXPECT_EQ(m.Touch().Feature(0x20), (Bytes{0x20, 0x07, 0x08})) << "the device keeps what was set";
    EXPECT_TRUE(m.Touch().ProtocolBreaches().empty());
  });
}

TEST_F(FeatureTest, OutputReportsUpToTheMaximumLength) {
  OnMachine(WithRegisters(4), [&](Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    Settle();
    Bytes four{1, 2, 3, 4}, five{1, 2, 3, 4, 5}, none;
    m.I2c().ClearTransfers();
    EXPECT_EQ(Packet(m, hid::kWriteReport, four).status, STATUS_SUCCESS);
    EXPECT_EQ(Packet(m, hid::kWriteReport, five).status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(Packet(m, hid::kWriteReport, none).status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(m.I2c().TransferCount(), 1u);
    EXPECT_EQ(m.Touch().OutputReports(), (std::vector<Bytes>{four}));
  });
}

TEST_F(FeatureTest, ReportsTooLongForTheLengthFieldsAreRefused) {
  OnMachine(WithRegisters(0xFFFF), [&](Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    Settle();
    m.I2c().ClearTransfers();
    Bytes longest(0xFFFD, 0x11), tooLong(0xFFFE, 0x11);
    EXPECT_EQ(Packet(m, hid::kWriteReport, tooLong).status, STATUS_INVALID_BUFFER_SIZE);
    EXPECT_EQ(Packet(m, hid::kSetFeature, tooLong).status, STATUS_INVALID_BUFFER_SIZE);
    EXPECT_EQ(Packet(m, hid::kGetFeature, tooLong).status, STATUS_INVALID_BUFFER_SIZE);
    EXPECT_EQ(m.I2c().TransferCount(), 0u);
    EXPECT_EQ(Packet(m, hid::kWriteReport, longest).status, STATUS_SUCCESS);
    auto t = m.I2c().Transfers();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].written.size(), 4u + 0xFFFD);
    EXPECT_EQ(Le16(&t[0].written[2]), 0xFFFF);
  });
}

TEST_F(FeatureTest, RequestChecksComeInOrder) {
  OnMachine(WithRegisters(), [&](Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    Settle();
    m.I2c().ClearTransfers();
    Bytes report{0x02, 0x00};
    // The packet's size is checked before the packet is looked at.
    EXPECT_EQ(Packet(m, hid::kGetFeature, report, 8).status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(m.Hid().Send(hid::kGetFeature, nullptr, sizeof(HID_XFER_PACKET), nullptr, false).status,
              STATUS_INVALID_DEVICE_REQUEST);
    EXPECT_EQ(m.Hid().Send(hid::kWriteReport, nullptr, sizeof(HID_XFER_PACKET), nullptr, false).status,
              STATUS_INVALID_DEVICE_REQUEST);
    Bytes empty;
    EXPECT_EQ(Packet(m, hid::kSetFeature, empty).status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(m.I2c().TransferCount(), 0u);
  });
}

TEST_F(FeatureTest, InformationOfAGetFollowsTheLengthFieldWithinTheBuffer) {
  struct Case {
    std::optional<uint16_t> lengthField;
    ULONG_PTR information;
  };
  const Case cases[] = {
      {5, 3},                  // the device's length, less its 2 bytes
      {std::nullopt, 4},       // the true length of the 4-byte report
      {0, 0},                  // below 2: nothing, not a wrapped count
      {1, 0},
      {0x0100, 4},             // more than the buffer holds: the buffer's length
  };
  OnMachine(WithRegisters(), [&](Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    m.Touch().SetFeature(0x03, {0x03, 0x10, 0x20, 0x30});
    for (const Case &c : cases) {
      m.Touch().OverrideFeatureLength(c.lengthField);
      Bytes report(4, 0);
      report[0] = 0x03;
      HidResult r = Packet(m, hid::kGetFeature, report);
      EXPECT_EQ(r.status, STATUS_SUCCESS);
      EXPECT_EQ(r.information, c.information) << "length field " << (c.lengthField ? *c.lengthField : -1);
      EXPECT_EQ(report, (Bytes{0x03, 0x10, 0x20, 0x30})) << "n bytes are copied whatever the field says";
    }
  });
}

TEST_F(FeatureTest, AFailedGetCopiesNothing) {
  OnMachine(WithRegisters(), [&](Machine &m) {
    ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
    m.I2c().FailNext(1, STATUS_IO_TIMEOUT);
    Bytes report{0x03, 0xEE, 0xEE};
    HidResult r = Packet(m, hid::kGetFeature, report);
    EXPECT_EQ(r.status, STATUS_IO_TIMEOUT);
    EXPECT_EQ(report, (Bytes{0x03, 0xEE, 0xEE}));
  });
}

// The HID class driver's internal requests: routing, completion and the
// handlers that answer from the context or with one read of the device.
#include "Bench.h"

#include "Runtime/Faults.h"

using namespace sim;

namespace {

constexpr ULONG_PTR kUntouched = 0x5A5A;

class DispatchTest : public BenchTest {
 protected:
  struct Outcome {
    bool completed;
    NTSTATUS status;
    ULONG_PTR information;
    size_t transfers;
  };
  Outcome Issue(ULONG code, void *buffer, ULONG length, PVOID type3 = nullptr, bool bound = true) {
    i2c_->ClearTransfers();
    host::fx::InternalIoctl ioctl;
    ioctl.ioControlCode = code;
    ioctl.userBuffer = buffer;
    ioctl.outputBufferLength = length;
    ioctl.type3InputBuffer = type3;
    ioctl.information = kUntouched;
    ioctl.boundInformation = bound;
    last_ = host::fx::SendInternalIoctl(device_, ioctl);
    return Outcome{last_->completed, last_->status, last_->information, i2c_->TransferCount()};
  }
  std::shared_ptr<host::fx::IrpCompletion> last_;
};

}  // namespace

TEST_F(DispatchTest, EveryCodeIsRoutedAndCompletedAsDesigned) {
  OnBench([&] {
    uint8_t report[2] = {0x02, 0x01};
    HID_XFER_PACKET packet{report, sizeof report, 2};
    struct Case {
      const char *name;
      ULONG code;
      ULONG length;
      PVOID type3;
      bool completed;
      NTSTATUS status;
      ULONG_PTR information;
      size_t transfers;
    };
    const Case cases[] = {
        {"device descriptor", hid::kGetDeviceDescriptor, 9, nullptr, true, STATUS_SUCCESS, 9, 0},
        {"report descriptor", hid::kGetReportDescriptor, 0x3A, nullptr, true, STATUS_SUCCESS, 0x3A, 1},
        {"attributes", hid::kGetDeviceAttributes, 32, nullptr, true, STATUS_SUCCESS, 32, 0},
        {"string", hid::kGetString, 64, (PVOID)(uintptr_t)0x0409000E, true, STATUS_SUCCESS, 12, 0},
        {"activate", hid::kActivateDevice, 0, nullptr, true, STATUS_SUCCESS, 0, 0},
        {"deactivate", hid::kDeactivateDevice, 0, nullptr, true, STATUS_SUCCESS, 0, 0},
        {"write report", hid::kWriteReport, sizeof(HID_XFER_PACKET), nullptr, true, STATUS_SUCCESS, kUntouched, 1},
        {"set feature", hid::kSetFeature, sizeof(HID_XFER_PACKET), nullptr, true, STATUS_SUCCESS, kUntouched, 1},
        {"get input report", hid::kGetInputReport, sizeof(HID_XFER_PACKET), nullptr, true, STATUS_NOT_SUPPORTED,
         kUntouched, 0},
        {"set output report", hid::kSetOutputReport, sizeof(HID_XFER_PACKET), nullptr, true, STATUS_NOT_SUPPORTED,
         kUntouched, 0},
        {"idle notification", hid::kSendIdleNotification, 0, nullptr, true, STATUS_NOT_SUPPORTED, kUntouched, 0},
        {"indexed string", hid::kGetIndexedString, 64, nullptr, true, STATUS_NOT_SUPPORTED, kUntouched, 0},
        {"physical descriptor", hid::kGetPhysicalDescriptor, 64, nullptr, true, STATUS_NOT_SUPPORTED, kUntouched, 0},
        {"unknown code", 0x12345, 64, nullptr, true, STATUS_NOT_SUPPORTED, kUntouched, 0},
        {"read report", hid::kReadReport, 64, nullptr, false, STATUS_PENDING, kUntouched, 0},
    };
    std::vector<uint8_t> buffer(256);
    for (const Case &c : cases) {
      SCOPED_TRACE(c.name);
      bool packetRequest = c.code == hid::kWriteReport || c.code == hid::kSetFeature || c.length == sizeof(HID_XFER_PACKET);
      void *userBuffer = packetRequest ? (void *)&packet : (void *)buffer.data();
      Outcome o = Issue(c.code, userBuffer, c.length, c.type3, !packetRequest);
      EXPECT_EQ(o.completed, c.completed);
      EXPECT_EQ(o.status, c.status);
      if (o.completed) {
        EXPECT_EQ(o.information, c.information);
      }
      EXPECT_EQ(o.transfers, c.transfers);
    }
    // The parked read is the driver's until the HID class cancels it.
    host::fx::CancelIrp(last_);
    EXPECT_TRUE(last_->completed);
    EXPECT_EQ(last_->status, STATUS_CANCELLED);
  });
}

TEST_F(DispatchTest, ClassDescriptorBytes) {
  OnBench([&] {
    uint8_t buffer[9];
    Outcome o = Issue(hid::kGetDeviceDescriptor, buffer, 9);
    EXPECT_EQ(o.status, STATUS_SUCCESS);
    EXPECT_EQ(o.information, 9u);
    const uint8_t expected[9] = {0x09, 0x21, 0x01, 0x00, 0x00, 0x01, 0x22, 0x3A, 0x00};
    EXPECT_EQ(std::memcmp(buffer, expected, 9), 0);

    uint8_t shorter[8];
    std::memset(shorter, 0xEE, sizeof shorter);
    o = Issue(hid::kGetDeviceDescriptor, shorter, 8);
    EXPECT_FALSE(NT_SUCCESS(o.status));
    EXPECT_EQ(o.information, kUntouched);
    for (uint8_t b : shorter) EXPECT_EQ(b, 0xEE) << "nothing is returned";
  });
}

TEST_F(DispatchTest, ReportDescriptorReadsStraightIntoTheBuffer) {
  OnBench([&] {
    std::vector<uint8_t> buffer(0x3A, 0);
    Outcome o = Issue(hid::kGetReportDescriptor, buffer.data(), (ULONG)buffer.size());
    EXPECT_EQ(o.status, STATUS_SUCCESS);
    EXPECT_EQ(o.information, 0x3Au);
    EXPECT_EQ(buffer, touch_->Description().reportDescriptor);
    auto t = i2c_->Transfers();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].ioControlCode, (ULONG)IOCTL_I2C_WRITE_READ);
    EXPECT_EQ(t[0].written, (std::vector<uint8_t>{0x02, 0x00}));
    EXPECT_EQ(t[0].readLength, 0x3Au);
  });
}

TEST_F(DispatchTest, ReportDescriptorInformationIsTheDescriptorLengthWhateverCame) {
  OnBench([&] {
    i2c_->ShortReadNext(1, 3);
    std::vector<uint8_t> buffer(0x3A, 0);
    Outcome o = Issue(hid::kGetReportDescriptor, buffer.data(), (ULONG)buffer.size());
    EXPECT_EQ(o.status, STATUS_SUCCESS);
    EXPECT_EQ(o.information, 0x3Au);
  });
}

TEST_F(DispatchTest, ShorterReportDescriptorBufferIsRefusedBeforeAnythingIsSent) {
  OnBench([&] {
    std::vector<uint8_t> buffer(0x3A - 1, 0xEE);
    Outcome o = Issue(hid::kGetReportDescriptor, buffer.data(), (ULONG)buffer.size());
    EXPECT_EQ(o.status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(o.information, kUntouched);
    EXPECT_EQ(o.transfers, 0u);
    for (uint8_t b : buffer) EXPECT_EQ(b, 0xEE);
  });
}

TEST_F(DispatchTest, ReportDescriptorFailures) {
  OnBench([&] {
    std::vector<uint8_t> buffer(0x3A, 0);
    i2c_->FailNext(1, STATUS_DEVICE_BUSY);
    Outcome o = Issue(hid::kGetReportDescriptor, buffer.data(), (ULONG)buffer.size());
    EXPECT_EQ(o.status, STATUS_DEVICE_BUSY);
    EXPECT_EQ(o.information, kUntouched);

    host::Faults::FailNth("ExAllocatePoolWithTag", 1, 0);
    o = Issue(hid::kGetReportDescriptor, buffer.data(), (ULONG)buffer.size());
    EXPECT_EQ(o.status, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(o.transfers, 0u);

    WDFIOTARGET saved = context_->I2cTarget;
    context_->I2cTarget = NULL;
    o = Issue(hid::kGetReportDescriptor, buffer.data(), (ULONG)buffer.size());
    EXPECT_EQ(o.status, STATUS_UNSUCCESSFUL);
    context_->I2cTarget = saved;

    o = Issue(hid::kGetReportDescriptor, nullptr, 0);
    EXPECT_EQ(o.status, STATUS_BUFFER_TOO_SMALL) << "no output memory";
  });
}

TEST_F(DispatchTest, AttributesLeaveTheReservedBytesAlone) {
  OnBench([&] {
    uint8_t buffer[32];
    std::memset(buffer, 0xA5, sizeof buffer);
    Outcome o = Issue(hid::kGetDeviceAttributes, buffer, 32);
    EXPECT_EQ(o.status, STATUS_SUCCESS);
    EXPECT_EQ(o.information, 32u);
    EXPECT_EQ(Le32(buffer), 32u);
    EXPECT_EQ(Le16(buffer + 4), 0x2A94);
    EXPECT_EQ(Le16(buffer + 6), 0x0C31);
    EXPECT_EQ(Le16(buffer + 8), 0x0102);
    for (int i = 10; i < 32; ++i) EXPECT_EQ(buffer[i], 0xA5) << "reserved byte " << i;

    uint8_t shorter[31];
    o = Issue(hid::kGetDeviceAttributes, shorter, 31);
    EXPECT_EQ(o.status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(o.information, kUntouched);
  });
}

TEST_F(DispatchTest, StringTable) {
  OnBench([&] {
    struct Case {
      uint16_t id;
      uint16_t language;
      ULONG bytes;
      NTSTATUS status;
      std::u16string text;
    };
    const Case cases[] = {
        {14, 0x0409, 12, STATUS_SUCCESS, u"Orvan"},
        {14, 0x0409, 11, STATUS_BUFFER_TOO_SMALL, u""},
        {15, 0x0409, 28, STATUS_SUCCESS, u"HIDI2C Device"},
        {15, 0x0409, 27, STATUS_BUFFER_TOO_SMALL, u""},
        {16, 0x0407, 18, STATUS_SUCCESS, u"00000000"},
        {16, 0xFFFF, 256, STATUS_SUCCESS, u"00000000"},
        {16, 0x0409, 17, STATUS_BUFFER_TOO_SMALL, u""},
        {17, 0x0409, 256, STATUS_INVALID_PARAMETER, u""},
        {0, 0x0409, 256, STATUS_INVALID_PARAMETER, u""},
    };
    for (const Case &c : cases) {
      SCOPED_TRACE("string id " + std::to_string(c.id) + ", " + std::to_string(c.bytes) + " bytes");
      std::vector<uint16_t> buffer(130, 0xEEEE);
      Outcome o = Issue(hid::kGetString, buffer.data(), c.bytes, (PVOID)(uintptr_t)(((ULONG)c.language << 16) | c.id));
      EXPECT_EQ(o.status, c.status);
      if (NT_SUCCESS(c.status)) {
        EXPECT_EQ(o.information, (c.text.size() + 1) * 2);
        EXPECT_EQ(std::u16string(buffer.begin(), buffer.begin() + c.text.size()), c.text);
        EXPECT_EQ(buffer[c.text.size()], 0) << "terminating zero";
        EXPECT_EQ(buffer[c.text.size() + 1], 0xEEEE) << "nothing past it";
      } else {
        EXPECT_EQ(o.information, kUntouched);
        EXPECT_EQ(buffer[0], 0xEEEE) << "nothing written";
      }
    }
  });
}

TEST_F(DispatchTest, EnumerationAsTheHidClassSeesIt) {
  OnBench([&] {
    Enumeration e = hid_->Enumerate();
    EXPECT_EQ(e.deviceDescriptor.status, STATUS_SUCCESS);
    EXPECT_EQ(e.reportDescriptorBytes, touch_->Description().reportDescriptor);
    EXPECT_EQ(e.vendorId, 0x2A94);
    EXPECT_EQ(e.productId, 0x0C31);
    EXPECT_EQ(e.versionNumber, 0x0102);
    EXPECT_EQ(e.manufacturer, u"Orvan");
    EXPECT_EQ(e.product, u"HIDI2C Device");
    EXPECT_EQ(e.serialNumber, u"00000000");
    EXPECT_TRUE(touch_->ProtocolBreaches().empty());
  });
}

TEST_F(DispatchTest, ParkedReadsAreCancelledOneByOne) {
  OnBench([&] {
    uint8_t a[64], b[64];
    auto first = hid_->Submit(hid::kReadReport, a, sizeof a);
    auto second = hid_->Submit(hid::kReadReport, b, sizeof b);
    EXPECT_FALSE(first->completed);
    EXPECT_FALSE(second->completed);
    host::fx::CancelIrp(second);
    EXPECT_EQ(second->status, STATUS_CANCELLED);
    EXPECT_FALSE(first->completed);
    host::fx::CancelIrp(first);
    EXPECT_EQ(first->status, STATUS_CANCELLED);
  });
}

TEST_F(DispatchTest, ReadThatCannotBeParkedIsCompletedWithInsufficientResources) {
  OnBench([&] {
    host::Faults::FailNth("WdfRequestForwardToIoQueue", 1, STATUS_WDF_BUSY);
    uint8_t a[64];
    Outcome o = Issue(hid::kReadReport, a, sizeof a);
    EXPECT_TRUE(o.completed);
    EXPECT_EQ(o.status, STATUS_INSUFFICIENT_RESOURCES);
  });
}

TEST_F(DispatchTest, EveryPoolBufferIsFreedUnderAllocationFailures) {
  // Each allocation of the enumeration fails in turn; the leak check of the
  // unload at the end of each bench fails the test for any block left.
  for (unsigned n = 1; n <= 4; ++n) {
    SCOPED_TRACE("allocation " + std::to_string(n));
    OnBench([&] {
      host::Faults::Reset();
      host::Faults::FailNth("ExAllocatePoolWithTag", n, 0);
      Enumeration e = hid_->Enumerate();
      EXPECT_EQ(e.deviceDescriptor.status, STATUS_SUCCESS);
      EXPECT_EQ(e.reportDescriptor.status, n == 1 ? STATUS_INSUFFICIENT_RESOURCES : STATUS_SUCCESS) << "allocation " << n;
    });
  }
}

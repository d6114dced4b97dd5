// I/O targets on the host: opening by name, synchronous sends and their
// time-out, closed and deleted targets, the default target, and device
// interface lists.
#include <wdf.h>

#include <cstring>

#include "HostTest.h"
#include "Kernel/Io.h"
#include "MiniDriver.h"

using namespace host;

namespace {

const GUID kClass = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
const GUID kOtherClass = {0x99999999, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

// A device that completes after a delay, or never (until cancelled).
class Peer : public io::Endpoint {
 public:
  std::string Name() const override { return "peer"; }
  void Dispatch(const std::shared_ptr<io::Packet> &packet) override {
    ++received;
    if (hang) {
      std::weak_ptr<io::Packet> weak = packet;
      packet->SetCancelRoutine([weak, this] {
        if (auto p = weak.lock()) p->TryComplete(ignoreCancel ? STATUS_SUCCESS : STATUS_CANCELLED, 0);
      });
      return;
    }
    for (size_t i = 0; i < packet->output.size(); ++i) packet->output[i] = (uint8_t)(0x40 + i);
    packet->Complete(STATUS_SUCCESS, std::min<size_t>(reply, packet->output.size()));
  }
  int received = 0;
  bool hang = false;
  bool ignoreCancel = false;
  size_t reply = 4;
};

class IoTargetTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    mini::Load(driver_);
    peer_ = std::make_shared<Peer>();
    device_ = fx::AddDevice(driver_, peer_).device;
    io::PublishInterface(kClass, link_, peer_);
  }
  void TearDown() override {
    fx::UnloadDriver(driver_);
    HostTest::TearDown();
  }
  WDFIOTARGET Open() {
    WDFIOTARGET target;
    EXPECT_EQ(WdfIoTargetCreate(device_, WDF_NO_OBJECT_ATTRIBUTES, &target), STATUS_SUCCESS);
    std::vector<WCHAR> name(link_.begin(), link_.end());
    UNICODE_STRING unicode{(USHORT)(name.size() * 2), (USHORT)(name.size() * 2), name.data()};
    WDF_IO_TARGET_OPEN_PARAMS params;
    WDF_IO_TARGET_OPEN_PARAMS_INIT_OPEN_BY_NAME(&params, &unicode, FILE_READ_DATA);
    EXPECT_EQ(WdfIoTargetOpen(target, &params), STATUS_SUCCESS);
    return target;
  }
  NTSTATUS SendWithTimeout(WDFIOTARGET target, LONGLONG timeout, uint8_t *out = nullptr, ULONG outLength = 0,
                           ULONG_PTR *bytes = nullptr) {
    WDF_REQUEST_SEND_OPTIONS options;
    WDF_REQUEST_SEND_OPTIONS_INIT(&options, WDF_REQUEST_SEND_OPTION_SYNCHRONOUS);
    WDF_REQUEST_SEND_OPTIONS_SET_TIMEOUT(&options, timeout);
    WDF_MEMORY_DESCRIPTOR output;
    if (out) WDF_MEMORY_DESCRIPTOR_INIT_BUFFER(&output, out, outLength);
    return WdfIoTargetSendIoctlSynchronously(target, nullptr, 0x222008, nullptr, out ? &output : nullptr, &options,
                                             bytes);
  }

  fx::LoadedDriver driver_;
  std::shared_ptr<Peer> peer_;
  WDFDEVICE device_ = nullptr;
  io::Name link_ = io::ToName("\\??\\PEER#_SB.PEER#0");
};

}  // namespace

TEST_F(IoTargetTest, OpenByAnUnknownNameFails) {
  WDFIOTARGET target;
  ASSERT_EQ(WdfIoTargetCreate(device_, WDF_NO_OBJECT_ATTRIBUTES, &target), STATUS_SUCCESS);
  WCHAR name[] = L"\\??\\NOBODY";
  UNICODE_STRING unicode{sizeof name - 2, sizeof name, name};
  WDF_IO_TARGET_OPEN_PARAMS params;
  WDF_IO_TARGET_OPEN_PARAMS_INIT_OPEN_BY_NAME(&params, &unicode, FILE_READ_DATA);
  EXPECT_EQ(WdfIoTargetOpen(target, &params), STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(IoTargetTest, SendCopiesBackWhatTheDeviceReturned) {
  WDFIOTARGET target = Open();
  uint8_t out[8];
  std::memset(out, 0xEE, sizeof out);
  ULONG_PTR bytes = 0;
  RunControlled([&] { EXPECT_EQ(SendWithTimeout(target, -kTicksPerSecond, out, 8, &bytes), STATUS_SUCCESS); });
  EXPECT_EQ(bytes, 4u);
  EXPECT_EQ(out[3], 0x43);
  EXPECT_EQ(out[4], 0xEE) << "bytes the device did not return keep the caller's fill";
}

TEST_F(IoTargetTest, TimeoutCancelsAtExactlyTheDeadline) {
  WDFIOTARGET target = Open();
  peer_->hang = true;
  Ticks waited = 0;
  RunControlled([&] {
    Ticks start = Scheduler::Now();
    EXPECT_EQ(SendWithTimeout(target, -3 * kTicksPerSecond), STATUS_IO_TIMEOUT);
    waited = Scheduler::Now() - start;
  });
  EXPECT_EQ(waited, 3 * kTicksPerSecond);
}

TEST_F(IoTargetTest, ADeviceThatCompletesDespiteTheCancelGivesItsOwnStatus) {
  WDFIOTARGET target = Open();
  peer_->hang = true;
  peer_->ignoreCancel = true;
  RunControlled([&] { EXPECT_EQ(SendWithTimeout(target, -kTicksPerSecond), STATUS_SUCCESS); });
}

TEST_F(IoTargetTest, SendOnAClosedOrDeletedTargetFails) {
  WDFIOTARGET closed = Open();
  WdfIoTargetCloseForQueryRemove(closed);
  WDFIOTARGET never;
  ASSERT_EQ(WdfIoTargetCreate(device_, WDF_NO_OBJECT_ATTRIBUTES, &never), STATUS_SUCCESS);
  RunControlled([&] {
    EXPECT_EQ(SendWithTimeout(closed, -kTicksPerSecond), STATUS_INVALID_DEVICE_STATE);
    EXPECT_EQ(SendWithTimeout(never, -kTicksPerSecond), STATUS_INVALID_DEVICE_STATE);
  });
  EXPECT_EQ(peer_->received, 0);
  WDFIOTARGET deleted = Open();
  WdfObjectDelete(deleted);
  RunControlled([&] { EXPECT_EQ(SendWithTimeout(deleted, -kTicksPerSecond), STATUS_INVALID_DEVICE_STATE); });
  ExpectBreach(rules::HandleStale);
}

TEST_F(IoTargetTest, SynchronousSendAbovePassiveLevel) {
  WDFIOTARGET target = Open();
  RunControlled([&] {
    Scheduler::Spawn("dpc", [&] { SendWithTimeout(target, -kTicksPerSecond); }, DISPATCH_LEVEL);
  });
  ExpectBreach(rules::IrqlBlocking);
}

TEST_F(IoTargetTest, DefaultTargetIsTheDeviceBelow) {
  WDFIOTARGET target = WdfDeviceGetIoTarget(device_);
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(WdfDeviceGetIoTarget(device_), target);
  RunControlled([&] { EXPECT_EQ(SendWithTimeout(target, 0), STATUS_SUCCESS); });
  EXPECT_EQ(peer_->received, 1);
  WdfObjectDelete(target);
  ExpectBreach(rules::HandleFrameworkOwned);
}

TEST_F(IoTargetTest, InterfaceListIsAPoolBlockOfNamesEndedByAnEmptyOne) {
  auto second = std::make_shared<Peer>();
  io::PublishInterface(kClass, io::ToName("\\??\\SECOND"), second);
  io::PublishInterface(kOtherClass, io::ToName("\\??\\OTHER"), second);
  PWSTR list = nullptr;
  ASSERT_EQ(IoGetDeviceInterfaces(&kClass, nullptr, 0, &list), STATUS_SUCCESS);
  std::vector<std::u16string> names;
  for (PWSTR p = list; *p; p += names.back().size() + 1) names.push_back(io::ToName(p, [&] {
    size_t n = 0;
    while (p[n]) ++n;
    return n;
  }()));
  EXPECT_EQ(names, (std::vector<std::u16string>{link_, u"\\??\\SECOND"}));
  ExFreePoolWithTag(list, 0);

  io::WithdrawInterface(link_);
  io::WithdrawInterface(io::ToName("\\??\\SECOND"));
  ASSERT_EQ(IoGetDeviceInterfaces(&kClass, nullptr, 0, &list), STATUS_SUCCESS);
  EXPECT_EQ(list[0], 0) << "an empty list is a single terminator";
  ExFreePoolWithTag(list, 0);
}

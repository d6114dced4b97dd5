// Requests on the host: presentation on the default queue, parking in a
// manual queue, cancellation, retrieval, completion and its rules.
#include <wdf.h>

#include "HostTest.h"
#include "MiniDriver.h"
#include "Runtime/Irql.h"

using namespace host;

namespace {

std::function<void(WDFQUEUE, WDFREQUEST, ULONG)> gHandler;
std::function<void(WDFQUEUE, WDFREQUEST)> gCanceled;
WDFQUEUE gManual = nullptr;

void OnIoctl(WDFQUEUE queue, WDFREQUEST request, size_t, size_t, ULONG code) { gHandler(queue, request, code); }
void OnCanceled(WDFQUEUE queue, WDFREQUEST request) { gCanceled(queue, request); }

class RequestTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    gHandler = [](WDFQUEUE, WDFREQUEST r, ULONG) { WdfRequestComplete(r, STATUS_SUCCESS); };
    gCanceled = [](WDFQUEUE, WDFREQUEST r) { WdfRequestComplete(r, STATUS_CANCELLED); };
    mini::hooks().afterCreate = [](WDFDEVICE device) {
      WDF_IO_QUEUE_CONFIG config;
      WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(&config, WdfIoQueueDispatchParallel);
      config.EvtIoInternalDeviceControl = OnIoctl;
      NTSTATUS status = WdfIoQueueCreate(device, &config, WDF_NO_OBJECT_ATTRIBUTES, nullptr);
      if (!NT_SUCCESS(status)) return status;
      WDF_IO_QUEUE_CONFIG_INIT(&config, WdfIoQueueDispatchManual);
      config.EvtIoCanceledOnQueue = OnCanceled;
      return WdfIoQueueCreate(device, &config, WDF_NO_OBJECT_ATTRIBUTES, &gManual);
    };
    mini::Load(driver_);
    device_ = fx::AddDevice(driver_).device;
    fx::SetDeviceInD0(device_, true);
  }
  void TearDown() override {
    fx::UnloadDriver(driver_);
    HostTest::TearDown();
  }
  std::shared_ptr<fx::IrpCompletion> Send(ULONG code, void *buffer = nullptr, ULONG length = 0) {
    fx::InternalIoctl ioctl;
    ioctl.ioControlCode = code;
    ioctl.userBuffer = buffer;
    ioctl.outputBufferLength = length;
    return fx::SendInternalIoctl(device_, ioctl);
  }
  fx::LoadedDriver driver_;
  WDFDEVICE device_ = nullptr;
};

}  // namespace

TEST_F(RequestTest, PresentedInTheSendersThreadAtItsIrql) {
  std::string thread;
  uint8_t irql = 0xFF;
  gHandler = [&](WDFQUEUE, WDFREQUEST r, ULONG) {
    thread = Scheduler::CurrentThreadName();
    irql = CurrentIrql();
    WdfRequestComplete(r, STATUS_SUCCESS);
  };
  RunControlled([&] {
    Scheduler::Spawn("hid class completion", [&] { Send(1); }, DISPATCH_LEVEL);
  });
  EXPECT_EQ(thread, "hid class completion");
  EXPECT_EQ(irql, DISPATCH_LEVEL);
}

TEST_F(RequestTest, HeldUntilTheQueueStarts) {
  fx::SetDeviceInD0(device_, false);
  int presented = 0;
  gHandler = [&](WDFQUEUE, WDFREQUEST r, ULONG) {
    ++presented;
    WdfRequestComplete(r, STATUS_SUCCESS);
  };
  auto c = Send(1);
  EXPECT_EQ(presented, 0);
  EXPECT_FALSE(c->completed);
  fx::SetDeviceInD0(device_, true);
  EXPECT_EQ(presented, 1);
  EXPECT_TRUE(c->completed);
}

TEST_F(RequestTest, CompletionCarriesStatusAndInformation) {
  gHandler = [](WDFQUEUE, WDFREQUEST r, ULONG) { WdfRequestCompleteWithInformation(r, STATUS_BUFFER_OVERFLOW, 3); };
  uint8_t buffer[8];
  auto c = Send(1, buffer, sizeof buffer);
  EXPECT_EQ(c->status, STATUS_BUFFER_OVERFLOW);
  EXPECT_EQ(c->information, 3u);
}

TEST_F(RequestTest, ManualQueueHandsOutTheOldestFirst) {
  gHandler = [](WDFQUEUE, WDFREQUEST r, ULONG) { EXPECT_EQ(WdfRequestForwardToIoQueue(r, gManual), STATUS_SUCCESS); };
  auto first = Send(1);
  auto second = Send(2);
  WDFREQUEST r;
  ASSERT_EQ(WdfIoQueueRetrieveNextRequest(gManual, &r), STATUS_SUCCESS);
  EXPECT_EQ(r, first->request);
  WdfRequestComplete(r, STATUS_SUCCESS);
  ASSERT_EQ(WdfIoQueueRetrieveNextRequest(gManual, &r), STATUS_SUCCESS);
  EXPECT_EQ(r, second->request);
  WdfRequestComplete(r, STATUS_SUCCESS);
  EXPECT_EQ(WdfIoQueueRetrieveNextRequest(gManual, &r), STATUS_NO_MORE_ENTRIES);
  EXPECT_EQ(r, nullptr);
}

TEST_F(RequestTest, PoweredOffManualQueueHandsOutNothing) {
  gHandler = [](WDFQUEUE, WDFREQUEST r, ULONG) { WdfRequestForwardToIoQueue(r, gManual); };
  auto parked = Send(1);
  fx::SetDeviceInD0(device_, false);
  WDFREQUEST r;
  EXPECT_EQ(WdfIoQueueRetrieveNextRequest(gManual, &r), STATUS_WDF_PAUSED);
  fx::CancelIrp(parked);
}

TEST_F(RequestTest, CancelledInTheManualQueueGoesToTheCancelCallback) {
  gHandler = [](WDFQUEUE, WDFREQUEST r, ULONG) { WdfRequestForwardToIoQueue(r, gManual); };
  int canceled = 0;
  gCanceled = [&](WDFQUEUE q, WDFREQUEST r) {
    EXPECT_EQ(q, gManual);
    ++canceled;
    WdfRequestComplete(r, STATUS_CANCELLED);
  };
  auto parked = Send(1);
  fx::CancelIrp(parked);
  EXPECT_EQ(canceled, 1);
  EXPECT_EQ(parked->status, STATUS_CANCELLED);
  WDFREQUEST r;
  EXPECT_EQ(WdfIoQueueRetrieveNextRequest(gManual, &r), STATUS_NO_MORE_ENTRIES);
}

TEST_F(RequestTest, CancellingARequestTheDriverHoldsOnlySetsItsFlag) {
  WDFREQUEST held = nullptr;
  gHandler = [&](WDFQUEUE, WDFREQUEST r, ULONG) { held = r; };
  auto c = Send(1);
  fx::CancelIrp(c);
  EXPECT_FALSE(c->completed);
  EXPECT_TRUE(WdfRequestWdmGetIrp(held)->Cancel);
  WdfRequestComplete(held, STATUS_CANCELLED);
}

TEST_F(RequestTest, DoubleCompletion) {
  gHandler = [](WDFQUEUE, WDFREQUEST r, ULONG) {
    WdfRequestComplete(r, STATUS_SUCCESS);
    WdfRequestComplete(r, STATUS_SUCCESS);
  };
  Send(1);
  ExpectBreach(rules::RequestDoubleCompletion);
}

TEST_F(RequestTest, CompletingARequestThatSitsInAQueue) {
  gHandler = [](WDFQUEUE, WDFREQUEST r, ULONG) {
    WdfRequestForwardToIoQueue(r, gManual);
    WdfRequestComplete(r, STATUS_SUCCESS);
  };
  auto c = Send(1);
  ExpectBreach(rules::RequestCompletedInQueue);
  fx::CancelIrp(c);
}

TEST_F(RequestTest, TouchingARequestAfterCompletion) {
  gHandler = [](WDFQUEUE, WDFREQUEST r, ULONG) {
    WdfRequestComplete(r, STATUS_SUCCESS);
    WdfRequestSetInformation(r, 1);
  };
  Send(1);
  ExpectBreach(rules::RequestAfterCompletion);
}

TEST_F(RequestTest, InformationLargerThanTheBuffer) {
  gHandler = [](WDFQUEUE, WDFREQUEST r, ULONG) { WdfRequestCompleteWithInformation(r, STATUS_SUCCESS, 9); };
  uint8_t buffer[8];
  Send(1, buffer, sizeof buffer);
  ExpectBreach(rules::RequestInformation);
}

TEST_F(RequestTest, RequestNeverCompletedWhenTheDeviceIsRemoved) {
  gHandler = [](WDFQUEUE, WDFREQUEST, ULONG) {};
  Send(1);
  fx::DeleteDevice(device_);
  ExpectBreach(rules::RequestNotCompleted);
}

TEST_F(RequestTest, OutputMemoryIsTheUserBufferWithTheOutputLength) {
  uint8_t buffer[12] = {};
  gHandler = [&](WDFQUEUE, WDFREQUEST r, ULONG) {
    WDFMEMORY memory;
    ASSERT_EQ(WdfRequestRetrieveOutputMemory(r, &memory), STATUS_SUCCESS);
    size_t size = 0;
    EXPECT_EQ(WdfMemoryGetBuffer(memory, &size), buffer);
    EXPECT_EQ(size, sizeof buffer);
    uint8_t data[3] = {1, 2, 3};
    EXPECT_EQ(WdfMemoryCopyFromBuffer(memory, 0, data, 0), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(WdfMemoryCopyFromBuffer(memory, 10, data, 3), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(WdfMemoryCopyFromBuffer(memory, 12, data, 1), STATUS_INVALID_BUFFER_SIZE);
    EXPECT_EQ(WdfMemoryCopyFromBuffer(memory, 9, data, 3), STATUS_SUCCESS);
    PVOID out;
    size_t length;
    EXPECT_EQ(WdfRequestRetrieveOutputBuffer(r, 13, &out, &length), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(WdfRequestRetrieveOutputBuffer(r, 12, &out, &length), STATUS_SUCCESS);
    EXPECT_EQ(length, 12u);
    WdfRequestComplete(r, STATUS_SUCCESS);
  };
  Send(1, buffer, sizeof buffer);
  EXPECT_EQ(buffer[11], 3);
}

TEST_F(RequestTest, NoOutputBufferMeansNoOutputMemory) {
  gHandler = [](WDFQUEUE, WDFREQUEST r, ULONG) {
    WDFMEMORY memory;
    EXPECT_EQ(WdfRequestRetrieveOutputMemory(r, &memory), STATUS_BUFFER_TOO_SMALL);
    WdfRequestComplete(r, STATUS_SUCCESS);
  };
  Send(1);
}

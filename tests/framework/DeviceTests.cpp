// Driver creation, device add and the records the framework keeps of them.
#include <wdf.h>

#include "HostTest.h"
#include "MiniDriver.h"
#include "Runtime/Faults.h"

using namespace host;

namespace {

class DeviceTest : public HostTest {
 protected:
  void TearDown() override {
    if (driver_.handle) fx::UnloadDriver(driver_);
    HostTest::TearDown();
  }
  fx::LoadedDriver driver_;
};

void Nop(WDFQUEUE, WDFREQUEST, size_t, size_t, ULONG) {}
BOOLEAN Isr(WDFINTERRUPT, ULONG) { return TRUE; }

}  // namespace

TEST_F(DeviceTest, SecondDriverCreateFails) {
  mini::Load(driver_);
  WDF_DRIVER_CONFIG config;
  WDF_DRIVER_CONFIG_INIT(&config, nullptr);
  EXPECT_EQ(WdfDriverCreate(&driver_.wdm, &driver_.registryPath, nullptr, &config, nullptr),
            STATUS_DRIVER_INTERNAL_ERROR);
}

TEST_F(DeviceTest, FailedAddDeletesTheDeviceButKeepsItsRecord) {
  mini::hooks().afterCreate = [](WDFDEVICE) { return STATUS_DATA_ERROR; };
  mini::Load(driver_);
  auto added = fx::AddDevice(driver_);
  EXPECT_EQ(added.status, STATUS_DATA_ERROR);
  EXPECT_EQ(added.device, nullptr);
  ASSERT_TRUE(added.record);
  EXPECT_TRUE(added.record->created);
}

TEST_F(DeviceTest, InjectedDeviceCreateFailure) {
  Faults::FailNth("WdfDeviceCreate", 1, STATUS_INSUFFICIENT_RESOURCES);
  mini::Load(driver_);
  auto added = fx::AddDevice(driver_);
  EXPECT_EQ(added.status, STATUS_INSUFFICIENT_RESOURCES);
  EXPECT_FALSE(added.record->created);
}

TEST_F(DeviceTest, QueueCreationRulesAndRecords) {
  struct Case {
    const char *name;
    WDF_IO_QUEUE_DISPATCH_TYPE type;
    bool defaultQueue;
    bool handler;
    NTSTATUS status;
  };
  const Case cases[] = {
      {"parallel default with a handler", WdfIoQueueDispatchParallel, true, true, STATUS_SUCCESS},
      {"second default queue", WdfIoQueueDispatchParallel, true, true, STATUS_UNSUCCESSFUL},
      {"parallel without a handler", WdfIoQueueDispatchParallel, false, false, STATUS_WDF_NO_CALLBACK},
      {"manual without a handler", WdfIoQueueDispatchManual, false, false, STATUS_SUCCESS},
  };
  std::vector<NTSTATUS> statuses;
  mini::hooks().afterCreate = [&](WDFDEVICE device) {
    for (const Case &c : cases) {
      WDF_IO_QUEUE_CONFIG config;
      if (c.defaultQueue)
        WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(&config, c.type);
      else
        WDF_IO_QUEUE_CONFIG_INIT(&config, c.type);
      if (c.handler) config.EvtIoInternalDeviceControl = Nop;
      WDFQUEUE queue;
      statuses.push_back(WdfIoQueueCreate(device, &config, WDF_NO_OBJECT_ATTRIBUTES, &queue));
    }
    return STATUS_SUCCESS;
  };
  mini::Load(driver_);
  auto added = fx::AddDevice(driver_);
  ASSERT_EQ(statuses.size(), std::size(cases));
  for (size_t i = 0; i < statuses.size(); ++i) EXPECT_EQ(statuses[i], cases[i].status) << cases[i].name;
  ASSERT_EQ(added.record->queues.size(), 2u);
  EXPECT_EQ(added.record->queues[0].config.Settings.Parallel.NumberOfPresentedRequests, 0xFFFFFFFFu);
  EXPECT_EQ(added.record->queues[0].parent, (WDFOBJECT)added.device);
  EXPECT_EQ(added.record->queues[1].config.DispatchType, WdfIoQueueDispatchManual);
}

TEST_F(DeviceTest, DefaultQueueBelongsToTheFramework) {
  WDFQUEUE queue = nullptr;
  mini::hooks().afterCreate = [&](WDFDEVICE device) {
    WDF_IO_QUEUE_CONFIG config;
    WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(&config, WdfIoQueueDispatchParallel);
    config.EvtIoInternalDeviceControl = Nop;
    return WdfIoQueueCreate(device, &config, WDF_NO_OBJECT_ATTRIBUTES, &queue);
  };
  mini::Load(driver_);
  fx::AddDevice(driver_);
  WdfObjectDelete(queue);
  ExpectBreach(rules::HandleFrameworkOwned);
}

TEST_F(DeviceTest, InterruptsAreCreatedOnlyDuringDeviceAdd) {
  WDFDEVICE device = nullptr;
  mini::hooks().afterCreate = [&](WDFDEVICE d) {
    device = d;
    return STATUS_SUCCESS;
  };
  mini::Load(driver_);
  fx::AddDevice(driver_);
  WDF_INTERRUPT_CONFIG config;
  WDF_INTERRUPT_CONFIG_INIT(&config, Isr, nullptr);
  WDFINTERRUPT interrupt;
  EXPECT_EQ(WdfInterruptCreate(device, &config, WDF_NO_OBJECT_ATTRIBUTES, &interrupt), STATUS_INVALID_DEVICE_STATE);
  ExpectBreach(rules::Usage);
}

TEST_F(DeviceTest, DeviceStateIsRecorded) {
  mini::hooks().afterCreate = [](WDFDEVICE device) {
    WDF_DEVICE_STATE state;
    WDF_DEVICE_STATE_INIT(&state);
    state.NotDisableable = WdfFalse;
    WdfDeviceSetDeviceState(device, &state);
    return STATUS_SUCCESS;
  };
  mini::Load(driver_);
  auto added = fx::AddDevice(driver_);
  ASSERT_EQ(added.record->states.size(), 1u);
  EXPECT_EQ(added.record->states[0].NotDisableable, WdfFalse);
  EXPECT_EQ(added.record->states[0].Failed, WdfUseDefault);
}

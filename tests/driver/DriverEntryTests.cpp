// Driver entry and device add of OrvanHIDI2C on the host.
#include "OrvanHidI2c.h"

#include <cstdio>
#include <cstring>

#include "Framework/Fx.h"
#include "HostTest.h"
#include "Kernel/Kernel.h"
#include "Runtime/Faults.h"
#include "Runtime/Trace.h"

using namespace host;

namespace {

std::string Hex(NTSTATUS status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", (unsigned)status);
  return text;
}

class DriverEntryTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    trace_ = std::make_unique<TraceSession>(WppControlBlock.ControlGuid, 0xFFFFFFFF, TRACE_LEVEL_VERBOSE);
  }
  void TearDown() override {
    if (driver_.handle) fx::UnloadDriver(driver_);
    trace_.reset();
    HostTest::TearDown();
  }

  bool TracedErrorWith(NTSTATUS status) const {
    for (auto &r : trace_->At(TRACE_LEVEL_ERROR))
      if (r.text.find(Hex(status)) != std::string::npos) return true;
    return false;
  }

  std::unique_ptr<TraceSession> trace_;
  fx::LoadedDriver driver_;
};

struct VersionCase {
  ULONG major;
  ULONG minor;
  bool exported;
  bool refused;
};

}  // namespace

TEST_F(DriverEntryTest, RefusesWindows8AndLater) {
  const VersionCase cases[] = {
      {6, 0, true, false},  {6, 1, true, false},  {6, 2, true, true},  {6, 3, true, true},  {10, 0, true, true},
      {6, 0, false, false}, {6, 1, false, false}, {6, 2, false, true}, {6, 3, false, true}, {10, 0, false, true},
  };
  for (const VersionCase &c : cases) {
    SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor) +
                 (c.exported ? " with RtlIsNtDdiVersionAvailable" : " with PsGetVersion only"));
    ResetForTest();
    trace_->Clear();
    kernel::Machine().osMajor = c.major;
    kernel::Machine().osMinor = c.minor;
    kernel::Machine().exportsRtlIsNtDdiVersionAvailable = c.exported;

    fx::LoadedDriver driver;
    NTSTATUS status = fx::LoadDriver(DriverEntry, driver);
    if (c.refused) {
      EXPECT_EQ(status, STATUS_REVISION_MISMATCH);
      EXPECT_EQ(Faults::Calls("WdfDriverCreate"), 0u);
      EXPECT_EQ(driver.handle, nullptr);
      EXPECT_FALSE(trace::ProviderRegistered(WppControlBlock.ControlGuid));
      EXPECT_TRUE(TracedErrorWith(STATUS_REVISION_MISMATCH));
    } else {
      EXPECT_EQ(status, STATUS_SUCCESS);
      EXPECT_NE(driver.handle, nullptr);
      EXPECT_TRUE(trace::ProviderRegistered(WppControlBlock.ControlGuid));
      fx::UnloadDriver(driver);
      EXPECT_FALSE(trace::ProviderRegistered(WppControlBlock.ControlGuid)) << "unload stops tracing";
    }
  }
}

TEST_F(DriverEntryTest, DriverCreateFailureIsReturnedUnchanged) {
  for (NTSTATUS injected : {STATUS_INSUFFICIENT_RESOURCES, STATUS_INVALID_PARAMETER, STATUS_DATA_ERROR}) {
    ResetForTest();
    trace_->Clear();
    Faults::FailNth("WdfDriverCreate", 1, injected);
    fx::LoadedDriver driver;
    EXPECT_EQ(fx::LoadDriver(DriverEntry, driver), injected);
    EXPECT_EQ(driver.handle, nullptr);
    EXPECT_FALSE(trace::ProviderRegistered(WppControlBlock.ControlGuid));
    EXPECT_TRUE(TracedErrorWith(injected)) << Hex(injected);
  }
}

TEST_F(DriverEntryTest, DeviceAddConfiguresTheFrameworkAsDesigned) {
  ASSERT_EQ(fx::LoadDriver(DriverEntry, driver_), STATUS_SUCCESS);
  auto added = fx::AddDevice(driver_);
  ASSERT_EQ(added.status, STATUS_SUCCESS);
  const fx::DeviceRecord &r = *added.record;

  ASSERT_TRUE(r.pnpCallbacksSet);
  WDF_PNPPOWER_EVENT_CALLBACKS expected;
  WDF_PNPPOWER_EVENT_CALLBACKS_INIT(&expected);
  expected.EvtDeviceD0Entry = EvtDeviceD0Entry;
  expected.EvtDeviceD0Exit = EvtDeviceD0Exit;
  expected.EvtDeviceD0ExitPreInterruptsDisabled = EvtDeviceD0ExitPreInterruptsDisabled;
  expected.EvtDevicePrepareHardware = EvtDevicePrepareHardware;
  expected.EvtDeviceReleaseHardware = EvtDeviceReleaseHardware;
  EXPECT_EQ(std::memcmp(&r.pnpCallbacks, &expected, sizeof expected), 0) << "the four PnP and power callbacks and the read path's quiescing";
  EXPECT_EQ(r.powerPolicyOwnership, 0);
  EXPECT_EQ(r.otherInitCalls, 0u);

  ASSERT_TRUE(r.attributesGiven);
  EXPECT_EQ(r.attributes.ContextTypeInfo, WDF_GET_CONTEXT_TYPE_INFO(DEVICE_EXTENSION));
  EXPECT_EQ(r.attributes.ExecutionLevel, WdfExecutionLevelInheritFromParent);
  EXPECT_EQ(r.attributes.SynchronizationScope, WdfSynchronizationScopeInheritFromParent);
  EXPECT_EQ(r.attributes.ParentObject, nullptr);
  EXPECT_EQ(r.attributes.EvtCleanupCallback, nullptr);

  ASSERT_EQ(r.states.size(), 1u);
  EXPECT_EQ(r.states[0].NotDisableable, WdfFalse);
  for (WDF_TRI_STATE s : {r.states[0].Disabled, r.states[0].DontDisplayInUI, r.states[0].Failed,
                          r.states[0].Removed, r.states[0].ResourcesChanged})
    EXPECT_EQ(s, WdfUseDefault);

  ASSERT_EQ(r.queues.size(), 2u);
  const WDF_IO_QUEUE_CONFIG &q0 = r.queues[0].config;
  EXPECT_EQ(q0.DispatchType, WdfIoQueueDispatchParallel);
  EXPECT_EQ(q0.PowerManaged, WdfUseDefault);
  EXPECT_FALSE(q0.AllowZeroLengthRequests);
  EXPECT_TRUE(q0.DefaultQueue);
  EXPECT_EQ(q0.EvtIoInternalDeviceControl, EvtIoInternalDeviceControl);
  EXPECT_EQ(q0.EvtIoDefault, nullptr);
  EXPECT_EQ(q0.EvtIoRead, nullptr);
  EXPECT_EQ(q0.EvtIoWrite, nullptr);
  EXPECT_EQ(q0.EvtIoDeviceControl, nullptr);
  EXPECT_EQ(q0.EvtIoStop, nullptr);
  EXPECT_EQ(q0.EvtIoResume, nullptr);
  EXPECT_EQ(q0.EvtIoCanceledOnQueue, nullptr);
  EXPECT_EQ(q0.Settings.Parallel.NumberOfPresentedRequests, 0xFFFFFFFFu);
  EXPECT_TRUE(r.queues[0].attributesGiven);
  EXPECT_EQ(r.queues[0].attributes.ExecutionLevel, WdfExecutionLevelInheritFromParent);
  EXPECT_EQ(r.queues[0].attributes.SynchronizationScope, WdfSynchronizationScopeInheritFromParent);
  EXPECT_EQ(r.queues[0].parent, (WDFOBJECT)added.device);

  const WDF_IO_QUEUE_CONFIG &q1 = r.queues[1].config;
  EXPECT_EQ(q1.DispatchType, WdfIoQueueDispatchManual);
  EXPECT_EQ(q1.PowerManaged, WdfUseDefault);
  EXPECT_FALSE(q1.AllowZeroLengthRequests);
  EXPECT_FALSE(q1.DefaultQueue);
  EXPECT_EQ(q1.EvtIoCanceledOnQueue, EvtIoCanceledOnReadQueue);
  EXPECT_EQ(q1.EvtIoInternalDeviceControl, nullptr);
  EXPECT_EQ(q1.EvtIoDefault, nullptr);
  EXPECT_FALSE(r.queues[1].attributesGiven);
  EXPECT_EQ(r.queues[1].parent, (WDFOBJECT)added.device);

  ASSERT_EQ(r.interrupts.size(), 1u);
  const WDF_INTERRUPT_CONFIG &i = r.interrupts[0].config;
  EXPECT_EQ(i.SpinLock, nullptr);
  EXPECT_EQ(i.ShareVector, WdfUseDefault);
  EXPECT_FALSE(i.FloatingSave);
  EXPECT_FALSE(i.AutomaticSerialization);
  EXPECT_EQ(i.EvtInterruptIsr, EvtInterruptIsr);
  EXPECT_EQ(i.EvtInterruptDpc, EvtInterruptDpc);
  EXPECT_EQ(i.EvtInterruptEnable, nullptr);
  EXPECT_EQ(i.EvtInterruptDisable, nullptr);
  EXPECT_FALSE(r.interrupts[0].attributesGiven);

  ASSERT_EQ(r.waitLocks.size(), 1u);
  EXPECT_TRUE(r.waitLocks[0].attributesGiven);
  EXPECT_EQ(r.waitLocks[0].parent, (WDFOBJECT)added.device);
  EXPECT_EQ(r.waitLocks[0].attributes.ContextTypeInfo, nullptr);

  PDEVICE_EXTENSION context = GetDeviceContext(added.device);
  EXPECT_EQ(context->ReadQueue, r.queues[1].handle);
  EXPECT_EQ(context->Interrupt, r.interrupts[0].handle);
  EXPECT_EQ(context->WaitLock, r.waitLocks[0].handle);
}

TEST_F(DriverEntryTest, AfterDeviceAddOnlyTheFourHandlesAreSet) {
  ASSERT_EQ(fx::LoadDriver(DriverEntry, driver_), STATUS_SUCCESS);
  auto added = fx::AddDevice(driver_);
  ASSERT_EQ(added.status, STATUS_SUCCESS);
  PDEVICE_EXTENSION context = GetDeviceContext(added.device);
  EXPECT_EQ(context->Device, added.device);
  EXPECT_NE(context->ReadQueue, nullptr);
  EXPECT_NE(context->Interrupt, nullptr);
  EXPECT_NE(context->WaitLock, nullptr);

  DEVICE_EXTENSION rest = *context;
  rest.Device = nullptr;
  rest.ReadQueue = nullptr;
  rest.Interrupt = nullptr;
  rest.WaitLock = nullptr;
  DEVICE_EXTENSION zero;
  std::memset(&zero, 0, sizeof zero);
  EXPECT_EQ(std::memcmp(&rest, &zero, sizeof zero), 0) << "every other field keeps its zero fill";
  EXPECT_FALSE(context->ResetSent);
  EXPECT_FALSE(context->ResetComplete);
  EXPECT_FALSE(context->I2cTargetRemoved);
  EXPECT_EQ(context->NextReadWorkItem, 0);
}

TEST_F(DriverEntryTest, EachCreationFailureStopsTheAdd) {
  struct Case {
    const char *routine;
    unsigned nth;
    size_t queues;
    size_t interrupts;
    size_t waitLocks;
  };
  const Case cases[] = {
      {"WdfDeviceCreate", 1, 0, 0, 0},
      {"WdfIoQueueCreate", 1, 0, 0, 0},
      {"WdfIoQueueCreate", 2, 1, 0, 0},  // the read queue: no interrupt, no wait lock
      {"WdfInterruptCreate", 1, 2, 0, 0},
      {"WdfWaitLockCreate", 1, 2, 1, 0},
  };
  const NTSTATUS injected = STATUS_INSUFFICIENT_RESOURCES;
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.routine) + " #" + std::to_string(c.nth));
    ResetForTest();
    trace_->Clear();
    fx::LoadedDriver driver;
    ASSERT_EQ(fx::LoadDriver(DriverEntry, driver), STATUS_SUCCESS);
    Faults::FailNth(c.routine, c.nth, injected);
    auto added = fx::AddDevice(driver);
    EXPECT_EQ(added.status, injected);
    EXPECT_EQ(added.device, nullptr);
    EXPECT_EQ(added.record->queues.size(), c.queues);
    EXPECT_EQ(added.record->interrupts.size(), c.interrupts);
    EXPECT_EQ(added.record->waitLocks.size(), c.waitLocks);
    EXPECT_TRUE(TracedErrorWith(injected));
    fx::UnloadDriver(driver);
  }
}

TEST_F(DriverEntryTest, EntryAndExitAreTracedVerbose) {
  ASSERT_EQ(fx::LoadDriver(DriverEntry, driver_), STATUS_SUCCESS);
  fx::AddDevice(driver_);
  EXPECT_FALSE(trace_->At(TRACE_LEVEL_VERBOSE, "DriverEntry").empty());
  EXPECT_FALSE(trace_->At(TRACE_LEVEL_VERBOSE, "EvtDeviceAdd").empty());
  for (auto &r : trace_->Records()) EXPECT_EQ(r.flag, "TRACE_DRIVER") << r.ToString();
}

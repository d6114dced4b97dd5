// The PnP and power life the host drives, interrupts and DPCs, work items,
// interface-change notification and the removal protocol of remote targets,
// each shown with a small driver that records what the framework calls.
#include <wdf.h>
#include <wdmguid.h>

#include "HostTest.h"
#include "Kernel/Io.h"
#include "MiniDriver.h"
#include "Runtime/Irql.h"

using namespace host;

namespace {

std::vector<std::string> gCalls;
std::function<void()> gOnDpc;
std::function<NTSTATUS()> gPrepare;
WDFWORKITEM gItem = nullptr;

NTSTATUS Prepare(WDFDEVICE, WDFCMRESLIST, WDFCMRESLIST translated) {
  gCalls.push_back("prepare:" + std::to_string(WdfCmResourceListGetCount(translated)));
  return gPrepare ? gPrepare() : STATUS_SUCCESS;
}
NTSTATUS Release(WDFDEVICE, WDFCMRESLIST) {
  gCalls.push_back("release");
  return STATUS_SUCCESS;
}
NTSTATUS D0Entry(WDFDEVICE, WDF_POWER_DEVICE_STATE) {
  gCalls.push_back("d0entry");
  return STATUS_SUCCESS;
}
NTSTATUS D0Exit(WDFDEVICE, WDF_POWER_DEVICE_STATE target) {
  gCalls.push_back("d0exit:" + std::to_string(target));
  return STATUS_SUCCESS;
}
NTSTATUS PreDisable(WDFDEVICE, WDF_POWER_DEVICE_STATE) {
  gCalls.push_back("predisable");
  return STATUS_SUCCESS;
}
BOOLEAN Isr(WDFINTERRUPT interrupt, ULONG) {
  gCalls.push_back(std::string("isr:") + std::to_string(CurrentIrql()));
  EXPECT_EQ(WdfInterruptQueueDpcForIsr(interrupt), TRUE);
  EXPECT_EQ(WdfInterruptQueueDpcForIsr(interrupt), FALSE) << "already queued";
  return TRUE;
}
void Dpc(WDFINTERRUPT interrupt, WDFOBJECT device) {
  gCalls.push_back(std::string("dpc:") + std::to_string(CurrentIrql()));
  EXPECT_EQ(WdfInterruptGetDevice(interrupt), (WDFDEVICE)device);
  if (gOnDpc) gOnDpc();
}
void Work(WDFWORKITEM item) {
  gCalls.push_back(std::string("work:") + std::to_string(CurrentIrql()));
  EXPECT_NE(WdfWorkItemGetParentObject(item), nullptr);
  Scheduler::Sleep(kTicksPerMs);
}

class PnpTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    gCalls.clear();
    gOnDpc = nullptr;
    gPrepare = nullptr;
    mini::hooks().afterCreate = [](WDFDEVICE device) {
      WDF_INTERRUPT_CONFIG config;
      WDF_INTERRUPT_CONFIG_INIT(&config, Isr, Dpc);
      WDFINTERRUPT interrupt;
      NTSTATUS status = WdfInterruptCreate(device, &config, WDF_NO_OBJECT_ATTRIBUTES, &interrupt);
      if (!NT_SUCCESS(status)) return status;
      mini::GetContext(device)->value = 1;
      WDF_WORKITEM_CONFIG work;
      WDF_WORKITEM_CONFIG_INIT(&work, Work);
      WDF_OBJECT_ATTRIBUTES attributes;
      WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
      attributes.ParentObject = device;
      return WdfWorkItemCreate(&work, &attributes, &gItem);
    };
    mini::Load(driver_);
  }
  void TearDown() override {
    fx::UnloadDriver(driver_);
    HostTest::TearDown();
  }
  WDFDEVICE Add() {
    // The mini driver registers the PnP and power callbacks through a
    // device-init record of its own; the host reads them from the record.
    auto added = fx::AddDevice(driver_);
    auto device = std::static_pointer_cast<fx::Device>(fx::LookupQuiet(added.device));
    WDF_PNPPOWER_EVENT_CALLBACKS &c = device->record->pnpCallbacks;
    c.EvtDevicePrepareHardware = Prepare;
    c.EvtDeviceReleaseHardware = Release;
    c.EvtDeviceD0Entry = D0Entry;
    c.EvtDeviceD0Exit = D0Exit;
    c.EvtDeviceD0ExitPreInterruptsDisabled = PreDisable;
    return added.device;
  }
  static fx::DeviceResources OneInterrupt() {
    CM_PARTIAL_RESOURCE_DESCRIPTOR d{};
    d.Type = CmResourceTypeInterrupt;
    fx::DeviceResources r;
    r.translated = {d};
    r.raw = r.translated;
    return r;
  }
  fx::LoadedDriver driver_;
};

}  // namespace

TEST_F(PnpTest, StartAndStopRunTheCallbacksInOrder) {
  RunControlled([&] {
    WDFDEVICE device = Add();
    EXPECT_EQ(fx::StartDevice(device, OneInterrupt()), STATUS_SUCCESS);
    EXPECT_EQ(fx::StateOf(device), fx::PnpState::Started);
    fx::StopDevice(device);
    EXPECT_EQ(fx::StateOf(device), fx::PnpState::Stopped);
    fx::RemoveDevice(device, false);
  });
  EXPECT_EQ(gCalls, (std::vector<std::string>{"prepare:1", "d0entry", "predisable",
                                              "d0exit:" + std::to_string(WdfPowerDeviceD3Final), "release"}));
}

TEST_F(PnpTest, AFailedPrepareIsFollowedByRelease) {
  gPrepare = [] { return STATUS_DATA_ERROR; };
  RunControlled([&] {
    WDFDEVICE device = Add();
    EXPECT_EQ(fx::StartDevice(device, OneInterrupt()), STATUS_DATA_ERROR);
    EXPECT_EQ(fx::StateOf(device), fx::PnpState::Failed);
    fx::RemoveDevice(device, false);
  });
  EXPECT_EQ(gCalls, (std::vector<std::string>{"prepare:1", "release"}));
}

TEST_F(PnpTest, FailedAndResourcesChangedRestartTheDeviceOnTheSameObject) {
  RunControlled([&] {
    WDFDEVICE device = Add();
    fx::StartDevice(device, OneInterrupt());
    gCalls.clear();
    fx::AsPnpEvent([&] {
      WDF_DEVICE_STATE state;
      WDF_DEVICE_STATE_INIT(&state);
      state.Failed = WdfTrue;
      state.ResourcesChanged = WdfTrue;
      WdfDeviceSetDeviceState(device, &state);
      EXPECT_TRUE(gCalls.empty()) << "the restart comes after the current event";
    });
    fx::WaitForPnpIdle();
    EXPECT_EQ(fx::RestartsOf(device), 1u);
    EXPECT_EQ(mini::GetContext(device)->value, 1) << "the same context";
    fx::RemoveDevice(device, false);
  });
  EXPECT_EQ(gCalls, (std::vector<std::string>{"predisable", "d0exit:" + std::to_string(WdfPowerDeviceD3Final),
                                              "release", "prepare:1", "d0entry", "predisable",
                                              "d0exit:" + std::to_string(WdfPowerDeviceD3Final), "release"}));
}

TEST_F(PnpTest, TheLineRunsTheIsrAtDirqlOnlyWhileConnected) {
  RunControlled([&] {
    WDFDEVICE device = Add();
    fx::SetInterruptLine(device, true);  // before the start: kept for the connection
    fx::SetInterruptLine(device, false);
    fx::StartDevice(device, OneInterrupt());
    Scheduler::Sleep(kTicksPerSecond);
    fx::StopDevice(device);
    fx::SetInterruptLine(device, true);
    Scheduler::Sleep(kTicksPerSecond);
    fx::RemoveDevice(device, false);
  });
  std::vector<std::string> isr;
  for (auto &c : gCalls)
    if (c.rfind("isr", 0) == 0 || c.rfind("dpc", 0) == 0) isr.push_back(c);
  EXPECT_EQ(isr, (std::vector<std::string>{"isr:12", "dpc:2"})) << "one interrupt, while connected";
}

TEST_F(PnpTest, WorkItemsRunAtPassiveAndFlushWaitsForThem) {
  gOnDpc = [] {
    WdfWorkItemEnqueue(gItem);
    WdfWorkItemEnqueue(gItem);  // still queued: nothing
  };
  RunControlled([&] {
    WDFDEVICE device = Add();
    fx::StartDevice(device, OneInterrupt());
    fx::SetInterruptLine(device, true);
    Scheduler::Sleep(kTicksPerMs / 2);
    WdfWorkItemFlush(gItem);
    size_t works = 0;
    for (auto &c : gCalls) works += c == "work:0";
    auto item = std::static_pointer_cast<fx::WorkItem>(fx::LookupQuiet(gItem));
    // The second enqueue is a no-op unless the first run had started by then.
    EXPECT_GE(works, 1u);
    EXPECT_LE(works, 2u);
    EXPECT_EQ(item->enqueued, works) << "flush returned after every queued run";
    fx::RemoveDevice(device, false);
  });
}

TEST_F(PnpTest, ResourceListsAnswerCountAndDescriptors) {
  gPrepare = [] { return STATUS_SUCCESS; };
  RunControlled([&] {
    WDFDEVICE device = Add();
    fx::DeviceResources r = OneInterrupt();
    CM_PARTIAL_RESOURCE_DESCRIPTOR memory{};
    memory.Type = CmResourceTypeMemory;
    r.translated.push_back(memory);
    auto dev = std::static_pointer_cast<fx::Device>(fx::LookupQuiet(device));
    dev->record->pnpCallbacks.EvtDevicePrepareHardware = [](WDFDEVICE, WDFCMRESLIST, WDFCMRESLIST t) -> NTSTATUS {
      EXPECT_EQ(WdfCmResourceListGetCount(t), 2u);
      EXPECT_EQ(WdfCmResourceListGetDescriptor(t, 1)->Type, CmResourceTypeMemory);
      EXPECT_EQ(WdfCmResourceListGetDescriptor(t, 2), nullptr);
      return STATUS_SUCCESS;
    };
    EXPECT_EQ(fx::StartDevice(device, r), STATUS_SUCCESS);
    fx::RemoveDevice(device, false);
  });
}

namespace {

const GUID kClass = {0xABCDEF01, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
struct Seen {
  std::vector<std::pair<bool, std::u16string>> events;
};
NTSTATUS OnChange(PVOID n, PVOID context) {
  auto *notification = (PDEVICE_INTERFACE_CHANGE_NOTIFICATION)n;
  EXPECT_EQ(CurrentIrql(), PASSIVE_LEVEL);
  ((Seen *)context)
      ->events.emplace_back(IsEqualGUID(notification->Event, GUID_DEVICE_INTERFACE_ARRIVAL),
                            io::ToName(notification->SymbolicLinkName->Buffer,
                                       notification->SymbolicLinkName->Length / 2));
  return STATUS_SUCCESS;
}

class Nobody : public io::Endpoint {
 public:
  std::string Name() const override { return "nobody"; }
  void Dispatch(const std::shared_ptr<io::Packet> &p) override { p->Complete(STATUS_SUCCESS, 0); }
};

}  // namespace

TEST_F(PnpTest, InterfaceNotificationsReportExistingThenLaterChanges) {
  auto peer = std::make_shared<Nobody>();
  io::PublishInterface(kClass, u"\\??\\ONE", peer);
  io::PublishInterface(kClass, u"\\??\\TWO", peer);
  Seen seen;
  PVOID entry = nullptr;
  RunControlled([&] {
    ASSERT_EQ(IoRegisterPlugPlayNotification(EventCategoryDeviceInterfaceChange,
                                             PNPNOTIFY_DEVICE_INTERFACE_INCLUDE_EXISTING_INTERFACES, (PVOID)&kClass,
                                             &driver_.wdm, OnChange, &seen, &entry),
              STATUS_SUCCESS);
    EXPECT_EQ(seen.events.size(), 2u) << "existing interfaces before the call returns";
    io::PublishInterface(kClass, u"\\??\\THREE", peer);
    io::WithdrawInterface(u"\\??\\ONE");
    EXPECT_EQ(IoUnregisterPlugPlayNotification(entry), STATUS_SUCCESS);
    io::PublishInterface(kClass, u"\\??\\FOUR", peer);
  });
  EXPECT_EQ(seen.events, (std::vector<std::pair<bool, std::u16string>>{
                             {true, u"\\??\\ONE"}, {true, u"\\??\\TWO"}, {true, u"\\??\\THREE"}, {false, u"\\??\\ONE"}}));
}

namespace {

int gQueryRemoves = 0, gCanceled = 0, gCompleted = 0;
NTSTATUS gQueryAnswer = STATUS_SUCCESS;
bool gClose = true;
NTSTATUS QueryRemove(WDFIOTARGET t) {
  ++gQueryRemoves;
  if (NT_SUCCESS(gQueryAnswer) && gClose) WdfIoTargetCloseForQueryRemove(t);
  return gQueryAnswer;
}
void Canceled(WDFIOTARGET) { ++gCanceled; }
void Completed(WDFIOTARGET t) {
  ++gCompleted;
  WdfObjectDelete(t);
}

}  // namespace

TEST_F(PnpTest, RemovalProtocolOfARemoteTarget) {
  struct Case {
    NTSTATUS answer;
    bool close;
    NTSTATUS removal;
    int canceled, completed;
  };
  const Case cases[] = {
      {STATUS_SUCCESS, true, STATUS_SUCCESS, 0, 1},
      {STATUS_UNSUCCESSFUL, true, STATUS_UNSUCCESSFUL, 1, 0},      // a veto
      {STATUS_SUCCESS, false, STATUS_UNSUCCESSFUL, 1, 0},          // agreeing without closing
  };
  for (const Case &c : cases) {
    gQueryRemoves = gCanceled = gCompleted = 0;
    gQueryAnswer = c.answer;
    gClose = c.close;
    auto peer = std::make_shared<Nobody>();
    io::PublishInterface(kClass, u"\\??\\PEER", peer);
    RunControlled([&] {
      WDFDEVICE device = Add();
      WDFIOTARGET target;
      ASSERT_EQ(WdfIoTargetCreate(device, WDF_NO_OBJECT_ATTRIBUTES, &target), STATUS_SUCCESS);
      WCHAR name[] = L"\\??\\PEER";
      UNICODE_STRING unicode{sizeof name - 2, sizeof name, name};
      WDF_IO_TARGET_OPEN_PARAMS params;
      WDF_IO_TARGET_OPEN_PARAMS_INIT_OPEN_BY_NAME(&params, &unicode, FILE_READ_DATA);
      params.EvtIoTargetQueryRemove = QueryRemove;
      params.EvtIoTargetRemoveCanceled = Canceled;
      params.EvtIoTargetRemoveComplete = Completed;
      ASSERT_EQ(WdfIoTargetOpen(target, &params), STATUS_SUCCESS);
      NTSTATUS removal = peer->Notify(io::RemovalEvent::QueryRemove);
      EXPECT_EQ(removal, c.removal);
      peer->Notify(NT_SUCCESS(removal) ? io::RemovalEvent::RemoveComplete : io::RemovalEvent::RemoveCanceled);
      EXPECT_EQ(gQueryRemoves, 1);
      EXPECT_EQ(gCanceled, c.canceled);
      EXPECT_EQ(gCompleted, c.completed);
      fx::RemoveDevice(device, false);
    });
    io::WithdrawInterface(u"\\??\\PEER");
  }
}

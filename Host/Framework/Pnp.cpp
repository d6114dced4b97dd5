// The PnP and power life of a device as the framework drives it: start,
// stop, removal, surprise removal and the restart a driver asks for by
// reporting its device failed with changed resources.
#include "../Runtime/Irql.h"
#include "../Runtime/Verifier.h"
#include "Fx.h"

namespace host::fx {
namespace {

std::mutex gPendingMutex;
int gPendingEvents = 0;
SimEvent &PendingIdle() {
  static SimEvent idle(true, true, "PnP event queue idle");
  return idle;
}

WDFCMRESLIST MakeList(Device &device, const std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR> &descriptors) {
  auto list = std::make_shared<ResourceList>();
  list->descriptors = descriptors;
  return (WDFCMRESLIST)Register(list, &device);
}

void DeleteList(WDFCMRESLIST handle) {
  if (auto list = LookupQuiet(handle)) Delete(list);
}

}  // namespace
void RunIsr(const std::shared_ptr<Interrupt> &interrupt);
namespace {

std::shared_ptr<Interrupt> InterruptOf(Device &device) {
  return std::static_pointer_cast<Interrupt>(LookupQuiet(device.interrupt));
}

// The framework waits, before a power-down, for the requests it presented
// from power-managed queues and the driver still holds.
void WaitForDriverOwnedRequests(Device &device) {
  for (int waited = 0;; ++waited) {
    size_t held = 0;
    {
      std::lock_guard<std::recursive_mutex> lock(TreeLock());
      for (Request *r : device.liveRequests)
        if (r->presented && r->queue == nullptr && !r->completed) ++held;
    }
    if (held == 0) return;
    if (waited == 60'000) {
      Verifier::Report(rules::Usage, "power-down",
                       std::to_string(held) + " request(s) held by the driver block the power-down");
      return;
    }
    Scheduler::Sleep(kTicksPerMs);
  }
}

NTSTATUS Release(Device &device, WDFCMRESLIST translated) {
  NTSTATUS status = STATUS_SUCCESS;
  if (auto release = device.record->pnpCallbacks.EvtDeviceReleaseHardware) {
    WDFDEVICE handle = (WDFDEVICE)device.handle;
    Callback("EvtDeviceReleaseHardware", [&] { status = release(handle, translated); });
  }
  return status;
}

void StopLocked(Device &device, WDF_POWER_DEVICE_STATE target) {
  if (device.pnpState != (int)PnpState::Started) return;
  WDFDEVICE handle = (WDFDEVICE)device.handle;
  SetDeviceInD0(handle, false);
  WaitForDriverOwnedRequests(device);
  if (auto preDisable = device.record->pnpCallbacks.EvtDeviceD0ExitPreInterruptsDisabled)
    Callback("EvtDeviceD0ExitPreInterruptsDisabled", [&] { preDisable(handle, target); });
  if (auto interrupt = InterruptOf(device)) {
    {
      std::lock_guard<std::mutex> lock(interrupt->mutex);
      interrupt->connected = false;
    }
    // Disconnecting flushes queued DPCs; work items are not flushed.
    interrupt->dpcIdle.Wait();
  }
  NTSTATUS status = STATUS_SUCCESS;
  if (auto d0Exit = device.record->pnpCallbacks.EvtDeviceD0Exit)
    Callback("EvtDeviceD0Exit", [&] { status = d0Exit(handle, target); });
  WDFCMRESLIST translated = MakeList(device, device.resources.translated);
  Release(device, translated);
  DeleteList(translated);
  // A failed power-down fails the device instead of stopping it.
  device.pnpState = NT_SUCCESS(status) ? (int)PnpState::Stopped : (int)PnpState::Failed;
}

NTSTATUS StartLocked(Device &device) {
  WDFDEVICE handle = (WDFDEVICE)device.handle;
  if (device.pnpState == (int)PnpState::Started || device.pnpState == (int)PnpState::Removed)
    return STATUS_INVALID_DEVICE_STATE;
  // The restart request is cleared before every start; one made during it stands.
  device.restartRequested = false;
  WDFCMRESLIST raw = MakeList(device, device.resources.raw);
  WDFCMRESLIST translated = MakeList(device, device.resources.translated);
  // A failed preparation or D0 entry is followed by release (no D0 exit),
  // and the start fails.
  auto fail = [&](NTSTATUS status) {
    Release(device, translated);
    DeleteList(raw);
    DeleteList(translated);
    device.pnpState = (int)PnpState::Failed;
    return status;
  };
  NTSTATUS status = STATUS_SUCCESS;
  if (auto prepare = device.record->pnpCallbacks.EvtDevicePrepareHardware)
    Callback("EvtDevicePrepareHardware", [&] { status = prepare(handle, raw, translated); });
  if (!NT_SUCCESS(status)) return fail(status);
  if (auto d0Entry = device.record->pnpCallbacks.EvtDeviceD0Entry)
    Callback("EvtDeviceD0Entry", [&] { status = d0Entry(handle, WdfPowerDeviceD3Final); });
  if (!NT_SUCCESS(status)) return fail(status);
  bool hasInterruptResource = false;
  for (auto &d : device.resources.translated)
    if (d.Type == CmResourceTypeInterrupt) hasInterruptResource = true;
  if (auto interrupt = InterruptOf(device)) {
    {
      std::lock_guard<std::mutex> lock(interrupt->mutex);
      interrupt->connected = hasInterruptResource;
    }
    bool level;
    {
      std::lock_guard<std::recursive_mutex> lock(TreeLock());
      level = device.lineLevel || device.pendingEdge;
      device.pendingEdge = false;
    }
    if (hasInterruptResource && level) RunIsr(interrupt);
  }
  device.pnpState = (int)PnpState::Started;
  DeleteList(raw);
  DeleteList(translated);
  SetDeviceInD0(handle, true);
  return STATUS_SUCCESS;
}

void SpawnPnpEvent(std::string name, std::function<void()> operation) {
  {
    std::lock_guard<std::mutex> lock(gPendingMutex);
    if (gPendingEvents++ == 0) PendingIdle().Reset();
  }
  Scheduler::Spawn(std::move(name), [operation] {
    AsPnpEvent(operation);
    bool idle;
    {
      std::lock_guard<std::mutex> lock(gPendingMutex);
      idle = --gPendingEvents == 0;
    }
    if (idle) PendingIdle().Set();
  });
}

}  // namespace

void AsPnpEvent(const std::function<void()> &operation) {
  io::PnpEventScope event;
  uint8_t irql = CurrentIrql();
  SetCurrentIrql(PASSIVE_LEVEL);
  operation();
  SetCurrentIrql(irql);
}

void WaitForPnpIdle() { PendingIdle().Wait(); }

NTSTATUS StartDevice(WDFDEVICE handle, const DeviceResources &resources) {
  auto device = Get<Device>(handle, Kind::Device, "StartDevice");
  if (!device) return STATUS_INVALID_PARAMETER;
  NTSTATUS status;
  AsPnpEvent([&] {
    device->resources = resources;
    status = StartLocked(*device);
  });
  return status;
}

void StopDevice(WDFDEVICE handle) {
  auto device = Get<Device>(handle, Kind::Device, "StopDevice");
  if (device) AsPnpEvent([&] { StopLocked(*device, WdfPowerDeviceD3Final); });
}

void RemoveDevice(WDFDEVICE handle, bool surprise) {
  (void)surprise;  // this driver registers no surprise-removal callback: both take the same path
  auto device = Get<Device>(handle, Kind::Device, "RemoveDevice");
  if (!device) return;
  AsPnpEvent([&] {
    StopLocked(*device, WdfPowerDeviceD3Final);
    // Purge: the queues take nothing more, and what waits in them is cancelled.
    std::vector<std::shared_ptr<Queue>> queues;
    {
      std::lock_guard<std::recursive_mutex> lock(TreeLock());
      for (auto &c : device->children)
        if (c->kind == Kind::Queue) queues.push_back(std::static_pointer_cast<Queue>(c));
    }
    for (auto &q : queues) {
      std::vector<std::shared_ptr<Request>> waiting;
      {
        std::lock_guard<std::recursive_mutex> lock(TreeLock());
        q->purged = true;
        waiting.swap(q->waiting);
        for (auto &r : waiting) r->queue = nullptr;
      }
      for (auto &r : waiting) {
        if (r->presented && q->config.EvtIoCanceledOnQueue) {
          auto callback = q->config.EvtIoCanceledOnQueue;
          WDFQUEUE queueHandle = (WDFQUEUE)q->handle;
          WDFREQUEST requestHandle = (WDFREQUEST)r->handle;
          Callback("EvtIoCanceledOnQueue", [&] { callback(queueHandle, requestHandle); });
        } else {
          r->irp.IoStatus.Information = 0;
          CompleteRequest(r, STATUS_CANCELLED, "queue purge");
        }
      }
    }
    WaitForDriverOwnedRequests(*device);
    device->pnpState = (int)PnpState::Removed;
    Delete(device);
  });
}

PnpState StateOf(WDFDEVICE handle) {
  auto device = std::static_pointer_cast<Device>(LookupQuiet(handle));
  return device ? (PnpState)device->pnpState : PnpState::Removed;
}

unsigned RestartsOf(WDFDEVICE handle) {
  auto device = std::static_pointer_cast<Device>(LookupQuiet(handle));
  return device ? device->restarts : 0;
}

// Failed and ResourcesChanged both WdfTrue: the PnP manager stops the device
// and starts it again, on the same device object, after the current event.
void RequestRestart(Device &device) {
  device.restartRequested = true;
  std::weak_ptr<Device> weak = std::static_pointer_cast<Device>(device.shared_from_this());
  SpawnPnpEvent("pnp restart", [weak] {
    auto device = weak.lock();
    if (!device || device->deleted || !device->restartRequested) return;
    if (device->pnpState != (int)PnpState::Started) return;
    device->restartRequested = false;
    ++device->restarts;
    StopLocked(*device, WdfPowerDeviceD3Final);
    if (device->pnpState == (int)PnpState::Stopped) StartLocked(*device);
  });
}

}  // namespace host::fx

using namespace host;
using namespace host::fx;

EXTERN_C ULONG WdfCmResourceListGetCount(WDFCMRESLIST List) {
  Enter("WdfCmResourceListGetCount", DISPATCH_LEVEL);
  auto list = Get<ResourceList>(List, Kind::ResourceList, "WdfCmResourceListGetCount");
  return list ? (ULONG)list->descriptors.size() : 0;
}

EXTERN_C PCM_PARTIAL_RESOURCE_DESCRIPTOR WdfCmResourceListGetDescriptor(WDFCMRESLIST List, ULONG Index) {
  Enter("WdfCmResourceListGetDescriptor", DISPATCH_LEVEL);
  auto list = Get<ResourceList>(List, Kind::ResourceList, "WdfCmResourceListGetDescriptor");
  if (!list || Index >= list->descriptors.size()) return nullptr;
  return &list->descriptors[Index];
}

// I/O targets: the device's default target (the device below it) and remote
// targets opened by name, synchronous sends with time-outs, interface
// queries, and the removal protocol of the device a target is opened on.
#include <algorithm>
#include <cstring>

#include "../Runtime/Irql.h"
#include "../Runtime/Verifier.h"
#include "Fx.h"

namespace host::fx {

void IoTarget::Close(State to) {
  std::vector<std::shared_ptr<io::Packet>> sent;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (state == State::Deleted) return;
    state = to;
    sent = inFlight;
  }
  // Closing cancels what was sent and waits for it to come back.
  for (auto &p : sent) p->Cancel();
  for (auto &p : sent) p->WaitForCompletion(kInfinite);
}

void IoTarget::Dispose() {
  Close(State::Deleted);
  if (watch && endpoint) endpoint->Unwatch(watch);
  watch = 0;
}

namespace {

NTSTATUS OnRemovalEvent(const std::weak_ptr<IoTarget> &weak, io::RemovalEvent event) {
  auto target = weak.lock();
  if (!target) return STATUS_SUCCESS;
  WDFIOTARGET handle = (WDFIOTARGET)target->handle;
  switch (event) {
    case io::RemovalEvent::QueryRemove: {
      if (!target->params.EvtIoTargetQueryRemove) {
        target->Close(IoTarget::State::ClosedForQueryRemove);
        return STATUS_SUCCESS;
      }
      NTSTATUS status = STATUS_SUCCESS;
      auto callback = target->params.EvtIoTargetQueryRemove;
      Callback("EvtIoTargetQueryRemove", [&] { status = callback(handle); });
      bool stillOpen;
      {
        std::lock_guard<std::mutex> lock(target->mutex);
        stillOpen = target->state == IoTarget::State::Open;
      }
      // Agreeing without closing leaves the handle open, and that stops the removal too.
      if (NT_SUCCESS(status) && stillOpen) return STATUS_UNSUCCESSFUL;
      return status;
    }
    case io::RemovalEvent::RemoveCanceled: {
      if (target->params.EvtIoTargetRemoveCanceled) {
        auto callback = target->params.EvtIoTargetRemoveCanceled;
        Callback("EvtIoTargetRemoveCanceled", [&] { callback(handle); });
      } else {
        std::lock_guard<std::mutex> lock(target->mutex);
        if (target->state == IoTarget::State::ClosedForQueryRemove) target->state = IoTarget::State::Open;
      }
      return STATUS_SUCCESS;
    }
    case io::RemovalEvent::RemoveComplete: {
      if (target->params.EvtIoTargetRemoveComplete) {
        auto callback = target->params.EvtIoTargetRemoveComplete;
        Callback("EvtIoTargetRemoveComplete", [&] { callback(handle); });
      } else {
        target->Close(IoTarget::State::Closed);
      }
      return STATUS_SUCCESS;
    }
  }
  return STATUS_SUCCESS;
}

}  // namespace

}  // namespace host::fx

using namespace host;
using namespace host::fx;

EXTERN_C WDFIOTARGET WdfDeviceGetIoTarget(WDFDEVICE Device) {
  Enter("WdfDeviceGetIoTarget", DISPATCH_LEVEL);
  auto device = Get<fx::Device>(Device, Kind::Device, "WdfDeviceGetIoTarget");
  if (!device) return nullptr;
  std::lock_guard<std::recursive_mutex> lock(TreeLock());
  if (!device->defaultTarget) {
    auto target = std::make_shared<IoTarget>();
    target->device = device.get();
    target->isDefault = true;
    target->driverMayDelete = false;
    target->endpoint = device->lower;
    target->state = device->lower ? IoTarget::State::Open : IoTarget::State::Closed;
    device->defaultTarget = (WDFIOTARGET)Register(target, device.get());
  }
  return device->defaultTarget;
}

EXTERN_C NTSTATUS WdfIoTargetCreate(WDFDEVICE Device, PWDF_OBJECT_ATTRIBUTES IoTargetAttributes,
                                    WDFIOTARGET *IoTarget) {
  Enter("WdfIoTargetCreate", PASSIVE_LEVEL);
  *IoTarget = nullptr;
  auto device = Get<fx::Device>(Device, Kind::Device, "WdfIoTargetCreate");
  if (!device) return STATUS_INVALID_PARAMETER;
  NTSTATUS status;
  if (Injected("WdfIoTargetCreate", &status)) return status;
  auto target = std::make_shared<fx::IoTarget>();
  target->device = device.get();
  status = ApplyAttributes(*target, IoTargetAttributes, "WdfIoTargetCreate");
  if (!NT_SUCCESS(status)) return status;
  Object *parent = device.get();
  if (IoTargetAttributes && IoTargetAttributes->ParentObject) {
    auto p = Lookup(IoTargetAttributes->ParentObject, "WdfIoTargetCreate");
    if (!p || DeviceOf(p.get()) != device.get()) return STATUS_INVALID_DEVICE_REQUEST;
    parent = p.get();
  }
  *IoTarget = (WDFIOTARGET)Register(target, parent);
  return STATUS_SUCCESS;
}

EXTERN_C NTSTATUS WdfIoTargetOpen(WDFIOTARGET IoTarget, PWDF_IO_TARGET_OPEN_PARAMS OpenParams) {
  Enter("WdfIoTargetOpen", PASSIVE_LEVEL);
  auto target = Get<fx::IoTarget>(IoTarget, Kind::IoTarget, "WdfIoTargetOpen");
  if (!target) return STATUS_INVALID_PARAMETER;
  if (OpenParams == nullptr || OpenParams->Size != sizeof(WDF_IO_TARGET_OPEN_PARAMS)) return STATUS_INFO_LENGTH_MISMATCH;
  NTSTATUS status;
  if (Injected("WdfIoTargetOpen", &status)) return status;
  if (OpenParams->Type != WdfIoTargetOpenByName) {
    Verifier::Report(rules::NotModelled, "WdfIoTargetOpen", "only opening by name is modelled");
    return STATUS_NOT_SUPPORTED;
  }
  {
    std::lock_guard<std::mutex> lock(target->mutex);
    if (target->state != fx::IoTarget::State::Closed || target->endpoint) return STATUS_INVALID_DEVICE_STATE;
  }
  const UNICODE_STRING &name = OpenParams->TargetDeviceName;
  io::Name resolved = io::ToName(name.Buffer, name.Length / sizeof(WCHAR));
  auto endpoint = io::Resolve(resolved);
  if (!endpoint) return STATUS_OBJECT_NAME_NOT_FOUND;
  std::weak_ptr<fx::IoTarget> weak = target;
  {
    std::lock_guard<std::mutex> lock(target->mutex);
    target->params = *OpenParams;
    target->params.TargetDeviceName = UNICODE_STRING{};  // the caller's buffer is not kept
    target->openedName = resolved;
    target->endpoint = endpoint;
    target->state = fx::IoTarget::State::Open;
  }
  target->watch = endpoint->Watch([weak](io::RemovalEvent event) { return OnRemovalEvent(weak, event); });
  return STATUS_SUCCESS;
}

EXTERN_C void WdfIoTargetCloseForQueryRemove(WDFIOTARGET IoTarget) {
  Enter("WdfIoTargetCloseForQueryRemove", PASSIVE_LEVEL);
  auto target = Get<fx::IoTarget>(IoTarget, Kind::IoTarget, "WdfIoTargetCloseForQueryRemove");
  if (target) target->Close(fx::IoTarget::State::ClosedForQueryRemove);
}

EXTERN_C void WdfIoTargetClose(WDFIOTARGET IoTarget) {
  Enter("WdfIoTargetClose", PASSIVE_LEVEL);
  auto target = Get<fx::IoTarget>(IoTarget, Kind::IoTarget, "WdfIoTargetClose");
  if (target) target->Close(fx::IoTarget::State::Closed);
}

EXTERN_C WDFDEVICE WdfIoTargetGetDevice(WDFIOTARGET IoTarget) {
  Enter("WdfIoTargetGetDevice", DISPATCH_LEVEL);
  auto target = Get<fx::IoTarget>(IoTarget, Kind::IoTarget, "WdfIoTargetGetDevice");
  return target ? (WDFDEVICE)target->device->handle : nullptr;
}

EXTERN_C NTSTATUS WdfIoTargetSendIoctlSynchronously(WDFIOTARGET IoTarget, WDFREQUEST Request, ULONG IoctlCode,
                                                    PWDF_MEMORY_DESCRIPTOR InputBuffer,
                                                    PWDF_MEMORY_DESCRIPTOR OutputBuffer,
                                                    PWDF_REQUEST_SEND_OPTIONS RequestOptions,
                                                    PULONG_PTR BytesReturned) {
  EnterBlocking("WdfIoTargetSendIoctlSynchronously");
  if (BytesReturned) *BytesReturned = 0;
  auto target = Get<fx::IoTarget>(IoTarget, Kind::IoTarget, "WdfIoTargetSendIoctlSynchronously");
  if (!target) return STATUS_INVALID_DEVICE_STATE;
  if (Request != nullptr) {
    Verifier::Report(rules::NotModelled, "WdfIoTargetSendIoctlSynchronously", "a driver-supplied request");
    return STATUS_NOT_SUPPORTED;
  }
  for (PWDF_MEMORY_DESCRIPTOR d : {InputBuffer, OutputBuffer})
    if (d && d->Type != WdfMemoryDescriptorTypeBuffer) {
      Verifier::Report(rules::NotModelled, "WdfIoTargetSendIoctlSynchronously", "only buffer descriptors");
      return STATUS_NOT_SUPPORTED;
    }
  if (RequestOptions && RequestOptions->Size != sizeof(WDF_REQUEST_SEND_OPTIONS)) return STATUS_INFO_LENGTH_MISMATCH;
  NTSTATUS status;
  if (Injected("WdfIoTargetSendIoctlSynchronously", &status)) return status;

  const void *in = InputBuffer ? InputBuffer->u.BufferType.Buffer : nullptr;
  ULONG inLength = InputBuffer ? InputBuffer->u.BufferType.Length : 0;
  void *out = OutputBuffer ? OutputBuffer->u.BufferType.Buffer : nullptr;
  ULONG outLength = OutputBuffer ? OutputBuffer->u.BufferType.Length : 0;
  auto packet = std::make_shared<io::Packet>(IoctlCode, in, inLength, outLength);
  std::shared_ptr<io::Endpoint> endpoint;
  {
    std::lock_guard<std::mutex> lock(target->mutex);
    ++target->sends;
    target->optionsGiven = RequestOptions != nullptr;
    if (RequestOptions) target->lastOptions = *RequestOptions;
    if (target->state != fx::IoTarget::State::Open || !target->endpoint) return STATUS_INVALID_DEVICE_STATE;
    endpoint = target->endpoint;
    target->inFlight.push_back(packet);
  }
  endpoint->Dispatch(packet);

  Ticks timeout = kInfinite;
  if (RequestOptions && (RequestOptions->Flags & WDF_REQUEST_SEND_OPTION_TIMEOUT) && RequestOptions->Timeout != 0)
    timeout = RequestOptions->Timeout < 0 ? -RequestOptions->Timeout
                                          : std::max<Ticks>(0, RequestOptions->Timeout - Scheduler::Now());
  bool timedOut = false;
  if (!packet->WaitForCompletion(timeout)) {
    // The framework cancels the request and then waits for the device to give it back.
    timedOut = true;
    packet->Cancel();
    packet->WaitForCompletion(kInfinite);
  }
  {
    std::lock_guard<std::mutex> lock(target->mutex);
    auto &f = target->inFlight;
    f.erase(std::remove(f.begin(), f.end(), packet), f.end());
  }
  status = packet->Status();
  ULONG_PTR information = packet->Information();
  if (out && information) std::memcpy(out, packet->output.data(), std::min<size_t>(information, outLength));
  if (timedOut && status == STATUS_CANCELLED) status = STATUS_IO_TIMEOUT;
  if (BytesReturned) *BytesReturned = information;
  return status;
}

EXTERN_C NTSTATUS WdfIoTargetQueryForInterface(WDFIOTARGET IoTarget, LPCGUID InterfaceType, PINTERFACE Interface,
                                               USHORT Size, USHORT Version, PVOID InterfaceSpecificData) {
  Enter("WdfIoTargetQueryForInterface", PASSIVE_LEVEL);
  auto target = Get<fx::IoTarget>(IoTarget, Kind::IoTarget, "WdfIoTargetQueryForInterface");
  if (!target) return STATUS_INVALID_PARAMETER;
  if (InterfaceType == nullptr || Interface == nullptr) return STATUS_INVALID_PARAMETER;
  NTSTATUS status;
  if (Injected("WdfIoTargetQueryForInterface", &status)) return status;
  std::shared_ptr<io::Endpoint> endpoint;
  {
    std::lock_guard<std::mutex> lock(target->mutex);
    if (target->state != fx::IoTarget::State::Open) return STATUS_INVALID_DEVICE_STATE;
    endpoint = target->endpoint;
  }
  return endpoint->QueryInterface(*InterfaceType, Interface, Size, Version, InterfaceSpecificData);
}

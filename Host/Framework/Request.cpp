// Requests: internal I/O controls presented on a device's default queue,
// parked in manual queues, cancelled, retrieved and completed; the memory
// objects over their buffers.
#include <algorithm>
#include <cstring>
#include <deque>

#include "../Runtime/Irql.h"
#include "../Runtime/Verifier.h"
#include "Fx.h"

namespace host::fx {
namespace {

// Completed requests keep their handles for a while, so that a late use is
// reported as such; older ones are deleted and their handles go stale.
constexpr size_t kTombstones = 4096;
std::mutex gTombstoneMutex;
std::deque<std::shared_ptr<Request>> gTombstones;

void Bury(const std::shared_ptr<Request> &request) {
  std::shared_ptr<Request> oldest;
  {
    std::lock_guard<std::mutex> lock(gTombstoneMutex);
    gTombstones.push_back(request);
    if (gTombstones.size() > kTombstones) {
      oldest = gTombstones.front();
      gTombstones.pop_front();
    }
  }
  if (oldest) Delete(oldest);
}

void Unlink(Request &request) {
  std::lock_guard<std::recursive_mutex> lock(TreeLock());
  auto &live = request.device->liveRequests;
  live.erase(std::remove(live.begin(), live.end(), &request), live.end());
}

// A live request, or null with a breach for one already completed.
std::shared_ptr<Request> LiveRequest(WDFREQUEST handle, const char *routine) {
  auto request = Get<Request>(handle, Kind::Request, routine);
  if (request && request->completed) {
    Verifier::Report(rules::RequestAfterCompletion, routine, "the request was completed before");
    return nullptr;
  }
  return request;
}

void Present(const std::shared_ptr<Request> &request, Queue &queue) {
  request->presented = true;
  request->queue = nullptr;
  WDFQUEUE queueHandle = (WDFQUEUE)queue.handle;
  WDFREQUEST handle = (WDFREQUEST)request->handle;
  const auto &p = request->stack.Parameters.DeviceIoControl;
  auto callback = queue.config.EvtIoInternalDeviceControl;
  Callback("EvtIoInternalDeviceControl",
           [&] { callback(queueHandle, handle, p.OutputBufferLength, p.InputBufferLength, p.IoControlCode); });
}

}  // namespace

void CompleteRequest(const std::shared_ptr<Request> &request, NTSTATUS status, const char *routine) {
  std::shared_ptr<IrpCompletion> completion;
  {
    std::lock_guard<std::recursive_mutex> lock(TreeLock());
    if (request->completed) {
      Verifier::Report(rules::RequestDoubleCompletion, routine);
      return;
    }
    if (request->queue != nullptr) {
      Verifier::Report(rules::RequestCompletedInQueue, routine, "the request still sits in a queue");
      return;
    }
    request->completed = true;
    request->irp.IoStatus.Status = status;
    completion = request->completion;
  }
  const auto &p = request->stack.Parameters.DeviceIoControl;
  if (NT_SUCCESS(status) && request->boundInformation && request->irp.IoStatus.Information > p.OutputBufferLength)
    Verifier::Report(rules::RequestInformation, routine,
                     std::to_string(request->irp.IoStatus.Information) + " bytes for a buffer of " +
                         std::to_string(p.OutputBufferLength));
  Unlink(*request);
  completion->status = status;
  completion->information = request->irp.IoStatus.Information;
  completion->completed = true;
  if (completion->onComplete) completion->onComplete(*completion);
  completion->done.Set();
  Bury(request);
}

void DispatchWaiting(Queue &queue) {
  if (queue.config.DispatchType == WdfIoQueueDispatchManual) return;
  for (;;) {
    std::shared_ptr<Request> next;
    {
      std::lock_guard<std::recursive_mutex> lock(TreeLock());
      if (!queue.Started() || queue.waiting.empty()) return;
      next = queue.waiting.front();
      queue.waiting.erase(queue.waiting.begin());
    }
    Present(next, queue);
  }
}

void SetDeviceInD0(WDFDEVICE handle, bool inD0) {
  auto device = Get<Device>(handle, Kind::Device, "SetDeviceInD0");
  if (!device) return;
  std::vector<std::shared_ptr<Queue>> queues;
  {
    std::lock_guard<std::recursive_mutex> lock(TreeLock());
    device->inD0 = inD0;
    for (auto &c : device->children)
      if (c->kind == Kind::Queue) queues.push_back(std::static_pointer_cast<Queue>(c));
  }
  if (inD0)
    for (auto &q : queues) DispatchWaiting(*q);
}

std::shared_ptr<IrpCompletion> SendInternalIoctl(WDFDEVICE handle, const InternalIoctl &ioctl,
                                                 std::function<void(IrpCompletion &)> onComplete) {
  Scheduler::Point();
  auto completion = std::make_shared<IrpCompletion>();
  completion->onComplete = std::move(onComplete);
  auto device = Get<Device>(handle, Kind::Device, "SendInternalIoctl");
  std::shared_ptr<Queue> queue;
  if (device) queue = std::static_pointer_cast<Queue>(LookupQuiet(device->defaultQueue));
  if (!queue || queue->purged) {
    completion->status = queue ? STATUS_INVALID_DEVICE_STATE : STATUS_INVALID_DEVICE_REQUEST;
    completion->completed = true;
    if (completion->onComplete) completion->onComplete(*completion);
    completion->done.Set();
    return completion;
  }
  auto request = std::make_shared<Request>();
  request->device = device.get();
  request->completion = completion;
  request->boundInformation = ioctl.boundInformation;
  request->stack.MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
  request->stack.Parameters.DeviceIoControl.IoControlCode = ioctl.ioControlCode;
  request->stack.Parameters.DeviceIoControl.OutputBufferLength = ioctl.outputBufferLength;
  request->stack.Parameters.DeviceIoControl.InputBufferLength = ioctl.inputBufferLength;
  request->stack.Parameters.DeviceIoControl.Type3InputBuffer = ioctl.type3InputBuffer;
  request->stack.DeviceObject = &device->wdm;
  request->irp.Type = 6;
  request->irp.Size = sizeof(IRP);
  request->irp.RequestorMode = KernelMode;
  request->irp.UserBuffer = ioctl.userBuffer;
  request->irp.IoStatus.Information = ioctl.information;
  request->irp.CurrentStackLocation = &request->stack;
  WDFREQUEST requestHandle = (WDFREQUEST)Register(request, queue.get());
  request->irp.HostIrp = requestHandle;
  completion->request = requestHandle;
  bool presentNow;
  {
    std::lock_guard<std::recursive_mutex> lock(TreeLock());
    device->liveRequests.push_back(request.get());
    presentNow = queue->Started() && queue->waiting.empty();
    if (!presentNow) {
      request->queue = queue.get();
      queue->waiting.push_back(request);
    }
  }
  if (presentNow) Present(request, *queue);
  return completion;
}

void CancelIrp(const std::shared_ptr<IrpCompletion> &completion) {
  Scheduler::Point();
  auto request = std::static_pointer_cast<Request>(LookupQuiet(completion->request));
  if (!request) return;
  Queue *queue = nullptr;
  bool wasPresented;
  {
    std::lock_guard<std::recursive_mutex> lock(TreeLock());
    if (request->completed || request->cancelled) return;
    request->cancelled = true;
    request->irp.Cancel = TRUE;
    queue = request->queue;
    wasPresented = request->presented;
    if (queue) {
      auto &w = queue->waiting;
      w.erase(std::remove(w.begin(), w.end(), request), w.end());
      request->queue = nullptr;
    }
  }
  if (!queue) return;  // the driver owns it: only the Cancel flag tells
  if (wasPresented && queue->config.EvtIoCanceledOnQueue) {
    auto callback = queue->config.EvtIoCanceledOnQueue;
    WDFQUEUE queueHandle = (WDFQUEUE)queue->handle;
    WDFREQUEST handle = (WDFREQUEST)request->handle;
    Callback("EvtIoCanceledOnQueue", [&] { callback(queueHandle, handle); });
  } else {
    request->irp.IoStatus.Information = 0;
    CompleteRequest(request, STATUS_CANCELLED, "framework cancel");
  }
}

void Device::Dispose() {
  std::vector<Request *> live;
  {
    std::lock_guard<std::recursive_mutex> lock(TreeLock());
    live = liveRequests;
  }
  for (Request *r : live)
    Verifier::Report(rules::RequestNotCompleted, "device removal",
                     "request with code 0x" + [&] {
                       char t[16];
                       std::snprintf(t, sizeof t, "%X", (unsigned)r->stack.Parameters.DeviceIoControl.IoControlCode);
                       return std::string(t);
                     }() + " was never completed");
}

}  // namespace host::fx

using namespace host;
using namespace host::fx;

EXTERN_C void WdfRequestComplete(WDFREQUEST Request, NTSTATUS Status) {
  Enter("WdfRequestComplete", DISPATCH_LEVEL);
  auto request = Get<fx::Request>(Request, Kind::Request, "WdfRequestComplete");
  if (request) CompleteRequest(request, Status, "WdfRequestComplete");
}

EXTERN_C void WdfRequestCompleteWithInformation(WDFREQUEST Request, NTSTATUS Status, ULONG_PTR Information) {
  Enter("WdfRequestCompleteWithInformation", DISPATCH_LEVEL);
  auto request = Get<fx::Request>(Request, Kind::Request, "WdfRequestCompleteWithInformation");
  if (!request) return;
  if (!request->completed) request->irp.IoStatus.Information = Information;
  CompleteRequest(request, Status, "WdfRequestCompleteWithInformation");
}

EXTERN_C void WdfRequestSetInformation(WDFREQUEST Request, ULONG_PTR Information) {
  Enter("WdfRequestSetInformation", DISPATCH_LEVEL);
  auto request = LiveRequest(Request, "WdfRequestSetInformation");
  if (request) request->irp.IoStatus.Information = Information;
}

EXTERN_C ULONG_PTR WdfRequestGetInformation(WDFREQUEST Request) {
  Enter("WdfRequestGetInformation", DISPATCH_LEVEL);
  auto request = LiveRequest(Request, "WdfRequestGetInformation");
  return request ? request->irp.IoStatus.Information : 0;
}

// For internal I/O controls the framework treats the request as coming from
// kernel mode: the output is the packet's UserBuffer with the stack
// location's output length, whatever the transfer method.
EXTERN_C NTSTATUS WdfRequestRetrieveOutputMemory(WDFREQUEST Request, WDFMEMORY *Memory) {
  Enter("WdfRequestRetrieveOutputMemory", DISPATCH_LEVEL);
  *Memory = nullptr;
  auto request = LiveRequest(Request, "WdfRequestRetrieveOutputMemory");
  if (!request) return STATUS_INTERNAL_ERROR;
  NTSTATUS status;
  if (Injected("WdfRequestRetrieveOutputMemory", &status)) return status;
  ULONG length = request->stack.Parameters.DeviceIoControl.OutputBufferLength;
  if (length == 0) return STATUS_BUFFER_TOO_SMALL;
  if (!request->outputMemory) {
    auto memory = std::make_shared<fx::Memory>();
    memory->buffer = request->irp.UserBuffer;
    memory->size = length;
    memory->request = request.get();
    Register(memory, request.get());
    request->outputMemory = memory;
  }
  *Memory = (WDFMEMORY)request->outputMemory->handle;
  return STATUS_SUCCESS;
}

EXTERN_C NTSTATUS WdfRequestRetrieveOutputBuffer(WDFREQUEST Request, size_t MinimumRequiredSize, PVOID *Buffer,
                                                 size_t *Length) {
  Enter("WdfRequestRetrieveOutputBuffer", DISPATCH_LEVEL);
  *Buffer = nullptr;
  if (Length) *Length = 0;
  auto request = LiveRequest(Request, "WdfRequestRetrieveOutputBuffer");
  if (!request) return STATUS_INTERNAL_ERROR;
  NTSTATUS status;
  if (Injected("WdfRequestRetrieveOutputBuffer", &status)) return status;
  ULONG length = request->stack.Parameters.DeviceIoControl.OutputBufferLength;
  if (length == 0 || length < MinimumRequiredSize) return STATUS_BUFFER_TOO_SMALL;
  *Buffer = request->irp.UserBuffer;
  if (Length) *Length = length;
  return STATUS_SUCCESS;
}

EXTERN_C NTSTATUS WdfRequestRetrieveInputBuffer(WDFREQUEST Request, size_t MinimumRequiredSize, PVOID *Buffer,
                                                size_t *Length) {
  Enter("WdfRequestRetrieveInputBuffer", DISPATCH_LEVEL);
  *Buffer = nullptr;
  if (Length) *Length = 0;
  auto request = LiveRequest(Request, "WdfRequestRetrieveInputBuffer");
  if (!request) return STATUS_INTERNAL_ERROR;
  ULONG length = request->stack.Parameters.DeviceIoControl.InputBufferLength;
  if (length == 0 || length < MinimumRequiredSize) return STATUS_BUFFER_TOO_SMALL;
  *Buffer = request->stack.Parameters.DeviceIoControl.Type3InputBuffer;
  if (Length) *Length = length;
  return STATUS_SUCCESS;
}

EXTERN_C void WdfRequestGetParameters(WDFREQUEST Request, PWDF_REQUEST_PARAMETERS Parameters) {
  Enter("WdfRequestGetParameters", DISPATCH_LEVEL);
  auto request = LiveRequest(Request, "WdfRequestGetParameters");
  if (!request) return;
  if (Parameters->Size != sizeof(WDF_REQUEST_PARAMETERS)) {
    Verifier::Report(rules::Usage, "WdfRequestGetParameters", "wrong Size");
    return;
  }
  Parameters->Type = WdfRequestTypeDeviceControlInternal;
  Parameters->MinorFunction = request->stack.MinorFunction;
  const auto &p = request->stack.Parameters.DeviceIoControl;
  Parameters->Parameters.DeviceIoControl.OutputBufferLength = p.OutputBufferLength;
  Parameters->Parameters.DeviceIoControl.InputBufferLength = p.InputBufferLength;
  Parameters->Parameters.DeviceIoControl.IoControlCode = p.IoControlCode;
  Parameters->Parameters.DeviceIoControl.Type3InputBuffer = p.Type3InputBuffer;
}

EXTERN_C PIRP WdfRequestWdmGetIrp(WDFREQUEST Request) {
  Enter("WdfRequestWdmGetIrp", DISPATCH_LEVEL);
  auto request = LiveRequest(Request, "WdfRequestWdmGetIrp");
  return request ? &request->irp : nullptr;
}

EXTERN_C NTSTATUS WdfRequestForwardToIoQueue(WDFREQUEST Request, WDFQUEUE DestinationQueue) {
  Enter("WdfRequestForwardToIoQueue", DISPATCH_LEVEL);
  auto request = LiveRequest(Request, "WdfRequestForwardToIoQueue");
  auto queue = Get<fx::Queue>(DestinationQueue, Kind::Queue, "WdfRequestForwardToIoQueue");
  if (!request || !queue) return STATUS_INVALID_DEVICE_REQUEST;
  NTSTATUS status;
  if (Injected("WdfRequestForwardToIoQueue", &status)) return status;
  bool cancelNow = false;
  {
    std::lock_guard<std::recursive_mutex> lock(TreeLock());
    if (request->queue != nullptr || !request->presented) {
      Verifier::Report(rules::Usage, "WdfRequestForwardToIoQueue", "the driver does not own the request");
      return STATUS_INVALID_DEVICE_REQUEST;
    }
    if (queue->device != request->device) {
      Verifier::Report(rules::Usage, "WdfRequestForwardToIoQueue", "the queue belongs to another device");
      return STATUS_INVALID_DEVICE_REQUEST;
    }
    if (queue->purged) return STATUS_WDF_BUSY;
    if (request->cancelled) {
      cancelNow = true;
    } else {
      request->queue = queue.get();
      queue->waiting.push_back(request);
    }
  }
  if (cancelNow) {
    // A request cancelled before it reached the queue is cancelled there at once.
    if (queue->config.EvtIoCanceledOnQueue) {
      auto callback = queue->config.EvtIoCanceledOnQueue;
      Callback("EvtIoCanceledOnQueue", [&] { callback(DestinationQueue, Request); });
    } else {
      CompleteRequest(request, STATUS_CANCELLED, "framework cancel");
    }
    return STATUS_SUCCESS;
  }
  DispatchWaiting(*queue);
  return STATUS_SUCCESS;
}

EXTERN_C NTSTATUS WdfIoQueueRetrieveNextRequest(WDFQUEUE Queue, WDFREQUEST *OutRequest) {
  Enter("WdfIoQueueRetrieveNextRequest", DISPATCH_LEVEL);
  *OutRequest = nullptr;
  auto queue = Get<fx::Queue>(Queue, Kind::Queue, "WdfIoQueueRetrieveNextRequest");
  if (!queue) return STATUS_INVALID_PARAMETER;
  std::lock_guard<std::recursive_mutex> lock(TreeLock());
  if (queue->config.DispatchType != WdfIoQueueDispatchManual) return STATUS_INVALID_DEVICE_STATE;
  if (!queue->Started()) return STATUS_WDF_PAUSED;
  if (queue->waiting.empty()) return STATUS_NO_MORE_ENTRIES;
  auto request = queue->waiting.front();
  queue->waiting.erase(queue->waiting.begin());
  request->queue = nullptr;
  request->presented = true;
  *OutRequest = (WDFREQUEST)request->handle;
  return STATUS_SUCCESS;
}

// A count larger than the room after the offset fails with
// STATUS_BUFFER_TOO_SMALL, the status drivers of this platform rely on.
EXTERN_C NTSTATUS WdfMemoryCopyFromBuffer(WDFMEMORY DestinationMemory, size_t DestinationOffset, PVOID Buffer,
                                          size_t NumBytesToCopyFrom) {
  Enter("WdfMemoryCopyFromBuffer", DISPATCH_LEVEL);
  auto memory = Get<fx::Memory>(DestinationMemory, Kind::Memory, "WdfMemoryCopyFromBuffer");
  if (!memory) return STATUS_INVALID_PARAMETER;
  if (memory->request && memory->request->completed) {
    Verifier::Report(rules::RequestAfterCompletion, "WdfMemoryCopyFromBuffer", "memory of a completed request");
    return STATUS_INTERNAL_ERROR;
  }
  if (NumBytesToCopyFrom == 0) return STATUS_INVALID_PARAMETER;
  if (Buffer == nullptr) {
    Verifier::Report(rules::Usage, "WdfMemoryCopyFromBuffer", "NULL source");
    return STATUS_INVALID_PARAMETER;
  }
  if (DestinationOffset >= memory->size) return STATUS_INVALID_BUFFER_SIZE;
  if (NumBytesToCopyFrom > memory->size - DestinationOffset) return STATUS_BUFFER_TOO_SMALL;
  std::memcpy((uint8_t *)memory->buffer + DestinationOffset, Buffer, NumBytesToCopyFrom);
  return STATUS_SUCCESS;
}

EXTERN_C PVOID WdfMemoryGetBuffer(WDFMEMORY Memory, size_t *BufferSize) {
  Enter("WdfMemoryGetBuffer", HIGH_LEVEL);
  auto memory = Get<fx::Memory>(Memory, Kind::Memory, "WdfMemoryGetBuffer");
  if (!memory) return nullptr;
  if (memory->request && memory->request->completed)
    Verifier::Report(rules::RequestAfterCompletion, "WdfMemoryGetBuffer", "memory of a completed request");
  if (BufferSize) *BufferSize = memory->size;
  return memory->buffer;
}

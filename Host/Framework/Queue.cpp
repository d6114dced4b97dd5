// I/O queues: creation and the queue's device.
#include "../Runtime/Verifier.h"
#include "Fx.h"

using namespace host;
using namespace host::fx;

EXTERN_C NTSTATUS WdfIoQueueCreate(WDFDEVICE Device, PWDF_IO_QUEUE_CONFIG Config,
                                   PWDF_OBJECT_ATTRIBUTES QueueAttributes, WDFQUEUE *Queue) {
  Enter("WdfIoQueueCreate", DISPATCH_LEVEL);
  auto device = Get<fx::Device>(Device, Kind::Device, "WdfIoQueueCreate");
  if (!device) return STATUS_INVALID_PARAMETER;
  if (Config == nullptr || Config->Size != sizeof(WDF_IO_QUEUE_CONFIG)) return STATUS_INFO_LENGTH_MISMATCH;
  NTSTATUS status;
  if (Injected("WdfIoQueueCreate", &status)) return status;
  bool anyHandler = Config->EvtIoDefault || Config->EvtIoRead || Config->EvtIoWrite || Config->EvtIoDeviceControl ||
                    Config->EvtIoInternalDeviceControl;
  if (Config->DispatchType != WdfIoQueueDispatchManual && !anyHandler) return STATUS_WDF_NO_CALLBACK;
  if (Config->DefaultQueue && device->defaultQueue != nullptr) return STATUS_UNSUCCESSFUL;
  auto queue = std::make_shared<fx::Queue>();
  queue->device = device.get();
  queue->config = *Config;
  // A device that is not a filter makes WdfUseDefault queues power-managed.
  queue->powerManaged = Config->PowerManaged != WdfFalse;
  queue->driverMayDelete = !Config->DefaultQueue;
  status = ApplyAttributes(*queue, QueueAttributes, "WdfIoQueueCreate");
  if (!NT_SUCCESS(status)) return status;
  Object *parent = device.get();
  if (QueueAttributes && QueueAttributes->ParentObject) {
    auto p = Lookup(QueueAttributes->ParentObject, "WdfIoQueueCreate");
    if (!p || DeviceOf(p.get()) != device.get()) return STATUS_INVALID_DEVICE_REQUEST;
    parent = p.get();
  }
  WDFQUEUE handle = (WDFQUEUE)Register(queue, parent);
  if (Config->DefaultQueue) device->defaultQueue = handle;
  QueueRecord record;
  record.handle = handle;
  record.config = *Config;
  record.attributesGiven = QueueAttributes != nullptr;
  if (QueueAttributes) record.attributes = *QueueAttributes;
  record.parent = parent->handle;
  device->record->queues.push_back(record);
  if (Queue) *Queue = handle;
  return STATUS_SUCCESS;
}

EXTERN_C WDFDEVICE WdfIoQueueGetDevice(WDFQUEUE Queue) {
  Enter("WdfIoQueueGetDevice", DISPATCH_LEVEL);
  auto queue = Get<fx::Queue>(Queue, Kind::Queue, "WdfIoQueueGetDevice");
  return queue ? (WDFDEVICE)queue->device->handle : nullptr;
}

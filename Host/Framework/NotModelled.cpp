// Framework and kernel routines that the host does not model yet. Each one
// records a breach, so that a test reaching it fails loudly, and fails.
#include <ntddk.h>
#include <wdf.h>

#include "../Runtime/Verifier.h"

using namespace host;

#define NOT_MODELLED(name) Verifier::Report(rules::NotModelled, name)

EXTERN_C NTSTATUS IoGetDeviceInterfaces(const GUID *, PDEVICE_OBJECT, ULONG, PWSTR *List) {
  NOT_MODELLED("IoGetDeviceInterfaces");
  *List = NULL;
  return STATUS_NOT_IMPLEMENTED;
}
EXTERN_C NTSTATUS IoRegisterPlugPlayNotification(IO_NOTIFICATION_EVENT_CATEGORY, ULONG, PVOID, PDRIVER_OBJECT,
                                                 PDRIVER_NOTIFICATION_CALLBACK_ROUTINE, PVOID, PVOID *Entry) {
  NOT_MODELLED("IoRegisterPlugPlayNotification");
  *Entry = NULL;
  return STATUS_NOT_IMPLEMENTED;
}
EXTERN_C NTSTATUS IoUnregisterPlugPlayNotification(PVOID) {
  NOT_MODELLED("IoUnregisterPlugPlayNotification");
  return STATUS_NOT_IMPLEMENTED;
}
EXTERN_C WDFIOTARGET WdfDeviceGetIoTarget(WDFDEVICE) {
  NOT_MODELLED("WdfDeviceGetIoTarget");
  return NULL;
}
EXTERN_C NTSTATUS WdfIoQueueRetrieveNextRequest(WDFQUEUE, WDFREQUEST *Request) {
  NOT_MODELLED("WdfIoQueueRetrieveNextRequest");
  *Request = NULL;
  return STATUS_NOT_IMPLEMENTED;
}
EXTERN_C void WdfRequestComplete(WDFREQUEST, NTSTATUS) { NOT_MODELLED("WdfRequestComplete"); }
EXTERN_C void WdfRequestCompleteWithInformation(WDFREQUEST, NTSTATUS, ULONG_PTR) {
  NOT_MODELLED("WdfRequestCompleteWithInformation");
}
EXTERN_C void WdfRequestSetInformation(WDFREQUEST, ULONG_PTR) { NOT_MODELLED("WdfRequestSetInformation"); }
EXTERN_C ULONG_PTR WdfRequestGetInformation(WDFREQUEST) {
  NOT_MODELLED("WdfRequestGetInformation");
  return 0;
}
EXTERN_C NTSTATUS WdfRequestRetrieveOutputMemory(WDFREQUEST, WDFMEMORY *Memory) {
  NOT_MODELLED("WdfRequestRetrieveOutputMemory");
  *Memory = NULL;
  return STATUS_NOT_IMPLEMENTED;
}
EXTERN_C NTSTATUS WdfRequestRetrieveOutputBuffer(WDFREQUEST, size_t, PVOID *Buffer, size_t *) {
  NOT_MODELLED("WdfRequestRetrieveOutputBuffer");
  *Buffer = NULL;
  return STATUS_NOT_IMPLEMENTED;
}
EXTERN_C NTSTATUS WdfRequestRetrieveInputBuffer(WDFREQUEST, size_t, PVOID *Buffer, size_t *) {
  NOT_MODELLED("WdfRequestRetrieveInputBuffer");
  *Buffer = NULL;
  return STATUS_NOT_IMPLEMENTED;
}
EXTERN_C void WdfRequestGetParameters(WDFREQUEST, PWDF_REQUEST_PARAMETERS) {
  NOT_MODELLED("WdfRequestGetParameters");
}
EXTERN_C PIRP WdfRequestWdmGetIrp(WDFREQUEST) {
  NOT_MODELLED("WdfRequestWdmGetIrp");
  return NULL;
}
EXTERN_C NTSTATUS WdfRequestForwardToIoQueue(WDFREQUEST, WDFQUEUE) {
  NOT_MODELLED("WdfRequestForwardToIoQueue");
  return STATUS_NOT_IMPLEMENTED;
}
EXTERN_C NTSTATUS WdfMemoryCopyFromBuffer(WDFMEMORY, size_t, PVOID, size_t) {
  NOT_MODELLED("WdfMemoryCopyFromBuffer");
  return STATUS_NOT_IMPLEMENTED;
}
EXTERN_C PVOID WdfMemoryGetBuffer(WDFMEMORY, size_t *) {
  NOT_MODELLED("WdfMemoryGetBuffer");
  return NULL;
}
EXTERN_C BOOLEAN WdfInterruptQueueDpcForIsr(WDFINTERRUPT) {
  NOT_MODELLED("WdfInterruptQueueDpcForIsr");
  return FALSE;
}
EXTERN_C void WdfInterruptAcquireLock(WDFINTERRUPT) { NOT_MODELLED("WdfInterruptAcquireLock"); }
EXTERN_C void WdfInterruptReleaseLock(WDFINTERRUPT) { NOT_MODELLED("WdfInterruptReleaseLock"); }
EXTERN_C NTSTATUS WdfWorkItemCreate(PWDF_WORKITEM_CONFIG, PWDF_OBJECT_ATTRIBUTES, WDFWORKITEM *WorkItem) {
  NOT_MODELLED("WdfWorkItemCreate");
  *WorkItem = NULL;
  return STATUS_NOT_IMPLEMENTED;
}
EXTERN_C void WdfWorkItemEnqueue(WDFWORKITEM) { NOT_MODELLED("WdfWorkItemEnqueue"); }
EXTERN_C WDFOBJECT WdfWorkItemGetParentObject(WDFWORKITEM) {
  NOT_MODELLED("WdfWorkItemGetParentObject");
  return NULL;
}
EXTERN_C void WdfWorkItemFlush(WDFWORKITEM) { NOT_MODELLED("WdfWorkItemFlush"); }
EXTERN_C NTSTATUS WdfIoTargetCreate(WDFDEVICE, PWDF_OBJECT_ATTRIBUTES, WDFIOTARGET *Target) {
  NOT_MODELLED("WdfIoTargetCreate");
  *Target = NULL;
  return STATUS_NOT_IMPLEMENTED;
}
EXTERN_C NTSTATUS WdfIoTargetOpen(WDFIOTARGET, PWDF_IO_TARGET_OPEN_PARAMS) {
  NOT_MODELLED("WdfIoTargetOpen");
  return STATUS_NOT_IMPLEMENTED;
}
EXTERN_C void WdfIoTargetCloseForQueryRemove(WDFIOTARGET) { NOT_MODELLED("WdfIoTargetCloseForQueryRemove"); }
EXTERN_C void WdfIoTargetClose(WDFIOTARGET) { NOT_MODELLED("WdfIoTargetClose"); }
EXTERN_C WDFDEVICE WdfIoTargetGetDevice(WDFIOTARGET) {
  NOT_MODELLED("WdfIoTargetGetDevice");
  return NULL;
}
EXTERN_C NTSTATUS WdfIoTargetSendIoctlSynchronously(WDFIOTARGET, WDFREQUEST, ULONG, PWDF_MEMORY_DESCRIPTOR,
                                                    PWDF_MEMORY_DESCRIPTOR, PWDF_REQUEST_SEND_OPTIONS,
                                                    PULONG_PTR) {
  NOT_MODELLED("WdfIoTargetSendIoctlSynchronously");
  return STATUS_NOT_IMPLEMENTED;
}
EXTERN_C NTSTATUS WdfIoTargetQueryForInterface(WDFIOTARGET, LPCGUID, PINTERFACE, USHORT, USHORT, PVOID) {
  NOT_MODELLED("WdfIoTargetQueryForInterface");
  return STATUS_NOT_IMPLEMENTED;
}
EXTERN_C ULONG WdfCmResourceListGetCount(WDFCMRESLIST) {
  NOT_MODELLED("WdfCmResourceListGetCount");
  return 0;
}
EXTERN_C PCM_PARTIAL_RESOURCE_DESCRIPTOR WdfCmResourceListGetDescriptor(WDFCMRESLIST, ULONG) {
  NOT_MODELLED("WdfCmResourceListGetDescriptor");
  return NULL;
}

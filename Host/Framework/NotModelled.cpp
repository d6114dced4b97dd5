// Framework and kernel routines that the host does not model yet. Each one
// records a breach, so that a test reaching it fails loudly, and fails.
#include <ntddk.h>
#include <wdf.h>

#include "../Runtime/Verifier.h"

using namespace host;

#define NOT_MODELLED(name) Verifier::Report(rules::NotModelled, name)

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
EXTERN_C ULONG WdfCmResourceListGetCount(WDFCMRESLIST) {
  NOT_MODELLED("WdfCmResourceListGetCount");
  return 0;
}
EXTERN_C PCM_PARTIAL_RESOURCE_DESCRIPTOR WdfCmResourceListGetDescriptor(WDFCMRESLIST, ULONG) {
  NOT_MODELLED("WdfCmResourceListGetDescriptor");
  return NULL;
}

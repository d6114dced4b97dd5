// Host stand-in of the Kernel-Mode Driver Framework 1.9 interface: handles,
// configuration records with their init helpers, callback types and the
// framework entry points. Host/Framework implements them.
#pragma once

#include <ntddk.h>

typedef enum _WDF_TRI_STATE { WdfFalse = 0, WdfTrue = 1, WdfUseDefault = 2 } WDF_TRI_STATE;

typedef HANDLE WDFOBJECT, *PWDFOBJECT;
#define WDF_DECLARE_HANDLE(h) typedef struct h##__ *h
WDF_DECLARE_HANDLE(WDFDRIVER);
WDF_DECLARE_HANDLE(WDFDEVICE);
WDF_DECLARE_HANDLE(WDFQUEUE);
WDF_DECLARE_HANDLE(WDFREQUEST);
WDF_DECLARE_HANDLE(WDFMEMORY);
WDF_DECLARE_HANDLE(WDFINTERRUPT);
WDF_DECLARE_HANDLE(WDFWAITLOCK);
WDF_DECLARE_HANDLE(WDFSPINLOCK);
WDF_DECLARE_HANDLE(WDFWORKITEM);
WDF_DECLARE_HANDLE(WDFIOTARGET);
WDF_DECLARE_HANDLE(WDFCMRESLIST);
typedef struct WDFDEVICE_INIT WDFDEVICE_INIT, *PWDFDEVICE_INIT;

#define WDF_NO_OBJECT_ATTRIBUTES NULL
#define WDF_NO_HANDLE NULL
#define WDF_NO_SEND_OPTIONS NULL

// Callbacks

typedef NTSTATUS EVT_WDF_DRIVER_DEVICE_ADD(WDFDRIVER Driver, PWDFDEVICE_INIT DeviceInit);
typedef EVT_WDF_DRIVER_DEVICE_ADD *PFN_WDF_DRIVER_DEVICE_ADD;
typedef void EVT_WDF_DRIVER_UNLOAD(WDFDRIVER Driver);
typedef EVT_WDF_DRIVER_UNLOAD *PFN_WDF_DRIVER_UNLOAD;
typedef void EVT_WDF_OBJECT_CONTEXT_CLEANUP(WDFOBJECT Object);
typedef EVT_WDF_OBJECT_CONTEXT_CLEANUP *PFN_WDF_OBJECT_CONTEXT_CLEANUP;
typedef void EVT_WDF_OBJECT_CONTEXT_DESTROY(WDFOBJECT Object);
typedef EVT_WDF_OBJECT_CONTEXT_DESTROY *PFN_WDF_OBJECT_CONTEXT_DESTROY;

typedef enum _WDF_POWER_DEVICE_STATE {
  WdfPowerDeviceInvalid = 0,
  WdfPowerDeviceD0,
  WdfPowerDeviceD1,
  WdfPowerDeviceD2,
  WdfPowerDeviceD3,
  WdfPowerDeviceD3Final,
  WdfPowerDevicePrepareForHibernation,
  WdfPowerDeviceMaximum,
} WDF_POWER_DEVICE_STATE;

typedef NTSTATUS EVT_WDF_DEVICE_D0_ENTRY(WDFDEVICE Device, WDF_POWER_DEVICE_STATE PreviousState);
typedef EVT_WDF_DEVICE_D0_ENTRY *PFN_WDF_DEVICE_D0_ENTRY;
typedef NTSTATUS EVT_WDF_DEVICE_D0_EXIT(WDFDEVICE Device, WDF_POWER_DEVICE_STATE TargetState);
typedef EVT_WDF_DEVICE_D0_EXIT *PFN_WDF_DEVICE_D0_EXIT;
typedef NTSTATUS EVT_WDF_DEVICE_D0_ENTRY_POST_INTERRUPTS_ENABLED(WDFDEVICE Device,
                                                                  WDF_POWER_DEVICE_STATE PreviousState);
typedef EVT_WDF_DEVICE_D0_ENTRY_POST_INTERRUPTS_ENABLED *PFN_WDF_DEVICE_D0_ENTRY_POST_INTERRUPTS_ENABLED;
typedef NTSTATUS EVT_WDF_DEVICE_D0_EXIT_PRE_INTERRUPTS_DISABLED(WDFDEVICE Device,
                                                                 WDF_POWER_DEVICE_STATE TargetState);
typedef EVT_WDF_DEVICE_D0_EXIT_PRE_INTERRUPTS_DISABLED *PFN_WDF_DEVICE_D0_EXIT_PRE_INTERRUPTS_DISABLED;
typedef NTSTATUS EVT_WDF_DEVICE_PREPARE_HARDWARE(WDFDEVICE Device, WDFCMRESLIST ResourcesRaw,
                                                 WDFCMRESLIST ResourcesTranslated);
typedef EVT_WDF_DEVICE_PREPARE_HARDWARE *PFN_WDF_DEVICE_PREPARE_HARDWARE;
typedef NTSTATUS EVT_WDF_DEVICE_RELEASE_HARDWARE(WDFDEVICE Device, WDFCMRESLIST ResourcesTranslated);
typedef EVT_WDF_DEVICE_RELEASE_HARDWARE *PFN_WDF_DEVICE_RELEASE_HARDWARE;
typedef void EVT_WDF_DEVICE_SELF_MANAGED_IO_CLEANUP(WDFDEVICE Device);
typedef EVT_WDF_DEVICE_SELF_MANAGED_IO_CLEANUP *PFN_WDF_DEVICE_SELF_MANAGED_IO_CLEANUP;
typedef void EVT_WDF_DEVICE_SELF_MANAGED_IO_FLUSH(WDFDEVICE Device);
typedef EVT_WDF_DEVICE_SELF_MANAGED_IO_FLUSH *PFN_WDF_DEVICE_SELF_MANAGED_IO_FLUSH;
typedef NTSTATUS EVT_WDF_DEVICE_SELF_MANAGED_IO_INIT(WDFDEVICE Device);
typedef EVT_WDF_DEVICE_SELF_MANAGED_IO_INIT *PFN_WDF_DEVICE_SELF_MANAGED_IO_INIT;
typedef NTSTATUS EVT_WDF_DEVICE_SELF_MANAGED_IO_SUSPEND(WDFDEVICE Device);
typedef EVT_WDF_DEVICE_SELF_MANAGED_IO_SUSPEND *PFN_WDF_DEVICE_SELF_MANAGED_IO_SUSPEND;
typedef NTSTATUS EVT_WDF_DEVICE_SELF_MANAGED_IO_RESTART(WDFDEVICE Device);
typedef EVT_WDF_DEVICE_SELF_MANAGED_IO_RESTART *PFN_WDF_DEVICE_SELF_MANAGED_IO_RESTART;
typedef void EVT_WDF_DEVICE_SURPRISE_REMOVAL(WDFDEVICE Device);
typedef EVT_WDF_DEVICE_SURPRISE_REMOVAL *PFN_WDF_DEVICE_SURPRISE_REMOVAL;
typedef NTSTATUS EVT_WDF_DEVICE_QUERY_REMOVE(WDFDEVICE Device);
typedef EVT_WDF_DEVICE_QUERY_REMOVE *PFN_WDF_DEVICE_QUERY_REMOVE;
typedef NTSTATUS EVT_WDF_DEVICE_QUERY_STOP(WDFDEVICE Device);
typedef EVT_WDF_DEVICE_QUERY_STOP *PFN_WDF_DEVICE_QUERY_STOP;
typedef void EVT_WDF_DEVICE_USAGE_NOTIFICATION(WDFDEVICE Device, int NotificationType, BOOLEAN IsInNotificationPath);
typedef EVT_WDF_DEVICE_USAGE_NOTIFICATION *PFN_WDF_DEVICE_USAGE_NOTIFICATION;
typedef void EVT_WDF_DEVICE_RELATIONS_QUERY(WDFDEVICE Device, int RelationType);
typedef EVT_WDF_DEVICE_RELATIONS_QUERY *PFN_WDF_DEVICE_RELATIONS_QUERY;

typedef void EVT_WDF_IO_QUEUE_IO_DEFAULT(WDFQUEUE Queue, WDFREQUEST Request);
typedef EVT_WDF_IO_QUEUE_IO_DEFAULT *PFN_WDF_IO_QUEUE_IO_DEFAULT;
typedef void EVT_WDF_IO_QUEUE_IO_READ(WDFQUEUE Queue, WDFREQUEST Request, size_t Length);
typedef EVT_WDF_IO_QUEUE_IO_READ *PFN_WDF_IO_QUEUE_IO_READ;
typedef void EVT_WDF_IO_QUEUE_IO_WRITE(WDFQUEUE Queue, WDFREQUEST Request, size_t Length);
typedef EVT_WDF_IO_QUEUE_IO_WRITE *PFN_WDF_IO_QUEUE_IO_WRITE;
typedef void EVT_WDF_IO_QUEUE_IO_DEVICE_CONTROL(WDFQUEUE Queue, WDFREQUEST Request, size_t OutputBufferLength,
                                               size_t InputBufferLength, ULONG IoControlCode);
typedef EVT_WDF_IO_QUEUE_IO_DEVICE_CONTROL *PFN_WDF_IO_QUEUE_IO_DEVICE_CONTROL;
typedef void EVT_WDF_IO_QUEUE_IO_INTERNAL_DEVICE_CONTROL(WDFQUEUE Queue, WDFREQUEST Request,
                                                        size_t OutputBufferLength, size_t InputBufferLength,
                                                        ULONG IoControlCode);
typedef EVT_WDF_IO_QUEUE_IO_INTERNAL_DEVICE_CONTROL *PFN_WDF_IO_QUEUE_IO_INTERNAL_DEVICE_CONTROL;
typedef void EVT_WDF_IO_QUEUE_IO_STOP(WDFQUEUE Queue, WDFREQUEST Request, ULONG ActionFlags);
typedef EVT_WDF_IO_QUEUE_IO_STOP *PFN_WDF_IO_QUEUE_IO_STOP;
typedef void EVT_WDF_IO_QUEUE_IO_RESUME(WDFQUEUE Queue, WDFREQUEST Request);
typedef EVT_WDF_IO_QUEUE_IO_RESUME *PFN_WDF_IO_QUEUE_IO_RESUME;
typedef void EVT_WDF_IO_QUEUE_IO_CANCELED_ON_QUEUE(WDFQUEUE Queue, WDFREQUEST Request);
typedef EVT_WDF_IO_QUEUE_IO_CANCELED_ON_QUEUE *PFN_WDF_IO_QUEUE_IO_CANCELED_ON_QUEUE;

typedef BOOLEAN EVT_WDF_INTERRUPT_ISR(WDFINTERRUPT Interrupt, ULONG MessageID);
typedef EVT_WDF_INTERRUPT_ISR *PFN_WDF_INTERRUPT_ISR;
typedef void EVT_WDF_INTERRUPT_DPC(WDFINTERRUPT Interrupt, WDFOBJECT AssociatedObject);
typedef EVT_WDF_INTERRUPT_DPC *PFN_WDF_INTERRUPT_DPC;
typedef NTSTATUS EVT_WDF_INTERRUPT_ENABLE(WDFINTERRUPT Interrupt, WDFDEVICE AssociatedDevice);
typedef EVT_WDF_INTERRUPT_ENABLE *PFN_WDF_INTERRUPT_ENABLE;
typedef NTSTATUS EVT_WDF_INTERRUPT_DISABLE(WDFINTERRUPT Interrupt, WDFDEVICE AssociatedDevice);
typedef EVT_WDF_INTERRUPT_DISABLE *PFN_WDF_INTERRUPT_DISABLE;

typedef void EVT_WDF_WORKITEM(WDFWORKITEM WorkItem);
typedef EVT_WDF_WORKITEM *PFN_WDF_WORKITEM;

typedef NTSTATUS EVT_WDF_IO_TARGET_QUERY_REMOVE(WDFIOTARGET IoTarget);
typedef EVT_WDF_IO_TARGET_QUERY_REMOVE *PFN_WDF_IO_TARGET_QUERY_REMOVE;
typedef void EVT_WDF_IO_TARGET_REMOVE_CANCELED(WDFIOTARGET IoTarget);
typedef EVT_WDF_IO_TARGET_REMOVE_CANCELED *PFN_WDF_IO_TARGET_REMOVE_CANCELED;
typedef void EVT_WDF_IO_TARGET_REMOVE_COMPLETE(WDFIOTARGET IoTarget);
typedef EVT_WDF_IO_TARGET_REMOVE_COMPLETE *PFN_WDF_IO_TARGET_REMOVE_COMPLETE;

// Object attributes and typed contexts

typedef enum _WDF_EXECUTION_LEVEL {
  WdfExecutionLevelInvalid = 0,
  WdfExecutionLevelInheritFromParent,
  WdfExecutionLevelPassive,
  WdfExecutionLevelDispatch,
} WDF_EXECUTION_LEVEL;

typedef enum _WDF_SYNCHRONIZATION_SCOPE {
  WdfSynchronizationScopeInvalid = 0,
  WdfSynchronizationScopeInheritFromParent,
  WdfSynchronizationScopeDevice,
  WdfSynchronizationScopeQueue,
  WdfSynchronizationScopeNone,
} WDF_SYNCHRONIZATION_SCOPE;

typedef struct _WDF_OBJECT_CONTEXT_TYPE_INFO {
  ULONG Size;
  PCHAR ContextName;
  size_t ContextSize;
  const struct _WDF_OBJECT_CONTEXT_TYPE_INFO *UniqueType;
  PVOID EvtDriverGetUniqueContextType;
} WDF_OBJECT_CONTEXT_TYPE_INFO, *PWDF_OBJECT_CONTEXT_TYPE_INFO;
typedef const WDF_OBJECT_CONTEXT_TYPE_INFO *PCWDF_OBJECT_CONTEXT_TYPE_INFO;

typedef struct _WDF_OBJECT_ATTRIBUTES {
  ULONG Size;
  PFN_WDF_OBJECT_CONTEXT_CLEANUP EvtCleanupCallback;
  PFN_WDF_OBJECT_CONTEXT_DESTROY EvtDestroyCallback;
  WDF_EXECUTION_LEVEL ExecutionLevel;
  WDF_SYNCHRONIZATION_SCOPE SynchronizationScope;
  WDFOBJECT ParentObject;
  size_t ContextSizeOverride;
  PCWDF_OBJECT_CONTEXT_TYPE_INFO ContextTypeInfo;
} WDF_OBJECT_ATTRIBUTES, *PWDF_OBJECT_ATTRIBUTES;

inline void WDF_OBJECT_ATTRIBUTES_INIT(PWDF_OBJECT_ATTRIBUTES Attributes) {
  RtlZeroMemory(Attributes, sizeof(WDF_OBJECT_ATTRIBUTES));
  Attributes->Size = sizeof(WDF_OBJECT_ATTRIBUTES);
  Attributes->ExecutionLevel = WdfExecutionLevelInheritFromParent;
  Attributes->SynchronizationScope = WdfSynchronizationScopeInheritFromParent;
}

EXTERN_C PVOID WdfObjectGetTypedContextWorker(WDFOBJECT Handle, PCWDF_OBJECT_CONTEXT_TYPE_INFO TypeInfo);

#define WDF_TYPE_NAME_TO_TYPE_INFO(_contexttype) _WDF_##_contexttype##_TYPE_INFO
#define WDF_GET_CONTEXT_TYPE_INFO(_contexttype) (&WDF_TYPE_NAME_TO_TYPE_INFO(_contexttype))

// One type record per context type for the whole image: the framework finds
// a context by the record's UniqueType, so every unit must see the same one.
#define WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(_contexttype, _castingfunction)                         \
  inline const WDF_OBJECT_CONTEXT_TYPE_INFO WDF_TYPE_NAME_TO_TYPE_INFO(_contexttype) = {           \
      sizeof(WDF_OBJECT_CONTEXT_TYPE_INFO), (PCHAR) #_contexttype, sizeof(_contexttype),           \
      &WDF_TYPE_NAME_TO_TYPE_INFO(_contexttype), NULL};                                            \
  inline _contexttype *_castingfunction(WDFOBJECT Handle) {                                        \
    return (_contexttype *)WdfObjectGetTypedContextWorker(Handle,                                  \
                                                          WDF_GET_CONTEXT_TYPE_INFO(_contexttype)); \
  }
#define WDF_DECLARE_CONTEXT_TYPE(_contexttype) \
  WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(_contexttype, WdfObjectGet_##_contexttype)

#define WDF_OBJECT_ATTRIBUTES_SET_CONTEXT_TYPE(_attributes, _contexttype) \
  (_attributes)->ContextTypeInfo = WDF_GET_CONTEXT_TYPE_INFO(_contexttype)->UniqueType
#define WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(_attributes, _contexttype) \
  WDF_OBJECT_ATTRIBUTES_INIT(_attributes);                                 \
  WDF_OBJECT_ATTRIBUTES_SET_CONTEXT_TYPE(_attributes, _contexttype)

EXTERN_C void WdfObjectDelete(WDFOBJECT Object);

// Driver

typedef struct _WDF_DRIVER_CONFIG {
  ULONG Size;
  PFN_WDF_DRIVER_DEVICE_ADD EvtDriverDeviceAdd;
  PFN_WDF_DRIVER_UNLOAD EvtDriverUnload;
  ULONG DriverInitFlags;
  ULONG DriverPoolTag;
} WDF_DRIVER_CONFIG, *PWDF_DRIVER_CONFIG;

#define WdfDriverInitNonPnpDriver 0x00000001
#define WdfDriverInitNoDispatchOverride 0x00000002

inline void WDF_DRIVER_CONFIG_INIT(PWDF_DRIVER_CONFIG Config, PFN_WDF_DRIVER_DEVICE_ADD EvtDriverDeviceAdd) {
  RtlZeroMemory(Config, sizeof(WDF_DRIVER_CONFIG));
  Config->Size = sizeof(WDF_DRIVER_CONFIG);
  Config->EvtDriverDeviceAdd = EvtDriverDeviceAdd;
}

EXTERN_C NTSTATUS WdfDriverCreate(PDRIVER_OBJECT DriverObject, PCUNICODE_STRING RegistryPath,
                                  PWDF_OBJECT_ATTRIBUTES DriverAttributes, PWDF_DRIVER_CONFIG DriverConfig,
                                  WDFDRIVER *Driver);
EXTERN_C PDRIVER_OBJECT WdfDriverWdmGetDriverObject(WDFDRIVER Driver);

// Device

typedef struct _WDF_PNPPOWER_EVENT_CALLBACKS {
  ULONG Size;
  PFN_WDF_DEVICE_D0_ENTRY EvtDeviceD0Entry;
  PFN_WDF_DEVICE_D0_ENTRY_POST_INTERRUPTS_ENABLED EvtDeviceD0EntryPostInterruptsEnabled;
  PFN_WDF_DEVICE_D0_EXIT EvtDeviceD0Exit;
  PFN_WDF_DEVICE_D0_EXIT_PRE_INTERRUPTS_DISABLED EvtDeviceD0ExitPreInterruptsDisabled;
  PFN_WDF_DEVICE_PREPARE_HARDWARE EvtDevicePrepareHardware;
  PFN_WDF_DEVICE_RELEASE_HARDWARE EvtDeviceReleaseHardware;
  PFN_WDF_DEVICE_SELF_MANAGED_IO_CLEANUP EvtDeviceSelfManagedIoCleanup;
  PFN_WDF_DEVICE_SELF_MANAGED_IO_FLUSH EvtDeviceSelfManagedIoFlush;
  PFN_WDF_DEVICE_SELF_MANAGED_IO_INIT EvtDeviceSelfManagedIoInit;
  PFN_WDF_DEVICE_SELF_MANAGED_IO_SUSPEND EvtDeviceSelfManagedIoSuspend;
  PFN_WDF_DEVICE_SELF_MANAGED_IO_RESTART EvtDeviceSelfManagedIoRestart;
  PFN_WDF_DEVICE_SURPRISE_REMOVAL EvtDeviceSurpriseRemoval;
  PFN_WDF_DEVICE_QUERY_REMOVE EvtDeviceQueryRemove;
  PFN_WDF_DEVICE_QUERY_STOP EvtDeviceQueryStop;
  PFN_WDF_DEVICE_USAGE_NOTIFICATION EvtDeviceUsageNotification;
  PFN_WDF_DEVICE_RELATIONS_QUERY EvtDeviceRelationsQuery;
} WDF_PNPPOWER_EVENT_CALLBACKS, *PWDF_PNPPOWER_EVENT_CALLBACKS;

inline void WDF_PNPPOWER_EVENT_CALLBACKS_INIT(PWDF_PNPPOWER_EVENT_CALLBACKS Callbacks) {
  RtlZeroMemory(Callbacks, sizeof(WDF_PNPPOWER_EVENT_CALLBACKS));
  Callbacks->Size = sizeof(WDF_PNPPOWER_EVENT_CALLBACKS);
}

typedef struct _WDF_DEVICE_STATE {
  ULONG Size;
  WDF_TRI_STATE Disabled;
  WDF_TRI_STATE DontDisplayInUI;
  WDF_TRI_STATE Failed;
  WDF_TRI_STATE NotDisableable;
  WDF_TRI_STATE Removed;
  WDF_TRI_STATE ResourcesChanged;
} WDF_DEVICE_STATE, *PWDF_DEVICE_STATE;

inline void WDF_DEVICE_STATE_INIT(PWDF_DEVICE_STATE State) {
  RtlZeroMemory(State, sizeof(WDF_DEVICE_STATE));
  State->Size = sizeof(WDF_DEVICE_STATE);
  State->Disabled = WdfUseDefault;
  State->DontDisplayInUI = WdfUseDefault;
  State->Failed = WdfUseDefault;
  State->NotDisableable = WdfUseDefault;
  State->Removed = WdfUseDefault;
  State->ResourcesChanged = WdfUseDefault;
}

EXTERN_C void WdfDeviceInitSetPnpPowerEventCallbacks(PWDFDEVICE_INIT DeviceInit,
                                                     PWDF_PNPPOWER_EVENT_CALLBACKS PnpPowerEventCallbacks);
EXTERN_C void WdfDeviceInitSetPowerPolicyOwnership(PWDFDEVICE_INIT DeviceInit, BOOLEAN IsPowerPolicyOwner);
EXTERN_C NTSTATUS WdfDeviceCreate(PWDFDEVICE_INIT *DeviceInit, PWDF_OBJECT_ATTRIBUTES DeviceAttributes,
                                  WDFDEVICE *Device);
EXTERN_C void WdfDeviceSetDeviceState(WDFDEVICE Device, PWDF_DEVICE_STATE DeviceState);
EXTERN_C WDFDRIVER WdfDeviceGetDriver(WDFDEVICE Device);
EXTERN_C WDFIOTARGET WdfDeviceGetIoTarget(WDFDEVICE Device);
EXTERN_C PDEVICE_OBJECT WdfDeviceWdmGetDeviceObject(WDFDEVICE Device);

// Queues

typedef enum _WDF_IO_QUEUE_DISPATCH_TYPE {
  WdfIoQueueDispatchInvalid = 0,
  WdfIoQueueDispatchSequential,
  WdfIoQueueDispatchParallel,
  WdfIoQueueDispatchManual,
  WdfIoQueueDispatchMax
} WDF_IO_QUEUE_DISPATCH_TYPE;

typedef struct _WDF_IO_QUEUE_CONFIG {
  ULONG Size;
  WDF_IO_QUEUE_DISPATCH_TYPE DispatchType;
  WDF_TRI_STATE PowerManaged;
  BOOLEAN AllowZeroLengthRequests;
  BOOLEAN DefaultQueue;
  PFN_WDF_IO_QUEUE_IO_DEFAULT EvtIoDefault;
  PFN_WDF_IO_QUEUE_IO_READ EvtIoRead;
  PFN_WDF_IO_QUEUE_IO_WRITE EvtIoWrite;
  PFN_WDF_IO_QUEUE_IO_DEVICE_CONTROL EvtIoDeviceControl;
  PFN_WDF_IO_QUEUE_IO_INTERNAL_DEVICE_CONTROL EvtIoInternalDeviceControl;
  PFN_WDF_IO_QUEUE_IO_STOP EvtIoStop;
  PFN_WDF_IO_QUEUE_IO_RESUME EvtIoResume;
  PFN_WDF_IO_QUEUE_IO_CANCELED_ON_QUEUE EvtIoCanceledOnQueue;
  union {
    struct {
      ULONG NumberOfPresentedRequests;
    } Parallel;
  } Settings;
} WDF_IO_QUEUE_CONFIG, *PWDF_IO_QUEUE_CONFIG;

inline void WDF_IO_QUEUE_CONFIG_INIT(PWDF_IO_QUEUE_CONFIG Config, WDF_IO_QUEUE_DISPATCH_TYPE DispatchType) {
  RtlZeroMemory(Config, sizeof(WDF_IO_QUEUE_CONFIG));
  Config->Size = sizeof(WDF_IO_QUEUE_CONFIG);
  Config->PowerManaged = WdfUseDefault;
  Config->DispatchType = DispatchType;
  if (Config->DispatchType == WdfIoQueueDispatchParallel) {
    Config->Settings.Parallel.NumberOfPresentedRequests = (ULONG)-1;
  }
}

inline void WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(PWDF_IO_QUEUE_CONFIG Config,
                                                   WDF_IO_QUEUE_DISPATCH_TYPE DispatchType) {
  WDF_IO_QUEUE_CONFIG_INIT(Config, DispatchType);
  Config->DefaultQueue = TRUE;
}

EXTERN_C NTSTATUS WdfIoQueueCreate(WDFDEVICE Device, PWDF_IO_QUEUE_CONFIG Config,
                                   PWDF_OBJECT_ATTRIBUTES QueueAttributes, WDFQUEUE *Queue);
EXTERN_C WDFDEVICE WdfIoQueueGetDevice(WDFQUEUE Queue);
EXTERN_C NTSTATUS WdfIoQueueRetrieveNextRequest(WDFQUEUE Queue, WDFREQUEST *OutRequest);

// Requests and memory

typedef enum _WDF_REQUEST_TYPE {
  WdfRequestTypeCreate = 0x0,
  WdfRequestTypeClose = 0x2,
  WdfRequestTypeRead = 0x3,
  WdfRequestTypeWrite = 0x4,
  WdfRequestTypeDeviceControl = 0xE,
  WdfRequestTypeDeviceControlInternal = 0xF,
  WdfRequestTypeOther = 0x1B,
  WdfRequestTypeMax,
} WDF_REQUEST_TYPE;

typedef struct _WDF_REQUEST_PARAMETERS {
  USHORT Size;
  UCHAR MinorFunction;
  WDF_REQUEST_TYPE Type;
  union {
    struct {
      size_t Length;
      ULONG Key;
      LONGLONG DeviceOffset;
    } Read;
    struct {
      size_t Length;
      ULONG Key;
      LONGLONG DeviceOffset;
    } Write;
    struct {
      size_t OutputBufferLength;
      size_t InputBufferLength;
      ULONG IoControlCode;
      PVOID Type3InputBuffer;
    } DeviceIoControl;
  } Parameters;
} WDF_REQUEST_PARAMETERS, *PWDF_REQUEST_PARAMETERS;

inline void WDF_REQUEST_PARAMETERS_INIT(PWDF_REQUEST_PARAMETERS Parameters) {
  RtlZeroMemory(Parameters, sizeof(WDF_REQUEST_PARAMETERS));
  Parameters->Size = sizeof(WDF_REQUEST_PARAMETERS);
}

EXTERN_C void WdfRequestComplete(WDFREQUEST Request, NTSTATUS Status);
EXTERN_C void WdfRequestCompleteWithInformation(WDFREQUEST Request, NTSTATUS Status, ULONG_PTR Information);
EXTERN_C void WdfRequestSetInformation(WDFREQUEST Request, ULONG_PTR Information);
EXTERN_C ULONG_PTR WdfRequestGetInformation(WDFREQUEST Request);
EXTERN_C NTSTATUS WdfRequestRetrieveOutputMemory(WDFREQUEST Request, WDFMEMORY *Memory);
EXTERN_C NTSTATUS WdfRequestRetrieveOutputBuffer(WDFREQUEST Request, size_t MinimumRequiredSize, PVOID *Buffer,
                                                 size_t *Length);
EXTERN_C NTSTATUS WdfRequestRetrieveInputBuffer(WDFREQUEST Request, size_t MinimumRequiredSize, PVOID *Buffer,
                                                size_t *Length);
EXTERN_C void WdfRequestGetParameters(WDFREQUEST Request, PWDF_REQUEST_PARAMETERS Parameters);
EXTERN_C PIRP WdfRequestWdmGetIrp(WDFREQUEST Request);
EXTERN_C NTSTATUS WdfRequestForwardToIoQueue(WDFREQUEST Request, WDFQUEUE DestinationQueue);

EXTERN_C NTSTATUS WdfMemoryCopyFromBuffer(WDFMEMORY DestinationMemory, size_t DestinationOffset, PVOID Buffer,
                                          size_t NumBytesToCopyFrom);
EXTERN_C PVOID WdfMemoryGetBuffer(WDFMEMORY Memory, size_t *BufferSize);

// Interrupts

typedef struct _WDF_INTERRUPT_CONFIG {
  ULONG Size;
  WDFSPINLOCK SpinLock;
  WDF_TRI_STATE ShareVector;
  BOOLEAN FloatingSave;
  BOOLEAN AutomaticSerialization;
  PFN_WDF_INTERRUPT_ISR EvtInterruptIsr;
  PFN_WDF_INTERRUPT_DPC EvtInterruptDpc;
  PFN_WDF_INTERRUPT_ENABLE EvtInterruptEnable;
  PFN_WDF_INTERRUPT_DISABLE EvtInterruptDisable;
} WDF_INTERRUPT_CONFIG, *PWDF_INTERRUPT_CONFIG;

inline void WDF_INTERRUPT_CONFIG_INIT(PWDF_INTERRUPT_CONFIG Configuration, PFN_WDF_INTERRUPT_ISR EvtInterruptIsr,
                                      PFN_WDF_INTERRUPT_DPC EvtInterruptDpc) {
  RtlZeroMemory(Configuration, sizeof(WDF_INTERRUPT_CONFIG));
  Configuration->Size = sizeof(WDF_INTERRUPT_CONFIG);
  Configuration->ShareVector = WdfUseDefault;
  Configuration->EvtInterruptIsr = EvtInterruptIsr;
  Configuration->EvtInterruptDpc = EvtInterruptDpc;
}

EXTERN_C NTSTATUS WdfInterruptCreate(WDFDEVICE Device, PWDF_INTERRUPT_CONFIG Configuration,
                                     PWDF_OBJECT_ATTRIBUTES Attributes, WDFINTERRUPT *Interrupt);
EXTERN_C BOOLEAN WdfInterruptQueueDpcForIsr(WDFINTERRUPT Interrupt);
EXTERN_C void WdfInterruptAcquireLock(WDFINTERRUPT Interrupt);
EXTERN_C void WdfInterruptReleaseLock(WDFINTERRUPT Interrupt);
EXTERN_C WDFDEVICE WdfInterruptGetDevice(WDFINTERRUPT Interrupt);

// Work items

typedef struct _WDF_WORKITEM_CONFIG {
  ULONG Size;
  PFN_WDF_WORKITEM EvtWorkItemFunc;
  BOOLEAN AutomaticSerialization;
} WDF_WORKITEM_CONFIG, *PWDF_WORKITEM_CONFIG;

inline void WDF_WORKITEM_CONFIG_INIT(PWDF_WORKITEM_CONFIG Config, PFN_WDF_WORKITEM EvtWorkItemFunc) {
  RtlZeroMemory(Config, sizeof(WDF_WORKITEM_CONFIG));
  Config->Size = sizeof(WDF_WORKITEM_CONFIG);
  Config->EvtWorkItemFunc = EvtWorkItemFunc;
  Config->AutomaticSerialization = TRUE;
}

EXTERN_C NTSTATUS WdfWorkItemCreate(PWDF_WORKITEM_CONFIG Config, PWDF_OBJECT_ATTRIBUTES Attributes,
                                    WDFWORKITEM *WorkItem);
EXTERN_C void WdfWorkItemEnqueue(WDFWORKITEM WorkItem);
EXTERN_C WDFOBJECT WdfWorkItemGetParentObject(WDFWORKITEM WorkItem);
EXTERN_C void WdfWorkItemFlush(WDFWORKITEM WorkItem);

// Wait locks

EXTERN_C NTSTATUS WdfWaitLockCreate(PWDF_OBJECT_ATTRIBUTES LockAttributes, WDFWAITLOCK *Lock);
EXTERN_C NTSTATUS WdfWaitLockAcquire(WDFWAITLOCK Lock, PLONGLONG Timeout);
EXTERN_C void WdfWaitLockRelease(WDFWAITLOCK Lock);

// I/O targets

typedef enum _WDF_IO_TARGET_OPEN_TYPE {
  WdfIoTargetOpenUndefined = 0,
  WdfIoTargetOpenUseExistingDevice = 1,
  WdfIoTargetOpenByName = 2,
  WdfIoTargetOpenReopen = 3,
} WDF_IO_TARGET_OPEN_TYPE;

typedef struct _WDF_IO_TARGET_OPEN_PARAMS {
  ULONG Size;
  WDF_IO_TARGET_OPEN_TYPE Type;
  PFN_WDF_IO_TARGET_QUERY_REMOVE EvtIoTargetQueryRemove;
  PFN_WDF_IO_TARGET_REMOVE_CANCELED EvtIoTargetRemoveCanceled;
  PFN_WDF_IO_TARGET_REMOVE_COMPLETE EvtIoTargetRemoveComplete;
  PDEVICE_OBJECT TargetDeviceObject;
  PVOID TargetFileObject;
  UNICODE_STRING TargetDeviceName;
  ACCESS_MASK DesiredAccess;
  ULONG ShareAccess;
  ULONG FileAttributes;
  ULONG CreateDisposition;
  ULONG CreateOptions;
  PVOID EaBuffer;
  ULONG EaBufferLength;
  PLONGLONG AllocationSize;
  ULONG FileInformation;
} WDF_IO_TARGET_OPEN_PARAMS, *PWDF_IO_TARGET_OPEN_PARAMS;

inline void WDF_IO_TARGET_OPEN_PARAMS_INIT_OPEN_BY_NAME(PWDF_IO_TARGET_OPEN_PARAMS Params,
                                                        PCUNICODE_STRING TargetDeviceName,
                                                        ACCESS_MASK DesiredAccess) {
  RtlZeroMemory(Params, sizeof(WDF_IO_TARGET_OPEN_PARAMS));
  Params->Size = sizeof(WDF_IO_TARGET_OPEN_PARAMS);
  Params->Type = WdfIoTargetOpenByName;
  Params->TargetDeviceName = *TargetDeviceName;
  Params->DesiredAccess = DesiredAccess;
  Params->CreateOptions = FILE_NON_DIRECTORY_FILE;
  Params->CreateDisposition = FILE_OPEN;
  Params->FileAttributes = 0x80;
}

typedef enum _WDF_MEMORY_DESCRIPTOR_TYPE {
  WdfMemoryDescriptorTypeInvalid = 0,
  WdfMemoryDescriptorTypeBuffer,
  WdfMemoryDescriptorTypeMdl,
  WdfMemoryDescriptorTypeHandle,
} WDF_MEMORY_DESCRIPTOR_TYPE;

typedef struct _WDF_MEMORY_DESCRIPTOR {
  WDF_MEMORY_DESCRIPTOR_TYPE Type;
  union {
    struct {
      PVOID Buffer;
      ULONG Length;
    } BufferType;
    struct {
      PVOID Mdl;
      ULONG BufferLength;
    } MdlType;
    struct {
      WDFMEMORY Memory;
      PVOID Offsets;
    } HandleType;
  } u;
} WDF_MEMORY_DESCRIPTOR, *PWDF_MEMORY_DESCRIPTOR;

inline void WDF_MEMORY_DESCRIPTOR_INIT_BUFFER(PWDF_MEMORY_DESCRIPTOR Descriptor, PVOID Buffer, ULONG BufferLength) {
  RtlZeroMemory(Descriptor, sizeof(WDF_MEMORY_DESCRIPTOR));
  Descriptor->Type = WdfMemoryDescriptorTypeBuffer;
  Descriptor->u.BufferType.Buffer = Buffer;
  Descriptor->u.BufferType.Length = BufferLength;
}

typedef enum _WDF_REQUEST_SEND_OPTIONS_FLAGS {
  WDF_REQUEST_SEND_OPTION_TIMEOUT = 0x00000001,
  WDF_REQUEST_SEND_OPTION_SYNCHRONOUS = 0x00000002,
  WDF_REQUEST_SEND_OPTION_IGNORE_TARGET_STATE = 0x00000004,
  WDF_REQUEST_SEND_OPTION_SEND_AND_FORGET = 0x00000008,
} WDF_REQUEST_SEND_OPTIONS_FLAGS;

typedef struct _WDF_REQUEST_SEND_OPTIONS {
  ULONG Size;
  ULONG Flags;
  LONGLONG Timeout;
} WDF_REQUEST_SEND_OPTIONS, *PWDF_REQUEST_SEND_OPTIONS;

inline void WDF_REQUEST_SEND_OPTIONS_INIT(PWDF_REQUEST_SEND_OPTIONS Options, ULONG Flags) {
  RtlZeroMemory(Options, sizeof(WDF_REQUEST_SEND_OPTIONS));
  Options->Size = sizeof(WDF_REQUEST_SEND_OPTIONS);
  Options->Flags = Flags;
}

inline void WDF_REQUEST_SEND_OPTIONS_SET_TIMEOUT(PWDF_REQUEST_SEND_OPTIONS Options, LONGLONG Timeout) {
  Options->Flags |= WDF_REQUEST_SEND_OPTION_TIMEOUT;
  Options->Timeout = Timeout;
}

#define WDF_TIMEOUT_TO_SEC ((LONGLONG)1 * 10 * 1000 * 1000)
inline LONGLONG WDF_REL_TIMEOUT_IN_SEC(ULONGLONG Time) { return (LONGLONG)Time * -WDF_TIMEOUT_TO_SEC; }
inline LONGLONG WDF_REL_TIMEOUT_IN_MS(ULONGLONG Time) { return (LONGLONG)Time * -10000; }

EXTERN_C NTSTATUS WdfIoTargetCreate(WDFDEVICE Device, PWDF_OBJECT_ATTRIBUTES IoTargetAttributes,
                                    WDFIOTARGET *IoTarget);
EXTERN_C NTSTATUS WdfIoTargetOpen(WDFIOTARGET IoTarget, PWDF_IO_TARGET_OPEN_PARAMS OpenParams);
EXTERN_C void WdfIoTargetCloseForQueryRemove(WDFIOTARGET IoTarget);
EXTERN_C void WdfIoTargetClose(WDFIOTARGET IoTarget);
EXTERN_C WDFDEVICE WdfIoTargetGetDevice(WDFIOTARGET IoTarget);
EXTERN_C NTSTATUS WdfIoTargetSendIoctlSynchronously(WDFIOTARGET IoTarget, WDFREQUEST Request, ULONG IoctlCode,
                                                    PWDF_MEMORY_DESCRIPTOR InputBuffer,
                                                    PWDF_MEMORY_DESCRIPTOR OutputBuffer,
                                                    PWDF_REQUEST_SEND_OPTIONS RequestOptions,
                                                    PULONG_PTR BytesReturned);
EXTERN_C NTSTATUS WdfIoTargetQueryForInterface(WDFIOTARGET IoTarget, LPCGUID InterfaceType, PINTERFACE Interface,
                                               USHORT Size, USHORT Version, PVOID InterfaceSpecificData);

// Resource lists

EXTERN_C ULONG WdfCmResourceListGetCount(WDFCMRESLIST List);
EXTERN_C PCM_PARTIAL_RESOURCE_DESCRIPTOR WdfCmResourceListGetDescriptor(WDFCMRESLIST List, ULONG Index);

// Framework status values.
#define STATUS_WDF_PAUSED ((NTSTATUS)0xC0200203L)
#define STATUS_WDF_BUSY ((NTSTATUS)0xC0200204L)
#define STATUS_WDF_NO_CALLBACK ((NTSTATUS)0xC020020BL)
#define STATUS_WDF_INCOMPATIBLE_EXECUTION_LEVEL ((NTSTATUS)0xC020020CL)
#define STATUS_WDF_PARENT_NOT_SPECIFIED ((NTSTATUS)0xC0200212L)

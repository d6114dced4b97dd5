// Host stand-in of the kernel interface a KMDF driver uses: IRQL, pool,
// strings, version, driver and device objects, IRPs, PnP notification,
// resource descriptors. Everything is implemented by Host/Kernel and
// Host/Framework; nothing here knows any particular driver.
#pragma once

#include <ntdef.h>

typedef UCHAR KIRQL, *PKIRQL;
#define PASSIVE_LEVEL 0
#define APC_LEVEL 1
#define DISPATCH_LEVEL 2
// Device interrupts of the simulated machine all share one level.
#define DIRQL_LEVEL 12
#define HIGH_LEVEL 31

EXTERN_C KIRQL KeGetCurrentIrql(void);
EXTERN_C void KeRaiseIrql(KIRQL NewIrql, PKIRQL OldIrql);
EXTERN_C void KeLowerIrql(KIRQL NewIrql);

// Pageable and discardable code. The host checks PAGED_CODE() at run time;
// the placement pragmas are read by the source checks of the test suite.
#define ALLOC_PRAGMA 1
EXTERN_C void HostPagedCodeCheck(const char *Routine);
#define PAGED_CODE() HostPagedCodeCheck(__FUNCTION__)

typedef enum _POOL_TYPE {
  NonPagedPool = 0,
  PagedPool = 1,
  NonPagedPoolNx = 512,
} POOL_TYPE;

EXTERN_C PVOID ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag);
EXTERN_C void ExFreePoolWithTag(PVOID P, ULONG Tag);
EXTERN_C void ExFreePool(PVOID P);

EXTERN_C void RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString);
EXTERN_C void RtlInitAnsiString(PANSI_STRING DestinationString, PCSZ SourceString);
EXTERN_C NTSTATUS RtlAnsiStringToUnicodeString(PUNICODE_STRING DestinationString,
                                               PCANSI_STRING SourceString,
                                               BOOLEAN AllocateDestinationString);
EXTERN_C void RtlFreeUnicodeString(PUNICODE_STRING UnicodeString);

#define RtlCopyMemory(d, s, n) HostCopyMemory((d), (s), (n))
#define RtlMoveMemory(d, s, n) HostMoveMemory((d), (s), (n))
#define RtlZeroMemory(d, n) HostFillMemory((d), (n), 0)
#define RtlFillMemory(d, n, v) HostFillMemory((d), (n), (v))
EXTERN_C void HostCopyMemory(void *Destination, const void *Source, SIZE_T Length);
EXTERN_C void HostMoveMemory(void *Destination, const void *Source, SIZE_T Length);
EXTERN_C void HostFillMemory(void *Destination, SIZE_T Length, UCHAR Fill);


typedef ULONG NTDDI_VERSION_TYPE;
#define NTDDI_WIN7 0x06010000
#define NTDDI_WIN8 0x06020000
typedef BOOLEAN (*PFN_RTL_IS_NTDDI_VERSION_AVAILABLE)(ULONG Version);
EXTERN_C PVOID MmGetSystemRoutineAddress(PUNICODE_STRING SystemRoutineName);
EXTERN_C BOOLEAN PsGetVersion(PULONG MajorVersion, PULONG MinorVersion, PULONG BuildNumber,
                              PUNICODE_STRING CSDVersion);

// Objects of the I/O manager, as far as drivers look into them.
struct _IRP;
struct _DEVICE_OBJECT;
struct _DRIVER_OBJECT;

typedef void DRIVER_UNLOAD(struct _DRIVER_OBJECT *DriverObject);
typedef DRIVER_UNLOAD *PDRIVER_UNLOAD;

typedef struct _DRIVER_OBJECT {
  SHORT Type;
  SHORT Size;
  struct _DEVICE_OBJECT *DeviceObject;
  PVOID DriverExtension;
  UNICODE_STRING DriverName;
  PDRIVER_UNLOAD DriverUnload;
  PVOID HostDriver;  // the host's record of the loaded driver
} DRIVER_OBJECT, *PDRIVER_OBJECT;

typedef NTSTATUS DRIVER_INITIALIZE(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath);
typedef DRIVER_INITIALIZE *PDRIVER_INITIALIZE;

typedef struct _DEVICE_OBJECT {
  SHORT Type;
  USHORT Size;
  PDRIVER_OBJECT DriverObject;
  PVOID DeviceExtension;
  PVOID HostDevice;  // the host's record of the device node
} DEVICE_OBJECT, *PDEVICE_OBJECT;

typedef struct _IO_STATUS_BLOCK {
  union {
    NTSTATUS Status;
    PVOID Pointer;
  };
  ULONG_PTR Information;
} IO_STATUS_BLOCK, *PIO_STATUS_BLOCK;

#define IRP_MJ_CREATE 0x00
#define IRP_MJ_CLOSE 0x02
#define IRP_MJ_READ 0x03
#define IRP_MJ_WRITE 0x04
#define IRP_MJ_DEVICE_CONTROL 0x0e
#define IRP_MJ_INTERNAL_DEVICE_CONTROL 0x0f
#define IRP_MJ_PNP 0x1b

typedef struct _IO_STACK_LOCATION {
  UCHAR MajorFunction;
  UCHAR MinorFunction;
  UCHAR Flags;
  UCHAR Control;
  union {
    struct {
      ULONG OutputBufferLength;
      ULONG InputBufferLength;
      ULONG IoControlCode;
      PVOID Type3InputBuffer;
    } DeviceIoControl;
    struct {
      ULONG Length;
      ULONG Key;
      LONGLONG ByteOffset;
    } Read;
    struct {
      ULONG Length;
      ULONG Key;
      LONGLONG ByteOffset;
    } Write;
    struct {
      const GUID *InterfaceType;
      USHORT Size;
      USHORT Version;
      struct _INTERFACE *Interface;
      PVOID InterfaceSpecificData;
    } QueryInterface;
  } Parameters;
  PDEVICE_OBJECT DeviceObject;
  PVOID FileObject;
} IO_STACK_LOCATION, *PIO_STACK_LOCATION;

typedef struct _IRP {
  SHORT Type;
  USHORT Size;
  IO_STATUS_BLOCK IoStatus;
  CHAR RequestorMode;
  BOOLEAN PendingReturned;
  BOOLEAN Cancel;
  union {
    PVOID SystemBuffer;
  } AssociatedIrp;
  PVOID UserBuffer;
  PVOID MdlAddress;
  PIO_STACK_LOCATION CurrentStackLocation;
  PVOID HostIrp;  // the host's record of the packet
} IRP, *PIRP;

#define KernelMode 0
#define UserMode 1

inline PIO_STACK_LOCATION IoGetCurrentIrpStackLocation(PIRP Irp) { return Irp->CurrentStackLocation; }

#define FILE_DEVICE_KEYBOARD 0x0000000b
#define FILE_DEVICE_UNKNOWN 0x00000022
#define FILE_DEVICE_ACPI 0x00000032
#define METHOD_BUFFERED 0
#define METHOD_IN_DIRECT 1
#define METHOD_OUT_DIRECT 2
#define METHOD_NEITHER 3
#define FILE_ANY_ACCESS 0
#define FILE_READ_ACCESS 0x0001
#define FILE_WRITE_ACCESS 0x0002
#define CTL_CODE(DeviceType, Function, Method, Access) \
  (((DeviceType) << 16) | ((Access) << 14) | ((Function) << 2) | (Method))
#define METHOD_FROM_CTL_CODE(ctrlCode) ((ULONG)((ctrlCode) & 3))

#define FILE_READ_DATA 0x0001
#define FILE_WRITE_DATA 0x0002
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_OPEN 0x00000001
#define FILE_NON_DIRECTORY_FILE 0x00000040
#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL

// Interface records handed out with IRP_MN_QUERY_INTERFACE.
typedef void (*PINTERFACE_REFERENCE)(PVOID Context);
typedef void (*PINTERFACE_DEREFERENCE)(PVOID Context);
typedef struct _INTERFACE {
  USHORT Size;
  USHORT Version;
  PVOID Context;
  PINTERFACE_REFERENCE InterfaceReference;
  PINTERFACE_DEREFERENCE InterfaceDereference;
} INTERFACE, *PINTERFACE;

// Device interfaces and their change notification.
EXTERN_C NTSTATUS IoGetDeviceInterfaces(const GUID *InterfaceClassGuid,
                                        PDEVICE_OBJECT PhysicalDeviceObject, ULONG Flags,
                                        PWSTR *SymbolicLinkList);
#define DEVICE_INTERFACE_INCLUDE_NONACTIVE 0x00000001

typedef enum _IO_NOTIFICATION_EVENT_CATEGORY {
  EventCategoryReserved,
  EventCategoryHardwareProfileChange,
  EventCategoryDeviceInterfaceChange,
  EventCategoryTargetDeviceChange
} IO_NOTIFICATION_EVENT_CATEGORY;
#define PNPNOTIFY_DEVICE_INTERFACE_INCLUDE_EXISTING_INTERFACES 0x00000001

typedef struct _DEVICE_INTERFACE_CHANGE_NOTIFICATION {
  USHORT Version;
  USHORT Size;
  GUID Event;
  GUID InterfaceClassGuid;
  PUNICODE_STRING SymbolicLinkName;
} DEVICE_INTERFACE_CHANGE_NOTIFICATION, *PDEVICE_INTERFACE_CHANGE_NOTIFICATION;

typedef NTSTATUS DRIVER_NOTIFICATION_CALLBACK_ROUTINE(PVOID NotificationStructure, PVOID Context);
typedef DRIVER_NOTIFICATION_CALLBACK_ROUTINE *PDRIVER_NOTIFICATION_CALLBACK_ROUTINE;

EXTERN_C NTSTATUS IoRegisterPlugPlayNotification(
    IO_NOTIFICATION_EVENT_CATEGORY EventCategory, ULONG EventCategoryFlags,
    PVOID EventCategoryData, PDRIVER_OBJECT DriverObject,
    PDRIVER_NOTIFICATION_CALLBACK_ROUTINE CallbackRoutine, PVOID Context,
    PVOID *NotificationEntry);
EXTERN_C NTSTATUS IoUnregisterPlugPlayNotification(PVOID NotificationEntry);

// Hardware resources.
#define CmResourceTypeNull 0
#define CmResourceTypePort 1
#define CmResourceTypeInterrupt 2
#define CmResourceTypeMemory 3
#define CmResourceTypeDma 4
#define CmResourceTypeDeviceSpecific 5
#define CmResourceTypeBusNumber 6
#define CmResourceTypeMemoryLarge 7
#define CmResourceTypeDevicePrivate 129
#define CmResourceTypeConnection 132

#define CM_RESOURCE_INTERRUPT_LEVEL_SENSITIVE 0
#define CM_RESOURCE_INTERRUPT_LATCHED 1

#pragma pack(push, 4)
typedef struct _CM_PARTIAL_RESOURCE_DESCRIPTOR {
  UCHAR Type;
  UCHAR ShareDisposition;
  USHORT Flags;
  union {
    struct {
      LONGLONG Start;
      ULONG Length;
    } Generic;
    struct {
      ULONG Level;
      ULONG Vector;
      ULONG_PTR Affinity;
    } Interrupt;
    struct {
      LONGLONG Start;
      ULONG Length;
    } Memory;
    struct {
      ULONG Data[3];
    } DevicePrivate;
  } u;
} CM_PARTIAL_RESOURCE_DESCRIPTOR, *PCM_PARTIAL_RESOURCE_DESCRIPTOR;
#pragma pack(pop)

typedef enum _DEVICE_POWER_STATE {
  PowerDeviceUnspecified = 0,
  PowerDeviceD0,
  PowerDeviceD1,
  PowerDeviceD2,
  PowerDeviceD3,
  PowerDeviceMaximum
} DEVICE_POWER_STATE;

// Interlocked operations.
EXTERN_C LONG InterlockedIncrement(LONG volatile *Addend);
EXTERN_C LONG InterlockedDecrement(LONG volatile *Addend);
EXTERN_C LONG InterlockedExchange(LONG volatile *Target, LONG Value);
EXTERN_C LONG InterlockedCompareExchange(LONG volatile *Destination, LONG Exchange, LONG Comparand);
EXTERN_C PVOID InterlockedExchangePointer(PVOID volatile *Target, PVOID Value);

// Run-down protection: users acquire it around a use of a shared object;
// the owner waits for every user to leave before it destroys the object.
typedef struct _EX_RUNDOWN_REF {
  ULONG_PTR Count;
  PVOID HostState;
} EX_RUNDOWN_REF, *PEX_RUNDOWN_REF;
EXTERN_C void ExInitializeRundownProtection(PEX_RUNDOWN_REF RunRef);
EXTERN_C void ExReInitializeRundownProtection(PEX_RUNDOWN_REF RunRef);
EXTERN_C BOOLEAN ExAcquireRundownProtection(PEX_RUNDOWN_REF RunRef);
EXTERN_C void ExReleaseRundownProtection(PEX_RUNDOWN_REF RunRef);
EXTERN_C void ExWaitForRundownProtectionRelease(PEX_RUNDOWN_REF RunRef);

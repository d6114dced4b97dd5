/*++
    OrvanHIDI2C private header: the device context, the records exchanged
    with the touch controller, the I2C and GPIO controller drivers and ACPI,
    and the routines shared between the driver's units.
--*/
#pragma once

#include <ntddk.h>
#include <wdf.h>
#include <hidport.h>
#include <acpiioct.h>
#include <wdmguid.h>

#include "Trace.h"

#define HIDI2C_POOL_TAG 'MDIH'  // reads "HIDM" in memory

//
// Device interface classes of the platform's controller drivers.
//
DEFINE_GUID(GUID_I2C_CONTROLLER_INTERFACE,
            0xF8B5ED67, 0x5C3A, 0x45A3, 0xB0, 0xFA, 0x87, 0xBB, 0xA6, 0x3C, 0x0C, 0xEF);
DEFINE_GUID(GUID_GPIO_CONTROLLER_INTERFACE,
            0x944CD20F, 0x22E1, 0x489F, 0xA9, 0x61, 0xA5, 0x52, 0x82, 0x78, 0x83, 0xF0);

//
// The device's _DSM methods.
//
DEFINE_GUID(GUID_HIDI2C_DSM,
            0x3CDFF6F7, 0x4267, 0x4555, 0xAD, 0x05, 0xB3, 0x0A, 0x3D, 0x89, 0x38, 0xDE);
DEFINE_GUID(GUID_CONNECTION_RESOURCES_DSM,
            0xEF87EB82, 0xF951, 0x46DA, 0x84, 0xEC, 0x14, 0x87, 0x1A, 0xC6, 0xF8, 0x4B);

//
// Private I/O controls of the I2C controller driver.
//
#define IOCTL_I2C_SET_CONNECTION CTL_CODE(FILE_DEVICE_UNKNOWN, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_I2C_READ           CTL_CODE(FILE_DEVICE_UNKNOWN, 0x802, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_I2C_WRITE_READ     CTL_CODE(FILE_DEVICE_UNKNOWN, 0x803, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_I2C_WRITE          CTL_CODE(FILE_DEVICE_UNKNOWN, 0x804, METHOD_BUFFERED, FILE_ANY_ACCESS)

#define I2C_REQUEST_TIMEOUT_SECONDS 5

#pragma pack(push, 1)

//
// The HID descriptor of the HID over I2C protocol.
//
typedef struct _HID_I2C_DESCRIPTOR {
    USHORT wHIDDescLength;
    USHORT bcdVersion;
    USHORT wReportDescLength;
    USHORT wReportDescRegister;
    USHORT wInputRegister;
    USHORT wMaxInputLength;
    USHORT wOutputRegister;
    USHORT wMaxOutputLength;
    USHORT wCommandRegister;
    USHORT wDataRegister;
    USHORT wVendorID;
    USHORT wProductID;
    USHORT wVersionID;
    UCHAR Reserved[4];
} HID_I2C_DESCRIPTOR, *PHID_I2C_DESCRIPTOR;

//
// Input of IOCTL_I2C_SET_CONNECTION.
//
typedef struct _I2C_CONNECTION_SETTINGS {
    ULONG ConnectionSpeed;
    USHORT SlaveAddress;
} I2C_CONNECTION_SETTINGS, *PI2C_CONNECTION_SETTINGS;

#pragma pack(pop)

//
// The pin interface of the GPIO controller driver.
//
typedef NTSTATUS GPIO_PIN_ROUTINE(PVOID Context, ULONG Pin);
typedef GPIO_PIN_ROUTINE *PGPIO_PIN_ROUTINE;

typedef struct _GPIO_PIN_INTERFACE {
    USHORT Size;
    USHORT Version;
    PVOID Context;
    PINTERFACE_REFERENCE InterfaceReference;
    PINTERFACE_DEREFERENCE InterfaceDereference;
    PGPIO_PIN_ROUTINE MaskInterrupt;
    PGPIO_PIN_ROUTINE UnmaskInterrupt;
    PVOID ReservedRoutine1;
    PVOID ReservedRoutine2;
} GPIO_PIN_INTERFACE, *PGPIO_PIN_INTERFACE;

#define GPIO_PIN_INTERFACE_VERSION 1

#define CONTROLLER_PATH_CHARACTERS 128

//
// The per-device context.
//
typedef struct _DEVICE_EXTENSION {
    WDFDEVICE Device;
    HID_I2C_DESCRIPTOR HidDescriptor;
    PUCHAR InputReportBuffer;
    WDFQUEUE ReadQueue;
    USHORT HidDescriptorAddress;
    ULONG ConnectionSpeed;
    USHORT SlaveAddress;
    USHORT GpioPin;
    UNICODE_STRING GpioControllerPath;
    WCHAR GpioControllerPathBuffer[CONTROLLER_PATH_CHARACTERS];
    UNICODE_STRING I2cControllerPath;
    WCHAR I2cControllerPathBuffer[CONTROLLER_PATH_CHARACTERS];
    BOOLEAN I2cTargetRemoved;
    WDFIOTARGET I2cTarget;
    WDFIOTARGET GpioTarget;
    GPIO_PIN_INTERFACE GpioInterface;
    PVOID GpioNotificationEntry;
    WDFWAITLOCK WaitLock;
    WDFINTERRUPT Interrupt;
    WDFWORKITEM ReadWorkItems[2];
    USHORT NextReadWorkItem;
    BOOLEAN ResetSent;
    BOOLEAN ResetComplete;

    //
    // Users of I2cTarget hold this run-down reference while they use the
    // handle, so that the target is deleted only after the last of them.
    //
    EX_RUNDOWN_REF I2cTargetRundown;

    //
    // Interrupts whose report has not been read yet. The work item that
    // takes it from 0 to 1 reads until it is back to 0, so that two reads
    // never share InputReportBuffer.
    //
    LONG PendingReads;

    //
    // Set before the framework disconnects the interrupt: a read that starts
    // afterwards does nothing, and the one in progress has finished with the
    // interrupt lock by the time the interrupt goes. The next D0 entry
    // unmasks the pin such a read left masked.
    //
    LONG ReadPathStopped;
} DEVICE_EXTENSION, *PDEVICE_EXTENSION;

WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(DEVICE_EXTENSION, GetDeviceContext)

#if defined(_X86_)
static_assert(sizeof(HID_I2C_DESCRIPTOR) == 30, "HID descriptor is 30 bytes");
static_assert(sizeof(GPIO_PIN_INTERFACE) == 32, "GPIO pin interface is 32 bytes on x86");
static_assert(sizeof(I2C_CONNECTION_SETTINGS) == 6, "connection settings are 6 bytes");
static_assert(sizeof(HID_XFER_PACKET) == 12, "transfer packet is 12 bytes on x86");
#endif
static_assert(sizeof(HID_I2C_DESCRIPTOR) == 30, "HID descriptor is 30 bytes");
static_assert(sizeof(I2C_CONNECTION_SETTINGS) == 6, "connection settings are 6 bytes");

//
// Driver entry and device add.
//
EXTERN_C DRIVER_INITIALIZE DriverEntry;
EVT_WDF_DRIVER_UNLOAD EvtDriverUnload;
EVT_WDF_DRIVER_DEVICE_ADD EvtDeviceAdd;

//
// PnP, power and controller binding.
//
EVT_WDF_DEVICE_PREPARE_HARDWARE EvtDevicePrepareHardware;
EVT_WDF_DEVICE_RELEASE_HARDWARE EvtDeviceReleaseHardware;
EVT_WDF_DEVICE_D0_ENTRY EvtDeviceD0Entry;
EVT_WDF_DEVICE_D0_EXIT EvtDeviceD0Exit;
EVT_WDF_DEVICE_D0_EXIT_PRE_INTERRUPTS_DISABLED EvtDeviceD0ExitPreInterruptsDisabled;
EVT_WDF_IO_TARGET_QUERY_REMOVE EvtI2cTargetQueryRemove;
EVT_WDF_IO_TARGET_REMOVE_CANCELED EvtI2cTargetRemoveCanceled;
EVT_WDF_IO_TARGET_REMOVE_COMPLETE EvtI2cTargetRemoveComplete;
EVT_WDF_IO_TARGET_QUERY_REMOVE EvtGpioTargetQueryRemove;
EVT_WDF_IO_TARGET_REMOVE_CANCELED EvtGpioTargetRemoveCanceled;
EVT_WDF_IO_TARGET_REMOVE_COMPLETE EvtGpioTargetRemoveComplete;
DRIVER_NOTIFICATION_CALLBACK_ROUTINE EvtGpioInterfaceArrival;
EVT_WDF_IO_QUEUE_IO_CANCELED_ON_QUEUE EvtIoCanceledOnReadQueue;

VOID RewriteControllerPath(PUNICODE_STRING Path);
BOOLEAN ControllerPathMatches(PCUNICODE_STRING SymbolicLinkName, PCUNICODE_STRING ControllerPath);

//
// Interrupt path.
//
EVT_WDF_INTERRUPT_ISR EvtInterruptIsr;
EVT_WDF_INTERRUPT_DPC EvtInterruptDpc;
EVT_WDF_WORKITEM EvtWorkItemReadReport;

//
// Request dispatch and the I2C controller request.
//
EVT_WDF_IO_QUEUE_IO_INTERNAL_DEVICE_CONTROL EvtIoInternalDeviceControl;

NTSTATUS
SendI2cRequest(
    WDFIOTARGET Target,
    PVOID InputBuffer,
    ULONG InputLength,
    PVOID OutputBuffer,
    ULONG OutputLength,
    ULONG IoControlCode
    );

NTSTATUS
SendDeviceI2cRequest(
    PDEVICE_EXTENSION Context,
    PVOID InputBuffer,
    ULONG InputLength,
    PVOID OutputBuffer,
    ULONG OutputLength,
    ULONG IoControlCode
    );

//
// ACPI configuration.
//
NTSTATUS QueryHidDescriptorAddress(WDFDEVICE Device, PUSHORT Address);
NTSTATUS
QueryConnectionResources(
    WDFDEVICE Device,
    PUSHORT SlaveAddress,
    PULONG ConnectionSpeed,
    PUNICODE_STRING I2cPath,
    PUSHORT GpioPin,
    PUNICODE_STRING GpioPath
    );

//
// HID over I2C: connection, descriptor, commands and the HID handlers.
//
NTSTATUS ConfigureI2cConnection(PDEVICE_EXTENSION Context);
NTSTATUS ReadHidDescriptor(PDEVICE_EXTENSION Context);
NTSTATUS SendSleepCommand(PDEVICE_EXTENSION Context);
VOID StoreCommand(PUCHAR Command, USHORT CommandRegister, UCHAR Argument, UCHAR Opcode);

NTSTATUS HidGetDeviceDescriptor(WDFDEVICE Device, WDFREQUEST Request);
NTSTATUS HidGetReportDescriptor(WDFDEVICE Device, WDFREQUEST Request);
NTSTATUS HidGetDeviceAttributes(WDFDEVICE Device, WDFREQUEST Request);
NTSTATUS HidGetString(WDFREQUEST Request);
NTSTATUS HidReadReport(WDFDEVICE Device, WDFREQUEST Request);
NTSTATUS HidWriteReport(WDFDEVICE Device, WDFREQUEST Request);
NTSTATUS HidGetSetFeature(WDFDEVICE Device, WDFREQUEST Request);

//
// Command words of the HID over I2C command register.
//
#define HIDI2C_OPCODE_RESET        0x01
#define HIDI2C_OPCODE_GET_REPORT   0x02
#define HIDI2C_OPCODE_SET_REPORT   0x03
#define HIDI2C_OPCODE_SET_POWER    0x08
#define HIDI2C_POWER_ON            0x00
#define HIDI2C_POWER_SLEEP         0x01
#define HIDI2C_REPORT_TYPE_FEATURE 0x30
#define HIDI2C_REPORT_ID_ESCAPE    0x0F

//
// The largest report whose length, with its 2-byte length field, still fits
// the protocol's 16-bit length fields.
//
#define HIDI2C_MAX_REPORT_LENGTH (0xFFFF - 2)

/*++
    Driver entry, unload and device add.
--*/
#include "OrvanHidI2c.h"

#ifdef ALLOC_PRAGMA
#pragma alloc_text(INIT, DriverEntry)
#pragma alloc_text(PAGE, EvtDeviceAdd)
#endif

/*++
    Asks whether the running kernel is Windows 8 or later. Kernels that do not
    export RtlIsNtDdiVersionAvailable are answered from PsGetVersion.
--*/
static BOOLEAN
IsWindows8OrLater(
    VOID
    )
{
    UNICODE_STRING routineName;
    PFN_RTL_IS_NTDDI_VERSION_AVAILABLE isVersionAvailable;
    ULONG major = 0;
    ULONG minor = 0;
    ULONG version;

    RtlInitUnicodeString(&routineName, L"RtlIsNtDdiVersionAvailable");
    isVersionAvailable = (PFN_RTL_IS_NTDDI_VERSION_AVAILABLE)MmGetSystemRoutineAddress(&routineName);
    if (isVersionAvailable != NULL) {
        return isVersionAvailable(NTDDI_WIN8);
    }

    PsGetVersion(&major, &minor, NULL, NULL);
    version = ((major * 256) + minor) * 65536;
    return ((version & 0xFFFF) == 0 && version >= NTDDI_WIN8) ? TRUE : FALSE;
}

/*++
    Starts tracing, refuses Windows 8 and later, and creates the framework
    driver object.
--*/
NTSTATUS
DriverEntry(
    _In_ PDRIVER_OBJECT DriverObject,
    _In_ PUNICODE_STRING RegistryPath
    )
{
    WDF_DRIVER_CONFIG config;
    NTSTATUS status;

    WPP_INIT_TRACING(DriverObject, RegistryPath);
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_DRIVER, "entry");

    if (IsWindows8OrLater()) {
        status = STATUS_REVISION_MISMATCH;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER,
                    "Windows 8 or later is not supported, status 0x%08X", status);
        WPP_CLEANUP(DriverObject);
        return status;
    }

    WDF_DRIVER_CONFIG_INIT(&config, EvtDeviceAdd);
    config.EvtDriverUnload = EvtDriverUnload;

    status = WdfDriverCreate(DriverObject, RegistryPath, WDF_NO_OBJECT_ATTRIBUTES, &config, WDF_NO_HANDLE);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, "WdfDriverCreate failed, status 0x%08X", status);
        WPP_CLEANUP(DriverObject);
        return status;
    }

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_DRIVER, "exit, status 0x%08X", status);
    return status;
}

/*++
    Stops tracing for the driver object.
--*/
VOID
EvtDriverUnload(
    _In_ WDFDRIVER Driver
    )
{
    PDRIVER_OBJECT driverObject = WdfDriverWdmGetDriverObject(Driver);

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_DRIVER, "unload");
    WPP_CLEANUP(driverObject);
}

/*++
    Creates the device with its context, the default queue for the HID
    class driver's requests, the manual read queue, the interrupt object and
    the wait lock. Nothing here touches the hardware.
--*/
NTSTATUS
EvtDeviceAdd(
    _In_ WDFDRIVER Driver,
    _Inout_ PWDFDEVICE_INIT DeviceInit
    )
{
    WDF_PNPPOWER_EVENT_CALLBACKS pnpPowerCallbacks;
    WDF_OBJECT_ATTRIBUTES deviceAttributes;
    WDF_OBJECT_ATTRIBUTES queueAttributes;
    WDF_OBJECT_ATTRIBUTES lockAttributes;
    WDF_DEVICE_STATE deviceState;
    WDF_IO_QUEUE_CONFIG queueConfig;
    WDF_INTERRUPT_CONFIG interruptConfig;
    PDEVICE_EXTENSION context;
    WDFDEVICE device;
    WDFQUEUE queue;
    NTSTATUS status;

    UNREFERENCED_PARAMETER(Driver);
    PAGED_CODE();
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_DRIVER, "entry");

    WDF_PNPPOWER_EVENT_CALLBACKS_INIT(&pnpPowerCallbacks);
    pnpPowerCallbacks.EvtDeviceD0Entry = EvtDeviceD0Entry;
    pnpPowerCallbacks.EvtDeviceD0Exit = EvtDeviceD0Exit;
    pnpPowerCallbacks.EvtDeviceD0ExitPreInterruptsDisabled = EvtDeviceD0ExitPreInterruptsDisabled;
    pnpPowerCallbacks.EvtDevicePrepareHardware = EvtDevicePrepareHardware;
    pnpPowerCallbacks.EvtDeviceReleaseHardware = EvtDeviceReleaseHardware;
    WdfDeviceInitSetPnpPowerEventCallbacks(DeviceInit, &pnpPowerCallbacks);

    //
    // The HID class driver above owns power policy.
    //
    WdfDeviceInitSetPowerPolicyOwnership(DeviceInit, FALSE);

    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&deviceAttributes, DEVICE_EXTENSION);
    status = WdfDeviceCreate(&DeviceInit, &deviceAttributes, &device);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, "WdfDeviceCreate failed, status 0x%08X", status);
        return status;
    }

    context = GetDeviceContext(device);
    context->Device = device;

    WDF_DEVICE_STATE_INIT(&deviceState);
    deviceState.NotDisableable = WdfFalse;
    WdfDeviceSetDeviceState(device, &deviceState);

    WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(&queueConfig, WdfIoQueueDispatchParallel);
    queueConfig.EvtIoInternalDeviceControl = EvtIoInternalDeviceControl;
    WDF_OBJECT_ATTRIBUTES_INIT(&queueAttributes);
    status = WdfIoQueueCreate(device, &queueConfig, &queueAttributes, &queue);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, "default queue creation failed, status 0x%08X", status);
        return status;
    }

    WDF_IO_QUEUE_CONFIG_INIT(&queueConfig, WdfIoQueueDispatchManual);
    queueConfig.EvtIoCanceledOnQueue = EvtIoCanceledOnReadQueue;
    status = WdfIoQueueCreate(device, &queueConfig, WDF_NO_OBJECT_ATTRIBUTES, &context->ReadQueue);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, "read queue creation failed, status 0x%08X", status);
        return status;
    }

    WDF_INTERRUPT_CONFIG_INIT(&interruptConfig, EvtInterruptIsr, EvtInterruptDpc);
    status = WdfInterruptCreate(device, &interruptConfig, WDF_NO_OBJECT_ATTRIBUTES, &context->Interrupt);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, "interrupt creation failed, status 0x%08X", status);
        return status;
    }

    WDF_OBJECT_ATTRIBUTES_INIT(&lockAttributes);
    lockAttributes.ParentObject = device;
    status = WdfWaitLockCreate(&lockAttributes, &context->WaitLock);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, "wait lock creation failed, status 0x%08X", status);
        return status;
    }

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_DRIVER, "exit, status 0x%08X", status);
    return status;
}

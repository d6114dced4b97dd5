/*++
    PnP and power: hardware preparation and release, D0 entry and exit, the
    binding to the I2C and GPIO controller drivers and the callbacks of
    their removal, the late GPIO controller, and the read queue's cancel
    callback.
--*/
#include "OrvanHidI2c.h"

#ifdef ALLOC_PRAGMA
#pragma alloc_text(PAGE, EvtDevicePrepareHardware)
#pragma alloc_text(PAGE, EvtDeviceReleaseHardware)
#pragma alloc_text(PAGE, EvtDeviceD0Entry)
#pragma alloc_text(PAGE, EvtDeviceD0Exit)
#pragma alloc_text(PAGE, EvtDeviceD0ExitPreInterruptsDisabled)
#pragma alloc_text(PAGE, EvtI2cTargetQueryRemove)
#pragma alloc_text(PAGE, EvtI2cTargetRemoveCanceled)
#pragma alloc_text(PAGE, EvtI2cTargetRemoveComplete)
#pragma alloc_text(PAGE, EvtGpioTargetQueryRemove)
#pragma alloc_text(PAGE, EvtGpioTargetRemoveCanceled)
#pragma alloc_text(PAGE, EvtGpioTargetRemoveComplete)
#pragma alloc_text(PAGE, EvtGpioInterfaceArrival)
#endif

/*++
    Every backslash of a controller's ACPI path becomes an underscore, as it
    stands in the controller's symbolic-link name.
--*/
VOID
RewriteControllerPath(
    _Inout_ PUNICODE_STRING Path
    )
{
    USHORT i;

    for (i = 0; i < Path->Length / sizeof(WCHAR); ++i) {
        if (Path->Buffer[i] == L'\\') {
            Path->Buffer[i] = L'_';
        }
    }
}

/*++
    TRUE when the symbolic-link name contains the controller path, compared
    code unit by code unit.
--*/
BOOLEAN
ControllerPathMatches(
    _In_ PCUNICODE_STRING SymbolicLinkName,
    _In_ PCUNICODE_STRING ControllerPath
    )
{
    USHORT nameLength = SymbolicLinkName->Length / sizeof(WCHAR);
    USHORT pathLength = ControllerPath->Length / sizeof(WCHAR);
    USHORT start;
    USHORT i;

    if (pathLength == 0) {
        return TRUE;
    }
    for (start = 0; start + pathLength <= nameLength; ++start) {
        for (i = 0; i < pathLength; ++i) {
            if (SymbolicLinkName->Buffer[start + i] != ControllerPath->Buffer[i]) {
                break;
            }
        }
        if (i == pathLength) {
            return TRUE;
        }
    }
    return FALSE;
}

/*++
    Finds the first interface in the list whose name contains the path.
--*/
static BOOLEAN
FindControllerInterface(
    PWSTR List,
    PCUNICODE_STRING ControllerPath,
    PUNICODE_STRING Name
    )
{
    PWSTR entry = List;

    while (*entry != 0) {
        RtlInitUnicodeString(Name, entry);
        if (ControllerPathMatches(Name, ControllerPath)) {
            return TRUE;
        }
        entry += Name->Length / sizeof(WCHAR) + 1;
    }
    return FALSE;
}

/*++
    Creates a remote target and opens it by name with the removal callbacks.
    A target whose open fails is left to the device's deletion.
--*/
static NTSTATUS
OpenControllerTarget(
    WDFDEVICE Device,
    PCUNICODE_STRING Name,
    PFN_WDF_IO_TARGET_QUERY_REMOVE QueryRemove,
    PFN_WDF_IO_TARGET_REMOVE_CANCELED RemoveCanceled,
    PFN_WDF_IO_TARGET_REMOVE_COMPLETE RemoveComplete,
    WDFIOTARGET *Target
    )
{
    WDF_IO_TARGET_OPEN_PARAMS openParams;
    WDFIOTARGET target;
    NTSTATUS status;

    status = WdfIoTargetCreate(Device, WDF_NO_OBJECT_ATTRIBUTES, &target);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, "WdfIoTargetCreate failed, status 0x%08X", status);
        return status;
    }

    RtlZeroMemory(&openParams, sizeof(openParams));
    openParams.Size = sizeof(openParams);
    openParams.Type = WdfIoTargetOpenByName;
    openParams.TargetDeviceName = *Name;
    openParams.DesiredAccess = FILE_READ_DATA;
    openParams.ShareAccess = FILE_SHARE_READ | FILE_SHARE_WRITE;
    openParams.FileAttributes = 0;
    openParams.CreateDisposition = FILE_OPEN;
    openParams.CreateOptions = FILE_NON_DIRECTORY_FILE;
    openParams.EvtIoTargetQueryRemove = QueryRemove;
    openParams.EvtIoTargetRemoveCanceled = RemoveCanceled;
    openParams.EvtIoTargetRemoveComplete = RemoveComplete;

    status = WdfIoTargetOpen(target, &openParams);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, "WdfIoTargetOpen failed, status 0x%08X", status);
        return status;
    }

    *Target = target;
    return status;
}

/*++
    Opens the I2C controller whose interface name contains the I2C path.
--*/
static NTSTATUS
BindI2cController(
    PDEVICE_EXTENSION Context,
    PWSTR *List
    )
{
    UNICODE_STRING name;
    WDFIOTARGET target;
    NTSTATUS status;

    status = IoGetDeviceInterfaces(&GUID_I2C_CONTROLLER_INTERFACE, NULL, 0, List);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, "I2C interface list failed, status 0x%08X", status);
        return status;
    }
    if (!FindControllerInterface(*List, &Context->I2cControllerPath, &name)) {
        status = STATUS_DEVICE_CONFIGURATION_ERROR;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, "no I2C controller matches, status 0x%08X", status);
        return status;
    }

    status = OpenControllerTarget(Context->Device, &name, EvtI2cTargetQueryRemove, EvtI2cTargetRemoveCanceled,
                                  EvtI2cTargetRemoveComplete, &target);
    if (NT_SUCCESS(status)) {
        Context->I2cTarget = target;
        TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_DRIVER, "I2C controller bound");
    }
    return status;
}

/*++
    Opens the GPIO controller whose interface name contains the GPIO path,
    takes its pin interface and unmasks the pin. Without such a controller
    the driver registers for its arrival and runs without masking.
--*/
static NTSTATUS
BindGpioController(
    PDEVICE_EXTENSION Context,
    PWSTR *List
    )
{
    UNICODE_STRING name;
    WDFIOTARGET target;
    NTSTATUS status;

    status = IoGetDeviceInterfaces(&GUID_GPIO_CONTROLLER_INTERFACE, NULL, 0, List);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, "GPIO interface list failed, status 0x%08X", status);
        return status;
    }

    if (FindControllerInterface(*List, &Context->GpioControllerPath, &name)) {
        status = OpenControllerTarget(Context->Device, &name, EvtGpioTargetQueryRemove,
                                      EvtGpioTargetRemoveCanceled, EvtGpioTargetRemoveComplete, &target);
        if (!NT_SUCCESS(status)) {
            return status;
        }
        Context->GpioTarget = target;

        //
        // A failed query must not leave the routines of an earlier binding
        // for release to call.
        //
        RtlZeroMemory(&Context->GpioInterface, sizeof(Context->GpioInterface));
        status = WdfIoTargetQueryForInterface(target, &GUID_GPIO_CONTROLLER_INTERFACE,
                                              (PINTERFACE)&Context->GpioInterface, sizeof(GPIO_PIN_INTERFACE),
                                              GPIO_PIN_INTERFACE_VERSION, NULL);
        if (!NT_SUCCESS(status)) {
            TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, "GPIO interface query failed, status 0x%08X", status);
            return status;
        }
        if (Context->GpioInterface.Context == NULL) {
            status = STATUS_INVALID_PARAMETER;
            TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, "GPIO interface has no context, status 0x%08X", status);
            return status;
        }
        if (Context->GpioInterface.UnmaskInterrupt != NULL) {
            Context->GpioInterface.UnmaskInterrupt(Context->GpioInterface.Context, Context->GpioPin);
        }
        TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_DRIVER, "GPIO controller bound, pin %u", Context->GpioPin);
        return status;
    }

    status = IoRegisterPlugPlayNotification(EventCategoryDeviceInterfaceChange,
                                            PNPNOTIFY_DEVICE_INTERFACE_INCLUDE_EXISTING_INTERFACES,
                                            (PVOID)&GUID_GPIO_CONTROLLER_INTERFACE,
                                            WdfDriverWdmGetDriverObject(WdfDeviceGetDriver(Context->Device)),
                                            EvtGpioInterfaceArrival,
                                            Context,
                                            &Context->GpioNotificationEntry);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, "arrival registration failed, status 0x%08X", status);
        return status;
    }
    TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_DRIVER, "no GPIO controller yet, waiting for its arrival");
    return status;
}

/*++
    Deletes the I2C target once no request uses it any more. The caller
    holds WaitLock, so release and the controller's removal never delete it
    both.
--*/
static VOID
DeleteI2cTarget(
    PDEVICE_EXTENSION Context
    )
{
    WDFIOTARGET target;

    if (Context->I2cTarget == NULL) {
        return;
    }
    ExWaitForRundownProtectionRelease(&Context->I2cTargetRundown);
    target = (WDFIOTARGET)InterlockedExchangePointer((PVOID volatile *)&Context->I2cTarget, NULL);
    if (target != NULL) {
        WdfObjectDelete(target);
    }
}

/*++
    Takes the device from a bare device object to a bound, described device:
    resources, ACPI configuration, both controllers, the I2C connection, the
    HID descriptor and the two read work items. Every exit frees the
    interface lists; whatever was bound stays for release.
--*/
NTSTATUS
EvtDevicePrepareHardware(
    _In_ WDFDEVICE Device,
    _In_ WDFCMRESLIST ResourcesRaw,
    _In_ WDFCMRESLIST ResourcesTranslated
    )
{
    PDEVICE_EXTENSION context = GetDeviceContext(Device);
    PCM_PARTIAL_RESOURCE_DESCRIPTOR descriptor;
    WDF_WORKITEM_CONFIG workItemConfig;
    WDF_OBJECT_ATTRIBUTES workItemAttributes;
    PWSTR i2cList = NULL;
    PWSTR gpioList = NULL;
    ULONG count;
    ULONG interrupts = 0;
    ULONG i;
    NTSTATUS status = STATUS_SUCCESS;

    UNREFERENCED_PARAMETER(ResourcesRaw);
    PAGED_CODE();
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_DRIVER, "entry");

    count = WdfCmResourceListGetCount(ResourcesTranslated);
    if (count == 0) {
        status = STATUS_DEVICE_CONFIGURATION_ERROR;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, "no resources, status 0x%08X", status);
        goto Exit;
    }
    for (i = 0; i < count; ++i) {
        descriptor = WdfCmResourceListGetDescriptor(ResourcesTranslated, i);
        if (descriptor == NULL || descriptor->Type != CmResourceTypeInterrupt) {
            status = STATUS_DEVICE_CONFIGURATION_ERROR;
            TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, "resource %u of type %u, status 0x%08X", i,
                        descriptor != NULL ? descriptor->Type : 0, status);
            goto Exit;
        }
        ++interrupts;
    }
    if (interrupts != 1) {
        status = STATUS_DEVICE_CONFIGURATION_ERROR;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, "%u interrupt resources, status 0x%08X", interrupts, status);
        goto Exit;
    }

    context->GpioControllerPath.Length = 0;
    context->GpioControllerPath.MaximumLength = sizeof(context->GpioControllerPathBuffer);
    context->GpioControllerPath.Buffer = context->GpioControllerPathBuffer;
    context->I2cControllerPath.Length = 0;
    context->I2cControllerPath.MaximumLength = sizeof(context->I2cControllerPathBuffer);
    context->I2cControllerPath.Buffer = context->I2cControllerPathBuffer;
    context->HidDescriptorAddress = 0;
    context->ConnectionSpeed = 0;
    context->SlaveAddress = 0;
    context->GpioPin = 0;
    ExInitializeRundownProtection(&context->I2cTargetRundown);
    context->PendingReads = 0;

    status = QueryHidDescriptorAddress(Device, &context->HidDescriptorAddress);
    if (!NT_SUCCESS(status)) {
        goto Exit;
    }

    status = QueryConnectionResources(Device, &context->SlaveAddress, &context->ConnectionSpeed,
                                      &context->I2cControllerPath, &context->GpioPin,
                                      &context->GpioControllerPath);
    if (!NT_SUCCESS(status)) {
        goto Exit;
    }

    RewriteControllerPath(&context->I2cControllerPath);
    RewriteControllerPath(&context->GpioControllerPath);

    status = BindI2cController(context, &i2cList);
    if (!NT_SUCCESS(status)) {
        goto Exit;
    }

    status = BindGpioController(context, &gpioList);
    if (!NT_SUCCESS(status)) {
        goto Exit;
    }

    status = ConfigureI2cConnection(context);
    if (!NT_SUCCESS(status)) {
        goto Exit;
    }

    status = ReadHidDescriptor(context);
    if (!NT_SUCCESS(status)) {
        goto Exit;
    }

    context->NextReadWorkItem = 0;
    for (i = 0; i < 2; ++i) {
        WDF_WORKITEM_CONFIG_INIT(&workItemConfig, EvtWorkItemReadReport);
        workItemConfig.AutomaticSerialization = TRUE;
        WDF_OBJECT_ATTRIBUTES_INIT(&workItemAttributes);
        workItemAttributes.ParentObject = Device;
        status = WdfWorkItemCreate(&workItemConfig, &workItemAttributes, &context->ReadWorkItems[i]);
        if (!NT_SUCCESS(status)) {
            TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, "work item %u creation failed, status 0x%08X", i, status);
            goto Exit;
        }
    }

Exit:
    if (i2cList != NULL) {
        ExFreePoolWithTag(i2cList, 0);
    }
    if (gpioList != NULL) {
        ExFreePoolWithTag(gpioList, 0);
    }
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_DRIVER, "exit, status 0x%08X", status);
    return status;
}

/*++
    Undoes the binding and frees the input buffer. The read work items are
    flushed first: a read still running would use the buffer and the target.
    Each step tests its own field, so a partly prepared device is safe.
--*/
NTSTATUS
EvtDeviceReleaseHardware(
    _In_ WDFDEVICE Device,
    _In_ WDFCMRESLIST ResourcesTranslated
    )
{
    PDEVICE_EXTENSION context = GetDeviceContext(Device);
    ULONG i;

    UNREFERENCED_PARAMETER(ResourcesTranslated);
    PAGED_CODE();
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_DRIVER, "entry");

    for (i = 0; i < 2; ++i) {
        if (context->ReadWorkItems[i] != NULL) {
            WdfWorkItemFlush(context->ReadWorkItems[i]);
        }
    }

    if (context->GpioNotificationEntry != NULL) {
        IoUnregisterPlugPlayNotification(context->GpioNotificationEntry);
        context->GpioNotificationEntry = NULL;
    }

    if (context->GpioTarget != NULL || context->I2cTarget != NULL) {
        WdfWaitLockAcquire(context->WaitLock, NULL);
        if (context->GpioTarget != NULL) {
            //
            // A preparation that failed on the interface has a target but no
            // usable interface: its routines are not called then.
            //
            if (context->GpioInterface.Context != NULL && context->GpioInterface.MaskInterrupt != NULL) {
                context->GpioInterface.MaskInterrupt(context->GpioInterface.Context, context->GpioPin);
            }
            WdfObjectDelete(context->GpioTarget);
            context->GpioTarget = NULL;
        }
        DeleteI2cTarget(context);
        WdfWaitLockRelease(context->WaitLock);
    }

    if (context->InputReportBuffer != NULL) {
        ExFreePoolWithTag(context->InputReportBuffer, HIDI2C_POOL_TAG);
        context->InputReportBuffer = NULL;
    }

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_DRIVER, "exit");
    return STATUS_SUCCESS;
}

/*++
    Powers the controller up with SET_POWER(ON) and, at the first successful
    power-up of this device object, resets it.
--*/
NTSTATUS
EvtDeviceD0Entry(
    _In_ WDFDEVICE Device,
    _In_ WDF_POWER_DEVICE_STATE PreviousState
    )
{
    PDEVICE_EXTENSION context = GetDeviceContext(Device);
    PUCHAR command;
    NTSTATUS status;

    UNREFERENCED_PARAMETER(PreviousState);
    PAGED_CODE();
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_POWER, "entry");

    command = (PUCHAR)ExAllocatePoolWithTag(NonPagedPool, 4, HIDI2C_POOL_TAG);
    if (command == NULL) {
        status = STATUS_INSUFFICIENT_RESOURCES;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_POWER, "allocation failed, status 0x%08X", status);
        return status;
    }

    StoreCommand(command, context->HidDescriptor.wCommandRegister, HIDI2C_POWER_ON, HIDI2C_OPCODE_SET_POWER);
    status = SendDeviceI2cRequest(context, command, 4, NULL, 0, IOCTL_I2C_WRITE);
    if (!NT_SUCCESS(status)) {
        ExFreePoolWithTag(command, HIDI2C_POOL_TAG);
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_POWER, "SET_POWER(ON) failed, status 0x%08X", status);
        return status;
    }

    if (!context->ResetSent) {
        StoreCommand(command, context->HidDescriptor.wCommandRegister, 0x00, HIDI2C_OPCODE_RESET);
        status = SendDeviceI2cRequest(context, command, 4, NULL, 0, IOCTL_I2C_WRITE);
        if (NT_SUCCESS(status)) {
            context->ResetSent = TRUE;
            TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_POWER, "RESET sent");
        } else {
            TraceEvents(TRACE_LEVEL_ERROR, TRACE_POWER, "RESET failed, status 0x%08X", status);
        }
    }

    ExFreePoolWithTag(command, HIDI2C_POOL_TAG);

    //
    // The interrupt is not connected yet, so the pin can be unmasked without
    // the interrupt lock.
    //
    if (NT_SUCCESS(status) && InterlockedExchange(&context->ReadPathStopped, FALSE) &&
        context->GpioTarget != NULL && context->GpioInterface.UnmaskInterrupt != NULL) {
        context->GpioInterface.UnmaskInterrupt(context->GpioInterface.Context, context->GpioPin);
    }

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_POWER, "exit, status 0x%08X", status);
    return status;
}

/*++
    Stops the read path while the interrupt is still connected: no read
    starts from now on, and the one in progress finishes, interrupt lock and
    all, before the framework disconnects the interrupt.
--*/
NTSTATUS
EvtDeviceD0ExitPreInterruptsDisabled(
    _In_ WDFDEVICE Device,
    _In_ WDF_POWER_DEVICE_STATE TargetState
    )
{
    PDEVICE_EXTENSION context = GetDeviceContext(Device);
    ULONG i;

    UNREFERENCED_PARAMETER(TargetState);
    PAGED_CODE();
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_POWER, "entry");

    InterlockedExchange(&context->ReadPathStopped, TRUE);
    for (i = 0; i < 2; ++i) {
        if (context->ReadWorkItems[i] != NULL) {
            WdfWorkItemFlush(context->ReadWorkItems[i]);
        }
    }

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_POWER, "exit");
    return STATUS_SUCCESS;
}

/*++
    Puts the controller to sleep, unless the I2C controller is going away.
--*/
NTSTATUS
EvtDeviceD0Exit(
    _In_ WDFDEVICE Device,
    _In_ WDF_POWER_DEVICE_STATE TargetState
    )
{
    PDEVICE_EXTENSION context = GetDeviceContext(Device);
    NTSTATUS status = STATUS_SUCCESS;

    UNREFERENCED_PARAMETER(TargetState);
    PAGED_CODE();
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_POWER, "entry");

    if (!context->I2cTargetRemoved) {
        status = SendSleepCommand(context);
    }

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_POWER, "exit, status 0x%08X", status);
    return status;
}

/*++
    The I2C controller asks to be removed: put the touch controller to sleep
    while it still can be reached, then let the target go.
--*/
NTSTATUS
EvtI2cTargetQueryRemove(
    _In_ WDFIOTARGET IoTarget
    )
{
    PDEVICE_EXTENSION context = GetDeviceContext(WdfIoTargetGetDevice(IoTarget));

    PAGED_CODE();
    TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_DRIVER, "I2C controller query-remove");

    (VOID)SendSleepCommand(context);
    context->I2cTargetRemoved = TRUE;
    WdfIoTargetCloseForQueryRemove(IoTarget);
    return STATUS_SUCCESS;
}

/*++
    The removal did not happen. The target stays closed until the next start.
--*/
VOID
EvtI2cTargetRemoveCanceled(
    _In_ WDFIOTARGET IoTarget
    )
{
    UNREFERENCED_PARAMETER(IoTarget);
    PAGED_CODE();
    TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_DRIVER, "I2C controller removal canceled");
}

/*++
    The I2C controller is gone: delete its target once no request uses it.
--*/
VOID
EvtI2cTargetRemoveComplete(
    _In_ WDFIOTARGET IoTarget
    )
{
    PDEVICE_EXTENSION context = GetDeviceContext(WdfIoTargetGetDevice(IoTarget));

    PAGED_CODE();
    TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_DRIVER, "I2C controller removed");

    WdfWaitLockAcquire(context->WaitLock, NULL);
    DeleteI2cTarget(context);
    WdfWaitLockRelease(context->WaitLock);
    context->I2cTargetRemoved = TRUE;
}

/*++
    The GPIO controller carries the touch controller's interrupt line: its
    orderly removal is refused while this device holds it.
--*/
NTSTATUS
EvtGpioTargetQueryRemove(
    _In_ WDFIOTARGET IoTarget
    )
{
    UNREFERENCED_PARAMETER(IoTarget);
    PAGED_CODE();
    TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_DRIVER, "GPIO controller query-remove refused");
    return STATUS_UNSUCCESSFUL;
}

VOID
EvtGpioTargetRemoveCanceled(
    _In_ WDFIOTARGET IoTarget
    )
{
    UNREFERENCED_PARAMETER(IoTarget);
    PAGED_CODE();
    TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_DRIVER, "GPIO controller removal canceled");
}

/*++
    The GPIO controller is gone. Once GpioTarget is NULL no path calls the
    pin routines any more; the interface reference the query took keeps
    their context valid for a caller that read the target just before.
--*/
VOID
EvtGpioTargetRemoveComplete(
    _In_ WDFIOTARGET IoTarget
    )
{
    PDEVICE_EXTENSION context = GetDeviceContext(WdfIoTargetGetDevice(IoTarget));

    PAGED_CODE();
    TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_DRIVER, "GPIO controller removed");

    WdfWaitLockAcquire(context->WaitLock, NULL);
    if (context->GpioTarget != NULL) {
        WDFIOTARGET target = context->GpioTarget;
        context->GpioTarget = NULL;
        WdfObjectDelete(target);
    }
    WdfWaitLockRelease(context->WaitLock);
}

/*++
    A GPIO controller interface changed. The arrival of the one that carries
    the interrupt line makes the framework restart the device, whose next
    preparation binds it.
--*/
NTSTATUS
EvtGpioInterfaceArrival(
    _In_ PVOID NotificationStructure,
    _Inout_opt_ PVOID Context
    )
{
    PDEVICE_INTERFACE_CHANGE_NOTIFICATION notification =
        (PDEVICE_INTERFACE_CHANGE_NOTIFICATION)NotificationStructure;
    PDEVICE_EXTENSION context = (PDEVICE_EXTENSION)Context;
    WDF_DEVICE_STATE deviceState;

    PAGED_CODE();

    if (!IsEqualGUID(notification->InterfaceClassGuid, GUID_GPIO_CONTROLLER_INTERFACE)) {
        return STATUS_SUCCESS;
    }
    if (!IsEqualGUID(notification->Event, GUID_DEVICE_INTERFACE_ARRIVAL)) {
        return STATUS_SUCCESS;
    }
    if (!ControllerPathMatches(notification->SymbolicLinkName, &context->GpioControllerPath)) {
        return STATUS_SUCCESS;
    }

    TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_DRIVER, "GPIO controller arrived, restarting the device");
    WDF_DEVICE_STATE_INIT(&deviceState);
    deviceState.Failed = WdfTrue;
    deviceState.ResourcesChanged = WdfTrue;
    WdfDeviceSetDeviceState(context->Device, &deviceState);
    return STATUS_SUCCESS;
}

/*++
    A parked read was canceled. It can be canceled at DISPATCH_LEVEL, so this
    routine stays in non-paged code.
--*/
VOID
EvtIoCanceledOnReadQueue(
    _In_ WDFQUEUE Queue,
    _In_ WDFREQUEST Request
    )
{
    UNREFERENCED_PARAMETER(Queue);
    TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_DRIVER, "parked read canceled");
    WdfRequestComplete(Request, STATUS_CANCELLED);
}

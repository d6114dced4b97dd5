/*++
    Dispatch of the HID class driver's internal requests, and the one
    routine that sends a request to the I2C controller driver.
--*/
#include "OrvanHidI2c.h"

/*++
    Routes an internal device-control request to its handler and completes
    it with the handler's status. A read that the handler parked in the read
    queue is completed later by the read path.
--*/
VOID
EvtIoInternalDeviceControl(
    _In_ WDFQUEUE Queue,
    _In_ WDFREQUEST Request,
    _In_ size_t OutputBufferLength,
    _In_ size_t InputBufferLength,
    _In_ ULONG IoControlCode
    )
{
    WDFDEVICE device;
    NTSTATUS status;

    UNREFERENCED_PARAMETER(OutputBufferLength);
    UNREFERENCED_PARAMETER(InputBufferLength);

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_DISPATCH, "entry, code 0x%X", IoControlCode);
    device = WdfIoQueueGetDevice(Queue);

    switch (IoControlCode) {
    case IOCTL_HID_GET_DEVICE_DESCRIPTOR:
        status = HidGetDeviceDescriptor(device, Request);
        break;

    case IOCTL_HID_GET_REPORT_DESCRIPTOR:
        status = HidGetReportDescriptor(device, Request);
        break;

    case IOCTL_HID_READ_REPORT:
        status = HidReadReport(device, Request);
        if (NT_SUCCESS(status)) {
            //
            // The request waits in the read queue now; it is no longer ours.
            //
            TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_DISPATCH, "exit, read parked");
            return;
        }
        break;

    case IOCTL_HID_WRITE_REPORT:
        status = HidWriteReport(device, Request);
        break;

    case IOCTL_HID_GET_STRING:
        status = HidGetString(Request);
        break;

    case IOCTL_HID_ACTIVATE_DEVICE:
    case IOCTL_HID_DEACTIVATE_DEVICE:
        WdfRequestSetInformation(Request, 0);
        status = STATUS_SUCCESS;
        break;

    case IOCTL_HID_GET_DEVICE_ATTRIBUTES:
        status = HidGetDeviceAttributes(device, Request);
        break;

    case IOCTL_HID_SET_FEATURE:
    case IOCTL_HID_GET_FEATURE:
        status = HidGetSetFeature(device, Request);
        break;

    default:
        status = STATUS_NOT_SUPPORTED;
        break;
    }

    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DISPATCH,
                    "code 0x%X failed, status 0x%08X", IoControlCode, status);
    }
    WdfRequestComplete(Request, status);
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_DISPATCH, "exit, status 0x%08X", status);
}

/*++
    Sends one private I/O control to the I2C controller driver and waits for
    it, at most five seconds. Only the completion status comes back; the
    number of bytes transferred is not looked at.
--*/
NTSTATUS
SendI2cRequest(
    _In_opt_ WDFIOTARGET Target,
    _In_reads_bytes_opt_(InputLength) PVOID InputBuffer,
    _In_ ULONG InputLength,
    _Out_writes_bytes_opt_(OutputLength) PVOID OutputBuffer,
    _In_ ULONG OutputLength,
    _In_ ULONG IoControlCode
    )
{
    WDF_MEMORY_DESCRIPTOR inputDescriptor;
    WDF_MEMORY_DESCRIPTOR outputDescriptor;
    WDF_REQUEST_SEND_OPTIONS options;
    NTSTATUS status;

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_I2C, "entry, code 0x%X", IoControlCode);

    if (Target == NULL) {
        status = STATUS_UNSUCCESSFUL;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "no I2C target, status 0x%08X", status);
        return status;
    }

    if (InputBuffer != NULL) {
        WDF_MEMORY_DESCRIPTOR_INIT_BUFFER(&inputDescriptor, InputBuffer, InputLength);
    }
    if (OutputBuffer != NULL) {
        WDF_MEMORY_DESCRIPTOR_INIT_BUFFER(&outputDescriptor, OutputBuffer, OutputLength);
    }

    WDF_REQUEST_SEND_OPTIONS_INIT(&options,
                                  WDF_REQUEST_SEND_OPTION_TIMEOUT | WDF_REQUEST_SEND_OPTION_SYNCHRONOUS);
    options.Timeout = WDF_REL_TIMEOUT_IN_SEC(I2C_REQUEST_TIMEOUT_SECONDS);

    status = WdfIoTargetSendIoctlSynchronously(Target,
                                               NULL,
                                               IoControlCode,
                                               InputBuffer != NULL ? &inputDescriptor : NULL,
                                               OutputBuffer != NULL ? &outputDescriptor : NULL,
                                               &options,
                                               NULL);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "code 0x%X failed, status 0x%08X", IoControlCode, status);
    }

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_I2C, "exit, status 0x%08X", status);
    return status;
}

/*++
    Sends a request on the device's I2C target while holding its run-down
    reference, so that the I2C controller's removal or hardware release
    cannot delete the target under the request. A target that is gone, or
    going, gives the same STATUS_UNSUCCESSFUL as one never bound.
--*/
NTSTATUS
SendDeviceI2cRequest(
    _In_ PDEVICE_EXTENSION Context,
    _In_reads_bytes_opt_(InputLength) PVOID InputBuffer,
    _In_ ULONG InputLength,
    _Out_writes_bytes_opt_(OutputLength) PVOID OutputBuffer,
    _In_ ULONG OutputLength,
    _In_ ULONG IoControlCode
    )
{
    NTSTATUS status;

    if (!ExAcquireRundownProtection(&Context->I2cTargetRundown)) {
        return SendI2cRequest(NULL, InputBuffer, InputLength, OutputBuffer, OutputLength, IoControlCode);
    }

    status = SendI2cRequest(Context->I2cTarget, InputBuffer, InputLength, OutputBuffer, OutputLength,
                            IoControlCode);
    ExReleaseRundownProtection(&Context->I2cTargetRundown);
    return status;
}

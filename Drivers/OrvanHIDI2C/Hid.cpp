/*++
    HID over I2C: connection setup, the HID descriptor, the power commands
    and the handlers of the HID class driver's requests.
--*/
#include "OrvanHidI2c.h"

static const WCHAR ManufacturerString[] = L"Orvan";
static const WCHAR ProductString[] = L"HIDI2C Device";
static const WCHAR SerialNumberString[] = L"00000000";

static VOID
StoreRegister(PUCHAR Destination, USHORT Register)
{
    Destination[0] = (UCHAR)(Register & 0xFF);
    Destination[1] = (UCHAR)(Register >> 8);
}

/*++
    A 4-byte command: the command register, then the command word with the
    opcode in its high byte and the opcode's argument in its low byte.
--*/
VOID
StoreCommand(
    _Out_writes_bytes_(4) PUCHAR Command,
    _In_ USHORT CommandRegister,
    _In_ UCHAR Argument,
    _In_ UCHAR Opcode
    )
{
    StoreRegister(Command, CommandRegister);
    Command[2] = Argument;
    Command[3] = Opcode;
}

/*++
    Tells the I2C controller driver which slave to address and how fast.
--*/
NTSTATUS
ConfigureI2cConnection(
    _In_ PDEVICE_EXTENSION Context
    )
{
    PUCHAR settings;
    NTSTATUS status;

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_I2C, "entry");

    settings = (PUCHAR)ExAllocatePoolWithTag(NonPagedPool, sizeof(I2C_CONNECTION_SETTINGS), HIDI2C_POOL_TAG);
    if (settings == NULL) {
        status = STATUS_INSUFFICIENT_RESOURCES;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "allocation failed, status 0x%08X", status);
        return status;
    }

    settings[0] = (UCHAR)(Context->ConnectionSpeed & 0xFF);
    settings[1] = (UCHAR)((Context->ConnectionSpeed >> 8) & 0xFF);
    settings[2] = (UCHAR)((Context->ConnectionSpeed >> 16) & 0xFF);
    settings[3] = (UCHAR)((Context->ConnectionSpeed >> 24) & 0xFF);
    StoreRegister(settings + 4, Context->SlaveAddress);

    status = SendDeviceI2cRequest(Context, settings, sizeof(I2C_CONNECTION_SETTINGS), NULL, 0,
                                  IOCTL_I2C_SET_CONNECTION);
    ExFreePoolWithTag(settings, HIDI2C_POOL_TAG);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "connection setup failed, status 0x%08X", status);
    }
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_I2C, "exit, status 0x%08X", status);
    return status;
}

/*++
    Reads the device's HID descriptor into the context and allocates the
    input report buffer. Every input report starts with a 2-byte length
    field, so a device whose reports cannot hold one is refused.
--*/
NTSTATUS
ReadHidDescriptor(
    _In_ PDEVICE_EXTENSION Context
    )
{
    PUCHAR address;
    NTSTATUS status;

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_I2C, "entry");

    address = (PUCHAR)ExAllocatePoolWithTag(NonPagedPool, sizeof(USHORT), HIDI2C_POOL_TAG);
    if (address == NULL) {
        status = STATUS_INSUFFICIENT_RESOURCES;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "allocation failed, status 0x%08X", status);
        return status;
    }
    StoreRegister(address, Context->HidDescriptorAddress);

    status = SendDeviceI2cRequest(Context, address, sizeof(USHORT), &Context->HidDescriptor,
                                  sizeof(HID_I2C_DESCRIPTOR), IOCTL_I2C_WRITE_READ);
    if (!NT_SUCCESS(status)) {
        ExFreePoolWithTag(address, HIDI2C_POOL_TAG);
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "HID descriptor read failed, status 0x%08X", status);
        return status;
    }

    TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_I2C,
                "HID descriptor: report descriptor %u bytes at 0x%04X, input %u bytes, output %u bytes at 0x%04X, "
                "command 0x%04X, data 0x%04X, id %04X:%04X version %04X",
                Context->HidDescriptor.wReportDescLength, Context->HidDescriptor.wReportDescRegister,
                Context->HidDescriptor.wMaxInputLength, Context->HidDescriptor.wMaxOutputLength,
                Context->HidDescriptor.wOutputRegister, Context->HidDescriptor.wCommandRegister,
                Context->HidDescriptor.wDataRegister, Context->HidDescriptor.wVendorID,
                Context->HidDescriptor.wProductID, Context->HidDescriptor.wVersionID);

    if (Context->HidDescriptor.wMaxInputLength < sizeof(USHORT)) {
        ExFreePoolWithTag(address, HIDI2C_POOL_TAG);
        status = STATUS_DEVICE_CONFIGURATION_ERROR;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "wMaxInputLength %u cannot hold a report, status 0x%08X",
                    Context->HidDescriptor.wMaxInputLength, status);
        return status;
    }

    Context->InputReportBuffer =
        (PUCHAR)ExAllocatePoolWithTag(NonPagedPool, Context->HidDescriptor.wMaxInputLength, HIDI2C_POOL_TAG);
    if (Context->InputReportBuffer == NULL) {
        ExFreePoolWithTag(address, HIDI2C_POOL_TAG);
        status = STATUS_INSUFFICIENT_RESOURCES;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "input buffer allocation failed, status 0x%08X", status);
        return status;
    }

    ExFreePoolWithTag(address, HIDI2C_POOL_TAG);
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_I2C, "exit, status 0x%08X", status);
    return status;
}

/*++
    Puts the touch controller to sleep: SET_POWER(SLEEP).
--*/
NTSTATUS
SendSleepCommand(
    _In_ PDEVICE_EXTENSION Context
    )
{
    PUCHAR command;
    NTSTATUS status;

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_POWER, "entry");

    command = (PUCHAR)ExAllocatePoolWithTag(NonPagedPool, 4, HIDI2C_POOL_TAG);
    if (command == NULL) {
        status = STATUS_INSUFFICIENT_RESOURCES;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_POWER, "allocation failed, status 0x%08X", status);
        return status;
    }

    StoreCommand(command, Context->HidDescriptor.wCommandRegister, HIDI2C_POWER_SLEEP, HIDI2C_OPCODE_SET_POWER);

    status = SendDeviceI2cRequest(Context, command, 4, NULL, 0, IOCTL_I2C_WRITE);
    ExFreePoolWithTag(command, HIDI2C_POOL_TAG);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_POWER, "sleep command failed, status 0x%08X", status);
    }
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_POWER, "exit, status 0x%08X", status);
    return status;
}

/*++
    Answers the HID class descriptor: one report descriptor of the length
    the device's HID descriptor gives.
--*/
NTSTATUS
HidGetDeviceDescriptor(
    _In_ WDFDEVICE Device,
    _In_ WDFREQUEST Request
    )
{
    PDEVICE_EXTENSION context = GetDeviceContext(Device);
    HID_DESCRIPTOR descriptor;
    WDFMEMORY memory;
    NTSTATUS status;

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_I2C, "entry");

    status = WdfRequestRetrieveOutputMemory(Request, &memory);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "no output memory, status 0x%08X", status);
        return status;
    }

    RtlZeroMemory(&descriptor, sizeof(descriptor));
    descriptor.bLength = sizeof(HID_DESCRIPTOR);
    descriptor.bDescriptorType = HID_HID_DESCRIPTOR_TYPE;
    descriptor.bcdHID = 0x0001;
    descriptor.bCountry = 0;
    descriptor.bNumDescriptors = 1;
    descriptor.DescriptorList[0].bReportType = HID_REPORT_DESCRIPTOR_TYPE;
    descriptor.DescriptorList[0].wReportLength = context->HidDescriptor.wReportDescLength;

    status = WdfMemoryCopyFromBuffer(memory, 0, &descriptor, sizeof(HID_DESCRIPTOR));
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "copy failed, status 0x%08X", status);
        return status;
    }

    WdfRequestSetInformation(Request, sizeof(HID_DESCRIPTOR));
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_I2C, "exit, status 0x%08X", status);
    return STATUS_SUCCESS;
}

/*++
    Reads the report descriptor from the device straight into the HID
    class's buffer. A buffer shorter than the descriptor is refused before
    anything is sent, so that the read never runs past it.
--*/
NTSTATUS
HidGetReportDescriptor(
    _In_ WDFDEVICE Device,
    _In_ WDFREQUEST Request
    )
{
    PDEVICE_EXTENSION context = GetDeviceContext(Device);
    WDFMEMORY memory;
    PVOID buffer;
    size_t bufferLength = 0;
    ULONG length;
    PUCHAR reg;
    NTSTATUS status;

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_I2C, "entry");

    status = WdfRequestRetrieveOutputMemory(Request, &memory);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "no output memory, status 0x%08X", status);
        return status;
    }

    length = context->HidDescriptor.wReportDescLength;
    buffer = WdfMemoryGetBuffer(memory, &bufferLength);
    if (buffer == NULL) {
        status = STATUS_INSUFFICIENT_RESOURCES;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "no output buffer, status 0x%08X", status);
        return status;
    }
    if (bufferLength < length) {
        status = STATUS_BUFFER_TOO_SMALL;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "buffer of %u bytes for a %u-byte descriptor, status 0x%08X",
                    (ULONG)bufferLength, length, status);
        return status;
    }

    reg = (PUCHAR)ExAllocatePoolWithTag(NonPagedPool, sizeof(USHORT), HIDI2C_POOL_TAG);
    if (reg == NULL) {
        status = STATUS_INSUFFICIENT_RESOURCES;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "allocation failed, status 0x%08X", status);
        return status;
    }
    StoreRegister(reg, context->HidDescriptor.wReportDescRegister);

    status = SendDeviceI2cRequest(context, reg, sizeof(USHORT), buffer, length, IOCTL_I2C_WRITE_READ);
    if (NT_SUCCESS(status)) {
        WdfRequestSetInformation(Request, length);
    } else {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "report descriptor read failed, status 0x%08X", status);
    }

    ExFreePoolWithTag(reg, HIDI2C_POOL_TAG);
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_I2C, "exit, status 0x%08X", status);
    return status;
}

/*++
    Answers the device attributes from the HID descriptor. The reserved
    bytes of the caller's record are left as they are.
--*/
NTSTATUS
HidGetDeviceAttributes(
    _In_ WDFDEVICE Device,
    _In_ WDFREQUEST Request
    )
{
    PDEVICE_EXTENSION context = GetDeviceContext(Device);
    PHID_DEVICE_ATTRIBUTES attributes;
    NTSTATUS status;

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_I2C, "entry");

    status = WdfRequestRetrieveOutputBuffer(Request, sizeof(HID_DEVICE_ATTRIBUTES), (PVOID *)&attributes, NULL);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "no output buffer, status 0x%08X", status);
        return status;
    }

    attributes->Size = sizeof(HID_DEVICE_ATTRIBUTES);
    attributes->VendorID = context->HidDescriptor.wVendorID;
    attributes->ProductID = context->HidDescriptor.wProductID;
    attributes->VersionNumber = context->HidDescriptor.wVersionID;

    WdfRequestSetInformation(Request, sizeof(HID_DEVICE_ATTRIBUTES));
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_I2C, "exit, status 0x%08X", status);
    return STATUS_SUCCESS;
}

/*++
    Answers the manufacturer, product and serial number strings. The HID
    class passes the string id in the low word of Type3InputBuffer, as a
    value, and the language id in the high word, which is not consulted.
--*/
NTSTATUS
HidGetString(
    _In_ WDFREQUEST Request
    )
{
    PIRP irp = WdfRequestWdmGetIrp(Request);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    USHORT stringId = (USHORT)((ULONG_PTR)stack->Parameters.DeviceIoControl.Type3InputBuffer & 0xFFFF);
    PCWSTR string;
    ULONG byteLength;
    NTSTATUS status;

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_REQUEST, "entry, string id %u", stringId);

    switch (stringId) {
    case HID_STRING_ID_IMANUFACTURER:
        string = ManufacturerString;
        byteLength = sizeof(ManufacturerString);
        break;
    case HID_STRING_ID_IPRODUCT:
        string = ProductString;
        byteLength = sizeof(ProductString);
        break;
    case HID_STRING_ID_ISERIALNUMBER:
        string = SerialNumberString;
        byteLength = sizeof(SerialNumberString);
        break;
    default:
        status = STATUS_INVALID_PARAMETER;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_REQUEST, "unknown string id %u, status 0x%08X", stringId, status);
        return status;
    }

    if (stack->Parameters.DeviceIoControl.OutputBufferLength < byteLength) {
        status = STATUS_BUFFER_TOO_SMALL;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_REQUEST, "buffer of %u bytes for %u, status 0x%08X",
                    stack->Parameters.DeviceIoControl.OutputBufferLength, byteLength, status);
        return status;
    }

    RtlCopyMemory(irp->UserBuffer, string, byteLength);
    irp->IoStatus.Information = byteLength;
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_REQUEST, "exit, %u bytes", byteLength);
    return STATUS_SUCCESS;
}

/*++
    Parks a read in the read queue, where the input report path takes it.
--*/
NTSTATUS
HidReadReport(
    _In_ WDFDEVICE Device,
    _In_ WDFREQUEST Request
    )
{
    PDEVICE_EXTENSION context = GetDeviceContext(Device);
    NTSTATUS status;

    status = WdfRequestForwardToIoQueue(Request, context->ReadQueue);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_REQUEST, "forward to the read queue failed, status 0x%08X", status);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_REQUEST, "read parked");
    return STATUS_SUCCESS;
}

/*++
    The transfer packet of a write or feature request.
--*/
static PHID_XFER_PACKET
GetTransferPacket(WDFREQUEST Request)
{
    PIRP irp = WdfRequestWdmGetIrp(Request);
    PHID_XFER_PACKET packet = (PHID_XFER_PACKET)irp->UserBuffer;

    if (packet != NULL && packet->reportBuffer == NULL) {
        return NULL;
    }
    return packet;
}

/*++
    Writes an output report to the output register: the register, a 16-bit
    length field and the report bytes.
--*/
NTSTATUS
HidWriteReport(
    _In_ WDFDEVICE Device,
    _In_ WDFREQUEST Request
    )
{
    PDEVICE_EXTENSION context = GetDeviceContext(Device);
    PHID_XFER_PACKET packet;
    PUCHAR buffer;
    ULONG length;
    NTSTATUS status;

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_I2C, "entry");

    packet = GetTransferPacket(Request);
    if (packet == NULL) {
        status = STATUS_INVALID_DEVICE_REQUEST;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "no transfer packet, status 0x%08X", status);
        return status;
    }

    length = packet->reportBufferLen;
    if (length == 0 || length > context->HidDescriptor.wMaxOutputLength) {
        status = STATUS_BUFFER_TOO_SMALL;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "output report of %u bytes, maximum %u, status 0x%08X", length,
                    context->HidDescriptor.wMaxOutputLength, status);
        return status;
    }
    if (length > HIDI2C_MAX_REPORT_LENGTH) {
        status = STATUS_INVALID_BUFFER_SIZE;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "output report of %u bytes does not fit the length field, "
                    "status 0x%08X", length, status);
        return status;
    }

    buffer = (PUCHAR)ExAllocatePoolWithTag(NonPagedPool, 4 + length, HIDI2C_POOL_TAG);
    if (buffer == NULL) {
        status = STATUS_INSUFFICIENT_RESOURCES;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "allocation failed, status 0x%08X", status);
        return status;
    }

    StoreRegister(buffer, context->HidDescriptor.wOutputRegister);
    StoreRegister(buffer + 2, (USHORT)(length + 2));
    RtlCopyMemory(buffer + 4, packet->reportBuffer, length);

    status = SendDeviceI2cRequest(context, buffer, 4 + length, NULL, 0, IOCTL_I2C_WRITE);
    ExFreePoolWithTag(buffer, HIDI2C_POOL_TAG);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "output report write failed, status 0x%08X", status);
    }
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_REQUEST, "output report written, status 0x%08X", status);
    return status;
}

/*++
    Gets or sets a feature report with GET_REPORT or SET_REPORT on the
    command register and the data register. Report ids from 15 up do not fit
    the command's 4-bit field and follow it in a byte of their own.
--*/
NTSTATUS
HidGetSetFeature(
    _In_ WDFDEVICE Device,
    _In_ WDFREQUEST Request
    )
{
    PDEVICE_EXTENSION context = GetDeviceContext(Device);
    WDF_REQUEST_PARAMETERS parameters;
    PHID_XFER_PACKET packet;
    PUCHAR command = NULL;
    PUCHAR answer = NULL;
    BOOLEAN get;
    UCHAR reportId;
    ULONG commandLength;
    ULONG length;
    ULONG position;
    NTSTATUS status;

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_I2C, "entry");

    WDF_REQUEST_PARAMETERS_INIT(&parameters);
    WdfRequestGetParameters(Request, &parameters);
    if (parameters.Parameters.DeviceIoControl.OutputBufferLength < sizeof(HID_XFER_PACKET)) {
        status = STATUS_BUFFER_TOO_SMALL;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "packet buffer of %u bytes, status 0x%08X",
                    (ULONG)parameters.Parameters.DeviceIoControl.OutputBufferLength, status);
        return status;
    }

    packet = GetTransferPacket(Request);
    if (packet == NULL) {
        status = STATUS_INVALID_DEVICE_REQUEST;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "no transfer packet, status 0x%08X", status);
        return status;
    }
    length = packet->reportBufferLen;
    if (length == 0) {
        status = STATUS_BUFFER_TOO_SMALL;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "empty report buffer, status 0x%08X", status);
        return status;
    }

    switch (parameters.Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_HID_GET_FEATURE:
        get = TRUE;
        break;
    case IOCTL_HID_SET_FEATURE:
        get = FALSE;
        break;
    default:
        status = STATUS_NOT_SUPPORTED;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "code 0x%X, status 0x%08X",
                    parameters.Parameters.DeviceIoControl.IoControlCode, status);
        return status;
    }

    if (length > HIDI2C_MAX_REPORT_LENGTH) {
        status = STATUS_INVALID_BUFFER_SIZE;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "feature report of %u bytes does not fit the length field, "
                    "status 0x%08X", length, status);
        return status;
    }

    reportId = packet->reportBuffer[0];
    commandLength = reportId < HIDI2C_REPORT_ID_ESCAPE ? 6 : 7;

    command = (PUCHAR)ExAllocatePoolWithTag(NonPagedPool, get ? commandLength : commandLength + 2 + length,
                                            HIDI2C_POOL_TAG);
    if (command == NULL) {
        status = STATUS_INSUFFICIENT_RESOURCES;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "allocation failed, status 0x%08X", status);
        return status;
    }

    StoreRegister(command, context->HidDescriptor.wCommandRegister);
    if (reportId < HIDI2C_REPORT_ID_ESCAPE) {
        command[2] = (UCHAR)(HIDI2C_REPORT_TYPE_FEATURE | reportId);
        command[3] = get ? HIDI2C_OPCODE_GET_REPORT : HIDI2C_OPCODE_SET_REPORT;
        position = 4;
    } else {
        command[2] = (UCHAR)(HIDI2C_REPORT_TYPE_FEATURE | HIDI2C_REPORT_ID_ESCAPE);
        command[3] = get ? HIDI2C_OPCODE_GET_REPORT : HIDI2C_OPCODE_SET_REPORT;
        command[4] = reportId;
        position = 5;
    }
    StoreRegister(command + position, context->HidDescriptor.wDataRegister);

    if (get) {
        answer = (PUCHAR)ExAllocatePoolWithTag(NonPagedPool, length + 2, HIDI2C_POOL_TAG);
        if (answer == NULL) {
            ExFreePoolWithTag(command, HIDI2C_POOL_TAG);
            status = STATUS_INSUFFICIENT_RESOURCES;
            TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "allocation failed, status 0x%08X", status);
            return status;
        }
        RtlZeroMemory(answer, length + 2);

        status = SendDeviceI2cRequest(context, command, commandLength, answer, length + 2, IOCTL_I2C_WRITE_READ);
        if (NT_SUCCESS(status)) {
            ULONG reportLength = (ULONG)(answer[0] | (answer[1] << 8));
            ULONG information;

            //
            // The device's length field counts itself. Information never
            // exceeds what the caller's buffer holds, and a field below 2
            // gives an empty report rather than a wrapped count.
            //
            information = reportLength < 2 ? 0 : reportLength - 2;
            if (information > length) {
                TraceEvents(TRACE_LEVEL_WARNING, TRACE_I2C, "feature report of %u bytes for a %u-byte buffer",
                            information, length);
                information = length;
            }
            RtlCopyMemory(packet->reportBuffer, answer + 2, length);
            WdfRequestSetInformation(Request, information);
        }
        ExFreePoolWithTag(answer, HIDI2C_POOL_TAG);
    } else {
        StoreRegister(command + commandLength, (USHORT)(length + 2));
        RtlCopyMemory(command + commandLength + 2, packet->reportBuffer, length);
        status = SendDeviceI2cRequest(context, command, commandLength + 2 + length, NULL, 0, IOCTL_I2C_WRITE);
    }

    ExFreePoolWithTag(command, HIDI2C_POOL_TAG);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_I2C, "feature report transfer failed, status 0x%08X", status);
    }
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_I2C, "exit, status 0x%08X", status);
    return status;
}

/*++
    ACPI configuration: the two _DSM methods of the device's ACPI node give
    the HID descriptor's register, the I2C connection and the GPIO pin.
--*/
#include "OrvanHidI2c.h"

#define DSM_INPUT_LENGTH 64
#define HID_DSM_OUTPUT_LENGTH 24
#define RESOURCES_DSM_OUTPUT_FIXED_LENGTH 65
#define OUTPUT_DATA_OFFSET 16

#define DSM_REVISION 1
#define DSM_FUNCTION_INDEX 1

#define RESOURCE_TAG_I2C_SERIAL_BUS 0x8E
#define RESOURCE_TAG_GPIO_CONNECTION 0x8C
#define RESOURCE_LARGE_ITEM 0x80
#define SERIAL_BUS_TYPE_I2C 1
#define GPIO_CONNECTION_TYPE_INTERRUPT 0

//
// Offsets inside the resource descriptors that are read.
//
#define I2C_SERIAL_BUS_TYPE 5
#define I2C_CONNECTION_SPEED 12
#define I2C_SLAVE_ADDRESS 16
#define I2C_RESOURCE_SOURCE 18
#define GPIO_CONNECTION_TYPE 4
#define GPIO_PIN_TABLE_OFFSET 14
#define GPIO_RESOURCE_SOURCE_OFFSET 17
#define GPIO_FIXED_FIELDS_END 19

static VOID
StoreUshort(PUCHAR Destination, USHORT Value)
{
    Destination[0] = (UCHAR)(Value & 0xFF);
    Destination[1] = (UCHAR)(Value >> 8);
}

static VOID
StoreUlong(PUCHAR Destination, ULONG Value)
{
    StoreUshort(Destination, (USHORT)(Value & 0xFFFF));
    StoreUshort(Destination + 2, (USHORT)(Value >> 16));
}

static USHORT
LoadUshort(const UCHAR *Source)
{
    return (USHORT)(Source[0] | (Source[1] << 8));
}

static ULONG
LoadUlong(const UCHAR *Source)
{
    return (ULONG)LoadUshort(Source) | ((ULONG)LoadUshort(Source + 2) << 16);
}

/*++
    Writes one method argument and returns where the next one begins: after
    the argument's data, or after four bytes if the data is shorter.
--*/
static PUCHAR
StoreArgument(PUCHAR Argument, USHORT Type, USHORT DataLength, const VOID *Data)
{
    StoreUshort(Argument, Type);
    StoreUshort(Argument + 2, DataLength);
    RtlCopyMemory(Argument + 4, Data, DataLength);
    return Argument + ACPI_METHOD_ARGUMENT_LENGTH(DataLength);
}

/*++
    Fills the 64-byte _DSM input for one GUID: revision 1, function 1 and
    an empty package.
--*/
static VOID
BuildDsmInput(PUCHAR Input, const GUID *DsmGuid)
{
    static const UCHAR methodName[4] = {'_', 'D', 'S', 'M'};
    UCHAR guidBytes[16];
    UCHAR integer[4];
    UCHAR package[4] = {0, 0, 0, 0};
    PUCHAR argument;

    StoreUlong(guidBytes, DsmGuid->Data1);
    StoreUshort(guidBytes + 4, DsmGuid->Data2);
    StoreUshort(guidBytes + 6, DsmGuid->Data3);
    RtlCopyMemory(guidBytes + 8, DsmGuid->Data4, 8);

    StoreUlong(Input, ACPI_EVAL_INPUT_BUFFER_COMPLEX_SIGNATURE);
    RtlCopyMemory(Input + 4, methodName, sizeof(methodName));
    StoreUlong(Input + 8, DSM_INPUT_LENGTH);
    StoreUlong(Input + 12, 4);

    argument = StoreArgument(Input + 16, ACPI_METHOD_ARGUMENT_BUFFER, sizeof(guidBytes), guidBytes);
    StoreUlong(integer, DSM_REVISION);
    argument = StoreArgument(argument, ACPI_METHOD_ARGUMENT_INTEGER, sizeof(integer), integer);
    StoreUlong(integer, DSM_FUNCTION_INDEX);
    argument = StoreArgument(argument, ACPI_METHOD_ARGUMENT_INTEGER, sizeof(integer), integer);
    StoreArgument(argument, ACPI_METHOD_ARGUMENT_PACKAGE, sizeof(package), package);
}

/*++
    Takes the two buffers of one evaluation; on failure neither is left.
--*/
static NTSTATUS
AllocateDsmBuffers(PUCHAR *Input, PUCHAR *Output, ULONG OutputLength)
{
    NTSTATUS status = STATUS_MEMORY_NOT_ALLOCATED;

    *Input = (PUCHAR)ExAllocatePoolWithTag(NonPagedPool, DSM_INPUT_LENGTH, HIDI2C_POOL_TAG);
    if (*Input == NULL) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_ACPI, "input allocation failed, status 0x%08X", status);
        return status;
    }
    *Output = (PUCHAR)ExAllocatePoolWithTag(NonPagedPool, OutputLength, HIDI2C_POOL_TAG);
    if (*Output == NULL) {
        ExFreePoolWithTag(*Input, HIDI2C_POOL_TAG);
        *Input = NULL;
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_ACPI, "output allocation failed, status 0x%08X", status);
        return status;
    }
    return STATUS_SUCCESS;
}

/*++
    Evaluates _DSM through the ACPI driver below the device. The output is
    zeroed first so that fields the ACPI driver did not return read as zero.
--*/
static NTSTATUS
EvaluateDsm(WDFDEVICE Device, PUCHAR Input, PUCHAR Output, ULONG OutputLength, PULONG_PTR BytesReturned)
{
    WDF_MEMORY_DESCRIPTOR inputDescriptor;
    WDF_MEMORY_DESCRIPTOR outputDescriptor;
    NTSTATUS status;

    RtlZeroMemory(Output, OutputLength);
    WDF_MEMORY_DESCRIPTOR_INIT_BUFFER(&inputDescriptor, Input, DSM_INPUT_LENGTH);
    WDF_MEMORY_DESCRIPTOR_INIT_BUFFER(&outputDescriptor, Output, OutputLength);

    *BytesReturned = 0;
    status = WdfIoTargetSendIoctlSynchronously(WdfDeviceGetIoTarget(Device),
                                               NULL,
                                               IOCTL_ACPI_EVAL_METHOD,
                                               &inputDescriptor,
                                               &outputDescriptor,
                                               NULL,
                                               BytesReturned);
    if (!NT_SUCCESS(status) || *BytesReturned == 0) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_ACPI,
                    "_DSM evaluation failed, status 0x%08X, %u bytes", status, (ULONG)*BytesReturned);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    return status;
}

/*++
    Checks the output header and its one argument's type.
--*/
static NTSTATUS
CheckDsmOutput(const UCHAR *Output, USHORT ExpectedType)
{
    if (LoadUlong(Output) != ACPI_EVAL_OUTPUT_BUFFER_SIGNATURE) {
        return STATUS_INVALID_PARAMETER;
    }
    if (LoadUlong(Output + 8) != 1) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    if (LoadUshort(Output + 12) != ExpectedType) {
        return STATUS_DATA_ERROR;
    }
    return STATUS_SUCCESS;
}

/*++
    Reads the HID descriptor's register address from the HID-over-I2C _DSM.
--*/
NTSTATUS
QueryHidDescriptorAddress(
    _In_ WDFDEVICE Device,
    _Out_ PUSHORT Address
    )
{
    PUCHAR input;
    PUCHAR output;
    ULONG_PTR bytesReturned;
    NTSTATUS status;

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_ACPI, "entry");

    status = AllocateDsmBuffers(&input, &output, HID_DSM_OUTPUT_LENGTH);
    if (!NT_SUCCESS(status)) {
        return status;
    }

    BuildDsmInput(input, &GUID_HIDI2C_DSM);
    status = EvaluateDsm(Device, input, output, HID_DSM_OUTPUT_LENGTH, &bytesReturned);
    if (NT_SUCCESS(status)) {
        NTSTATUS formatStatus = CheckDsmOutput(output, ACPI_METHOD_ARGUMENT_INTEGER);
        if (NT_SUCCESS(formatStatus) && LoadUshort(output + 14) != sizeof(ULONG)) {
            formatStatus = STATUS_INFO_LENGTH_MISMATCH;
        }
        if (NT_SUCCESS(formatStatus)) {
            *Address = (USHORT)(LoadUlong(output + OUTPUT_DATA_OFFSET) & 0xFFFF);
            TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_ACPI, "HID descriptor address 0x%04X", *Address);
        } else {
            status = formatStatus;
            TraceEvents(TRACE_LEVEL_ERROR, TRACE_ACPI, "bad HID _DSM result, status 0x%08X", status);
        }
    }

    ExFreePoolWithTag(output, HIDI2C_POOL_TAG);
    ExFreePoolWithTag(input, HIDI2C_POOL_TAG);
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_ACPI, "exit, status 0x%08X", status);
    return status;
}

/*++
    Converts a NUL-terminated ANSI resource source into Path's own storage.
    The caller has checked that the terminator lies inside the descriptor.
--*/
static NTSTATUS
ConvertResourceSource(PCSZ Source, PUNICODE_STRING Path)
{
    ANSI_STRING ansi;
    NTSTATUS status;

    RtlInitAnsiString(&ansi, Source);
    status = RtlAnsiStringToUnicodeString(Path, &ansi, FALSE);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_ACPI, "resource source conversion failed, status 0x%08X", status);
    }
    return status;
}

/*++
    TRUE when a NUL byte lies in [Start, End).
--*/
static BOOLEAN
TerminatedBefore(const UCHAR *Start, const UCHAR *End)
{
    for (; Start < End; ++Start) {
        if (*Start == 0) {
            return TRUE;
        }
    }
    return FALSE;
}

/*++
    Walks the resource descriptors of the connection _DSM's buffer. Every
    read stays inside the data the ACPI driver returned: a descriptor that
    runs past it, fields beyond a descriptor's own length, or a resource
    source without its terminator inside its descriptor are refused with
    STATUS_DATA_ERROR.
--*/
static NTSTATUS
WalkConnectionResources(
    const UCHAR *Data,
    ULONG DataLength,
    ULONG WalkLength,
    PUSHORT SlaveAddress,
    PULONG ConnectionSpeed,
    PUNICODE_STRING I2cPath,
    PUSHORT GpioPin,
    PUNICODE_STRING GpioPath
    )
{
    ULONG position = 0;
    ULONG limit = WalkLength - 2;
    NTSTATUS status = STATUS_SUCCESS;

    while (position < limit && position < DataLength) {
        const UCHAR *descriptor = Data + position;
        UCHAR tag = descriptor[0];
        ULONG step;

        if (tag & RESOURCE_LARGE_ITEM) {
            if (DataLength - position < 3) {
                TraceEvents(TRACE_LEVEL_ERROR, TRACE_ACPI, "large item cut short at %u", position);
                return STATUS_DATA_ERROR;
            }
            step = 3 + (ULONG)LoadUshort(descriptor + 1);
        } else {
            step = 1 + (ULONG)(tag & 0x7);
        }

        if (tag == RESOURCE_TAG_I2C_SERIAL_BUS || tag == RESOURCE_TAG_GPIO_CONNECTION) {
            if (step > DataLength - position) {
                TraceEvents(TRACE_LEVEL_ERROR, TRACE_ACPI,
                            "descriptor 0x%02X at %u runs past the data", tag, position);
                return STATUS_DATA_ERROR;
            }
        }

        if (tag == RESOURCE_TAG_I2C_SERIAL_BUS) {
            if (step <= I2C_RESOURCE_SOURCE) {
                TraceEvents(TRACE_LEVEL_ERROR, TRACE_ACPI, "I2C descriptor too short: %u bytes", step);
                return STATUS_DATA_ERROR;
            }
            if (descriptor[I2C_SERIAL_BUS_TYPE] != SERIAL_BUS_TYPE_I2C) {
                TraceEvents(TRACE_LEVEL_ERROR, TRACE_ACPI, "serial bus type %u is not I2C",
                            descriptor[I2C_SERIAL_BUS_TYPE]);
                return STATUS_DATA_ERROR;
            }
            if (!TerminatedBefore(descriptor + I2C_RESOURCE_SOURCE, descriptor + step)) {
                TraceEvents(TRACE_LEVEL_ERROR, TRACE_ACPI, "I2C resource source is not terminated");
                return STATUS_DATA_ERROR;
            }
            *SlaveAddress = LoadUshort(descriptor + I2C_SLAVE_ADDRESS);
            *ConnectionSpeed = LoadUlong(descriptor + I2C_CONNECTION_SPEED);
            status = ConvertResourceSource((PCSZ)(descriptor + I2C_RESOURCE_SOURCE), I2cPath);
            if (!NT_SUCCESS(status)) {
                return status;
            }
            TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_ACPI, "I2C slave 0x%X at %u Hz", *SlaveAddress,
                        *ConnectionSpeed);
        } else if (tag == RESOURCE_TAG_GPIO_CONNECTION) {
            USHORT pinTableOffset;
            USHORT nameOffset;

            if (step < GPIO_FIXED_FIELDS_END) {
                TraceEvents(TRACE_LEVEL_ERROR, TRACE_ACPI, "GPIO descriptor too short: %u bytes", step);
                return STATUS_DATA_ERROR;
            }
            if (descriptor[GPIO_CONNECTION_TYPE] != GPIO_CONNECTION_TYPE_INTERRUPT) {
                TraceEvents(TRACE_LEVEL_ERROR, TRACE_ACPI, "GPIO connection type %u is not interrupt",
                            descriptor[GPIO_CONNECTION_TYPE]);
                return STATUS_DATA_ERROR;
            }
            pinTableOffset = LoadUshort(descriptor + GPIO_PIN_TABLE_OFFSET);
            nameOffset = LoadUshort(descriptor + GPIO_RESOURCE_SOURCE_OFFSET);
            if ((USHORT)(((ULONG)nameOffset - (ULONG)pinTableOffset) >> 1) != 1) {
                TraceEvents(TRACE_LEVEL_ERROR, TRACE_ACPI, "GPIO pin table does not hold exactly one pin");
                return STATUS_DATA_ERROR;
            }
            if ((ULONG)pinTableOffset + sizeof(USHORT) > step || nameOffset >= step ||
                !TerminatedBefore(descriptor + nameOffset, descriptor + step)) {
                TraceEvents(TRACE_LEVEL_ERROR, TRACE_ACPI, "GPIO pin or resource source outside the descriptor");
                return STATUS_DATA_ERROR;
            }
            *GpioPin = LoadUshort(descriptor + pinTableOffset);
            status = ConvertResourceSource((PCSZ)(descriptor + nameOffset), GpioPath);
            if (!NT_SUCCESS(status)) {
                return status;
            }
            TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_ACPI, "GPIO pin %u", *GpioPin);
        }

        if (step > limit - position) {
            break;
        }
        position += step;
    }
    return status;
}

/*++
    Reads the I2C slave address and speed, the I2C controller's path, the
    interrupt's GPIO pin and the GPIO controller's path from the connection
    _DSM. The paths are converted into the caller's storage.
--*/
NTSTATUS
QueryConnectionResources(
    _In_ WDFDEVICE Device,
    _Out_ PUSHORT SlaveAddress,
    _Out_ PULONG ConnectionSpeed,
    _Inout_ PUNICODE_STRING I2cPath,
    _Out_ PUSHORT GpioPin,
    _Inout_ PUNICODE_STRING GpioPath
    )
{
    PUCHAR input;
    PUCHAR output;
    ULONG outputLength;
    ULONG_PTR bytesReturned;
    NTSTATUS status;

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_ACPI, "entry");

    outputLength = RESOURCES_DSM_OUTPUT_FIXED_LENGTH + I2cPath->MaximumLength + GpioPath->MaximumLength;
    status = AllocateDsmBuffers(&input, &output, outputLength);
    if (!NT_SUCCESS(status)) {
        return status;
    }

    BuildDsmInput(input, &GUID_CONNECTION_RESOURCES_DSM);
    status = EvaluateDsm(Device, input, output, outputLength, &bytesReturned);
    if (NT_SUCCESS(status)) {
        status = CheckDsmOutput(output, ACPI_METHOD_ARGUMENT_BUFFER);
    }
    if (NT_SUCCESS(status)) {
        ULONG dataLength = LoadUshort(output + 14);
        ULONG available = (ULONG)(bytesReturned < outputLength ? bytesReturned : outputLength);

        if (dataLength == 0) {
            status = STATUS_INFO_LENGTH_MISMATCH;
        } else if (available < OUTPUT_DATA_OFFSET || dataLength > available - OUTPUT_DATA_OFFSET) {
            TraceEvents(TRACE_LEVEL_ERROR, TRACE_ACPI, "data length %u exceeds the %u bytes returned",
                        dataLength, (ULONG)bytesReturned);
            status = STATUS_DATA_ERROR;
        } else {
            status = WalkConnectionResources(output + OUTPUT_DATA_OFFSET,
                                             dataLength,
                                             dataLength > 4 ? dataLength : 4,
                                             SlaveAddress,
                                             ConnectionSpeed,
                                             I2cPath,
                                             GpioPin,
                                             GpioPath);
        }
        if (NT_SUCCESS(status) && (I2cPath->Length == 0 || GpioPath->Length == 0)) {
            status = STATUS_INSUFFICIENT_RESOURCES;
        }
    }
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_ACPI, "connection resources not read, status 0x%08X", status);
    }

    ExFreePoolWithTag(output, HIDI2C_POOL_TAG);
    ExFreePoolWithTag(input, HIDI2C_POOL_TAG);
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_ACPI, "exit, status 0x%08X", status);
    return status;
}

/*++
    The input report path: the ISR masks the pin and queues the DPC, the DPC
    hands the read to a work item, and the work item reads one report over
    I2C, gives it to the oldest parked read and unmasks the pin.
--*/
#include "OrvanHidI2c.h"

/*++
    Masks the interrupt pin until the report has been read and queues the
    DPC. The interrupt is always claimed.
--*/
BOOLEAN
EvtInterruptIsr(
    _In_ WDFINTERRUPT Interrupt,
    _In_ ULONG MessageID
    )
{
    PDEVICE_EXTENSION context = GetDeviceContext(WdfInterruptGetDevice(Interrupt));

    UNREFERENCED_PARAMETER(MessageID);
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_INTERRUPT, "entry");

    if (context->GpioTarget != NULL && context->GpioInterface.MaskInterrupt != NULL) {
        context->GpioInterface.MaskInterrupt(context->GpioInterface.Context, context->GpioPin);
    }
    WdfInterruptQueueDpcForIsr(Interrupt);
    return TRUE;
}

/*++
    Enqueues the next of the two read work items, alternating between them.
--*/
VOID
EvtInterruptDpc(
    _In_ WDFINTERRUPT Interrupt,
    _In_ WDFOBJECT AssociatedObject
    )
{
    PDEVICE_EXTENSION context = GetDeviceContext(WdfInterruptGetDevice(Interrupt));

    UNREFERENCED_PARAMETER(AssociatedObject);
    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_INTERRUPT, "work item %u", context->NextReadWorkItem);

    WdfWorkItemEnqueue(context->ReadWorkItems[context->NextReadWorkItem]);
    context->NextReadWorkItem = (USHORT)((context->NextReadWorkItem + 1) % 2);
}

/*++
    Whether D0 exit has begun stopping the read path; written interlocked by
    the power callbacks, so read interlocked here.
--*/
static BOOLEAN
ReadPathIsStopped(
    PDEVICE_EXTENSION Context
    )
{
    return InterlockedCompareExchange(&Context->ReadPathStopped, 0, 0) != 0;
}

/*++
    Hands the report in InputReportBuffer to the oldest parked read, if any.
--*/
static VOID
DeliverReport(
    PDEVICE_EXTENSION Context,
    ULONG Count
    )
{
    WDFREQUEST request;
    WDFMEMORY memory;
    NTSTATUS status;

    status = WdfIoQueueRetrieveNextRequest(Context->ReadQueue, &request);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_READ, "no read waiting, report of %u bytes dropped", Count);
        return;
    }

    status = WdfRequestRetrieveOutputMemory(request, &memory);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_READ, "read has no output memory, status 0x%08X", status);
        WdfRequestComplete(request, status);
        return;
    }

    status = WdfMemoryCopyFromBuffer(memory, 0, Context->InputReportBuffer + sizeof(USHORT), Count);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_READ, "report of %u bytes does not fit the read and is dropped, status 0x%08X",
                    Count, status);
        WdfRequestComplete(request, status);
        return;
    }

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_READ, "report of %u bytes delivered", Count);
    WdfRequestCompleteWithInformation(request, STATUS_SUCCESS, Count);
}

/*++
    Reads one input report and unmasks the pin again, whatever the read gave.
--*/
static VOID
ReadOneReport(
    PDEVICE_EXTENSION Context
    )
{
    USHORT maxInputLength = Context->HidDescriptor.wMaxInputLength;
    ULONG lengthField;
    NTSTATUS status;

    RtlZeroMemory(Context->InputReportBuffer, maxInputLength);
    status = SendDeviceI2cRequest(Context, NULL, 0, Context->InputReportBuffer, maxInputLength, IOCTL_I2C_READ);
    if (!NT_SUCCESS(status)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_READ, "input read failed, status 0x%08X", status);
    } else {
        lengthField = (ULONG)(Context->InputReportBuffer[0] | (Context->InputReportBuffer[1] << 8));

        if (!Context->ResetComplete) {
            if (lengthField == 0) {
                Context->ResetComplete = TRUE;
                TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_READ, "reset response received");
            } else {
                TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_READ,
                            "report with length field 0x%04X before the reset response dropped", lengthField);
            }
        } else if (lengthField <= sizeof(USHORT)) {
            //
            // 0 is a reset the device started itself, 1 is malformed and 2 is
            // an empty report: none of them carries a report for the reads.
            //
            TraceEvents(TRACE_LEVEL_WARNING, TRACE_READ, "report with length field %u dropped", lengthField);
        } else {
            ULONG count = lengthField - sizeof(USHORT);

            if (count > (ULONG)maxInputLength - sizeof(USHORT)) {
                TraceEvents(TRACE_LEVEL_WARNING, TRACE_READ,
                            "length field %u exceeds wMaxInputLength %u, report cut", lengthField, maxInputLength);
                count = (ULONG)maxInputLength - sizeof(USHORT);
            }
            DeliverReport(Context, count);
        }
    }

    //
    // Once the read path is stopping the interrupt may be disconnected; the
    // pin stays masked until the next D0 entry.
    //
    if (ReadPathIsStopped(Context)) {
        TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_READ, "read path stopped, pin left masked");
        return;
    }

    //
    // Without its I2C controller the device's report can never be read, and
    // a pin unmasked on a line that stays asserted would interrupt for ever.
    //
    if (Context->I2cTargetRemoved) {
        TraceEvents(TRACE_LEVEL_WARNING, TRACE_READ, "I2C controller removed, pin left masked");
        return;
    }
    WdfInterruptAcquireLock(Context->Interrupt);
    if (Context->GpioTarget != NULL && Context->GpioInterface.UnmaskInterrupt != NULL) {
        Context->GpioInterface.UnmaskInterrupt(Context->GpioInterface.Context, Context->GpioPin);
    }
    WdfInterruptReleaseLock(Context->Interrupt);
}

/*++
    Reads the report of one interrupt. Without the GPIO interface nothing
    keeps the two work items apart, so the item that finds no read in
    progress reads for every interrupt counted meanwhile, and the other one
    returns at once.
--*/
VOID
EvtWorkItemReadReport(
    _In_ WDFWORKITEM WorkItem
    )
{
    PDEVICE_EXTENSION context = GetDeviceContext(WdfWorkItemGetParentObject(WorkItem));

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_READ, "entry");

    if (InterlockedIncrement(&context->PendingReads) != 1) {
        TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_READ, "exit, a read is in progress");
        return;
    }

    do {
        if (!ReadPathIsStopped(context)) {
            ReadOneReport(context);
        }
    } while (InterlockedDecrement(&context->PendingReads) != 0);

    TraceEvents(TRACE_LEVEL_VERBOSE, TRACE_READ, "exit");
}

// Interrupt objects: creation and the interrupt's device.
#include "../Runtime/Verifier.h"
#include "Fx.h"

using namespace host;
using namespace host::fx;

EXTERN_C NTSTATUS WdfInterruptCreate(WDFDEVICE Device, PWDF_INTERRUPT_CONFIG Configuration,
                                     PWDF_OBJECT_ATTRIBUTES Attributes, WDFINTERRUPT *Interrupt) {
  Enter("WdfInterruptCreate", PASSIVE_LEVEL);
  auto device = Get<fx::Device>(Device, Kind::Device, "WdfInterruptCreate");
  if (!device) return STATUS_INVALID_PARAMETER;
  if (Configuration == nullptr || Configuration->Size != sizeof(WDF_INTERRUPT_CONFIG))
    return STATUS_INFO_LENGTH_MISMATCH;
  if (Configuration->EvtInterruptIsr == nullptr) return STATUS_INVALID_PARAMETER;
  NTSTATUS status;
  if (Injected("WdfInterruptCreate", &status)) return status;
  // In this framework version interrupts are created while the device is added.
  if (!device->inDeviceAdd) {
    Verifier::Report(rules::Usage, "WdfInterruptCreate", "interrupts are created in EvtDriverDeviceAdd");
    return STATUS_INVALID_DEVICE_STATE;
  }
  if (Attributes && Attributes->ParentObject) {
    Verifier::Report(rules::Usage, "WdfInterruptCreate", "an interrupt's parent is its device");
    return STATUS_INVALID_PARAMETER;
  }
  auto interrupt = std::make_shared<fx::Interrupt>();
  interrupt->device = device.get();
  interrupt->config = *Configuration;
  status = ApplyAttributes(*interrupt, Attributes, "WdfInterruptCreate");
  if (!NT_SUCCESS(status)) return status;
  WDFINTERRUPT handle = (WDFINTERRUPT)Register(interrupt, device.get());
  InterruptRecord record;
  record.handle = handle;
  record.config = *Configuration;
  record.attributesGiven = Attributes != nullptr;
  record.parent = device->handle;
  device->record->interrupts.push_back(record);
  *Interrupt = handle;
  return STATUS_SUCCESS;
}

EXTERN_C WDFDEVICE WdfInterruptGetDevice(WDFINTERRUPT Interrupt) {
  Enter("WdfInterruptGetDevice", HIGH_LEVEL);
  auto interrupt = Get<fx::Interrupt>(Interrupt, Kind::Interrupt, "WdfInterruptGetDevice");
  return interrupt ? (WDFDEVICE)interrupt->device->handle : nullptr;
}

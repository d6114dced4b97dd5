#include "GpioController.h"

#include <algorithm>

#include "Runtime/Irql.h"
#include "Runtime/Verifier.h"
#include "Runtime/Scheduler.h"

namespace sim {

GpioController::GpioController(std::string acpiPath, uint16_t pin, bool edgeTriggered)
    : acpiPath_(std::move(acpiPath)), pin_(pin), edge_(edgeTriggered) {}

host::io::Name GpioController::SymbolicLink() const {
  std::string path = acpiPath_;
  std::replace(path.begin(), path.end(), '\\', '_');
  return host::io::ToName("\\??\\ACPI#" + path + "#0#{944cd20f-22e1-489f-a961-a552827883f0}");
}

void GpioController::Publish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    removed_ = false;
  }
  host::io::PublishInterface(kGpioControllerInterface, SymbolicLink(), shared_from_this());
}

void GpioController::Withdraw() { host::io::WithdrawInterface(SymbolicLink()); }

bool GpioController::RemoveOrderly() {
  host::io::PnpEventScope event;
  if (!NT_SUCCESS(Notify(host::io::RemovalEvent::QueryRemove))) {
    Notify(host::io::RemovalEvent::RemoveCanceled);
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    removed_ = true;
  }
  Drive();
  Withdraw();
  Notify(host::io::RemovalEvent::RemoveComplete);
  return true;
}

void GpioController::RemoveSurprise() {
  host::io::PnpEventScope event;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    removed_ = true;
  }
  Drive();
  Withdraw();
  Notify(host::io::RemovalEvent::RemoveComplete);
}

void GpioController::SetOutput(std::function<void(bool)> output) {
  std::lock_guard<std::mutex> lock(mutex_);
  output_ = std::move(output);
}

// Brings the output in line with the pin's state; call without the mutex.
void GpioController::Drive() {
  std::function<void(bool)> output;
  bool pulse = false, level = false, change = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    output = output_;
    if (edge_) {
      if (latched_ && !masked_ && !removed_) {
        latched_ = false;
        pulse = true;
      }
    } else {
      level = asserted_ && !masked_ && !removed_;
      change = level != outputLevel_;
      outputLevel_ = level;
    }
  }
  if (!output) return;
  if (pulse) {
    ++interrupts_;
    output(true);
    output(false);
  } else if (change) {
    if (level) ++interrupts_;
    output(level);
  }
}

void GpioController::SetLine(bool asserted) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (asserted && !asserted_) latched_ = true;
    asserted_ = asserted;
  }
  Drive();
}

bool GpioController::Masked() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return masked_;
}

std::vector<std::string> GpioController::Breaches() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return breaches_;
}

void GpioController::Breach(std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  breaches_.push_back(std::move(text));
}

NTSTATUS GpioController::Change(ULONG pin, bool mask) {
  if (pin != pin_) {
    Breach("pin " + std::to_string(pin) + " is not the touch controller's");
    return STATUS_INVALID_PARAMETER;
  }
  if (inRoutine_++ != 0) Breach("mask and unmask overlap");
  // The routines run at DIRQL; give the scheduler a chance to interleave.
  host::Scheduler::Point();
  bool removed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    removed = removed_;
    masked_ = mask;
  }
  if (removed) Breach(std::string(mask ? "mask" : "unmask") + " after the controller was removed");
  --inRoutine_;
  // A level still asserted, or an edge latched while masked, interrupts on unmask.
  Drive();
  return STATUS_SUCCESS;
}

NTSTATUS GpioController::Mask(PVOID context, ULONG pin) {
  auto *self = (GpioController *)context;
  if (self == nullptr) {
    host::Verifier::Report("gpio: pin routine called with a NULL context", "MaskInterrupt");
    return STATUS_INVALID_PARAMETER;
  }
  ++self->maskCalls_;
  return self->Change(pin, true);
}

NTSTATUS GpioController::Unmask(PVOID context, ULONG pin) {
  auto *self = (GpioController *)context;
  if (self == nullptr) {
    host::Verifier::Report("gpio: pin routine called with a NULL context", "UnmaskInterrupt");
    return STATUS_INVALID_PARAMETER;
  }
  ++self->unmaskCalls_;
  return self->Change(pin, false);
}

void GpioController::Reference(PVOID context) { ++((GpioController *)context)->references_; }
void GpioController::Dereference(PVOID context) { --((GpioController *)context)->references_; }

NTSTATUS GpioController::QueryInterface(const GUID &type, PINTERFACE interface, USHORT size, USHORT version,
                                        PVOID specificData) {
  (void)specificData;
  if (!IsEqualGUID(type, kGpioControllerInterface)) return STATUS_NOT_SUPPORTED;
  if (size < sizeof(PinInterface) || version != 1) return STATUS_INVALID_PARAMETER;
  if (!NT_SUCCESS(queryStatus)) return queryStatus;
  auto *pin = (PinInterface *)interface;
  pin->Size = sizeof(PinInterface);
  pin->Version = 1;
  pin->Context = nullContext ? nullptr : this;
  pin->InterfaceReference = Reference;
  pin->InterfaceDereference = Dereference;
  pin->MaskInterrupt = Mask;
  pin->UnmaskInterrupt = withoutUnmask ? nullptr : Unmask;
  pin->Reserved1 = nullptr;
  pin->Reserved2 = nullptr;
  Reference(this);
  return STATUS_SUCCESS;
}

void GpioController::Dispatch(const std::shared_ptr<host::io::Packet> &packet) {
  packet->Complete(STATUS_INVALID_DEVICE_REQUEST, 0);
}

}  // namespace sim

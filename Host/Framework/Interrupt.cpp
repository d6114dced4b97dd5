// Interrupt objects: creation and the interrupt's device.
#include "../Runtime/Irql.h"
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
  device->interrupt = handle;
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

namespace host::fx {

void Interrupt::Dispose() { dpcIdle.Wait(); }

void SpawnDpc(const std::shared_ptr<Interrupt> &interrupt);

void RunIsr(const std::shared_ptr<Interrupt> &interrupt) {
  std::weak_ptr<Interrupt> weak = interrupt;
  Scheduler::Spawn(
      "isr",
      [weak] {
        auto interrupt = weak.lock();
        if (!interrupt) return;
        interrupt->lock.Acquire();
        bool connected;
        {
          std::lock_guard<std::mutex> lock(interrupt->mutex);
          connected = interrupt->connected;
          if (connected) ++interrupt->isrCalls;
        }
        if (connected) {
          auto isr = interrupt->config.EvtInterruptIsr;
          WDFINTERRUPT handle = (WDFINTERRUPT)interrupt->handle;
          Callback("EvtInterruptIsr", [&] { isr(handle, 0); });
        }
        bool dpc;
        {
          std::lock_guard<std::mutex> lock(interrupt->mutex);
          dpc = interrupt->dpcFromIsr;
          interrupt->dpcFromIsr = false;
        }
        interrupt->lock.Release();
        // A DPC the ISR queued runs once the ISR has returned.
        if (dpc) SpawnDpc(interrupt);
      },
      DIRQL_LEVEL);
}

void SetInterruptLine(WDFDEVICE handle, bool level) {
  auto device = std::static_pointer_cast<Device>(LookupQuiet(handle));
  if (!device) return;
  std::shared_ptr<Interrupt> interrupt;
  {
    std::lock_guard<std::recursive_mutex> lock(TreeLock());
    bool rising = level && !device->lineLevel;
    device->lineLevel = level;
    if (!rising || !device->interrupt) return;
    interrupt = std::static_pointer_cast<Interrupt>(LookupQuiet(device->interrupt));
    if (!interrupt) return;
    std::lock_guard<std::mutex> interruptLock(interrupt->mutex);
    if (!interrupt->connected) {
      // The interrupt controller keeps an edge it could not deliver.
      device->pendingEdge = true;
      return;
    }
  }
  RunIsr(interrupt);
}

}  // namespace host::fx

namespace {
// The IRQL each thread had before it took an interrupt lock.
thread_local std::vector<uint8_t> tSavedIrql;
}  // namespace

namespace host::fx {
void SpawnDpc(const std::shared_ptr<Interrupt> &interrupt) {
  std::weak_ptr<Interrupt> weak = interrupt;
  Scheduler::Spawn(
      "dpc",
      [weak] {
        auto interrupt = weak.lock();
        if (!interrupt) return;
        {
          std::lock_guard<std::mutex> lock(interrupt->mutex);
          interrupt->dpcQueued = false;  // dequeued: a new request queues another
        }
        auto dpc = interrupt->config.EvtInterruptDpc;
        WDFINTERRUPT handle = (WDFINTERRUPT)interrupt->handle;
        WDFOBJECT device = interrupt->device->handle;
        Callback("EvtInterruptDpc", [&] { dpc(handle, device); });
        bool idle;
        {
          std::lock_guard<std::mutex> lock(interrupt->mutex);
          idle = --interrupt->dpcActive == 0;
        }
        if (idle) interrupt->dpcIdle.Set();
      },
      DISPATCH_LEVEL);
}
}  // namespace host::fx

EXTERN_C BOOLEAN WdfInterruptQueueDpcForIsr(WDFINTERRUPT Interrupt) {
  Enter("WdfInterruptQueueDpcForIsr", HIGH_LEVEL);
  auto interrupt = Get<fx::Interrupt>(Interrupt, Kind::Interrupt, "WdfInterruptQueueDpcForIsr");
  if (!interrupt || !interrupt->config.EvtInterruptDpc) return FALSE;
  bool fromIsr = interrupt->lock.HeldByCurrentThread() && CurrentIrql() >= DIRQL_LEVEL;
  {
    std::lock_guard<std::mutex> lock(interrupt->mutex);
    if (interrupt->dpcQueued) return FALSE;
    interrupt->dpcQueued = true;
    if (interrupt->dpcActive++ == 0) interrupt->dpcIdle.Reset();
    if (fromIsr) {
      interrupt->dpcFromIsr = true;
      return TRUE;
    }
  }
  SpawnDpc(interrupt);
  return TRUE;
}

EXTERN_C void WdfInterruptAcquireLock(WDFINTERRUPT Interrupt) {
  Enter("WdfInterruptAcquireLock", DIRQL_LEVEL);
  auto interrupt = Get<fx::Interrupt>(Interrupt, Kind::Interrupt, "WdfInterruptAcquireLock");
  if (!interrupt) return;
  if (CurrentIrql() > DIRQL_LEVEL)
    Verifier::Report(rules::InterruptLockIrql, "WdfInterruptAcquireLock", "taken above DIRQL");
  {
    std::lock_guard<std::mutex> lock(interrupt->mutex);
    if (!interrupt->connected) {
      // The framework takes no lock and changes no IRQL for an interrupt
      // that is not connected.
      Verifier::Report(rules::InterruptLockNotConnected, "WdfInterruptAcquireLock");
      tSavedIrql.push_back(0xFF);
      return;
    }
  }
  if (interrupt->lock.HeldByCurrentThread()) {
    Verifier::Report(rules::LockRecursive, "WdfInterruptAcquireLock", "the thread already holds the interrupt lock");
    return;
  }
  tSavedIrql.push_back(CurrentIrql());
  SetCurrentIrql(DIRQL_LEVEL);
  interrupt->lock.Acquire();
  NoteLockAcquired(interrupt.get());
}

EXTERN_C void WdfInterruptReleaseLock(WDFINTERRUPT Interrupt) {
  Enter("WdfInterruptReleaseLock", DIRQL_LEVEL);
  auto interrupt = Get<fx::Interrupt>(Interrupt, Kind::Interrupt, "WdfInterruptReleaseLock");
  if (!interrupt) return;
  if (!tSavedIrql.empty() && tSavedIrql.back() == 0xFF) {
    tSavedIrql.pop_back();
    return;  // the acquire took nothing
  }
  if (!interrupt->lock.HeldByCurrentThread() || tSavedIrql.empty()) {
    Verifier::Report(rules::LockReleaseNotHeld, "WdfInterruptReleaseLock", "the thread does not hold the interrupt lock");
    return;
  }
  NoteLockReleased(interrupt.get());
  interrupt->lock.Release();
  SetCurrentIrql(tSavedIrql.back());
  tSavedIrql.pop_back();
}

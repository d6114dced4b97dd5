// Wait locks: an auto-reset event, initially signalled, owned by one thread.
#include "../Runtime/Irql.h"
#include "../Runtime/Verifier.h"
#include "Fx.h"

using namespace host;
using namespace host::fx;

EXTERN_C NTSTATUS WdfWaitLockCreate(PWDF_OBJECT_ATTRIBUTES LockAttributes, WDFWAITLOCK *Lock) {
  Enter("WdfWaitLockCreate", DISPATCH_LEVEL);
  NTSTATUS status;
  if (Injected("WdfWaitLockCreate", &status)) return status;
  auto lock = std::make_shared<fx::WaitLock>();
  status = ApplyAttributes(*lock, LockAttributes, "WdfWaitLockCreate");
  if (!NT_SUCCESS(status)) return status;
  std::shared_ptr<Object> parent;
  if (LockAttributes && LockAttributes->ParentObject) {
    parent = Lookup(LockAttributes->ParentObject, "WdfWaitLockCreate");
    if (!parent) return STATUS_INVALID_PARAMETER;
  } else {
    // The default parent is the driver; the locking rules want it named.
    Verifier::Report(rules::Usage, "WdfWaitLockCreate", "no explicit parent object");
    parent = LookupQuiet(CurrentDriverHandle());
    if (!parent) return STATUS_WDF_PARENT_NOT_SPECIFIED;
  }
  WDFWAITLOCK handle = (WDFWAITLOCK)Register(lock, parent.get());
  if (Device *device = DeviceOf(parent.get())) {
    WaitLockRecord record;
    record.handle = handle;
    record.attributesGiven = LockAttributes != nullptr;
    if (LockAttributes) record.attributes = *LockAttributes;
    record.parent = parent->handle;
    device->record->waitLocks.push_back(record);
  }
  *Lock = handle;
  return STATUS_SUCCESS;
}

EXTERN_C NTSTATUS WdfWaitLockAcquire(WDFWAITLOCK Lock, PLONGLONG Timeout) {
  bool mayBlock = Timeout == nullptr || *Timeout != 0;
  if (mayBlock)
    EnterBlocking("WdfWaitLockAcquire");
  else
    Enter("WdfWaitLockAcquire", APC_LEVEL);
  auto lock = Get<fx::WaitLock>(Lock, Kind::WaitLock, "WdfWaitLockAcquire");
  if (!lock) return STATUS_INVALID_PARAMETER;
  if (lock->lock.HeldByCurrentThread()) {
    Verifier::Report(rules::LockRecursive, "WdfWaitLockAcquire", "the thread already owns the wait lock");
    return STATUS_SUCCESS;
  }
  if (Timeout == nullptr) {
    lock->lock.Acquire();
  } else {
    // Relative (negative) timeouts in 100-ns units; absolute ones are not modelled.
    Ticks span = *Timeout < 0 ? -*Timeout : 0;
    if (!lock->lock.TryAcquire(span)) return STATUS_TIMEOUT;
  }
  NoteLockAcquired(lock.get());
  return STATUS_SUCCESS;
}

EXTERN_C void WdfWaitLockRelease(WDFWAITLOCK Lock) {
  Enter("WdfWaitLockRelease", DISPATCH_LEVEL);
  auto lock = Get<fx::WaitLock>(Lock, Kind::WaitLock, "WdfWaitLockRelease");
  if (!lock) return;
  if (!lock->lock.HeldByCurrentThread()) {
    Verifier::Report(rules::LockReleaseNotHeld, "WdfWaitLockRelease", "the thread does not own the wait lock");
    return;
  }
  NoteLockReleased(lock.get());
  lock->lock.Release();
}

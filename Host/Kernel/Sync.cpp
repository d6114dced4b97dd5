// Interlocked operations and run-down protection.
#include <ntddk.h>

#include "../Runtime/Irql.h"
#include "../Runtime/Scheduler.h"
#include "../Runtime/Verifier.h"

using namespace host;

EXTERN_C LONG InterlockedIncrement(LONG volatile *Addend) {
  Scheduler::Point();
  return __atomic_add_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}

EXTERN_C LONG InterlockedDecrement(LONG volatile *Addend) {
  Scheduler::Point();
  return __atomic_sub_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}

EXTERN_C LONG InterlockedExchange(LONG volatile *Target, LONG Value) {
  Scheduler::Point();
  return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}

EXTERN_C LONG InterlockedCompareExchange(LONG volatile *Destination, LONG Exchange, LONG Comparand) {
  Scheduler::Point();
  __atomic_compare_exchange_n(Destination, &Comparand, Exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return Comparand;
}

EXTERN_C PVOID InterlockedExchangePointer(PVOID volatile *Target, PVOID Value) {
  Scheduler::Point();
  return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}

// Count holds the number of users times two; bit 0 says a run-down is in
// progress or complete. The waiter publishes its event in HostState before
// it sets the bit, so the last user out always finds it.
namespace {
constexpr ULONG_PTR kRundownActive = 1;
constexpr ULONG_PTR kUser = 2;
}  // namespace

EXTERN_C void ExInitializeRundownProtection(PEX_RUNDOWN_REF RunRef) {
  __atomic_store_n(&RunRef->HostState, (PVOID)NULL, __ATOMIC_SEQ_CST);
  __atomic_store_n(&RunRef->Count, (ULONG_PTR)0, __ATOMIC_SEQ_CST);
}

EXTERN_C void ExReInitializeRundownProtection(PEX_RUNDOWN_REF RunRef) { ExInitializeRundownProtection(RunRef); }

EXTERN_C BOOLEAN ExAcquireRundownProtection(PEX_RUNDOWN_REF RunRef) {
  Scheduler::Point();
  if (CurrentIrql() > DISPATCH_LEVEL)
    Verifier::Report(rules::IrqlTooHigh, "ExAcquireRundownProtection", "above DISPATCH_LEVEL");
  ULONG_PTR count = __atomic_load_n(&RunRef->Count, __ATOMIC_SEQ_CST);
  for (;;) {
    if (count & kRundownActive) return FALSE;
    if (__atomic_compare_exchange_n(&RunRef->Count, &count, count + kUser, false, __ATOMIC_SEQ_CST,
                                    __ATOMIC_SEQ_CST))
      return TRUE;
  }
}

EXTERN_C void ExReleaseRundownProtection(PEX_RUNDOWN_REF RunRef) {
  Scheduler::Point();
  ULONG_PTR count = __atomic_load_n(&RunRef->Count, __ATOMIC_SEQ_CST);
  for (;;) {
    if (count < kUser) {
      Verifier::Report(rules::Usage, "ExReleaseRundownProtection", "released more often than acquired");
      return;
    }
    if (__atomic_compare_exchange_n(&RunRef->Count, &count, count - kUser, false, __ATOMIC_SEQ_CST,
                                    __ATOMIC_SEQ_CST))
      break;
  }
  if (count - kUser == kRundownActive) {
    auto *done = (SimEvent *)__atomic_load_n(&RunRef->HostState, __ATOMIC_SEQ_CST);
    if (done) done->Set();
  }
}

EXTERN_C void ExWaitForRundownProtectionRelease(PEX_RUNDOWN_REF RunRef) {
  Scheduler::Point();
  if (CurrentIrql() > APC_LEVEL)
    Verifier::Report(rules::IrqlBlocking, "ExWaitForRundownProtectionRelease", "above APC_LEVEL");
  SimEvent done(true, false, "run-down of users");
  __atomic_store_n(&RunRef->HostState, (PVOID)&done, __ATOMIC_SEQ_CST);
  ULONG_PTR before = __atomic_fetch_or(&RunRef->Count, kRundownActive, __ATOMIC_SEQ_CST);
  if ((before & kRundownActive) != 0 && (before & ~kRundownActive) == 0) {
    __atomic_store_n(&RunRef->HostState, (PVOID)NULL, __ATOMIC_SEQ_CST);
    return;  // already run down
  }
  if ((before & ~kRundownActive) != 0) done.Wait();
  __atomic_store_n(&RunRef->HostState, (PVOID)NULL, __ATOMIC_SEQ_CST);
}

// Version, IRQL, string and memory routines of the simulated kernel.
#include "Kernel.h"

#include <ntddk.h>

#include <cstring>
#include <string>

#include "../Runtime/Irql.h"
#include "../Runtime/Scheduler.h"
#include "../Runtime/Verifier.h"

namespace host::kernel {
namespace {
Settings gSettings;
}
Settings &Machine() { return gSettings; }
void ResetMachine() { gSettings = Settings{}; }
}  // namespace host::kernel

using namespace host;

namespace {

void RequirePassive(const char *routine) {
  uint8_t irql = CurrentIrql();
  if (irql != PASSIVE_LEVEL)
    Verifier::Report(rules::IrqlTooHigh, routine, std::string("called at ") + IrqlName(irql));
}

size_t WideLength(PCWSTR s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

BOOLEAN HostRtlIsNtDdiVersionAvailable(ULONG Version) {
  auto &m = kernel::Machine();
  ULONG running = (m.osMajor << 24) | (m.osMinor << 16) | ((m.servicePack & 0xFF) << 8);
  return running >= Version ? TRUE : FALSE;
}

}  // namespace

EXTERN_C KIRQL KeGetCurrentIrql(void) { return CurrentIrql(); }

EXTERN_C void KeRaiseIrql(KIRQL NewIrql, PKIRQL OldIrql) {
  KIRQL old = CurrentIrql();
  if (NewIrql < old) Verifier::Report(rules::IrqlLower, "KeRaiseIrql", "raise to a lower level");
  *OldIrql = old;
  SetCurrentIrql(NewIrql);
}

EXTERN_C void KeLowerIrql(KIRQL NewIrql) {
  if (NewIrql > CurrentIrql()) Verifier::Report(rules::IrqlLower, "KeLowerIrql", "lower to a higher level");
  SetCurrentIrql(NewIrql);
}

EXTERN_C void HostPagedCodeCheck(const char *Routine) {
  uint8_t irql = CurrentIrql();
  if (irql > APC_LEVEL)
    Verifier::Report(rules::IrqlPagedCode, Routine, std::string("PAGED_CODE() at ") + IrqlName(irql));
}

EXTERN_C void HostCopyMemory(void *Destination, const void *Source, SIZE_T Length) {
  if (Length) std::memcpy(Destination, Source, Length);
}
EXTERN_C void HostMoveMemory(void *Destination, const void *Source, SIZE_T Length) {
  if (Length) std::memmove(Destination, Source, Length);
}
EXTERN_C void HostFillMemory(void *Destination, SIZE_T Length, UCHAR Fill) {
  if (Length) std::memset(Destination, Fill, Length);
}

EXTERN_C void RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString) {
  Scheduler::Point();
  if (SourceString == NULL) {
    DestinationString->Length = 0;
    DestinationString->MaximumLength = 0;
    DestinationString->Buffer = NULL;
    return;
  }
  size_t bytes = WideLength(SourceString) * sizeof(WCHAR);
  if (bytes > MAXUSHORT - sizeof(WCHAR)) bytes = MAXUSHORT - sizeof(WCHAR) - 1;  // clamped, as the kernel does
  DestinationString->Length = (USHORT)bytes;
  DestinationString->MaximumLength = (USHORT)(bytes + sizeof(WCHAR));
  DestinationString->Buffer = (PWSTR)SourceString;
}

EXTERN_C void RtlInitAnsiString(PANSI_STRING DestinationString, PCSZ SourceString) {
  Scheduler::Point();
  if (SourceString == NULL) {
    DestinationString->Length = 0;
    DestinationString->MaximumLength = 0;
    DestinationString->Buffer = NULL;
    return;
  }
  size_t bytes = std::strlen(SourceString);
  if (bytes > MAXUSHORT - 1) bytes = MAXUSHORT - 1;
  DestinationString->Length = (USHORT)bytes;
  DestinationString->MaximumLength = (USHORT)(bytes + 1);
  DestinationString->Buffer = (PCHAR)SourceString;
}

// The ANSI code page of the simulated machine maps each byte to the code
// point of the same value. A destination that cannot hold the text and its
// terminator gets STATUS_BUFFER_OVERFLOW and is left as it was.
EXTERN_C NTSTATUS RtlAnsiStringToUnicodeString(PUNICODE_STRING DestinationString, PCANSI_STRING SourceString,
                                               BOOLEAN AllocateDestinationString) {
  Scheduler::Point();
  RequirePassive("RtlAnsiStringToUnicodeString");
  size_t needed = ((size_t)SourceString->Length + 1) * sizeof(WCHAR);
  if (needed > MAXUSHORT) return STATUS_INVALID_PARAMETER_2;
  if (AllocateDestinationString) {
    PWSTR buffer = (PWSTR)ExAllocatePoolWithTag(PagedPool, needed, 'grtS');
    if (buffer == NULL) return STATUS_INSUFFICIENT_RESOURCES;
    DestinationString->Buffer = buffer;
    DestinationString->MaximumLength = (USHORT)needed;
  } else if (DestinationString->MaximumLength < needed) {
    return STATUS_BUFFER_OVERFLOW;
  }
  for (USHORT i = 0; i < SourceString->Length; ++i)
    DestinationString->Buffer[i] = (WCHAR)(UCHAR)SourceString->Buffer[i];
  DestinationString->Buffer[SourceString->Length] = 0;
  DestinationString->Length = (USHORT)(SourceString->Length * sizeof(WCHAR));
  return STATUS_SUCCESS;
}

EXTERN_C void RtlFreeUnicodeString(PUNICODE_STRING UnicodeString) {
  if (UnicodeString->Buffer) ExFreePoolWithTag(UnicodeString->Buffer, 'grtS');
  UnicodeString->Buffer = NULL;
  UnicodeString->Length = UnicodeString->MaximumLength = 0;
}

EXTERN_C PVOID MmGetSystemRoutineAddress(PUNICODE_STRING SystemRoutineName) {
  Scheduler::Point();
  RequirePassive("MmGetSystemRoutineAddress");
  std::string name;
  for (USHORT i = 0; i < SystemRoutineName->Length / sizeof(WCHAR); ++i)
    name += (char)SystemRoutineName->Buffer[i];
  if (name == "RtlIsNtDdiVersionAvailable" && kernel::Machine().exportsRtlIsNtDdiVersionAvailable)
    return (PVOID)&HostRtlIsNtDdiVersionAvailable;
  if (name == "PsGetVersion") return (PVOID)&PsGetVersion;
  return NULL;
}

EXTERN_C BOOLEAN PsGetVersion(PULONG MajorVersion, PULONG MinorVersion, PULONG BuildNumber,
                              PUNICODE_STRING CSDVersion) {
  Scheduler::Point();
  RequirePassive("PsGetVersion");
  auto &m = kernel::Machine();
  if (MajorVersion) *MajorVersion = m.osMajor;
  if (MinorVersion) *MinorVersion = m.osMinor;
  if (BuildNumber) *BuildNumber = m.osBuild;
  (void)CSDVersion;  // filled only during system initialisation
  return FALSE;      // not a checked build
}

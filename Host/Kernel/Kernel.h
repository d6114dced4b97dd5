// Machine settings of the simulated kernel.
#pragma once

#include <ntdef.h>

namespace host::kernel {

struct Settings {
  ULONG osMajor = 6;
  ULONG osMinor = 1;
  ULONG osBuild = 7601;
  ULONG servicePack = 1;
  // Whether the kernel exports RtlIsNtDdiVersionAvailable (it does from 6.0 on).
  bool exportsRtlIsNtDdiVersionAvailable = true;
};

Settings &Machine();
void ResetMachine();

}  // namespace host::kernel

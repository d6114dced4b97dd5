// Asking Windows to scan for hardware changes after an uninstall.
#pragma once

#include "Installer.h"

namespace setup {

// True when the device tree was re-enumerated from its root.
bool RescanHardware(Context& context);

// Pause, rescan, pause; a failed rescan ends the run with exit code 4.
void RunStrictRescan(Context& context);

// The same pauses and calls, whatever the rescan gives.
void RunTolerantRescan(Context& context);

}  // namespace setup

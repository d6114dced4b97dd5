// Messages to the user and the optional log file.
#pragma once

#include <string>

#include "Installer.h"

namespace setup {

extern const char* const LogPrefix;

// Appends "Pre-Installer: " and text to the log when one was asked for, and
// writes the bare text to the console unless the run is silent.
void ReportMessage(Context& context, const std::string& text);

// Turns the text given after -f2 into the log path: 1 when its directory
// exists (logPath then holds the resolved path), 0 when it does not.
int ResolveLogPath(Context& context);

}  // namespace setup

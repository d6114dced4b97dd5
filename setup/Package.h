// Running the package's installer and the product's uninstall command.
#pragma once

#include <string>

#include "Installer.h"

namespace setup {

extern const char* const InstallCommand;
extern const char* const QuietInstallArguments;

// Runs the package installer (install set) or the uninstall command and the
// clean-up of what it left behind; always 0, the exit code of the run.
int RunPackage(Context& context, bool quiet, bool install);

// 1 when an uninstall command was run, 0 when the product has none.
int RunUninstaller(Context& context, bool quiet);

// Runs commandLine through the command interpreter and waits for it; its
// exit status is returned for the record only.
DWORD RunCommandAndWait(Context& context, const std::string& commandLine);

}  // namespace setup

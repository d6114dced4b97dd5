#include "Installer.h"

#include <cctype>

#include "Messages.h"
#include "Package.h"
#include "Registry.h"
#include "Rescan.h"

namespace setup {

const char* const ProductName = "Orvan I2C-HID Lumaquad driver";
const char* const OtherVersionQuestion =
    "A newer version of 'Orvan I2C-HID Lumaquad driver' is already installed on this machine. "
    "Do you wish to remove it and install this older version?";

void EndRun(int exitCode) { throw RunEnded{exitCode}; }

int ParseOption(Context& context, char** argv, int index) {
    RunState& state = context.state;
    const char* argument = argv[index];
    if (argument[0] != '/' && argument[0] != '-') return 0;
    switch (std::tolower(static_cast<unsigned char>(argument[1]))) {
    case '?':
        state.helpRequested = true;
        return 1;
    case 's':
        state.silentMode = true;
        return 1;
    case 'r':
        state.removeRequested = true;
        return 1;
    case 'a':
        state.installRequested = true;
        return 1;
    case 'f':
        if (argument[2] != '2') return 0;
        state.logRequested = true;
        state.logPath = argument + 3;
        return 1;
    default:
        return 0;
    }
}

void PrintUsage(Context& context) {
    static const char* const lines[] = {
        "\n\nOrvan Installer 1.34 - 2015-10-26\n\n",
        "\nUSAGE:\n\n",
        "  1. setup.exe -a ----------------------> Install or modify installation\n",
        "  2. setup.exe -a -f2<PathToLogFile> ---> Install or modify installation and add a log file\n",
        "  3. setup.exe -s ----------------------> Run installation in Silent Mode\n",
        "  4. setup.exe -s -f2<PathToLogFile> ---> Run in Silent Mode and add a log file\n",
        "  5. setup.exe -r ----------------------> Removes the installed driver\n",
        "  6. setup.exe -r -f2<PathToLogFile> ---> Removes the installed driver and add a log file\n",
        "  7. setup.exe -r -s -------------------> Removes the installed driver in Silent Mode\n",
        "  8. setup.exe -r -s -f2<PathToLogFile -> Removes the installed driver in Silent Mode with "
        "log file\n",
        "  9. setup.exe -? ----------------------> Prints this usage information\n",
        "\n\n",
        "Example: setup.exe -s -f2c:\\temp\\silentlog.log\n\n",
    };
    for (const char* line : lines) context.system.WriteStandardOutput(line);
}

namespace {

void DetectWow64(Context& context) {
    System& sys = context.system;
    const HMODULE kernel = sys.GetModuleHandleA("kernel32");
    const FARPROC isWow64Process = kernel ? sys.GetProcAddress(kernel, "IsWow64Process") : 0;
    if (!isWow64Process) return;
    BOOL result = 0;
    sys.IsWow64Process(isWow64Process, sys.GetCurrentProcess(), &result);
    context.state.isWow64 = result != 0;
}

void ReadCommandLine(Context& context, int argc, char** argv) {
    RunState& state = context.state;
    if (argc <= 1) {
        state.installRequested = true;
        return;
    }
    for (int index = 1; index < argc; ++index) {
        if (!ParseOption(context, argv, index)) {
            ReportMessage(context, std::string("\nError in Input File: please check usage.\n Line: ") +
                                       argv[index] + "\n");
            EndRun(ExitBadCommandLine);
        }
        if (state.helpRequested) {
            PrintUsage(context);
            EndRun(ExitBadCommandLine);
        }
    }
}

int Upgrade(Context& context) {
    RunPackage(context, true, false);
    RunStrictRescan(context);
    return RunPackage(context, context.state.silentMode, true);
}

int RunMainSequence(Context& context, int argc, char** argv) {
    System& sys = context.system;
    RunState& state = context.state;

    DetectWow64(context);
    ReadCommandLine(context, argc, argv);

    if (state.silentMode && !state.removeRequested) state.installRequested = true;

    if (state.logRequested) {
        if (!ResolveLogPath(context)) {
            ReportMessage(context, "Invalid log file path provided\n");
            EndRun(ExitBadLogPath);
        }
        state.debugLogArgument = "/debuglog\"" + state.logPath + "\"";
    }

    if (state.installRequested && state.removeRequested) {
        ReportMessage(context, "Invalid input parameters\n");
        EndRun(ExitBadCommandLine);
    }

    const int versionClass = GetInstalledVersionClass(context, ProductUninstallKey);
    if (versionClass == 0 && GetInstalledVersionClass(context, InstallShieldUninstallKey) != 0) {
        // An InstallShield registration without its product would be taken
        // for an installed copy by the package's own installer.
        std::string path = UninstallKeyPath(state, InstallShieldUninstallKey);
        DeleteRegistryTree(context, HKEY_LOCAL_MACHINE, path, 0);
    }

    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    sys.GetVersionExA(&version);
    if (version.dwMajorVersion != 6 || version.dwMinorVersion != 1) {
        ReportMessage(context, "This package installs only on Windows 7\n");
        EndRun(ExitNotWindows7);
    }

    if (state.removeRequested && versionClass == 0) {
        ReportMessage(context, "Product to be removed is not installed\n");
        EndRun(ExitNotInstalled);
    }

    if (state.installRequested) {
        switch (versionClass) {
        case 0:
            return RunPackage(context, state.silentMode, true);
        case 4:
            if (state.silentMode ||
                sys.MessageBoxA(0, OtherVersionQuestion, ProductName, MB_YESNO) == IDNO) {
                ReportMessage(context, "Newer version is already installed\n");
                EndRun(ExitOtherVersion);
            }
            return Upgrade(context);
        default:
            return Upgrade(context);
        }
    }
    if (state.removeRequested) {
        const int result = RunPackage(context, state.silentMode, false);
        RunTolerantRescan(context);
        return result;
    }
    // Only a log option was given: install without looking at the version.
    return RunPackage(context, state.silentMode, true);
}

}  // namespace

int RunInstaller(Context& context, int argc, char** argv) {
    try {
        return RunMainSequence(context, argc, argv);
    } catch (const RunEnded& ended) {
        return ended.exitCode;
    }
}

}  // namespace setup

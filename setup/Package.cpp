#include "Package.h"

#include <vector>

#include "Messages.h"
#include "Registry.h"

namespace setup {

const char* const InstallCommand = "setup.exe ";
const char* const QuietInstallArguments = "/s /v/quiet ";

namespace {

// The uninstall command line is built in a buffer of this many bytes.
constexpr std::string::size_type UninstallLineBufferSize = 1024;

// An environment value of any length; false when the variable is not set.
bool ReadEnvironmentValue(System& sys, const char* name, std::string& value) {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            sys.GetEnvironmentVariableA(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return false;
        if (length < buffer.size()) {
            value.assign(buffer.data(), length);
            return true;
        }
        buffer.resize(length);  // the size asked for, its terminator included
    }
}

// The interpreter's file as named, else the first one found along PATH, else
// the name itself (creating the process then fails and says so).
std::string FindInterpreter(System& sys) {
    std::string interpreter;
    if (!ReadEnvironmentValue(sys, "COMSPEC", interpreter)) interpreter = "cmd.exe";
    if (sys.GetFileAttributesA(interpreter.c_str()) != INVALID_FILE_ATTRIBUTES) return interpreter;

    std::string searchPath;
    if (!ReadEnvironmentValue(sys, "PATH", searchPath)) return interpreter;
    std::string::size_type start = 0;
    while (start <= searchPath.size()) {
        std::string::size_type end = searchPath.find(';', start);
        if (end == std::string::npos) end = searchPath.size();
        std::string folder = searchPath.substr(start, end - start);
        start = end + 1;
        if (folder.empty()) continue;
        if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
        const std::string candidate = folder + interpreter;
        if (sys.GetFileAttributesA(candidate.c_str()) != INVALID_FILE_ATTRIBUTES) return candidate;
    }
    return interpreter;
}

int RunInstallerInPackageFolder(Context& context, bool quiet) {
    System& sys = context.system;
    const RunState& state = context.state;

    char current[MAX_PATH];
    const DWORD length = sys.GetCurrentDirectoryA(MAX_PATH, current);
    if (length == 0) EndRun(ExitNoPackageFolder);
    std::string folder;
    if (length < MAX_PATH) folder.assign(current, length);
    folder += state.isWow64 ? "\\win7\\64" : "\\win7\\32";
    // Cutting the folder path would name another folder.
    if (length >= MAX_PATH || folder.size() >= MAX_PATH) {
        ReportMessage(context, "Package folder path is too long\n");
        EndRun(ExitInputTooLong);
    }
    if (!sys.SetCurrentDirectoryA(folder.c_str())) EndRun(ExitNoPackageFolder);

    std::string commandLine = InstallCommand;
    if (quiet || state.silentMode) commandLine += QuietInstallArguments;
    if (state.logRequested) commandLine += state.debugLogArgument;

    RunCommandAndWait(context, commandLine);
    sys.Sleep(1000);
    return 0;
}

void DeleteIfStillRegistered(Context& context, UninstallKey key) {
    if (GetInstalledVersionClass(context, key) == 0) return;
    std::string path = UninstallKeyPath(context.state, key);
    DeleteRegistryTree(context, HKEY_LOCAL_MACHINE, path, UninstallKeyAccess(context.state, key));
}

}  // namespace

DWORD RunCommandAndWait(Context& context, const std::string& commandLine) {
    System& sys = context.system;
    const std::string interpreter = FindInterpreter(sys);
    const CommandResult result = sys.RunPipedCommand(interpreter, interpreter + " /c " + commandLine);
    if (!result.started) {
        // Going on as if the program had run would report an install or an
        // uninstall that never happened.
        ReportMessage(context, "Failed to start the command interpreter " + interpreter + "\n");
        EndRun(ExitCannotStart);
    }
    return result.exitCode;
}

int RunUninstaller(Context& context, bool quiet) {
    const RunState& state = context.state;
    const std::string command =
        ReadRegistryString(context, UninstallKeyPath(state, ProductUninstallKey),
                           "UninstallString", UninstallKeyAccess(state, ProductUninstallKey));
    if (command.empty()) return 0;

    std::string commandLine = command;
    if (state.logRequested) commandLine += " /log " + state.logPath;
    if (quiet) commandLine += " /qn ";
    // Cutting the line would run a different command, for instance one
    // without its quiet switch.
    if (commandLine.size() >= UninstallLineBufferSize) {
        ReportMessage(context, "Uninstall command line is too long\n");
        EndRun(ExitInputTooLong);
    }

    RunCommandAndWait(context, commandLine);
    context.system.Sleep(4000);
    return 1;
}

int RunPackage(Context& context, bool quiet, bool install) {
    if (install) return RunInstallerInPackageFolder(context, quiet);

    RunUninstaller(context, quiet);
    // The uninstaller's outcome is not known; registrations that still carry
    // a version would make the next run think the product is installed.
    DeleteIfStillRegistered(context, ProductUninstallKey);
    DeleteIfStillRegistered(context, InstallShieldUninstallKey);
    return 0;
}

}  // namespace setup

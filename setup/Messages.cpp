#include "Messages.h"

namespace setup {

const char* const LogPrefix = "Pre-Installer: ";

void ReportMessage(Context& context, const std::string& text) {
    RunState& state = context.state;
    if (state.logRequested) {
        // The file is opened and closed around each message so that the
        // package's own programs can write to it while setup waits for them.
        // A lost log line must not stop the run, so the result is not used.
        context.system.AppendToFile(state.logPath, LogPrefix + text);
    }
    if (!state.silentMode) {
        context.system.WriteStandardOutput(text);
    }
}

namespace {

std::string::size_type LastSeparator(const std::string& path) {
    return path.find_last_of("/\\");
}

}  // namespace

int ResolveLogPath(Context& context) {
    System& sys = context.system;
    std::string& logPath = context.state.logPath;
    const std::string::size_type separator = LastSeparator(logPath);
    std::string directory;

    if (!logPath.empty() && logPath[0] == '%') {
        const std::string::size_type lastPercent = logPath.rfind('%');
        const std::string name =
            lastPercent == 0 ? logPath.substr(1) : logPath.substr(1, lastPercent - 1);
        char value[MAX_PATH];
        const DWORD length = sys.GetEnvironmentVariableA(name.c_str(), value, MAX_PATH);
        // A value that does not fit the buffer is refused like a missing one
        // rather than cut to a different folder.
        if (length == 0 || length >= MAX_PATH) return 0;
        directory.assign(value, length);
        const std::string fileName =
            separator == std::string::npos ? logPath : logPath.substr(separator + 1);
        logPath = directory + "\\" + fileName;
    } else if (separator == std::string::npos) {
        char current[MAX_PATH];
        const DWORD length = sys.GetCurrentDirectoryA(MAX_PATH, current);
        if (length == 0) EndRun(ExitBadLogPath);
        if (length >= MAX_PATH) return 0;  // too long for the buffer: refused, not cut
        directory.assign(current, length);
        logPath = directory + "\\" + logPath;
    } else {
        directory = logPath.substr(0, separator);
    }

    return sys.GetFileAttributesA(directory.c_str()) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

}  // namespace setup

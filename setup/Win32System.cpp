#include "Win32System.h"

namespace {
// Taken before the platform headers, which define the same names as macros.
constexpr setup::HKEY PortLocalMachine = setup::HKEY_LOCAL_MACHINE;
}  // namespace

#include <windows.h>
#include <cfgmgr32.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <fstream>
#include <vector>

namespace {
::HKEY NativeLocalMachine() { return HKEY_LOCAL_MACHINE; }
}  // namespace

namespace setup {

namespace {

static_assert(sizeof(::OSVERSIONINFOA) == sizeof(OSVERSIONINFOA), "same record as the platform's");

// The log stream exists for the whole process and is open only while one
// message is written.
std::ofstream logStream;

::HKEY NativeKey(HKEY key) {
    return key == PortLocalMachine ? NativeLocalMachine() : reinterpret_cast<::HKEY>(key);
}

}  // namespace

HMODULE Win32System::GetModuleHandleA(const char* moduleName) {
    return reinterpret_cast<HMODULE>(::GetModuleHandleA(moduleName));
}

FARPROC Win32System::GetProcAddress(HMODULE module, const char* procName) {
    return reinterpret_cast<FARPROC>(::GetProcAddress(reinterpret_cast<::HMODULE>(module), procName));
}

HANDLE Win32System::GetCurrentProcess() {
    return reinterpret_cast<HANDLE>(::GetCurrentProcess());
}

BOOL Win32System::IsWow64Process(FARPROC function, HANDLE process, BOOL* wow64) {
    using IsWow64ProcessFunction = ::BOOL(WINAPI*)(::HANDLE, ::PBOOL);
    ::BOOL result = FALSE;
    const ::BOOL called = reinterpret_cast<IsWow64ProcessFunction>(function)(
        reinterpret_cast<::HANDLE>(process), &result);
    *wow64 = result;
    return called;
}

BOOL Win32System::GetVersionExA(OSVERSIONINFOA* info) {
    ::OSVERSIONINFOA native;
    ZeroMemory(&native, sizeof native);
    native.dwOSVersionInfoSize = info->dwOSVersionInfoSize;
    const ::BOOL ok = ::GetVersionExA(&native);
    info->dwMajorVersion = native.dwMajorVersion;
    info->dwMinorVersion = native.dwMinorVersion;
    info->dwBuildNumber = native.dwBuildNumber;
    info->dwPlatformId = native.dwPlatformId;
    CopyMemory(info->szCSDVersion, native.szCSDVersion, sizeof info->szCSDVersion);
    return ok;
}

DWORD Win32System::GetEnvironmentVariableA(const char* name, char* buffer, DWORD size) {
    return ::GetEnvironmentVariableA(name, buffer, size);
}

DWORD Win32System::GetCurrentDirectoryA(DWORD size, char* buffer) {
    return ::GetCurrentDirectoryA(size, buffer);
}

BOOL Win32System::SetCurrentDirectoryA(const char* path) { return ::SetCurrentDirectoryA(path); }

DWORD Win32System::GetFileAttributesA(const char* path) { return ::GetFileAttributesA(path); }

void Win32System::Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

LONG Win32System::RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                                HKEY* result) {
    ::HKEY key = nullptr;
    const LONG status = ::RegOpenKeyExA(NativeKey(root), subKey, options, access, &key);
    *result = status == ERROR_SUCCESS ? reinterpret_cast<HKEY>(key) : 0;
    return status;
}

LONG Win32System::RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                                   BYTE* data, DWORD* size) {
    return ::RegQueryValueExA(NativeKey(key), valueName, reinterpret_cast<::LPDWORD>(reserved),
                              reinterpret_cast<::LPDWORD>(type), data,
                              reinterpret_cast<::LPDWORD>(size));
}

LONG Win32System::RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize,
                                DWORD* reserved, char* className, DWORD* classSize,
                                FILETIME* lastWriteTime) {
    ::FILETIME written{};
    const LONG status = ::RegEnumKeyExA(NativeKey(key), index, name,
                                        reinterpret_cast<::LPDWORD>(nameSize),
                                        reinterpret_cast<::LPDWORD>(reserved), className,
                                        reinterpret_cast<::LPDWORD>(classSize), &written);
    if (lastWriteTime) {
        lastWriteTime->dwLowDateTime = written.dwLowDateTime;
        lastWriteTime->dwHighDateTime = written.dwHighDateTime;
    }
    return status;
}

LONG Win32System::RegDeleteKeyA(HKEY key, const char* subKey) {
    return ::RegDeleteKeyA(NativeKey(key), subKey);
}

LONG Win32System::RegCloseKey(HKEY key) { return ::RegCloseKey(NativeKey(key)); }

int Win32System::MessageBoxA(HWND owner, const char* text, const char* caption, unsigned type) {
    return ::MessageBoxA(reinterpret_cast<::HWND>(owner), text, caption, type);
}

CONFIGRET Win32System::CM_Locate_DevNodeA(DEVINST* devInst, const char* deviceId, ULONG flags) {
    ::DEVINST node = 0;
    const ::CONFIGRET result =
        ::CM_Locate_DevNodeA(&node, const_cast<::DEVINSTID_A>(deviceId), flags);
    *devInst = node;
    return result;
}

CONFIGRET Win32System::CM_Reenumerate_DevNode(DEVINST devInst, ULONG flags) {
    return ::CM_Reenumerate_DevNode(devInst, flags);
}

CommandResult Win32System::RunPipedCommand(const std::string& interpreter,
                                           const std::string& commandLine) {
    SECURITY_ATTRIBUTES inheritable;
    ZeroMemory(&inheritable, sizeof inheritable);
    inheritable.nLength = sizeof inheritable;
    inheritable.bInheritHandle = TRUE;

    ::HANDLE readEnd = nullptr;
    ::HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return CommandResult{false, 0};
    // The child gets only the write end; the read end stays setup's own, so
    // that no child or grandchild holds a handle it has no use for.
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);

    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    const ::BOOL created = ::CreateProcessA(interpreter.c_str(), line.data(), nullptr, nullptr,
                                            TRUE, 0, nullptr, nullptr, &startup, &process);
    ::CloseHandle(writeEnd);
    if (!created) {
        ::CloseHandle(readEnd);
        return CommandResult{false, 0};
    }

    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(readEnd), _O_RDONLY | _O_TEXT);
    std::FILE* stream = descriptor == -1 ? nullptr : _fdopen(descriptor, "rt");
    if (stream) {
        char discarded[256];
        while (std::fgets(discarded, sizeof discarded, stream)) {
        }
        std::fclose(stream);
    } else if (descriptor != -1) {
        _close(descriptor);
    } else {
        ::CloseHandle(readEnd);
    }

    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::DWORD exitCode = 0;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return CommandResult{true, exitCode};
}

void Win32System::WriteStandardOutput(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    // Flushed before any child runs, so that the console keeps the order.
    std::fflush(stdout);
}

bool Win32System::AppendToFile(const std::string& path, const std::string& text) {
    // A failure earlier must not leave the stream unusable for later messages.
    logStream.clear();
    logStream.open(path.c_str(), std::ios::out | std::ios::app);
    if (!logStream.is_open()) {
        logStream.clear();
        return false;
    }
    logStream << text;
    bool written = !logStream.fail();
    logStream.close();
    written = written && !logStream.fail();
    logStream.clear();
    return written;
}

}  // namespace setup

// The port between the installer's logic and the platform. Every Win32 call
// that setup makes has exactly one method here, with the platform's name and
// argument order, so that the logic reads like the program it is and can be
// run natively against a scripted fake. The adapter over the real calls is
// Win32System; the types and constants below are this program's own
// definitions of the few platform values the logic needs.
#pragma once

#include <cstdint>
#include <string>

namespace setup {

using BOOL = int;
using BYTE = std::uint8_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using REGSAM = std::uint32_t;
using CONFIGRET = std::uint32_t;
using DEVINST = std::uint32_t;

// Opaque handles. The adapter maps them to and from the platform's own.
using HKEY = std::uintptr_t;
using HMODULE = std::uintptr_t;
using HANDLE = std::uintptr_t;
using HWND = std::uintptr_t;
using FARPROC = std::uintptr_t;

constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;

constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;

constexpr DWORD MAX_PATH = 260;

constexpr unsigned MB_YESNO = 4;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

constexpr CONFIGRET CR_SUCCESS = 0;
constexpr ULONG CM_LOCATE_DEVNODE_NORMAL = 0;
constexpr ULONG CM_REENUMERATE_NORMAL = 0;

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFOA) == 148, "the platform's record is 148 bytes");

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

// What became of one command line handed to the interpreter.
struct CommandResult {
    bool started;    // false: no pipe, or the interpreter could not be created
    DWORD exitCode;  // the interpreter's exit status when started
};

class System {
public:
    virtual ~System() = default;

    // kernel32
    virtual HMODULE GetModuleHandleA(const char* moduleName) = 0;
    virtual FARPROC GetProcAddress(HMODULE module, const char* procName) = 0;
    virtual HANDLE GetCurrentProcess() = 0;
    // Calls the IsWow64Process that GetProcAddress found.
    virtual BOOL IsWow64Process(FARPROC function, HANDLE process, BOOL* wow64) = 0;
    virtual BOOL GetVersionExA(OSVERSIONINFOA* info) = 0;
    virtual DWORD GetEnvironmentVariableA(const char* name, char* buffer, DWORD size) = 0;
    virtual DWORD GetCurrentDirectoryA(DWORD size, char* buffer) = 0;
    virtual BOOL SetCurrentDirectoryA(const char* path) = 0;
    virtual DWORD GetFileAttributesA(const char* path) = 0;
    virtual void Sleep(DWORD milliseconds) = 0;

    // advapi32
    virtual LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                               HKEY* result) = 0;
    virtual LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                                  BYTE* data, DWORD* size) = 0;
    virtual LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize,
                               DWORD* reserved, char* className, DWORD* classSize,
                               FILETIME* lastWriteTime) = 0;
    virtual LONG RegDeleteKeyA(HKEY key, const char* subKey) = 0;
    virtual LONG RegCloseKey(HKEY key) = 0;

    // user32
    virtual int MessageBoxA(HWND owner, const char* text, const char* caption, unsigned type) = 0;

    // cfgmgr32
    virtual CONFIGRET CM_Locate_DevNodeA(DEVINST* devInst, const char* deviceId, ULONG flags) = 0;
    virtual CONFIGRET CM_Reenumerate_DevNode(DEVINST devInst, ULONG flags) = 0;

    // The runtime's command pipe: runs commandLine with the program file
    // `interpreter`, inheriting handles, with standard output on a pipe that
    // is read to its end and discarded, then waits for the process.
    virtual CommandResult RunPipedCommand(const std::string& interpreter,
                                          const std::string& commandLine) = 0;

    // The C runtime's streams: standard output, and the log file opened for
    // appending in text mode, written and closed again (false on any failure).
    virtual void WriteStandardOutput(const std::string& text) = 0;
    virtual bool AppendToFile(const std::string& path, const std::string& text) = 0;
};

}  // namespace setup

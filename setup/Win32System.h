// The port over the real Win32 calls (the mingw build of setup.exe).
#pragma once

#include "System.h"

namespace setup {

class Win32System final : public System {
public:
    HMODULE GetModuleHandleA(const char* moduleName) override;
    FARPROC GetProcAddress(HMODULE module, const char* procName) override;
    HANDLE GetCurrentProcess() override;
    BOOL IsWow64Process(FARPROC function, HANDLE process, BOOL* wow64) override;
    BOOL GetVersionExA(OSVERSIONINFOA* info) override;
    DWORD GetEnvironmentVariableA(const char* name, char* buffer, DWORD size) override;
    DWORD GetCurrentDirectoryA(DWORD size, char* buffer) override;
    BOOL SetCurrentDirectoryA(const char* path) override;
    DWORD GetFileAttributesA(const char* path) override;
    void Sleep(DWORD milliseconds) override;

    LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                       HKEY* result) override;
    LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                          BYTE* data, DWORD* size) override;
    LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved,
                       char* className, DWORD* classSize, FILETIME* lastWriteTime) override;
    LONG RegDeleteKeyA(HKEY key, const char* subKey) override;
    LONG RegCloseKey(HKEY key) override;

    int MessageBoxA(HWND owner, const char* text, const char* caption, unsigned type) override;

    CONFIGRET CM_Locate_DevNodeA(DEVINST* devInst, const char* deviceId, ULONG flags) override;
    CONFIGRET CM_Reenumerate_DevNode(DEVINST devInst, ULONG flags) override;

    CommandResult RunPipedCommand(const std::string& interpreter,
                                  const std::string& commandLine) override;

    void WriteStandardOutput(const std::string& text) override;
    bool AppendToFile(const std::string& path, const std::string& text) override;
};

}  // namespace setup

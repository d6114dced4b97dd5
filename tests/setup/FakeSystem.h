// A scripted stand-in for the platform under setup: an in-memory registry
// with the 32-bit and 64-bit views, folders and files, environment, a
// virtual clock, scripted message-box answers and configuration-manager
// results, and a record of every child started.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "System.h"

namespace setup::testing {

struct ChildRun {
    std::string interpreter;
    std::string commandLine;
    std::string currentDirectory;
};

struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    unsigned type;
};

enum class View { Bit32, Bit64 };

class FakeSystem final : public System {
public:
    FakeSystem();

    // --- scripting -------------------------------------------------------
    // A 64-bit Windows (two registry views, IsWow64Process says so) or a
    // 32-bit one (a single view, the view flags are ignored).
    void SetWow64(bool wow64);
    bool hasIsWow64Process = true;
    DWORD majorVersion = 6;
    DWORD minorVersion = 1;

    void SetEnvironment(const std::string& name, const std::string& value);
    void ClearEnvironment(const std::string& name);
    void AddFolder(const std::string& path);  // and its parents
    void AddFile(const std::string& path, const std::string& content = "");
    void SetCurrentDirectory(const std::string& path) { currentDirectory_ = path; }
    bool failCurrentDirectory = false;

    // Registry, addressed by full path below HKEY_LOCAL_MACHINE in one view.
    void AddKey(View view, const std::string& path);
    void SetValue(View view, const std::string& path, const std::string& name,
                  const std::vector<BYTE>& bytes);
    void SetString(View view, const std::string& path, const std::string& name,
                   const std::string& text);  // stored with its terminating zero
    bool HasKey(View view, const std::string& path) const;
    // Makes RegOpenKeyExA of this key (in any view) fail with the error.
    std::map<std::string, LONG> openFailures;

    std::deque<int> messageBoxAnswers;
    CONFIGRET locateResult = CR_SUCCESS;
    CONFIGRET reenumerateResult = CR_SUCCESS;
    DEVINST rootNode = 1;
    bool startFails = false;
    // Runs while a child "runs", e.g. an uninstaller that removes its keys.
    std::function<void(const ChildRun&)> onChildRun;

    // --- what happened ---------------------------------------------------
    std::string console;
    std::vector<ChildRun> children;
    std::vector<DWORD> sleeps;
    std::vector<MessageBoxCall> messageBoxes;
    std::vector<std::string> deletedKeys;   // "32:", "64:" or "native:" and the path, in order
    std::vector<std::string> events;        // child runs, sleeps, rescans, deletions, in order
    std::vector<std::string> registryOpens; // "path|access"
    std::string FileContent(const std::string& path) const;
    bool HasFile(const std::string& path) const;
    std::size_t OpenKeyCount() const { return handles_.size(); }
    const std::string& CurrentDirectory() const { return currentDirectory_; }

    // --- the port ----------------------------------------------------------
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

private:
    struct Key {
        std::string name;  // as created
        std::map<std::string, std::vector<BYTE>> values;  // lower-case names
    };
    using Hive = std::map<std::string, Key>;  // lower-case full path -> key

    struct OpenKey {
        View view;
        std::string path;  // lower-case full path
        REGSAM access;
    };

    Hive& HiveOf(View view);
    const Hive& HiveOf(View view) const;
    View DefaultView() const { return wow64_ ? View::Bit32 : View::Bit64; }
    static std::string Lower(const std::string& text);
    static std::string Normalize(const std::string& path);  // lower case, no empty parts
    static std::string ViewName(View view) { return view == View::Bit32 ? "32" : "64"; }
    bool ResolveKey(HKEY root, const std::string& subKey, View view, std::string& path) const;

    bool wow64_ = true;
    Hive hive32_;
    Hive hive64_;
    std::map<HKEY, OpenKey> handles_;
    HKEY nextHandle_ = 0x1000;
    std::map<std::string, std::string> environment_;  // upper-case names
    std::set<std::string> folders_;                   // normalized
    std::map<std::string, std::string> files_;        // normalized -> content
    std::string currentDirectory_ = "C:\\pkg";
};

}  // namespace setup::testing

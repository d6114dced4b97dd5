#include "FakeSystem.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include <gtest/gtest.h>

namespace setup::testing {

namespace {
constexpr HMODULE KernelModule = 0x7c800000;
constexpr FARPROC IsWow64ProcessAddress = 0x7c810000;
constexpr HANDLE CurrentProcessPseudoHandle = static_cast<HANDLE>(-1);
}  // namespace

FakeSystem::FakeSystem() {
    AddFolder("C:\\pkg\\win7\\32");
    AddFolder("C:\\pkg\\win7\\64");
    AddFile("C:\\Windows\\system32\\cmd.exe");
    SetEnvironment("COMSPEC", "C:\\Windows\\system32\\cmd.exe");
    SetEnvironment("TEMP", "C:\\Users\\me\\Temp");
    AddFolder("C:\\Users\\me\\Temp");
}

void FakeSystem::SetWow64(bool wow64) { wow64_ = wow64; }

std::string FakeSystem::Lower(const std::string& text) {
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

std::string FakeSystem::Normalize(const std::string& path) {
    std::string result;
    std::string part;
    auto flush = [&] {
        if (part.empty()) return;
        if (!result.empty()) result += '\\';
        result += part;
        part.clear();
    };
    for (char c : Lower(path)) {
        if (c == '\\' || c == '/') {
            flush();
        } else {
            part += c;
        }
    }
    flush();
    return result;
}

FakeSystem::Hive& FakeSystem::HiveOf(View view) {
    // 32-bit Windows has one registry; the view flags address it all the same.
    if (!wow64_) return hive64_;
    return view == View::Bit32 ? hive32_ : hive64_;
}

const FakeSystem::Hive& FakeSystem::HiveOf(View view) const {
    if (!wow64_) return hive64_;
    return view == View::Bit32 ? hive32_ : hive64_;
}

void FakeSystem::SetEnvironment(const std::string& name, const std::string& value) {
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    environment_[upper] = value;
}

void FakeSystem::ClearEnvironment(const std::string& name) {
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    environment_.erase(upper);
}

void FakeSystem::AddFolder(const std::string& path) {
    std::string normalized = Normalize(path);
    while (!normalized.empty()) {
        folders_.insert(normalized);
        const auto separator = normalized.rfind('\\');
        if (separator == std::string::npos) break;
        normalized.resize(separator);
    }
}

void FakeSystem::AddFile(const std::string& path, const std::string& content) {
    const std::string normalized = Normalize(path);
    const auto separator = normalized.rfind('\\');
    if (separator != std::string::npos) AddFolder(normalized.substr(0, separator));
    files_[normalized] = content;
}

std::string FakeSystem::FileContent(const std::string& path) const {
    const auto found = files_.find(Normalize(path));
    return found == files_.end() ? std::string() : found->second;
}

bool FakeSystem::HasFile(const std::string& path) const {
    return files_.count(Normalize(path)) != 0;
}

void FakeSystem::AddKey(View view, const std::string& path) {
    Hive& hive = HiveOf(view);
    std::string normalized;
    std::string original;
    std::string::size_type start = 0;
    while (start <= path.size()) {
        auto end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty()) continue;
        normalized += (normalized.empty() ? "" : "\\") + Lower(part);
        if (!hive.count(normalized)) hive[normalized].name = part;
    }
}

void FakeSystem::SetValue(View view, const std::string& path, const std::string& name,
                          const std::vector<BYTE>& bytes) {
    AddKey(view, path);
    HiveOf(view)[Normalize(path)].values[Lower(name)] = bytes;
}

void FakeSystem::SetString(View view, const std::string& path, const std::string& name,
                           const std::string& text) {
    std::vector<BYTE> bytes(text.begin(), text.end());
    bytes.push_back(0);
    SetValue(view, path, name, bytes);
}

bool FakeSystem::HasKey(View view, const std::string& path) const {
    return HiveOf(view).count(Normalize(path)) != 0;
}

HMODULE FakeSystem::GetModuleHandleA(const char* moduleName) {
    return Lower(moduleName) == "kernel32" ? KernelModule : 0;
}

FARPROC FakeSystem::GetProcAddress(HMODULE module, const char* procName) {
    if (module == KernelModule && std::strcmp(procName, "IsWow64Process") == 0 &&
        hasIsWow64Process) {
        return IsWow64ProcessAddress;
    }
    return 0;
}

HANDLE FakeSystem::GetCurrentProcess() { return CurrentProcessPseudoHandle; }

BOOL FakeSystem::IsWow64Process(FARPROC function, HANDLE process, BOOL* wow64) {
    EXPECT_EQ(function, IsWow64ProcessAddress);
    EXPECT_EQ(process, CurrentProcessPseudoHandle);
    *wow64 = wow64_ ? 1 : 0;
    return 1;
}

BOOL FakeSystem::GetVersionExA(OSVERSIONINFOA* info) {
    if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) return 0;
    info->dwMajorVersion = majorVersion;
    info->dwMinorVersion = minorVersion;
    info->dwBuildNumber = 7601;
    info->dwPlatformId = 2;
    return 1;
}

DWORD FakeSystem::GetEnvironmentVariableA(const char* name, char* buffer, DWORD size) {
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto found = environment_.find(upper);
    if (found == environment_.end()) return 0;
    const std::string& value = found->second;
    if (value.size() + 1 > size) return static_cast<DWORD>(value.size() + 1);
    std::memcpy(buffer, value.c_str(), value.size() + 1);
    return static_cast<DWORD>(value.size());
}

DWORD FakeSystem::GetCurrentDirectoryA(DWORD size, char* buffer) {
    if (failCurrentDirectory) return 0;
    if (currentDirectory_.size() + 1 > size) return static_cast<DWORD>(currentDirectory_.size() + 1);
    std::memcpy(buffer, currentDirectory_.c_str(), currentDirectory_.size() + 1);
    return static_cast<DWORD>(currentDirectory_.size());
}

BOOL FakeSystem::SetCurrentDirectoryA(const char* path) {
    if (!folders_.count(Normalize(path))) return 0;
    currentDirectory_ = path;
    return 1;
}

DWORD FakeSystem::GetFileAttributesA(const char* path) {
    const std::string normalized = Normalize(path);
    if (normalized.empty()) return INVALID_FILE_ATTRIBUTES;
    if (folders_.count(normalized)) return FILE_ATTRIBUTE_DIRECTORY;
    if (files_.count(normalized)) return 0x20;
    return INVALID_FILE_ATTRIBUTES;
}

void FakeSystem::Sleep(DWORD milliseconds) {
    sleeps.push_back(milliseconds);
    events.push_back("sleep " + std::to_string(milliseconds));
}

bool FakeSystem::ResolveKey(HKEY root, const std::string& subKey, View view,
                            std::string& path) const {
    std::string base;
    if (root != HKEY_LOCAL_MACHINE) {
        const auto open = handles_.find(root);
        if (open == handles_.end()) return false;
        base = open->second.path;
    }
    const std::string relative = Normalize(subKey);
    path = base.empty() ? relative : relative.empty() ? base : base + "\\" + relative;
    return HiveOf(view).count(path) != 0;
}

LONG FakeSystem::RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                               HKEY* result) {
    EXPECT_EQ(options, 0u);
    registryOpens.push_back(std::string(subKey) + "|" + std::to_string(access));
    *result = 0;
    if (root != HKEY_LOCAL_MACHINE && !handles_.count(root)) return 6;  // invalid handle
    View view = root == HKEY_LOCAL_MACHINE ? DefaultView() : handles_.at(root).view;
    if (access & KEY_WOW64_64KEY) view = View::Bit64;
    if (access & KEY_WOW64_32KEY) view = View::Bit32;
    std::string path;
    const bool exists = ResolveKey(root, subKey, view, path);
    for (const auto& failure : openFailures) {
        if (Normalize(failure.first) == path) return failure.second;
    }
    if (!exists) return ERROR_FILE_NOT_FOUND;
    const HKEY handle = nextHandle_++;
    handles_[handle] = OpenKey{view, path, access};
    *result = handle;
    return ERROR_SUCCESS;
}

LONG FakeSystem::RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                                  BYTE* data, DWORD* size) {
    EXPECT_EQ(reserved, nullptr);
    const auto open = handles_.find(key);
    if (open == handles_.end()) return 6;
    if (!(open->second.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    const auto keyFound = HiveOf(open->second.view).find(open->second.path);
    if (keyFound == HiveOf(open->second.view).end()) return ERROR_FILE_NOT_FOUND;
    const auto value = keyFound->second.values.find(Lower(valueName ? valueName : ""));
    if (value == keyFound->second.values.end()) return ERROR_FILE_NOT_FOUND;
    if (type) *type = 1;
    const DWORD length = static_cast<DWORD>(value->second.size());
    if (!data) {
        *size = length;
        return ERROR_SUCCESS;
    }
    if (length > *size) {
        *size = length;
        return ERROR_MORE_DATA;
    }
    std::copy(value->second.begin(), value->second.end(), data);
    *size = length;
    return ERROR_SUCCESS;
}

LONG FakeSystem::RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved,
                               char* className, DWORD* classSize, FILETIME* lastWriteTime) {
    EXPECT_EQ(reserved, nullptr);
    EXPECT_EQ(className, nullptr);
    EXPECT_EQ(classSize, nullptr);
    const auto open = handles_.find(key);
    if (open == handles_.end()) return 6;
    if (!(open->second.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
    const Hive& hive = HiveOf(open->second.view);
    const std::string prefix = open->second.path + "\\";
    std::vector<std::string> subkeys;
    for (const auto& entry : hive) {
        if (entry.first.compare(0, prefix.size(), prefix) == 0 &&
            entry.first.find('\\', prefix.size()) == std::string::npos) {
            subkeys.push_back(entry.second.name);
        }
    }
    if (index >= subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const std::string& subkey = subkeys[index];
    if (subkey.size() + 1 > *nameSize) return ERROR_MORE_DATA;
    std::memcpy(name, subkey.c_str(), subkey.size() + 1);
    *nameSize = static_cast<DWORD>(subkey.size());
    if (lastWriteTime) *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG FakeSystem::RegDeleteKeyA(HKEY key, const char* subKey) {
    if (key != HKEY_LOCAL_MACHINE && !handles_.count(key)) return 6;
    const View view = key == HKEY_LOCAL_MACHINE ? DefaultView() : handles_.at(key).view;
    std::string path;
    if (Normalize(subKey).empty()) return 87;  // never asked for by setup
    if (!ResolveKey(key, subKey, view, path)) return ERROR_FILE_NOT_FOUND;
    Hive& hive = HiveOf(view);
    const std::string prefix = path + "\\";
    for (const auto& entry : hive) {
        if (entry.first.compare(0, prefix.size(), prefix) == 0) return ERROR_ACCESS_DENIED;
    }
    hive.erase(path);
    const std::string record = (wow64_ ? ViewName(view) : std::string("native")) + ":" + path;
    deletedKeys.push_back(record);
    events.push_back("delete " + record);
    return ERROR_SUCCESS;
}

LONG FakeSystem::RegCloseKey(HKEY key) {
    return handles_.erase(key) ? ERROR_SUCCESS : 6;
}

int FakeSystem::MessageBoxA(HWND owner, const char* text, const char* caption, unsigned type) {
    messageBoxes.push_back(MessageBoxCall{owner, text, caption, type});
    events.push_back("messagebox");
    if (messageBoxAnswers.empty()) {
        ADD_FAILURE() << "a message box that the test did not script: " << text;
        return 0;
    }
    const int answer = messageBoxAnswers.front();
    messageBoxAnswers.pop_front();
    return answer;
}

CONFIGRET FakeSystem::CM_Locate_DevNodeA(DEVINST* devInst, const char* deviceId, ULONG flags) {
    EXPECT_EQ(deviceId, nullptr);
    EXPECT_EQ(flags, CM_LOCATE_DEVNODE_NORMAL);
    events.push_back("locate");
    if (locateResult != CR_SUCCESS) return locateResult;
    *devInst = rootNode;
    return CR_SUCCESS;
}

CONFIGRET FakeSystem::CM_Reenumerate_DevNode(DEVINST devInst, ULONG flags) {
    EXPECT_EQ(devInst, rootNode);
    EXPECT_EQ(flags, CM_REENUMERATE_NORMAL);
    events.push_back("reenumerate");
    return reenumerateResult;
}

CommandResult FakeSystem::RunPipedCommand(const std::string& interpreter,
                                          const std::string& commandLine) {
    if (startFails) return CommandResult{false, 0};
    const ChildRun run{interpreter, commandLine, currentDirectory_};
    children.push_back(run);
    events.push_back("run " + commandLine);
    if (onChildRun) onChildRun(run);
    return CommandResult{true, 0};
}

void FakeSystem::WriteStandardOutput(const std::string& text) { console += text; }

bool FakeSystem::AppendToFile(const std::string& path, const std::string& text) {
    const std::string normalized = Normalize(path);
    const auto separator = normalized.rfind('\\');
    if (normalized.empty() || folders_.count(normalized) ||
        (separator != std::string::npos && !folders_.count(normalized.substr(0, separator)))) {
        return false;
    }
    files_[normalized] += text;
    return true;
}

}  // namespace setup::testing

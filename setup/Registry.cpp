#include "Registry.h"

#include <cstring>

namespace setup {

const char* const KnownVersions[3] = {"1.00.0000", "1.0.0.1", "1.0.0.2"};

namespace {

const char* const UninstallRoot = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char* const ProductCode32 = "{6B2E91D4-3F07-4C58-A1E6-0D94B7F2C835}";
const char* const ProductCode64 = "{E41C0A77-96D2-4B3F-8E05-5A1D63C9F2B8}";

constexpr DWORD ValueBufferSize = 1024;
constexpr DWORD SubkeyNameSize = 260;

// Deletes the key at `path` below `root` and its subkeys, deepest first. The
// view flag goes with every open: the subkeys must be looked for in the view
// the tree was found in.
int DeleteTreeBelow(System& sys, HKEY root, std::string& path, REGSAM extraAccess) {
    if (sys.RegDeleteKeyA(root, path.c_str()) == ERROR_SUCCESS) return 1;

    HKEY key = 0;
    const LONG opened = sys.RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | extraAccess, &key);
    if (opened != ERROR_SUCCESS) return opened == ERROR_FILE_NOT_FOUND ? 1 : 0;

    if (path.empty() || path.back() != '\\') path += '\\';
    const std::string::size_type separator = path.size() - 1;

    std::string previous;
    for (;;) {
        char name[SubkeyNameSize];
        DWORD nameSize = SubkeyNameSize;
        FILETIME lastWrite{};
        if (sys.RegEnumKeyExA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, &lastWrite) !=
            ERROR_SUCCESS) {
            break;
        }
        std::string subkey(name, nameSize < SubkeyNameSize ? nameSize : SubkeyNameSize - 1);
        // A subkey that is reported gone but still listed would loop forever.
        if (subkey == previous) break;
        previous = subkey;
        path.resize(separator + 1);
        path += subkey;
        const int deleted = DeleteTreeBelow(sys, root, path, extraAccess);
        path.resize(separator + 1);
        if (!deleted) break;
    }
    path.resize(separator);

    sys.RegCloseKey(key);
    return sys.RegDeleteKeyA(root, path.c_str()) == ERROR_SUCCESS ? 1 : 0;
}

}  // namespace

std::string UninstallKeyPath(const RunState& state, UninstallKey key) {
    std::string path = UninstallRoot;
    if (key == InstallShieldUninstallKey) path += "InstallShield_";
    path += state.isWow64 ? ProductCode64 : ProductCode32;
    return path;
}

REGSAM UninstallKeyAccess(const RunState& state, UninstallKey key) {
    return key == ProductUninstallKey && state.isWow64 ? KEY_WOW64_64KEY : 0;
}

std::string ReadRegistryString(Context& context, const std::string& keyPath,
                               const char* valueName, REGSAM extraAccess) {
    System& sys = context.system;
    HKEY key = 0;
    if (sys.RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE | extraAccess,
                          &key) != ERROR_SUCCESS) {
        return std::string();
    }
    BYTE buffer[ValueBufferSize];
    DWORD size = ValueBufferSize;
    const LONG queried = sys.RegQueryValueExA(key, valueName, nullptr, nullptr, buffer, &size);
    sys.RegCloseKey(key);
    if (queried != ERROR_SUCCESS || size > ValueBufferSize) return std::string();

    // The terminating zero and any further zeros (a multi-string's) are not
    // part of the text. A value stored without a terminator keeps its last
    // character.
    while (size > 0 && buffer[size - 1] == 0) --size;
    return std::string(reinterpret_cast<const char*>(buffer), size);
}

int GetInstalledVersionClass(Context& context, UninstallKey key) {
    const std::string version =
        ReadRegistryString(context, UninstallKeyPath(context.state, key), "DisplayVersion",
                           UninstallKeyAccess(context.state, key));
    if (version.empty()) return 0;
    for (int i = 0; i < 3; ++i) {
        if (version == KnownVersions[i]) return i + 1;
    }
    return 4;
}

int DeleteRegistryTree(Context& context, HKEY root, std::string& path, REGSAM extraAccess) {
    System& sys = context.system;
    if (extraAccess == 0) return DeleteTreeBelow(sys, root, path, 0);

    // RegDeleteKeyA takes no view flag: it deletes in the view of the handle
    // it is given. So the parent is opened in the asked view and the tree is
    // deleted relative to it; otherwise a 32-bit process would delete in its
    // own view and leave the 64-bit registration behind.
    std::string::size_type end = path.size();
    while (end > 0 && path[end - 1] == '\\') --end;
    const std::string::size_type separator = path.rfind('\\', end == 0 ? 0 : end - 1);
    if (end == 0 || separator == std::string::npos) {
        return DeleteTreeBelow(sys, root, path, extraAccess);
    }

    const std::string parentPath = path.substr(0, separator);
    HKEY parent = 0;
    const LONG opened =
        sys.RegOpenKeyExA(root, parentPath.c_str(), 0, KEY_READ | extraAccess, &parent);
    if (opened != ERROR_SUCCESS) return opened == ERROR_FILE_NOT_FOUND ? 1 : 0;
    std::string relative = path.substr(separator + 1);
    const int result = DeleteTreeBelow(sys, parent, relative, extraAccess);
    sys.RegCloseKey(parent);
    path = parentPath + "\\" + relative;
    return result;
}

}  // namespace setup

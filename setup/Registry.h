// The installed package's uninstall registrations.
#pragma once

#include <string>

#include "Installer.h"

namespace setup {

enum UninstallKey { ProductUninstallKey, InstallShieldUninstallKey };

extern const char* const KnownVersions[3];

std::string UninstallKeyPath(const RunState& state, UninstallKey key);

// The extra access with which the key is read: the product registration of
// the 64-bit package lives in the 64-bit registry view.
REGSAM UninstallKeyAccess(const RunState& state, UninstallKey key);

// The value as text, empty on any failure.
std::string ReadRegistryString(Context& context, const std::string& keyPath,
                               const char* valueName, REGSAM extraAccess);

// 0 nothing installed, 1 to 3 the position in KnownVersions, 4 any other.
int GetInstalledVersionClass(Context& context, UninstallKey key);

// Deletes the key and everything below it, deepest first. 1 when the key is
// gone afterwards. path holds the given path again on return, less a
// trailing separator.
int DeleteRegistryTree(Context& context, HKEY root, std::string& path, REGSAM extraAccess);

}  // namespace setup

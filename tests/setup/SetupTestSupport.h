// Shared pieces of the installer's tests: the registry paths, running the
// whole program on a fake, and the event texts the fake records.
#pragma once

#include <cctype>
#include <string>
#include <vector>

#include "FakeSystem.h"
#include "Installer.h"

namespace setup::testing {

inline const std::string UninstallRoot = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
inline const std::string Product32 = UninstallRoot + "{6B2E91D4-3F07-4C58-A1E6-0D94B7F2C835}";
inline const std::string Product64 = UninstallRoot + "{E41C0A77-96D2-4B3F-8E05-5A1D63C9F2B8}";
inline const std::string InstallShield32 =
    UninstallRoot + "InstallShield_{6B2E91D4-3F07-4C58-A1E6-0D94B7F2C835}";
inline const std::string InstallShield64 =
    UninstallRoot + "InstallShield_{E41C0A77-96D2-4B3F-8E05-5A1D63C9F2B8}";
inline const std::string Interpreter = "C:\\Windows\\system32\\cmd.exe";
inline const std::string Uninstall64 = "MsiExec.exe /X{E41C0A77-96D2-4B3F-8E05-5A1D63C9F2B8}";
inline const std::string Uninstall32 = "MsiExec.exe /X{6B2E91D4-3F07-4C58-A1E6-0D94B7F2C835}";

inline std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The event the fake records for a child started through the interpreter.
inline std::string Ran(const std::string& commandLine) {
    return "run " + Interpreter + " /c " + commandLine;
}
inline std::string Deleted(const std::string& view, const std::string& path) {
    return "delete " + view + ":" + Lower(path);
}

// Registers the 64-bit product as the package's installer does.
inline void Install64(FakeSystem& fake, const std::string& version) {
    fake.SetString(View::Bit64, Product64, "DisplayVersion", version);
    fake.SetString(View::Bit64, Product64, "UninstallString", Uninstall64);
}

inline int RunSetup(FakeSystem& fake, const std::vector<std::string>& arguments) {
    std::vector<std::string> storage;
    storage.push_back("setup.exe");
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : storage) argv.push_back(argument.data());
    argv.push_back(nullptr);
    Context context(fake);
    return RunInstaller(context, static_cast<int>(storage.size()), argv.data());
}

}  // namespace setup::testing

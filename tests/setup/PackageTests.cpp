// The package installer's and the uninstaller's command lines, the
// interpreter they run under, and inputs that do not fit.
#include <optional>

#include <gtest/gtest.h>

#include "Package.h"
#include "Registry.h"
#include "SetupTestSupport.h"

namespace setup::testing {
namespace {

struct InstallCase {
    const char* name;
    bool quiet;
    bool silent;
    bool log;
    std::string commandLine;
};

void PrintTo(const InstallCase& c, std::ostream* os) { *os << c.name; }

class InstallCommandLines : public ::testing::TestWithParam<InstallCase> {};

TEST_P(InstallCommandLines, Pieces) {
    const InstallCase& c = GetParam();
    FakeSystem fake;
    Context context(fake);
    context.state.isWow64 = true;
    context.state.silentMode = c.silent;
    context.state.logRequested = c.log;
    context.state.logPath = "C:\\t\\x.log";
    context.state.debugLogArgument = "/debuglog\"C:\\t\\x.log\"";
    EXPECT_EQ(RunPackage(context, c.quiet, true), 0);
    ASSERT_EQ(fake.children.size(), 1u);
    EXPECT_EQ(fake.children[0].commandLine, Interpreter + " /c " + c.commandLine);
    EXPECT_EQ(fake.children[0].currentDirectory, "C:\\pkg\\win7\\64");
    EXPECT_EQ(fake.sleeps, std::vector<DWORD>{1000});
    EXPECT_EQ(fake.CurrentDirectory(), "C:\\pkg\\win7\\64") << "the package folder stays current";
}

INSTANTIATE_TEST_SUITE_P(
    Install, InstallCommandLines,
    ::testing::Values(
        InstallCase{"QuietWithLog", true, false, true, "setup.exe /s /v/quiet /debuglog\"C:\\t\\x.log\""},
        InstallCase{"QuietWithoutLog", true, false, false, "setup.exe /s /v/quiet "},
        InstallCase{"SilentRunIsQuiet", false, true, false, "setup.exe /s /v/quiet "},
        InstallCase{"InteractiveWithLog", false, false, true, "setup.exe /debuglog\"C:\\t\\x.log\""},
        InstallCase{"InteractiveWithoutLog", false, false, false, "setup.exe "}),
    [](const ::testing::TestParamInfo<InstallCase>& info) { return std::string(info.param.name); });

struct UninstallCase {
    const char* name;
    bool quiet;
    bool log;
    std::string commandLine;
};

void PrintTo(const UninstallCase& c, std::ostream* os) { *os << c.name; }

class UninstallCommandLines : public ::testing::TestWithParam<UninstallCase> {};

TEST_P(UninstallCommandLines, Pieces) {
    const UninstallCase& c = GetParam();
    FakeSystem fake;
    Install64(fake, "1.0.0.1");
    Context context(fake);
    context.state.isWow64 = true;
    context.state.logRequested = c.log;
    context.state.logPath = "C:\\t\\x.log";
    EXPECT_EQ(RunUninstaller(context, c.quiet), 1);
    ASSERT_EQ(fake.children.size(), 1u);
    EXPECT_EQ(fake.children[0].commandLine, Interpreter + " /c " + c.commandLine);
    EXPECT_EQ(fake.children[0].currentDirectory, "C:\\pkg");
    EXPECT_EQ(fake.sleeps, std::vector<DWORD>{4000});
}

INSTANTIATE_TEST_SUITE_P(
    Uninstall, UninstallCommandLines,
    ::testing::Values(
        UninstallCase{"QuietWithLog", true, true, Uninstall64 + " /log C:\\t\\x.log /qn "},
        UninstallCase{"QuietWithoutLog", true, false, Uninstall64 + " /qn "},
        UninstallCase{"InteractiveWithLog", false, true, Uninstall64 + " /log C:\\t\\x.log"},
        UninstallCase{"InteractiveWithoutLog", false, false, Uninstall64}),
    [](const ::testing::TestParamInfo<UninstallCase>& info) { return std::string(info.param.name); });

TEST(Uninstall, WithoutUninstallStringNothingRunsButRegistrationsAreCleaned) {
    FakeSystem fake;
    fake.SetString(View::Bit64, Product64, "DisplayVersion", "1.0.0.1");
    fake.SetString(View::Bit32, InstallShield64, "DisplayVersion", "1.0.0.1");
    Context context(fake);
    context.state.isWow64 = true;
    EXPECT_EQ(RunPackage(context, true, false), 0);
    EXPECT_TRUE(fake.children.empty());
    EXPECT_TRUE(fake.sleeps.empty());
    EXPECT_EQ(fake.deletedKeys, (std::vector<std::string>{"64:" + Lower(Product64),
                                                          "32:" + Lower(InstallShield64)}));
}

TEST(Uninstall, RegistrationWithoutVersionIsLeftAlone) {
    FakeSystem fake;
    fake.SetString(View::Bit64, Product64, "UninstallString", Uninstall64);
    fake.AddKey(View::Bit32, InstallShield64);
    Context context(fake);
    context.state.isWow64 = true;
    EXPECT_EQ(RunPackage(context, false, false), 0);
    EXPECT_EQ(fake.children.size(), 1u);
    EXPECT_TRUE(fake.deletedKeys.empty());
    EXPECT_EQ(fake.CurrentDirectory(), "C:\\pkg");
}

struct LengthCase {
    const char* name;
    std::size_t uninstallLength;  // of the UninstallString value
    bool log;
    int exitCode;  // -1: the run goes on
};

void PrintTo(const LengthCase& c, std::ostream* os) { *os << c.name; }

class UninstallLineLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(UninstallLineLength, FitsOrIsRefusedWhole) {
    const LengthCase& c = GetParam();
    FakeSystem fake;
    fake.AddFolder("C:\\t");
    const std::string command = "u.exe " + std::string(c.uninstallLength - 6, 'a');
    fake.SetString(View::Bit64, Product64, "DisplayVersion", "1.0.0.1");
    fake.SetString(View::Bit64, Product64, "UninstallString", command);
    std::vector<std::string> arguments = {"-r", "-s"};
    if (c.log) arguments.push_back("-f2C:\\t\\x.log");
    const int exitCode = RunSetup(fake, arguments);
    if (c.exitCode < 0) {
        EXPECT_EQ(exitCode, 0);
        ASSERT_EQ(fake.children.size(), 1u);
        EXPECT_EQ(fake.children[0].commandLine.substr(fake.children[0].commandLine.size() - 5), " /qn ");
    } else {
        EXPECT_EQ(exitCode, c.exitCode);
        EXPECT_TRUE(fake.children.empty());
        EXPECT_TRUE(fake.deletedKeys.empty()) << "nothing was uninstalled, so nothing is cleaned";
        if (c.log) {
            EXPECT_EQ(fake.FileContent("C:\\t\\x.log"),
                      "Pre-Installer: Uninstall command line is too long\n");
        }
    }
}

// " /qn " adds 5 characters and " /log C:\t\x.log" 16; the line holds 1023.
INSTANTIATE_TEST_SUITE_P(
    Lengths, UninstallLineLength,
    ::testing::Values(LengthCase{"FillsTheBuffer", 1018, false, -1},
                      LengthCase{"OneTooMany", 1019, false, 9},
                      LengthCase{"FillsTheBufferWithLog", 1002, true, -1},
                      LengthCase{"LogMakesItTooLong", 1003, true, 9},
                      LengthCase{"LongestValueThatIsRead", 1023, false, 9}),
    [](const ::testing::TestParamInfo<LengthCase>& info) { return std::string(info.param.name); });

struct FolderCase {
    const char* name;
    std::size_t currentLength;  // of the package root
    int exitCode;
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.name; }

class PackageFolderLength : public ::testing::TestWithParam<FolderCase> {};

TEST_P(PackageFolderLength, FitsOrIsRefused) {
    const FolderCase& c = GetParam();
    FakeSystem fake;
    const std::string root = "C:\\" + std::string(c.currentLength - 3, 'p');
    fake.AddFolder(root + "\\win7\\64");
    fake.SetCurrentDirectory(root);
    EXPECT_EQ(RunSetup(fake, {"-a"}), c.exitCode);
    if (c.exitCode == 0) {
        ASSERT_EQ(fake.children.size(), 1u);
        EXPECT_EQ(fake.children[0].currentDirectory, root + "\\win7\\64");
        EXPECT_EQ(fake.console, "");
    } else {
        EXPECT_TRUE(fake.children.empty());
        EXPECT_EQ(fake.console, "Package folder path is too long\n");
        EXPECT_EQ(fake.CurrentDirectory(), root);
    }
}

// "\win7\64" adds 8 characters; the folder buffer holds 259.
INSTANTIATE_TEST_SUITE_P(
    Lengths, PackageFolderLength,
    ::testing::Values(FolderCase{"FillsTheBuffer", 251, 0}, FolderCase{"OneTooMany", 252, 9},
                      FolderCase{"RootTooLongForTheBuffer", 300, 9}),
    [](const ::testing::TestParamInfo<FolderCase>& info) { return std::string(info.param.name); });

TEST(Interpreter, ChildThatCannotBeStartedEndsTheRun) {
    FakeSystem fake;
    Install64(fake, "1.0.0.1");
    fake.startFails = true;
    EXPECT_EQ(RunSetup(fake, {"-r"}), 8);
    EXPECT_EQ(fake.console, "Failed to start the command interpreter " + Interpreter + "\n");
    EXPECT_TRUE(fake.sleeps.empty());
    EXPECT_TRUE(fake.deletedKeys.empty()) << "the product was not uninstalled";
    EXPECT_TRUE(fake.HasKey(View::Bit64, Product64));
}

struct InterpreterCase {
    const char* name;
    std::optional<std::string> interpreterVariable;  // COMSPEC; nullopt: not set
    std::optional<std::string> path;
    std::string interpreter;
};

void PrintTo(const InterpreterCase& c, std::ostream* os) { *os << c.name; }

class InterpreterLookup : public ::testing::TestWithParam<InterpreterCase> {};

TEST_P(InterpreterLookup, NamedOrFoundAlongPath) {
    const InterpreterCase& c = GetParam();
    FakeSystem fake;
    fake.AddFile("D:\\shell\\sh.exe");
    fake.AddFile("C:\\" + std::string(300, 'l') + "\\cmd.exe");
    if (c.interpreterVariable) fake.SetEnvironment("COMSPEC", *c.interpreterVariable); else fake.ClearEnvironment("COMSPEC");
    if (c.path) fake.SetEnvironment("PATH", *c.path);
    Context context(fake);
    RunCommandAndWait(context, "x.exe");
    ASSERT_EQ(fake.children.size(), 1u);
    EXPECT_EQ(fake.children[0].interpreter, c.interpreter);
    EXPECT_EQ(fake.children[0].commandLine, c.interpreter + " /c x.exe");
}

const std::string LongFolder = "C:\\" + std::string(300, 'l');

INSTANTIATE_TEST_SUITE_P(
    Lookup, InterpreterLookup,
    ::testing::Values(
        InterpreterCase{"VariableAsNamed", "D:\\shell\\sh.exe", std::nullopt, "D:\\shell\\sh.exe"},
        InterpreterCase{"UnsetVariableMeansCmdAlongPath", std::nullopt, "C:\\Windows;;C:\\Windows\\system32\\",
                        "C:\\Windows\\system32\\cmd.exe"},
        InterpreterCase{"NamedFileNotFoundIsSearched", "sh.exe", "C:\\x;D:\\shell", "D:\\shell\\sh.exe"},
        InterpreterCase{"NotFoundAnywhereIsKeptAsNamed", "nosuch.exe", "C:\\Windows", "nosuch.exe"},
        InterpreterCase{"LongVariableIsReadWhole", LongFolder + "\\cmd.exe", std::nullopt,
                        LongFolder + "\\cmd.exe"},
        InterpreterCase{"LongPathIsReadWhole", std::nullopt,
                        "C:\\Windows;" + std::string(400, ';') + LongFolder,
                        LongFolder + "\\cmd.exe"}),
    [](const ::testing::TestParamInfo<InterpreterCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace setup::testing

// The log path's resolution and what each message leaves on the console and
// in the log file.
#include <gtest/gtest.h>

#include "Messages.h"
#include "SetupTestSupport.h"

namespace setup::testing {
namespace {

struct ResolveCase {
    const char* name;
    std::string typed;
    int resolved;
    std::string logPath;  // afterwards
};

void PrintTo(const ResolveCase& c, std::ostream* os) { *os << c.name; }

class ResolveLogPathCases : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveLogPathCases, ResultAndPath) {
    const ResolveCase& c = GetParam();
    FakeSystem fake;
    fake.AddFolder("C:\\temp");
    fake.SetEnvironment("LONGDIR", "C:\\" + std::string(256, 'd'));  // 259 characters
    fake.AddFolder("C:\\" + std::string(256, 'd'));
    fake.SetEnvironment("TOOLONG", "C:\\" + std::string(257, 'd'));  // 260 characters
    fake.AddFolder("C:\\" + std::string(257, 'd'));
    Context context(fake);
    context.state.logRequested = true;
    context.state.logPath = c.typed;
    EXPECT_EQ(ResolveLogPath(context), c.resolved);
    EXPECT_EQ(context.state.logPath, c.logPath);
    EXPECT_EQ(fake.console, "");
}

INSTANTIATE_TEST_SUITE_P(
    LogPath, ResolveLogPathCases,
    ::testing::Values(
        ResolveCase{"BareNameGoesToCurrentDirectory", "x.log", 1, "C:\\pkg\\x.log"},
        ResolveCase{"EmptyPathIsCurrentDirectory", "", 1, "C:\\pkg\\"},
        ResolveCase{"VariableWithFoldersDropsThem", "%TEMP%\\logs\\x.log", 1,
                    "C:\\Users\\me\\Temp\\x.log"},
        ResolveCase{"VariableWithoutSeparatorKeepsWholeText", "%TEMP%x.log", 1,
                    "C:\\Users\\me\\Temp\\%TEMP%x.log"},
        ResolveCase{"SinglePercentNamesTheRest", "%TEMP", 1, "C:\\Users\\me\\Temp\\%TEMP"},
        ResolveCase{"VariableNamesAreNotCaseSensitive", "%temp%\\x.log", 1,
                    "C:\\Users\\me\\Temp\\x.log"},
        ResolveCase{"UnsetVariableFails", "%NOSUCH%\\x.log", 0, "%NOSUCH%\\x.log"},
        ResolveCase{"EmptyVariableNameFails", "%\\x.log", 0, "%\\x.log"},
        ResolveCase{"LeadingSeparatorFails", "\\x.log", 0, "\\x.log"},
        ResolveCase{"ExistingFolderUnchanged", "c:\\temp\\x.log", 1, "c:\\temp\\x.log"},
        ResolveCase{"ForwardSlashesCount", "C:/temp/x.log", 1, "C:/temp/x.log"},
        ResolveCase{"RightmostSeparatorOfEitherKind", "C:/temp\\missing/x.log", 0,
                    "C:/temp\\missing/x.log"},
        ResolveCase{"MissingFolderFails", "c:\\nowhere\\x.log", 0, "c:\\nowhere\\x.log"},
        ResolveCase{"ValueThatFillsTheBufferIsUsed", "%LONGDIR%\\x.log", 1,
                    "C:\\" + std::string(256, 'd') + "\\x.log"},
        ResolveCase{"ValueTooLongForTheBufferIsRefused", "%TOOLONG%\\x.log", 0,
                    "%TOOLONG%\\x.log"}),
    [](const ::testing::TestParamInfo<ResolveCase>& info) { return std::string(info.param.name); });

TEST(ResolveLogPath, CurrentDirectoryTooLongForTheBufferIsRefused) {
    FakeSystem fake;
    const std::string deep = "C:\\" + std::string(257, 'c');  // 260 characters
    fake.AddFolder(deep);
    fake.SetCurrentDirectory(deep);
    Context context(fake);
    context.state.logPath = "x.log";
    EXPECT_EQ(ResolveLogPath(context), 0);
    EXPECT_EQ(context.state.logPath, "x.log");
}

TEST(ResolveLogPath, UnreadableCurrentDirectoryEndsTheRunWithoutMessage) {
    FakeSystem fake;
    fake.failCurrentDirectory = true;
    EXPECT_EQ(RunSetup(fake, {"-s", "-f2x.log"}), 2);
    EXPECT_EQ(RunSetup(fake, {"-f2x.log"}), 2);
    EXPECT_EQ(fake.console, "");
    EXPECT_TRUE(fake.children.empty());
}

// Whole runs that report one message: what the console and the log hold.
struct LogCase {
    const char* name;
    std::vector<std::string> arguments;
    int exitCode;
    std::string console;
    std::string logFile;
    std::string logContent;  // empty: the file is not created
};

void PrintTo(const LogCase& c, std::ostream* os) { *os << c.name; }

class LogFileCases : public ::testing::TestWithParam<LogCase> {};

TEST_P(LogFileCases, ConsoleAndLogBytes) {
    const LogCase& c = GetParam();
    FakeSystem fake;
    fake.AddFolder("C:\\logs");
    EXPECT_EQ(RunSetup(fake, c.arguments), c.exitCode);
    EXPECT_EQ(fake.console, c.console);
    EXPECT_EQ(fake.HasFile(c.logFile), !c.logContent.empty());
    EXPECT_EQ(fake.FileContent(c.logFile), c.logContent);
}

const std::string BadArgumentLog =
    "Pre-Installer: \nError in Input File: please check usage.\n Line: -x\n";
const std::string BadArgumentConsole = "\nError in Input File: please check usage.\n Line: -x\n";

INSTANTIATE_TEST_SUITE_P(
    Messages, LogFileCases,
    ::testing::Values(
        LogCase{"OneLineMessage", {"-a", "-r", "-f2C:\\logs\\x.log"}, 1,
                "Invalid input parameters\n", "C:\\logs\\x.log",
                "Pre-Installer: Invalid input parameters\n"},
        LogCase{"SilentLogsButPrintsNothing", {"-s", "-a", "-r", "-f2C:\\logs\\x.log"}, 1, "",
                "C:\\logs\\x.log", "Pre-Installer: Invalid input parameters\n"},
        LogCase{"PrefixStandsOnceBeforeAMultiLineMessage", {"-f2C:\\logs\\x.log", "-x"}, 1,
                BadArgumentConsole, "C:\\logs\\x.log", BadArgumentLog},
        LogCase{"LogOptionAfterTheErrorIsNotSeen", {"-x", "-f2C:\\logs\\x.log"}, 1,
                BadArgumentConsole, "C:\\logs\\x.log", ""},
        LogCase{"EarlyMessageGoesToThePathAsTyped", {"-f2y.log", "-x"}, 1, BadArgumentConsole,
                "y.log", BadArgumentLog},
        LogCase{"EarlyMessageIsNotInTheResolvedPath", {"-f2y.log", "-x"}, 1, BadArgumentConsole,
                "C:\\pkg\\y.log", ""},
        LogCase{"LaterLogOptionReplacesEarlier", {"-f2C:\\logs\\a.log", "-f2C:\\logs\\b.log", "-a", "-r"},
                1, "Invalid input parameters\n", "C:\\logs\\b.log",
                "Pre-Installer: Invalid input parameters\n"},
        LogCase{"UnresolvedPathLosesTheLineSilently", {"-f2C:\\nowhere\\x.log"}, 2,
                "Invalid log file path provided\n", "C:\\nowhere\\x.log", ""},
        LogCase{"ResolvedBareName", {"-r", "-f2r.log"}, 7, "Product to be removed is not installed\n",
                "C:\\pkg\\r.log", "Pre-Installer: Product to be removed is not installed\n"},
        LogCase{"EmptyPathLosesTheLineSilently", {"-r", "-f2"}, 7,
                "Product to be removed is not installed\n", "C:\\pkg\\", ""}),
    [](const ::testing::TestParamInfo<LogCase>& info) { return std::string(info.param.name); });

TEST(LogFile, MessagesAreAppendedToWhatIsThere) {
    FakeSystem fake;
    fake.AddFile("C:\\logs\\x.log", "earlier line\n");
    EXPECT_EQ(RunSetup(fake, {"-s", "-r", "-f2C:\\logs\\x.log"}), 7);
    EXPECT_EQ(RunSetup(fake, {"-s", "-r", "-f2C:\\logs\\x.log"}), 7);
    EXPECT_EQ(fake.FileContent("C:\\logs\\x.log"),
              "earlier line\n"
              "Pre-Installer: Product to be removed is not installed\n"
              "Pre-Installer: Product to be removed is not installed\n");
}

TEST(LogFile, UsageIsPrintedButNeverLogged) {
    FakeSystem fake;
    fake.AddFolder("C:\\logs");
    EXPECT_EQ(RunSetup(fake, {"-s", "-f2C:\\logs\\x.log", "-?"}), 1);
    EXPECT_EQ(fake.console.rfind("\n\nOrvan Installer 1.34 - 2015-10-26\n\n", 0), 0u);
    EXPECT_FALSE(fake.HasFile("C:\\logs\\x.log"));
}

TEST(ReportMessage, PercentSignsReachConsoleAndLogUnchanged) {
    FakeSystem fake;
    fake.AddFolder("C:\\logs");
    Context context(fake);
    context.state.logRequested = true;
    context.state.logPath = "C:\\logs\\x.log";
    ReportMessage(context, "100% %s %n\n");
    EXPECT_EQ(fake.console, "100% %s %n\n");
    EXPECT_EQ(fake.FileContent("C:\\logs\\x.log"), "Pre-Installer: 100% %s %n\n");
}

}  // namespace
}  // namespace setup::testing

// The command line, the main sequence and the action table, run end to end
// on the fake: arguments and installed state in, exit code, console text and
// the ordered record of children, pauses, rescans and deletions out.
#include <functional>

#include <gtest/gtest.h>

#include "Installer.h"
#include "SetupTestSupport.h"

namespace setup::testing {
namespace {

const std::string ErrorPrefix = "\nError in Input File: please check usage.\n Line: ";
const std::string Usage =
    "\n\nOrvan Installer 1.34 - 2015-10-26\n\n"
    "\nUSAGE:\n\n"
    "  1. setup.exe -a ----------------------> Install or modify installation\n"
    "  2. setup.exe -a -f2<PathToLogFile> ---> Install or modify installation and add a log file\n"
    "  3. setup.exe -s ----------------------> Run installation in Silent Mode\n"
    "  4. setup.exe -s -f2<PathToLogFile> ---> Run in Silent Mode and add a log file\n"
    "  5. setup.exe -r ----------------------> Removes the installed driver\n"
    "  6. setup.exe -r -f2<PathToLogFile> ---> Removes the installed driver and add a log file\n"
    "  7. setup.exe -r -s -------------------> Removes the installed driver in Silent Mode\n"
    "  8. setup.exe -r -s -f2<PathToLogFile -> Removes the installed driver in Silent Mode with "
    "log file\n"
    "  9. setup.exe -? ----------------------> Prints this usage information\n"
    "\n\n"
    "Example: setup.exe -s -f2c:\\temp\\silentlog.log\n\n";

using Events = std::vector<std::string>;

Events Join(std::initializer_list<Events> parts) {
    Events all;
    for (const Events& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The steps of the actions, as the fake records them (64-bit Windows).
Events InstallSteps(const std::string& arguments) { return {Ran("setup.exe " + arguments), "sleep 1000"}; }
Events UninstallSteps(const std::string& suffix) {
    return {Ran(Uninstall64 + suffix), "sleep 4000", Deleted("64", Product64)};
}
const Events RescanSteps = {"sleep 1000", "locate", "reenumerate", "sleep 4000"};

struct RunCase {
    const char* name;
    std::vector<std::string> arguments;
    const char* installed;  // DisplayVersion of the 64-bit product, nullptr for none
    std::vector<int> answers;
    int exitCode;
    std::string console;
    Events events;
    std::function<void(FakeSystem&)> arrange = nullptr;
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

class RunModes : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunModes, ExitCodeConsoleAndSteps) {
    const RunCase& c = GetParam();
    FakeSystem fake;
    if (c.installed) Install64(fake, c.installed);
    fake.messageBoxAnswers.assign(c.answers.begin(), c.answers.end());
    if (c.arrange) c.arrange(fake);

    EXPECT_EQ(RunSetup(fake, c.arguments), c.exitCode);
    EXPECT_EQ(fake.console, c.console);
    EXPECT_EQ(fake.events, c.events);
    EXPECT_TRUE(fake.messageBoxAnswers.empty()) << "a scripted answer was not asked for";
    EXPECT_EQ(fake.OpenKeyCount(), 0u) << "a registry key was left open";
}

const Events Ask = {"messagebox"};

INSTANTIATE_TEST_SUITE_P(
    CommandLine, RunModes,
    ::testing::Values(
        RunCase{"NoArgumentInstallsWithUserInterface", {}, nullptr, {}, 0, "", InstallSteps("")},
        RunCase{"SilentInstall", {"-s"}, nullptr, {}, 0, "", InstallSteps("/s /v/quiet ")},
        RunCase{"SilentWordCountsAsS", {"-SILENT"}, nullptr, {}, 0, "", InstallSteps("/s /v/quiet ")},
        RunCase{"SlashAndUpperCase", {"/S"}, nullptr, {}, 0, "", InstallSteps("/s /v/quiet ")},
        RunCase{"InstallOption", {"-a"}, nullptr, {}, 0, "", InstallSteps("")},
        RunCase{"RestOfArgumentIgnored", {"-ax"}, nullptr, {}, 0, "", InstallSteps("")},
        RunCase{"OptionsAreNotCombined", {"-sr"}, nullptr, {}, 0, "", InstallSteps("/s /v/quiet ")},
        RunCase{"RemoveWordCountsAsR", {"/Remove"}, "1.0.0.1", {}, 0, "",
                Join({UninstallSteps(""), RescanSteps})},
        RunCase{"SilentRemoval", {"-r", "-s"}, "1.0.0.1", {}, 0, "",
                Join({UninstallSteps(" /qn "), RescanSteps})},
        RunCase{"RemovalOfOtherVersion", {"-r"}, "7.7", {}, 0, "",
                Join({UninstallSteps(""), RescanSteps})},
        RunCase{"FAloneIsAnError", {"-f"}, nullptr, {}, 1, ErrorPrefix + "-f\n", {}},
        RunCase{"F3IsAnError", {"-f3x"}, nullptr, {}, 1, ErrorPrefix + "-f3x\n", {}},
        RunCase{"NoLeadIsAnError", {"x"}, nullptr, {}, 1, ErrorPrefix + "x\n", {}},
        RunCase{"PercentInArgumentPrintedUnchanged", {"-%s%d"}, nullptr, {}, 1,
                ErrorPrefix + "-%s%d\n", {}},
        RunCase{"LoneDashIsAnError", {"-"}, nullptr, {}, 1, ErrorPrefix + "-\n", {}},
        RunCase{"HelpStopsBeforeLaterArguments", {"-?", "-x"}, nullptr, {}, 1, Usage, {}},
        RunCase{"HelpAfterErrorIsNotReached", {"-x", "-?"}, nullptr, {}, 1, ErrorPrefix + "-x\n", {}},
        RunCase{"HelpIsPrintedInSilentMode", {"-s", "/?"}, nullptr, {}, 1, Usage, {}},
        RunCase{"ErrorAfterSilentIsNotShown", {"-s", "-x"}, nullptr, {}, 1, "", {}},
        RunCase{"ErrorBeforeSilentIsShown", {"-x", "-s"}, nullptr, {}, 1, ErrorPrefix + "-x\n", {}},
        RunCase{"InstallAndRemove", {"-a", "-r"}, nullptr, {}, 1, "Invalid input parameters\n", {}},
        RunCase{"SilentInstallAndRemove", {"-s", "-a", "-r"}, nullptr, {}, 1, "", {}},
        RunCase{"LogPathIsCheckedFirst", {"-a", "-r", "-f2Q:\\missing\\x.log"}, nullptr, {}, 2,
                "Invalid log file path provided\n", {}},
        RunCase{"LogOptionAloneSkipsVersionHandling", {"-f2C:\\Users\\me\\Temp\\x.log"}, "9.9", {},
                0, "", InstallSteps("/debuglog\"C:\\Users\\me\\Temp\\x.log\"")},
        RunCase{"SilentUpgradeFromKnownVersion", {"-s"}, "1.0.0.2", {}, 0, "",
                Join({UninstallSteps(" /qn "), RescanSteps, InstallSteps("/s /v/quiet ")})},
        RunCase{"UpgradeUninstallsQuietlyInstallsWithUserInterface", {}, "1.00.0000", {}, 0, "",
                Join({UninstallSteps(" /qn "), RescanSteps, InstallSteps("")})},
        RunCase{"OtherVersionSilentRunsNothing", {"-s"}, "1.0.0.3", {}, 6, "", {}},
        RunCase{"OtherVersionAnsweredNo", {}, "2.0.0.0", {IDNO}, 6,
                "Newer version is already installed\n", Ask},
        RunCase{"OtherVersionAnsweredYes", {"-a"}, "2.0.0.0", {IDYES}, 0, "",
                Join({Ask, UninstallSteps(" /qn "), RescanSteps, InstallSteps("")})},
        RunCase{"FailedMessageBoxCountsAsYes", {}, "1.0.0.2 ", {0}, 0, "",
                Join({Ask, UninstallSteps(" /qn "), RescanSteps, InstallSteps("")})},
        RunCase{"HeadlessMessageBoxCountsAsYes", {}, "x", {-1}, 0, "",
                Join({Ask, UninstallSteps(" /qn "), RescanSteps, InstallSteps("")})},
        RunCase{"RemovalOfNothing", {"-r"}, nullptr, {}, 7, "Product to be removed is not installed\n",
                {}},
        RunCase{"StaleInstallShieldDeletedBeforeExit7", {"-r"}, nullptr, {}, 7,
                "Product to be removed is not installed\n", {Deleted("32", InstallShield64)},
                [](FakeSystem& f) { f.SetString(View::Bit32, InstallShield64, "DisplayVersion", "1.0.0.1"); }},
        RunCase{"StaleInstallShieldDeletedBeforeWindowsCheck", {"-s"}, nullptr, {}, 3, "",
                {Deleted("32", InstallShield64)},
                [](FakeSystem& f) {
                    f.SetString(View::Bit32, InstallShield64, "DisplayVersion", "5");
                    f.minorVersion = 2;
                }},
        RunCase{"InstallShieldBesideProductIsKept", {"-r", "-s"}, "1.0.0.1", {}, 0, "",
                Join({UninstallSteps(" /qn "), {Deleted("32", InstallShield64)}, RescanSteps}),
                [](FakeSystem& f) { f.SetString(View::Bit32, InstallShield64, "DisplayVersion", "1.0.0.1"); }},
        RunCase{"Vista", {"-a"}, nullptr, {}, 3, "This package installs only on Windows 7\n", {},
                [](FakeSystem& f) { f.minorVersion = 0; }},
        RunCase{"Windows8", {"-a"}, nullptr, {}, 3, "This package installs only on Windows 7\n", {},
                [](FakeSystem& f) { f.minorVersion = 2; }},
        RunCase{"VersionSevenPointOne", {"-a"}, nullptr, {}, 3, "This package installs only on Windows 7\n", {},
                [](FakeSystem& f) { f.majorVersion = 7; }},
        RunCase{"WindowsCheckComesBeforeRemovalCheck", {"-r"}, nullptr, {}, 3,
                "This package installs only on Windows 7\n", {},
                [](FakeSystem& f) { f.majorVersion = 10; f.minorVersion = 0; }},
        RunCase{"StrictRescanFailureStopsUpgrade", {"-s"}, "1.0.0.1", {}, 4, "",
                Join({UninstallSteps(" /qn "), {"sleep 1000", "locate", "reenumerate"}}),
                [](FakeSystem& f) { f.reenumerateResult = 19; }},
        RunCase{"StrictRescanRootNotFound", {"-a"}, "1.0.0.1", {}, 4, "Failed scan for hardware changes\n",
                Join({UninstallSteps(" /qn "), {"sleep 1000", "locate"}}),
                [](FakeSystem& f) { f.locateResult = 19; }},
        RunCase{"TolerantRescanFailureIgnored", {"-r"}, "1.0.0.1", {}, 0, "",
                Join({UninstallSteps(""), {"sleep 1000", "locate", "sleep 4000"}}),
                [](FakeSystem& f) { f.locateResult = 19; }},
        RunCase{"StartedOutsidePackageRoot", {"-s"}, "1.0.0.2", {}, 5, "",
                Join({UninstallSteps(" /qn "), RescanSteps}),
                [](FakeSystem& f) { f.AddFolder("C:\\elsewhere"); f.SetCurrentDirectory("C:\\elsewhere"); }},
        RunCase{"CurrentDirectoryUnreadable", {"-s"}, nullptr, {}, 5, "", {},
                [](FakeSystem& f) { f.failCurrentDirectory = true; }},
        RunCase{"UninstallerThatCleansUpLeavesNothingToDelete", {"-s"}, "1.0.0.1", {}, 0, "",
                {Ran(Uninstall64 + " /qn "), "sleep 4000", "sleep 1000", "locate", "reenumerate",
                 "sleep 4000", Ran("setup.exe /s /v/quiet "), "sleep 1000"},
                [](FakeSystem& f) {
                    f.onChildRun = [&f](const ChildRun&) { f.SetString(View::Bit64, Product64, "DisplayVersion", ""); };
                }}),
    [](const ::testing::TestParamInfo<RunCase>& info) { return std::string(info.param.name); });

TEST(PackageVariant, SixtyFourBitWindowsUsesTheSixtyFourBitFolderAndView) {
    FakeSystem fake;
    Install64(fake, "1.0.0.2");
    ASSERT_EQ(RunSetup(fake, {"-s"}), 0);
    ASSERT_EQ(fake.children.size(), 2u);
    EXPECT_EQ(fake.children[0].currentDirectory, "C:\\pkg");
    EXPECT_EQ(fake.children[1].currentDirectory, "C:\\pkg\\win7\\64");
    EXPECT_EQ(fake.children[1].interpreter, Interpreter);
    EXPECT_FALSE(fake.HasKey(View::Bit64, Product64));
}

TEST(PackageVariant, ThirtyTwoBitWindowsUsesTheThirtyTwoBitProductAndFolder) {
    FakeSystem fake;
    fake.SetWow64(false);
    fake.SetString(View::Bit64, Product32, "DisplayVersion", "1.0.0.1");
    fake.SetString(View::Bit64, Product32, "UninstallString", Uninstall32);
    // A 64-bit product code means nothing on 32-bit Windows.
    fake.SetString(View::Bit64, InstallShield64, "DisplayVersion", "1.0.0.1");

    ASSERT_EQ(RunSetup(fake, {"-s"}), 0);
    EXPECT_EQ(fake.events,
              (Events{Ran(Uninstall32 + " /qn "), "sleep 4000", Deleted("native", Product32),
                      "sleep 1000", "locate", "reenumerate", "sleep 4000",
                      Ran("setup.exe /s /v/quiet "), "sleep 1000"}));
    EXPECT_EQ(fake.children[1].currentDirectory, "C:\\pkg\\win7\\32");
    EXPECT_TRUE(fake.HasKey(View::Bit64, InstallShield64));
}

TEST(PackageVariant, WithoutIsWow64ProcessTheThirtyTwoBitPackageIsChosen) {
    FakeSystem fake;
    fake.hasIsWow64Process = false;
    Install64(fake, "1.0.0.1");  // not looked at: the 32-bit product is asked for
    ASSERT_EQ(RunSetup(fake, {"-s"}), 0);
    EXPECT_EQ(fake.events, InstallSteps("/s /v/quiet "));
    EXPECT_EQ(fake.children[0].currentDirectory, "C:\\pkg\\win7\\32");
}

TEST(OtherVersionQuestion, TextCaptionAndType) {
    FakeSystem fake;
    Install64(fake, "1.0.0.20");
    fake.messageBoxAnswers = {IDNO};
    ASSERT_EQ(RunSetup(fake, {}), 6);
    ASSERT_EQ(fake.messageBoxes.size(), 1u);
    const MessageBoxCall& box = fake.messageBoxes[0];
    EXPECT_EQ(box.owner, 0u);
    EXPECT_EQ(box.text,
              "A newer version of 'Orvan I2C-HID Lumaquad driver' is already installed on this "
              "machine. Do you wish to remove it and install this older version?");
    EXPECT_EQ(box.caption, "Orvan I2C-HID Lumaquad driver");
    EXPECT_EQ(box.type, 4u);
}

}  // namespace
}  // namespace setup::testing

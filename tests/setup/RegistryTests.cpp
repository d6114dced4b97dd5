// Reading and classifying the installed version, and deleting registration
// trees in the right registry view.
#include <gtest/gtest.h>

#include "Registry.h"
#include "SetupTestSupport.h"

namespace setup::testing {
namespace {

std::vector<BYTE> Bytes(const std::string& text) { return std::vector<BYTE>(text.begin(), text.end()); }

struct VersionCase {
    const char* name;
    bool present;  // false: no DisplayVersion value at all
    std::vector<BYTE> stored;
    int versionClass;
};

void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.name; }

class VersionClassCases : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionClassCases, ProductRegistration) {
    const VersionCase& c = GetParam();
    FakeSystem fake;
    fake.AddKey(View::Bit64, Product64);
    if (c.present) fake.SetValue(View::Bit64, Product64, "DisplayVersion", c.stored);
    Context context(fake);
    context.state.isWow64 = true;
    EXPECT_EQ(GetInstalledVersionClass(context, ProductUninstallKey), c.versionClass);
    EXPECT_EQ(fake.OpenKeyCount(), 0u);
}

std::vector<BYTE> Padded(const std::string& text, std::size_t size) {
    std::vector<BYTE> bytes = Bytes(text);
    bytes.resize(size, 0);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Versions, VersionClassCases,
    ::testing::Values(
        VersionCase{"First", true, Bytes(std::string("1.00.0000") + '\0'), 1},
        VersionCase{"Second", true, Bytes(std::string("1.0.0.1") + '\0'), 2},
        VersionCase{"Third", true, Bytes(std::string("1.0.0.2") + '\0'), 3},
        VersionCase{"LongerText", true, Bytes(std::string("1.0.0.20") + '\0'), 4},
        VersionCase{"TrailingBlank", true, Bytes(std::string("1.0.0.2 ") + '\0'), 4},
        VersionCase{"Newer", true, Bytes(std::string("2.0.0.0") + '\0'), 4},
        VersionCase{"NumericallyEqualIsNotEqual", true, Bytes(std::string("1.0.0.01") + '\0'), 4},
        VersionCase{"PrefixOfKnownVersion", true, Bytes(std::string("1.0.0.") + '\0'), 4},
        VersionCase{"ExtraZeroBytes", true, Padded("1.0.0.1", 12), 2},
        VersionCase{"MultiStringOfOne", true, Bytes(std::string("1.00.0000") + '\0' + '\0'), 1},
        VersionCase{"StoredWithoutTerminator", true, Bytes("1.0.0.2"), 3},
        VersionCase{"EmptyString", true, Bytes(std::string(1, '\0')), 0},
        VersionCase{"NoBytes", true, {}, 0},
        VersionCase{"MissingValue", false, {}, 0},
        VersionCase{"Exactly1024BytesIsRead", true, Padded("1.0.0.2", 1024), 3},
        VersionCase{"TextOf1023CharactersIsRead", true, Bytes(std::string(1023, '9') + '\0'), 4},
        VersionCase{"1025BytesIsNotRead", true, Padded("1.0.0.2", 1025), 0}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });

TEST(VersionClass, MissingKeyIsNotInstalled) {
    FakeSystem fake;
    Context context(fake);
    context.state.isWow64 = true;
    EXPECT_EQ(GetInstalledVersionClass(context, ProductUninstallKey), 0);
    EXPECT_EQ(GetInstalledVersionClass(context, InstallShieldUninstallKey), 0);
}

TEST(VersionClass, EachRegistrationIsReadInItsOwnView) {
    FakeSystem fake;
    // Each registration in the view where it is not looked for.
    fake.SetString(View::Bit32, Product64, "DisplayVersion", "1.0.0.1");
    fake.SetString(View::Bit64, InstallShield64, "DisplayVersion", "1.0.0.1");
    Context context(fake);
    context.state.isWow64 = true;
    EXPECT_EQ(GetInstalledVersionClass(context, ProductUninstallKey), 0);
    EXPECT_EQ(GetInstalledVersionClass(context, InstallShieldUninstallKey), 0);

    fake.SetString(View::Bit64, Product64, "DisplayVersion", "1.0.0.2");
    fake.SetString(View::Bit32, InstallShield64, "DisplayVersion", "1.00.0000");
    EXPECT_EQ(GetInstalledVersionClass(context, ProductUninstallKey), 3);
    EXPECT_EQ(GetInstalledVersionClass(context, InstallShieldUninstallKey), 1);
    EXPECT_EQ(fake.registryOpens,
              (std::vector<std::string>{Product64 + "|257", InstallShield64 + "|1",
                                        Product64 + "|257", InstallShield64 + "|1"}));
}

TEST(ReadRegistryString, UnreadableKeyGivesEmpty) {
    FakeSystem fake;
    fake.SetString(View::Bit64, Product64, "UninstallString", "x");
    fake.openFailures[Product64] = ERROR_ACCESS_DENIED;
    Context context(fake);
    EXPECT_EQ(ReadRegistryString(context, Product64, "UninstallString", KEY_WOW64_64KEY), "");
}

// A registration with nested subkeys: A{B{D,E},C}.
class DeleteTree : public ::testing::Test {
protected:
    void BuildTree(View view, const std::string& top) {
        for (const char* sub : {"", "\\B", "\\B\\D", "\\B\\E", "\\C"}) fake.AddKey(view, top + sub);
        fake.SetString(view, top + "\\B\\D", "v", "1");
    }
    FakeSystem fake;
    Context context{fake};
    const std::string top = UninstallRoot + "A";
};

TEST_F(DeleteTree, DeepestFirstAndPathRestored) {
    BuildTree(View::Bit32, top);
    std::string path = top;
    EXPECT_EQ(DeleteRegistryTree(context, HKEY_LOCAL_MACHINE, path, 0), 1);
    EXPECT_EQ(path, top);
    const std::string a = Lower(top);
    EXPECT_EQ(fake.deletedKeys,
              (std::vector<std::string>{"32:" + a + "\\b\\d", "32:" + a + "\\b\\e", "32:" + a + "\\b",
                                        "32:" + a + "\\c", "32:" + a}));
    EXPECT_EQ(fake.OpenKeyCount(), 0u);
}

TEST_F(DeleteTree, TrailingSeparatorIsDroppedFromThePath) {
    BuildTree(View::Bit32, top);
    std::string path = top + "\\";
    EXPECT_EQ(DeleteRegistryTree(context, HKEY_LOCAL_MACHINE, path, 0), 1);
    EXPECT_EQ(path, top);
    EXPECT_FALSE(fake.HasKey(View::Bit32, top));
}

TEST_F(DeleteTree, MissingKeyCountsAsGone) {
    std::string path = top;
    EXPECT_EQ(DeleteRegistryTree(context, HKEY_LOCAL_MACHINE, path, 0), 1);
    EXPECT_EQ(DeleteRegistryTree(context, HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY), 1);
    EXPECT_EQ(path, top);
    EXPECT_TRUE(fake.deletedKeys.empty());
}

TEST_F(DeleteTree, UndeletableSubkeyStopsAndReportsFailure) {
    BuildTree(View::Bit32, top);
    fake.AddKey(View::Bit32, top + "\\B\\D\\F");
    fake.openFailures[top + "\\B\\D"] = ERROR_ACCESS_DENIED;
    std::string path = top;
    EXPECT_EQ(DeleteRegistryTree(context, HKEY_LOCAL_MACHINE, path, 0), 0);
    EXPECT_EQ(path, top);
    EXPECT_TRUE(fake.HasKey(View::Bit32, top + "\\B\\D\\F"));
    EXPECT_TRUE(fake.HasKey(View::Bit32, top + "\\C")) << "the loop stops at the first failure";
    EXPECT_EQ(fake.OpenKeyCount(), 0u);
}

TEST_F(DeleteTree, SixtyFourBitViewIsAddressedThroughout) {
    BuildTree(View::Bit32, top);
    BuildTree(View::Bit64, top);
    fake.AddKey(View::Bit64, top + "\\B\\Only64");
    std::string path = top;
    EXPECT_EQ(DeleteRegistryTree(context, HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY), 1);
    EXPECT_EQ(path, top);
    EXPECT_FALSE(fake.HasKey(View::Bit64, top));
    EXPECT_TRUE(fake.HasKey(View::Bit32, top + "\\B\\D"));
    for (const std::string& deleted : fake.deletedKeys) EXPECT_EQ(deleted.substr(0, 3), "64:");
    EXPECT_EQ(fake.deletedKeys.size(), 6u);
    EXPECT_EQ(fake.OpenKeyCount(), 0u);
}

TEST_F(DeleteTree, WithoutFlagTheProcessViewIsAddressed) {
    BuildTree(View::Bit32, top);
    BuildTree(View::Bit64, top);
    std::string path = top;
    EXPECT_EQ(DeleteRegistryTree(context, HKEY_LOCAL_MACHINE, path, 0), 1);
    EXPECT_FALSE(fake.HasKey(View::Bit32, top));
    EXPECT_TRUE(fake.HasKey(View::Bit64, top + "\\B\\E"));
}

TEST_F(DeleteTree, PathsLongerThanTheOldBufferAreDeletedWhole) {
    std::string deep = top;
    for (int level = 0; level < 6; ++level) deep += "\\" + std::string(120, static_cast<char>('a' + level));
    fake.AddKey(View::Bit64, deep);
    std::string path = top;
    EXPECT_EQ(DeleteRegistryTree(context, HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY), 1);
    EXPECT_EQ(path, top);
    EXPECT_FALSE(fake.HasKey(View::Bit64, top));
    EXPECT_EQ(fake.deletedKeys.size(), 7u);
    EXPECT_EQ(fake.deletedKeys.front(), "64:" + Lower(deep));
}

TEST(DeleteAfterUninstall, ProductRegistrationLeftBehindIsGoneFromTheSixtyFourBitView) {
    FakeSystem fake;
    Install64(fake, "1.0.0.1");
    fake.AddKey(View::Bit64, Product64 + "\\Features");
    // A same-named key in the 32-bit view belongs to something else.
    fake.SetString(View::Bit32, Product64, "DisplayVersion", "other");
    ASSERT_EQ(RunSetup(fake, {"-s", "-r"}), 0);
    EXPECT_FALSE(fake.HasKey(View::Bit64, Product64));
    EXPECT_TRUE(fake.HasKey(View::Bit32, Product64));
}

}  // namespace
}  // namespace setup::testing

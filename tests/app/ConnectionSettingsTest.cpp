#include "ConnectionSettings.h"

#include "ExecutablePath.h"
#include "FileRegistry.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace selvo {
namespace {

// Test names from the cases' own names.
struct CaseName
{
    template <class Case> std::string operator()(const testing::TestParamInfo<Case>& testCase) const
    {
        return testCase.param.Name;
    }
};

using Status = RegistryString::Status;

class FakeRegistry final : public Registry
{
public:
    explicit FakeRegistry(RegistryString answer = {}) : m_answer(std::move(answer)) {}

    RegistryString ReadLocalMachineString(std::string_view keyPath, std::string_view valueName) const override
    {
        Calls.emplace_back(std::string(keyPath) + "|" + std::string(valueName));
        return m_answer;
    }

    mutable std::vector<std::string> Calls;

private:
    RegistryString m_answer;
};

const std::string DefaultPassword = SELVO_EXPECTED_DEFAULT_PASSWORD;
const char* const DefaultBextAFile = "C:\\Program Files\\Tavrin\\BextA\\bexta.ini";

struct Expected
{
    std::string HostName;
    std::string DatabaseName;
    std::string UserName;
    std::string Password;
    std::int32_t Port;
    std::int32_t WorkMode;
};

void ExpectSettings(const ConnectionSettings& actual, const Expected& expected)
{
    EXPECT_EQ(actual.HostName, expected.HostName);
    EXPECT_EQ(actual.DatabaseName, expected.DatabaseName);
    EXPECT_EQ(actual.UserName, expected.UserName);
    EXPECT_EQ(actual.Password, expected.Password);
    EXPECT_EQ(actual.Port, expected.Port);
    EXPECT_EQ(actual.WorkMode, expected.WorkMode);
}

// A program installed in a temporary folder: bin/Selvo, with drive letters under drives/.
class SettingsFixture : public testing::Test
{
protected:
    std::filesystem::path Executable() const { return m_folder.Path() / "bin" / "Selvo"; }
    std::filesystem::path OwnFile() const { return m_folder.Path() / "bin" / "Selvo.ini"; }
    std::filesystem::path Drives() const { return m_folder.Path() / "drives"; }
    void WriteOwnFile(std::string_view text) const { m_folder.Write("bin/Selvo.ini", text); }
    void WriteDriveFile(const std::string& relative, std::string_view text) const
    {
        m_folder.Write("drives/" + relative, text);
    }
    ConnectionSettings Read(const Registry& registry) const
    {
        return ReadConnectionSettings(Executable(), registry, Drives());
    }

    void SetUp() override { m_folder.Write("bin/Selvo", "#!/bin/sh\n"); }

    test::TempFolder m_folder;
};

struct OwnFileCase
{
    const char* Name;
    std::string Text;
    Expected Result;
};

const OwnFileCase OwnFileCases[] = {
    {"EmptyFileGivesDefaults", "", {"127.0.0.1", "vardeno", "vardeno", DefaultPassword, 3306, 0}},
    {"AllKeys",
     "[Database]\r\nHostName=db.local\r\nDatabaseName=access\r\nPort=3307\r\nUsername=porter\r\nPassword=fgh\r\n"
     "[Options]\r\nMode=2\r\n",
     {"db.local", "access", "porter", "abc", 3307, 2}},
    {"EmptyPasswordGivesBuiltInOne",
     "[Database]\r\nPassword=\r\n",
     {"127.0.0.1", "vardeno", "vardeno", DefaultPassword, 3306, 0}},
    {"QuotedEmptyPasswordGivesBuiltInOne",
     "[Database]\r\nPassword=\"\"\r\n",
     {"127.0.0.1", "vardeno", "vardeno", DefaultPassword, 3306, 0}},
    {"EmptyHostNameStaysEmptyAndEmptyPortIsDefault",
     "[Database]\nHostName=\nPort=\n",
     {"", "vardeno", "vardeno", DefaultPassword, 3306, 0}},
    {"HexPortWithZeroX", "[Database]\nPort=0x0CEA\n", {"127.0.0.1", "vardeno", "vardeno", DefaultPassword, 3306, 0}},
    {"HexPortWithDollar", "[Database]\nPort=$CEA\n", {"127.0.0.1", "vardeno", "vardeno", DefaultPassword, 3306, 0}},
    {"SignedPort", "[Database]\nPort=+3306\n", {"127.0.0.1", "vardeno", "vardeno", DefaultPassword, 3306, 0}},
    {"UnreadablePortIsDefault",
     "[Database]\nPort=abc\n",
     {"127.0.0.1", "vardeno", "vardeno", DefaultPassword, 3306, 0}},
    {"ZeroAndNegativePortReturnedAsRead",
     "[Database]\nPort=-5\n",
     {"127.0.0.1", "vardeno", "vardeno", DefaultPassword, -5, 0}},
    {"NegativeModeIsBothDesks", "[Options]\nMode=-1\n", {"127.0.0.1", "vardeno", "vardeno", DefaultPassword, 3306, -1}},
    {"NamesMatchRegardlessOfCase",
     "[database]\nhostname=db2\nPASSWORD=fgh\n[OPTIONS]\nmode=1\n",
     {"db2", "vardeno", "vardeno", "abc", 3306, 1}},
    {"ProductKeysNotReadFromOwnFile",
     "[Security]\nHostName=db3\nDatabase=x\n",
     {"127.0.0.1", "vardeno", "vardeno", DefaultPassword, 3306, 0}},
    {"BinaryFileGivesDefaults",
     std::string("\x00\xFF\xFE\x01[\x80\x00]\r\n\x1A\x1A=\x00", 14),
     {"127.0.0.1", "vardeno", "vardeno", DefaultPassword, 3306, 0}},
    {"MissingBracketLeavesKeysInNoSection",
     "[Database\nHostName=db4\n",
     {"127.0.0.1", "vardeno", "vardeno", DefaultPassword, 3306, 0}},
    {"MegabyteHostNameCut",
     "[Database]\nHostName=" + std::string(1 << 20, 'h') + "\nPort=1\n",
     {std::string(2047, 'h'), "vardeno", "vardeno", DefaultPassword, 1, 0}},
};

class OwnSettingsFile : public SettingsFixture, public testing::WithParamInterface<OwnFileCase>
{
};

TEST_P(OwnSettingsFile, IsTheOnlySourceWhenPresent)
{
    WriteOwnFile(GetParam().Text);
    // A product file that would be found, to show it is not read.
    WriteDriveFile("c/Program Files/Tavrin/BextA/bexta.ini", "[Security]\nHostName=product\n");
    const FakeRegistry registry({Status::Found, "D:\\X\\"});

    const ConnectionSettings settings = Read(registry);

    ExpectSettings(settings, GetParam().Result);
    EXPECT_EQ(settings.SettingsFile, OwnFile().string());
    EXPECT_TRUE(registry.Calls.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, OwnSettingsFile, testing::ValuesIn(OwnFileCases), CaseName());

TEST_F(SettingsFixture, UnreadableOwnFileStillCountsAsPresent)
{
    // A regular file that cannot be read, even by root: the registry is not consulted.
    std::filesystem::create_directories(OwnFile().parent_path());
    std::filesystem::create_symlink("/proc/self/mem", OwnFile());
    const FakeRegistry registry({Status::WrongType, {}});

    ExpectSettings(Read(registry), {"127.0.0.1", "vardeno", "vardeno", DefaultPassword, 3306, 0});
    EXPECT_TRUE(registry.Calls.empty());
}

struct ProductFileCase
{
    const char* Name;
    RegistryString Registry;
    const char* DriveFile; // relative to the drive root; nullptr: no product file
    std::string Text;
    std::string ExpectedFile;
    Expected Result;
};

const ProductFileCase ProductFileCases[] = {
    {"NothingAnywhereGivesDefaultsAndEmptyPassword",
     {Status::NotFound, {}},
     nullptr,
     "",
     DefaultBextAFile,
     {"127.0.0.1", "vardeno", "vardeno", "", 3306, 0}},
    {"NoRegistryKeyReadsDefaultLocation",
     {Status::NotFound, {}},
     "c/Program Files/Tavrin/BextA/bexta.ini",
     "[Security]\r\nHostName=db5\r\nDatabase=access\r\nPort=$CEB\r\nUsername=porter\r\n",
     DefaultBextAFile,
     {"db5", "access", "porter", "", 3307, 0}},
    {"EmptyInstallLocationReadsDefaultLocation",
     {Status::Found, ""},
     "c/Program Files/Tavrin/BextA/bexta.ini",
     "[Security]\r\nHostName=db6\r\n",
     DefaultBextAFile,
     {"db6", "vardeno", "vardeno", "", 3306, 0}},
    {"LocationWithoutBackslashIsJoinedAsIs",
     {Status::Found, "D:\\Apps\\BextA"},
     "d/Apps/BextAbexta.ini",
     "[Security]\r\nHostName=db7\r\n",
     "D:\\Apps\\BextAbexta.ini",
     {"db7", "vardeno", "vardeno", "", 3306, 0}},
    {"LocationWithBackslash",
     {Status::Found, "d:\\Apps\\BextA\\"},
     "d/Apps/BextA/bexta.ini",
     "[Security]\r\nHostName=db8\r\n",
     "d:\\Apps\\BextA\\bexta.ini",
     {"db8", "vardeno", "vardeno", "", 3306, 0}},
    {"ProductFileMissingAtRegistryLocation",
     {Status::Found, "E:\\Nowhere\\"},
     "c/Program Files/Tavrin/BextA/bexta.ini",
     "[Security]\r\nHostName=wrong\r\n",
     "E:\\Nowhere\\bexta.ini",
     {"127.0.0.1", "vardeno", "vardeno", "", 3306, 0}},
    {"PasswordDatabaseNameAndModeIgnoredThere",
     {Status::NotFound, {}},
     "c/Program Files/Tavrin/BextA/bexta.ini",
     "[Security]\r\nDatabaseName=x\r\nPassword=fgh\r\n[Database]\r\nHostName=y\r\n[Options]\r\nMode=2\r\n",
     DefaultBextAFile,
     {"127.0.0.1", "vardeno", "vardeno", "", 3306, 0}},
    {"ProductFileIsAFolder",
     {Status::NotFound, {}},
     "c/Program Files/Tavrin/BextA/bexta.ini/inner",
     "",
     DefaultBextAFile,
     {"127.0.0.1", "vardeno", "vardeno", "", 3306, 0}},
};

class ProductSettingsFile : public SettingsFixture, public testing::WithParamInterface<ProductFileCase>
{
};

TEST_P(ProductSettingsFile, IsReadWhenThereIsNoOwnFile)
{
    const ProductFileCase& c = GetParam();
    if (c.DriveFile != nullptr) {
        WriteDriveFile(c.DriveFile, c.Text);
    }
    const FakeRegistry registry(c.Registry);

    const ConnectionSettings settings = Read(registry);

    ExpectSettings(settings, c.Result);
    EXPECT_EQ(settings.SettingsFile, c.ExpectedFile);
    EXPECT_EQ(registry.Calls,
              std::vector<std::string>{
                  "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavrin BextA_is1|InstallLocation"});
}

INSTANTIATE_TEST_SUITE_P(Cases, ProductSettingsFile, testing::ValuesIn(ProductFileCases), CaseName());

TEST_F(SettingsFixture, FolderOrPipeAtTheOwnPathIsNoOwnFile)
{
    WriteDriveFile("c/Program Files/Tavrin/BextA/bexta.ini", "[Security]\nHostName=product\n");
    std::filesystem::create_directories(OwnFile());
    EXPECT_EQ(Read(FakeRegistry()).HostName, "product");

    std::filesystem::remove(OwnFile());
    ASSERT_EQ(::mkfifo(OwnFile().c_str(), 0600), 0);
    EXPECT_EQ(Read(FakeRegistry()).HostName, "product");
}

TEST_F(SettingsFixture, InstallLocationOfWrongTypeFailsWithItsMessage)
{
    WriteDriveFile("c/Program Files/Tavrin/BextA/bexta.ini", "[Security]\nHostName=product\n");
    try {
        Read(FakeRegistry({Status::WrongType, {}}));
        FAIL() << "no failure";
    } catch (const SettingsError& error) {
        EXPECT_STREQ(error.what(), "Invalid data type for 'InstallLocation'");
    }
}

TEST_F(SettingsFixture, FileRegistryLeadsToTheProductFile)
{
    const std::filesystem::path registryFile =
        m_folder.Write("etc/registry.ini", "[SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavrin "
                                           "BextA_is1]\nInstallLocation=REG_SZ:D:\\Apps\\BextA\n");
    WriteDriveFile("d/Apps/BextAbexta.ini", "[Security]\nHostName=via-registry\n");
    const ConnectionSettings settings = Read(FileRegistry(registryFile));
    EXPECT_EQ(settings.HostName, "via-registry");
    EXPECT_EQ(settings.SettingsFile, "D:\\Apps\\BextAbexta.ini");
}

struct RegistryCase
{
    const char* Name;
    std::string FileText;
    RegistryString Expected;
};

const char* const Key = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavrin BextA_is1";

const RegistryCase RegistryCases[] = {
    {"String",
     "[SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavrin BextA_is1]\nInstallLocation=REG_SZ:D:\\B\\\n",
     {Status::Found, "D:\\B\\"}},
    {"KeyAndValueNamesIgnoreCase",
     "[software\\MICROSOFT\\windows\\currentversion\\uninstall\\tavrin bexta_is1]\ninstalllocation=reg_sz:X:\\\n",
     {Status::Found, "X:\\"}},
    {"ExpandStringNotExpanded",
     "[SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavrin "
     "BextA_is1]\nInstallLocation=REG_EXPAND_SZ:%ProgramFiles%\\B\\\n",
     {Status::Found, "%ProgramFiles%\\B\\"}},
    {"QuotedString",
     "[SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavrin BextA_is1]\nInstallLocation=REG_SZ:\"D:\\My "
     "Apps\\\"\n",
     {Status::Found, "D:\\My Apps\\"}},
    {"EmptyString",
     "[SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavrin BextA_is1]\nInstallLocation=REG_SZ:\n",
     {Status::Found, ""}},
    {"EmptyWithoutAType",
     "[SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavrin BextA_is1]\nInstallLocation=\n",
     {Status::Found, ""}},
    {"BlankWithoutAType",
     "[SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavrin BextA_is1]\nInstallLocation=  \n",
     {Status::Found, ""}},
    {"OnlyATypeSeparator",
     "[SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavrin BextA_is1]\nInstallLocation=:\n",
     {Status::WrongType, {}}},
    {"Number",
     "[SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavrin BextA_is1]\nInstallLocation=REG_DWORD:1\n",
     {Status::WrongType, {}}},
    {"Untyped",
     "[SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavrin BextA_is1]\nInstallLocation=D\n",
     {Status::WrongType, {}}},
    {"ValueAbsent",
     "[SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavrin BextA_is1]\nOther=REG_SZ:x\n",
     {Status::NotFound, {}}},
    {"KeyAbsent", "[SOFTWARE\\Other]\nInstallLocation=REG_SZ:x\n", {Status::NotFound, {}}},
};

class FileRegistryRead : public testing::TestWithParam<RegistryCase>
{
};

TEST_P(FileRegistryRead, AnswersFromItsFile)
{
    const test::TempFolder folder;
    const RegistryString value =
        FileRegistry(folder.Write("registry.ini", GetParam().FileText)).ReadLocalMachineString(Key, "InstallLocation");
    EXPECT_EQ(value.State, GetParam().Expected.State);
    EXPECT_EQ(value.Text, GetParam().Expected.Text);
}

INSTANTIATE_TEST_SUITE_P(Cases, FileRegistryRead, testing::ValuesIn(RegistryCases), CaseName());

TEST(FileRegistry, MissingFileIsAFailedLookup)
{
    EXPECT_EQ(FileRegistry("/nonexistent/registry.ini").ReadLocalMachineString(Key, "InstallLocation").State,
              Status::NotFound);
}

TEST(OwnSettingsPath, ReplacesTheExtensionOfTheFileName)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/opt/selvo/Selvo", "/opt/selvo/Selvo.ini"},
        {"/opt/selvo/Selvo.exe", "/opt/selvo/Selvo.ini"},
        {"/opt/DESKTOOL.V2.EXE", "/opt/DESKTOOL.V2.ini"},
        {"/opt/sel.vo/Selvo", "/opt/sel.vo/Selvo.ini"},
        {"/opt/Selvo.", "/opt/Selvo.ini"},
        {"/opt/.selvo", "/opt/.ini"},
    };
    for (const auto& [executable, expected] : cases) {
        EXPECT_EQ(OwnSettingsPath(executable), std::filesystem::path(expected)) << executable;
    }
}

TEST(LocalPathOf, MapsDriveLettersUnderTheRootAndKeepsOtherPaths)
{
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Program Files\\Tavrin\\BextA\\bexta.ini", "/r/c/Program Files/Tavrin/BextA/bexta.ini"},
        {"D:\\Apps\\BextAbexta.ini", "/r/d/Apps/BextAbexta.ini"},
        {"d:bexta.ini", "/r/d/bexta.ini"},
        {"/opt/bexta/bexta.ini", "/opt/bexta/bexta.ini"},
        {"bexta.ini", "bexta.ini"},
        {"1:\\x", "1:/x"},
    };
    for (const auto& [windows, local] : cases) {
        EXPECT_EQ(LocalPathOf(windows, "/r"), std::filesystem::path(local)) << windows;
    }
}

TEST(DecodePassword, SubtractsFiveFromEveryByteModulo256)
{
    const std::pair<std::string, std::string> cases[] = {
        {"fgh", "abc"},           {"", ""},
        {"\x03", "\xFE"},         {std::string("\x05\x00\x04", 3), std::string("\x00\xFB\xFF", 3)},
        {"\xFF\x85", "\xFA\x80"},
    };
    for (const auto& [stored, clear] : cases) {
        EXPECT_EQ(DecodePassword(stored), clear);
    }
}

TEST(BuiltInDefaultPassword, IsTheOneLetterChosenAtBuildTime)
{
    const std::string password = BuiltInDefaultPassword();
    EXPECT_EQ(password, DefaultPassword);
    ASSERT_EQ(password.size(), 1U);
    EXPECT_TRUE(password[0] >= 'a' && password[0] <= 'z');
}

TEST(ExecutablePath, NamesThisTestProgram)
{
    const std::filesystem::path path = ExecutablePath();
    EXPECT_TRUE(path.is_absolute());
    EXPECT_EQ(path.filename(), "app_tests");
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
}

} // namespace
} // namespace selvo

namespace selvo {
namespace {

// An empty InstallLocation in the registry file means the default install location.
TEST_F(SettingsFixture, EmptyInstallLocationInTheRegistryFileLeadsToTheDefaultLocation)
{
    const std::filesystem::path registryFile = m_folder.Write(
        "etc/registry.ini",
        "[SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavrin BextA_is1]\nInstallLocation=\n");
    WriteDriveFile("c/Program Files/Tavrin/BextA/bexta.ini", "[Security]\nHostName=default-place\n");
    const ConnectionSettings settings = Read(FileRegistry(registryFile));
    EXPECT_EQ(settings.HostName, "default-place");
    EXPECT_EQ(settings.SettingsFile, DefaultBextAFile);
}

// Without /proc (a chroot, a minimal container) the lookup fails with a text for the error report.
TEST(ExecutablePath, UnreadableLinkIsASettingsErrorNamingItAndTheReason)
{
    const test::TempFolder folder;
    const std::filesystem::path notALink = folder.Write("exe", "");
    const std::pair<std::filesystem::path, std::string> cases[] = {
        {folder.Path() / "proc/self/exe", "No such file or directory"},
        {notALink, "Invalid argument"},
    };
    for (const auto& [link, reason] : cases) {
        try {
            ExecutablePath(link);
            ADD_FAILURE() << link << " read";
        } catch (const SettingsError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "Cannot find the program's own path (" + link.string() + "): " + reason);
        }
    }
}

} // namespace
} // namespace selvo

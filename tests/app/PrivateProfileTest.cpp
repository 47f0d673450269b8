#include "PrivateProfile.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

using namespace std::string_literals;

struct ReadCase
{
    const char* Name;
    std::string Text;
    const char* Section;
    const char* Key;
    std::optional<std::string> Expected; // nothing: the key is absent
};

std::string Repeat(char c, std::size_t count)
{
    return std::string(count, c);
}

const ReadCase ReadCases[] = {
    {"PlainValue", "[Database]\r\nHostName=db1\r\n", "Database", "HostName", "db1"},
    {"NamesIgnoreCase", "[database]\r\nhostname=db1\r\n", "Database", "HostName", "db1"},
    {"LfOnly", "[Database]\nPort=1\nHostName=db1\n", "Database", "HostName", "db1"},
    {"LoneCrEndsALine", "[Database]\rPort=1\rHostName=db1\r", "Database", "HostName", "db1"},
    {"NoFinalLineEnd", "[Database]\r\nHostName=db1", "Database", "HostName", "db1"},
    {"BlanksAroundNamesAndValue", "  [ Database ]  \r\n\t HostName \t=\v db 1 \f\x1A\r\n", "Database", "HostName",
     "db 1"},
    {"EmptyValueIsEmptyText", "[Database]\r\nHostName=\r\n", "Database", "HostName", ""},
    {"BlankValueIsEmptyText", "[Database]\r\nHostName=   \r\n", "Database", "HostName", ""},
    {"AbsentKey", "[Database]\r\nPort=1\r\n", "Database", "HostName", std::nullopt},
    {"KeyOfAnotherSection", "[Options]\r\nHostName=db1\r\n", "Database", "HostName", std::nullopt},
    {"KeyBeforeAnySectionBelongsToNone", "HostName=db1\r\n[Database]\r\n", "Database", "HostName", std::nullopt},
    {"DoubleQuotesStripped", "[Database]\r\nHostName=\" db1 \"\r\n", "Database", "HostName", " db1 "},
    {"SingleQuotesStripped", "[Database]\r\nHostName='db1'\r\n", "Database", "HostName", "db1"},
    {"OnlyOnePairStripped", "[Database]\r\nHostName=\"\"db1\"\"\r\n", "Database", "HostName", "\"db1\""},
    {"MismatchedQuotesKept", "[Database]\r\nHostName=\"db1'\r\n", "Database", "HostName", "\"db1'"},
    {"LoneQuoteKept", "[Database]\r\nHostName=\"\r\n", "Database", "HostName", "\""},
    {"InnerQuotesKept", "[Database]\r\nHostName=\"a\"b\"\r\n", "Database", "HostName", "a\"b"},
    {"QuotesOnlyGiveEmptyText", "[Database]\r\nHostName=''\r\n", "Database", "HostName", ""},
    {"ValueSplitAtFirstEquals", "[Database]\r\nHostName==a=b\r\n", "Database", "HostName", "=a=b"},
    {"InlineSemicolonIsPartOfValue", "[Database]\r\nHostName=db1 ;x\r\n", "Database", "HostName", "db1 ;x"},
    {"FirstDuplicateKeyWins", "[Database]\r\nHostName=first\r\nHostName=second\r\n", "Database", "HostName", "first"},
    {"FirstDuplicateSectionWinsWhole", "[Database]\r\nPort=1\r\n[DATABASE]\r\nHostName=second\r\n", "Database",
     "HostName", std::nullopt},
    {"CommentLine", "[Database]\r\n;HostName=commented\r\n", "Database", "HostName", std::nullopt},
    {"IndentedCommentLine", "[Database]\r\n \t;HostName=commented\r\nHostName=db1\r\n", "Database", "HostName", "db1"},
    {"LineWithoutEqualsIgnored", "[Database]\r\nHostName\r\nHostName=db1\r\n", "Database", "HostName", "db1"},
    {"MissingBracketIsNoHeader", "[Options]\r\n[Database\r\nMode=2\r\n", "Options", "Mode", "2"},
    {"MissingBracketSectionNotFound", "[Database\r\nHostName=db1\r\n", "Database", "HostName", std::nullopt},
    {"TextAfterBracketIgnored", "[Database]x\r\nHostName=db1\r\n", "Database", "HostName", "db1"},
    {"NameRunsToLastBracket", "[Database]]\r\nHostName=db1\r\n", "Database", "HostName", std::nullopt},
    {"NulEndsValue", "[Database]\r\nHostName=db\0x\r\nPort=7\r\n"s, "Database", "HostName", "db"},
    {"NulDoesNotEndLine", "[Database]\r\nHostName=db\0x\r\nPort=7\r\n"s, "Database", "Port", "7"},
    {"QuotesStrippedAfterNulCut", "[Database]\r\nHostName=\"db\"\0x\r\n"s, "Database", "HostName", "db"},
    {"NulInSectionName", "[Data\0base]\r\nHostName=db1\r\n"s, "Database", "HostName", std::nullopt},
    {"NulLinesSkipped", "[Database]\r\n\0\0\0\r\nHostName=db1\r\n"s, "Database", "HostName", "db1"},
    {"HighBytesAsRead", "[Database]\r\nHostName=\x8A\x9A\xC8\xE8\xA0\xFF\r\n", "Database", "HostName",
     "\x8A\x9A\xC8\xE8\xA0\xFF"},
    {"NonBreakingSpaceIsNoBlank", "[Database]\r\n\xA0HostName=db1\r\n", "Database", "HostName", std::nullopt},
    {"Utf8MarkSkipped", "\xEF\xBB\xBF[Database]\r\nHostName=db1\r\n", "Database", "HostName", "db1"},
    {"Utf16LittleEndian", "\xFF\xFE[\0D\0a\0t\0a\0b\0a\0s\0e\0]\0\r\0\n\0H\0o\0s\0t\0N\0a\0m\0e\0=\0d\0b\0\x0E\x01"s,
     "Database", "HostName", "db?"},
    {"LongValueCut", "[Database]\r\nHostName=" + Repeat('a', 3000) + "\r\n", "Database", "HostName", Repeat('a', 2047)},
    {"QuotesStrippedBeforeCut", "[Database]\r\nHostName=\"" + Repeat('a', 2047) + "\"\r\n", "Database", "HostName",
     Repeat('a', 2047)},
    {"MegabyteLineThenKey", "[Database]\r\nPassword=" + Repeat('x', 1 << 20) + "\r\nHostName=db1\r\n", "Database",
     "HostName", "db1"},
    {"MegabyteLineWithoutEquals", "[Database]\r\n" + Repeat('[', 1 << 20) + "\r\nHostName=db1\r\n", "Database",
     "HostName", "db1"},
};

class PrivateProfileRead : public testing::TestWithParam<ReadCase>
{
};

TEST_P(PrivateProfileRead, FollowsThePlatformRules)
{
    const ReadCase& c = GetParam();
    EXPECT_EQ(PrivateProfile::FromText(c.Text).Find(c.Section, c.Key), c.Expected);
}

TEST_P(PrivateProfileRead, ReadsTheSameFromAFile)
{
    const ReadCase& c = GetParam();
    const test::TempFolder folder;
    EXPECT_EQ(PrivateProfile::FromFile(folder.Write("s.ini", c.Text)).Find(c.Section, c.Key), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, PrivateProfileRead, testing::ValuesIn(ReadCases), CaseName());

TEST(PrivateProfile, AbsentKeyGivesDefaultAndPresentEmptyKeyGivesEmptyText)
{
    const PrivateProfile profile = PrivateProfile::FromText("[Database]\r\nHostName=\r\n");
    EXPECT_EQ(profile.ReadString("Database", "HostName", "127.0.0.1"), "");
    EXPECT_EQ(profile.ReadString("Database", "Username", "vardeno"), "vardeno");
}

TEST(PrivateProfile, UnusableFilesReadAsFilesWithoutKeys)
{
    const test::TempFolder folder;
    std::filesystem::create_directories(folder.Path() / "folder.ini");
    const std::filesystem::path unreadable = folder.Write("unreadable.ini", "[Database]\r\nHostName=db1\r\n");
    ::chmod(unreadable.c_str(), 0);
    const std::filesystem::path pipe = folder.Path() / "pipe.ini";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);

    // /proc/self/mem is a regular file that fails on read even for root.
    for (const std::filesystem::path& path :
         {folder.Path() / "missing.ini", folder.Path() / "folder.ini", folder.Path() / "missing" / "x.ini", pipe,
          std::filesystem::path("/proc/self/mem")}) {
        EXPECT_EQ(PrivateProfile::FromFile(path).ReadString("Database", "HostName", "dflt"), "dflt") << path;
    }
    // Root reads it regardless of its mode, so as root this one check runs in a child process that
    // has given up root for "nobody" (the folder lets it through; the file's mode stops it).
    // A readable file beside it shows that the child reaches the folder at all.
    const std::filesystem::path readable = folder.Write("readable.ini", "[Database]\r\nHostName=db1\r\n");
    ::chmod(readable.c_str(), 0644);
    if (::geteuid() == 0) {
        ::chmod(folder.Path().c_str(), 0711);
    }
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                                 ::setresuid(65534, 65534, 65534) != 0)) {
            ::_exit(3);
        }
        if (PrivateProfile::FromFile(readable).ReadString("Database", "HostName", "dflt") != "db1") {
            ::_exit(4);
        }
        const bool readAsWithoutKeys =
            PrivateProfile::FromFile(unreadable).ReadString("Database", "HostName", "dflt") == "dflt";
        ::_exit(readAsWithoutKeys ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the reading child ended by signal " << WTERMSIG(status);
    EXPECT_NE(WEXITSTATUS(status), 3) << "the child could not give up root";
    EXPECT_NE(WEXITSTATUS(status), 4) << "the child could not read a readable file in the folder";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a file without read permission was read";
}

TEST(PrivateProfile, BinaryGarbageGivesDefaultsOrWhatTheRulesGive)
{
    std::string garbage;
    for (int i = 0; i < 200000; ++i) {
        garbage.push_back(static_cast<char>((i * 7919 + i / 13) & 0xFF));
    }
    const PrivateProfile profile = PrivateProfile::FromText(garbage + "\n[Options]\nMode=5\n");
    EXPECT_EQ(profile.ReadInteger("Options", "Mode", 0), 5);
    EXPECT_EQ(profile.ReadString("Database", "HostName", "dflt"), "dflt");
}

struct IntegerCase
{
    const char* Text;
    std::optional<std::int32_t> Expected;
};

const IntegerCase IntegerCases[] = {
    {"3306", 3306},
    {"+3306", 3306},
    {"-1", -1},
    {"0", 0},
    {"-0", 0},
    {"0003306", 3306},
    {"0x0CEA", 3306},
    {"0X0cea", 3306},
    {"$CEA", 3306},
    {"xcea", 3306},
    {"XCEA", 3306},
    {"-$10", -16},
    {"+0x10", 16},
    {"$7FFFFFFF", 2147483647},
    {"$80000000", -2147483647 - 1},
    {"0xFFFFFFFF", -1},
    {"-0xFFFFFFFF", 1},
    {"$00000001", 1},
    {"2147483647", 2147483647},
    {"-2147483648", -2147483647 - 1},
    {"2147483648", std::nullopt},
    {"-2147483649", std::nullopt},
    {"99999999999999999999999999", std::nullopt},
    {"$123456789", std::nullopt},
    {"0x", std::nullopt},
    {"$", std::nullopt},
    {"x", std::nullopt},
    {"0xG", std::nullopt},
    {"", std::nullopt},
    {"-", std::nullopt},
    {"+-1", std::nullopt},
    {"abc", std::nullopt},
    {"12a", std::nullopt},
    {"3306 ", std::nullopt},
    {" 3306", std::nullopt},
    {"33 06", std::nullopt},
    {"0b101", std::nullopt},
    {"1e3", std::nullopt},
    {"\xD9\xA3", std::nullopt},
};

// Shown in test names: the text, with bytes outside printable ASCII in hex.
void PrintTo(const IntegerCase& c, std::ostream* out)
{
    *out << '"';
    for (const char ch : std::string_view(c.Text)) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte > 0x20 && byte < 0x7F) {
            *out << ch;
        } else {
            *out << "\\x" << std::hex << static_cast<int>(byte) << std::dec;
        }
    }
    *out << '"';
}

class ProfileInteger : public testing::TestWithParam<IntegerCase>
{
};

TEST_P(ProfileInteger, ConvertsOrRefuses)
{
    EXPECT_EQ(ParseProfileInteger(GetParam().Text), GetParam().Expected);
}

// The test's name says the text: letters and digits as they are, the rest spelt out.
std::string IntegerCaseName(const testing::TestParamInfo<IntegerCase>& testCase)
{
    std::string name;
    for (const char ch : std::string_view(testCase.param.Text)) {
        const auto byte = static_cast<unsigned char>(ch);
        if (std::isalnum(byte) != 0 && byte < 0x80) {
            name.push_back(ch);
        } else if (ch == '+') {
            name += "Plus";
        } else if (ch == '-') {
            name += "Minus";
        } else if (ch == '$') {
            name += "Dollar";
        } else if (ch == ' ') {
            name += "Blank";
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "x%02X", byte);
            name += hex;
        }
    }
    return name.empty() ? "Empty" : name;
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileInteger, testing::ValuesIn(IntegerCases), IntegerCaseName);

TEST(PrivateProfile, IntegerKeyTakesDefaultWhenAbsentEmptyOrUnreadable)
{
    const PrivateProfile profile =
        PrivateProfile::FromText("[Database]\r\nPort=\r\n[Options]\r\nMode=' -1 '\r\n[Security]\r\nPort=\"$CEA\"\r\n");
    EXPECT_EQ(profile.ReadInteger("Database", "Port", 3306), 3306);
    EXPECT_EQ(profile.ReadInteger("Options", "Mode", 9), 9);
    EXPECT_EQ(profile.ReadInteger("Security", "Port", 1), 3306);
    EXPECT_EQ(profile.ReadInteger("Security", "Mode", 42), 42);
}

} // namespace
} // namespace selvo

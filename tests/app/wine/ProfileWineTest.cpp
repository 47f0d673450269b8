// Our private-profile reader against the platform's own: a corpus of settings files typed the way
// people type them (and worse) is read once by the platform's reader under Wine, and every answer
// must be ours too.
#include "PrivateProfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <optional>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace selvo {
namespace {

using namespace std::string_literals;

struct CorpusFile
{
    std::string Name;
    std::string Bytes;
};

const char* const Keys[][2] = {{"Database", "HostName"}, {"Database", "DatabaseName"}, {"Database", "Port"},
                               {"Database", "Username"}, {"Database", "Password"},     {"Options", "Mode"},
                               {"Security", "HostName"}, {"Security", "Database"},     {"Security", "Port"},
                               {"Security", "Username"}};

std::string Escape(std::string_view text)
{
    std::string escaped;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7F && c != '\\') {
            escaped.push_back(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            escaped += hex;
        }
    }
    return escaped;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A';
}

// Whether some line of the file is the key alone, without '=' (names compared as the reader does).
bool HasKeyWithoutEquals(const std::string& bytes, std::string_view key)
{
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = std::min(bytes.find_first_of("\r\n", start), bytes.size());
        std::string_view line = std::string_view(bytes).substr(start, end - start);
        start = end + 1;
        while (!line.empty() && IsBlank(line.front())) {
            line.remove_prefix(1);
        }
        while (!line.empty() && IsBlank(line.back())) {
            line.remove_suffix(1);
        }
        if (line.find('=') != std::string_view::npos) {
            continue;
        }
        line = line.substr(0, line.find('\0'));
        if (line.size() == key.size() && std::equal(line.begin(), line.end(), key.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
            })) {
            return true;
        }
    }
    return false;
}

struct Answer
{
    const CorpusFile& File;
    std::string_view Section;
    std::string_view Key;
    const std::optional<std::string>& Ours;
    const std::string& Wine;
};

// Where Wine's reader and ours part on purpose: each excuses the answers for one file, section and
// key, and only where the rule's own condition holds too; the test knows how many answers each
// kind excuses in this corpus, so that a rule can neither hide a new difference nor go stale.
struct Excused
{
    const char* File;
    const char* Section;
    const char* Key;
};

struct Exception
{
    const char* Why;
    bool (*Applies)(const Answer&);
    std::vector<Excused> Where;
};

bool Always(const Answer&)
{
    return true;
}

const Exception Exceptions[] = {
    // Wine converts a UTF-8 file that starts with its mark to the ANSI code page. Settings are
    // single-byte text used as read: we skip the mark and keep the bytes.
    {"UTF-8 text after a byte order mark is kept as bytes", Always, {{"Utf8MarkNonAscii", "Database", "HostName"}}},
    // A UTF-16 file's characters outside ASCII have no fixed single-byte form here: we give '?'.
    {"UTF-16 characters outside ASCII become '?'", Always, {{"Utf16NonAscii", "Database", "HostName"}}},
    // Wine gives 2046 characters for a quoted value with exactly 2047 between the quotes. The rule
    // is: quotes off, then a value longer than 2047 is cut. This one is not longer, so it stays whole.
    {"a quoted value of exactly 2047 characters is not cut",
     [](const Answer& a) {
         return a.Ours && a.Ours->size() == PrivateProfile::MaxValueLength &&
                a.Wine == "2046 " + Escape(std::string_view(*a.Ours).substr(0, 2046));
     },
     {{"LongValues", "Database", "DatabaseName"}, {"Generated64", "Security", "Database"}}},
    // To Wine a line that is a key alone is that key without a value, which hides a later line
    // of the key: the default comes back. Lines without '=' are ignored, so the later line counts.
    {"a line without '=' does not hide a later line of the same key",
     [](const Answer& a) { return a.Ours && a.Wine == "absent" && HasKeyWithoutEquals(a.File.Bytes, a.Key); },
     {{"KeyWithoutEqualsFirst", "Database", "HostName"}, {"Generated191", "Database", "Port"}}},
};

bool SameName(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

bool Excuses(const Exception& exception, const Answer& answer)
{
    return exception.Applies(answer) && std::ranges::any_of(exception.Where, [&](const Excused& where) {
               return answer.File.Name == where.File && SameName(answer.Section, where.Section) &&
                      SameName(answer.Key, where.Key);
           });
}

std::vector<CorpusFile> HandWrittenCases()
{
    const std::string a2047(2047, 'a');
    return {
        {"Plain", "[Database]\r\nHostName=db\r\nDatabaseName=acc\r\nPort=3306\r\nUsername=u\r\nPassword=fgh\r\n"
                  "[Options]\r\nMode=1\r\n[Security]\r\nHostName=s\r\nDatabase=d\r\nPort=$CEA\r\nUsername=v\r\n"},
        {"Empty", ""},
        {"Utf8Mark", "\xEF\xBB\xBF[Database]\r\nHostName=bom\r\n"},
        {"Utf8MarkNonAscii", "\xEF\xBB\xBF[Database]\r\nHostName=\xC5\xA1\xC4\x8D\r\n"},
        {"Utf8MarkTwice", "\xEF\xBB\xBF\xEF\xBB\xBF[Database]\r\nHostName=a\r\n"},
        {"Utf8MarkInValue", "[Database]\r\nHostName=\xEF\xBB\xBF"
                            "a\r\n"},
        {"Utf16Little", "\xFF\xFE[\0D\0a\0t\0a\0b\0a\0s\0e\0]\0\r\0\n\0P\0o\0r\0t\0=\0\x37\0"s},
        {"Utf16Big", "\xFE\xFF\0[\0O\0p\0t\0i\0o\0n\0s\0]\0\n\0M\0o\0d\0e\0=\0\x32"s},
        {"Utf16NonAscii", "\xFF\xFE[\0D\0a\0t\0a\0b\0a\0s\0e\0]\0\n\0H\0o\0s\0t\0N\0a\0m\0e\0=\0\x61\x01"s},
        {"Utf16WithoutMark", "[\0D\0a\0t\0a\0b\0a\0s\0e\0]\0\n\0P\0o\0r\0t\0=\0\x37\0"s},
        {"MissingBracket", "[Options]\r\nMode=1\r\n[Database\r\nHostName=x\r\nMode=2\r\n"},
        {"MissingBracketAfterOther", "[Options]\r\n[Database\r\nMode=2\r\n"},
        {"BracketThenText", "[Database]x\r\nHostName=a\r\n"},
        {"TwoBrackets", "[Database]]\r\nHostName=a\r\n[Options]x]\r\nMode=3\r\n"},
        {"OpenTwice", "[[Database]\r\nHostName=a\r\n"},
        {"EmptySectionName", "[]\r\nHostName=a\r\n[ ]\r\nPort=1\r\n"},
        {"SectionWithEquals", "[Database]=x\r\nHostName=a\r\n"},
        {"KeyLineStartingWithBracket", "[Database]\r\n[HostName=a\r\nPort=[1]\r\n"},
        {"DuplicateSections", "[Database]\r\nHostName=1\r\n[database]\r\nHostName=2\r\nPort=5\r\n"},
        {"DuplicateKeys", "[Database]\r\nPort=1\r\nport=2\r\nPORT=3\r\n"},
        {"KeyBeforeSection", "HostName=none\r\nMode=4\r\n[Database]\r\n"},
        {"NulInValue", "[Database]\r\nHostName=a\0b\r\nPort=7\r\nUsername=\"ab\0c\"\r\nPassword=\"ab\"\0x\r\n"s},
        {"NulInNames", "[Data\0base]\r\nHostName=1\r\n[Database]\r\nHost\0Name=2\r\nPort\0=3\r\nUsername \0x=4\r\n"s},
        {"NulLines", "\0[Database]\r\nHostName=1\r\n[Database]\r\n\0\0\0\r\n\0HostName=2\r\nPort=\0 3\r\n"s},
        {"NulEverywhere", std::string(4096, '\0') + "\r\n[Options]\r\nMode=9\r\n"},
        {"BlanksOfEveryKind", "\v[\fDatabase\x1A]\t\r\n\x1AHostName\v= \t\"\fa\v\"\x1A \r\n\x0B;Port=1\r\n"},
        {"OtherControlBytes", "[Database]\r\nHostName=\x01x\x01\r\nPort=\x1B\x1C\x1F\r\nUsername=\x7F\x85\xA0\r\n"},
        {"Quotes", "[Database]\r\nHostName=\"\"\r\nDatabaseName=''\r\nPort=\"\r\nUsername=\"'\"\r\nPassword=\"\"\"\r\n"
                   "[Security]\r\nHostName='a\"\r\nDatabase=\" a \"\r\nPort= ' 5' \r\nUsername=\"a\" \r\n"},
        {"LongValues", "[Database]\r\nHostName=" + a2047 + "bcd\r\nDatabaseName=\"" + a2047 + "\"\r\nPort=\"" + a2047 +
                           "\r\nUsername=\"" + a2047.substr(1) + "\"\r\nPassword=" + a2047 + "\r\n"},
        {"MegabyteLine", "[Database]\r\nHostName=" + std::string(1 << 20, 'h') + "\r\nPort=5\r\n" +
                             std::string(1 << 20, 'x') + "\r\nUsername=u\r\n"},
        {"HighBytes", "[Database]\r\nHostName=\x80\x81\x8A\x8D\x8F\x90\x9A\x9D\xC8\xE8\xFF\r\n\xA0Port=1\r\n"},
        {"LineEndings", "[Database]\rHostName=cr\n\rPort=1\r\r\nUsername=u\n[Options]\r\n\r\nMode=2"},
        {"CommentsAndNoEquals", "[Database]\r\n;HostName=c\r\n  ;Port=1\r\nUsername\r\n=x\r\nPassword==p\r\n"},
        {"KeyWithoutEqualsFirst", "[Database]\r\nHostName\r\nHostName=db1\r\nPort=1\r\nPort\r\n"},
        {"CtrlZ", "[Database]\r\nHostName=a\x1A"
                  "b\r\n\x1A\r\nPort=\x1A\r\n[Options]\r\nMode=1\x1A\r\n"},
    };
}

// Settings files as a careless or malicious hand might leave them, from a fixed seed.
std::vector<CorpusFile> GeneratedCases(int count)
{
    std::mt19937 random(20261210U);
    const auto pick = [&random](const auto& choices) {
        return choices[std::uniform_int_distribution<std::size_t>(0, std::size(choices) - 1)(random)];
    };
    const auto chance = [&random](int percent) { return std::uniform_int_distribution<int>(0, 99)(random) < percent; };
    const auto randomBytes = [&random](std::size_t length, bool lineEnds) {
        std::string bytes;
        for (std::size_t i = 0; i < length; ++i) {
            char c = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
            if (!lineEnds && (c == '\r' || c == '\n')) {
                c = 'q';
            }
            bytes.push_back(c);
        }
        return bytes;
    };

    const std::string sections[] = {"Database", "database", "DATABASE", "Options",   "oPTIONS",     "Security",
                                    "security", "Other",    "",         "Data base", "Database\0x"s};
    const std::string keys[] = {"HostName", "hostname", "DatabaseName", "Port",      "PORT",  "Username", "Password",
                                "Mode",     "mode",     "Database",     "Host Name", "Porto", "Mode\0"s};
    const std::string blanks[] = {"", "", " ", "\t", "  \t", "\v", "\f", "\x1A", "\xA0", "\x01"};
    const std::string endings[] = {"\r\n", "\r\n", "\n", "\r", "\n\r", "\r\r\n", "\r\n\r\n"};
    const std::string quotes[] = {"", "", "\"", "'"};
    const std::string words[] = {"",    "db.local", "3306", "0x0CEA", "$CEA",       "x7fffffff",        "-1",  "+12",
                                 "a b", "x=y",      "[x]",  ";semi",  "2147483648", "\xC8\xE8\x8A\x9A", "fgh", "\"",
                                 "'",   "a\0b"s,    "@",    "=",      "\"in\"side", "$80000000"};

    std::vector<CorpusFile> files;
    for (int n = 0; n < count; ++n) {
        std::string text;
        const int lines = std::uniform_int_distribution<int>(1, 14)(random);
        for (int line = 0; line < lines; ++line) {
            const int kind = std::uniform_int_distribution<int>(0, 99)(random);
            if (kind < 20) {
                std::string header = pick(blanks) + "[" + pick(blanks) + pick(sections) + pick(blanks);
                if (!chance(10)) {
                    header += "]";
                }
                if (chance(10)) {
                    header += chance(50) ? "]" : " junk";
                }
                text += header;
            } else if (kind < 80) {
                text += pick(blanks) + (chance(5) ? ";" : "") + pick(keys) + pick(blanks);
                if (!chance(7)) {
                    const std::string quote = pick(quotes);
                    std::string value =
                        chance(8) ? std::string(std::uniform_int_distribution<std::size_t>(2040, 2060)(random), 'v')
                                  : pick(words);
                    if (chance(10)) {
                        value += randomBytes(std::uniform_int_distribution<std::size_t>(1, 12)(random), false);
                    }
                    text += "=" + pick(blanks) + quote + pick(blanks) + value + pick(blanks) +
                            (chance(80) ? quote : pick(quotes)) + pick(blanks);
                }
            } else if (kind < 90) {
                text += randomBytes(std::uniform_int_distribution<std::size_t>(0, 40)(random), true);
            } else if (kind < 95) {
                text += pick(blanks);
            } else {
                text += pick(blanks) + ";" + pick(words);
            }
            if (line + 1 < lines || chance(80)) {
                text += pick(endings);
            }
        }
        if (text.starts_with("\xEF\xBB\xBF") || text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
            text.insert(0, "\r\n"); // a mark by chance would make it a Unicode file
        }
        files.push_back({"Generated" + std::to_string(n), text});
    }
    return files;
}

std::string Quoted(const std::filesystem::path& path)
{
    std::string quoted = "'";
    for (const char c : path.string()) {
        quoted += c == '\'' ? "'\\''"s : std::string(1, c);
    }
    return quoted + "'";
}

int RunShell(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ProfileReaderAgainstWine, GivesThePlatformsAnswerForEveryKey)
{
    const std::filesystem::path work = SELVO_WINE_WORK;
    const std::filesystem::path corpus = work / "corpus";
    const std::filesystem::path prefix = work / "prefix";
    std::filesystem::remove_all(corpus);
    std::filesystem::create_directories(corpus);

    std::vector<CorpusFile> files = HandWrittenCases();
    for (CorpusFile& file : GeneratedCases(400)) {
        files.push_back(std::move(file));
    }
    std::ofstream list(work / "list.txt", std::ios::trunc);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::filesystem::path path = corpus / (std::to_string(i) + ".ini");
        std::ofstream(path, std::ios::binary)
            .write(files[i].Bytes.data(), static_cast<std::streamsize>(files[i].Bytes.size()));
        list << path.string() << "\n";
    }
    list.close();

    // Wine without a display, in a prefix of its own; it is made once and then reused.
    const std::string environment =
        "env -u DISPLAY WINEPREFIX=" + Quoted(prefix) + " WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= ";
    const std::string wineServerWait = environment + Quoted(SELVO_WINESERVER) + " -w";
    if (!std::filesystem::exists(prefix / "system.reg")) {
        ASSERT_EQ(RunShell(environment + Quoted(SELVO_WINE64) + " wineboot --init >" + Quoted(work / "wineboot.log") +
                           " 2>&1"),
                  0);
        RunShell(wineServerWait);
    }
    const std::filesystem::path answers = work / "answers.txt";
    const int status = RunShell(environment + Quoted(SELVO_WINE64) + " " + Quoted(SELVO_PROFILE_DUMP) + " " +
                                Quoted(work / "list.txt") + " >" + Quoted(answers) + " 2>" + Quoted(work / "wine.log"));
    RunShell(wineServerWait); // leave no Wine process behind
    ASSERT_EQ(status, 0) << "see " << (work / "wine.log");

    std::ifstream in(answers);
    std::string line;
    std::size_t agreed = 0;
    std::size_t differed = 0;
    std::map<std::string, std::size_t> excepted;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back(); // the helper's standard output is in text mode
        }
        std::istringstream fields(line);
        std::size_t index = 0;
        std::string section;
        std::string key;
        fields >> index >> section >> key;
        ASSERT_LT(index, files.size()) << line;
        std::string wine;
        std::getline(fields, wine);
        if (!wine.empty() && wine.front() == ' ') {
            wine.erase(0, 1);
        }
        const CorpusFile& file = files[index];
        const std::optional<std::string> value = PrivateProfile::FromText(file.Bytes).Find(section, key);
        const std::string ours = value ? std::to_string(value->size()) + " " + Escape(*value) : "absent";
        if (ours == wine) {
            ++agreed;
            continue;
        }
        const Answer answer{file, section, key, value, wine};
        const auto exception = std::ranges::find_if(Exceptions, [&](const Exception& e) { return Excuses(e, answer); });
        if (exception != std::end(Exceptions)) {
            ++excepted[exception->Why];
            continue;
        }
        ADD_FAILURE() << "ours: " << ours.substr(0, 200) << "\n  Wine: " << wine.substr(0, 200) << "\n  in "
                      << file.Name << " (" << (corpus / (std::to_string(index) + ".ini")).string() << ") " << section
                      << "/" << key << "\n  file: " << Escape(file.Bytes.substr(0, 300));
        ++differed;
    }
    std::size_t excusedTotal = 0;
    for (const Exception& exception : Exceptions) {
        // One answer for each file, section and key it names.
        EXPECT_EQ(excepted[exception.Why], exception.Where.size()) << "excused: " << exception.Why;
        std::cout << "excused " << excepted[exception.Why] << " answers: " << exception.Why << "\n";
        excusedTotal += excepted[exception.Why];
    }
    EXPECT_EQ(agreed + excusedTotal + differed, files.size() * std::size(Keys)) << "Wine gave too few answers";
}

} // namespace
} // namespace selvo

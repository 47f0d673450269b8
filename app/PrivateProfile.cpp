#include "PrivateProfile.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace selvo {
namespace {

class FileDescriptor final
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return m_fd; }

private:
    int m_fd;
};

std::string ReadWholeFile(const std::filesystem::path& path)
{
    // O_NONBLOCK: opening a pipe or a device someone left at the path must not hang start-up.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.Get() < 0) {
        return {};
    }
    struct stat status
    {
    };
    if (::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return {};
    }
    std::string text;
    std::array<char, 65536> chunk{};
    while (text.size() < PrivateProfile::MaxFileSize) {
        const std::size_t wanted = std::min(chunk.size(), PrivateProfile::MaxFileSize - text.size());
        const ssize_t got = ::read(file.Get(), chunk.data(), wanted);
        if (got <= 0) {
            break;
        }
        text.append(chunk.data(), static_cast<std::size_t>(got));
    }
    return text;
}

// Unicode settings files (Notepad's "Unicode" and "UTF-8" choices) carry a byte order mark.
// ASCII comes through unchanged; other characters have no single-byte form here and become '?'.
std::string NarrowUnicode(std::string text)
{
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.erase(0, 3);
        return text;
    }
    const bool little = text.starts_with("\xFF\xFE");
    const bool big = text.starts_with("\xFE\xFF");
    if (!little && !big) {
        return text;
    }
    std::string narrow;
    narrow.reserve(text.size() / 2);
    for (std::size_t i = 2; i + 1 < text.size(); i += 2) {
        const auto first = static_cast<unsigned char>(text[i]);
        const auto second = static_cast<unsigned char>(text[i + 1]);
        const unsigned unit = little ? (second << 8U) | first : (first << 8U) | second;
        narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return narrow;
}

constexpr bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Names and values are C strings to the platform's reader: a NUL byte ends them.
std::string_view CutAtNul(std::string_view text)
{
    return text.substr(0, text.find('\0'));
}

constexpr char ToLowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) { return ToLowerAscii(x) == ToLowerAscii(y); });
}

std::string_view StripQuotes(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

constexpr int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

PrivateProfile::PrivateProfile(std::string text) : m_text(std::move(text)) {}

PrivateProfile PrivateProfile::FromFile(const std::filesystem::path& path)
{
    return PrivateProfile(NarrowUnicode(ReadWholeFile(path)));
}

PrivateProfile PrivateProfile::FromText(std::string text)
{
    if (text.size() > MaxFileSize) {
        text.resize(MaxFileSize);
    }
    return PrivateProfile(NarrowUnicode(std::move(text)));
}

std::optional<std::string> PrivateProfile::Find(std::string_view section, std::string_view key) const
{
    const std::string_view text = m_text;
    bool inSection = false;
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        const std::size_t lineEnd = std::min(text.find_first_of("\r\n", lineStart), text.size());
        const std::string_view line = Trim(text.substr(lineStart, lineEnd - lineStart));
        lineStart = lineEnd + 1;
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            // The name runs to the last ']'; a line without one is no section header.
            const std::size_t close = line.rfind(']');
            if (close != std::string_view::npos && close > 0) {
                if (inSection) {
                    return std::nullopt; // a later section of the same name is never looked at
                }
                inSection = EqualsIgnoringCase(CutAtNul(Trim(line.substr(1, close - 1))), section);
                continue;
            }
        }
        if (!inSection) {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || !EqualsIgnoringCase(CutAtNul(Trim(line.substr(0, equals))), key)) {
            continue;
        }
        const std::string_view value = StripQuotes(CutAtNul(Trim(line.substr(equals + 1))));
        return std::string(value.substr(0, MaxValueLength));
    }
    return std::nullopt;
}

std::string PrivateProfile::ReadString(std::string_view section, std::string_view key,
                                       std::string_view defaultValue) const
{
    return Find(section, key).value_or(std::string(defaultValue));
}

std::int32_t PrivateProfile::ReadInteger(std::string_view section, std::string_view key,
                                         std::int32_t defaultValue) const
{
    return ParseProfileInteger(ReadString(section, key, "")).value_or(defaultValue);
}

std::optional<std::int32_t> ParseProfileInteger(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::size_t prefix = 0;
    if (text.starts_with('$') || text.starts_with('x') || text.starts_with('X')) {
        prefix = 1;
    } else if (text.starts_with("0x") || text.starts_with("0X")) {
        prefix = 2;
    }
    if (prefix > 0) {
        const std::string_view digits = text.substr(prefix);
        if (digits.empty() || digits.size() > 8) {
            return std::nullopt;
        }
        std::uint32_t pattern = 0;
        for (const char c : digits) {
            const int digit = HexDigitValue(c);
            if (digit < 0) {
                return std::nullopt;
            }
            pattern = (pattern << 4U) | static_cast<std::uint32_t>(digit);
        }
        if (negative) {
            pattern = 0U - pattern;
        }
        return static_cast<std::int32_t>(pattern);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        magnitude = std::min(magnitude * 10 + (c - '0'), limit + 1); // saturate: no overflow on long input
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

} // namespace selvo

#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace selvo {

// Our stand-in for the platform's private-profile reader (GetPrivateProfileString and friends),
// following its rules: names match regardless of ASCII case; blanks (space, tab, VT, FF, SUB)
// around names and values are dropped; a value is cut at a NUL byte, loses one pair of matching
// quotes that enclose all of it and is cut to 2047 characters; the first of duplicate sections
// (the whole section) and of duplicate keys wins; lines end at CR or LF; ';' lines are comments;
// lines without '=' and keys before the first section are never found. A leading UTF-8 byte order
// mark is skipped; a UTF-16 file (with its mark) is narrowed to single bytes.
// Immutable after construction; safe to read from any thread.
class PrivateProfile final
{
public:
    static constexpr std::size_t MaxValueLength = 2047;
    // Bytes beyond this are ignored: a settings file is a few hundred bytes, a huge one is a mistake.
    static constexpr std::size_t MaxFileSize = 64 * 1024 * 1024;

    // A missing, unreadable or non-regular file (a folder, a pipe) reads as a file without keys.
    static PrivateProfile FromFile(const std::filesystem::path& path);
    static PrivateProfile FromText(std::string text);

    // The value of key in section, or nothing when the key is absent.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    // Reads the key as text (empty default) and converts it with ParseProfileInteger.
    std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const;

private:
    explicit PrivateProfile(std::string text);

    std::string m_text;
};

// An optional sign, then decimal digits or "$", "0x", "0X", "x", "X" and 1 to 8 hexadecimal
// digits, taken as a 32-bit two's-complement pattern. Anything else, and a decimal number outside
// the 32-bit signed range, gives nothing.
std::optional<std::int32_t> ParseProfileInteger(std::string_view text);

} // namespace selvo

#include "DateTime.h"

#include <cstdio>
#include <ctime>

namespace selvo::data {

namespace {

// Reads exactly `digits` decimal digits at `pos`.
bool ReadNumber(std::string_view text, size_t& pos, size_t digits, int& value)
{
    if (pos + digits > text.size()) {
        return false;
    }
    value = 0;
    for (size_t i = 0; i < digits; ++i) {
        char c = text[pos + i];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    pos += digits;
    return true;
}

bool ReadTime(std::string_view text, size_t& pos, DateTime& value)
{
    if (!ReadNumber(text, pos, 2, value.Hour) || pos >= text.size() || text[pos++] != ':' ||
        !ReadNumber(text, pos, 2, value.Minute) || pos >= text.size() || text[pos++] != ':' ||
        !ReadNumber(text, pos, 2, value.Second)) {
        return false;
    }
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        size_t start = pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            ++pos;
        }
        if (pos == start) {
            return false;
        }
    }
    return value.Hour <= 23 && value.Minute <= 59 && value.Second <= 59;
}

} // namespace

DateTime DateTime::Now()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return DateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

std::optional<DateTime> DateTime::Parse(std::string_view text)
{
    DateTime value;
    size_t pos = 0;
    if (text.size() >= 3 && text[2] == ':') {
        if (!ReadTime(text, pos, value) || pos != text.size()) {
            return std::nullopt;
        }
        return value;
    }
    if (!ReadNumber(text, pos, 4, value.Year) || pos >= text.size() || text[pos++] != '-' ||
        !ReadNumber(text, pos, 2, value.Month) || pos >= text.size() || text[pos++] != '-' ||
        !ReadNumber(text, pos, 2, value.Day)) {
        return std::nullopt;
    }
    bool zeroDate = value.Year == 0 && value.Month == 0 && value.Day == 0;
    if (!zeroDate && (value.Month < 1 || value.Month > 12 || value.Day < 1 || value.Day > 31)) {
        return std::nullopt;
    }
    if (pos == text.size()) {
        return value;
    }
    if (text[pos] != ' ' && text[pos] != 'T') {
        return std::nullopt;
    }
    ++pos;
    if (!ReadTime(text, pos, value) || pos != text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string DateTime::ToString() const
{
    return DateText() + ' ' + TimeText();
}

std::string DateTime::DateText() const
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", Year, Month, Day);
    return text;
}

std::string DateTime::TimeText() const
{
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", Hour, Minute, Second);
    return text;
}

} // namespace selvo::data

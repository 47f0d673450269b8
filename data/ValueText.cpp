#include "ValueText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "DatabaseError.h"
#include "SqlText.h"

namespace selvo::data::ValueText {

namespace {

bool IsTextType(FieldType type)
{
    return type == FieldType::String || type == FieldType::Memo || type == FieldType::Blob ||
           type == FieldType::Unknown;
}

bool IsDateType(FieldType type)
{
    return type == FieldType::Date || type == FieldType::DateTime || type == FieldType::Time;
}

} // namespace

std::optional<int64_t> ParseInteger(std::string_view text)
{
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> ParseFloat(std::string_view text)
{
    std::string copy(TrimBlanks(text));
    if (copy.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size()) {
        return std::nullopt;
    }
    return value;
}

bool FlagIsTrue(std::string_view text)
{
    std::string upper = ToUpperAscii(TrimBlanks(text));
    if (upper == "Y" || upper == "YES" || upper == "T" || upper == "TRUE") {
        return true;
    }
    auto number = ParseInteger(upper);
    return number && *number != 0;
}

bool IsNull(FieldType type, std::optional<std::string_view> value)
{
    if (!value) {
        return true;
    }
    if (type == FieldType::Date || type == FieldType::DateTime) {
        auto parsed = DateTime::Parse(*value);
        return parsed && parsed->Year == 0 && parsed->Month == 0 && parsed->Day == 0;
    }
    return false;
}

int64_t ToLargeInt(FieldType type, std::optional<std::string_view> value)
{
    if (IsNull(type, value)) {
        return 0;
    }
    if (type == FieldType::Boolean) {
        return FlagIsTrue(*value) ? 1 : 0;
    }
    if (auto number = ParseInteger(*value)) {
        return *number;
    }
    if (auto real = ParseFloat(*value); real && std::isfinite(*real)) {
        return std::llround(*real);
    }
    throw DatabaseError(NotValid(std::string(*value), "integer value"));
}

double ToFloat(FieldType type, std::optional<std::string_view> value)
{
    if (IsNull(type, value)) {
        return 0.0;
    }
    if (type == FieldType::Boolean) {
        return FlagIsTrue(*value) ? 1.0 : 0.0;
    }
    if (auto real = ParseFloat(*value)) {
        return *real;
    }
    throw DatabaseError(NotValid(std::string(*value), "floating point value"));
}

bool ToBoolean(FieldType type, std::optional<std::string_view> value)
{
    if (IsNull(type, value)) {
        return false;
    }
    return FlagIsTrue(*value);
}

DateTime ToDateTime(FieldType type, std::optional<std::string_view> value)
{
    if (IsNull(type, value)) {
        return DateTime{};
    }
    if (auto parsed = DateTime::Parse(TrimBlanks(*value))) {
        return *parsed;
    }
    throw DatabaseError(NotValid(std::string(*value), "date and time"));
}

std::string ToText(FieldType type, std::optional<std::string_view> value)
{
    if (IsNull(type, value)) {
        return {};
    }
    switch (type) {
    case FieldType::Boolean:
        return FlagIsTrue(*value) ? "True" : "False";
    case FieldType::DateTime:
        if (auto parsed = DateTime::Parse(*value)) {
            return parsed->ToString();
        }
        break;
    case FieldType::Date:
        if (auto parsed = DateTime::Parse(*value)) {
            return parsed->DateText();
        }
        break;
    case FieldType::Time:
        if (auto parsed = DateTime::Parse(*value)) {
            return parsed->TimeText();
        }
        break;
    case FieldType::Float:
        if (auto real = ParseFloat(*value)) {
            return FloatText(*real);
        }
        break;
    default:
        break;
    }
    return std::string(*value);
}

std::string FloatText(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

std::string FromLargeInt(FieldType type, int64_t value)
{
    if (type == FieldType::Boolean) {
        return value != 0 ? "Y" : "N";
    }
    if (IsDateType(type)) {
        throw DatabaseError(NotValid(std::to_string(value), "date and time"));
    }
    return std::to_string(value);
}

std::string FromFloat(FieldType type, double value)
{
    if (type == FieldType::LargeInt) {
        if (!std::isfinite(value)) {
            throw DatabaseError(NotValid(FloatText(value), "integer value"));
        }
        return std::to_string(std::llround(value));
    }
    if (type == FieldType::Boolean) {
        return value != 0.0 ? "Y" : "N";
    }
    if (IsDateType(type)) {
        throw DatabaseError(NotValid(FloatText(value), "date and time"));
    }
    return FloatText(value);
}

std::string FromBoolean(FieldType type, bool value)
{
    if (type == FieldType::LargeInt || type == FieldType::Float) {
        return value ? "1" : "0";
    }
    if (IsDateType(type)) {
        throw DatabaseError(std::string("'") + (value ? "True" : "False") + "' is not a valid date and time");
    }
    return value ? "Y" : "N";
}

std::string FromDateTime(FieldType type, const DateTime& value)
{
    if (type == FieldType::Date) {
        return value.DateText();
    }
    if (type == FieldType::Time) {
        return value.TimeText();
    }
    if (type == FieldType::LargeInt || type == FieldType::Float || type == FieldType::Boolean) {
        throw DatabaseError(NotValid(value.ToString(), "value for this field"));
    }
    return value.ToString();
}

std::optional<std::string> FromText(FieldType type, std::string_view value, int size)
{
    if (IsTextType(type)) {
        if (size > 0 && value.size() > static_cast<size_t>(size)) {
            value = value.substr(0, static_cast<size_t>(size));
        }
        return std::string(value);
    }
    if (TrimBlanks(value).empty()) {
        return std::nullopt;
    }
    switch (type) {
    case FieldType::LargeInt:
        if (auto number = ParseInteger(value)) {
            return std::to_string(*number);
        }
        throw DatabaseError(NotValid(std::string(value), "integer value"));
    case FieldType::Float:
        if (auto real = ParseFloat(value)) {
            return FloatText(*real);
        }
        throw DatabaseError(NotValid(std::string(value), "floating point value"));
    case FieldType::Boolean: {
        std::string upper = ToUpperAscii(TrimBlanks(value));
        if (FlagIsTrue(upper)) {
            return std::string("Y");
        }
        if (upper == "N" || upper == "NO" || upper == "F" || upper == "FALSE" || ParseInteger(upper)) {
            return std::string("N");
        }
        throw DatabaseError(NotValid(std::string(value), "boolean value"));
    }
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::DateTime:
        if (auto parsed = DateTime::Parse(TrimBlanks(value))) {
            return FromDateTime(type, *parsed);
        }
        throw DatabaseError(NotValid(std::string(value), "date and time"));
    default:
        break;
    }
    return std::string(value);
}

} // namespace selvo::data::ValueText

#include "TParam.h"

#include <charconv>

#include "DatabaseError.h"
#include "SqlText.h"
#include "TZConnection.h"

namespace selvo::data {

int64_t TParam::AsLargeInt() const
{
    if (const auto* number = std::get_if<int64_t>(&m_value)) {
        return *number;
    }
    if (const auto* text = std::get_if<std::string>(&m_value)) {
        int64_t value = 0;
        auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
        if (error != std::errc() || end != text->data() + text->size()) {
            throw DatabaseError(NotValid(*text, "integer value"));
        }
        return value;
    }
    return 0;
}

std::string TParam::AsString() const
{
    if (const auto* number = std::get_if<int64_t>(&m_value)) {
        return std::to_string(*number);
    }
    if (const auto* text = std::get_if<std::string>(&m_value)) {
        return *text;
    }
    return {};
}

std::string TParam::Literal(TZConnection& connection) const
{
    if (const auto* number = std::get_if<int64_t>(&m_value)) {
        return std::to_string(*number);
    }
    if (const auto* text = std::get_if<std::string>(&m_value)) {
        return connection.Literal(*text);
    }
    return "NULL";
}

} // namespace selvo::data

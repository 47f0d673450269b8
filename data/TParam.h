#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace selvo::data {

class TZConnection;

// One named parameter of a query text (":IDEmployeeCard"). Without a value it is written as NULL.
class TParam final
{
public:
    explicit TParam(std::string name) : m_name(std::move(name)) {}

    const std::string& Name() const { return m_name; }

    void SetAsInteger(int32_t value) { m_value = int64_t{value}; }
    void SetAsLargeInt(int64_t value) { m_value = value; }
    void SetAsString(std::string value) { m_value = std::move(value); }
    void Clear() { m_value = std::monostate{}; }

    bool IsNull() const { return std::holds_alternative<std::monostate>(m_value); }
    int64_t AsLargeInt() const;
    int32_t AsInteger() const { return static_cast<int32_t>(AsLargeInt()); }
    std::string AsString() const;

    // The value as an SQL literal: decimal digits for an integer, an escaped quoted text, NULL.
    std::string Literal(TZConnection& connection) const;

private:
    std::string m_name;
    std::variant<std::monostate, int64_t, std::string> m_value;
};

} // namespace selvo::data

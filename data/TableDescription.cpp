#include "TableDescription.h"

#include <algorithm>
#include <cstdlib>

#include "SqlText.h"

namespace selvo::data {

int TableDescription::FindColumn(std::string_view name) const
{
    for (size_t i = 0; i < Columns.size(); ++i) {
        if (Columns[i].Name == name) {
            return static_cast<int>(i);
        }
    }
    for (size_t i = 0; i < Columns.size(); ++i) {
        if (EqualsIgnoreCase(Columns[i].Name, name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

namespace {

// The quoted values of "enum('Y','N')", upper-cased.
std::vector<std::string> EnumValues(std::string_view list)
{
    std::vector<std::string> values;
    size_t i = 0;
    while (i < list.size()) {
        if (list[i] != '\'') {
            ++i;
            continue;
        }
        std::string value;
        ++i;
        while (i < list.size()) {
            if (list[i] == '\'' && i + 1 < list.size() && list[i + 1] == '\'') {
                value.push_back('\'');
                i += 2;
            } else if (list[i] == '\'') {
                ++i;
                break;
            } else {
                value.push_back(list[i++]);
            }
        }
        values.push_back(ToUpperAscii(value));
    }
    return values;
}

} // namespace

FieldType FieldTypeOfColumnType(std::string_view typeText, int* size, bool* integerUpTo64Bits)
{
    std::string lower = ToLowerAscii(TrimBlanks(typeText));
    size_t paren = lower.find('(');
    std::string base = lower.substr(0, std::min(paren, lower.find(' ')));
    std::string arguments;
    if (paren != std::string::npos) {
        size_t close = lower.rfind(')');
        arguments = std::string(
            TrimBlanks(typeText).substr(paren + 1, close == std::string::npos ? std::string::npos : close - paren - 1));
    }
    if (size != nullptr) {
        *size = 0;
    }
    if (integerUpTo64Bits != nullptr) {
        *integerUpTo64Bits = false;
    }
    if (base == "tinyint" || base == "smallint" || base == "mediumint" || base == "int" || base == "integer" ||
        base == "bigint" || base == "int1" || base == "int2" || base == "int3" || base == "int4" || base == "int8" ||
        base == "middleint" || base == "serial" || base == "year" || base == "bit" || base == "bool" ||
        base == "boolean") {
        if (integerUpTo64Bits != nullptr) {
            *integerUpTo64Bits = base != "year" && base != "bit";
        }
        return FieldType::LargeInt;
    }
    if (base == "float" || base == "double" || base == "real" || base == "decimal" || base == "numeric" ||
        base == "dec" || base == "fixed") {
        return FieldType::Float;
    }
    if (base == "char" || base == "varchar" || base == "nchar" || base == "nvarchar" || base == "binary" ||
        base == "varbinary") {
        if (size != nullptr) {
            *size = std::atoi(arguments.c_str());
        }
        return FieldType::String;
    }
    if (base == "tinytext" || base == "text" || base == "mediumtext" || base == "longtext" || base == "json" ||
        base == "long") {
        return FieldType::Memo;
    }
    if (base == "tinyblob" || base == "blob" || base == "mediumblob" || base == "longblob") {
        return FieldType::Blob;
    }
    if (base == "date") {
        return FieldType::Date;
    }
    if (base == "time") {
        return FieldType::Time;
    }
    if (base == "datetime" || base == "timestamp") {
        return FieldType::DateTime;
    }
    if (base == "enum") {
        auto values = EnumValues(arguments);
        std::sort(values.begin(), values.end());
        if (values == std::vector<std::string>{"N", "Y"}) {
            return FieldType::Boolean;
        }
        if (size != nullptr) {
            size_t longest = 0;
            for (const auto& v : values) {
                longest = std::max(longest, v.size());
            }
            *size = static_cast<int>(longest);
        }
        return FieldType::String;
    }
    if (base == "set") {
        if (size != nullptr) {
            *size = static_cast<int>(arguments.size());
        }
        return FieldType::String;
    }
    return FieldType::Unknown;
}

} // namespace selvo::data

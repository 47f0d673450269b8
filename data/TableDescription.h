#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FieldType.h"

namespace selvo::data {

// One column of a table as SHOW COLUMNS describes it.
struct ColumnDescription
{
    std::string Name;
    std::string TypeText; // the server's type text, e.g. "bigint(20)", "enum('Y','N')"
    FieldType Type = FieldType::Unknown;
    int Size = 0; // characters of a CHAR/VARCHAR column, else 0
    bool Nullable = false;
    bool AutoIncrement = false;
    bool IntegerUpTo64Bits = false;
    // The default as an SQL expression for the defaults SELECT: quoted for text and date-time
    // columns, 1/0 for a flag, unchanged otherwise; nothing when the server gives none or an empty one.
    std::optional<std::string> DefaultExpression;
};

// A table's description, fetched once per table per connection.
struct TableDescription
{
    bool Exists = false;
    std::string Database;
    std::string Table;
    std::vector<ColumnDescription> Columns;
    std::vector<std::string> PrimaryKey; // in the order the server lists the key's columns

    // Index of a column: exact name first, then letter case ignored; -1 when there is none.
    int FindColumn(std::string_view name) const;
};

// The tool's type of a table column from the server's type text: enum of Y and N (any order, any
// case) is Boolean, integers of every width are LargeInt, and so on.
FieldType FieldTypeOfColumnType(std::string_view typeText, int* size = nullptr, bool* integerUpTo64Bits = nullptr);

} // namespace selvo::data

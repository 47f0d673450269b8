#pragma once

#include <string_view>

namespace selvo::data {

// Types of fields and result columns as the tool sees them. Integer columns of every width are
// LargeInt; a two-value enumeration of Y and N is Boolean; Memo and Blob are the long (stream)
// text and binary columns.
enum class FieldType
{
    Unknown,
    LargeInt,
    Float,
    Boolean,
    String,
    Memo,
    Blob,
    Date,
    Time,
    DateTime,
};

// The name that the "Type mismatch ..." text uses ("LargeInt", "String", ...).
std::string_view FieldTypeName(FieldType type);

} // namespace selvo::data

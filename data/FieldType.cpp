#include "FieldType.h"

namespace selvo::data {

std::string_view FieldTypeName(FieldType type)
{
    switch (type) {
    case FieldType::LargeInt:
        return "LargeInt";
    case FieldType::Float:
        return "Float";
    case FieldType::Boolean:
        return "Boolean";
    case FieldType::String:
        return "String";
    case FieldType::Memo:
        return "Memo";
    case FieldType::Blob:
        return "Blob";
    case FieldType::Date:
        return "Date";
    case FieldType::Time:
        return "Time";
    case FieldType::DateTime:
        return "DateTime";
    case FieldType::Unknown:
        break;
    }
    return "Unknown";
}

} // namespace selvo::data

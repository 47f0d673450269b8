#include "TField.h"

#include "TZQuery.h"
#include "ValueText.h"

namespace selvo::data {

TField::TField(TZQuery& query, std::string name, std::string fieldName, FieldType type, int size,
               std::string displayLabel, bool required)
    : m_query(query), m_name(std::move(name)), m_fieldName(std::move(fieldName)), m_type(type), m_size(size),
      m_displayLabel(std::move(displayLabel)), m_required(required), m_declared(true)
{
    m_query.AddField(*this);
}

TField::TField(Dynamic, TZQuery& query, std::string fieldName, FieldType type, int size)
    : m_query(query), m_name(query.Name() + fieldName), m_fieldName(std::move(fieldName)), m_type(type), m_size(size),
      m_required(false), m_declared(false)
{
}

TField::~TField()
{
    if (m_declared) {
        m_query.RemoveField(*this);
    }
}

namespace {

FieldType ValueType(const TField& field)
{
    int column = field.ColumnIndex();
    return column >= 0 ? field.DataSet().Columns()[static_cast<size_t>(column)].Type : field.DataType();
}

std::optional<std::string_view> ValueOf(const TField& field)
{
    int column = field.ColumnIndex();
    if (column < 0) {
        return std::nullopt;
    }
    return field.DataSet().Value(column);
}

} // namespace

bool TField::IsNull() const
{
    return ValueText::IsNull(ValueType(*this), ValueOf(*this));
}

int32_t TField::AsInteger() const
{
    return static_cast<int32_t>(AsLargeInt());
}

int64_t TField::AsLargeInt() const
{
    return ValueText::ToLargeInt(ValueType(*this), ValueOf(*this));
}

double TField::AsFloat() const
{
    return ValueText::ToFloat(ValueType(*this), ValueOf(*this));
}

bool TField::AsBoolean() const
{
    return ValueText::ToBoolean(ValueType(*this), ValueOf(*this));
}

DateTime TField::AsDateTime() const
{
    return ValueText::ToDateTime(ValueType(*this), ValueOf(*this));
}

std::string TField::AsString() const
{
    return ValueText::ToText(ValueType(*this), ValueOf(*this));
}

std::string TField::DisplayText() const
{
    return AsString();
}

void TField::SetAsInteger(int32_t value)
{
    SetAsLargeInt(value);
}

void TField::SetAsLargeInt(int64_t value)
{
    m_query.CheckEditing();
    m_query.SetValue(*this, ValueText::FromLargeInt(ValueType(*this), value));
}

void TField::SetAsFloat(double value)
{
    m_query.CheckEditing();
    m_query.SetValue(*this, ValueText::FromFloat(ValueType(*this), value));
}

void TField::SetAsBoolean(bool value)
{
    m_query.CheckEditing();
    m_query.SetValue(*this, ValueText::FromBoolean(ValueType(*this), value));
}

void TField::SetAsDateTime(const DateTime& value)
{
    m_query.CheckEditing();
    m_query.SetValue(*this, ValueText::FromDateTime(ValueType(*this), value));
}

void TField::SetAsString(std::string_view value)
{
    m_query.CheckEditing();
    m_query.SetValue(*this, ValueText::FromText(ValueType(*this), value, m_size));
}

void TField::Clear()
{
    m_query.CheckEditing();
    m_query.SetValue(*this, std::nullopt);
}

} // namespace selvo::data

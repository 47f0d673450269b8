#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "DateTime.h"
#include "FieldType.h"

namespace selvo::data {

class TZQuery;

// A named field of a query: bound by name (letter case ignored) to a result column at each opening,
// read and written through the query's current row. The data module's fields are members of the
// data module, so their addresses are stable for its whole life.
//
// Reads: a null value (and every field of a closed query) reads as 0, false, the empty text or the
// zero DateTime. Writes need the query in edit or insert state; a text put into a String field keeps
// its first Size() characters. UI thread only.
class TField final
{
public:
    // Declares a field of `query` (added to its field list, in declaration order).
    // `name` is the component name (SpareCardZQcardcode), `fieldName` the column (cardcode).
    TField(TZQuery& query, std::string name, std::string fieldName, FieldType type, int size = 0,
           std::string displayLabel = {}, bool required = false);
    ~TField();
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    const std::string& Name() const { return m_name; }
    const std::string& FieldName() const { return m_fieldName; }
    FieldType DataType() const { return m_type; }
    int Size() const { return m_size; }
    // The grid title: the label, or the field name when the field has none.
    const std::string& DisplayLabel() const { return m_displayLabel.empty() ? m_fieldName : m_displayLabel; }
    bool Required() const { return m_required; }
    TZQuery& DataSet() const { return m_query; }
    // Index of the bound result column while the query is open, -1 otherwise.
    int ColumnIndex() const { return m_column; }

    bool IsNull() const;
    int32_t AsInteger() const; // the 64-bit value cut to 32 bits, as the tool passes keys
    int64_t AsLargeInt() const;
    double AsFloat() const;
    bool AsBoolean() const;
    DateTime AsDateTime() const;
    std::string AsString() const;
    // The text a grid or an edit shows for the current row (see TZQuery::CellText).
    std::string DisplayText() const;

    void SetAsInteger(int32_t value);
    void SetAsLargeInt(int64_t value);
    void SetAsFloat(double value);
    void SetAsBoolean(bool value);
    void SetAsDateTime(const DateTime& value);
    void SetAsString(std::string_view value);
    void Clear(); // sets null

    // ---- For the query ----
    void Bind(int column) { m_column = column; }
    // A field the query made for a result column when it has no declared fields.
    struct Dynamic
    {
    };
    TField(Dynamic, TZQuery& query, std::string fieldName, FieldType type, int size);

private:
    TZQuery& m_query;
    std::string m_name;
    std::string m_fieldName;
    FieldType m_type;
    int m_size;
    std::string m_displayLabel;
    bool m_required;
    bool m_declared;
    int m_column = -1;
};

} // namespace selvo::data

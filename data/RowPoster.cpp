#include "RowPoster.h"

#include <mysql.h>

#include "DatabaseError.h"
#include "SqlText.h"
#include "TableDescription.h"
#include "ValueText.h"

namespace selvo::data {

const TableDescription& RowPoster::TargetTable() const
{
    const TableDescription* target = nullptr;
    for (const auto& column : m_query.Columns()) {
        if (column.Table == nullptr) {
            continue;
        }
        if (target != nullptr && target != column.Table) {
            throw DatabaseError("Can not update a complex query with more then one table");
        }
        target = column.Table;
    }
    if (target == nullptr) {
        throw DatabaseError("Can not update this query type");
    }
    return *target;
}

const std::vector<int>& RowPoster::KeyColumns(const TableDescription& table)
{
    if (m_query.m_keyColumns) {
        return *m_query.m_keyColumns;
    }
    const auto& columns = m_query.Columns();
    std::vector<int> keys;
    bool whole = !table.PrimaryKey.empty();
    for (const auto& keyName : table.PrimaryKey) {
        int found = -1;
        for (size_t i = 0; i < columns.size(); ++i) {
            if (columns[i].Table == &table && columns[i].Name == keyName) {
                found = static_cast<int>(i);
                break;
            }
        }
        if (found < 0) {
            whole = false;
            break;
        }
        keys.push_back(found);
    }
    if (!whole) {
        // No usable primary key: the row is found by every column that is not a long text or binary.
        keys.clear();
        for (size_t i = 0; i < columns.size(); ++i) {
            if (columns[i].Table != &table) {
                continue;
            }
            FieldType type = table.Columns[static_cast<size_t>(columns[i].TableColumn)].Type;
            if (type != FieldType::Memo && type != FieldType::Blob) {
                keys.push_back(static_cast<int>(i));
            }
        }
    }
    m_query.m_keyColumns = std::move(keys);
    return *m_query.m_keyColumns;
}

std::string RowPoster::ColumnName(int column) const
{
    const ResultColumn& result = m_query.Columns()[static_cast<size_t>(column)];
    return QuoteIdentifier(result.Table->Columns[static_cast<size_t>(result.TableColumn)].Name);
}

// The value as a literal by the table column's own type.
std::string RowPoster::Literal(int column, const std::optional<std::string>& value) const
{
    if (!value) {
        return "NULL";
    }
    const ResultColumn& result = m_query.Columns()[static_cast<size_t>(column)];
    FieldType type = result.Table->Columns[static_cast<size_t>(result.TableColumn)].Type;
    switch (type) {
    case FieldType::Boolean:
        return ValueText::FlagIsTrue(*value) ? "'Y'" : "'N'";
    case FieldType::LargeInt:
        if (auto number = ValueText::ParseInteger(*value)) {
            return std::to_string(*number);
        }
        break;
    case FieldType::Float:
        if (ValueText::ParseFloat(*value)) {
            return std::string(TrimBlanks(*value));
        }
        break;
    case FieldType::Date:
        if (auto parsed = DateTime::Parse(TrimBlanks(*value))) {
            return InQuotes(parsed->DateText());
        }
        break;
    case FieldType::Time:
        if (auto parsed = DateTime::Parse(TrimBlanks(*value))) {
            return InQuotes(parsed->TimeText());
        }
        break;
    case FieldType::DateTime:
        if (auto parsed = DateTime::Parse(TrimBlanks(*value))) {
            return InQuotes(parsed->ToString());
        }
        break;
    default:
        break;
    }
    return m_query.Connection().Literal(*value);
}

void RowPoster::PostUpdate(const RowImage& oldImage, const RowImage& newImage)
{
    const TableDescription& table = TargetTable();
    const auto& columns = m_query.Columns();
    std::string assignments;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].Table != &table || oldImage[i] == newImage[i]) {
            continue;
        }
        if (!assignments.empty()) {
            assignments += ",";
        }
        assignments += ColumnName(static_cast<int>(i)) + "=" + Literal(static_cast<int>(i), newImage[i]);
    }
    if (assignments.empty()) {
        return;
    }
    std::string condition;
    for (int key : KeyColumns(table)) {
        if (!condition.empty()) {
            condition += " AND ";
        }
        const auto& old = oldImage[static_cast<size_t>(key)];
        if (old) {
            condition += ColumnName(key) + "=" + Literal(key, old);
        } else {
            condition += ColumnName(key) + " IS NULL ";
        }
    }
    m_query.Connection().Execute("UPDATE " + QuoteIdentifier(table.Table) + " SET " + assignments + " WHERE " +
                                 condition);
}

void RowPoster::PostInsert(RowImage& newImage)
{
    const TableDescription& table = TargetTable();
    const auto& columns = m_query.Columns();
    TZConnection& connection = m_query.Connection();
    const RowImage asSet = newImage;

    std::vector<size_t> defaulted;
    std::string defaults;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].Table != &table || newImage[i]) {
            continue;
        }
        const ColumnDescription& described = table.Columns[static_cast<size_t>(columns[i].TableColumn)];
        if (described.DefaultExpression) {
            defaults += (defaulted.empty() ? "" : ",") + *described.DefaultExpression;
            defaulted.push_back(i);
        }
    }
    if (!defaulted.empty()) {
        MysqlResult result = connection.Select("SELECT " + defaults);
        MYSQL_ROW row = mysql_fetch_row(result.get());
        unsigned long* lengths = row != nullptr ? mysql_fetch_lengths(result.get()) : nullptr;
        for (size_t d = 0; row != nullptr && d < defaulted.size() && d < mysql_num_fields(result.get()); ++d) {
            if (row[d] == nullptr) {
                continue;
            }
            size_t i = defaulted[d];
            FieldType type = table.Columns[static_cast<size_t>(columns[i].TableColumn)].Type;
            try {
                newImage[i] = ValueText::FromText(type, std::string_view(row[d], lengths[d]), 0);
            } catch (const DatabaseError&) {
                // A default the column's type cannot hold (CURRENT_TIMESTAMP as text, ...) stays null.
            }
        }
    }

    std::string names;
    std::string values;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].Table != &table) {
            continue;
        }
        if (!names.empty()) {
            names += ",";
            values += ",";
        }
        names += ColumnName(static_cast<int>(i));
        values += Literal(static_cast<int>(i), newImage[i]);
    }
    connection.Execute("INSERT INTO " + QuoteIdentifier(table.Table) + " (" + names + ") VALUES (" + values + ")");
    const std::uint64_t insertSession = connection.Session();

    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].Table != &table) {
            continue;
        }
        const ColumnDescription& described = table.Columns[static_cast<size_t>(columns[i].TableColumn)];
        if (!described.AutoIncrement || !described.IntegerUpTo64Bits) {
            continue;
        }
        if (!asSet[i]) {
            MysqlResult result = connection.SelectLastInsertId(insertSession);
            MYSQL_ROW row = mysql_fetch_row(result.get());
            if (row != nullptr && row[0] != nullptr) {
                newImage[i] = std::to_string(ValueText::ToLargeInt(FieldType::LargeInt, std::string_view(row[0])));
            }
        }
        break;
    }
}

} // namespace selvo::data

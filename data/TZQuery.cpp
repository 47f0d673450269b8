#include "TZQuery.h"

#include <algorithm>

#include <mysql.h>

#include "DatabaseError.h"
#include "RowPoster.h"
#include "SelectAnalysis.h"
#include "SqlText.h"
#include "TDataSource.h"
#include "TField.h"
#include "ValueText.h"

namespace selvo::data {

namespace {

// The type of a computed column as the server reports it.
FieldType TypeOfResultField(const MYSQL_FIELD& field)
{
    switch (field.type) {
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_YEAR:
    case MYSQL_TYPE_BIT:
        return FieldType::LargeInt;
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
        return FieldType::Float;
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
        return FieldType::Date;
    case MYSQL_TYPE_TIME:
        return FieldType::Time;
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_TIMESTAMP:
        return FieldType::DateTime;
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB:
        return field.charsetnr == 63 ? FieldType::Blob : FieldType::Memo;
    default:
        return FieldType::String;
    }
}

// A named field fits a column of the same type; a floating-point field also takes any number
// (the server reports ROUND of an integer as an integer).
bool Fits(FieldType fieldType, FieldType columnType)
{
    return fieldType == columnType || (fieldType == FieldType::Float && columnType == FieldType::LargeInt);
}

} // namespace

TZQuery::TZQuery(TZConnection& connection, std::string name, bool requestLive)
    : m_connection(connection), m_name(std::move(name)), m_requestLive(requestLive)
{
    m_connection.Register(*this);
}

TZQuery::~TZQuery()
{
    CloseSilently();
    m_connection.Unregister(*this);
}

void TZQuery::SetSQL(std::string text)
{
    Close();
    m_sql = std::move(text);
    std::deque<TParam> params;
    for (auto& name : PlaceholderNames(m_sql)) {
        auto kept = std::find_if(m_params.begin(), m_params.end(),
                                 [&](const TParam& p) { return EqualsIgnoreCase(p.Name(), name); });
        if (kept != m_params.end()) {
            params.push_back(*kept);
        } else {
            params.emplace_back(name);
        }
    }
    m_params = std::move(params);
}

std::string TZQuery::ProcessedSQL()
{
    return ProcessQueryText(m_sql, [this](std::string_view name) { return ParamByName(name).Literal(m_connection); });
}

TParam& TZQuery::ParamByName(std::string_view name)
{
    for (auto& param : m_params) {
        if (EqualsIgnoreCase(param.Name(), name)) {
            return param;
        }
    }
    throw DatabaseError("Parameter '" + std::string(name) + "' not found");
}

// ---- Opening and closing ----

void TZQuery::Open()
{
    if (Active()) {
        return;
    }
    OpenSilently();
    NotifyStateChanged();
    NotifyRowsReloaded();
    NotifyCurrentRowChanged();
}

void TZQuery::OpenSilently()
{
    if (TrimBlanks(m_sql).empty()) {
        throw DatabaseError("SQL Query is empty");
    }
    m_connection.Connect();
    std::string sql = ProcessedSQL();
    m_result = m_connection.Select(sql);
    try {
        TypeColumns(sql);
        MYSQL_RES* result = m_result.get();
        m_rows.reserve(static_cast<size_t>(mysql_num_rows(result)));
        for (;;) {
            MYSQL_ROW_OFFSET offset = mysql_row_tell(result);
            if (mysql_fetch_row(result) == nullptr) {
                break;
            }
            m_rows.push_back(RowSlot{offset, -1});
        }
        BindFields();
    } catch (...) {
        CloseSilently();
        throw;
    }
    m_state = DataSetState::Browse;
    SetCurrent(m_rows.empty() ? -1 : 0, true, m_rows.empty());
}

void TZQuery::TypeColumns(const std::string& sql)
{
    MYSQL_RES* result = m_result.get();
    unsigned count = mysql_num_fields(result);
    MYSQL_FIELD* fields = mysql_fetch_fields(result);
    m_columns.assign(count, ResultColumn{});
    for (unsigned i = 0; i < count; ++i) {
        ResultColumn& column = m_columns[i];
        column.Name.assign(fields[i].name, fields[i].name_length);
        column.Type = TypeOfResultField(fields[i]);
        if (column.Type == FieldType::String) {
            column.Size = static_cast<int>(fields[i].length);
        }
    }

    SelectAnalysis analysis = AnalyseSelect(sql);
    if (analysis.Tables.empty()) {
        return;
    }
    auto describe = [this](const TableReference& table) -> const TableDescription& {
        std::shared_ptr<const TableDescription> described = m_connection.Describe(table.Database, table.Table);
        if (std::find(m_tables.begin(), m_tables.end(), described) == m_tables.end()) {
            m_tables.push_back(described);
        }
        return *described;
    };
    auto tableOf = [&](const std::string& qualifier) -> const TableReference* {
        for (int pass = 0; pass < 2; ++pass) {
            for (const auto& table : analysis.Tables) {
                bool exact = pass == 0;
                const std::string& name = table.Alias.empty() ? table.Table : table.Alias;
                if (exact ? name == qualifier : EqualsIgnoreCase(name, qualifier)) {
                    return &table;
                }
            }
        }
        for (const auto& table : analysis.Tables) {
            if (EqualsIgnoreCase(table.Table, qualifier)) {
                return &table;
            }
        }
        return nullptr;
    };

    // The select list with its star lists expanded into the tables' columns.
    struct Candidate
    {
        const TableDescription* Table = nullptr;
        int TableColumn = -1;
        const SelectItem* Item = nullptr;
        std::string Name;
    };
    std::vector<Candidate> expanded;
    for (const auto& item : analysis.Items) {
        switch (item.ItemKind) {
        case SelectItem::Kind::AllTables:
            for (const auto& table : analysis.Tables) {
                const TableDescription& description = describe(table);
                for (size_t c = 0; c < description.Columns.size(); ++c) {
                    expanded.push_back({&description, static_cast<int>(c), nullptr, description.Columns[c].Name});
                }
            }
            break;
        case SelectItem::Kind::TableStar:
            if (const TableReference* table = tableOf(item.Table)) {
                const TableDescription& description = describe(*table);
                for (size_t c = 0; c < description.Columns.size(); ++c) {
                    expanded.push_back({&description, static_cast<int>(c), nullptr, description.Columns[c].Name});
                }
            }
            break;
        case SelectItem::Kind::Column:
            expanded.push_back({nullptr, -1, &item, item.Alias.empty() ? item.Column : item.Alias});
            break;
        case SelectItem::Kind::Expression:
            expanded.push_back({nullptr, -1, &item, item.Alias});
            break;
        }
    }

    auto resolve = [&](const Candidate* candidate, const std::string& resultName, ResultColumn& column) {
        const TableDescription* table = nullptr;
        int index = -1;
        if (candidate != nullptr && candidate->Table != nullptr) {
            table = candidate->Table;
            index = candidate->TableColumn;
        } else if (candidate != nullptr && candidate->Item->ItemKind == SelectItem::Kind::Column) {
            const SelectItem& item = *candidate->Item;
            if (!item.Table.empty()) {
                if (const TableReference* ref = tableOf(item.Table)) {
                    table = &describe(*ref);
                    index = table->FindColumn(item.Column);
                }
            } else {
                for (const auto& ref : analysis.Tables) {
                    table = &describe(ref);
                    index = table->FindColumn(item.Column);
                    if (index >= 0) {
                        break;
                    }
                }
            }
        }
        if (index < 0) {
            for (const auto& ref : analysis.Tables) {
                table = &describe(ref);
                index = table->FindColumn(resultName);
                if (index >= 0) {
                    break;
                }
            }
        }
        if (index < 0) {
            return; // computed
        }
        const ColumnDescription& described = table->Columns[static_cast<size_t>(index)];
        column.Table = table;
        column.TableColumn = index;
        column.Type = described.Type;
        column.Size = described.Size;
    };

    if (expanded.size() == count) {
        for (unsigned i = 0; i < count; ++i) {
            resolve(&expanded[i], m_columns[i].Name, m_columns[i]);
        }
        return;
    }
    for (unsigned i = 0; i < count; ++i) {
        const Candidate* match = nullptr;
        for (int pass = 0; pass < 2 && match == nullptr; ++pass) {
            for (const auto& candidate : expanded) {
                if (pass == 0 ? candidate.Name == m_columns[i].Name
                              : EqualsIgnoreCase(candidate.Name, m_columns[i].Name)) {
                    match = &candidate;
                    break;
                }
            }
        }
        resolve(match, m_columns[i].Name, m_columns[i]);
    }
}

void TZQuery::BindFields()
{
    if (m_declaredFields.empty()) {
        for (size_t i = 0; i < m_columns.size(); ++i) {
            auto field = std::make_unique<TField>(TField::Dynamic{}, *this, m_columns[i].Name, m_columns[i].Type,
                                                  m_columns[i].Size);
            field->Bind(static_cast<int>(i));
            m_dynamicFieldList.push_back(field.get());
            m_dynamicFields.push_back(std::move(field));
        }
        return;
    }
    for (TField* field : m_declaredFields) {
        int found = -1;
        for (size_t i = 0; i < m_columns.size(); ++i) {
            if (EqualsIgnoreCase(m_columns[i].Name, field->FieldName())) {
                found = static_cast<int>(i);
                break;
            }
        }
        if (found < 0) {
            throw DatabaseError("Field '" + field->DisplayLabel() + "' not found");
        }
        FieldType columnType = m_columns[static_cast<size_t>(found)].Type;
        if (!Fits(field->DataType(), columnType)) {
            throw DatabaseError("Type mismatch for field '" + field->DisplayLabel() +
                                "', expecting: " + std::string(FieldTypeName(field->DataType())) +
                                " actual: " + std::string(FieldTypeName(columnType)));
        }
        field->Bind(found);
    }
}

void TZQuery::Close()
{
    if (!Active()) {
        return;
    }
    CloseSilently();
    NotifyStateChanged();
    NotifyRowsReloaded();
    NotifyCurrentRowChanged();
}

void TZQuery::CloseSilently() noexcept
{
    m_state = DataSetState::Inactive;
    for (TField* field : m_declaredFields) {
        field->Bind(-1);
    }
    m_dynamicFieldList.clear();
    m_dynamicFields.clear();
    m_currentRow = nullptr;
    m_currentLengths.clear();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_overlays.clear();
    m_columns.clear();
    m_tables.clear();
    m_editBuffer.clear();
    m_modified = false;
    m_keyColumns.reset();
    m_current = -1;
    m_bof = true;
    m_eof = true;
    m_result.reset();
}

void TZQuery::CloseQuietly() noexcept
{
    try {
        Close();
    } catch (...) {
        CloseSilently();
    }
}

void TZQuery::ExecSQL()
{
    Close();
    if (TrimBlanks(m_sql).empty()) {
        throw DatabaseError("SQL Query is empty");
    }
    m_connection.Connect();
    m_connection.Execute(ProcessedSQL());
}

// ---- Cursor ----

int TZQuery::RecordCount() const
{
    if (!Active()) {
        return 0;
    }
    return static_cast<int>(m_rows.size()) + (m_state == DataSetState::Insert ? 1 : 0);
}

void TZQuery::SetCurrent(int row, bool bof, bool eof)
{
    m_bof = bof;
    m_eof = eof;
    m_current = row;
    m_currentRow = nullptr;
    if (row < 0 || row >= static_cast<int>(m_rows.size())) {
        return;
    }
    const RowSlot& slot = m_rows[static_cast<size_t>(row)];
    if (slot.Overlay >= 0) {
        return;
    }
    MYSQL_RES* result = m_result.get();
    mysql_row_seek(result, slot.Stored);
    m_currentRow = mysql_fetch_row(result);
    const unsigned long* lengths = mysql_fetch_lengths(result);
    m_currentLengths.assign(lengths, lengths + m_columns.size());
}

void TZQuery::First()
{
    CheckBrowseMode();
    int before = m_current;
    int count = RecordCount();
    SetCurrent(count > 0 ? 0 : -1, true, count == 0);
    if (before != m_current) {
        NotifyCurrentRowChanged();
    }
}

void TZQuery::Next()
{
    CheckBrowseMode();
    if (m_current + 1 < RecordCount()) {
        SetCurrent(m_current + 1, false, false);
        NotifyCurrentRowChanged();
    } else {
        m_eof = true;
    }
}

void TZQuery::Prior()
{
    CheckBrowseMode();
    if (m_current > 0) {
        SetCurrent(m_current - 1, false, false);
        NotifyCurrentRowChanged();
    } else {
        m_bof = true;
    }
}

void TZQuery::Last()
{
    CheckBrowseMode();
    int before = m_current;
    int count = RecordCount();
    SetCurrent(count - 1, count == 0, true);
    if (before != m_current) {
        NotifyCurrentRowChanged();
    }
}

void TZQuery::MoveTo(int row)
{
    CheckBrowseMode();
    int count = RecordCount();
    if (count == 0) {
        return;
    }
    row = std::clamp(row, 0, count - 1);
    if (row != m_current) {
        SetCurrent(row, false, false);
        NotifyCurrentRowChanged();
    }
}

// ---- Fields and values ----

const std::vector<TField*>& TZQuery::Fields() const
{
    return m_declaredFields.empty() ? m_dynamicFieldList : m_declaredFields;
}

TField* TZQuery::FindField(std::string_view name)
{
    for (TField* field : Fields()) {
        if (EqualsIgnoreCase(field->FieldName(), name)) {
            return field;
        }
    }
    return nullptr;
}

TField& TZQuery::FieldByName(std::string_view name)
{
    if (TField* field = FindField(name)) {
        return *field;
    }
    throw DatabaseError("Field '" + std::string(name) + "' not found");
}

std::optional<std::string_view> TZQuery::Value(int column) const
{
    if (!Active() || column < 0 || column >= static_cast<int>(m_columns.size())) {
        return std::nullopt;
    }
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert) {
        const auto& value = m_editBuffer[static_cast<size_t>(column)];
        return value ? std::optional<std::string_view>(*value) : std::nullopt;
    }
    if (m_currentRow != nullptr) {
        const char* cell = m_currentRow[column];
        if (cell == nullptr) {
            return std::nullopt;
        }
        return std::string_view(cell, m_currentLengths[static_cast<size_t>(column)]);
    }
    return RowValue(m_current, column);
}

std::optional<std::string_view> TZQuery::RowValue(int row, int column) const
{
    if (!Active() || column < 0 || column >= static_cast<int>(m_columns.size()) || row < 0 || row >= RecordCount()) {
        return std::nullopt;
    }
    bool editing = m_state == DataSetState::Edit || m_state == DataSetState::Insert;
    if (editing && row == m_current) {
        const auto& value = m_editBuffer[static_cast<size_t>(column)];
        return value ? std::optional<std::string_view>(*value) : std::nullopt;
    }
    return StoredValue(row, column);
}

std::optional<std::string_view> TZQuery::StoredValue(int row, int column) const
{
    if (!Active() || column < 0 || column >= static_cast<int>(m_columns.size()) || row < 0 ||
        row >= static_cast<int>(m_rows.size())) {
        return std::nullopt;
    }
    const RowSlot& slot = m_rows[static_cast<size_t>(row)];
    if (slot.Overlay >= 0) {
        const auto& value = m_overlays[static_cast<size_t>(slot.Overlay)][static_cast<size_t>(column)];
        return value ? std::optional<std::string_view>(*value) : std::nullopt;
    }
    if (row == m_current && m_currentRow != nullptr) {
        const char* cell = m_currentRow[column];
        return cell == nullptr ? std::nullopt
                               : std::optional<std::string_view>(
                                     std::string_view(cell, m_currentLengths[static_cast<size_t>(column)]));
    }
    // Another stored row: the stored result reads it in place; the result's own cursor is only a tool.
    MYSQL_RES* result = m_result.get();
    mysql_row_seek(result, slot.Stored);
    MYSQL_ROW cells = mysql_fetch_row(result);
    const unsigned long* lengths = mysql_fetch_lengths(result);
    if (cells == nullptr || cells[column] == nullptr) {
        return std::nullopt;
    }
    return std::string_view(cells[column], lengths[column]);
}

std::string TZQuery::CellText(int row, const TField& field) const
{
    int column = field.ColumnIndex();
    if (column < 0 || &field.DataSet() != this) {
        return {};
    }
    return ValueText::ToText(m_columns[static_cast<size_t>(column)].Type, RowValue(row, column));
}

bool TZQuery::CellIsNull(int row, const TField& field) const
{
    int column = field.ColumnIndex();
    if (column < 0 || &field.DataSet() != this) {
        return true;
    }
    return ValueText::IsNull(m_columns[static_cast<size_t>(column)].Type, RowValue(row, column));
}

RowImage TZQuery::ImageOf(int row) const
{
    RowImage image(m_columns.size());
    for (size_t i = 0; i < m_columns.size(); ++i) {
        if (auto value = StoredValue(row, static_cast<int>(i))) {
            image[i] = std::string(*value);
        }
    }
    return image;
}

void TZQuery::CheckEditing() const
{
    if (!Active()) {
        throw DatabaseError("Operation is not allowed for closed dataset");
    }
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert) {
        throw DatabaseError("Dataset not in edit or insert mode");
    }
}

void TZQuery::SetValue(const TField& field, std::optional<std::string> value)
{
    CheckEditing();
    int column = field.ColumnIndex();
    if (column < 0 || &field.DataSet() != this) {
        throw DatabaseError("Field '" + field.DisplayLabel() + "' not found");
    }
    m_editBuffer[static_cast<size_t>(column)] = std::move(value);
    m_modified = true;
    NotifyFieldChanged(field);
}

// ---- Changing rows ----

void TZQuery::CheckActive() const
{
    if (!Active()) {
        throw DatabaseError("Cannot perform this operation on a closed dataset");
    }
}

void TZQuery::CheckCanModify() const
{
    if (!m_requestLive) {
        throw DatabaseError("Cannot modify a read-only dataset");
    }
}

void TZQuery::CheckBrowseMode()
{
    CheckActive();
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert) {
        if (m_modified) {
            Post();
        } else {
            Cancel();
        }
    }
}

void TZQuery::SetState(DataSetState state)
{
    if (m_state != state) {
        m_state = state;
        NotifyStateChanged();
    }
}

void TZQuery::Edit()
{
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert) {
        return;
    }
    CheckActive();
    if (RecordCount() == 0) {
        Append();
        return;
    }
    CheckCanModify();
    m_editBuffer = ImageOf(m_current);
    m_modified = false;
    SetState(DataSetState::Edit);
}

void TZQuery::Append()
{
    CheckBrowseMode();
    CheckCanModify();
    m_currentBeforeInsert = m_current;
    m_editBuffer.assign(m_columns.size(), std::nullopt);
    m_modified = false;
    m_current = static_cast<int>(m_rows.size());
    m_currentRow = nullptr;
    m_bof = false;
    m_eof = false;
    SetState(DataSetState::Insert);
    NotifyRowsReloaded();
    NotifyCurrentRowChanged();
}

void TZQuery::Post()
{
    CheckActive();
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert) {
        throw DatabaseError("Dataset not in edit or insert mode");
    }
    RowPoster poster(*this);
    RowImage image = m_editBuffer;
    if (m_state == DataSetState::Edit) {
        poster.PostUpdate(ImageOf(m_current), image);
        RowSlot& slot = m_rows[static_cast<size_t>(m_current)];
        if (slot.Overlay >= 0) {
            m_overlays[static_cast<size_t>(slot.Overlay)] = std::move(image);
        } else {
            m_overlays.push_back(std::move(image));
            slot.Overlay = static_cast<int>(m_overlays.size()) - 1;
        }
    } else {
        poster.PostInsert(image);
        m_overlays.push_back(std::move(image));
        m_rows.push_back(RowSlot{nullptr, static_cast<int>(m_overlays.size()) - 1});
    }
    m_editBuffer.clear();
    m_modified = false;
    m_state = DataSetState::Browse;
    SetCurrent(m_current, false, false);
    NotifyStateChanged();
    NotifyRowsReloaded();
    NotifyCurrentRowChanged();
}

void TZQuery::Cancel()
{
    if (m_state == DataSetState::Edit) {
        m_editBuffer.clear();
        m_modified = false;
        SetState(DataSetState::Browse);
        NotifyCurrentRowChanged();
    } else if (m_state == DataSetState::Insert) {
        m_editBuffer.clear();
        m_modified = false;
        m_state = DataSetState::Browse;
        int row = std::min(m_currentBeforeInsert, static_cast<int>(m_rows.size()) - 1);
        SetCurrent(row, row <= 0, m_rows.empty());
        NotifyStateChanged();
        NotifyRowsReloaded();
        NotifyCurrentRowChanged();
    }
}

void TZQuery::Refresh()
{
    CheckBrowseMode();
    struct Remembered
    {
        std::string FieldName;
        std::optional<std::string> Value;
    };
    std::vector<Remembered> remembered;
    bool hadRow = m_current >= 0 && m_current < RecordCount();
    if (hadRow) {
        for (TField* field : Fields()) {
            int column = field->ColumnIndex();
            FieldType type = m_columns[static_cast<size_t>(column)].Type;
            if (type == FieldType::Memo || type == FieldType::Blob) {
                continue;
            }
            auto value = Value(column);
            remembered.push_back({field->FieldName(), value ? std::optional<std::string>(*value) : std::nullopt});
        }
    }
    CloseSilently();
    try {
        OpenSilently();
    } catch (...) {
        NotifyStateChanged();
        NotifyRowsReloaded();
        NotifyCurrentRowChanged();
        throw;
    }
    if (hadRow) {
        std::vector<int> columns;
        for (const auto& r : remembered) {
            TField* field = FindField(r.FieldName);
            columns.push_back(field != nullptr ? field->ColumnIndex() : -1);
        }
        for (int row = 0; row < RecordCount(); ++row) {
            bool same = true;
            for (size_t i = 0; i < remembered.size() && same; ++i) {
                auto value = RowValue(row, columns[i]);
                same =
                    remembered[i].Value.has_value() == value.has_value() && (!value || *remembered[i].Value == *value);
            }
            if (same) {
                SetCurrent(row, row == 0, false);
                break;
            }
        }
    }
    NotifyRowsReloaded();
    NotifyCurrentRowChanged();
}

// ---- Fields, data sources ----

void TZQuery::AddField(TField& field)
{
    m_declaredFields.push_back(&field);
}

void TZQuery::RemoveField(TField& field) noexcept
{
    m_declaredFields.erase(std::remove(m_declaredFields.begin(), m_declaredFields.end(), &field),
                           m_declaredFields.end());
}

void TZQuery::AddDataSource(TDataSource& source)
{
    m_dataSources.push_back(&source);
}

void TZQuery::RemoveDataSource(TDataSource& source) noexcept
{
    m_dataSources.erase(std::remove(m_dataSources.begin(), m_dataSources.end(), &source), m_dataSources.end());
}

void TZQuery::NotifyRowsReloaded()
{
    for (TDataSource* source : std::vector<TDataSource*>(m_dataSources)) {
        source->NotifyRowsReloaded();
    }
}

void TZQuery::NotifyCurrentRowChanged()
{
    for (TDataSource* source : std::vector<TDataSource*>(m_dataSources)) {
        source->NotifyCurrentRowChanged();
    }
}

void TZQuery::NotifyStateChanged()
{
    for (TDataSource* source : std::vector<TDataSource*>(m_dataSources)) {
        source->NotifyStateChanged();
    }
}

void TZQuery::NotifyFieldChanged(const TField& field)
{
    for (TDataSource* source : std::vector<TDataSource*>(m_dataSources)) {
        source->NotifyFieldChanged(field);
    }
}

} // namespace selvo::data

#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FieldType.h"
#include "TParam.h"
#include "TZConnection.h"

namespace selvo::data {

class TDataSource;
class TField;
struct TableDescription;

enum class DataSetState
{
    Inactive, // closed
    Browse,
    Edit,
    Insert,
};

// One result column of an open query: its name, its type (from the table's description when the
// column comes straight from a table column, else as the server reports it) and its origin.
struct ResultColumn
{
    std::string Name;
    FieldType Type = FieldType::Unknown;
    int Size = 0;
    const TableDescription* Table = nullptr; // nullptr: computed, never written
    int TableColumn = -1;                    // index into Table->Columns
};

// A row's values as texts in the server's own form ("12", "Y", "2024-03-05 14:07:09"); nullopt is null.
using RowImage = std::vector<std::optional<std::string>>;

// A named query (`SpareCardZQ`, `UpdateZQ`, ...): text with :name parameters, the whole result
// stored client-side once at opening (mysql_store_result) and read in place, a cursor over its rows,
// and for live queries editing and appending rows that are posted at once as UPDATE or INSERT.
//
// Rows are numbered from 0. In insert state the new row is the last row (RecordCount() counts it)
// until it is posted or cancelled. Moving the cursor (First, Next, MoveTo ...) or refreshing while
// editing first posts the row when a field was set and cancels it otherwise.
// UI thread only.
class TZQuery final
{
public:
    TZQuery(TZConnection& connection, std::string name, bool requestLive);
    ~TZQuery();
    TZQuery(const TZQuery&) = delete;
    TZQuery& operator=(const TZQuery&) = delete;

    const std::string& Name() const { return m_name; }
    TZConnection& Connection() const { return m_connection; }
    bool RequestLive() const { return m_requestLive; }

    // Replaces the text as a whole. Closes an open query first; the parameters are derived anew
    // from the text, and one that keeps its name keeps its value. Lines may end in LF or CR LF.
    void SetSQL(std::string text);
    const std::string& SQL() const { return m_sql; }
    // The statement as it is sent: placeholders replaced, comments dropped, blanks folded (or,
    // for a text without a colon, its lines each followed by CR LF).
    std::string ProcessedSQL();

    // Parameters by name, letter case ignored; an unknown name throws "Parameter '%s' not found".
    // References stay valid until the text is set again.
    TParam& ParamByName(std::string_view name);
    const std::deque<TParam>& Params() const { return m_params; }

    void Open();
    void Close();
    bool Active() const { return m_state != DataSetState::Inactive; }
    void SetActive(bool active) { active ? Open() : Close(); }
    DataSetState State() const { return m_state; }
    // A field has been set since Edit or Append.
    bool Modified() const { return m_modified; }

    // Runs the text as a statement that returns no rows (`UpdateZQ`); closes the query first.
    void ExecSQL();

    // ---- Cursor ----
    void First();
    void Next();
    void Prior();
    void Last();
    // Makes row `row` current (clamped to the rows there are).
    void MoveTo(int row);
    // True when the result has no rows and after a Next that found no further row.
    bool Eof() const { return m_eof; }
    bool Bof() const { return m_bof; }
    int RecordCount() const;
    // The current row's number, -1 when there is none (closed, or no rows).
    int RecNo() const { return m_current; }
    bool IsEmpty() const { return RecordCount() == 0; }

    // ---- Fields ----
    // The declared fields in their order, or, for a query without declared fields, one field per
    // result column while the query is open (those change at each opening).
    const std::vector<TField*>& Fields() const;
    // By field name, letter case ignored; throws "Field '%s' not found".
    TField& FieldByName(std::string_view name);
    TField* FindField(std::string_view name);

    // Any row's value of a field without moving the cursor (for grids). Null reads as "".
    // Booleans show as "True"/"False", date-times as "yyyy-mm-dd hh:mm:ss", floats with up to 15
    // significant digits, everything else as the server sent it.
    std::string CellText(int row, const TField& field) const;
    bool CellIsNull(int row, const TField& field) const;

    // ---- Changing rows (live queries) ----
    void Edit();
    void Append();
    void Post();
    void Cancel();
    // Runs the text again and makes current the first row whose fields all equal the current row's
    // (binary and memo fields aside); the first row when there is no such row or was no current row.
    void Refresh();

    // ---- For the data module's own classes ----
    const std::vector<ResultColumn>& Columns() const { return m_columns; }
    // The current row's raw value of a column (the edit buffer in edit and insert state).
    std::optional<std::string_view> Value(int column) const;
    std::optional<std::string_view> RowValue(int row, int column) const;
    // Throws unless a row is being edited or inserted ("Operation is not allowed for closed dataset",
    // "Dataset not in edit or insert mode").
    void CheckEditing() const;
    // Puts a value (already in the server's text form) into the edit buffer.
    void SetValue(const TField& field, std::optional<std::string> value);
    void AddField(TField& field);
    void RemoveField(TField& field) noexcept;
    void AddDataSource(TDataSource& source);
    void RemoveDataSource(TDataSource& source) noexcept;
    // Closes without raising (the connection's disconnect).
    void CloseQuietly() noexcept;

private:
    struct RowSlot
    {
        MysqlRowOffset Stored = nullptr; // the row in the stored result
        int Overlay = -1;                // or a posted image in m_overlays
    };

    void CheckActive() const;
    void CheckBrowseMode();
    void CheckCanModify() const;
    void SetState(DataSetState state);
    void SetCurrent(int row, bool bof, bool eof);
    void TypeColumns(const std::string& sql);
    void BindFields();
    void OpenSilently();
    void CloseSilently() noexcept;
    void NotifyRowsReloaded();
    void NotifyCurrentRowChanged();
    void NotifyStateChanged();
    void NotifyFieldChanged(const TField& field);
    // A row's values as stored (the posted image or the fetched row), never the edit buffer.
    std::optional<std::string_view> StoredValue(int row, int column) const;
    RowImage ImageOf(int row) const;

    TZConnection& m_connection;
    std::string m_name;
    bool m_requestLive;
    std::string m_sql;
    std::deque<TParam> m_params;

    DataSetState m_state = DataSetState::Inactive;
    MysqlResult m_result;
    std::vector<ResultColumn> m_columns;
    // The descriptions m_columns point into, kept while open: a new session reads its own.
    std::vector<std::shared_ptr<const TableDescription>> m_tables;
    std::vector<RowSlot> m_rows;
    std::deque<RowImage> m_overlays;
    int m_current = -1;
    bool m_bof = true;
    bool m_eof = true;

    // The current stored row, fetched once per move.
    char** m_currentRow = nullptr;
    std::vector<unsigned long> m_currentLengths;

    RowImage m_editBuffer;
    int m_currentBeforeInsert = -1;
    bool m_modified = false;
    std::optional<std::vector<int>> m_keyColumns; // found once per opening, at the first post

    std::vector<TField*> m_declaredFields;
    std::vector<std::unique_ptr<TField>> m_dynamicFields;
    std::vector<TField*> m_dynamicFieldList;
    std::vector<TDataSource*> m_dataSources;

    friend class RowPoster;
};

} // namespace selvo::data

#pragma once

#include <optional>
#include <string>
#include <vector>

#include "TZQuery.h"

namespace selvo::data {

struct TableDescription;

// Writes one edited or appended row of a live query to its table: an UPDATE of the changed columns
// by the primary key (or by every non-stream column when the key is not in the query), or the
// defaults SELECT, an INSERT of every column and the key read-back. Each statement is sent at once
// (autocommit). A failure throws and leaves the query's rows as they were.
// UI thread only.
class RowPoster final
{
public:
    explicit RowPoster(TZQuery& query) : m_query(query) {}

    // Sends nothing when no column of the target table changed.
    void PostUpdate(const RowImage& oldImage, const RowImage& newImage);
    // Fills `newImage` with the defaults and the new key as the server gave them.
    void PostInsert(RowImage& newImage);

private:
    const TableDescription& TargetTable() const;
    const std::vector<int>& KeyColumns(const TableDescription& table);
    std::string ColumnName(int column) const;
    std::string Literal(int column, const std::optional<std::string>& value) const;

    TZQuery& m_query;
};

} // namespace selvo::data

#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace selvo::data {

// One item of a SELECT list.
struct SelectItem
{
    enum class Kind
    {
        AllTables,  // *
        TableStar,  // ec.*
        Column,     // [table.]column [[AS] alias]
        Expression, // anything else [[AS] alias]
    };
    Kind ItemKind = Kind::Expression;
    std::string Table;  // qualifier of a column or star list (alias or table name)
    std::string Column; // the column of a Column item
    std::string Alias;  // the name the item's result column gets, when it is given
};

// One table of the FROM list (joined tables included).
struct TableReference
{
    std::string Database; // empty: the connection's
    std::string Table;
    std::string Alias;
};

// What the select list and the FROM list of a statement say about the origin of its result columns.
struct SelectAnalysis
{
    std::vector<SelectItem> Items;
    std::vector<TableReference> Tables;
};

// Reads the first SELECT of a statement; a statement that is no SELECT gives no items and no tables.
SelectAnalysis AnalyseSelect(std::string_view sql);

} // namespace selvo::data

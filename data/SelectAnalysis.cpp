#include "SelectAnalysis.h"

#include <algorithm>
#include <array>

#include "SqlText.h"

namespace selvo::data {

namespace {

using Tokens = std::vector<SqlToken>;

bool IsWord(const SqlToken& token, std::string_view word)
{
    return token.Kind == SqlTokenKind::Word && EqualsIgnoreCase(token.Text, word);
}

bool IsSymbol(const SqlToken& token, char symbol)
{
    return token.Kind == SqlTokenKind::Symbol && token.Text.size() == 1 && token.Text[0] == symbol;
}

bool IsName(const SqlToken& token)
{
    return token.Kind == SqlTokenKind::Word || token.Kind == SqlTokenKind::QuotedIdentifier;
}

std::string NameOf(const SqlToken& token)
{
    if (token.Kind == SqlTokenKind::QuotedIdentifier && token.Text.size() >= 2) {
        std::string name;
        std::string_view inner = token.Text.substr(1, token.Text.size() - 2);
        for (size_t i = 0; i < inner.size(); ++i) {
            name.push_back(inner[i]);
            if (inner[i] == '`' && i + 1 < inner.size() && inner[i + 1] == '`') {
                ++i;
            }
        }
        return name;
    }
    if (token.Kind == SqlTokenKind::Quoted && token.Text.size() >= 2) {
        return std::string(token.Text.substr(1, token.Text.size() - 2));
    }
    return std::string(token.Text);
}

bool EndsFromList(const SqlToken& token)
{
    static constexpr std::array<std::string_view, 11> words = {
        "where", "group", "order", "having", "limit", "union", "procedure", "into", "for", "lock", "window"};
    return token.Kind == SqlTokenKind::Word &&
           std::any_of(words.begin(), words.end(), [&](std::string_view w) { return EqualsIgnoreCase(token.Text, w); });
}

bool IsJoinWord(const SqlToken& token)
{
    static constexpr std::array<std::string_view, 9> words = {"join",  "straight_join", "left",    "right", "inner",
                                                              "outer", "cross",         "natural", "full"};
    return token.Kind == SqlTokenKind::Word &&
           std::any_of(words.begin(), words.end(), [&](std::string_view w) { return EqualsIgnoreCase(token.Text, w); });
}

bool IsClauseWord(const SqlToken& token)
{
    static constexpr std::array<std::string_view, 7> words = {"on", "using", "use", "ignore", "force", "as", "end"};
    return IsJoinWord(token) || EndsFromList(token) ||
           (token.Kind == SqlTokenKind::Word && std::any_of(words.begin(), words.end(), [&](std::string_view w) {
                return EqualsIgnoreCase(token.Text, w);
            }));
}

SelectItem ReadItem(const Tokens& item)
{
    SelectItem result;
    size_t n = item.size();
    if (n == 1 && IsSymbol(item[0], '*')) {
        result.ItemKind = SelectItem::Kind::AllTables;
        return result;
    }
    // [db.]table.*
    if (n >= 3 && IsSymbol(item[n - 1], '*') && IsSymbol(item[n - 2], '.') && IsName(item[n - 3])) {
        result.ItemKind = SelectItem::Kind::TableStar;
        result.Table = NameOf(item[n - 3]);
        return result;
    }
    // The alias: after AS, or a trailing name after an operand.
    size_t body = n;
    if (n >= 3 && IsWord(item[n - 2], "as") && (IsName(item[n - 1]) || item[n - 1].Kind == SqlTokenKind::Quoted)) {
        result.Alias = NameOf(item[n - 1]);
        body = n - 2;
    } else if (n >= 2 && (IsName(item[n - 1]) || item[n - 1].Kind == SqlTokenKind::Quoted) &&
               !IsWord(item[n - 1], "end")) {
        const SqlToken& before = item[n - 2];
        bool operand = IsSymbol(before, ')') || IsName(before) || before.Kind == SqlTokenKind::Number ||
                       before.Kind == SqlTokenKind::Quoted;
        if (operand && !IsSymbol(before, '.')) {
            result.Alias = NameOf(item[n - 1]);
            body = n - 1;
        }
    }
    // column, table.column, db.table.column
    bool columnRef = body >= 1 && body % 2 == 1 && body <= 5;
    for (size_t i = 0; columnRef && i < body; ++i) {
        columnRef = (i % 2 == 0) ? IsName(item[i]) : IsSymbol(item[i], '.');
    }
    if (columnRef) {
        result.ItemKind = SelectItem::Kind::Column;
        result.Column = NameOf(item[body - 1]);
        if (body >= 3) {
            result.Table = NameOf(item[body - 3]);
        }
        return result;
    }
    result.ItemKind = SelectItem::Kind::Expression;
    return result;
}

// Reads the table references of a FROM list: [db.]table [[AS] alias], separated by commas and joins.
void ReadTables(const Tokens& tokens, size_t pos, SelectAnalysis& analysis)
{
    bool expectTable = true;
    int depth = 0;
    while (pos < tokens.size()) {
        const SqlToken& token = tokens[pos];
        if (depth == 0 && EndsFromList(token)) {
            break;
        }
        if (expectTable) {
            if (IsSymbol(token, '(')) {
                if (pos + 1 < tokens.size() && IsWord(tokens[pos + 1], "select")) {
                    // A derived table: no table of ours; skip to its closing parenthesis.
                    int inner = 0;
                    for (; pos < tokens.size(); ++pos) {
                        if (IsSymbol(tokens[pos], '(')) {
                            ++inner;
                        } else if (IsSymbol(tokens[pos], ')') && --inner == 0) {
                            break;
                        }
                    }
                    ++pos;
                    expectTable = false;
                    continue;
                }
                ++pos; // a parenthesised join: its tables count like the others
                continue;
            }
            if (IsName(token) && !IsClauseWord(token)) {
                TableReference table;
                table.Table = NameOf(token);
                ++pos;
                if (pos + 1 < tokens.size() && IsSymbol(tokens[pos], '.') && IsName(tokens[pos + 1])) {
                    table.Database = table.Table;
                    table.Table = NameOf(tokens[pos + 1]);
                    pos += 2;
                }
                if (pos + 1 < tokens.size() && IsWord(tokens[pos], "as") && IsName(tokens[pos + 1])) {
                    table.Alias = NameOf(tokens[pos + 1]);
                    pos += 2;
                } else if (pos < tokens.size() && IsName(tokens[pos]) && !IsClauseWord(tokens[pos])) {
                    table.Alias = NameOf(tokens[pos]);
                    ++pos;
                }
                analysis.Tables.push_back(std::move(table));
                expectTable = false;
                depth = 0;
                continue;
            }
            ++pos;
            continue;
        }
        // Skip join conditions and index hints up to the next comma or join at this level.
        if (IsSymbol(token, '(')) {
            ++depth;
        } else if (IsSymbol(token, ')')) {
            if (depth > 0) {
                --depth;
            }
        } else if (depth == 0 && (IsSymbol(token, ',') || IsWord(token, "join") || IsWord(token, "straight_join"))) {
            expectTable = true;
        }
        ++pos;
    }
}

} // namespace

SelectAnalysis AnalyseSelect(std::string_view sql)
{
    SelectAnalysis analysis;
    Tokens tokens;
    for (const auto& token : TokenizeSql(sql)) {
        if (token.Kind != SqlTokenKind::Blank && token.Kind != SqlTokenKind::Comment) {
            tokens.push_back(token);
        }
    }
    size_t pos = 0;
    while (pos < tokens.size() && IsSymbol(tokens[pos], '(')) {
        ++pos;
    }
    if (pos >= tokens.size() || !IsWord(tokens[pos], "select")) {
        return analysis;
    }
    ++pos;
    static constexpr std::array<std::string_view, 11> modifiers = {
        "all",           "distinct",         "distinctrow",        "high_priority",
        "straight_join", "sql_small_result", "sql_big_result",     "sql_buffer_result",
        "sql_cache",     "sql_no_cache",     "sql_calc_found_rows"};
    while (pos < tokens.size() && tokens[pos].Kind == SqlTokenKind::Word &&
           std::any_of(modifiers.begin(), modifiers.end(),
                       [&](std::string_view m) { return EqualsIgnoreCase(tokens[pos].Text, m); })) {
        ++pos;
    }
    Tokens item;
    int depth = 0;
    for (; pos < tokens.size(); ++pos) {
        const SqlToken& token = tokens[pos];
        if (depth == 0 && (IsWord(token, "from") || EndsFromList(token))) {
            break;
        }
        if (IsSymbol(token, '(')) {
            ++depth;
        } else if (IsSymbol(token, ')')) {
            --depth;
        }
        if (depth == 0 && IsSymbol(token, ',')) {
            analysis.Items.push_back(ReadItem(item));
            item.clear();
            continue;
        }
        item.push_back(token);
    }
    if (!item.empty()) {
        analysis.Items.push_back(ReadItem(item));
    }
    if (pos < tokens.size() && IsWord(tokens[pos], "from")) {
        ReadTables(tokens, pos + 1, analysis);
    }
    return analysis;
}

} // namespace selvo::data

#include "SqlText.h"

#include <algorithm>
#include <array>

namespace selvo::data {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool IsWordChar(char c)
{
    auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '$' ||
           u >= 0x80;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// End of a quoted string starting at `pos` (the opening quote), past its closing quote.
size_t QuotedEnd(std::string_view text, size_t pos)
{
    char quote = text[pos];
    size_t i = pos + 1;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\\' && quote != '`') {
            i += 2;
            continue;
        }
        if (c == quote) {
            if (i + 1 < text.size() && text[i + 1] == quote) {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return text.size();
}

} // namespace

std::vector<SqlToken> TokenizeSql(std::string_view text)
{
    std::vector<SqlToken> tokens;
    size_t i = 0;
    auto push = [&](SqlTokenKind kind, size_t end) {
        tokens.push_back({kind, text.substr(i, end - i)});
        i = end;
    };
    while (i < text.size()) {
        char c = text[i];
        size_t end = i + 1;
        if (IsBlank(c)) {
            while (end < text.size() && IsBlank(text[end])) {
                ++end;
            }
            push(SqlTokenKind::Blank, end);
        } else if (c == '#' || (c == '-' && i + 1 < text.size() && text[i + 1] == '-' &&
                                (i + 2 == text.size() || IsBlank(text[i + 2])))) {
            while (end < text.size() && text[end] != '\n' && text[end] != '\r') {
                ++end;
            }
            push(SqlTokenKind::Comment, end);
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            size_t close = text.find("*/", i + 2);
            push(SqlTokenKind::Comment, close == std::string_view::npos ? text.size() : close + 2);
        } else if (c == '\'' || c == '"') {
            push(SqlTokenKind::Quoted, QuotedEnd(text, i));
        } else if (c == '`') {
            push(SqlTokenKind::QuotedIdentifier, QuotedEnd(text, i));
        } else if (c == ':' && i + 1 < text.size() && IsWordChar(text[i + 1])) {
            end = i + 1;
            while (end < text.size() && IsWordChar(text[end])) {
                ++end;
            }
            push(SqlTokenKind::Placeholder, end);
        } else if (IsDigit(c) || (c == '.' && i + 1 < text.size() && IsDigit(text[i + 1]) &&
                                  (tokens.empty() || tokens.back().Kind != SqlTokenKind::Word))) {
            while (end < text.size() && (IsDigit(text[end]) || text[end] == '.')) {
                ++end;
            }
            // A name may start with digits (1abc); then the whole run is a word.
            if (end < text.size() && IsWordChar(text[end]) && text[end] != 'e' && text[end] != 'E') {
                while (end < text.size() && IsWordChar(text[end])) {
                    ++end;
                }
                push(SqlTokenKind::Word, end);
            } else {
                if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
                    size_t exp = end + 1;
                    if (exp < text.size() && (text[exp] == '+' || text[exp] == '-')) {
                        ++exp;
                    }
                    if (exp < text.size() && IsDigit(text[exp])) {
                        end = exp;
                        while (end < text.size() && IsDigit(text[end])) {
                            ++end;
                        }
                    }
                }
                push(SqlTokenKind::Number, end);
            }
        } else if (IsWordChar(c)) {
            while (end < text.size() && IsWordChar(text[end])) {
                ++end;
            }
            push(SqlTokenKind::Word, end);
        } else {
            push(SqlTokenKind::Symbol, end);
        }
    }
    return tokens;
}

std::vector<std::string> PlaceholderNames(std::string_view text)
{
    std::vector<std::string> names;
    for (const auto& token : TokenizeSql(text)) {
        if (token.Kind != SqlTokenKind::Placeholder) {
            continue;
        }
        std::string_view name = token.Text.substr(1);
        bool known =
            std::any_of(names.begin(), names.end(), [&](const std::string& n) { return EqualsIgnoreCase(n, name); });
        if (!known) {
            names.emplace_back(name);
        }
    }
    return names;
}

std::string JoinLinesCrLf(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    size_t i = 0;
    while (i < text.size()) {
        size_t end = text.find_first_of("\r\n", i);
        if (end == std::string_view::npos) {
            out.append(text.substr(i));
            out.append("\r\n");
            break;
        }
        out.append(text.substr(i, end - i));
        out.append("\r\n");
        i = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return out;
}

std::string ProcessQueryText(std::string_view text, const std::function<std::string(std::string_view)>& literalOf)
{
    if (text.find(':') == std::string_view::npos) {
        return JoinLinesCrLf(text);
    }
    std::string out;
    out.reserve(text.size());
    bool pendingBlank = false;
    for (const auto& token : TokenizeSql(text)) {
        if (token.Kind == SqlTokenKind::Blank || token.Kind == SqlTokenKind::Comment) {
            pendingBlank = true;
            continue;
        }
        if (pendingBlank && !out.empty()) {
            out.push_back(' ');
        }
        pendingBlank = false;
        if (token.Kind == SqlTokenKind::Placeholder) {
            out.append(literalOf(token.Text.substr(1)));
        } else {
            out.append(token.Text);
        }
    }
    return out;
}

std::string QuoteIdentifier(std::string_view name)
{
    // The client's own list and the server's list of words that need quotes.
    static constexpr std::array<std::string_view, 40> reserved = {
        "insert",         "update", "delete",   "select",  "drop",   "create", "from",      "set",     "values",
        "where",          "order",  "group",    "by",      "having", "into",   "as",        "table",   "index",
        "primary",        "key",    "on",       "is",      "null",   "char",   "varchar",   "integer", "number",
        "auto_increment", "binary", "blob",     "enum",    "infile", "load",   "mediumint", "option",  "outfile",
        "replace",        "text",   "unsigned", "zerofill"};
    bool plain = !name.empty();
    for (char c : name) {
        auto u = static_cast<unsigned char>(c);
        bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_';
        if (!ok) {
            plain = false;
            break;
        }
    }
    if (plain) {
        std::string lower = ToLowerAscii(name);
        plain = std::find(reserved.begin(), reserved.end(), lower) == reserved.end();
    }
    if (plain) {
        return std::string(name);
    }
    std::string quoted = "`";
    for (char c : name) {
        if (c == '`') {
            quoted.push_back('`');
        }
        quoted.push_back(c);
    }
    quoted.push_back('`');
    return quoted;
}

std::string InQuotes(std::string_view text)
{
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted.push_back('\'');
    quoted.append(text);
    quoted.push_back('\'');
    return quoted;
}

std::string NotValid(std::string_view value, std::string_view what)
{
    std::string text = InQuotes(value);
    text.append(" is not a valid ");
    text.append(what);
    return text;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

std::string ToLowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string ToUpperAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

std::string_view TrimBlanks(std::string_view text)
{
    size_t start = 0;
    while (start < text.size() && static_cast<unsigned char>(text[start]) <= ' ') {
        ++start;
    }
    size_t end = text.size();
    while (end > start && static_cast<unsigned char>(text[end - 1]) <= ' ') {
        --end;
    }
    return text.substr(start, end - start);
}

} // namespace selvo::data

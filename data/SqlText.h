#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace selvo::data {

enum class SqlTokenKind
{
    Word, // names and keywords (bytes above 127 count as letters)
    Number,
    Quoted,           // '...' or "...", quotes included
    QuotedIdentifier, // `...`, backquotes included
    Placeholder,      // :name, colon included
    Symbol,
    Blank,   // a run of blanks and line breaks
    Comment, // -- ..., # ..., /* ... */
};

struct SqlToken
{
    SqlTokenKind Kind;
    std::string_view Text;
};

// Splits a statement into tokens by MySQL's rules: a quoted string is one token (so a colon inside
// quotes is plain text), with doubled quotes and backslash escapes inside it.
std::vector<SqlToken> TokenizeSql(std::string_view text);

// The names of the :name placeholders in order of first appearance, each once (letter case ignored).
std::vector<std::string> PlaceholderNames(std::string_view text);

// A query text as it is sent. Without a colon anywhere: the lines unchanged, each followed by CR LF.
// Otherwise: comments dropped, every run of blanks and line breaks (and each comment) one blank,
// each placeholder replaced by literalOf(name), the result trimmed.
std::string ProcessQueryText(std::string_view text, const std::function<std::string(std::string_view)>& literalOf);

// The lines of a text (ending in CR LF, LF or CR), each followed by CR LF.
std::string JoinLinesCrLf(std::string_view text);

// An identifier as statements write it: bare, or in backquotes when it holds a character other than
// an ASCII letter, digit or underscore, or is one of the reserved words.
std::string QuoteIdentifier(std::string_view name);

// The text between single quotes, as it is (the caller escapes it first where needed).
std::string InQuotes(std::string_view text);
// "'<value>' is not a valid <what>", the text of a value that does not fit a field.
std::string NotValid(std::string_view value, std::string_view what);

bool EqualsIgnoreCase(std::string_view a, std::string_view b);
std::string ToLowerAscii(std::string_view text);
std::string ToUpperAscii(std::string_view text);
std::string_view TrimBlanks(std::string_view text);

} // namespace selvo::data

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "DateTime.h"
#include "FieldType.h"

// Values are held as the server's texts ("12", "Y", "2024-03-05 14:07:09"), both in the stored
// result and in an edited row; these read and make such texts by the column's type.
namespace selvo::data::ValueText {

std::optional<int64_t> ParseInteger(std::string_view text);
std::optional<double> ParseFloat(std::string_view text);
// Y, YES, T, TRUE (any case) or a whole number other than 0.
bool FlagIsTrue(std::string_view text);
// Null, or the zero date of a date or date-time column.
bool IsNull(FieldType type, std::optional<std::string_view> value);

// Reads; a null value gives 0, false, the zero DateTime, the empty text. Throw DatabaseError for a
// text that is no such value ("'x' is not a valid integer value").
int64_t ToLargeInt(FieldType type, std::optional<std::string_view> value);
double ToFloat(FieldType type, std::optional<std::string_view> value);
bool ToBoolean(FieldType type, std::optional<std::string_view> value);
DateTime ToDateTime(FieldType type, std::optional<std::string_view> value);
// What a text read gives: the text itself; "True"/"False" for a flag; a date-time without fractions;
// a float with up to 15 significant digits.
std::string ToText(FieldType type, std::optional<std::string_view> value);

// Writes: the text a column of `type` holds for the value. Throw DatabaseError when the value does
// not fit the type.
std::string FromLargeInt(FieldType type, int64_t value);
std::string FromFloat(FieldType type, double value);
std::string FromBoolean(FieldType type, bool value);
std::string FromDateTime(FieldType type, const DateTime& value);
// An empty text is null for every type but text; `size` cuts texts (0: no limit).
std::optional<std::string> FromText(FieldType type, std::string_view value, int size);

std::string FloatText(double value);

} // namespace selvo::data::ValueText

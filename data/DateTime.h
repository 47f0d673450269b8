#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace selvo::data {

// A calendar date and time of day to the second, as the database columns hold it; no time zone
// (the tool works in local time throughout). A DATE column reads with the time 00:00:00, a TIME
// column with the date 0000-00-00. All zero is the value a null reads as.
struct DateTime
{
    int Year = 0;
    int Month = 0;
    int Day = 0;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;

    // The local date and time now.
    static DateTime Now();

    // Reads "yyyy-mm-dd", "yyyy-mm-dd hh:mm:ss[.fraction]" or "hh:mm:ss[.fraction]" (fractions are
    // dropped). Returns nothing for any other text and for out-of-range parts; the zero date
    // "0000-00-00 00:00:00" parses (callers decide that it means null).
    static std::optional<DateTime> Parse(std::string_view text);

    bool IsZero() const { return Year == 0 && Month == 0 && Day == 0 && Hour == 0 && Minute == 0 && Second == 0; }

    // "yyyy-mm-dd hh:mm:ss"
    std::string ToString() const;
    // "yyyy-mm-dd"
    std::string DateText() const;
    // "hh:mm:ss"
    std::string TimeText() const;

    friend bool operator==(const DateTime&, const DateTime&) = default;
};

} // namespace selvo::data

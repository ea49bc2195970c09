// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading a run's day and duration as other programs write them.
//
// Days: YYYY-MM-DD, or D/M/YYYY and M/D/YYYY, whose order a whole file
// settles (DateOrderEvidence); a time of day after the date is ignored.
// Durations: whole minutes, h:mm or h:mm:ss (rounded to the nearest
// minute, half a minute up).

#include <QString>

#include <string_view>

namespace transfer {

// The most a run may last: a longer "duration" is far more often minutes
// and seconds read as hours and minutes ("45:12") than a real run.
inline constexpr long long kLongestRunMinutes = 24 * 60;
// The most characters a type or a description may hold.
inline constexpr long long kMaxTextCharacters = 65'535;

enum class DateOrder { Unknown, DayMonth, MonthDay };

// A date as written, before the order of day and month is known.
struct DateText {
    enum Form { Iso, Slashed, Bad } form = Bad;
    int year = 0;
    int first = 0;   // Iso: the month; Slashed: the number before the first '/'
    int second = 0;  // Iso: the day; Slashed: the number between the slashes
    QString problem; // Bad: why
};
DateText readDate(std::string_view text);

// The day as ISO text (YYYY-MM-DD) into out, or false with the reason.
// A slashed date needs an order.
bool isoDate(const DateText& date, DateOrder order, char out[10], QString* problem);

// What the dates of a whole file say about their order.
class DateOrderEvidence {
public:
    void add(const DateText& date, long long at);
    // The order the dates show; Unknown when none tells (no slashed date,
    // or only dates like 3/4/2024), or when they contradict each other.
    DateOrder order() const;
    bool contradicts() const { return dayFirstAt_ > 0 && monthFirstAt_ > 0; }
    // An ambiguous date that needs an order to be read (0: none).
    long long ambiguousAt() const { return ambiguousAt_; }
    long long dayFirstAt() const { return dayFirstAt_; }
    long long monthFirstAt() const { return monthFirstAt_; }

private:
    long long dayFirstAt_ = 0;    // a date such as 25/12/2024
    long long monthFirstAt_ = 0;  // a date such as 12/25/2024
    long long ambiguousAt_ = 0;   // a date such as 3/4/2024
};

struct Duration {
    bool ok = false;
    long long minutes = 0;
    bool rounded = false;  // it had seconds
    QString problem;
};
Duration readDuration(std::string_view text);
// A whole number of minutes from a number column.
Duration durationOf(long long minutes);
Duration durationOf(double minutes);

// The text for a message: quoted, cut short when long.
QString shown(std::string_view text);

}  // namespace transfer

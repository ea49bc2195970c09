// SPDX-License-Identifier: GPL-3.0-or-later
#include "values.h"

#include <QDate>

#include <cmath>

namespace transfer {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Reads 1 to maxDigits digits at s[*at]; -1 when there are none or more.
int number(std::string_view s, size_t* at, int maxDigits) {
    int value = 0;
    int digits = 0;
    while (*at < s.size() && isDigit(s[*at])) {
        if (++digits > maxDigits) return -1;
        value = value * 10 + (s[*at] - '0');
        ++*at;
    }
    return digits == 0 ? -1 : value;
}

int digitsAt(std::string_view s, size_t at) {
    int n = 0;
    while (at + n < s.size() && isDigit(s[at + n])) ++n;
    return n;
}

Duration refused(const QString& why) {
    Duration d;
    d.problem = why;
    return d;
}

Duration checked(long long minutes, bool rounded, std::string_view text) {
    if (minutes <= 0)
        return refused(rounded ? QStringLiteral("the duration %1 rounds to 0 minutes").arg(shown(text))
                               : QStringLiteral("a run of 0 minutes"));
    if (minutes > kLongestRunMinutes)
        return refused(QStringLiteral("the duration %1 is longer than 24 hours (%2 minutes); is it minutes and "
                                      "seconds written as hours and minutes?")
                           .arg(text.empty() ? QString::number(minutes) : shown(text))
                           .arg(minutes));
    Duration d;
    d.ok = true;
    d.minutes = minutes;
    d.rounded = rounded;
    return d;
}

}  // namespace

QString shown(std::string_view text) {
    QString s = QString::fromUtf8(text.data(), qsizetype(std::min<size_t>(text.size(), 60)));
    if (text.size() > 60) s += QStringLiteral("...");
    return u'"' + s + u'"';
}

DateText readDate(std::string_view raw) {
    const std::string_view s = trimmed(raw);
    DateText d;
    if (s.empty()) {
        d.problem = QStringLiteral("no date");
        return d;
    }
    size_t at = 0;
    const int lead = digitsAt(s, 0);
    bool read = false;
    if (lead == 4 && at + 4 < s.size() && s[4] == '-') {
        d.year = number(s, &at, 4);
        ++at;
        d.first = number(s, &at, 2);
        if (d.first >= 0 && at < s.size() && s[at] == '-') {
            ++at;
            d.second = number(s, &at, 2);
            read = d.second >= 0;
        }
        d.form = DateText::Iso;
    } else if (lead >= 1 && lead <= 2) {
        d.first = number(s, &at, 2);
        if (at < s.size() && s[at] == '/') {
            ++at;
            d.second = number(s, &at, 2);
            if (d.second >= 0 && at < s.size() && s[at] == '/') {
                ++at;
                const int yearDigits = digitsAt(s, at);
                if (yearDigits == 2) {
                    d.form = DateText::Bad;
                    d.problem = QStringLiteral("the date %1 has a two-digit year; write the year in full").arg(shown(raw));
                    return d;
                }
                d.year = yearDigits == 4 ? number(s, &at, 4) : -1;
                read = d.year >= 0;
            }
        }
        d.form = DateText::Slashed;
    }
    // Whatever follows a space or a 'T' is the time of day.
    if (read && (at == s.size() || s[at] == ' ' || s[at] == 'T' || s[at] == '\t')) return d;
    d.form = DateText::Bad;
    d.problem = QStringLiteral("%1 is not a date (YYYY-MM-DD, D/M/YYYY or M/D/YYYY)").arg(shown(raw));
    return d;
}

bool isoDate(const DateText& date, DateOrder order, char out[10], QString* problem) {
    int month = date.first;
    int day = date.second;
    if (date.form == DateText::Bad) {
        *problem = date.problem;
        return false;
    }
    if (date.form == DateText::Slashed) {
        if (order == DateOrder::Unknown && date.first != date.second) {
            *problem = QStringLiteral("the order of day and month is not known");
            return false;
        }
        if (order == DateOrder::DayMonth) std::swap(month, day);
    }
    if (date.year < 1 || !QDate(date.year, month, day).isValid()) {
        const QString text = date.form == DateText::Iso
                                 ? QStringLiteral("%1-%2-%3").arg(date.year).arg(date.first).arg(date.second)
                                 : QStringLiteral("%1/%2/%3").arg(date.first).arg(date.second).arg(date.year);
        *problem = QStringLiteral("%1 is not a day of the calendar%2")
                       .arg(text, date.form == DateText::Slashed
                                      ? (order == DateOrder::DayMonth ? QStringLiteral(" (read as day/month/year)")
                                                                      : QStringLiteral(" (read as month/day/year)"))
                                      : QString());
        return false;
    }
    const auto put = [&](int at, int v, int digits) {
        for (int i = digits - 1; i >= 0; --i, v /= 10) out[at + i] = char('0' + v % 10);
    };
    put(0, date.year, 4);
    out[4] = '-';
    put(5, month, 2);
    out[7] = '-';
    put(8, day, 2);
    return true;
}

void DateOrderEvidence::add(const DateText& date, long long at) {
    if (date.form != DateText::Slashed) return;
    const bool firstIsDay = date.first > 12 && date.second <= 12;
    const bool secondIsDay = date.second > 12 && date.first <= 12;
    if (firstIsDay && !dayFirstAt_) dayFirstAt_ = at;
    if (secondIsDay && !monthFirstAt_) monthFirstAt_ = at;
    if (!firstIsDay && !secondIsDay && date.first != date.second && !ambiguousAt_) ambiguousAt_ = at;
}

DateOrder DateOrderEvidence::order() const {
    if (contradicts()) return DateOrder::Unknown;
    if (dayFirstAt_) return DateOrder::DayMonth;
    if (monthFirstAt_) return DateOrder::MonthDay;
    return DateOrder::Unknown;
}

Duration readDuration(std::string_view raw) {
    const std::string_view s = trimmed(raw);
    if (s.empty()) return refused(QStringLiteral("no duration"));
    const auto bad = [raw] {
        return refused(QStringLiteral("%1 is not a duration (whole minutes, h:mm or h:mm:ss)").arg(shown(raw)));
    };
    size_t at = 0;
    // More digits than any run needs are not a duration either.
    const long long first = number(s, &at, 9);
    if (first < 0) return bad();
    if (at == s.size()) return checked(first, false, raw);
    if (s[at] == '.') {
        // "45.0" from a spreadsheet is whole; "45.5" is not.
        size_t i = at + 1;
        while (i < s.size() && s[i] == '0') ++i;
        if (i == s.size() && i > at + 1) return checked(first, false, raw);
        if (i < s.size() && digitsAt(s, at + 1) == int(s.size() - at - 1))
            return refused(QStringLiteral("the duration %1 is not a whole number of minutes").arg(shown(raw)));
        return bad();
    }
    if (s[at] != ':') return bad();
    ++at;
    if (digitsAt(s, at) != 2) return bad();
    const long long minutes = number(s, &at, 2);
    if (minutes > 59) return bad();
    if (at == s.size()) return checked(first * 60 + minutes, false, raw);
    if (s[at] != ':') return bad();
    ++at;
    if (digitsAt(s, at) != 2) return bad();
    double seconds = number(s, &at, 2);
    if (seconds > 59) return bad();
    if (at < s.size() && s[at] == '.') {
        ++at;
        if (digitsAt(s, at) == 0) return bad();
        // Tenths, hundredths, ... of a second (not the locale's number format).
        for (double unit = 0.1; at < s.size() && isDigit(s[at]); ++at, unit /= 10) seconds += (s[at] - '0') * unit;
    }
    if (at != s.size()) return bad();
    const double total = double(first * 60 + minutes) + seconds / 60.0;
    return checked((long long)std::floor(total + 0.5), seconds > 0, raw);
}

Duration durationOf(long long minutes) { return checked(minutes, false, {}); }

Duration durationOf(double minutes) {
    if (!std::isfinite(minutes) || minutes != std::floor(minutes) || std::fabs(minutes) > 1e12)
        return refused(QStringLiteral("the duration %1 is not a whole number of minutes").arg(minutes));
    return checked((long long)minutes, false, {});
}

}  // namespace transfer

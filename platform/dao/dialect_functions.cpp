// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialect_functions.h"

#include "dialect.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <sqlite3.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace dao::detail {

namespace {

// ---- values

QString textOf(sqlite3_value* v) {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(v)), sqlite3_value_bytes(v));
}

bool isNull(sqlite3_value* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

void resultText(sqlite3_context* ctx, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    sqlite3_result_text(ctx, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void fail(sqlite3_context* ctx, const QString& message) {
    const QByteArray utf8 = message.toUtf8();
    sqlite3_result_error(ctx, utf8.constData(), int(utf8.size()));
}

QString shown(sqlite3_value* v) {
    const QString t = textOf(v);
    return sqlite3_value_type(v) == SQLITE_TEXT ? u'\'' + t.left(40) + u'\'' : t.left(40);
}

// A number as text: whole numbers without a fraction, others as short as
// they are exact (1.5, 0.1), as the desktop engine shows them.
QString numberText(double x) {
    if (std::isfinite(x) && x == std::trunc(x) && std::fabs(x) < 1e15) return QString::number(qint64(x));
    return QString::number(x, 'g', 15);
}

// The value as a number: integers and reals as they are, text that is a
// number (blanks around it allowed); nothing for other text.
std::optional<double> numberOf(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return double(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return sqlite3_value_double(v);
    case SQLITE_TEXT: {
        bool ok = false;
        const double d = textOf(v).trimmed().toDouble(&ok);
        if (ok) return d;
        return std::nullopt;
    }
    default: return std::nullopt;
    }
}

// Half to even, as the desktop engine rounds to whole numbers (the
// rounding mode is left at its default, to nearest).
double roundHalfEven(double x) { return std::nearbyint(x); }

// Reads argument i as a number, or reports that it is none.
bool numberArg(sqlite3_context* ctx, sqlite3_value* v, const char* function, double* out) {
    if (const auto n = numberOf(v)) {
        *out = *n;
        return true;
    }
    fail(ctx, QStringLiteral("%1: %2 is not a number.").arg(QLatin1String(function), shown(v)));
    return false;
}

// ---- dates

struct Moment {
    QDate date;
    QTime time{0, 0};
    bool hasTime = false;
    QDateTime at() const { return QDateTime(date, time); }
};

int digits(const char* p, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9') return -1;
        v = v * 10 + (p[i] - '0');
    }
    return v;
}

// "2024-05-31", "2024-05-31 06:30[:00[.000]]" (or with a T), "06:30[:00]".
std::optional<Moment> readMoment(sqlite3_value* v) {
    if (sqlite3_value_type(v) != SQLITE_TEXT) return std::nullopt;
    const char* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    int n = sqlite3_value_bytes(v);
    while (n > 0 && p[0] == ' ') ++p, --n;
    while (n > 0 && p[n - 1] == ' ') --n;
    Moment m;
    auto readTime = [&](const char* t, int len) {
        if (len < 5 || t[2] != ':') return false;
        const int h = digits(t, 2), mi = digits(t + 3, 2);
        int s = 0;
        if (len >= 8 && t[5] == ':') s = digits(t + 6, 2);
        else if (len != 5) return false;
        if (len > 8 && t[8] != '.') return false;
        m.time = QTime(h, mi, s);
        m.hasTime = true;
        return m.time.isValid();
    };
    if (n >= 10 && p[4] == '-' && p[7] == '-') {
        m.date = QDate(digits(p, 4), digits(p + 5, 2), digits(p + 8, 2));
        if (!m.date.isValid()) return std::nullopt;
        if (n == 10) return m;
        if ((p[10] == ' ' || p[10] == 'T') && readTime(p + 11, n - 11)) return m;
        return std::nullopt;
    }
    // A time alone is on the desktop engine's day zero.
    m.date = QDate(1899, 12, 30);
    if (readTime(p, n)) return m;
    return std::nullopt;
}

bool momentArg(sqlite3_context* ctx, sqlite3_value* v, const char* function, Moment* out) {
    if (const auto m = readMoment(v)) {
        *out = *m;
        return true;
    }
    fail(ctx, QStringLiteral("%1: %2 is not a date. Dates are written as 2024-05-31 (in a statement also as "
                             "#2024-05-31# or #5/31/2024#).")
                  .arg(QLatin1String(function), shown(v)));
    return false;
}

void resultMoment(sqlite3_context* ctx, const QDateTime& at, bool withTime) {
    if (!at.isValid() || at.date().year() < 1 || at.date().year() > 9999) {
        fail(ctx, QStringLiteral("The date is outside the years 1 to 9999."));
        return;
    }
    resultText(ctx, withTime ? at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : at.date().toString(Qt::ISODate));
}

// 1 (Sunday) to 7, counted from the given first day of the week (1 is
// Sunday, as in the desktop engine; 0 means Sunday too).
int weekdayOf(const QDate& d, int firstDay) {
    if (firstDay < 1 || firstDay > 7) firstDay = 1;
    const int sundayBased = d.dayOfWeek() % 7 + 1;
    return (sundayBased - firstDay + 7) % 7 + 1;
}

// The week of the year: rule 1 counts from the week of 1 January, 2 from
// the first week with four days of the year, 3 from the first full week.
int weekOfYear(const QDate& d, int firstDay, int rule) {
    auto weekOneStart = [&](int year) {
        const QDate jan1(year, 1, 1);
        const int into = weekdayOf(jan1, firstDay) - 1;  // days since the week began
        QDate start = jan1.addDays(-into);
        if ((rule == 2 && into > 3) || (rule == 3 && into > 0)) start = start.addDays(7);
        return start;
    };
    QDate start = weekOneStart(d.year());
    if (d < start) start = weekOneStart(d.year() - 1);
    else if (rule == 2 && d >= weekOneStart(d.year() + 1)) return 1;
    return int(start.daysTo(d) / 7) + 1;
}

int intArg(sqlite3_value** argv, int argc, int i, int fallback) {
    return i < argc && !isNull(argv[i]) ? int(sqlite3_value_int(argv[i])) : fallback;
}

QString intervalOf(sqlite3_value* v) { return textOf(v).trimmed().toLower(); }

void dateFieldFunction(sqlite3_context* ctx, int, sqlite3_value** argv, const char* name, int which) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    // The log's dates: read the digits straight from the text.
    if (sqlite3_value_type(argv[0]) == SQLITE_TEXT && sqlite3_value_bytes(argv[0]) >= 10) {
        const char* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
        if (p[4] == '-' && p[7] == '-') {
            const int v = which == 0 ? digits(p, 4) : digits(p + (which == 1 ? 5 : 8), 2);
            if (v >= 0 && (which == 0 || v >= 1) && (sqlite3_value_bytes(argv[0]) == 10 || readMoment(argv[0])))
                return sqlite3_result_int(ctx, v);
        }
    }
    Moment m;
    if (!momentArg(ctx, argv[0], name, &m)) return;
    sqlite3_result_int(ctx, which == 0 ? m.date.year() : which == 1 ? m.date.month() : m.date.day());
}

void fnYear(sqlite3_context* c, int n, sqlite3_value** v) { dateFieldFunction(c, n, v, "Year", 0); }
void fnMonth(sqlite3_context* c, int n, sqlite3_value** v) { dateFieldFunction(c, n, v, "Month", 1); }
void fnDay(sqlite3_context* c, int n, sqlite3_value** v) { dateFieldFunction(c, n, v, "Day", 2); }

void fnWeekday(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    Moment m;
    if (!momentArg(ctx, argv[0], "Weekday", &m)) return;
    sqlite3_result_int(ctx, weekdayOf(m.date, intArg(argv, argc, 1, 1)));
}

// DatePart("yyyy" | "q" | "m" | "y" | "d" | "w" | "ww" | "h" | "n" | "s", date [, first day [, first week]])
std::optional<int> datePart(const QString& interval, const Moment& m, int firstDay, int rule) {
    const QDate& d = m.date;
    if (interval == QLatin1String("yyyy")) return d.year();
    if (interval == QLatin1String("q")) return (d.month() - 1) / 3 + 1;
    if (interval == QLatin1String("m")) return d.month();
    if (interval == QLatin1String("y")) return d.dayOfYear();
    if (interval == QLatin1String("d")) return d.day();
    if (interval == QLatin1String("w")) return weekdayOf(d, firstDay);
    if (interval == QLatin1String("ww")) return weekOfYear(d, firstDay, rule);
    if (interval == QLatin1String("h")) return m.time.hour();
    if (interval == QLatin1String("n")) return m.time.minute();
    if (interval == QLatin1String("s")) return m.time.second();
    return std::nullopt;
}

void badInterval(sqlite3_context* ctx, const char* function, const QString& interval) {
    fail(ctx, QStringLiteral("%1: '%2' is not an interval; use \"yyyy\" (years), \"q\" (quarters), \"m\" "
                             "(months), \"y\" or \"d\" (days), \"w\" (weekdays), \"ww\" (weeks), \"h\", \"n\" "
                             "or \"s\".")
                  .arg(QLatin1String(function), interval));
}

void fnDatePart(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(ctx);
    Moment m;
    if (!momentArg(ctx, argv[1], "DatePart", &m)) return;
    const QString interval = intervalOf(argv[0]);
    const auto part = datePart(interval, m, intArg(argv, argc, 2, 1), intArg(argv, argc, 3, 1));
    if (!part) return badInterval(ctx, "DatePart", interval);
    sqlite3_result_int(ctx, *part);
}

void fnDateAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1]) || isNull(argv[2])) return sqlite3_result_null(ctx);
    double count = 0;
    Moment m;
    if (!numberArg(ctx, argv[1], "DateAdd", &count) || !momentArg(ctx, argv[2], "DateAdd", &m)) return;
    const QString interval = intervalOf(argv[0]);
    const qint64 n = qint64(roundHalfEven(count));
    if (std::fabs(count) > 4e6) return fail(ctx, QStringLiteral("DateAdd: the date is outside the years 1 to 9999."));
    QDateTime at = m.at();
    bool withTime = m.hasTime;
    if (interval == QLatin1String("yyyy")) at = at.addYears(int(n));
    else if (interval == QLatin1String("q")) at = at.addMonths(int(n * 3));
    else if (interval == QLatin1String("m")) at = at.addMonths(int(n));
    else if (interval == QLatin1String("y") || interval == QLatin1String("d") || interval == QLatin1String("w"))
        at = at.addDays(n);
    else if (interval == QLatin1String("ww")) at = at.addDays(n * 7);
    else if (interval == QLatin1String("h")) at = at.addSecs(n * 3600), withTime = true;
    else if (interval == QLatin1String("n")) at = at.addSecs(n * 60), withTime = true;
    else if (interval == QLatin1String("s")) at = at.addSecs(n), withTime = true;
    else return badInterval(ctx, "DateAdd", interval);
    resultMoment(ctx, at, withTime);
}

void fnDateDiff(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1]) || isNull(argv[2])) return sqlite3_result_null(ctx);
    Moment a, b;
    if (!momentArg(ctx, argv[1], "DateDiff", &a) || !momentArg(ctx, argv[2], "DateDiff", &b)) return;
    const QString interval = intervalOf(argv[0]);
    const int firstDay = intArg(argv, argc, 3, 1);
    auto secs = [](const Moment& m) { return m.date.toJulianDay() * 86400 + m.time.msecsSinceStartOfDay() / 1000; };
    qint64 r = 0;
    if (interval == QLatin1String("yyyy")) r = b.date.year() - a.date.year();
    else if (interval == QLatin1String("q"))
        r = (b.date.year() * 4 + (b.date.month() - 1) / 3) - (a.date.year() * 4 + (a.date.month() - 1) / 3);
    else if (interval == QLatin1String("m")) r = (b.date.year() * 12 + b.date.month()) - (a.date.year() * 12 + a.date.month());
    else if (interval == QLatin1String("y") || interval == QLatin1String("d")) r = a.date.daysTo(b.date);
    else if (interval == QLatin1String("w")) r = a.date.daysTo(b.date) / 7;
    else if (interval == QLatin1String("ww")) {
        // Weeks: how many first days of the week lie between the two.
        const QDate wa = a.date.addDays(1 - weekdayOf(a.date, firstDay));
        const QDate wb = b.date.addDays(1 - weekdayOf(b.date, firstDay));
        r = wa.daysTo(wb) / 7;
    } else if (interval == QLatin1String("h")) r = secs(b) / 3600 - secs(a) / 3600;
    else if (interval == QLatin1String("n")) r = secs(b) / 60 - secs(a) / 60;
    else if (interval == QLatin1String("s")) r = secs(b) - secs(a);
    else return badInterval(ctx, "DateDiff", interval);
    sqlite3_result_int64(ctx, r);
}

void fnDateSerial(sqlite3_context* ctx, int, sqlite3_value** argv) {
    for (int i = 0; i < 3; ++i)
        if (isNull(argv[i])) return sqlite3_result_null(ctx);
    double y = 0, m = 0, d = 0;
    if (!numberArg(ctx, argv[0], "DateSerial", &y) || !numberArg(ctx, argv[1], "DateSerial", &m) ||
        !numberArg(ctx, argv[2], "DateSerial", &d))
        return;
    qint64 year = qint64(roundHalfEven(y));
    if (year >= 0 && year < 30) year += 2000;
    else if (year >= 30 && year < 100) year += 1900;
    if (year < 1 || year > 9999 || std::fabs(m) > 120000 || std::fabs(d) > 4e6)
        return fail(ctx, QStringLiteral("DateSerial: the date is outside the years 1 to 9999."));
    // Months and days beyond their range carry over, as in DateSerial(2024, 13, 0).
    const QDate date = QDate(int(year), 1, 1).addMonths(int(roundHalfEven(m)) - 1).addDays(qint64(roundHalfEven(d)) - 1);
    resultMoment(ctx, QDateTime(date, QTime(0, 0)), false);
}

void fnToday(sqlite3_context* ctx, int, sqlite3_value**) {
    resultText(ctx, QDate::currentDate().toString(Qt::ISODate));
}
void fnTimeNow(sqlite3_context* ctx, int, sqlite3_value**) {
    resultText(ctx, QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
}
void fnNow(sqlite3_context* ctx, int, sqlite3_value**) {
    resultText(ctx, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

// A date plus (or minus) a number of days, the fraction being hours; a
// date minus a date is the days between them.
void datePlus(sqlite3_context* ctx, sqlite3_value* dateValue, sqlite3_value* daysValue, double sign) {
    Moment m = *readMoment(dateValue);
    double days = 0;
    if (!numberArg(ctx, daysValue, "Date arithmetic", &days)) return;
    days *= sign;
    if (std::fabs(days) > 4e6) return fail(ctx, QStringLiteral("The date is outside the years 1 to 9999."));
    const double whole = std::floor(days);
    const qint64 secs = qint64(std::llround((days - whole) * 86400.0));
    const QDateTime at = m.at().addDays(qint64(whole)).addSecs(secs);
    resultMoment(ctx, at, m.hasTime || secs != 0);
}

void plainArithmetic(sqlite3_context* ctx, sqlite3_value* a, sqlite3_value* b, double sign) {
    double x = 0, y = 0;
    if (!numberArg(ctx, a, "Date arithmetic", &x) || !numberArg(ctx, b, "Date arithmetic", &y)) return;
    const double r = x + sign * y;
    if (r == std::trunc(r) && std::fabs(r) < 9e15) sqlite3_result_int64(ctx, qint64(r));
    else sqlite3_result_double(ctx, r);
}

void fnDatePlus(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(ctx);
    if (readMoment(argv[0])) return datePlus(ctx, argv[0], argv[1], 1);
    if (readMoment(argv[1])) return datePlus(ctx, argv[1], argv[0], 1);
    plainArithmetic(ctx, argv[0], argv[1], 1);
}

void fnDateMinus(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(ctx);
    const auto a = readMoment(argv[0]);
    if (!a) return plainArithmetic(ctx, argv[0], argv[1], -1);
    if (const auto b = readMoment(argv[1])) {
        const qint64 secs = b->at().secsTo(a->at());
        if (secs % 86400 == 0) sqlite3_result_int64(ctx, secs / 86400);
        else sqlite3_result_double(ctx, double(secs) / 86400.0);
        return;
    }
    datePlus(ctx, argv[0], argv[1], -1);
}

// ---- Format

struct Part {
    QChar letter;  // d, m, y, h, n, s, w, q, c, t, or 0 for literal text
    int count = 0;
    QString text;
};

// Splits a pattern into its parts: runs of one letter, AM/PM markers and
// literal text ("quoted", \x, anything else).
std::vector<Part> patternParts(const QString& pattern) {
    std::vector<Part> parts;
    auto literal = [&](const QString& t) {
        if (!parts.empty() && parts.back().letter.isNull()) parts.back().text += t;
        else parts.push_back(Part{QChar(), 0, t});
    };
    for (int i = 0; i < pattern.size();) {
        const QChar c = pattern[i];
        const QChar l = c.toLower();
        if (c == u'"') {
            const int end = pattern.indexOf(u'"', i + 1);
            literal(pattern.mid(i + 1, (end < 0 ? pattern.size() : end) - i - 1));
            i = end < 0 ? pattern.size() : end + 1;
        } else if (c == u'\\' && i + 1 < pattern.size()) {
            literal(QString(pattern[i + 1]));
            i += 2;
        } else if (l == u'a' && pattern.mid(i, 4).compare(QLatin1String("ampm"), Qt::CaseInsensitive) == 0) {
            parts.push_back(Part{u'a', 4, {}});  // the user's own AM and PM
            i += 4;
        } else if (l == u'a' && (pattern.mid(i, 5).compare(QLatin1String("am/pm"), Qt::CaseInsensitive) == 0 ||
                                 pattern.mid(i, 3).compare(QLatin1String("a/p"), Qt::CaseInsensitive) == 0)) {
            const int len = pattern.mid(i, 5).compare(QLatin1String("am/pm"), Qt::CaseInsensitive) == 0 ? 5 : 3;
            parts.push_back(Part{u'a', len, pattern.mid(i, len)});
            i += len;
        } else if (QStringLiteral("dmyhnswqct").contains(l)) {
            int j = i;
            while (j < pattern.size() && pattern[j].toLower() == l) ++j;
            parts.push_back(Part{l, j - i, {}});
            i = j;
        } else {
            literal(QString(c));
            ++i;
        }
    }
    return parts;
}

QString twoDigits(int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); }

QString formatMoment(const Moment& m, const QString& pattern) {
    const QLocale locale;
    const std::vector<Part> parts = patternParts(pattern);
    bool twelve = false;
    for (const Part& p : parts) twelve = twelve || p.letter == u'a';
    // m and mm are minutes right after an hour or right before seconds.
    auto minutesAt = [&](size_t i) {
        for (size_t k = i; k-- > 0;) {
            if (parts[k].letter.isNull()) continue;
            if (parts[k].letter == u'h') return true;
            break;
        }
        for (size_t k = i + 1; k < parts.size(); ++k) {
            if (parts[k].letter.isNull()) continue;
            return parts[k].letter == u's';
        }
        return false;
    };
    const QDate& d = m.date;
    QString out;
    for (size_t i = 0; i < parts.size(); ++i) {
        const Part& p = parts[i];
        const int n = p.count;
        switch (p.letter.unicode()) {
        case 0: out += p.text; break;
        case 'd':
            if (n == 1) out += QString::number(d.day());
            else if (n == 2) out += twoDigits(d.day());
            else if (n == 3) out += locale.dayName(d.dayOfWeek(), QLocale::ShortFormat);
            else if (n == 4) out += locale.dayName(d.dayOfWeek(), QLocale::LongFormat);
            else if (n == 5) out += locale.toString(d, QLocale::ShortFormat);
            else out += locale.toString(d, QLocale::LongFormat);
            break;
        case 'w': out += QString::number(n == 1 ? weekdayOf(d, 1) : weekOfYear(d, 1, 1)); break;
        case 'm':
            if (n <= 2 && minutesAt(i)) out += n == 1 ? QString::number(m.time.minute()) : twoDigits(m.time.minute());
            else if (n == 1) out += QString::number(d.month());
            else if (n == 2) out += twoDigits(d.month());
            else out += locale.monthName(d.month(), n == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
            break;
        case 'q': out += QString::number((d.month() - 1) / 3 + 1); break;
        case 'y':
            if (n == 1) out += QString::number(d.dayOfYear());
            else if (n < 4) out += twoDigits(d.year() % 100);
            else out += QStringLiteral("%1").arg(d.year(), 4, 10, QLatin1Char('0'));
            break;
        case 'h': {
            int h = m.time.hour();
            if (twelve) h = h % 12 == 0 ? 12 : h % 12;
            out += n == 1 ? QString::number(h) : twoDigits(h);
            break;
        }
        case 'n': out += n == 1 ? QString::number(m.time.minute()) : twoDigits(m.time.minute()); break;
        case 's': out += n == 1 ? QString::number(m.time.second()) : twoDigits(m.time.second()); break;
        case 't': out += locale.toString(m.time, QStringLiteral("h:mm:ss AP")); break;
        case 'c':
            out += locale.toString(d, QLocale::ShortFormat);
            if (m.hasTime) out += u' ' + locale.toString(m.time, QStringLiteral("h:mm:ss AP"));
            break;
        case 'a': {
            const bool pm = m.time.hour() >= 12;
            if (p.count == 4) {
                out += pm ? locale.pmText() : locale.amText();
                break;
            }
            // The marker is written in the case the pattern gives it.
            const QStringList sides = p.text.split(u'/');
            out += sides.value(pm ? 1 : 0);
            break;
        }
        }
    }
    return out;
}

// A number pattern section: 0 and # digits, . and , (thousands), %, E+00,
// and literal text anywhere.
QString formatNumberSection(double x, const QString& section, bool minus) {
    const QLocale locale;
    struct Item {
        enum Kind { Literal, Zero, Hash, Point, Percent, Exponent } kind;
        QString text;
    };
    std::vector<Item> items;
    bool grouping = false, seenPoint = false;
    int intPlaces = 0, intZeros = 0, fracZeros = 0, fracPlaces = 0, percent = 0, expDigits = 0;
    QString expSign;
    for (int i = 0; i < section.size(); ++i) {
        const QChar c = section[i];
        if (c == u'0' || c == u'#') {
            items.push_back({c == u'0' ? Item::Zero : Item::Hash, {}});
            if (seenPoint) {
                ++fracPlaces;
                if (c == u'0') fracZeros = fracPlaces;
            } else {
                ++intPlaces;
                if (c == u'0') ++intZeros;
            }
        } else if (c == u'.' && !seenPoint) {
            seenPoint = true;
            items.push_back({Item::Point, {}});
        } else if (c == u',') {
            if (!seenPoint && intPlaces > 0) grouping = true;
        } else if (c == u'%') {
            ++percent;
            items.push_back({Item::Percent, QStringLiteral("%")});
        } else if ((c == u'E' || c == u'e') && i + 1 < section.size() &&
                   (section[i + 1] == u'+' || section[i + 1] == u'-')) {
            expSign = section[i + 1];
            int j = i + 2;
            while (j < section.size() && (section[j] == u'0' || section[j] == u'#')) ++j, ++expDigits;
            items.push_back({Item::Exponent, QString(c)});
            i = j - 1;
        } else if (c == u'"') {
            const int end = section.indexOf(u'"', i + 1);
            items.push_back({Item::Literal, section.mid(i + 1, (end < 0 ? section.size() : end) - i - 1)});
            i = end < 0 ? section.size() : end;
        } else if (c == u'\\' && i + 1 < section.size()) {
            items.push_back({Item::Literal, QString(section[++i])});
        } else {
            items.push_back({Item::Literal, QString(c)});
        }
    }
    for (int i = 0; i < percent; ++i) x *= 100;
    int exponent = 0;
    if (!expSign.isEmpty() && x != 0) {
        exponent = int(std::floor(std::log10(std::fabs(x)))) - std::max(intPlaces, 1) + 1;
        x /= std::pow(10.0, exponent);
        if (QString::number(std::fabs(x), 'f', fracPlaces).startsWith(QString::number(std::pow(10, std::max(intPlaces, 1)), 'f', 0))) {
            x /= 10;
            ++exponent;
        }
    }
    const QString fixed = QString::number(std::fabs(x), 'f', fracPlaces);
    QString whole = fixed.section(u'.', 0, 0);
    QString fraction = fracPlaces > 0 ? fixed.section(u'.', 1, 1) : QString();
    while (fraction.size() > fracZeros && fraction.endsWith(u'0')) fraction.chop(1);
    if (whole == QLatin1String("0")) whole.clear();
    while (whole.size() < intZeros) whole.prepend(u'0');
    if (grouping)
        for (int at = whole.size() - 3; at > 0; at -= 3) whole.insert(at, locale.groupSeparator());

    QString out;
    int intSeen = 0, fracSeen = 0;
    bool wholeDone = false;
    for (const Item& item : items) {
        switch (item.kind) {
        case Item::Literal:
        case Item::Percent: out += item.text; break;
        case Item::Zero:
        case Item::Hash:
            if (!seenPoint || intSeen < intPlaces) {
                // The whole part goes where the first digit of it is.
                if (intSeen++ == 0 && !wholeDone) {
                    out += whole;
                    wholeDone = true;
                }
            } else {
                if (fracSeen < fraction.size()) out += fraction[fracSeen];
                ++fracSeen;
            }
            break;
        case Item::Point:
            if (!wholeDone) {
                out += whole;
                wholeDone = true;
            }
            intSeen = intPlaces;
            out += locale.decimalPoint();
            break;
        case Item::Exponent: {
            QString e = QString::number(std::abs(exponent));
            while (e.size() < expDigits) e.prepend(u'0');
            out += item.text + (exponent < 0 ? QStringLiteral("-") : (expSign == u'+' ? QStringLiteral("+") : QString())) + e;
            break;
        }
        }
    }
    return minus ? u'-' + out : out;
}

QString formatNumber(double x, const QString& pattern) {
    QStringList sections;
    QString current;
    bool inQuote = false;
    for (QChar c : pattern) {
        if (c == u'"') inQuote = !inQuote;
        if (c == u';' && !inQuote) {
            sections << current;
            current.clear();
        } else {
            current += c;
        }
    }
    sections << current;
    if (x < 0 && sections.size() > 1 && !sections[1].isEmpty()) return formatNumberSection(-x, sections[1], false);
    if (x == 0 && sections.size() > 2 && !sections[2].isEmpty()) return formatNumberSection(0, sections[2], false);
    return formatNumberSection(std::fabs(x), sections[0], x < 0);
}

// Whether a pattern asks for parts of a date (outside quoted text).
bool datePattern(const QString& pattern) {
    for (const Part& p : patternParts(pattern))
        if (!p.letter.isNull()) return true;
    return false;
}

std::optional<QString> namedFormat(const QString& name, sqlite3_value* v, const std::optional<Moment>& m) {
    const QLocale locale;
    const QString key = name.trimmed().toLower();
    if (m) {
        if (key == QLatin1String("general date"))
            return formatMoment(*m, m->hasTime ? QStringLiteral("ddddd ttttt") : QStringLiteral("ddddd"));
        if (key == QLatin1String("long date")) return locale.toString(m->date, QLocale::LongFormat);
        if (key == QLatin1String("medium date")) return formatMoment(*m, QStringLiteral("dd-mmm-yy"));
        if (key == QLatin1String("short date")) return locale.toString(m->date, QLocale::ShortFormat);
        if (key == QLatin1String("long time")) return formatMoment(*m, QStringLiteral("ttttt"));
        if (key == QLatin1String("medium time")) return formatMoment(*m, QStringLiteral("hh:nn AM/PM"));
        if (key == QLatin1String("short time")) return formatMoment(*m, QStringLiteral("hh:nn"));
    }
    const auto x = numberOf(v);
    if (!x) return std::nullopt;
    if (key == QLatin1String("general number")) return numberText(*x);
    if (key == QLatin1String("currency")) return locale.currencySymbol() + formatNumber(*x, QStringLiteral("#,##0.00"));
    if (key == QLatin1String("fixed")) return formatNumber(*x, QStringLiteral("0.00"));
    if (key == QLatin1String("standard")) return formatNumber(*x, QStringLiteral("#,##0.00"));
    if (key == QLatin1String("percent")) return formatNumber(*x, QStringLiteral("0.00%"));
    if (key == QLatin1String("scientific")) return formatNumber(*x, QStringLiteral("0.00E+00"));
    if (key == QLatin1String("yes/no")) return QString::fromLatin1(*x != 0 ? "Yes" : "No");
    if (key == QLatin1String("true/false")) return QString::fromLatin1(*x != 0 ? "True" : "False");
    if (key == QLatin1String("on/off")) return QString::fromLatin1(*x != 0 ? "On" : "Off");
    return std::nullopt;
}

// printf(format, value) through the connection's own printf() (which a
// guarded connection limits), on a statement kept for as long as the format
// stays the same in the calling statement.
void connectionPrintf(sqlite3_context* ctx, sqlite3_value** argv) {
    sqlite3* db = sqlite3_context_db_handle(ctx);
    auto* s = static_cast<sqlite3_stmt*>(sqlite3_get_auxdata(ctx, 0));
    const bool kept = s != nullptr;
    if (!kept && sqlite3_prepare_v2(db, "SELECT printf(?1, ?2)", -1, &s, nullptr) != SQLITE_OK)
        return fail(ctx, QString::fromUtf8(sqlite3_errmsg(db)));
    sqlite3_bind_value(s, 1, argv[0]);
    sqlite3_bind_value(s, 2, argv[1]);
    if (const int rc = sqlite3_step(s); rc == SQLITE_ROW) {
        sqlite3_result_value(ctx, sqlite3_column_value(s, 0));
    } else {
        // Its error as it is: a result too big stays SQLITE_TOOBIG.
        fail(ctx, QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_result_error_code(ctx, rc);
    }
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    // Finalized with the calling statement, or at once when the format is
    // not one constant. (Set again, the same statement would be finalized.)
    if (!kept) sqlite3_set_auxdata(ctx, 0, s, [](void* p) { sqlite3_finalize(static_cast<sqlite3_stmt*>(p)); });
}

// format(text with %, value) is SQLite's printf (which reads a blob as its
// text too); Format(value, pattern) the desktop engine's.
void fnFormat(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    const int type = sqlite3_value_type(argv[0]);
    if ((type == SQLITE_TEXT || type == SQLITE_BLOB) && textOf(argv[0]).contains(u'%'))
        return connectionPrintf(ctx, argv);
    const QString pattern = isNull(argv[1]) ? QString() : textOf(argv[1]);
    const std::optional<Moment> m = readMoment(argv[0]);
    if (pattern.isEmpty()) return resultText(ctx, numberOf(argv[0]) ? numberText(*numberOf(argv[0])) : textOf(argv[0]));
    if (const auto named = namedFormat(pattern, argv[0], m)) return resultText(ctx, *named);
    if (m) return resultText(ctx, formatMoment(*m, pattern));
    if (const auto x = numberOf(argv[0])) {
        if (datePattern(pattern) && !pattern.contains(u'0') && !pattern.contains(u'#'))
            return fail(ctx, QStringLiteral("Format: %1 is not a date, so it has no '%2'. Dates are written as "
                                            "2024-05-31.")
                                 .arg(shown(argv[0]), pattern));
        return resultText(ctx, formatNumber(*x, pattern));
    }
    // Text: > makes it upper case, < lower case.
    QString text = textOf(argv[0]);
    if (pattern.contains(u'>')) text = text.toUpper();
    else if (pattern.contains(u'<')) text = text.toLower();
    resultText(ctx, text);
}

// ---- text

QString textArg(sqlite3_value* v) {
    if (sqlite3_value_type(v) == SQLITE_FLOAT) return numberText(sqlite3_value_double(v));
    return textOf(v);
}

bool lengthArg(sqlite3_context* ctx, sqlite3_value* v, const char* function, const char* what, qint64* out) {
    double x = 0;
    if (!numberArg(ctx, v, function, &x)) return false;
    if (x < 0) {
        fail(ctx, QStringLiteral("%1: the %2 %3 is less than 0.").arg(QLatin1String(function), QLatin1String(what),
                                                                       numberText(x)));
        return false;
    }
    *out = qint64(std::min(roundHalfEven(x), 1e9));
    return true;
}

void fnLen(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    sqlite3_result_int64(ctx, textArg(argv[0]).size());
}

void fnLeft(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(ctx);
    qint64 n = 0;
    if (!lengthArg(ctx, argv[1], "Left", "length", &n)) return;
    resultText(ctx, textArg(argv[0]).left(n));
}

void fnRight(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(ctx);
    qint64 n = 0;
    if (!lengthArg(ctx, argv[1], "Right", "length", &n)) return;
    resultText(ctx, textArg(argv[0]).right(n));
}

void fnMid(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i)
        if (isNull(argv[i])) return sqlite3_result_null(ctx);
    qint64 start = 0, n = -1;
    if (!lengthArg(ctx, argv[1], "Mid", "start", &start)) return;
    if (start < 1) return fail(ctx, QStringLiteral("Mid: the start is counted from 1."));
    if (argc > 2 && !lengthArg(ctx, argv[2], "Mid", "length", &n)) return;
    resultText(ctx, textArg(argv[0]).mid(start - 1, n));
}

// InStr([start,] text, sought [, compare]): without regard to case unless
// compare is 0; instr(text, sought) the same.
void fnInStr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    for (int i = 0; i < std::min(argc, 3); ++i)
        if (isNull(argv[i])) return sqlite3_result_null(ctx);
    qint64 start = 1;
    int at = 0;
    if (argc >= 3) {
        if (!lengthArg(ctx, argv[0], "InStr", "start", &start)) return;
        if (start < 1) return fail(ctx, QStringLiteral("InStr: the start is counted from 1."));
        at = 1;
    }
    const Qt::CaseSensitivity cs = argc == 4 && sqlite3_value_int(argv[3]) == 0 ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const QString text = textArg(argv[at]);
    const QString sought = textArg(argv[at + 1]);
    if (start > text.size() + 1) return sqlite3_result_int(ctx, 0);
    if (sought.isEmpty()) return sqlite3_result_int64(ctx, start);
    sqlite3_result_int64(ctx, text.indexOf(sought, start - 1, cs) + 1);
}

void fnUCase(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    resultText(ctx, textArg(argv[0]).toUpper());
}
void fnLCase(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    resultText(ctx, textArg(argv[0]).toLower());
}

// ---- values

void fnNz(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (!isNull(argv[0])) return sqlite3_result_value(ctx, argv[0]);
    if (argc > 1) return sqlite3_result_value(ctx, argv[1]);
    sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
}

void fnIsNull(sqlite3_context* ctx, int, sqlite3_value** argv) { sqlite3_result_int(ctx, isNull(argv[0]) ? -1 : 0); }

void resultWhole(sqlite3_context* ctx, double x) {
    if (std::fabs(x) < 9.2e18) sqlite3_result_int64(ctx, qint64(x));
    else sqlite3_result_double(ctx, x);
}

void fnInt(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER) return sqlite3_result_value(ctx, argv[0]);
    double x = 0;
    if (numberArg(ctx, argv[0], "Int", &x)) resultWhole(ctx, std::floor(x));
}

void fnFix(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER) return sqlite3_result_value(ctx, argv[0]);
    double x = 0;
    if (numberArg(ctx, argv[0], "Fix", &x)) resultWhole(ctx, std::trunc(x));
}

// Val: the number at the start of the text, blanks skipped ("12 km" is 12,
// "abc" is 0).
void fnVal(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) return sqlite3_result_value(ctx, argv[0]);
    QString digitsSeen;
    bool point = false, exponent = false;
    const QString text = textOf(argv[0]);
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r') continue;
        if (c.isDigit() && c.unicode() < 128) digitsSeen += c;
        else if ((c == u'-' || c == u'+') && (digitsSeen.isEmpty() || digitsSeen.back().toLower() == u'e')) digitsSeen += c;
        else if (c == u'.' && !point && !exponent) point = true, digitsSeen += c;
        else if ((c == u'e' || c == u'E') && !exponent && !digitsSeen.isEmpty()) exponent = true, digitsSeen += c;
        else break;
    }
    while (!digitsSeen.isEmpty() && !digitsSeen.back().isDigit() && digitsSeen.back() != u'.') digitsSeen.chop(1);
    bool ok = false;
    const double x = digitsSeen.toDouble(&ok);
    if (!ok) return sqlite3_result_int(ctx, 0);
    if (!point && !exponent && std::fabs(x) < 9e15) return sqlite3_result_int64(ctx, qint64(x));
    sqlite3_result_double(ctx, x);
}

void fnCStr(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    resultText(ctx, textArg(argv[0]));
}

void convertWhole(sqlite3_context* ctx, sqlite3_value* v, const char* name, double low, double high) {
    if (isNull(v)) return sqlite3_result_null(ctx);
    double x = 0;
    if (!numberArg(ctx, v, name, &x)) return;
    const double r = roundHalfEven(x);
    if (r < low || r > high)
        return fail(ctx, QStringLiteral("%1: %2 is outside %3 to %4 (overflow).")
                             .arg(QLatin1String(name), numberText(x), numberText(low), numberText(high)));
    sqlite3_result_int64(ctx, qint64(r));
}

void fnCInt(sqlite3_context* ctx, int, sqlite3_value** argv) { convertWhole(ctx, argv[0], "CInt", -32768, 32767); }
void fnCLng(sqlite3_context* ctx, int, sqlite3_value** argv) {
    convertWhole(ctx, argv[0], "CLng", -2147483648.0, 2147483647.0);
}
void fnCDbl(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    double x = 0;
    if (numberArg(ctx, argv[0], "CDbl", &x)) sqlite3_result_double(ctx, x);
}

// a & b: Null is empty text; both Null is Null.
void fnConcat(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]) && isNull(argv[1])) return sqlite3_result_null(ctx);
    std::string out;
    for (int i = 0; i < 2; ++i) {
        if (isNull(argv[i])) continue;
        if (sqlite3_value_type(argv[i]) == SQLITE_FLOAT) {
            out += numberText(sqlite3_value_double(argv[i])).toStdString();
        } else {
            const char* t = reinterpret_cast<const char*>(sqlite3_value_text(argv[i]));
            out.append(t ? t : "", size_t(sqlite3_value_bytes(argv[i])));
        }
    }
    sqlite3_result_text64(ctx, out.data(), out.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// a Mod b and a \ b: both rounded to whole numbers first; by 0, Null.
void wholeOperator(sqlite3_context* ctx, sqlite3_value** argv, const char* name, bool remainder) {
    if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(ctx);
    double a = 0, b = 0;
    if (!numberArg(ctx, argv[0], name, &a) || !numberArg(ctx, argv[1], name, &b)) return;
    const double x = roundHalfEven(a), y = roundHalfEven(b);
    if (y == 0) return sqlite3_result_null(ctx);
    if (std::fabs(x) > 9e18 || std::fabs(y) > 9e18)
        return fail(ctx, QStringLiteral("%1: the numbers are too large.").arg(QLatin1String(name)));
    const qint64 i = qint64(x), j = qint64(y);
    if (i == std::numeric_limits<qint64>::min() && j == -1) return sqlite3_result_int64(ctx, remainder ? 0 : i);
    sqlite3_result_int64(ctx, remainder ? i % j : i / j);
}

void fnMod(sqlite3_context* ctx, int, sqlite3_value** argv) { wholeOperator(ctx, argv, "Mod", true); }
void fnIntDiv(sqlite3_context* ctx, int, sqlite3_value** argv) { wholeOperator(ctx, argv, "\\", false); }

// ---- LIKE and the collation

// One character from UTF-8 (a malformed byte stands for itself).
inline char32_t nextChar(const unsigned char*& p, const unsigned char* end) {
    const unsigned char c = *p++;
    if (c < 0x80) return c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    char32_t cp = c & (0x3F >> extra);
    while (extra-- > 0 && p < end && (*p & 0xC0) == 0x80) cp = (cp << 6) | (*p++ & 0x3F);
    return cp;
}

inline char32_t fold(char32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
    return QChar::toCaseFolded(c);
}

struct LikePattern {
    struct Element {
        enum Kind { Char, One, Any, Digit, Set } kind;
        char32_t c = 0;
        bool negated = false;
        std::vector<std::pair<char32_t, char32_t>> ranges = {};
    };
    std::vector<Element> elements;
    char32_t escape = 0;
    QString error;
};

LikePattern compileLike(const unsigned char* p, const unsigned char* end, char32_t escape) {
    LikePattern pat;
    pat.escape = escape;
    using E = LikePattern::Element;
    while (p < end) {
        const char32_t c = nextChar(p, end);
        if (escape && c == escape) {
            if (p >= end) {
                pat.error = QStringLiteral("The LIKE pattern ends with its escape character.");
                return pat;
            }
            pat.elements.push_back({E::Char, fold(nextChar(p, end))});
        } else if (c == '%' || c == '*') {
            if (pat.elements.empty() || pat.elements.back().kind != E::Any) pat.elements.push_back({E::Any});
        } else if (c == '_' || c == '?') {
            pat.elements.push_back({E::One});
        } else if (c == '#') {
            pat.elements.push_back({E::Digit});
        } else if (c == '[') {
            E set{E::Set};
            if (p < end && *p == '!') {
                set.negated = true;
                ++p;
            }
            bool closed = false;
            bool firstInSet = true;
            while (p < end) {
                char32_t a = nextChar(p, end);
                if (a == ']' && !firstInSet) {
                    closed = true;
                    break;
                }
                firstInSet = false;
                char32_t b = a;
                if (p + 1 < end && *p == '-' && p[1] != ']') {
                    ++p;
                    b = nextChar(p, end);
                }
                set.ranges.push_back({fold(a), fold(b)});
            }
            if (!closed) {
                pat.error = QStringLiteral("The LIKE pattern has a '[' that is not closed; a '[' itself is "
                                           "written [[].");
                return pat;
            }
            pat.elements.push_back(std::move(set));
        } else {
            pat.elements.push_back({E::Char, fold(c)});
        }
    }
    return pat;
}

inline bool matchesOne(const LikePattern::Element& e, char32_t c) {
    using E = LikePattern::Element;
    switch (e.kind) {
    case E::Char: return fold(c) == e.c;
    case E::One: return true;
    case E::Digit: return c >= '0' && c <= '9';
    case E::Set: {
        const char32_t f = fold(c);
        bool in = false;
        for (const auto& [a, b] : e.ranges) in = in || (f >= a && f <= b);
        return in != e.negated;
    }
    case E::Any: return true;
    }
    return false;
}

// Matches with one way back: the latest * takes one more character when
// what follows it fails.
bool likeMatch(const LikePattern& pat, const unsigned char* s, const unsigned char* end) {
    using E = LikePattern::Element;
    size_t pi = 0;
    size_t starAt = SIZE_MAX;
    const unsigned char* starText = nullptr;
    const size_t n = pat.elements.size();
    for (;;) {
        if (pi < n && pat.elements[pi].kind == E::Any) {
            starAt = pi++;
            starText = s;
            continue;
        }
        if (s >= end) {
            while (pi < n && pat.elements[pi].kind == E::Any) ++pi;
            return pi == n;
        }
        const char32_t c = nextChar(s, end);
        if (pi < n && matchesOne(pat.elements[pi], c)) {
            ++pi;
            continue;
        }
        if (starAt == SIZE_MAX) return false;
        s = starText;
        nextChar(s, end);
        starText = s;
        pi = starAt + 1;
    }
}

void fnLike(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1]) || (argc > 2 && isNull(argv[2]))) return sqlite3_result_null(ctx);
    const int patternBytes = sqlite3_value_bytes(argv[0]);
    if (patternBytes > sqlite3_limit(sqlite3_context_db_handle(ctx), SQLITE_LIMIT_LIKE_PATTERN_LENGTH, -1))
        return fail(ctx, QStringLiteral("LIKE or GLOB pattern too complex"));
    char32_t escape = 0;
    if (argc > 2) {
        const auto* e = sqlite3_value_text(argv[2]);
        const auto* eEnd = e + sqlite3_value_bytes(argv[2]);
        if (e == eEnd) return fail(ctx, QStringLiteral("ESCAPE expression must be a single character"));
        escape = nextChar(e, eEnd);
        if (e != eEnd) return fail(ctx, QStringLiteral("ESCAPE expression must be a single character"));
    }
    // The pattern is compiled once per statement while it stays the same.
    auto* cached = static_cast<LikePattern*>(sqlite3_get_auxdata(ctx, 0));
    LikePattern* fresh = nullptr;
    if (!cached || cached->escape != escape) {
        const auto* p = sqlite3_value_text(argv[0]);
        fresh = new LikePattern(compileLike(p, p + patternBytes, escape));
    }
    const LikePattern& pat = fresh ? *fresh : *cached;
    if (!pat.error.isEmpty()) fail(ctx, pat.error);
    else {
        const auto* s = sqlite3_value_text(argv[1]);
        sqlite3_result_int(ctx, likeMatch(pat, s, s + sqlite3_value_bytes(argv[1])));
    }
    // The engine keeps it, or frees it at once when it cannot.
    if (fresh) sqlite3_set_auxdata(ctx, 0, fresh, [](void* d) { delete static_cast<LikePattern*>(d); });
}

int compareText(void*, int n1, const void* a, int n2, const void* b) {
    auto* p = static_cast<const unsigned char*>(a);
    auto* q = static_cast<const unsigned char*>(b);
    const auto* pe = p + n1;
    const auto* qe = q + n2;
    while (p < pe && q < qe) {
        // Plain ASCII letters and digits, the most of any log, compare
        // without decoding.
        if (*p < 0x80 && *q < 0x80) {
            const unsigned char x = *p >= 'A' && *p <= 'Z' ? *p + 32 : *p;
            const unsigned char y = *q >= 'A' && *q <= 'Z' ? *q + 32 : *q;
            if (x != y) return x < y ? -1 : 1;
            ++p, ++q;
            continue;
        }
        const char32_t x = fold(nextChar(p, pe));
        const char32_t y = fold(nextChar(q, qe));
        if (x != y) return x < y ? -1 : 1;
    }
    if (p < pe) return 1;
    if (q < qe) return -1;
    return 0;
}

struct Registration {
    const char* name;
    int arguments;
    void (*function)(sqlite3_context*, int, sqlite3_value**);
    int flags;
};

}  // namespace

int registerDialectFunctions(sqlite3* db) {
    // Pacebook's own functions exist only here: never kept in the file,
    // where other programs would not find them (DIRECTONLY). Those that
    // stand in for SQLite's own (date(), time(), format(x, pattern),
    // instr(), LIKE) may be used wherever SQLite's may.
    constexpr int own = SQLITE_UTF8 | SQLITE_DIRECTONLY;
    constexpr int pure = own | SQLITE_DETERMINISTIC;
    constexpr int builtin = SQLITE_UTF8 | SQLITE_INNOCUOUS;
    static const Registration functions[] = {
        {"Year", 1, fnYear, pure},          {"Month", 1, fnMonth, pure},
        {"Day", 1, fnDay, pure},            {"Weekday", 1, fnWeekday, pure},
        {"Weekday", 2, fnWeekday, pure},    {"DatePart", 2, fnDatePart, pure},
        {"DatePart", 3, fnDatePart, pure},  {"DatePart", 4, fnDatePart, pure},
        {"DateAdd", 3, fnDateAdd, pure},    {"DateDiff", 3, fnDateDiff, pure},
        {"DateDiff", 4, fnDateDiff, pure},  {"DateDiff", 5, fnDateDiff, pure},
        {"DateSerial", 3, fnDateSerial, pure}, {"Now", 0, fnNow, own},
        {"date", 0, fnToday, builtin},      {"time", 0, fnTimeNow, builtin},
        {"format", 2, fnFormat, builtin | SQLITE_DETERMINISTIC},
        {"Len", 1, fnLen, pure},            {"Left", 2, fnLeft, pure},
        {"Right", 2, fnRight, pure},        {"Mid", 2, fnMid, pure},
        {"Mid", 3, fnMid, pure},            {"instr", 2, fnInStr, builtin | SQLITE_DETERMINISTIC},
        {"instr", 3, fnInStr, pure},        {"instr", 4, fnInStr, pure},
        {"UCase", 1, fnUCase, pure},        {"LCase", 1, fnLCase, pure},
        {"Nz", 1, fnNz, pure},              {"Nz", 2, fnNz, pure},
        {"IsNull", 1, fnIsNull, pure},      {"Int", 1, fnInt, pure},
        {"Fix", 1, fnFix, pure},            {"Val", 1, fnVal, pure},
        {"CStr", 1, fnCStr, pure},          {"CInt", 1, fnCInt, pure},
        {"CLng", 1, fnCLng, pure},          {"CDbl", 1, fnCDbl, pure},
        {"pb_concat", 2, fnConcat, pure},   {"pb_mod", 2, fnMod, pure},
        {"pb_intdiv", 2, fnIntDiv, pure},   {"pb_dateplus", 2, fnDatePlus, pure},
        {"pb_dateminus", 2, fnDateMinus, pure},
        {"like", 2, fnLike, builtin | SQLITE_DETERMINISTIC},
        {"like", 3, fnLike, builtin | SQLITE_DETERMINISTIC},
    };
    for (const Registration& r : functions) {
        const int rc = sqlite3_create_function_v2(db, r.name, r.arguments, r.flags, nullptr, r.function, nullptr,
                                                  nullptr, nullptr);
        if (rc != SQLITE_OK) return rc;
    }
    return sqlite3_create_collation_v2(db, sql::kTextCollation, SQLITE_UTF8, nullptr, compareText, nullptr);
}

}  // namespace dao::detail

// SPDX-License-Identifier: GPL-3.0-or-later
#include "totals.h"

#include "dao/rows.h"
#include "logstore/runtypes.h"

#include <QHash>

#include <algorithm>
#include <cstdlib>

namespace summary {

namespace {

// How SQLite finds a day's period: the Monday on or before it, the first of
// its month, the first of its year. A text that is no day gives NULL.
const char* periodExpression(Period period) {
    switch (period) {
    case Period::Weeks: return "date(\"Date\", '-6 days', 'weekday 1')";
    case Period::Months: return "date(\"Date\", 'start of month')";
    case Period::Years: return "date(\"Date\", 'start of year')";
    }
    return "NULL";
}

// The days of a range before it is widened to whole periods.
std::pair<QDate, QDate> rangeDays(Range range, const QDate& today) {
    const QDate monday = periodStart(today, Period::Weeks);
    auto lastWeeks = [&](int weeks) { return std::pair(monday.addDays(-7 * (weeks - 1)), monday.addDays(6)); };
    switch (range) {
    case Range::Last12Weeks: return lastWeeks(12);
    case Range::Last26Weeks: return lastWeeks(26);
    case Range::Last52Weeks: return lastWeeks(52);
    case Range::ThisYear: return {QDate(today.year(), 1, 1), QDate(today.year(), 12, 31)};
    case Range::All: break;
    }
    return {};
}

qint64 number(const QVariant& v) { return v.isValid() ? qint64(qRound64(v.toDouble())) : 0; }

}  // namespace

QStringList typeColumns() {
    return logstore::runTypes() << logstore::initialRunType() << QStringLiteral("Other");
}

int typeColumn(const QVariant& type) {
    static const QStringList columns = typeColumns();
    const QString text = type.toString().trimmed();
    if (text.isEmpty()) return 0;  // "Normal"
    for (int i = 0; i < columns.size() - 1; ++i)
        if (text.compare(columns[i], Qt::CaseInsensitive) == 0) return i;
    return int(columns.size()) - 1;
}

QDate periodStart(const QDate& day, Period period) {
    switch (period) {
    case Period::Weeks: return day.addDays(1 - day.dayOfWeek());
    case Period::Months: return QDate(day.year(), day.month(), 1);
    case Period::Years: return QDate(day.year(), 1, 1);
    }
    return day;
}

QDate nextPeriod(const QDate& start, Period period) {
    switch (period) {
    case Period::Weeks: return start.addDays(7);
    case Period::Months: return start.addMonths(1);
    case Period::Years: return start.addYears(1);
    }
    return start;
}

QString periodLabel(const QDate& start, Period period) {
    switch (period) {
    case Period::Weeks: {
        int year = 0;
        const int week = start.weekNumber(&year);
        return QStringLiteral("%1-W%2").arg(year, 4, 10, QLatin1Char('0')).arg(week, 2, 10, QLatin1Char('0'));
    }
    case Period::Months: return start.toString(QStringLiteral("yyyy-MM"));
    case Period::Years: return start.toString(QStringLiteral("yyyy"));
    }
    return {};
}

QString hoursMinutes(qint64 minutes) {
    const qint64 whole = std::llabs(minutes);
    return QStringLiteral("%1%2:%3")
        .arg(minutes < 0 ? QStringLiteral("-") : QString())
        .arg(whole / 60)
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

QString totalsStatement(Period period, bool ranged) {
    return QStringLiteral("SELECT %1 AS period, \"Type\", count(*), sum(\"Time\"), max(\"Time\") FROM runlog%2 "
                          "GROUP BY period, \"Type\"")
        .arg(QLatin1String(periodExpression(period)),
             ranged ? QStringLiteral(" WHERE \"Date\" >= ?1 AND \"Date\" < ?2") : QString());
}

Totals load(dao::Database& db, Period period, Range range, const QDate& today) {
    Totals totals;
    totals.period = period;
    const auto [firstDay, lastDay] = rangeDays(range, today);
    const bool ranged = firstDay.isValid();
    QDate first = ranged ? periodStart(firstDay, period) : QDate();
    QDate last = ranged ? periodStart(lastDay, period) : QDate();

    QVariantList params;
    if (ranged) params = {first.toString(Qt::ISODate), nextPeriod(last, period).toString(Qt::ISODate)};
    const dao::Rows rows = dao::SelectRows(db, totalsStatement(period, ranged), params);

    // The whole log spans the periods of its first and last runs.
    std::vector<std::pair<QDate, const std::vector<QVariant>*>> found;
    found.reserve(rows.size());
    for (const auto& row : rows) {
        const QDate start = QDate::fromString(row[0].toString(), Qt::ISODate);
        if (!start.isValid()) {
            totals.undated += number(row[2]);
            continue;
        }
        found.emplace_back(start, &row);
        if (!ranged) {
            if (!first.isValid() || start < first) first = start;
            if (!last.isValid() || start > last) last = start;
        }
    }
    if (!first.isValid()) return totals;

    const int columns = int(typeColumns().size());
    QHash<QDate, size_t> index;
    for (QDate d = first; d <= last; d = nextPeriod(d, period)) {
        index.insert(d, totals.rows.size());
        PeriodTotals& p = totals.rows.emplace_back();
        p.start = d;
        p.label = periodLabel(d, period);
        p.byType.assign(size_t(columns), 0);
    }
    for (const auto& [start, row] : found) {
        const auto at = index.constFind(start);
        if (at == index.cend()) continue;  // cannot happen: the range bounds the statement
        PeriodTotals& p = totals.rows[*at];
        const qint64 minutes = number((*row)[3]);
        p.runs += number((*row)[2]);
        p.minutes += minutes;
        p.longest = std::max(p.longest, number((*row)[4]));
        p.byType[size_t(typeColumn((*row)[1]))] += minutes;
    }
    totals.first = first;
    totals.last = nextPeriod(last, period).addDays(-1);
    return totals;
}

QStringList columnHeaders() {
    return QStringList{QStringLiteral("Period"), QStringLiteral("Runs"), QStringLiteral("Minutes"),
                       QStringLiteral("h:mm"), QStringLiteral("Longest")}
           << typeColumns();
}

QString tabSeparated(const Totals& totals, const std::vector<int>& rows) {
    QString text = columnHeaders().join(u'\t') + u'\n';
    auto add = [&](const PeriodTotals& p) {
        QStringList cells{p.label, QString::number(p.runs), QString::number(p.minutes), hoursMinutes(p.minutes),
                          QString::number(p.longest)};
        for (qint64 m : p.byType) cells << QString::number(m);
        text += cells.join(u'\t') + u'\n';
    };
    if (rows.empty()) {
        for (const auto& p : totals.rows) add(p);
    } else {
        for (int r : rows)
            if (r >= 0 && size_t(r) < totals.rows.size()) add(totals.rows[size_t(r)]);
    }
    return text;
}

}  // namespace summary

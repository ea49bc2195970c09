// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Training totals per ISO 8601 week, month or year, computed by SQLite
// (one GROUP BY over the log) and laid out with every period of the range,
// those without a run included.

#include "dao/dao.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <vector>

namespace summary {

enum class Period { Weeks, Months, Years };
enum class Range { Last12Weeks, Last26Weeks, Last52Weeks, ThisYear, All };

// The columns of minutes per type: the log's run types in the entry form's
// order ("Fartlek" last), then "Other".
QStringList typeColumns();
// The column of a stored type: a run type matched without regard to case
// or surrounding blanks; a blank type counts as "Normal", which the entry
// form stores for it; any other text is "Other".
int typeColumn(const QVariant& type);

// The first day of the period that holds day (weeks begin on Monday).
QDate periodStart(const QDate& day, Period period);
QDate nextPeriod(const QDate& start, Period period);
// "2026-W03" (the ISO week-numbering year), "2026-01", "2026".
QString periodLabel(const QDate& start, Period period);

// 90 minutes: "1:30".
QString hoursMinutes(qint64 minutes);

struct PeriodTotals {
    QDate start;
    QString label;
    qint64 runs = 0;
    qint64 minutes = 0;
    qint64 longest = 0;
    std::vector<qint64> byType;  // minutes, one per typeColumns()
};

struct Totals {
    Period period = Period::Weeks;
    // The days covered: the first day of the first period and the last day
    // of the last one (null when there is no period).
    QDate first;
    QDate last;
    std::vector<PeriodTotals> rows;
    // Runs of the range (of the whole log for All) without a day that can
    // be placed in a period.
    qint64 undated = 0;
};

// The statement behind the totals: period start, type, runs, minutes and
// longest run, grouped by period and type; with ?1 and ?2 the first day
// and the day after the last when ranged.
QString totalsStatement(Period period, bool ranged);

// The totals of the range as it stands on the day today. Every period of
// the range is counted whole, so that no row holds part of its period.
Totals load(dao::Database& db, Period period, Range range, const QDate& today);

// The header and the given rows (all of them when rows is empty) as
// tab-separated text, each row starting with its period's label.
QStringList columnHeaders();
QString tabSeparated(const Totals& totals, const std::vector<int>& rows = {});

}  // namespace summary

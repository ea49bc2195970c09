// SPDX-License-Identifier: GPL-3.0-or-later
// Totals per ISO week, month and year as SQLite computes them: the
// boundaries of weeks and years, ranges of whole periods with the empty
// ones in place, the type columns, and the text the table copies as.

#include "summary_fixture.h"

#include "forms/summary/totals.h"

#include <QDate>

#include <map>

namespace {

using namespace summary;
using summarytest::Entry;

const QDate kToday(2026, 12, 9);  // a Wednesday of 2026-W50

const PeriodTotals* find(const Totals& t, const QString& label) {
    for (const auto& p : t.rows)
        if (p.label == label) return &p;
    return nullptr;
}

class TotalsTest : public summarytest::SummaryLog {
protected:
    Totals totals(Period period, Range range = Range::All) { return load(*open(), period, range, kToday); }
};

TEST_F(TotalsTest, daysFallIntoTheirIsoWeekMonthAndYear) {
    struct Case {
        const char* date;
        const char* week;
        const char* month;
    };
    const Case cases[] = {
        {"2024-12-29", "2024-W52", "2024-12"},  // a Sunday ends the week ...
        {"2024-12-30", "2025-W01", "2024-12"},  // ... the Monday after begins the next, of the next ISO year
        {"2020-12-31", "2020-W53", "2020-12"},  // 2020 has 53 weeks
        {"2021-01-03", "2020-W53", "2021-01"},  // early January in the previous ISO year
        {"2021-01-04", "2021-W01", "2021-01"},
        {"2023-01-01", "2022-W52", "2023-01"},
        {"2026-01-01", "2026-W01", "2026-01"},  // a Thursday: week 1 of its own year
        {"2026-12-28", "2026-W53", "2026-12"},
        {"2027-01-01", "2026-W53", "2027-01"},
        {"2015-12-31", "2015-W53", "2015-12"},
    };
    std::vector<Entry> runs;
    std::map<QString, int> weeks, months, years;
    for (const Case& c : cases) {
        runs.push_back({c.date, 10, "Long"});
        ++weeks[c.week];
        ++months[c.month];
        ++years[QString::fromLatin1(c.date, 4)];
    }
    summarytest::addRuns(log(), runs);

    const std::pair<Period, const std::map<QString, int>*> periods[] = {
        {Period::Weeks, &weeks}, {Period::Months, &months}, {Period::Years, &years}};
    for (const auto& [period, expected] : periods) {
        const Totals t = totals(period);
        for (const auto& [label, count] : *expected) {
            const PeriodTotals* p = find(t, label);
            ASSERT_NE(p, nullptr) << label.toStdString();
            EXPECT_EQ(p->runs, count) << label.toStdString();
            EXPECT_EQ(p->minutes, 10 * count) << label.toStdString();
        }
        // Every period from the first run's to the last one's, each once,
        // consecutive, those without a run as zero.
        qint64 runsSeen = 0;
        for (size_t i = 0; i < t.rows.size(); ++i) {
            if (i > 0) {
                EXPECT_EQ(t.rows[i].start, nextPeriod(t.rows[i - 1].start, period));
            }
            runsSeen += t.rows[i].runs;
        }
        EXPECT_EQ(runsSeen, qint64(std::size(cases)));
    }
    // 2015-W53 up to 2026-W53: the weeks of eleven years and two more.
    EXPECT_EQ(totals(Period::Weeks).rows.size(), size_t(QDate(2015, 12, 28).daysTo(QDate(2026, 12, 28)) / 7 + 1));
    EXPECT_EQ(totals(Period::Weeks).first, QDate(2015, 12, 28));
    EXPECT_EQ(totals(Period::Weeks).last, QDate(2027, 1, 3));
}

TEST_F(TotalsTest, rangesAreWholePeriodsUpToTodayWithEmptyOnesAsZero) {
    summarytest::addRuns(log(), {{"2026-09-30", 40, "Tempo"},
                                 {"2026-10-21", 50, "Long"},
                                 {"2026-10-22", 70, "Long"},
                                 {"2026-12-13", 30, "Normal"},   // the Sunday of this week
                                 {"2026-12-14", 99, "Normal"},   // next week: beyond every range
                                 {"2026-09-20", 99, "Normal"}}); // the Sunday before 12 weeks ago
    const Totals weeks = totals(Period::Weeks, Range::Last12Weeks);
    ASSERT_EQ(weeks.rows.size(), 12u);
    EXPECT_EQ(weeks.rows.front().label, "2026-W39");
    EXPECT_EQ(weeks.rows.back().label, "2026-W50");
    EXPECT_EQ(weeks.first, QDate(2026, 9, 21));
    EXPECT_EQ(weeks.last, QDate(2026, 12, 13));
    std::vector<qint64> minutes;
    for (const auto& p : weeks.rows) minutes.push_back(p.minutes);
    EXPECT_EQ(minutes, (std::vector<qint64>{0, 40, 0, 0, 120, 0, 0, 0, 0, 0, 0, 30}));
    EXPECT_EQ(weeks.rows[4].runs, 2);
    EXPECT_EQ(weeks.rows[4].longest, 70);

    struct Case {
        Period period;
        Range range;
        size_t rows;
        const char* first;
        const char* last;
        qint64 minutes;
    };
    const Case cases[] = {
        {Period::Weeks, Range::Last26Weeks, 26, "2026-W25", "2026-W50", 289},
        {Period::Weeks, Range::Last52Weeks, 52, "2025-W51", "2026-W50", 289},
        // This year's weeks: from the week of 1 January to that of 31 December.
        {Period::Weeks, Range::ThisYear, 53, "2026-W01", "2026-W53", 388},
        // Months and years are counted whole, the days after today included.
        {Period::Months, Range::Last12Weeks, 4, "2026-09", "2026-12", 388},
        {Period::Years, Range::Last52Weeks, 2, "2025", "2026", 388},
        {Period::Months, Range::All, 4, "2026-09", "2026-12", 388},
    };
    for (const Case& c : cases) {
        const Totals t = totals(c.period, c.range);
        const std::string label = std::string(c.first) + ".." + c.last;
        ASSERT_EQ(t.rows.size(), c.rows) << label;
        EXPECT_EQ(t.rows.front().label, c.first) << label;
        EXPECT_EQ(t.rows.back().label, c.last) << label;
        qint64 sum = 0;
        for (const auto& p : t.rows) sum += p.minutes;
        EXPECT_EQ(sum, c.minutes) << label;
    }
}

TEST_F(TotalsTest, typesOfTheLogHaveAColumnEachAndTheRestAreOther) {
    ASSERT_EQ(typeColumns(), (QStringList{"Normal", "Long", "Speedwork", "Race", "Recovery", "Tempo",
                                          "Lactate Threshold", "VO2 Max", "Fartlek", "Other"}));
    summarytest::addRuns(log(), {{"2026-12-07", 1, "Long"},
                                 {"2026-12-07", 2, " long "},
                                 {"2026-12-07", 4, "LONG"},
                                 {"2026-12-08", 8, "normal"},  // a blank type as the entry form stores it
                                 {"2026-12-08", 16, ""},
                                 {"2026-12-08", 32, nullptr},
                                 {"2026-12-09", 64, "Hill sprints"},
                                 {"2026-12-09", 128, "Longer"},
                                 {"2026-12-09", 256, "vo2 max"},
                                 {"2026-12-10", -1, "Fartlek"},  // a run without a time counts as a run
                                 {nullptr, 512, "Long"}});        // one without a day in no period
    const Totals t = totals(Period::Weeks);
    ASSERT_EQ(t.rows.size(), 1u);
    const PeriodTotals& week = t.rows.front();
    EXPECT_EQ(week.label, "2026-W50");
    EXPECT_EQ(week.runs, 10);
    EXPECT_EQ(week.minutes, 511);
    EXPECT_EQ(week.longest, 256);
    EXPECT_EQ(week.byType, (std::vector<qint64>{56, 7, 0, 0, 0, 0, 0, 256, 0, 192}));
    EXPECT_EQ(t.undated, 1);
    // In a range, the run without a day is outside it.
    EXPECT_EQ(totals(Period::Weeks, Range::Last12Weeks).undated, 0);
}

TEST_F(TotalsTest, emptyLogHasNoPeriodsInAllAndZerosInARange) {
    EXPECT_TRUE(totals(Period::Weeks).rows.empty());
    EXPECT_FALSE(totals(Period::Weeks).first.isValid());
    const Totals year = totals(Period::Months, Range::ThisYear);
    ASSERT_EQ(year.rows.size(), 12u);
    for (const auto& p : year.rows) EXPECT_EQ(p.runs + p.minutes + p.longest, 0) << p.label.toStdString();
}

TEST(TotalsText, hoursAndMinutes) {
    const std::pair<qint64, const char*> cases[] = {
        {0, "0:00"}, {59, "0:59"}, {60, "1:00"}, {90, "1:30"}, {6005, "100:05"}, {-75, "-1:15"}};
    for (const auto& [minutes, text] : cases) EXPECT_EQ(hoursMinutes(minutes), text) << minutes;
}

TEST_F(TotalsTest, copiedTextHasAHeaderAndOneLabelledLinePerPeriod) {
    summarytest::addRuns(log(), {{"2026-11-23", 45, "Tempo"}, {"2026-11-24", 90, "Long"}, {"2026-12-09", 30, "Jog"}});
    const Totals t = totals(Period::Weeks);
    const QString header =
        "Period\tRuns\tMinutes\th:mm\tLongest\tNormal\tLong\tSpeedwork\tRace\tRecovery\tTempo\tLactate Threshold\t"
        "VO2 Max\tFartlek\tOther\n";
    EXPECT_EQ(tabSeparated(t), header +
                                   "2026-W48\t2\t135\t2:15\t90\t0\t90\t0\t0\t0\t45\t0\t0\t0\t0\n"
                                   "2026-W49\t0\t0\t0:00\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\n"
                                   "2026-W50\t1\t30\t0:30\t30\t0\t0\t0\t0\t0\t0\t0\t0\t0\t30\n");
    EXPECT_EQ(tabSeparated(t, {2}), header + "2026-W50\t1\t30\t0:30\t30\t0\t0\t0\t0\t0\t0\t0\t0\t0\t30\n");
}

}  // namespace

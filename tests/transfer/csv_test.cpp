// SPDX-License-Identifier: GPL-3.0-or-later
// CSV files as spreadsheets and other training logs write them: the runs
// each must give, the rows each must refuse (and where), or why the file
// as a whole is refused.

#include "importrun.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

using namespace testsupport;
using transfer::DateOrder;

namespace {

struct CsvCase {
    const char* name;
    QByteArray csv;
    QStringList rows;
    QStringList refusals = {};  // "line N: " and part of the reason
    QString error = {};         // part of the message refusing the file
    DateOrder order = DateOrder::Unknown;
    std::vector<std::pair<QString, QString>> map = {};
};

const QByteArray kHeader = "Date,Time,Type,Description\n";

std::vector<CsvCase> cases() {
    return {
        {"comma", kHeader + "2024-05-01,45,Long,easy\n2024-05-02,30,Tempo,\n",
         {"2024-05-01|45|Long|easy", "2024-05-02|30|Tempo|<none>"}},
        {"semicolon, a decimal comma in a column left out", "Day;Minutes;Kind;Notes;Km\n2024-05-01;45;Long;easy;8,5\n",
         {"2024-05-01|45|Long|easy"}},
        {"tab", "date\ttime\ttype\tdescription\n2024-05-01\t45\tLong\ta, b; c\n", {"2024-05-01|45|Long|a, b; c"}},
        {"quoting: delimiter, doubled quotes, line breaks; later line numbers stay right",
         kHeader + "2024-05-01,45,Long,\"a, \"\"quoted\"\"\r\nsecond line\"\n2024-05-02,30,Tempo,\"\"\n2024-05-02,x,Tempo,\n",
         {"2024-05-01|45|Long|a, \"quoted\"\r\nsecond line", "2024-05-02|30|Tempo|"},
         {"line 5: \"x\" is not a duration"}},
        {"blanks after a closing quote; text after it refused", kHeader + "2024-05-01,45,\"Long\"  ,x\n2024-05-01,45,\"Lo\"ng,x\n",
         {"2024-05-01|45|Long|x"},
         {"line 3: text follows the closing quote of field 3"}},
        {"byte order mark", "\xEF\xBB\xBF" + kHeader + "2024-05-01,45,Long,caf\xC3\xA9\n", {"2024-05-01|45|Long|caf\u00e9"}},
        {"Windows-1252 when the bytes are not UTF-8", kHeader + "2024-05-01,45,Long,caf\xE9 \x80 \x96\n",
         {"2024-05-01|45|Long|caf\u00e9 \u20ac \u2013"}},
        {"day first, told by one date", kHeader + "3/4/2024,45,Long,\n25/12/2023,30,Race,\n",
         {"2024-04-03|45|Long|<none>", "2023-12-25|30|Race|<none>"}},
        {"month first, told by one date", kHeader + "3/4/2024,45,Long,\n12/25/2023,30,Race,\n",
         {"2024-03-04|45|Long|<none>", "2023-12-25|30|Race|<none>"}},
        {"ambiguous order refused", kHeader + "3/4/2024,45,Long,\n5/6/2024,30,Race,\n", {}, {},
         "--date-order"},
        {"ambiguous order settled by --date-order", kHeader + "3/4/2024,45,Long,\n", {"2024-03-04|45|Long|<none>"}, {}, {},
         DateOrder::MonthDay},
        {"orders that contradict each other refused", kHeader + "25/12/2023,45,Long,\n12/25/2023,30,Race,\n", {}, {},
         "both day first (line 2) and month first (line 3)"},
        {"contradicting dates under --date-order", kHeader + "25/12/2023,45,Long,\n12/25/2023,30,Race,\n",
         {"2023-12-25|45|Long|<none>"}, {"line 3: 12/25/2023 is not a day of the calendar (read as day/month/year)"}, {},
         DateOrder::DayMonth},
        {"dates: a time of day ignored, two-digit years and non-days refused",
         kHeader + "2024-05-01T06:30:00Z,45,Long,\n5/1/2024 6:30 AM,45,Long,\n1/5/24,45,Long,\n2023-02-29,45,Long,\n"
                   "May 1,45,Long,\n,45,Long,\n",
         {"2024-05-01|45|Long|<none>", "2024-05-01|45|Long|<none>"},
         {"line 4: two-digit year", "line 5: 2023-2-29 is not a day of the calendar", "line 6: \"May 1\" is not a date",
          "line 7: no date"},
         {}, DateOrder::MonthDay},
        {"dates around 1900: no 29 February that year, the days before it kept",
         kHeader + "1899-12-30,45,A,\n1900-01-01,45,B,\n1900-02-29,45,C,\n29/2/1900,45,D,\n1/3/1900,45,E,\n"
                   "31/12/1899,45,F,\n",
         {"1899-12-30|45|A|<none>", "1900-01-01|45|B|<none>", "1900-03-01|45|E|<none>", "1899-12-31|45|F|<none>"},
         {"line 4: 1900-2-29 is not a day of the calendar", "line 5: 29/2/1900 is not a day of the calendar"}, {},
         DateOrder::DayMonth},
        {"durations: minutes, h:mm, h:mm:ss rounded",
         kHeader + "2024-05-01,45,A,\n2024-05-01,1:30,B,\n2024-05-01,1:30:29,C,\n2024-05-01,1:30:30,D,\n"
                   "2024-05-01, 45.0 ,E,\n2024-05-01,0:45:12.6,F,\n",
         {"2024-05-01|45|A|<none>", "2024-05-01|90|B|<none>", "2024-05-01|90|C|<none>", "2024-05-01|91|D|<none>",
          "2024-05-01|45|E|<none>", "2024-05-01|45|F|<none>"}},
        {"durations refused",
         kHeader + "2024-05-01,0,A,\n2024-05-01,0:00:20,B,\n2024-05-01,45.5,C,\n2024-05-01,25:30,D,\n"
                   "2024-05-01,1:75,E,\n2024-05-01,-5,F,\n2024-05-01,,G,\n",
         {},
         {"line 2: a run of 0 minutes", "line 3: rounds to 0 minutes", "line 4: not a whole number of minutes",
          "line 5: longer than 24 hours", "line 6: \"1:75\" is not a duration", "line 7: \"-5\" is not a duration",
          "line 8: no duration"}},
        {"a blank type is \"normal\"; an empty field is no description, \"\" an empty one",
         kHeader + "2024-05-01,45,,\n2024-05-01,45,\"\",\"\"\n", {"2024-05-01|45|normal|<none>", "2024-05-01|45|normal|"}},
        {"ragged rows refused, blank lines passed over",
         kHeader + "2024-05-01,45,Long\n\n2024-05-02,45,Long,x,extra\n2024-05-03,45,Long,x\n\n",
         {"2024-05-03|45|Long|x"},
         {"line 2: it has 3 fields where the header names 4", "line 4: it has 5 fields where the header names 4"}},
        {"a quote never closed", kHeader + "2024-05-01,45,Long,ok\n2024-05-02,45,Long,\"open\n2024-05-03,45,Long,x\n",
         {"2024-05-01|45|Long|ok"}, {"line 3: the quote opened on line 3 is never closed"}},
        {"header only", kHeader, {}},
        {"empty file", "", {}, {}, "is empty"},
        {"binary junk", QByteArray("\x7f" "ELF\x02\x01\x01\x00\x00\x00junk,\xff\xfe", 17), {}, {}, "NUL byte at byte 8"},
        {"UTF-16 text", QByteArray("\xFF\xFE" "D\0a\0", 6), {}, {}, "UTF-16"},
        {"no column for the duration", "Date,Distance\n2024-05-01,8\n", {}, {}, "--map Time=COLUMN"},
        {"two columns could be the date", "Date,Day,Time\n2024-05-01,x,45\n", {}, {}, "\"Date\", \"Day\""},
        {"--map names the columns", "When,How long,What\n2024-05-01,45,Long\n", {"2024-05-01|45|Long|<none>"}, {}, {},
         DateOrder::Unknown, {{"date", "when"}, {"Time", "How long"}, {"Type", "What"}}},
        {"--map with a column that is not there", kHeader, {}, {}, "no column \"Pace\"", DateOrder::Unknown,
         {{"Time", "Pace"}}},
    };
}

TEST(CsvImport, casesGiveTheirRowsAndRefusals) {
    TempFolder folder;
    int n = 0;
    for (const CsvCase& c : cases()) {
        SCOPED_TRACE(c.name);
        const QString path = folder.file(QStringLiteral("case%1.csv").arg(++n));
        writeFile(path, c.csv);
        transfer::ImportOptions options;
        options.dateOrder = c.order;
        options.map = c.map;
        const ImportRun run = importFile(path, options);
        if (!c.error.isEmpty()) {
            EXPECT_TRUE(run.error.contains(c.error)) << run.error.toStdString();
            continue;
        }
        EXPECT_EQ(run.error, QString());
        EXPECT_EQ(run.rows, c.rows);
        ASSERT_EQ(run.refusals.size(), c.refusals.size()) << run.refusals.join(u'\n').toStdString();
        for (qsizetype i = 0; i < c.refusals.size(); ++i) {
            const QString want = c.refusals[i];
            const QString where = want.left(want.indexOf(u':') + 1);
            EXPECT_TRUE(run.refusals[i].startsWith(where) && run.refusals[i].contains(want.mid(where.size() + 1)))
                << run.refusals[i].toStdString() << " / " << want.toStdString();
        }
        EXPECT_EQ(run.report.read, c.rows.size() + c.refusals.size());
    }
}

TEST(CsvImport, reportNamesTheColumnsLeftOutAndCountsRoundings) {
    TempFolder folder;
    const QString path = folder.file(QStringLiteral("garmin.csv"));
    writeFile(path, "Activity Type,Date,Title,Distance,Duration,Avg HR\n"
                    "Running,2024-05-01 06:30:00,Morning Run,8.02,0:45:12,151\n"
                    "Running,2024-05-02 06:30:00,Hills,10.5,1:02:00,160\n");
    transfer::ImportOptions options;
    options.map = {{"Type", "Activity Type"}, {"Description", "Title"}};
    const ImportRun run = importFile(path, options);
    EXPECT_EQ(run.rows, QStringList({"2024-05-01|45|Running|Morning Run", "2024-05-02|62|Running|Hills"}));
    EXPECT_EQ(run.report.leftOut, QStringList({"Distance", "Avg HR"}));
    EXPECT_EQ(run.report.rounded, 1);
    EXPECT_TRUE(run.report.source.contains(QLatin1String("UTF-8"))) << run.report.source.toStdString();
}

TEST(CsvImport, tenMegabyteFieldIsRefusedWithoutHoldingIt) {
    TempFolder folder;
    const QString path = folder.file(QStringLiteral("big.csv"));
    QByteArray csv = kHeader + "2024-05-01,45,Long,\"";
    csv += QByteArray(10 << 20, 'x');
    csv += "\"\n2024-05-02,30,Tempo,fine\n";
    writeFile(path, csv);
    const ImportRun run = importFile(path);
    EXPECT_EQ(run.rows, QStringList({"2024-05-02|30|Tempo|fine"}));
    ASSERT_EQ(run.refusals.size(), 1);
    EXPECT_TRUE(run.refusals[0].startsWith(QLatin1String("line 2: the description is 10485760 bytes long")))
        << run.refusals[0].toStdString();
}

TEST(CsvImport, aSlashedDateLateInTheFileStillSettlesTheOrder) {
    TempFolder folder;
    QByteArray csv = kHeader;
    for (int i = 0; i < 1500; ++i) csv += "2024-01-01,30,Long,iso\n";
    const QString late = folder.file(QStringLiteral("late.csv"));
    writeFile(late, csv + "3/4/2024,31,Long,\n25/12/2023,32,Long,\n");
    const ImportRun run = importFile(late);
    ASSERT_EQ(run.rows.size(), 1502) << run.error.toStdString();
    EXPECT_EQ(run.rows[1500], QStringLiteral("2024-04-03|31|Long|<none>"));
    EXPECT_EQ(run.rows[1501], QStringLiteral("2023-12-25|32|Long|<none>"));
    EXPECT_EQ(run.report.read, 1502);
    const QString contradicting = folder.file(QStringLiteral("contradicting.csv"));
    writeFile(contradicting, csv + "25/12/2023,31,Long,\n12/25/2023,32,Long,\n");
    EXPECT_TRUE(importFile(contradicting).error.contains(QLatin1String("line 1502"))) << importFile(contradicting).error.toStdString();
}

}  // namespace

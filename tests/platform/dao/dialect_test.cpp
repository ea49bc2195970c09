// SPDX-License-Identifier: GPL-3.0-or-later
// Statements in the desktop engine's dialect give that engine's answer,
// plain SQLite ones keep SQLite's; what cannot run says how to write it;
// statements that change the log run once, however they are shaped.

#include "logfixture.h"

#include "dao/sqlguard.h"
#include "dao/sqltext.h"
#include "logstore/backup.h"

#include <QDate>

using namespace testsupport;

namespace {

class DialectTest : public LogTest {
protected:
    void SetUp() override {
        LogTest::SetUp();
        refill();
        db = open();
    }

    void refill() {
        outside(QStringLiteral("DELETE FROM runlog;"
                               "INSERT INTO runlog VALUES ('2024-05-01', 50, 'Long', 'hill run');"
                               "INSERT INTO runlog VALUES ('2024-05-02', 30, 'Tempo', NULL);"
                               "INSERT INTO runlog VALUES ('2024-05-15', 95, 'long', 'Hill repeats');"
                               "INSERT INTO runlog VALUES ('2024-06-03', 45, 'Fartlek', '5*400m');"
                               "INSERT INTO runlog VALUES ('2023-12-31', 120, 'Race', 'New year''s eve 10K #1');"
                               "INSERT INTO runlog VALUES ('%1', 20, 'Recovery', 'Café loop');")
                    .arg(QDate::currentDate().addDays(-3).toString(Qt::ISODate)));
    }

    // Every row, fields joined by '|', rows by ';'; Null as "Null".
    QString rowsOf(const QString& sql) {
        dao::RecordsetPtr rs = db->OpenRecordset(sql);
        QStringList rows;
        for (long long i = 0; i < rs->RecordCount(); ++i) {
            QStringList fields;
            for (int f = 0; f < rs->Fields().Count(); ++f) {
                const QVariant v = rs->valueAt(i, f);
                fields << (v.isValid() ? v.toString() : QStringLiteral("Null"));
            }
            rows << fields.join(u'|');
        }
        return rows.join(u';');
    }

    // Runs a statement as the query window does; the error it ends with.
    dao::Error failureOf(const QString& sql) {
        try {
            if (db->Classify(sql) == dao::StatementKind::Rows) rowsOf(sql);
            else db->Execute(sql);
        } catch (const dao::Error& e) {
            return e;
        }
        return dao::Error(0, QStringLiteral("(no error)"));
    }

    QString logContent() {
        return QString::number(outsideCount(QStringLiteral("SELECT count(*) FROM runlog"))) + u'/' +
               QString::number(outsideCount(QStringLiteral("SELECT total(length(Description) + Time + "
                                                           "length(Type)) FROM runlog")));
    }

    dao::DatabasePtr db;
};

// Each idiom, in the desktop engine's words and (where there are some) in
// SQLite's, and the rows it must give.
TEST_F(DialectTest, idiomsGiveTheRowsTheyMean) {
    const struct {
        const char* sql;
        const char* rows;
    } cases[] = {
        // & joins text, Null taken as empty text (both Null stay Null); || is SQLite's.
        {"select [Description] & ' (PB)' from runlog where rowid in (1, 2) order by rowid", "hill run (PB); (PB)"},
        {"select Null & Null, 5 & 'k', 1.5 & ''", "Null|5k|1.5"},
        {"select Description || '!' from runlog where rowid in (1, 2) order by rowid", "hill run!;Null"},
        // / divides exactly, \ and Mod on whole numbers, with the desktop engine's precedence.
        {"select 7 / 2, 6 / 3, 7 \\ 2, -7 \\ 2, 7.6 \\ 2, 7 Mod 3, 7.5 Mod 2, 7 % 3", "3.5|2|3|-3|4|1|0|1"},
        {"select sum([Time]) / 60 from runlog where Type = 'Tempo'", "0.5"},
        {"select 1 + 2 & 3 * 4, 2 + 7 Mod 3, 2 * 7 \\ 4, 10 - 4 / 2 / 2", "312|3|3|9"},
        {"select Time from runlog order by rowid limit 6 / 4", "50"},
        {"select True, False, count(*) from runlog where ([Time] > 60) = True", "-1|0|2"},
        {"select count(*) from runlog where ([Time] > 60) = False or ([Time] > 100) <> True", "5"},
        // LIKE: the desktop engine's wildcards and SQLite's, without regard to case.
        {"select rowid from runlog where [Type] Like 'Long*' order by rowid", "1;3"},
        {"select rowid from runlog where Type LIKE 'long%' order by rowid", "1;3"},
        {"select rowid from runlog where Description like '*hill*' order by rowid", "1;3"},
        {"select rowid from runlog where [Date] like '2024-05*' order by rowid", "1;2;3"},
        {"select rowid from runlog where Type like 'T?mpo' or Type like 'R_ce' order by rowid", "2;5"},
        {"select rowid from runlog where Description like '#[*]###m'", "4"},
        {"select rowid from runlog where Type like '[a-l]*' order by rowid", "1;3;4"},
        {"select rowid from runlog where Type like '[!a-l]*' order by rowid", "2;5;6"},
        {"select rowid from runlog where Description like '%CAFÉ%' and Description not like 'x*'", "6"},
        {"select rowid from runlog where Description like '%!%%' escape '!' or Description like '*[#]1' and "
         "[Date] = #12/31/2023#",
         "5"},
        // Dialect inside strings, quoted names and comments is text.
        {"select '*', 'Len(x) & ''a*'' / 2', \"Type\" /* & Len( */ -- like 'x*' & #1/1/2024#\n from runlog where "
         "rowid = 1",
         "*|Len(x) & 'a*' / 2|Long"},
        // TOP, TOP PERCENT, DISTINCTROW.
        {"select top 2 Time from runlog order by Time desc", "120;95"},
        {"select Time from runlog order by Time desc limit 2", "120;95"},
        {"select top 50 percent Time from runlog order by Time", "20;30;45"},
        {"select top 1 Type from runlog union all select 'x'", "Long;x"},
        {"select distinctrow Type from runlog where Time = 50", "Long"},
        // Date functions, and SQLite's own beside them.
        {"select Year([Date]), Month([Date]), Day([Date]), strftime('%Y', Date) from runlog where rowid = 5",
         "2023|12|31|2023"},
        {"select Weekday(#2024-05-31#), DatePart('w', #2024-05-31#), DatePart('ww', #2024-01-07#), "
         "DatePart('q', #2024-05-31#), DatePart('y', #2024-02-01#), DatePart('ww', #2024-12-30#, 2, 2)",
         "6|6|2|2|32|1"},
        {"select DateAdd('m', 1, #2024-01-31#), DateAdd('d', -1, #2024-03-01#), DateAdd('yyyy', 1, #2024-02-29#), "
         "DateAdd('h', 3, #2024-05-31#)",
         "2024-02-29|2024-02-29|2025-02-28|2024-05-31 03:00:00"},
        {"select DateDiff('d', #2024-05-01#, #2024-05-31#), DateDiff('m', #2024-01-31#, #2024-02-01#), "
         "DateDiff('yyyy', #2023-12-31#, #2024-01-01#), DateDiff('ww', #2024-05-25#, #2024-05-26#)",
         "30|1|1|1"},
        {"select DateSerial(2024, 13, 0), DateSerial(24, 2, 30)", "2024-12-31|2024-03-01"},
        // Date arithmetic, and comparisons with it.
        {"select #2024-05-31# + 7, 7 + #2024-05-31#, #2024-06-01# - #2024-05-01#, #2024-03-01# - 1",
         "2024-06-07|2024-06-07|31|2024-02-29"},
        {"select [Date] + 1, [Date] - 0.25 from runlog where rowid = 5", "2024-01-01|2023-12-30 18:00:00"},
        {"select rowid from runlog where [Date] > Date() - 30", "6"},
        {"select rowid from runlog where [Date] <= #2024-05-01# + 7 and [Date] + 1 > #2024-05-01# or "
         "[Date] = #2024-06-04# - 1 or [Date] >= Now() - 5 order by rowid",
         "1;2;4;6"},
        {"select rowid from runlog where Date > date('now', '-30 days')", "6"},
        {"select count(*) from runlog where [Date] between #2024-05-01# and #5/31/2024#", "3"},
        {"select count(*) from runlog where Year([Date]) = '2024'", "4"},
        // Format: date and number patterns, named formats; SQLite's printf-format stays.
        {"select Format([Date], 'yyyy-mm'), strftime('%Y-%m', Date) from runlog where rowid = 4", "2024-06|2024-06"},
        {"select Format(#2024-05-31#, 'mmm d, yyyy'), Format(#2024-05-31#, 'dddd'), Format(#2024-05-31#, 'ww'), "
         "Format(#2024-05-31#, 'q'), Format(#2024-05-31#, 'Medium Date')",
         "May 31, 2024|Friday|22|2|31-May-24"},
        {"select Format('2024-05-31 14:05:09', 'hh:mm:ss'), Format('2024-05-31 14:05:09', 'h:nn AM/PM')",
         "14:05:09|2:05 PM"},
        {"select Format(1234.5, '#,##0.00'), Format(0.256, 'Percent'), Format(5, '000'), "
         "Format(-3.5, '0.0;(0.0)'), Format(1234, 'Scientific'), Format(95 / 60, 'Fixed'), Format(0, 'Yes/No')",
         "1,234.50|25.60%|005|(3.5)|1.23E+03|1.58|No"},
        {"select format('%d runs', 5), printf('%05.1f', 1.5)", "5 runs|001.5"},
        {"select format('%d min', Time), format(Type, '>') from runlog where Time > 90 order by Time",
         "95 min|LONG;120 min|RACE"},
        // Text compares and sorts without regard to case, beyond A to Z too.
        {"select rowid from runlog where Type = 'long' order by rowid", "1;3"},
        {"select count(*) from runlog where Type <> 'LONG'", "4"},
        {"select rowid from runlog where Type in ('LONG', 'tempo') order by rowid", "1;2;3"},
        {"select rowid from runlog where Type between 'l' and 'lz' order by rowid", "1;3"},
        {"select rowid from runlog where Type < 'M' order by rowid", "1;3;4"},
        {"select Type from runlog order by Type, Time", "Fartlek;Long;long;Race;Recovery;Tempo"},
        {"select Type, count(*) from runlog where Time > 40 group by Type order by 1", "Fartlek|1;Long|2;Race|1"},
        {"select rowid from runlog where Description = 'CAFÉ LOOP'", "6"},
        {"select Description from runlog order by Description",
         "Null;5*400m;Café loop;Hill repeats;hill run;New year's eve 10K #1"},
        {"select top 50 percent Type, count(*) from runlog group by Type order by Type", "Fartlek|1;Long|2;Race|1"},
        {"select count(*) from runlog where Type = 'long' collate binary", "1"},
        // Text and value functions.
        {"select Len('Café'), Left('Fartlek', 4), Right('Fartlek', 3), Mid('Fartlek', 2, 3), Mid('Fartlek', 5)",
         "4|Fart|lek|art|lek"},
        {"select InStr('Hill run', 'RUN'), InStr(2, 'a-b-a', 'a'), InStr(1, 'aA', 'A', 0), instr('abc', 'c')",
         "6|5|2|3"},
        {"select UCase('café'), LCase('LONG'), Replace('a-b', '-', '+'), Trim('  x  ')", "CAFÉ|long|a+b|x"},
        {"select Nz([Description], '-'), IsNull([Description]), IIf([Time] > 60, 'long', 'short') from runlog "
         "where rowid = 2",
         "-|-1|short"},
        {"select Int(-2.5), Fix(-2.5), Round(2.5), Val('12 km'), Val('3.5e1x'), CStr(1.5), CInt(2.5), CInt(3.5), "
         "CLng('12'), CDbl('1.25')",
         "-3|-2|3|12|35|1.5|2|4|12|1.25"},
        // Edges: LIKE going back after *, sets with ] and -, patterns and formats at their limits.
        {"select 'abxbyd' like '*b?d', 'ab' like '*b*b', 'a-c' like '[a-]?c', ']' like '[]]', 'x' like '[!]]'",
         "1|0|1|1|1"},
        {"select Format(0.5, '#.##'), Format(1234567, '#,##0'), Format(-1234.5, '#,##0.0'), "
         "Format(0, '0.00;-0.00;\"zero\"'), Format(12.345, '0.0 km')",
         ".5|1,234,567|-1,234.5|zero|12.3 km"},
        {"select Format('2024-05-31 09:05:00', 'yyyy-mm-dd hh:nn'), Format(#2024-01-05#, 'ddd d mmmm yy'), "
         "Format(#2024-05-31#, 'y'), Format(#2024-05-31#, '\"Week\" ww')",
         "2024-05-31 09:05|Fri 5 January 24|152|Week 22"},
        {"select DateDiff('h', '2024-05-31 10:59:00', '2024-05-31 11:00:00'), DateDiff('n', '2024-05-31 10:59:59', "
         "'2024-05-31 11:00:00'), Weekday(#2024-05-31#, 2), DateAdd('q', 1, #2024-11-30#), DatePart('ww', "
         "#2021-01-01#, 2, 2)",
         "1|1|5|2025-02-28|53"},
        {"select Val('  1 2 3'), Val('abc'), Nz(Null), CStr(3.0), 5 & 2.50, Mid('abc', 5), Left('abc', 9)",
         "123|0||3|52.5||abc"},
        {"select DatePart('ww', #2024-01-01#, 1, 3), DatePart('ww', #2023-01-01#, 2, 2), DateDiff('q', "
         "#2024-03-31#, #2024-04-01#), DateDiff('w', #2024-05-01#, #2024-05-15#), DateSerial(2024, -1, 15)",
         "53|52|1|2|2023-11-15"},
        {"select Format('2024-05-31 00:30:00', 'h:nn am/pm'), Format('2024-05-31 13:00:00', 'hh AMPM'), "
         "Format(#2024-05-31#, 'dd/mm/yyyy'), Format(-0.5, '0%'), Format(3, '')",
         "12:30 am|01 PM|31/05/2024|-50%|3"},
        // Plain SQLite keeps SQLite's answer.
        {"with x as (select Time from runlog) select max(Time) from x", "120"},
        {"select Time, sum(Time) over (order by Date) from runlog order by Date limit 2 offset 1", "50|170;30|200"},
    };
    for (const auto& c : cases) {
        const QString sql = QString::fromUtf8(c.sql);
        try {
            EXPECT_EQ(rowsOf(sql).toStdString(), c.rows) << c.sql;
        } catch (const dao::Error& e) {
            ADD_FAILURE() << c.sql << "\n  failed: " << e.what();
        }
    }
    // Dates, as the named formats of the user's own settings show them.
    EXPECT_EQ(rowsOf(QStringLiteral("select Format(#2024-05-31#, 'Short Date'), Date(), Len(Now()), Len(Time())")),
              QLocale().toString(QDate(2024, 5, 31), QLocale::ShortFormat) + u'|' +
                  QDate::currentDate().toString(Qt::ISODate) + QStringLiteral("|19|8"));
}

// What cannot run here says what it is and how to write it.
TEST_F(DialectTest, whatCannotRunSaysHowToWriteIt) {
    const struct {
        const char* sql;
        int number;
        const char* says;
    } cases[] = {
        {"TRANSFORM Sum([Time]) SELECT [Type] FROM runlog GROUP BY [Type] PIVOT Year([Date])", dao::err::Refused,
         "GROUP BY"},
        {"PARAMETERS [Start] DateTime; SELECT * FROM runlog WHERE [Date] > [Start]", dao::err::Refused,
         "PARAMETERS line out"},
        {"select * from runlog where [Date] > [Start date?]", dao::err::TooFewParameters, "[Start date?]"},
        {"select * from runlog where [Date] = '5/31/2024'", dao::err::CriteriaMismatch, "'2024-05-31' or #2024-05-31#"},
        {"select * from runlog where [Date] in ('31.05.2024')", dao::err::CriteriaMismatch, "'2024-05-31'"},
        {"select * from runlog where [Date] between '2024-5-1' and #2024-05-31#", dao::err::CriteriaMismatch,
         "'2024-05-01'"},
        {"create view v as select Year([Date]) as y from runlog", dao::err::Refused, "strftime('%Y', Date)"},
        {"create view v as select * from runlog where Type like 'L*'", dao::err::Refused, "% for any text"},
        {"create view v as select Type & 'x' from runlog", dao::err::Refused, "a || b"},
        {"create view v as select [Date] + 7 from runlog", dao::err::Refused, "'+7 days'"},
        {"select top 5 * from runlog limit 3", dao::err::SyntaxError, "one or the other"},
        {"select Year([Description]) from runlog", dao::err::EngineError, "Year: 'hill run' is not a date"},
        {"select Format([Time], 'yyyy') from runlog", dao::err::EngineError, "is not a date"},
        {"select * from runlog where Type like '[a'", dao::err::EngineError, "not closed"},
        {"select CInt(40000)", dao::err::EngineError, "overflow"},
        {"select DateAdd('x', 1, [Date]) from runlog", dao::err::EngineError, "not an interval"},
    };
    const QString before = logContent();
    for (const auto& c : cases) {
        const dao::Error e = failureOf(QString::fromUtf8(c.sql));
        EXPECT_EQ(e.Number(), c.number) << c.sql << "\n  said: " << e.what();
        EXPECT_TRUE(e.Description().contains(QString::fromUtf8(c.says))) << c.sql << "\n  said: " << e.what();
    }
    // A named query is kept in the file too.
    EXPECT_EQ(errorNumber([&] { db->CreateQueryDef(QStringLiteral("years"), QStringLiteral("select Year([Date]) from runlog")); }),
              dao::err::Refused);
    EXPECT_EQ(logContent(), before);
    // A view in plain SQLite is kept, and text in it compares as elsewhere.
    db->Execute(QStringLiteral("create view longruns as select * from runlog where Type = 'LONG'"));
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM longruns")), 2);
}

TEST_F(DialectTest, actionsInTheDialectChangeWhatTheySay) {
    db->Execute(QStringLiteral("update runlog set [Description] = [Description] & ' (PB)' where Time in (30, 50)"));
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog WHERE Description IN ('hill run (PB)', ' (PB)')")), 2);
    db->Execute(QStringLiteral("update runlog set Type = 'Hilly' where Type like 'long*'"));
    EXPECT_EQ(db->RecordsAffected(), 2);
    db->Execute(QStringLiteral("DELETE * FROM runlog WHERE [Date] < #1/1/2024#"));
    db->Execute(QStringLiteral("delete runlog.* from runlog where Time = 45"));
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog")), 4);
}

// A statement that changes the log runs once, after one backup, whatever it
// returns; its rows are held as returned and nothing reads them again (a
// sort reorders them as they are).
TEST_F(DialectTest, statementsThatReturnRowsAndChangeTheLogRunOnce) {
    logstore::keepBackups();
    const struct {
        const char* sql;
        long long rowsAfter;
        long long returned;
    } cases[] = {
        {"insert into runlog values (#2024-07-01#, 33, 'Tempo', 'new') returning *", 7, 1},
        {"update runlog set Time = Time + 1 where Type = 'long' returning Date, Time", 6, 2},
        {"delete from runlog where [Date] < #2024-01-01# returning *", 5, 1},
    };
    for (const auto& c : cases) {
        logstore::forgetBackupsOfThisRun();
        refill();
        const QString sql = QString::fromUtf8(c.sql);
        const int backups = logstore::backupsOf(path).size();
        ASSERT_EQ(db->Classify(sql), dao::StatementKind::ActionWithRows) << c.sql;
        // Rows are never opened over it.
        EXPECT_EQ(errorNumber([&] { db->OpenRecordset(sql); }), dao::err::InvalidOperation) << c.sql;
        EXPECT_EQ(errorNumber([&] { db->CreateQueryDef(QString(), sql)->OpenRecordset(); }),
                  dao::err::InvalidOperation);
        EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog")), 6) << c.sql;

        dao::RecordsetPtr rs = db->ExecuteReturning(sql);
        const QString after = logContent();
        EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog")), c.rowsAfter) << c.sql;
        EXPECT_EQ(logstore::backupsOf(path).size(), backups + 1) << c.sql;
        EXPECT_EQ(rs->RecordCount(), c.returned) << c.sql;
        EXPECT_TRUE(rs->isFixed());
        EXPECT_FALSE(rs->Updatable());
        const QVariant first = rs->valueAt(0, 0);
        rs->Requery();
        rs->Requery();
        EXPECT_EQ(rs->RecordCount(), c.returned);
        EXPECT_EQ(rs->valueAt(0, 0), first);
        EXPECT_EQ(errorNumber([&] { rs->OpenRecordset(); }), dao::err::InvalidOperation);
        // A sort reorders the rows held, without running anything again.
        rs->setSort(QStringLiteral("[Time] desc"));
        dao::RecordsetPtr sorted = rs->OpenRecordset();
        EXPECT_TRUE(sorted->isFixed());
        EXPECT_EQ(sorted->RecordCount(), c.returned);
        EXPECT_GE(sorted->valueAt(0, 1).toInt(), sorted->valueAt(c.returned - 1, 1).toInt());
        EXPECT_EQ(errorNumber([&] { rs->Clone()->Requery(); }), 0);
        EXPECT_EQ(logContent(), after) << c.sql;
        EXPECT_EQ(logstore::backupsOf(path).size(), backups + 1) << c.sql;
        EXPECT_EQ(errorNumber([&] { rs->Edit(); }), dao::err::NotUpdatable);
    }
    dao::DBEngine().setBeforeWriteHook({});
}

// The functions are on every connection, the guarded one of the query
// window too: views in plain SQLite (SQLite's LIKE and date()) read as
// elsewhere, and Pacebook's own functions never run from the file.
TEST_F(DialectTest, functionsReachEveryConnectionAndStayOutOfTheFile) {
    outside(QStringLiteral("CREATE VIEW plain AS SELECT * FROM runlog WHERE Type LIKE 'l%' AND Date < date('now');"
                           "CREATE VIEW own AS SELECT Year(Date) AS y FROM runlog;"));
    dao::DatabasePtr guarded = open();
    dao::guardConnection(*guarded);
    for (dao::Database* d : {db.get(), guarded.get()}) {
        EXPECT_EQ(d->OpenRecordset(QStringLiteral("select count(*) from plain"))->valueAt(0, 0).toInt(), 2);
        EXPECT_EQ(d->OpenRecordset(QStringLiteral("select Year(#2024-05-31#)"))->valueAt(0, 0).toInt(), 2024);
        EXPECT_NE(errorNumber([&] { d->OpenRecordset(QStringLiteral("select * from own")); }), 0);
    }
}

// A statement that changes the log and returns rows is all or nothing: one
// stopped while it runs changes nothing.
TEST_F(DialectTest, stoppedStatementThatReturnsRowsChangesNothing) {
    const QString before = logContent();
    int asked = 0;
    db->setProgressHandler([&] { return ++asked < 50; });
    EXPECT_EQ(errorNumber([&] {
                  db->ExecuteReturning(QStringLiteral(
                      "insert into runlog select '2024-01-01', x % 100, 'Long', 'x' from (with recursive c(x) as "
                      "(select 1 union all select x + 1 from c limit 1000000) select x from c) returning *"));
              }),
              dao::err::Cancelled);
    db->setProgressHandler(nullptr);
    EXPECT_EQ(logContent(), before);
}

}  // namespace

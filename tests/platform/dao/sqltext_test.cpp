// SPDX-License-Identifier: GPL-3.0-or-later
#include "dao/sqltext.h"

#include "dao/errors.h"

#include <gtest/gtest.h>

using namespace dao::sql;

namespace {

int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const dao::Error& e) {
        return e.Number();
    }
    return 0;
}

TEST(Dialect, dateLiteralsAreReplacedOnlyOutsideQuotesAndComments) {
    EXPECT_EQ(translate(QStringLiteral("select * from runlog where Date >= #2024-5-1#")).sql,
              QStringLiteral("select * from runlog where Date >= '2024-05-01'"));
    EXPECT_EQ(translate(QStringLiteral("x = #12/31/99# or y = #1/2/05#")).sql,
              QStringLiteral("x = '1999-12-31' or y = '2005-01-02'"));
    const QString untouched = QStringLiteral("select '#2024-05-01#', \"#1/1/2024#\", [#1/1/2024#] -- #1/1/2024#\n");
    EXPECT_EQ(translate(untouched).sql, untouched);
    EXPECT_EQ(errorOf([] { translate(QStringLiteral("where Date = #13/1/2024#")); }), dao::err::SyntaxError);
}

// The rewritten text itself, where its shape matters: precedence, what is
// left alone, and no collation on a date (its index stays usable).
TEST(Dialect, rewritesOnlyWhatTheDialectMeans) {
    const struct {
        const char* typed;
        const char* sqlite;
    } cases[] = {
        {"select 'a & b', [x & y], \"m / n\" -- a & b\n", "select 'a & b', [x & y], \"m / n\" -- a & b\n"},
        {"select a & b & c", "select pb_concat(pb_concat(a , b) , c)"},
        {"select 1 + 2 & 3 * 4", "select pb_concat(1 + 2 , 3 * 4)"},
        {"select a / b / c, a || b / c", "select a * 1.0 / b * 1.0 / c, a || b * 1.0 / c"},
        {"select a \\ b * c, a Mod b + c", "select pb_intdiv(a , b * c), pb_mod(a , b) + c"},
        {"select * from t limit 10 / 3", "select * from t limit 10 / 3"},
        {"update runlog set Type = 'a' where Type = 'b'",
         "update runlog set Type = 'a' where Type COLLATE UNICODE_NOCASE = 'b'"},
        {"select * from runlog r where r.Type in (select Type from runlog) order by r.Description desc",
         "select * from runlog r where (r.Type) COLLATE UNICODE_NOCASE in (select Type from runlog) order by "
         "(r.Description) COLLATE UNICODE_NOCASE desc"},
        {"select Date from runlog where Date > #2024-01-01# order by Date", "select Date from runlog where Date > "
                                                                          "'2024-01-01' order by Date"},
        {"select * from runlog where Time = '45' and x is true and y = true",
         "select * from runlog where Time = '45' and x is true and y <> 0"},
        {"select * from runlog where [Date] between Date() - 7 and Date()",
         "select * from runlog where [Date] between pb_dateminus(Date() , 7) and Date()"},
        {"select top 3 * from runlog where Time > 1 order by Time",
         "select * from runlog where Time > 1 order by Time LIMIT 3"},
        {"with x as (select top 2 Time from runlog) select * from x",
         "with x as (select Time from runlog LIMIT 2) select * from x"},
        {"delete * from runlog", "delete from runlog"},
        {"select left(Type, 2), Right(Type, 1), isnull(Type) from a left join b on a.x = b.x",
         "select \"left\"(Type, 2), \"Right\"(Type, 1), \"isnull\"(Type) from a left join b on a.x = b.x"},
        {"pragma table_info(runlog)", "pragma table_info(runlog)"},
        {"create index i on runlog(Type) where Type = 'x'",
         "create index i on runlog(Type) where Type COLLATE NOCASE = 'x'"},
        {"select * from runlog where Type not like 'L*' and not Type = 'x' and Time not between 1 and 2",
         "select * from runlog where Type not like 'L*' and not Type COLLATE UNICODE_NOCASE = 'x' and Time not "
         "between 1 and 2"},
        {"select * from runlog where cast(Time as text) = '5' and Type is not distinct from 'x' and Time = 5.0",
         "select * from runlog where (cast(Time as text)) COLLATE UNICODE_NOCASE = '5' and Type is not distinct "
         "from 'x' and Time = 5.0"},
        {"select Year([Date]) = '2024', Len(Type) > '3', count(*) filter (where Type = 'a') over (partition by "
         "Type) from runlog",
         "select Year([Date]) = 2024, Len(Type) > 3, count(*) filter (where Type COLLATE UNICODE_NOCASE = 'a') "
         "over (partition by Type COLLATE UNICODE_NOCASE) from runlog"},
        {"select case when Type = 'a' then Description & '!' end from runlog",
         "select case when Type COLLATE UNICODE_NOCASE = 'a' then pb_concat(Description , '!') end from runlog"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(translate(QString::fromUtf8(c.typed)).sql.simplified().toStdString(),
                  QString::fromUtf8(c.sqlite).simplified().toStdString())
            << c.typed;
}

TEST(Dialect, makeTableBecomesCreateTableAs) {
    const Translated t = translate(QStringLiteral("SELECT Date, Time Into fast FROM runlog WHERE Time < 30"));
    EXPECT_EQ(t.makeTable, QStringLiteral("fast"));
    EXPECT_EQ(t.sql, QStringLiteral("CREATE TABLE fast AS SELECT Date, Time  FROM runlog WHERE Time < 30"));
    EXPECT_EQ(translate(QStringLiteral("select * into [Long Runs] from runlog")).makeTable, QStringLiteral("Long Runs"));
    // INTO elsewhere is not a make-table.
    EXPECT_TRUE(translate(QStringLiteral("insert into t select * from runlog")).makeTable.isEmpty());
    EXPECT_TRUE(translate(QStringLiteral("select ' into x ' from runlog")).makeTable.isEmpty());
    EXPECT_TRUE(translate(QStringLiteral("select * from runlog where Type in (select 1)")).makeTable.isEmpty());
}

TEST(Dialect, oneStatementPerText) {
    EXPECT_EQ(singleStatement(QStringLiteral("select 1;")), QStringLiteral("select 1"));
    EXPECT_EQ(singleStatement(QStringLiteral("select 1 ; ;\n -- end\n /* c */ ")), QStringLiteral("select 1"));
    EXPECT_EQ(singleStatement(QStringLiteral("select ';' -- a; b")), QStringLiteral("select ';'"));
    EXPECT_EQ(errorOf([] { singleStatement(QStringLiteral("select 1; select 2")); }), dao::err::CharactersAfterEnd);
    EXPECT_EQ(errorOf([] { singleStatement(QStringLiteral("select 1; x")); }), dao::err::CharactersAfterEnd);
    const QString trigger = QStringLiteral("create trigger t after insert on runlog begin select 1; select 2; end");
    EXPECT_EQ(singleStatement(trigger + QStringLiteral(";")), trigger);
}

TEST(Dialect, selectShapeRecognisesOnePlainTable) {
    const SelectShape s = selectShape(QStringLiteral("select Time, [Type] from runlog r where Time > 5 order by Time desc limit 3"));
    EXPECT_TRUE(s.plainTable);
    EXPECT_EQ(s.table, QStringLiteral("runlog"));
    EXPECT_EQ(s.selectList, QStringLiteral("Time, [Type]"));
    EXPECT_EQ(s.fromClause, QStringLiteral("runlog r"));
    EXPECT_EQ(s.where, QStringLiteral("where Time > 5"));
    EXPECT_EQ(s.orderBy, QStringLiteral("order by Time desc"));
    EXPECT_EQ(s.limit, QStringLiteral("limit 3"));
    EXPECT_TRUE(selectShape(QStringLiteral("select * from runlog where Type in (select Type from runlog group by Type)")).plainTable);
    for (const char* sql : {"select distinct Type from runlog", "select * from runlog, other",
                            "select * from runlog join other on 1", "select * from (select * from runlog)",
                            "select Type from runlog group by Type", "select 1 union select 2",
                            "with x as (select 1) select * from x", "select 1"})
        EXPECT_FALSE(selectShape(QString::fromLatin1(sql)).plainTable) << sql;
}

TEST(Dialect, bareTableNames) {
    EXPECT_EQ(bareTableName(QStringLiteral(" runlog ")), QStringLiteral("runlog"));
    EXPECT_EQ(bareTableName(QStringLiteral("[Long Runs]")), QStringLiteral("Long Runs"));
    EXPECT_EQ(bareTableName(QStringLiteral("\"a\"\"b\"")), QStringLiteral("a\"b"));
    EXPECT_TRUE(bareTableName(QStringLiteral("select * from runlog")).isEmpty());
    EXPECT_TRUE(bareTableName(QStringLiteral("select")).isEmpty());
}

}  // namespace

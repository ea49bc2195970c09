// SPDX-License-Identifier: GPL-3.0-or-later
// Sorting a record set: the order kept as fields and directions, the rows
// a sort keeps, text without regard to case, and deleting several rows.

#include "logfixture.h"

#include <algorithm>

using namespace testsupport;

namespace {

class SortTest : public LogTest {
protected:
    void SetUp() override {
        LogTest::SetUp();
        addFiveRuns();
        db = open();
    }

    dao::RecordsetPtr sorted(const QString& source, const QString& order) {
        auto rs = db->OpenRecordset(source, dao::dbOpenDynaset);
        rs->setSort(order);
        return rs->OpenRecordset(rs->Type());
    }

    static QString joined(dao::Recordset& rs, const QString& field) { return column(rs, field).join(u' '); }

    dao::DatabasePtr db;
};

TEST(SortText, readsBackWhatItWritesAndRefusesTheRest) {
    using dao::SortKey;
    const struct {
        const char* text;
        dao::SortOrder order;
    } readable[] = {
        {"[Time]", {{"Time", false}}},
        {"[Date] desc", {{"Date", true}}},
        {"  [Date] DESC ,[Time] asc ", {{"Date", true}, {"Time", false}}},
        {"Time desc", {{"Time", true}}},
        {"\"Time [min]\"", {{"Time [min]", false}}},
        {"[Time [min]]]", {{"Time [min]", false}}},
        {"", {}},
    };
    for (const auto& c : readable) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(dao::parseSort(QString::fromUtf8(c.text)), c.order);
    }
    for (const char* bad : {"[Time", "[Time] sideways", "[Time],", "[]", "Time; DROP TABLE runlog", "1"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(errorNumber([&] { dao::parseSort(QString::fromUtf8(bad)); }), dao::err::SyntaxError);
    }
    // Whatever a name holds, it reads back as that one name.
    for (const char* name : {"Time", "Time [min]", "a] desc, [b", "x]]", "\"q\" --"}) {
        SCOPED_TRACE(name);
        const dao::SortOrder order{{QString::fromUtf8(name), true}};
        EXPECT_EQ(dao::parseSort(dao::sortText(order)), order);
    }
    EXPECT_EQ(dao::sortText({{"Date", true}}), QStringLiteral("[Date] desc"));
}

TEST_F(SortTest, anyFieldNameSortsAsThatFieldAndAnUnknownOneIsRefused) {
    outside(QStringLiteral("CREATE TABLE laps (\"Time [min]\" INTEGER, \"a] desc, [b\" TEXT, \"x\"\" --\" TEXT);"
                           "INSERT INTO laps VALUES (3, 'b', 'p'), (1, 'c', 'r'), (2, 'a', 'q');"));
    auto rs = db->OpenRecordset(QStringLiteral("laps"), dao::dbOpenDynaset);
    rs->setSort(dao::SortOrder{{QStringLiteral("Time [min]"), false}});
    EXPECT_EQ(joined(*rs->OpenRecordset(), QStringLiteral("Time [min]")), QStringLiteral("1 2 3"));
    rs->setSort(dao::sortText({{QStringLiteral("a] desc, [b"), false}}));
    EXPECT_EQ(joined(*rs->OpenRecordset(), QStringLiteral("a] desc, [b")), QStringLiteral("a b c"));
    rs->setSort(dao::sortText({{QStringLiteral("x\" --"), true}}));
    EXPECT_EQ(joined(*rs->OpenRecordset(), QStringLiteral("Time [min]")), QStringLiteral("1 2 3"));
    // A name the set lacks would sort by a constant in SQLite: refused.
    rs->setSort(QStringLiteral("[NoSuchField]"));
    EXPECT_EQ(errorNumber([&] { rs->OpenRecordset(); }), dao::err::ItemNotFound);
}

TEST_F(SortTest, aSortReordersExactlyTheRowsOfTheSet) {
    // Runs: one 50, two 30, three 40, four 10, five 20 (days 1 to 5).
    const struct {
        const char* source;
        const char* order;
        const char* field;
        const char* expected;
        bool updatable;
    } cases[] = {
        {"select * from runlog limit 3", "[Time]", "Description", "two three one", true},
        {"select * from runlog order by Date desc limit 2", "[Time]", "Description", "four five", true},
        {"select * from runlog where Time > 15 order by Time desc limit 2 offset 1", "[Date]", "Time", "30 40", true},
        {"select * from runlog where Time > 15 -- long ones\norder by Time desc", "[Date] desc", "Time", "20 40 30 50",
         true},
        {"select distinct Time from runlog where Time > 15", "[Time] desc", "Time", "50 40 30 20", false},
        {"select Time \\ 20 as Band, count(*) as Runs from runlog group by Band", "[Runs] desc", "Band", "1 2 0", false},
        {"select a.Description, b.Time from runlog a join runlog b on a.rowid = b.rowid order by a.rowid limit 2",
         "[Time]",
         "Description", "two one", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        auto rs = sorted(QString::fromUtf8(c.source), QString::fromUtf8(c.order));
        EXPECT_EQ(joined(*rs, QString::fromUtf8(c.field)), QString::fromUtf8(c.expected));
        EXPECT_EQ(rs->Updatable(), c.updatable);
        EXPECT_EQ(rs->readOnlyReason().isEmpty(), c.updatable);
        // Sorting the sorted set again starts from its rows, not others.
        rs->setSort(QStringLiteral("[%1] desc").arg(QString::fromUtf8(c.field)));
        QStringList again = column(*rs->OpenRecordset(), QString::fromUtf8(c.field));
        QStringList expected = QString::fromUtf8(c.expected).split(u' ');
        std::sort(again.begin(), again.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(again, expected);
    }
}

TEST_F(SortTest, rowsPickedBeforeAChangeElsewhereStayTheRowsSorted) {
    auto rs = db->OpenRecordset(QStringLiteral("select * from runlog where Time > 15 limit 3"), dao::dbOpenDynaset);
    QStringList picked = column(*rs, QStringLiteral("Description"));
    ASSERT_EQ(picked.size(), 3);
    // Another program changes a picked row so that the statement, run
    // again, would pick another one.
    outside(QStringLiteral("UPDATE runlog SET Time = 5 WHERE Description = '%1'").arg(picked[1]));
    rs->setSort(QStringLiteral("[Time]"));
    auto s = rs->OpenRecordset();
    EXPECT_EQ(column(*s, QStringLiteral("Time")).first(), QStringLiteral("5"));
    QStringList after = column(*s, QStringLiteral("Description"));
    std::sort(after.begin(), after.end());
    std::sort(picked.begin(), picked.end());
    EXPECT_EQ(after, picked);
    EXPECT_TRUE(s->Updatable());
}

TEST_F(SortTest, textSortsWithoutRegardToCaseInSetsAndInHeldRows) {
    outside(QStringLiteral("INSERT INTO runlog VALUES ('2024-05-06', 15, 'normal', 'six');"
                           "INSERT INTO runlog VALUES ('2024-05-07', 25, 'long', 'seven');"
                           "INSERT INTO runlog VALUES ('2024-05-08', 35, '\u00e9lan', 'eight');"
                           "INSERT INTO runlog VALUES ('2024-05-09', 45, '\u00c9lan', 'nine');"));
    EXPECT_EQ(joined(*sorted(QStringLiteral("runlog"), QStringLiteral("[Type]")), QStringLiteral("Type")),
              QStringLiteral("Long long Normal normal Race Recovery Tempo \u00e9lan \u00c9lan"));
    EXPECT_EQ(joined(*sorted(QStringLiteral("select a.Type, b.Time from runlog a join runlog b on a.rowid = b.rowid "
                                            "order by a.rowid"),
                             QStringLiteral("[Type]")),
                     QStringLiteral("Type")),
              QStringLiteral("Long long Normal normal Race Recovery Tempo \u00e9lan \u00c9lan"));
    // Mixed values sort as the engine sorts them: empty, numbers, text.
    const QVariant ordered[] = {QVariant(), QVariant(qlonglong(-3)), QVariant(2.5), QVariant(qlonglong(10)),
                                QVariant(QStringLiteral("_x")), QVariant(QStringLiteral("Ab")),
                                QVariant(QStringLiteral("aC")), QVariant(QStringLiteral("\u00e9")),
                                QVariant(QByteArray("\x01"))};
    for (size_t i = 0; i + 1 < std::size(ordered); ++i) {
        SCOPED_TRACE(i);
        EXPECT_LT(dao::compareSortValues(ordered[i], ordered[i + 1]), 0);
        EXPECT_GT(dao::compareSortValues(ordered[i + 1], ordered[i]), 0);
    }
    EXPECT_EQ(dao::compareSortValues(QStringLiteral("TEMPO"), QStringLiteral("tempo")), 0);
    EXPECT_EQ(dao::compareSortValues(QStringLiteral("\u00c9TAPE"), QStringLiteral("\u00e9tape")), 0);
}

TEST_F(SortTest, heldRowsSortStablyAndARequerySortsTheNewRowsTheSameWay) {
    outside(QStringLiteral("INSERT INTO runlog VALUES ('2024-05-06', 15, 'Long', 'six');"
                           "INSERT INTO runlog VALUES ('2024-05-07', 25, 'Tempo', 'seven');"));
    // Long 2, Normal 1, Race 1, Recovery 1, Tempo 2.
    auto rs = sorted(QStringLiteral("select Type, count(*) as Runs from runlog group by Type"),
                     QStringLiteral("[Type] desc"));
    rs->setSort(QStringLiteral("[Runs] desc"));
    rs = rs->OpenRecordset();
    EXPECT_EQ(joined(*rs, QStringLiteral("Type")), QStringLiteral("Tempo Long Recovery Race Normal"));
    outside(QStringLiteral("INSERT INTO runlog VALUES ('2024-05-08', 35, 'Race', 'eight')"));
    rs->Requery();
    EXPECT_EQ(joined(*rs, QStringLiteral("Type")), QStringLiteral("Tempo Race Long Recovery Normal"));
}

TEST_F(SortTest, deletingSeveralRowsIsAllOrNothing) {
    auto rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    rs->setAbsolutePosition(3);
    rs->deleteRows({3, 1, 3});
    EXPECT_EQ(joined(*db->OpenRecordset(QStringLiteral("runlog")), QStringLiteral("Description")),
              QStringLiteral("one three five"));
    EXPECT_EQ(rs->RecordCount(), 3);
    rs->MoveNext();  // from the deleted row to the one after it
    EXPECT_EQ(rs->Fields(QStringLiteral("Description")).Value().toString(), QStringLiteral("five"));

    outside(QStringLiteral("CREATE TRIGGER keep BEFORE DELETE ON runlog WHEN old.Description = 'five' "
                           "BEGIN SELECT RAISE(ABORT, 'five stays'); END;"));
    EXPECT_NE(errorNumber([&] { rs->deleteRows({0, 2}); }), 0);
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog")), 3);
    EXPECT_EQ(rs->RecordCount(), 3);
    EXPECT_EQ(errorNumber([&] { rs->deleteRows({7}); }), dao::err::NoCurrentRecord);
}

}  // namespace

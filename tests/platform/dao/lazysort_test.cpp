// SPDX-License-Identifier: GPL-3.0-or-later
// A sorted set collects the row ids of its first rows when it opens and the
// rest when something needs them; to its user it reads like a set sorted
// in one go.

#include "logfixture.h"

#include <algorithm>

using namespace testsupport;

namespace {

constexpr int kRows = 1000;
constexpr int kFirst = 256;

struct RowsChangedCounter : dao::RecordsetObserver {
    int changed = 0;
    void recordsetRowsChanged(dao::Recordset&) override { ++changed; }
};

class LazySortTest : public LogTest {
protected:
    void SetUp() override {
        LogTest::SetUp();
        // Durations 10..129 (eight runs share each), three types, a date a
        // day; "run i" names each row.
        outside(QStringLiteral(
                    "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                    "INSERT INTO runlog SELECT date('2020-01-01', '+' || (i * 7 % %2) || ' days'), 10 + i * 37 % 120, "
                    "CASE i % 3 WHEN 0 THEN 'Long' WHEN 1 THEN 'Tempo' ELSE 'Race' END, 'run ' || i FROM n;")
                    .arg(kRows - 1)
                    .arg(kRows));
        db = open();
        base = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    }

    dao::RecordsetPtr sorted(const QString& expression) {
        base->setSort(expression);
        return base->OpenRecordset(base->Type());
    }

    // The field of every row collected so far, read without moving.
    static QStringList loaded(dao::Recordset& rs, const QString& field) {
        const int f = rs.Fields().indexOf(field);
        QStringList out;
        for (long long p = 0; p < rs.RecordCount(); ++p) out << rs.valueAt(p, f).toString();
        return out;
    }

    dao::DatabasePtr db;
    dao::RecordsetPtr base;
};

TEST_F(LazySortTest, sortedSetOpensWithItsFirstRowsAndCountsThem) {
    auto rs = sorted(QStringLiteral("[Time]"));
    EXPECT_EQ(rs->Type(), dao::dbOpenDynaset);
    EXPECT_FALSE(rs->keysComplete());
    EXPECT_EQ(rs->RecordCount(), kFirst);
    EXPECT_EQ(rs->AbsolutePosition(), 0);
    EXPECT_EQ(rs->Fields("Time").Value().toInt(), 10);
    EXPECT_FALSE(rs->BOF());
    EXPECT_FALSE(rs->EOF_());

    rs->MoveLast();
    EXPECT_TRUE(rs->keysComplete());
    EXPECT_EQ(rs->RecordCount(), kRows);
    EXPECT_EQ(rs->AbsolutePosition(), kRows - 1);
    EXPECT_EQ(rs->Fields("Time").Value().toInt(), 129);

    // A set smaller than the first rows is whole at once; the unsorted
    // table set counts everything from the start.
    auto few = dao::DBEngine().OpenDatabase(path)->OpenRecordset(
        QStringLiteral("select * from runlog where Time = 10"), dao::dbOpenDynaset);
    few->setSort(QStringLiteral("[Date] desc"));
    auto fewSorted = few->OpenRecordset(few->Type());
    EXPECT_TRUE(fewSorted->keysComplete());
    EXPECT_EQ(fewSorted->RecordCount(), outsideCount(QStringLiteral("SELECT count(*) FROM runlog WHERE Time = 10")));
    EXPECT_TRUE(base->keysComplete());
    EXPECT_EQ(base->RecordCount(), kRows);
}

TEST_F(LazySortTest, firstRowsAreTheFirstRowsOfTheWholeOrder) {
    for (const char* expression : {"[Time]", "[Time] desc", "[Type]", "[Type] DESC", "[Date] desc", "[Description]"}) {
        SCOPED_TRACE(expression);
        auto rs = sorted(QString::fromLatin1(expression));
        RowsChangedCounter counter;
        rs->addObserver(&counter);
        const QStringList first = loaded(*rs, QStringLiteral("Description"));
        ASSERT_EQ(first.size(), kFirst);
        rs->fetchAllKeys();
        EXPECT_EQ(counter.changed, 0);  // nothing changed, nothing to repaint
        const QStringList all = loaded(*rs, QStringLiteral("Description"));
        ASSERT_EQ(all.size(), kRows);
        EXPECT_EQ(all.mid(0, kFirst), first);
        // Every row once, in the order asked for.
        QStringList unique = all;
        unique.removeDuplicates();
        EXPECT_EQ(unique.size(), kRows);
        const QString field = QString::fromLatin1(expression).section(u']', 0, 0).mid(1);
        const bool desc = QString::fromLatin1(expression).endsWith(QLatin1String("desc"), Qt::CaseInsensitive);
        for (int i = 1; i < kRows; ++i) {
            const QVariant a = rs->valueAt(i - 1, rs->Fields().indexOf(field));
            const QVariant b = rs->valueAt(i, rs->Fields().indexOf(field));
            const bool inOrder = field == QLatin1String("Time")
                                     ? (desc ? a.toInt() >= b.toInt() : a.toInt() <= b.toInt())
                                     : (desc ? a.toString() >= b.toString() : a.toString() <= b.toString());
            ASSERT_TRUE(inOrder) << "rows " << i - 1 << " and " << i;
        }
        rs->removeObserver(&counter);
    }
}

TEST_F(LazySortTest, positionsPastTheFirstRowsCollectTheRest) {
    // The eager order to compare with: a statement that sorts by itself.
    auto eager = db->OpenRecordset(QStringLiteral("select * from runlog order by Time, rowid"), dao::dbOpenDynaset);
    ASSERT_TRUE(eager->keysComplete());
    const QStringList expected = loaded(*eager, QStringLiteral("Description"));

    auto rs = sorted(QStringLiteral("[Time]"));
    rs->setAbsolutePosition(700);
    EXPECT_TRUE(rs->keysComplete());
    EXPECT_EQ(rs->AbsolutePosition(), 700);
    EXPECT_EQ(rs->Fields("Description").Value().toString(), expected[700]);
    EXPECT_EQ(loaded(*rs, QStringLiteral("Description")), expected);

    rs = sorted(QStringLiteral("[Time]"));
    rs->Move(kFirst - 1);
    EXPECT_FALSE(rs->keysComplete());  // still among the first rows
    rs->MoveNext();
    EXPECT_TRUE(rs->keysComplete());
    EXPECT_EQ(rs->AbsolutePosition(), kFirst);
    EXPECT_EQ(rs->Fields("Description").Value().toString(), expected[kFirst]);

    // Walking row by row reaches every row, then EOF.
    rs = sorted(QStringLiteral("[Time]"));
    EXPECT_EQ(column(*rs, QStringLiteral("Description")), expected);
    EXPECT_TRUE(rs->EOF_());

    // A bookmark of a row beyond the first ones.
    eager->setAbsolutePosition(900);
    const QByteArray mark = eager->Bookmark();
    rs = sorted(QStringLiteral("[Time]"));
    rs->setBookmark(mark);
    EXPECT_EQ(rs->AbsolutePosition(), 900);
    EXPECT_EQ(rs->Fields("Description").Value().toString(), expected[900]);
    EXPECT_EQ(dao::err::InvalidOperation, errorNumber([&] { rs->setBookmark(QByteArray(8, '\x7f')); }));

    // A clone holds every row; the original too.
    rs = sorted(QStringLiteral("[Time]"));
    auto copy = rs->Clone();
    EXPECT_TRUE(rs->keysComplete());
    EXPECT_TRUE(copy->keysComplete());
    EXPECT_EQ(copy->RecordCount(), kRows);
    EXPECT_EQ(loaded(*copy, QStringLiteral("Description")), expected);
}

TEST_F(LazySortTest, rowsAddedAfterASortJoinTheEndOfTheWholeSet) {
    auto rs = sorted(QStringLiteral("[Time]"));
    const long long at = rs->addRow({{1, 5}, {3, QStringLiteral("added")}});
    EXPECT_EQ(at, kRows);
    EXPECT_EQ(rs->RecordCount(), kRows + 1);
    EXPECT_EQ(rs->valueAt(at, 3).toString(), QStringLiteral("added"));
    EXPECT_EQ(rs->valueAt(0, 1).toInt(), 10);  // not in the middle of the order

    rs = sorted(QStringLiteral("[Time] desc"));
    rs->AddNew();
    rs->Fields("Time").setValue(500);
    rs->Fields("Description").setValue(QStringLiteral("new"));
    rs->Update();
    EXPECT_EQ(rs->AbsolutePosition(), 0);  // back on the row current before
    EXPECT_EQ(rs->RecordCount(), kRows + 2);
    rs->MoveLast();
    EXPECT_EQ(rs->Fields("Description").Value().toString(), QStringLiteral("new"));
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog")), kRows + 2);
}

TEST_F(LazySortTest, editsAndDeletesAmongTheFirstRowsNeedNoMore) {
    auto rs = sorted(QStringLiteral("[Time]"));
    const QString third = rs->valueAt(2, 3).toString();
    rs->updateRow(1, {{3, QStringLiteral("edited")}});
    rs->deleteRow(2);
    EXPECT_FALSE(rs->keysComplete());
    EXPECT_EQ(rs->RecordCount(), kFirst - 1);
    EXPECT_EQ(rs->valueAt(1, 3).toString(), QStringLiteral("edited"));
    rs->MoveLast();
    EXPECT_EQ(rs->RecordCount(), kRows - 1);
    EXPECT_FALSE(loaded(*rs, QStringLiteral("Description")).contains(third));
    EXPECT_EQ(rs->valueAt(1, 3).toString(), QStringLiteral("edited"));
}

TEST_F(LazySortTest, requeryKeepsTheOrder) {
    auto rs = sorted(QStringLiteral("[Type] desc"));
    rs->MoveLast();
    const QStringList before = loaded(*rs, QStringLiteral("Description"));
    rs->Requery();
    EXPECT_EQ(rs->AbsolutePosition(), 0);
    const QStringList again = loaded(*rs, QStringLiteral("Description"));
    EXPECT_EQ(again, before.mid(0, again.size()));
    rs->fetchAllKeys();
    EXPECT_EQ(loaded(*rs, QStringLiteral("Description")), before);
}

TEST_F(LazySortTest, rowsChangedBeforeTheRestIsCollectedAreAnnouncedAndTheCurrentRowStays) {
    auto rs = sorted(QStringLiteral("[Time]"));
    RowsChangedCounter counter;
    rs->addObserver(&counter);
    rs->setAbsolutePosition(10);
    const QString current = rs->Fields("Description").Value().toString();
    // Another program adds two runs that sort first.
    outside(QStringLiteral("INSERT INTO runlog VALUES ('2024-01-01', 1, 'Long', 'first');"
                           "INSERT INTO runlog VALUES ('2024-01-02', 2, 'Long', 'second');"));
    rs->fetchAllKeys();
    EXPECT_EQ(counter.changed, 1);
    EXPECT_EQ(rs->RecordCount(), kRows + 2);
    EXPECT_EQ(rs->AbsolutePosition(), 12);
    EXPECT_EQ(rs->Fields("Description").Value().toString(), current);
    EXPECT_EQ(rs->valueAt(0, 3).toString(), QStringLiteral("first"));
    rs->removeObserver(&counter);
}

}  // namespace

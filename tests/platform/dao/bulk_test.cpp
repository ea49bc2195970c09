// SPDX-License-Identifier: GPL-3.0-or-later
// Database::AppendRows adds every row or none, after the before-write hook,
// through the table's own checks, with its indexes whole afterwards; and
// ReadRows only reads.

#include "logfixture.h"

#include <stdexcept>

using namespace testsupport;

namespace {

// n rows of ('2024-05-01', i, 'Long', 'run i' or none); row badAt gets a
// day that is not one, or throws when throwAt.
class Generated final : public dao::RowSource {
public:
    Generated(long long n, long long badAt = 0, bool throwAt = false, bool keep = true)
        : n_(n), badAt_(badAt), throwAt_(throwAt), keep_(keep) {}
    bool next(dao::AppendRow& row) override {
        if (i_ == n_) return false;
        ++i_;
        if (i_ == badAt_ && throwAt_) throw dao::Error(dao::err::DiskIoError, QStringLiteral("source failed"));
        const std::string date = i_ == badAt_ ? "2024-02-30" : "2024-05-01";
        row.setText(0, date.data(), date.size());
        row.setInteger(1, i_);
        row.setText(2, "Long", 4);
        const std::string text = "run " + std::to_string(i_);
        if (i_ % 3) row.setText(3, text.data(), text.size());
        else row.setNull(3);
        return true;
    }
    bool keep() override { return keep_; }

private:
    long long n_, badAt_;
    bool throwAt_, keep_;
    long long i_ = 0;
};

class BulkTest : public LogTest {
protected:
    QString indexes() {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT group_concat(sql, ';') FROM sqlite_schema WHERE type = 'index'", -1, &st, nullptr);
        QString out;
        if (sqlite3_step(st) == SQLITE_ROW) out = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        sqlite3_close(db);
        return out;
    }
};

TEST_F(BulkTest, appendsAllOrNothingWithTheIndexesWhole) {
    addFiveRuns();
    const QString schema = indexes();
    struct Case {
        const char* name;
        long long rows, badAt;
        bool throws, keep;
        long long expected;  // each case adds rows, or none
        long long hint;      // rows expected: large ones have the indexes built at the end
    };
    const Case cases[] = {
        {"all rows", 500, 0, false, true, 500, 0},
        {"all rows, indexes built at the end", 20000, 0, false, true, 20000, 20000},
        {"a row the table refuses halfway", 500, 250, false, true, 0, 0},
        {"the same with the indexes dropped", 20000, 12345, false, true, 0, 20000},
        {"the source failing halfway", 20000, 12345, true, true, 0, 20000},
        {"the source not keeping its rows", 20000, 0, false, false, 0, 20000},
    };
    long long total = 5;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto db = open();
        Generated rows(c.rows, c.badAt, c.throws, c.keep);
        long long added = -1;
        const int number = errorNumber([&] { added = db->AppendRows(QStringLiteral("runlog"), logstore::fieldNames(), rows, c.hint); });
        if (c.badAt) EXPECT_EQ(number, c.throws ? dao::err::DiskIoError : dao::err::DataTypeConversion);
        else EXPECT_EQ(added, c.expected);
        total += c.expected;
        EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog")), total);
        EXPECT_EQ(indexes(), schema);
    }
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog WHERE Description IS NULL")), 166 + 6666);
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog WHERE Time = 19999 AND Description = 'run 19999'")), 1);
}

TEST_F(BulkTest, theHookComesFirstAndCanRefuse) {
    std::vector<dao::WriteKind> seen;
    dao::DBEngine().setBeforeWriteHook([&](dao::Database&, dao::WriteKind kind) {
        seen.push_back(kind);
        throw dao::Error(dao::err::NoPermission, QStringLiteral("no backup"));
    });
    auto db = open();
    Generated rows(10);
    EXPECT_EQ(errorNumber([&] { db->AppendRows(QStringLiteral("runlog"), logstore::fieldNames(), rows); }),
              dao::err::NoPermission);
    dao::DBEngine().setBeforeWriteHook({});
    EXPECT_EQ(seen, std::vector<dao::WriteKind>{dao::WriteKind::Statement});
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog")), 0);
    EXPECT_EQ(errorNumber([&] { db->AppendRows(QStringLiteral("nosuch"), logstore::fieldNames(), rows); }),
              dao::err::InputTableNotFound);
}

TEST_F(BulkTest, readRowsReadsValuesAsStoredAndOnlyReads) {
    addFiveRuns();
    auto db = open();
    dao::RowReader r = db->ReadRows(QStringLiteral("SELECT Date, Time, NULL FROM runlog ORDER BY rowid"));
    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.text(0), "2024-05-01");
    EXPECT_EQ(r.type(1), dao::RowReader::Integer);
    EXPECT_EQ(r.integer(1), 50);
    EXPECT_EQ(r.type(2), dao::RowReader::Null);
    int rows = 1;
    while (r.next()) ++rows;
    EXPECT_EQ(rows, 5);
    EXPECT_EQ(errorNumber([&] { db->ReadRows(QStringLiteral("DELETE FROM runlog")); }), dao::err::InvalidOperation);
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog")), 5);
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// Data-access benchmarks: opening, moving, sorting and reading a dynaset
// over runlog, each beside the same work done with a bare SQLite loop.

#include "harness.h"

#include "dao/dao.h"

#include <sqlite3.h>

#include <random>
#include <stdexcept>
#include <vector>

namespace {

// A plain connection for the anchors.
struct Raw {
    explicit Raw(const QString& path) {
        if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open the log");
    }
    ~Raw() { sqlite3_close(db); }
    sqlite3* db = nullptr;
};

volatile long long sink = 0;

void readCurrentRow(dao::Recordset& rs) {
    for (int f = 0; f < rs.Fields().Count(); ++f) sink = sink + rs.Fields(f).Value().toString().size();
    sink = sink + rs.AbsolutePosition();
}

double sortMs(bench::Context& c, const char* sort) {
    auto db = dao::DBEngine().OpenDatabase(c.logPath);
    auto rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    dao::RecordsetPtr sorted;
    return bench::timeMs([&] {
        rs->setSort(QString::fromLatin1(sort));
        sorted = rs->OpenRecordset(rs->Type());
        readCurrentRow(*sorted);
    });
}

bench::Registrar openDynaset({
    .name = "dynaset_open",
    .run =
        [](bench::Context& c) {
            auto db = dao::DBEngine().OpenDatabase(c.logPath);
            return bench::timeMs([&] {
                auto rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
                readCurrentRow(*rs);
            });
        },
    .anchor = [](bench::Context& c) { return bench::rowidLoopMs(c.logPath, "SELECT rowid FROM runlog"); },
    .cliSql = "SELECT rowid FROM runlog",
    .goal = "ratio <= 1.5",
});

bench::Registrar openQuery({
    .name = "query_dynaset_open",
    .run =
        [](bench::Context& c) {
            auto db = dao::DBEngine().OpenDatabase(c.logPath);
            return bench::timeMs([&] {
                auto qd = db->CreateQueryDef(QString(), QStringLiteral("select * from runlog"));
                auto rs = qd->OpenRecordset();
                readCurrentRow(*rs);
            });
        },
    .anchor = [](bench::Context& c) { return bench::rowidLoopMs(c.logPath, "SELECT rowid FROM runlog"); },
    .cliSql = "select * from runlog",
    .goal = "ratio <= 1.5",
});

bench::Registrar moveLast({
    .name = "movelast_read",
    .run =
        [](bench::Context& c) {
            auto db = dao::DBEngine().OpenDatabase(c.logPath);
            auto rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
            return bench::timeMs([&] {
                rs->MoveLast();
                readCurrentRow(*rs);
            });
        },
    .anchor =
        [](bench::Context& c) {
            Raw raw(c.logPath);
            return bench::timeMs([&] {
                sqlite3_stmt* st = nullptr;
                sqlite3_prepare_v2(raw.db, "SELECT * FROM runlog ORDER BY rowid DESC LIMIT 1", -1, &st, nullptr);
                if (sqlite3_step(st) == SQLITE_ROW)
                    for (int f = 0; f < 4; ++f) sink = sink + sqlite3_column_bytes(st, f);
                sqlite3_finalize(st);
            });
        },
    .goal = "median_ms < 5",
});

bench::Registrar sortTime({
    .name = "sort_time",
    .run = [](bench::Context& c) { return sortMs(c, "[Time]"); },
    .anchor = [](bench::Context& c) { return bench::rowidLoopMs(c.logPath, "SELECT rowid FROM runlog ORDER BY Time"); },
    .cliSql = "SELECT rowid FROM runlog ORDER BY Time",
    .goal = "ratio <= 1.5",
});

bench::Registrar sortDateDesc({
    .name = "sort_date_desc",
    .run = [](bench::Context& c) { return sortMs(c, "[Date] desc"); },
    .anchor = [](bench::Context& c) { return bench::rowidLoopMs(c.logPath, "SELECT rowid FROM runlog ORDER BY Date DESC"); },
    .cliSql = "SELECT rowid FROM runlog ORDER BY Date DESC",
    .goal = "ratio <= 1.5",
});

bench::Registrar requery({
    .name = "requery",
    .run =
        [](bench::Context& c) {
            auto db = dao::DBEngine().OpenDatabase(c.logPath);
            auto rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
            return bench::timeMs([&] {
                rs->Requery();
                readCurrentRow(*rs);
            });
        },
    .anchor = [](bench::Context& c) { return bench::rowidLoopMs(c.logPath, "SELECT rowid FROM runlog"); },
    .goal = "ratio <= 1.5",
});

// What a grid does when the user jumps somewhere: read a screenful of rows.
bench::Registrar pageRead({
    .name = "page_read_40rows",
    .run =
        [](bench::Context& c) {
            auto db = dao::DBEngine().OpenDatabase(c.logPath);
            auto rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
            std::mt19937 rng(c.seed);
            const long long first = (long long)(rng() % (unsigned long long)(c.rows - 40));
            return bench::timeMs([&] {
                for (long long r = first; r < first + 40; ++r)
                    for (int f = 0; f < 4; ++f) sink = sink + rs->valueAt(r, f).toString().size();
            });
        },
    .anchor =
        [](bench::Context& c) {
            Raw raw(c.logPath);
            std::mt19937 rng(c.seed);
            const long long first = (long long)(rng() % (unsigned long long)(c.rows - 40));
            return bench::timeMs([&] {
                sqlite3_stmt* st = nullptr;
                sqlite3_prepare_v2(raw.db, "SELECT * FROM runlog WHERE rowid = ?1", -1, &st, nullptr);
                for (long long r = first; r < first + 40; ++r) {
                    sqlite3_bind_int64(st, 1, r + 1);
                    if (sqlite3_step(st) == SQLITE_ROW)
                        for (int f = 0; f < 4; ++f) sink = sink + sqlite3_column_bytes(st, f);
                    sqlite3_reset(st);
                }
                sqlite3_finalize(st);
            });
        },
    .goal = "median_ms < 5",
});

// Memory a dynaset holds beyond SQLite's own allocations (its page cache).
bench::Registrar memory({
    .name = "dynaset_memory",
    .run =
        [](bench::Context& c) {
            auto db = dao::DBEngine().OpenDatabase(c.logPath);
            const long long heap0 = bench::heapInUse();
            const long long sqlite0 = sqlite3_memory_used();
            dao::RecordsetPtr rs;
            const double ms = bench::timeMs([&] {
                rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
                rs->MoveLast();
                readCurrentRow(*rs);
            });
            const long long ours = (bench::heapInUse() - heap0) - (sqlite3_memory_used() - sqlite0);
            c.extra["bytes_per_row"] = double(ours) / double(c.rows);
            return ms;
        },
    .goal = "bytes_per_row <= 16",
});

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// The statement dialect: what translating a long statement costs, and
// statements in the desktop engine's words (Year, / , LIKE 'Long*') beside
// the same question asked in native SQLite on a bare connection.

#include "harness.h"

#include "dao/dao.h"
#include "dao/sqltext.h"

#include <sqlite3.h>

#include <ctime>
#include <stdexcept>

namespace {

volatile long long sink = 0;

// A row query opened as the query window opens it (the translation
// included); with readAll, every value of every row read.
double dialectRowsMs(bench::Context& c, const char* sql, bool readAll) {
    auto db = dao::DBEngine().OpenDatabase(c.logPath);
    long long rows = 0;
    const double ms = bench::timeMs([&] {
        auto rs = db->CreateQueryDef(QString(), QString::fromLatin1(sql))->OpenRecordset();
        rows = rs->RecordCount();
        for (long long r = 0; readAll && r < rows; ++r)
            for (int f = 0; f < rs->Fields().Count(); ++f) sink = sink + rs->valueAt(r, f).toString().size();
    });
    if (rows == 0) throw std::runtime_error("no rows");
    c.extra["rows"] = double(rows);
    return ms;
}

// The native statement on a connection with no functions of Pacebook's,
// every column of every row read.
double nativeRowsMs(bench::Context& c, const char* sql) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(c.logPath.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open the log");
    }
    long long rows = 0;
    const double ms = bench::timeMs([&] {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW) {
            ++rows;
            for (int f = 0; f < sqlite3_column_count(st); ++f)
                sink = sink + QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, f))).size();
        }
        sqlite3_finalize(st);
    });
    sqlite3_close(db);
    if (rows == 0) throw std::runtime_error("the anchor found no row");
    return ms;
}

bench::Registrar translate10k({
    .name = "dialect_translate_10kb",
    .run =
        [](bench::Context& c) {
            QString sql = QStringLiteral("select top 10 [Date], [Type] & ' ' & Format([Date], 'yyyy-mm') from runlog "
                                         "where ");
            while (sql.size() < 10'000)
                sql += QStringLiteral("([Type] = 'long' and [Date] > Date() - 30 and [Time] / 60 > 1 and "
                                      "Description like '*hill*') or ");
            sql += QStringLiteral("0 order by [Type]");
            constexpr int kRuns = 50;
            c.extra["statement_bytes"] = double(sql.size());
            // The processor time too: on a shared machine the wall clock
            // also counts the time other programs had the core.
            const std::clock_t cpu = std::clock();
            const double ms = bench::timeMs([&] {
                for (int i = 0; i < kRuns; ++i) sink = sink + dao::sql::translate(sql).sql.size();
            });
            c.extra["cpu_ms"] = double(std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC / kRuns;
            return ms / kRuns;
        },
    .goal = "under 1 ms a statement",
    .maxRows = 10000,
});

bench::Registrar yearSum({
    .name = "dialect_year_sum",
    .run =
        [](bench::Context& c) {
            return dialectRowsMs(c, "select Year([Date]), Sum([Time])/60 from runlog group by Year([Date])", true);
        },
    .anchor =
        [](bench::Context& c) {
            return nativeRowsMs(c, "select strftime('%Y', Date), sum(Time)/60.0 from runlog group by "
                                   "strftime('%Y', Date)");
        },
    .cliSql = "select strftime('%Y', Date), sum(Time)/60.0 from runlog group by strftime('%Y', Date)",
    .goal = "ratio <= 1.5",
});

// The rows' ids are collected when the set opens: that is where LIKE runs.
bench::Registrar likeLong({
    .name = "dialect_like_long",
    .run = [](bench::Context& c) { return dialectRowsMs(c, "select * from runlog where [Type] Like 'Long*'", false); },
    .anchor =
        [](bench::Context& c) {
            return bench::rowidLoopMs(c.logPath, "SELECT rowid FROM runlog WHERE Type LIKE 'Long%'");
        },
    .cliSql = "SELECT rowid FROM runlog WHERE Type LIKE 'Long%'",
    .goal = "ratio <= 1.5",
});

}  // namespace

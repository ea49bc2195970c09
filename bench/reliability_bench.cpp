// SPDX-License-Identifier: GPL-3.0-or-later
// What the safeguards cost: the first open of a log in a run checks every
// page (quick_check), later opens do not; a backup copies the whole file.

#include "harness.h"

#include "dao/dao.h"

#include <QFile>

#include <sqlite3.h>

#include <stdexcept>

namespace {

// What opening cost before the check: open and read the schema.
double plainOpenMs(const bench::Context& c) {
    return bench::timeMs([&] {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(c.logPath.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open the log");
        sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    });
}

bench::Registrar firstOpen({
    .name = "open_first_checked",
    .run =
        [](bench::Context& c) {
            dao::DBEngine().forgetCheckedFiles();
            // The open and its check, which runs on a thread of its own.
            return bench::timeMs([&] {
                auto db = dao::DBEngine().OpenDatabase(c.logPath);
                db->waitFor([&] { return db->pageCheckEnded(); });
            });
        },
    .anchor = plainOpenMs,
    .goal = "once per file per run, off the user-interface thread; under 1 s at 1M rows",
});

bench::Registrar laterOpen({
    .name = "open_again",
    .run =
        [](bench::Context& c) {
            dao::DBEngine().OpenDatabase(c.logPath);  // checked here
            return bench::timeMs([&] { dao::DBEngine().OpenDatabase(c.logPath); });
        },
    .anchor = plainOpenMs,
    .goal = "ratio <= 2 (a few ms)",
});

bench::Registrar backupCopy({
    .name = "backup_copy",
    .run =
        [](bench::Context& c) {
            auto db = dao::DBEngine().OpenDatabase(c.logPath);
            const QString copy = c.logPath + QStringLiteral(".bench-backup");
            QFile::remove(copy);
            const double ms = bench::timeMs([&] { db->Backup(copy); });
            QFile::remove(copy);
            return ms;
        },
    .anchor =
        [](bench::Context& c) {
            const QString copy = c.logPath + QStringLiteral(".bench-copy");
            QFile::remove(copy);
            const double ms = bench::timeMs([&] { QFile::copy(c.logPath, copy); });
            QFile::remove(copy);
            return ms;
        },
    .goal = "copy and check; once a day or once a run",
});

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Looks at a log file after the fact, with a connection of its own.

#include "support/runlog.h"

#include <QString>

#include <sqlite3.h>

#include <set>

namespace testsupport {

class LogReader {
public:
    explicit LogReader(const QString& path) {
        if (sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            sqlite3_close(db_);
            db_ = nullptr;
        }
        if (db_) sqlite3_busy_timeout(db_, 5000);
    }
    ~LogReader() { sqlite3_close(db_); }
    LogReader(const LogReader&) = delete;
    LogReader& operator=(const LogReader&) = delete;

    // The first line of PRAGMA integrity_check ("ok" for a sound file), or
    // SQLite's message when it cannot even run.
    QString integrity() { return text("PRAGMA integrity_check"); }

    QString text(const char* sql) {
        if (!db_) return QStringLiteral("cannot open");
        sqlite3_stmt* st = nullptr;
        QString out;
        if (sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            out = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        else
            out = QString::fromUtf8(sqlite3_errmsg(db_));
        sqlite3_finalize(st);
        return out;
    }

    long long number(const QString& sql) { return text(sql.toUtf8().constData()).toLongLong(); }

    // The Time values of the rows (of one Type, when given).
    std::set<long long> times(const QString& type = {}) {
        std::set<long long> out;
        if (!db_) return out;
        sqlite3_stmt* st = nullptr;
        const char* sql = type.isEmpty() ? "SELECT Time FROM runlog" : "SELECT Time FROM runlog WHERE Type = ?1";
        sqlite3_prepare_v2(db_, sql, -1, &st, nullptr);
        const QByteArray t = type.toUtf8();
        if (!type.isEmpty()) sqlite3_bind_text(st, 1, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        while (sqlite3_step(st) == SQLITE_ROW) out.insert(sqlite3_column_int64(st, 0));
        sqlite3_finalize(st);
        return out;
    }

private:
    sqlite3* db_ = nullptr;
};

// A new log of n runs on 2024-05-01, of 1 to n minutes, type "Long".
inline void createLogOfRuns(const QString& path, int n) {
    testlog::create(path, n, {.date = "'2024-05-01'", .time = "i + 1", .description = "'run'"});
}

}  // namespace testsupport

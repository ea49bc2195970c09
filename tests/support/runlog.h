// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Run logs for tests: made by the log creator, filled and read straight
// through SQLite so that the checks do not depend on the code under test.
// (The test program links pb_logstore.)

#include "logstore/logfile.h"

#include <QString>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testlog {

struct Entry {
    QString date;
    int time = 0;
    QString type;
    QString description;
    bool operator==(const Entry&) const = default;
};

inline void exec(sqlite3* db, const char* sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &message);
    EXPECT_EQ(rc, SQLITE_OK) << (message ? message : "");
    sqlite3_free(message);
}

// Creates a run log at path holding the given entries, in order.
inline void create(const QString& path, const std::vector<Entry>& entries = {}) {
    logstore::createLog(path);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    exec(db, "BEGIN");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO runlog VALUES (?1, ?2, ?3, ?4)", -1, &st, nullptr);
    for (const Entry& e : entries) {
        const QByteArray date = e.date.toUtf8(), type = e.type.toUtf8(), text = e.description.toUtf8();
        sqlite3_bind_text(st, 1, date.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(st, 2, e.time);
        sqlite3_bind_text(st, 3, type.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 4, text.constData(), -1, SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    exec(db, "COMMIT");
    sqlite3_close(db);
}

// Many runs at once: the fields of run i (counting from 0) as SQL
// expressions of i.
struct Runs {
    std::string date = "date('2024-01-01', '+' || i || ' days')";  // a day each from 2024-01-01
    std::string time = "30 + i % 90";
    std::string type = "'Long'";
    std::string description = "'run ' || i";
};

// Creates a run log at path holding n runs made as `runs` says, in order of i.
inline void create(const QString& path, int n, const Runs& runs = {}) {
    logstore::createLog(path);
    if (n <= 0) return;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    const std::string sql = "INSERT INTO runlog (Date, Time, Type, Description) WITH RECURSIVE n(i) AS (SELECT 0 "
                            "UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(n - 1) + ") SELECT " +
                            runs.date + ", " + runs.time + ", " + runs.type + ", " + runs.description + " FROM n";
    exec(db, sql.c_str());
    sqlite3_close(db);
}

// N entries: day i of 2024 (from January 1st), i*10 minutes, "Long", "run i".
inline std::vector<Entry> sample(int n) {
    std::vector<Entry> entries;
    for (int i = 1; i <= n; ++i)
        entries.push_back({QStringLiteral("2024-01-%1").arg(i, 2, 10, QLatin1Char('0')), i * 10,
                           QStringLiteral("Long"), QStringLiteral("run %1").arg(i)});
    return entries;
}

// Every entry of the log, in row order. Null text reads as "<null>".
inline std::vector<Entry> read(const QString& path) {
    std::vector<Entry> entries;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << path.toStdString();
        sqlite3_close(db);
        return entries;
    }
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT Date, Time, Type, Description, typeof(Time) FROM runlog ORDER BY rowid", -1,
                       &st, nullptr);
    auto text = [st](int col) {
        const unsigned char* t = sqlite3_column_text(st, col);
        return t ? QString::fromUtf8(reinterpret_cast<const char*>(t)) : QStringLiteral("<null>");
    };
    while (sqlite3_step(st) == SQLITE_ROW) {
        Entry e{text(0), sqlite3_column_int(st, 1), text(2), text(3)};
        // A duration stored as anything but an integer shows as -1.
        if (text(4) != QStringLiteral("integer")) e.time = -1;
        entries.push_back(e);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return entries;
}

}  // namespace testlog

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh log in a temporary folder for every test, with helpers that read
// and write it behind the data-access layer's back (a second program).

#include "dao/dao.h"
#include "logstore/logfile.h"
#include "support/tempdir.h"

#include <QString>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>

namespace testsupport {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = folder.file(QStringLiteral("Run.mdb"));
        logstore::createLog(path);
    }

    // Runs statements on a connection of its own, like another program.
    void outside(const QString& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        sqlite3_busy_timeout(db, 5000);
        char* msg = nullptr;
        const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &msg);
        EXPECT_EQ(rc, SQLITE_OK) << (msg ? msg : "");
        sqlite3_free(msg);
        sqlite3_close(db);
    }

    long long outsideCount(const QString& sql) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr);
        long long n = -1;
        if (st && sqlite3_step(st) == SQLITE_ROW) n = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        sqlite3_close(db);
        return n;
    }

    // Five runs: days 1 to 5 of May 2024, durations 50, 30, 40, 10, 20.
    void addFiveRuns() {
        outside(QStringLiteral(
            "INSERT INTO runlog VALUES ('2024-05-01', 50, 'Long', 'one');"
            "INSERT INTO runlog VALUES ('2024-05-02', 30, 'Tempo', 'two');"
            "INSERT INTO runlog VALUES ('2024-05-03', 40, 'Race', 'three');"
            "INSERT INTO runlog VALUES ('2024-05-04', 10, 'Normal', 'four');"
            "INSERT INTO runlog VALUES ('2024-05-05', 20, 'Recovery', 'five');"));
    }

    dao::DatabasePtr open() { return dao::DBEngine().OpenDatabase(path); }

    // The given field of every row, walking the set from its first row.
    static QStringList column(dao::Recordset& rs, const QString& field) {
        QStringList out;
        if (rs.RecordCount() == 0) return out;
        rs.MoveFirst();
        while (!rs.EOF_()) {
            out << rs.Fields(field).Value().toString();
            rs.MoveNext();
        }
        return out;
    }

    TempFolder folder;
    QString path;
};

// The number of the dao::Error that f throws (0 when it throws none).
inline int errorNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const dao::Error& e) {
        return e.Number();
    }
    return 0;
}

inline QString errorText(const std::function<void()>& f) {
    try {
        f();
    } catch (const dao::Error& e) {
        return e.Description();
    }
    return {};
}

}  // namespace testsupport

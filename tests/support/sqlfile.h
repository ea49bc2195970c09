// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading and writing a database file straight through SQLite, so that a
// test's checks do not depend on the code under test.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

// Runs sql (one or more statements) on the file; a failure fails the test.
inline void execSql(const QString& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.toUtf8().constData(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

// The first column of the first row of a query on the file, as text:
// "<null>" for NULL, "<none>" without a row, "<error>" when it fails.
inline QString scalarSql(const QString& file, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(file.toUtf8().constData(), &db);
    sqlite3_stmt* st = nullptr;
    QString result = QStringLiteral("<error>");
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
        result = sqlite3_step(st) == SQLITE_ROW
                     ? (sqlite3_column_type(st, 0) == SQLITE_NULL
                            ? QStringLiteral("<null>")
                            : QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))))
                     : QStringLiteral("<none>");
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return result;
}

// Adds 2000 runs to a log and damages one of its table's pages, as a
// failing disk would. Returns the file's bytes afterwards.
inline QByteArray fillAndDamage(const QString& file) {
    execSql(file,
            "INSERT INTO runlog (Time, Description) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
            "FROM n WHERE i < 2000) SELECT i, printf('%.80c', 'd') FROM n");
    QFile f(file);
    EXPECT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    EXPECT_GT(bytes.size(), 6 * 4096);
    bytes.replace(5 * 4096, 300, QByteArray(300, '\x5a'));
    f.seek(0);
    f.write(bytes);
    return bytes;
}

}  // namespace testsupport

// SPDX-License-Identifier: GPL-3.0-or-later
#include "logfile.h"

#include "dao/dao.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

namespace logstore {

QStringList schemaStatements() {
    return {QStringLiteral(
        "CREATE TABLE runlog (\n"
        "  \"Date\" DATE CONSTRAINT \"Date\" CHECK (\"Date\" IS NULL OR (typeof(\"Date\") = 'text'"
        " AND \"Date\" GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]' AND date(\"Date\", '+0 days') IS \"Date\")),\n"
        "  \"Time\" INTEGER CONSTRAINT \"Time\" CHECK (\"Time\" IS NULL OR typeof(\"Time\") = 'integer'),\n"
        "  \"Type\" TEXT,\n"
        "  \"Description\" TEXT\n"
        ")"),
            // Sorting the log by a column head and choosing rows by day or
            // duration read these instead of sorting the whole table.
            QStringLiteral("CREATE INDEX runlog_Date ON runlog (\"Date\")"),
            QStringLiteral("CREATE INDEX runlog_Time ON runlog (\"Time\")")};
}

namespace {

void check(sqlite3* db, int rc, const QString& path) {
    if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return;
    const QString msg = QString::fromUtf8(sqlite3_errmsg(db));
    throw dao::Error(dao::err::EngineError, QStringLiteral("Could not create '%1': %2").arg(path, msg));
}

// A word for a POSIX shell: quoted unless it is plain.
QString shellWord(const QString& word) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_@%+=:,./-]+$"));
    if (plain.match(word).hasMatch()) return word;
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

}  // namespace

QString newLogCommand(const QString& programFolder, const QString& logPath) {
    const QFileInfo beside(QDir(programFolder).filePath(QStringLiteral("pacebook-newlog")));
    const QString tool =
        beside.isFile() && beside.isExecutable() ? beside.absoluteFilePath() : QStringLiteral("pacebook-newlog");
    return shellWord(tool) + QLatin1Char(' ') + shellWord(logPath);
}

void createLog(const QString& path) {
    // "RUN.MDB" beside a new "Run.mdb" would split the log in two: the
    // program reaches either spelling.
    const QString existing = dao::resolveFileName(path);
    if (QFileInfo::exists(existing) || QFileInfo(existing).isSymLink() || QFileInfo(path).isSymLink())
        throw dao::Error(dao::err::TableExists,
                         QStringLiteral("'%1' already exists; it was left as it is.").arg(existing));
    {
        // Claim the name first: creating it fails if another process made it meanwhile.
        QFile claim(path);
        if (!claim.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            throw dao::Error(dao::err::NoPermission,
                             QStringLiteral("Could not create '%1': %2").arg(path, claim.errorString()));
    }
    sqlite3* db = nullptr;
    try {
        const QByteArray name = path.toUtf8();
        check(db, sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READWRITE, nullptr), path);
        check(db, sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr), path);
        check(db, sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), path);
        for (const QString& statement : schemaStatements())
            check(db, sqlite3_exec(db, statement.toUtf8().constData(), nullptr, nullptr, nullptr), path);
        check(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), path);
        check(db, sqlite3_close(db), path);
        db = nullptr;
    } catch (...) {
        if (db) sqlite3_close_v2(db);
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-wal"));
        QFile::remove(path + QStringLiteral("-shm"));
        throw;
    }
}

}  // namespace logstore

// SPDX-License-Identifier: GPL-3.0-or-later
// The program's data-access layer in a process of its own, for the
// reliability tests: they kill it at random moments, run two at once, or
// fill its disk. It reports on standard output, one line at a time, with
// write(2) so that nothing waits in a buffer when it is killed:
//   "A <i>"              save i returned (the row is acknowledged)
//   "F <i> <number>"     save i failed with that dao::Error
//   "E <number> <text>"  a dao::Error that ended the mode
//   "S"                  the statement starts
//   "D <ms>"             done, after so many milliseconds
//   key/value lines      what the disk-full run found afterwards
//
//   writer saves LOG COUNT [--busy MS] [--type TEXT] [--ack-before-save]
//   writer update LOG
//   writer open LOG [--as-nobody]
//   writer fill FOLDER
//   writer trylock LOG     "GOT" when it could lock the file exclusively,
//                          "LOCKED" when another process holds a lock on it
//
// --ack-before-save reports each save before making it: a writer that
// acknowledges too early, which the tests must catch losing rows.

#include "dao/dao.h"
#include "logstore/logfile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <sqlite3.h>

#include <grp.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void say(const QString& line) {
    const QByteArray bytes = (line + u'\n').toUtf8();
    const char* p = bytes.constData();
    size_t left = size_t(bytes.size());
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, p, left);
        if (n <= 0) std::_Exit(3);
        p += n;
        left -= size_t(n);
    }
}

QString option(int argc, char** argv, const char* name, const QString& fallback = {}) {
    for (int i = 0; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return QString::fromUtf8(argv[i + 1]);
    return fallback;
}

bool flag(int argc, char** argv, const char* name) {
    for (int i = 0; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return true;
    return false;
}

void save(dao::Recordset& rs, long long i, const QString& type, const QString& description) {
    rs.AddNew();
    rs.Fields(QStringLiteral("Date")).setValue(QStringLiteral("2024-05-01"));
    rs.Fields(QStringLiteral("Time")).setValue(i);
    rs.Fields(QStringLiteral("Type")).setValue(type);
    rs.Fields(QStringLiteral("Description")).setValue(description);
    rs.Update();
}

int saves(int argc, char** argv) {
    const QString log = QString::fromUtf8(argv[2]);
    const long long count = std::atoll(argv[3]);
    dao::ConnectionOptions options;
    options.busyTimeoutMs = option(argc, argv, "--busy", QStringLiteral("5000")).toInt();
    const QString type = option(argc, argv, "--type", QStringLiteral("Normal"));
    const bool early = flag(argc, argv, "--ack-before-save");
    QElapsedTimer clock;
    clock.start();
    auto db = dao::DBEngine().OpenDatabase(log, options);
    auto rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    for (long long i = 1; i <= count; ++i) {
        if (early) say(QStringLiteral("A %1").arg(i));
        try {
            save(*rs, i, type, QStringLiteral("run %1").arg(i));
        } catch (const dao::Error& e) {
            rs->CancelUpdate();
            say(QStringLiteral("F %1 %2").arg(i).arg(e.Number()));
            continue;
        }
        if (!early) say(QStringLiteral("A %1").arg(i));
    }
    say(QStringLiteral("D %1").arg(clock.elapsed()));
    return 0;
}

int update(char** argv) {
    auto db = dao::DBEngine().OpenDatabase(QString::fromUtf8(argv[2]));
    QElapsedTimer clock;
    clock.start();
    say(QStringLiteral("S"));
    db->Execute(QStringLiteral("UPDATE runlog SET Time = Time + 1, Description = printf('%.300c', 'u')"));
    say(QStringLiteral("D %1").arg(clock.elapsed()));
    return 0;
}

int openOnly(int argc, char** argv) {
    if (flag(argc, argv, "--as-nobody")) {
        // File permissions do not bind the super-user; the tests of
        // read-only files and folders run as an ordinary one.
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            say(QStringLiteral("X cannot become an ordinary user"));
            return 2;
        }
    }
    auto db = dao::DBEngine().OpenDatabase(QString::fromUtf8(argv[2]));
    auto rs = db->OpenRecordset(QStringLiteral("runlog"));
    say(QStringLiteral("OK %1").arg(rs->RecordCount()));
    return 0;
}

QString scalar(const QString& log, const char* sql) {
    sqlite3* db = nullptr;
    QString out = QStringLiteral("(none)");
    if (sqlite3_open_v2(log.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            out = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        else
            out = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
}

// On a small file system of its own: store entries until the disk is full,
// then see what the program and the file are left with.
int fill(char** argv) {
    const QString folder = QString::fromUtf8(argv[2]);
    const QString log = QDir(folder).filePath(QStringLiteral("Run.mdb"));
    logstore::createLog(log);
    // Room the test gives back once the disk is full.
    const QString ballast = QDir(folder).filePath(QStringLiteral("ballast"));
    {
        QFile f(ballast);
        if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray(96 * 1024, 'b')) != 96 * 1024) {
            say(QStringLiteral("X cannot write the ballast file"));
            return 2;
        }
    }
    auto db = dao::DBEngine().OpenDatabase(log);
    auto rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    const QString text(1500, u'x');
    long long acknowledged = 0;
    for (long long i = 1; i <= 100000; ++i) {
        try {
            save(*rs, i, QStringLiteral("Long"), text);
        } catch (const dao::Error& e) {
            rs->CancelUpdate();
            say(QStringLiteral("E %1 %2").arg(e.Number()).arg(e.Description()));
            break;
        }
        acknowledged = i;
        say(QStringLiteral("A %1").arg(i));
    }
    // Still usable for reading after the failure.
    try {
        auto again = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
        say(QStringLiteral("readable %1").arg(again->RecordCount()));
    } catch (const dao::Error& e) {
        say(QStringLiteral("readable error %1 %2").arg(e.Number()).arg(e.Description()));
    }
    // With some room again, the next entry is stored.
    QFile::remove(ballast);
    try {
        save(*rs, acknowledged + 1, QStringLiteral("Long"), QStringLiteral("after"));
        say(QStringLiteral("A %1").arg(acknowledged + 1));
        ++acknowledged;
        say(QStringLiteral("recovered yes"));
    } catch (const dao::Error& e) {
        rs->CancelUpdate();
        say(QStringLiteral("recovered no %1 %2").arg(e.Number()).arg(e.Description()));
    }
    rs->Close();
    db->Close();
    say(QStringLiteral("integrity %1").arg(scalar(log, "PRAGMA integrity_check")));
    say(QStringLiteral("present %1").arg(
        scalar(log, QStringLiteral("SELECT count(DISTINCT Time) FROM runlog WHERE Time BETWEEN 1 AND %1")
                        .arg(acknowledged)
                        .toUtf8()
                        .constData())));
    return 0;
}

int tryLock(char** argv) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[2], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        say(QStringLiteral("X %1").arg(QString::fromUtf8(sqlite3_errmsg(db))));
        sqlite3_close(db);
        return 2;
    }
    const int rc = sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
    say(rc == SQLITE_OK ? QStringLiteral("GOT") : rc == SQLITE_BUSY ? QStringLiteral("LOCKED")
                                                                     : QStringLiteral("X %1").arg(rc));
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string mode = argv[1];
    try {
        if (mode == "saves" && argc >= 4) return saves(argc, argv);
        if (mode == "update") return update(argv);
        if (mode == "open") return openOnly(argc, argv);
        if (mode == "fill") return fill(argv);
        if (mode == "trylock") return tryLock(argv);
    } catch (const dao::Error& e) {
        say(QStringLiteral("E %1 %2").arg(e.Number()).arg(e.Description()));
        return 1;
    }
    return 2;
}

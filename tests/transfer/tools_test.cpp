// SPDX-License-Identifier: GPL-3.0-or-later
// pacebook-import and pacebook-export as a user runs them: a dry run
// changes nothing, --apply adds all or nothing (a refused row, a kill),
// duplicates are left out, and export then import gives the same rows.

#include "importrun.h"

#include "reliability/child.h"
#include "support/sqlfile.h"
#include "support/tempdir.h"

#include "dao/dao.h"
#include "logstore/backup.h"
#include "logstore/logfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <gtest/gtest.h>

#include <random>

using namespace testsupport;

namespace {

struct Result {
    int status = -1;
    QString out;
};

// Standard output and standard error, one after the other as written.
Result run(const QString& program, const QStringList& args) {
    Child child(QStringList{QStringLiteral("/bin/sh"), QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$@\" 2>&1"),
                            program} +
                args);
    Result r;
    r.out = child.rest().join(u'\n');
    r.status = child.wait();
    return r;
}

Result import(const QStringList& args) { return run(QStringLiteral(PB_IMPORT), args); }
Result exportLog(const QStringList& args) { return run(QStringLiteral(PB_EXPORT), args); }

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Every row, value by value as SQLite holds it, in the order of the log.
QString rowsOf(const QString& log) {
    return scalarSql(log, "SELECT group_concat(quote(Date) || ' ' || quote(Time) || ' ' || quote(Type) || ' ' || "
                          "quote(Description), char(10)) FROM (SELECT * FROM runlog ORDER BY rowid)");
}

QByteArray csvOfRuns(int n, int badAt = 0) {
    QByteArray csv = "Date,Time,Type,Description\n";
    for (int i = 1; i <= n; ++i)
        csv += (i == badAt ? QByteArray("2024-02-30") : QDate(2020, 1, 1).addDays(i % 1500).toString(Qt::ISODate).toLatin1()) +
               ',' + QByteArray::number(10 + i % 170) + ",Long,run " + QByteArray::number(i) + '\n';
    return csv;
}

class ToolsTest : public ::testing::Test {
protected:
    void SetUp() override {
        log = folder.file(QStringLiteral("Run.mdb"));
        logstore::createLog(log);
        execSql(log, "INSERT INTO runlog VALUES ('2024-05-01', 50, 'Long', 'one'), ('2024-05-02', 30, 'Tempo', NULL)");
    }
    TempFolder folder;
    QString log;
};

TEST_F(ToolsTest, dryRunChangesNothingAndApplyAddsAfterABackup) {
    const QString csv = folder.file(QStringLiteral("runs.csv"));
    writeFile(csv, csvOfRuns(3));
    const QByteArray before = contents(log);
    const QByteArray source = contents(csv);
    const Result dry = import({csv, log});
    EXPECT_EQ(dry.status, 0) << dry.out.toStdString();
    EXPECT_TRUE(dry.out.contains(QLatin1String("Would add 3 runs. Nothing was changed"))) << dry.out.toStdString();
    EXPECT_EQ(contents(log), before);
    EXPECT_FALSE(QFileInfo::exists(log + QStringLiteral("-wal")));
    EXPECT_FALSE(QFileInfo::exists(logstore::backupFolder(log)));

    const Result applied = import({csv, log, QStringLiteral("--apply")});
    EXPECT_EQ(applied.status, 0) << applied.out.toStdString();
    EXPECT_TRUE(applied.out.contains(QLatin1String("Added 3 runs."))) << applied.out.toStdString();
    EXPECT_EQ(scalarSql(log, "SELECT count(*) FROM runlog"), QStringLiteral("5"));
    // The copy made before the change holds the log as it was.
    const QStringList backups = logstore::backupsOf(log);
    ASSERT_EQ(backups.size(), 1);
    EXPECT_EQ(scalarSql(QDir(logstore::backupFolder(log)).filePath(backups[0]), "SELECT count(*) FROM runlog"),
              QStringLiteral("2"));
    EXPECT_EQ(contents(csv), source);
}

TEST_F(ToolsTest, aRefusedRowMidFileAddsNothingUnlessSkipped) {
    const QString csv = folder.file(QStringLiteral("runs.csv"));
    writeFile(csv, csvOfRuns(20000, 12345));  // large enough to rebuild the indexes
    const QString before = rowsOf(log);
    const Result refused = import({csv, log, QStringLiteral("--apply")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.out.contains(QLatin1String("line 12346: 2024-2-30 is not a day"))) << refused.out.toStdString();
    EXPECT_TRUE(refused.out.contains(QLatin1String("Nothing was added"))) << refused.out.toStdString();
    EXPECT_EQ(rowsOf(log), before);

    const Result skipped = import({csv, log, QStringLiteral("--apply"), QStringLiteral("--skip-bad")});
    EXPECT_EQ(skipped.status, 0) << skipped.out.toStdString();
    EXPECT_EQ(scalarSql(log, "SELECT count(*) FROM runlog"), QStringLiteral("20001"));
    EXPECT_EQ(scalarSql(log, "SELECT count(*) FROM sqlite_schema WHERE type = 'index'"), QStringLiteral("2"));
    EXPECT_EQ(scalarSql(log, "PRAGMA integrity_check"), QStringLiteral("ok"));
}

TEST_F(ToolsTest, killedWhileAddingLeavesTheLogAsItWas) {
    const QString csv = folder.file(QStringLiteral("runs.csv"));
    constexpr int kRows = 200000;
    writeFile(csv, csvOfRuns(kRows));
    const QString before = rowsOf(log);
    std::mt19937 rng(std::random_device{}());
    const QString wal = log + QStringLiteral("-wal");
    int midway = 0;
    for (int i = 0; i < 4; ++i) {
        ASSERT_FALSE(QFileInfo::exists(wal));
        Child child({QStringLiteral(PB_IMPORT), csv, log, QStringLiteral("--apply")});
        ASSERT_TRUE(child.started());
        // Killed once rows are being written (the write-ahead log grows
        // past what the schema and a few pages need), or at a random moment.
        QElapsedTimer waited;
        waited.start();
        const int randomMs = std::uniform_int_distribution<int>(0, 1500)(rng);
        bool writing = false;
        while (waited.elapsed() < 60000 && !writing && (i % 2 == 0 || waited.elapsed() < randomMs)) {
            writing = QFileInfo(wal).size() > (4 << 20);
            QThread::msleep(2);
        }
        midway += writing;
        child.kill();
        child.wait();
        const QString count = scalarSql(log, "SELECT count(*) FROM runlog");
        EXPECT_TRUE(count == QStringLiteral("2") || count == QString::number(kRows + 2)) << count.toStdString();
        EXPECT_EQ(scalarSql(log, "PRAGMA integrity_check"), QStringLiteral("ok"));
        if (count == QStringLiteral("2")) {
            EXPECT_EQ(rowsOf(log), before);
        }
        execSql(log, "DELETE FROM runlog WHERE rowid > 2");
    }
    EXPECT_GE(midway, 2);
}

TEST_F(ToolsTest, runsAlreadyInTheLogAreLeftOutUnlessAllowed) {
    const QString csv = folder.file(QStringLiteral("runs.csv"));
    writeFile(csv, "Date,Time,Type,Description\n2024-05-01,50,Long,one\n2024-05-02,30,Tempo,\n2024-05-02,30,Tempo,x\n");
    const Result first = import({csv, log, QStringLiteral("--apply")});
    EXPECT_EQ(first.status, 0);
    EXPECT_TRUE(first.out.contains(QLatin1String("Already in the log, left out: 2 (lines 2, 3)"))) << first.out.toStdString();
    EXPECT_TRUE(first.out.contains(QLatin1String("Added 1 run."))) << first.out.toStdString();
    const Result again = import({csv, log, QStringLiteral("--apply"), QStringLiteral("--allow-duplicates")});
    EXPECT_TRUE(again.out.contains(QLatin1String("Added 3 runs."))) << again.out.toStdString();
    EXPECT_EQ(scalarSql(log, "SELECT count(*) FROM runlog"), QStringLiteral("6"));
}

TEST_F(ToolsTest, exportThenImportGivesTheSameRowsByteForByte) {
    execSql(log, "INSERT INTO runlog VALUES "
                 "('2024-05-03', 45, 'Long, slow', 'a, b; c'), ('2024-05-04', 60, 'Race', 'say \"hi\"'), "
                 "('2024-05-05', 61, 'x', 'two' || char(10) || 'lines' || char(13) || char(10) || 'crlf'), "
                 "('2024-05-06', 70, ' spaced ', '  leading and trailing  '), ('2024-05-07', 80, 'Tempo', ''), "
                 "('2024-05-08', 90, 'Fartlek', 'Ünïcødé ✓ 🏃 ' || char(9) || 'tab \uFEFF bom \u2028'), "
                 "('0001-01-01', 1, '\"', '\"'), ('9999-12-31', 1440, '=1+1', ',')");
    const QString csv = folder.file(QStringLiteral("out.csv"));
    const Result out = exportLog({log, QStringLiteral("--output"), csv});
    ASSERT_EQ(out.status, 0);
    const QString copy = folder.file(QStringLiteral("copy/Run.mdb"));
    QDir(folder.path()).mkdir(QStringLiteral("copy"));
    const Result in = import({csv, copy, QStringLiteral("--create"), QStringLiteral("--apply")});
    ASSERT_EQ(in.status, 0) << in.out.toStdString();
    EXPECT_EQ(rowsOf(copy), rowsOf(log));
    const QString again = folder.file(QStringLiteral("again.csv"));
    ASSERT_EQ(exportLog({copy, QStringLiteral("--output"), again}).status, 0);
    EXPECT_EQ(contents(again), contents(csv));
    EXPECT_TRUE(contents(csv).startsWith("Date,Time,Type,Description\r\n2024-05-01,50,Long,one\r\n2024-05-02,30,Tempo,\r\n"));

    // JSON lines: one object a run, the same values.
    const Result json = exportLog({log, QStringLiteral("--format"), QStringLiteral("jsonl")});
    ASSERT_EQ(json.status, 0);
    const QStringList lines = json.out.split(u'\n');
    ASSERT_EQ(lines.size(), 10);
    const QJsonObject second = QJsonDocument::fromJson(lines[1].toUtf8()).object();
    EXPECT_EQ(second.value(QLatin1String("Time")).toInt(), 30);
    EXPECT_TRUE(second.value(QLatin1String("Description")).isNull());
    const QJsonObject fifth = QJsonDocument::fromJson(lines[4].toUtf8()).object();
    EXPECT_EQ(fifth.value(QLatin1String("Description")).toString(), QStringLiteral("two\nlines\r\ncrlf"));
}

TEST_F(ToolsTest, exportNeverWritesOverADatabase) {
    const QString backup = logstore::takeBackup(*dao::DBEngine().OpenDatabase(log));
    const QByteArray kept = contents(backup);
    for (const QString& target : {log, backup}) {
        const Result r = exportLog({log, QStringLiteral("--output"), target});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(scalarSql(log, "SELECT count(*) FROM runlog"), QStringLiteral("2"));
    }
    EXPECT_EQ(contents(backup), kept);
}

TEST_F(ToolsTest, anOldDesktopDatabaseLogIsMetWithTheCommandThatBringsItOver) {
    const QString fixture = QStringLiteral(PACEBOOK_SOURCE_DIR "/../shared/fixtures/access/testV2000.mdb");
    if (!QFileInfo::exists(fixture)) GTEST_SKIP() << "the desktop-database fixtures are not there";
    QFile::remove(log);
    ASSERT_TRUE(QFile::copy(fixture, log));
    const QString message = [&] {
        try {
            dao::DBEngine().OpenDatabase(log);
        } catch (const dao::Error& e) {
            return e.Description();
        }
        return QString();
    }();
    const QString aside = folder.file(QStringLiteral("Run-access.mdb"));
    EXPECT_TRUE(message.contains(QStringLiteral("mv '%1' '%2' && ").arg(log, aside))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("pacebook-import' '%1' '%2' --create --apply").arg(aside, log)))
        << message.toStdString();
    // The import program gives the same advice when that file is named
    // as the source and as the log.
    const Result r = import({log, log});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("mv '%1' '%2' && ").arg(log, aside))) << r.out.toStdString();
    EXPECT_TRUE(QFileInfo::exists(log) && !QFileInfo::exists(aside));
}

}  // namespace

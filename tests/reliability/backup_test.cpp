// SPDX-License-Identifier: GPL-3.0-or-later
// Backups: a checked copy before the first statement that changes the log
// in a run, at most one a day before other changes, the newest five kept.

#include "child.h"
#include "logcheck.h"

#include "dao/dao.h"
#include "logstore/backup.h"
#include "logstore/logfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class BackupTest : public ::testing::Test {
protected:
    void SetUp() override {
        log = dir.file(QStringLiteral("Run.mdb"));
        createLogOfRuns(log, 500);
        logstore::forgetBackupsOfThisRun();
        logstore::keepBackups();
    }
    void TearDown() override { dao::DBEngine().setBeforeWriteHook({}); }

    QString backup(int index) const {
        return QDir(logstore::backupFolder(log)).filePath(logstore::backupsOf(log).value(index));
    }

    FastFolder dir;
    QString log;
};

TEST_F(BackupTest, firstStatementOfARunIsPrecededByACheckedCopy) {
    auto db = dao::DBEngine().OpenDatabase(log);
    db->Execute(QStringLiteral("DELETE FROM runlog WHERE Time > 100"));
    ASSERT_EQ(logstore::backupsOf(log).size(), 1);
    EXPECT_EQ(logstore::backupFolder(log), dir.file(QStringLiteral("backups")));
    {
        // The copy holds the log as it was before the statement, stands
        // alone (no write-ahead log beside it) and is sound.
        LogReader copy(backup(0));
        EXPECT_EQ(copy.number(QStringLiteral("SELECT count(*) FROM runlog")), 500);
        EXPECT_EQ(copy.text("PRAGMA journal_mode"), QStringLiteral("delete"));
        EXPECT_EQ(copy.integrity(), QStringLiteral("ok"));
    }
    EXPECT_EQ(QDir(logstore::backupFolder(log)).entryList(QDir::Files).size(), 1);
    // Once in a run.
    db->Execute(QStringLiteral("DELETE FROM runlog WHERE Time > 50"));
    auto again = dao::DBEngine().OpenDatabase(log);
    again->Execute(QStringLiteral("DELETE FROM runlog WHERE Time > 40"));
    EXPECT_EQ(logstore::backupsOf(log).size(), 1);
    // A query that only reads takes none, in the next run either.
    logstore::forgetBackupsOfThisRun();
    EXPECT_THROW(db->Execute(QStringLiteral("select * from runlog")), dao::Error);
    EXPECT_EQ(logstore::backupsOf(log).size(), 1);
    db->Execute(QStringLiteral("DELETE FROM runlog WHERE Time > 30"));
    EXPECT_EQ(logstore::backupsOf(log).size(), 2);
    EXPECT_EQ(LogReader(backup(1)).number(QStringLiteral("SELECT count(*) FROM runlog")), 40);
}

TEST_F(BackupTest, savedEntriesTakeAtMostOneCopyADay) {
    auto db = dao::DBEngine().OpenDatabase(log);
    auto rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    for (int i = 0; i < 3; ++i) {
        rs->AddNew();
        rs->Fields(QStringLiteral("Time")).setValue(900 + i);
        rs->Update();
    }
    rs->updateRow(0, {{2, QStringLiteral("Tempo")}});
    // Made in the background, from the log as it was before the first save.
    logstore::waitForBackups();
    ASSERT_EQ(logstore::backupsOf(log).size(), 1);
    EXPECT_EQ(LogReader(backup(0)).number(QStringLiteral("SELECT count(*) FROM runlog")), 500);
    // The next run of the program, the same day.
    logstore::forgetBackupsOfThisRun();
    rs->deleteRow(0);
    EXPECT_EQ(logstore::backupsOf(log).size(), 1);
}

TEST_F(BackupTest, onlyTheNewestFiveAreKept) {
    auto db = dao::DBEngine().OpenDatabase(log);
    QStringList made;
    for (int i = 0; i < logstore::kBackupsKept + 2; ++i) made << QFileInfo(logstore::takeBackup(*db)).fileName();
    EXPECT_EQ(logstore::backupsOf(log), made.mid(2));
    EXPECT_EQ(QDir(logstore::backupFolder(log)).entryList(QDir::Files), made.mid(2));
}

TEST_F(BackupTest, whatACopyCutShortLeftIsRemovedAtTheNextBackup) {
    auto db = dao::DBEngine().OpenDatabase(log);
    const QDir folder(logstore::backupFolder(log));
    folder.mkpath(QStringLiteral("."));
    struct Leftover {
        const char* name;
        int minutesOld;
        bool removed;
    };
    const std::vector<Leftover> leftovers = {
        {"Run-20240501-063000-123.mdb.part", 60, true},  // the program was killed while it copied
        {"Run-20240501-063000-123.mdb.part-journal", 60, true},
        {"run-20240502-063000-123.MDB.part", 60 * 24 * 30, true},
        {"Run-20240503-063000-123.mdb.part-wal", -60, true},  // a clock put back since
        {"Run-20240504-063000-123.mdb.part", 1, false},       // another copy of the program is making it
        {"Other-20240501-063000-123.mdb.part", 60, false},    // another log's
        {"Run-20240501-063000-123.mdb.part.keep", 60, false},
        {"notes.part", 60, false},
    };
    for (const Leftover& l : leftovers) {
        const QString path = folder.filePath(QString::fromLatin1(l.name));
        ASSERT_TRUE(QFile::copy(log, path));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.setFileTime(QDateTime::currentDateTime().addSecs(-60 * l.minutesOld), QFileDevice::FileModificationTime);
    }
    const QString copy = logstore::takeBackup(*db);
    for (const Leftover& l : leftovers)
        EXPECT_EQ(QFile::exists(folder.filePath(QString::fromLatin1(l.name))), !l.removed) << l.name;
    EXPECT_EQ(LogReader(copy).integrity(), QStringLiteral("ok"));
    EXPECT_EQ(logstore::backupsOf(log), QStringList{QFileInfo(copy).fileName()});
}

TEST_F(BackupTest, copyLeavesOutWhatAnotherWindowHasNotCommitted) {
    auto editing = dao::DBEngine().OpenDatabase(log);
    sqlite3_exec(editing->handle(), "BEGIN IMMEDIATE; DELETE FROM runlog", nullptr, nullptr, nullptr);
    auto db = dao::DBEngine().OpenDatabase(log);
    const QString copy = logstore::takeBackup(*db);
    sqlite3_exec(editing->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    EXPECT_EQ(LogReader(copy).number(QStringLiteral("SELECT count(*) FROM runlog")), 500);
}

TEST_F(BackupTest, statementDoesNotRunWithoutACopyButAnEntryIsStillSaved) {
    // A file where the backups folder should be: no copy can be made.
    QFile blocker(logstore::backupFolder(log));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto db = dao::DBEngine().OpenDatabase(log);
    try {
        db->Execute(QStringLiteral("DELETE FROM runlog"));
        ADD_FAILURE() << "the statement ran without a backup";
    } catch (const dao::Error& e) {
        EXPECT_TRUE(e.Description().contains(QStringLiteral("The statement was not run"))) << e.what();
        EXPECT_TRUE(e.Description().contains(logstore::backupFolder(log))) << e.what();
    }
    EXPECT_EQ(LogReader(log).number(QStringLiteral("SELECT count(*) FROM runlog")), 500);
    // An entry the user typed is not lost for want of a copy.
    auto rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    rs->AddNew();
    rs->Fields(QStringLiteral("Time")).setValue(42);
    EXPECT_NO_THROW(rs->Update());
    EXPECT_EQ(LogReader(log).number(QStringLiteral("SELECT count(*) FROM runlog")), 501);
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// Work off the caller's thread: the first open's check of a log's pages,
// which changes wait for and reads do not; and the backup copy's moment and
// its wait for another program's lock.

#include "logfixture.h"

#include "support/heldchecks.h"
#include "support/sqlfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <memory>

namespace {

using namespace testsupport;

class BackgroundTest : public LogTest {
protected:
    void SetUp() override {
        LogTest::SetUp();
        // A new file may have the inode of one checked in an earlier test.
        dao::DBEngine().forgetCheckedFiles();
    }
    void TearDown() override {
        dao::DBEngine().setWaitHook({});
        dao::DBEngine().setCheckFailedHook({});
    }
    long long typeCount(const char* type) {
        return outsideCount(QStringLiteral("SELECT count(*) FROM runlog WHERE Type = '%1'").arg(QLatin1String(type)));
    }
};

// The log can be read while its check runs. A change waits for the check,
// asking the progress handler (a "Cancel" there writes nothing), or inside
// the engine's wait hook when there is none, and is written once it passed.
TEST_F(BackgroundTest, changesWaitForThePageCheckAndReadsDoNot) {
    addFiveRuns();
    {
        HeldChecks held;
        auto db = open();
        auto rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
        EXPECT_EQ(rs->RecordCount(), 5);
        EXPECT_EQ(rs->valueAt(0, 2).toString(), "Long");
        EXPECT_FALSE(db->pageCheckEnded());

        int asked = 0;
        db->setProgressHandler([&] { return ++asked < 3; });
        EXPECT_EQ(errorNumber([&] { rs->updateRow(0, {{2, QStringLiteral("Tempo")}}); }), dao::err::Cancelled);
        EXPECT_EQ(asked, 3);
        EXPECT_EQ(typeCount("Tempo"), 1);

        db->setProgressHandler([&] {
            if (++asked == 6) held.release();
            return true;
        });
        EXPECT_NO_THROW(rs->updateRow(0, {{2, QStringLiteral("Tempo")}}));
        EXPECT_GE(asked, 6);
        EXPECT_TRUE(db->pageCheckEnded());
        EXPECT_EQ(typeCount("Tempo"), 2);
        EXPECT_TRUE(open()->pageCheckEnded());  // checked once a run
    }
    dao::DBEngine().forgetCheckedFiles();
    HeldChecks held;
    int hooked = 0;
    dao::DBEngine().setWaitHook([&](dao::Database&, const std::function<void()>& wait) {
        ++hooked;
        held.release();
        wait();
    });
    auto db = open();
    db->Execute(QStringLiteral("UPDATE runlog SET Type = 'Race' WHERE Type = 'Tempo'"));
    EXPECT_EQ(hooked, 1);
    EXPECT_EQ(typeCount("Race"), 3);
}

// A damaged log opens; its changes are refused once the check found the
// damage (the reliability tests follow the file further). The engine's hook
// hears of the damage once, and not when a refused change has said so.
TEST_F(BackgroundTest, damageIsToldOnceByTheRefusalOrByTheHook) {
    const QByteArray bytes = fillAndDamage(path);
    auto heard = std::make_shared<QStringList>();
    dao::DBEngine().setCheckFailedHook([heard](const dao::Error& e) { heard->append(e.Description()); });
    const QString refusal = errorText([&] { open()->Execute(QStringLiteral("DELETE FROM runlog")); });
    EXPECT_TRUE(refusal.contains(path) && refusal.contains(QStringLiteral("damaged"))) << refusal.toStdString();

    dao::DBEngine().forgetCheckedFiles();
    auto db = open();
    for (int i = 0; i < 500 && heard->isEmpty(); ++i) {
        QCoreApplication::processEvents();
        sqlite3_sleep(10);
    }
    QCoreApplication::processEvents();
    ASSERT_EQ(heard->size(), 1);
    EXPECT_TRUE(heard->front().contains(QStringLiteral("damaged")));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), bytes);
}

// A connection opened without the check (one that only reads) neither
// starts nor waits for one, on a sound log or a damaged one; its first
// change checks the pages first, waits for that and is refused on damage.
TEST_F(BackgroundTest, aConnectionWithoutThePageCheckChecksBeforeItsFirstChange) {
    dao::ConnectionOptions options;
    options.checkPages = false;
    addFiveRuns();
    {
        HeldChecks held;
        auto db = dao::DBEngine().OpenDatabase(path, options);
        dao::RowReader rows = db->ReadRows(QStringLiteral("SELECT count(*) FROM runlog"));
        ASSERT_TRUE(rows.next());
        EXPECT_EQ(rows.integer(0), 5);
        EXPECT_TRUE(db->pageCheckEnded());
        int asked = 0;
        db->setProgressHandler([&] {
            if (++asked == 3) held.release();
            return true;
        });
        db->Execute(QStringLiteral("UPDATE runlog SET Type = 'Race' WHERE Type = 'Long'"));
        EXPECT_GE(asked, 3);
        EXPECT_EQ(typeCount("Race"), 2);
    }
    dao::DBEngine().forgetCheckedFiles();
    const QByteArray bytes = fillAndDamage(path);
    auto heard = std::make_shared<QStringList>();
    dao::DBEngine().setCheckFailedHook([heard](const dao::Error& e) { heard->append(e.Description()); });
    auto db = dao::DBEngine().OpenDatabase(path, options);
    QCoreApplication::processEvents();
    EXPECT_TRUE(heard->isEmpty());
    const QString refusal = errorText([&] { db->Execute(QStringLiteral("DELETE FROM runlog")); });
    EXPECT_TRUE(refusal.contains(QStringLiteral("damaged"))) << refusal.toStdString();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), bytes);
}

// Another program that holds the whole file (a rollback-journal log in the
// middle of its change) keeps a backup waiting only until the busy
// timeout: then it is 3045, and no copy is left.
TEST_F(BackgroundTest, backupWaitsForALockedLogUntilTheBusyTimeout) {
    addFiveRuns();
    outside(QStringLiteral("PRAGMA journal_mode=DELETE"));
    dao::ConnectionOptions options;
    options.busyTimeoutMs = 300;
    options.readOnly = true;  // leaves the file in rollback-journal mode
    auto db = dao::DBEngine().OpenDatabase(path, options);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.toUtf8().constData(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE; DELETE FROM runlog", nullptr, nullptr, nullptr), SQLITE_OK);
    const QString copy = folder.file(QStringLiteral("copy.mdb"));
    const QString text = errorText([&] { db->Backup(copy); });
    EXPECT_EQ(errorNumber([&] { db->Backup(copy); }), dao::err::FileInUse);
    EXPECT_TRUE(text.contains(QStringLiteral("locked"))) << text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(copy));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_NO_THROW(db->Backup(copy));
}

}  // namespace

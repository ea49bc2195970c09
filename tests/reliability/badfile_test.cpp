// SPDX-License-Identifier: GPL-3.0-or-later
// Files named Run.mdb that are not a sound log: each is refused with one
// error that names the file and the cause, and is left exactly as it was,
// with nothing new beside it.

#include "child.h"
#include "logcheck.h"

#include "dao/dao.h"
#include "dao/opencheck.h"
#include "logstore/logfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <unistd.h>

using namespace testsupport;

namespace {

// Every entry of a folder, and the bytes of its files.
QMap<QString, QByteArray> contents(const QString& folder) {
    QMap<QString, QByteArray> out;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& e : entries) {
        QByteArray bytes = "<folder>";
        if (e.isFile()) {
            QFile f(e.filePath());
            bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
        }
        out.insert(e.fileName(), bytes);
    }
    return out;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// A log of 2000 runs, in write-ahead-log mode like every log the program makes.
void makeLog(const QString& path) {
    testlog::create(path, 2000, {.date = "'2024-05-01'", .time = "i + 1", .description = "printf('%.80c', 'd')"});
}

class BadFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        log = dir.file(QStringLiteral("Run.mdb"));
        dao::DBEngine().forgetCheckedFiles();
    }

    // Opening fails with one error of that number, whose text names the file
    // and holds `cause`; the folder is as it was.
    void expectRefused(int number, const QString& cause) {
        const auto before = contents(dir.path());
        int thrown = 0;
        try {
            auto db = dao::DBEngine().OpenDatabase(QFileInfo(log).path() + QStringLiteral("\\RUN.MDB"));
            db->OpenRecordset(QStringLiteral("runlog"));
        } catch (const dao::Error& e) {
            ++thrown;
            EXPECT_EQ(e.Number(), number) << e.Description().toStdString();
            EXPECT_TRUE(e.Description().contains(log)) << e.Description().toStdString();
            EXPECT_TRUE(e.Description().contains(cause, Qt::CaseInsensitive)) << e.Description().toStdString();
        }
        EXPECT_EQ(thrown, 1);
        const auto after = contents(dir.path());
        EXPECT_EQ(after.keys(), before.keys());
        EXPECT_TRUE(after == before) << "the file's bytes changed";
    }

    FastFolder dir;
    QString log;
};

TEST_F(BadFileTest, textFileIsRefusedAsText) {
    writeFile(log, QByteArray("Date,Time,Type\n2024-05-01,30,Long\n").repeated(200));
    expectRefused(dao::err::NotDatabase, QStringLiteral("holds text"));
}

TEST_F(BadFileTest, emptyFileIsRefusedAndNotMadeIntoADatabase) {
    writeFile(log, QByteArray());
    expectRefused(dao::err::NotDatabase, QStringLiteral("empty"));
    EXPECT_EQ(QFileInfo(log).size(), 0);
}

TEST_F(BadFileTest, fileCutShortIsRefusedAsDamaged) {
    makeLog(log);
    QFile f(log);
    ASSERT_TRUE(f.resize(f.size() / 2));
    expectRefused(dao::err::NotDatabase, QStringLiteral("damaged"));
    // Cut inside the first page, too.
    ASSERT_TRUE(f.resize(60));
    expectRefused(dao::err::NotDatabase, QStringLiteral("damaged"));
}

TEST_F(BadFileTest, fileWithDamagedPagesIsCheckedAndNeverWritten) {
    makeLog(log);
    QByteArray bytes = contents(dir.path()).value(QStringLiteral("Run.mdb"));
    ASSERT_GT(bytes.size(), 6 * 4096);
    bytes.replace(5 * 4096, 300, QByteArray(300, '\xa5'));
    writeFile(log, bytes);
    const auto before = contents(dir.path());
    {
        // The first open checks the pages in the background; a change
        // waits for the check, which refuses it, and so does every later one.
        auto db = dao::DBEngine().OpenDatabase(log);
        for (int i = 0; i < 2; ++i) {
            try {
                db->Execute(QStringLiteral("DELETE FROM runlog"));
                ADD_FAILURE() << "a damaged file was changed";
            } catch (const dao::Error& e) {
                EXPECT_EQ(e.Number(), dao::err::NotDatabase);
                EXPECT_TRUE(e.Description().contains(log) && e.Description().contains(QStringLiteral("damaged")))
                    << e.Description().toStdString();
            }
        }
    }
    EXPECT_TRUE(contents(dir.path()) == before) << "the folder changed";
    // Later opens are refused at once, for what the check found.
    expectRefused(dao::err::NotDatabase, QStringLiteral("damaged"));
    expectRefused(dao::err::NotDatabase, QStringLiteral("damaged"));
}

TEST_F(BadFileTest, damagedFileNotYetInWriteAheadModeIsCheckedBeforeItIsOpened) {
    // Switching it to a write-ahead log would rewrite its header.
    makeLog(log);
    LogReader(log).text("PRAGMA journal_mode=DELETE");
    QByteArray bytes = contents(dir.path()).value(QStringLiteral("Run.mdb"));
    bytes.replace(5 * 4096, 300, QByteArray(300, '\xa5'));
    writeFile(log, bytes);
    expectRefused(dao::err::NotDatabase, QStringLiteral("damaged"));
}

TEST_F(BadFileTest, folderIsRefused) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Run.mdb")));
    expectRefused(dao::err::NotDatabase, QStringLiteral("folder"));
}

TEST_F(BadFileTest, databaseWithoutTheLogTableIsRefusedUnchanged) {
    // In the older rollback-journal mode: opening must not switch it to a
    // write-ahead log, which would rewrite its header.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(log.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
              SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('x')", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    expectRefused(dao::err::InputTableNotFound, QStringLiteral("without the table 'runlog'"));
}

TEST_F(BadFileTest, accessDatabasesAreNamedForWhatTheyAre) {
    QByteArray jet(4096, '\0');
    jet.replace(0, 20, QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20));
    writeFile(log, jet);
    expectRefused(dao::err::NotDatabase, QStringLiteral("Microsoft Access database (Jet"));
    QByteArray ace(4096, '\0');
    ace.replace(0, 20, QByteArray("\x00\x01\x00\x00Standard ACE DB\x00", 20));
    writeFile(log, ace);
    expectRefused(dao::err::NotDatabase, QStringLiteral("Microsoft Access database (ACCDB"));
}

// File permissions do not bind the super-user: as root, the program is
// run as an ordinary user in a child process.
class PermissionTest : public BadFileTest {
protected:
    void SetUp() override {
        BadFileTest::SetUp();
        sub = dir.file(QStringLiteral("log"));
        ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("log")));
        log = QDir(sub).filePath(QStringLiteral("Run.mdb"));
        makeLog(log);
        // The ordinary user may pass through the test's folder.
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                              QFileDevice::ReadOther | QFileDevice::ExeOther);
    }
    void TearDown() override {
        QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile::setPermissions(log, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    void expectRefusedWithPermissions(const QString& cause) {
        const auto before = contents(sub);
        int number = 0;
        QString text;
        if (geteuid() == 0) {
            Child child({writerProgram(), QStringLiteral("open"), log, QStringLiteral("--as-nobody")});
            const QString line = child.line().value_or(QString());
            child.wait();
            ASSERT_TRUE(line.startsWith(QLatin1String("E "))) << line.toStdString();
            number = line.section(u' ', 1, 1).toInt();
            text = line.section(u' ', 2);
        } else {
            try {
                dao::DBEngine().OpenDatabase(log);
            } catch (const dao::Error& e) {
                number = e.Number();
                text = e.Description();
            }
        }
        EXPECT_EQ(number, dao::err::NoPermission) << text.toStdString();
        EXPECT_TRUE(text.contains(log)) << text.toStdString();
        EXPECT_TRUE(text.contains(cause)) << text.toStdString();
        EXPECT_TRUE(contents(sub) == before) << "the folder changed";
    }

    QString sub;
};

TEST_F(PermissionTest, readOnlyFileIsRefusedAtOpenNotAtTheFirstSave) {
    QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                   QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
    QFile::setPermissions(log, QFileDevice::ReadOwner | QFileDevice::ReadOther);
    expectRefusedWithPermissions(QStringLiteral("the file is read-only"));
}

TEST_F(PermissionTest, readOnlyFolderIsRefusedWithTheFolderNamed) {
    QFile::setPermissions(log, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther |
                                   QFileDevice::WriteOther);
    QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                   QFileDevice::ExeOther);
    expectRefusedWithPermissions(QStringLiteral("its folder '%1' is read-only").arg(sub));
}

TEST_F(PermissionTest, soundLogStillOpensForAnOrdinaryUser) {
    QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                   QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
    QFile::setPermissions(log, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther |
                                   QFileDevice::WriteOther);
    if (geteuid() != 0) GTEST_SKIP() << "already an ordinary user";
    Child child({writerProgram(), QStringLiteral("open"), log, QStringLiteral("--as-nobody")});
    EXPECT_EQ(child.line().value_or(QString()), QStringLiteral("OK 2000"));
}

// Looking at a file's first bytes must not drop the locks that a
// connection of this process holds on it.
TEST(FileLockTest, readingTheHeaderKeepsTheLocksOfOpenConnections) {
    FastFolder dir;
    const QString path = dir.file(QStringLiteral("Run.mdb"));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
              SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE runlog (Time); INSERT INTO runlog VALUES (1)", nullptr, nullptr, nullptr);
    // A read transaction holds a shared lock on the file.
    sqlite3_exec(db, "BEGIN; SELECT * FROM runlog", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM runlog", -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    auto otherProcessCanLock = [&] {
        Child child({writerProgram(), QStringLiteral("trylock"), path});
        return child.line().value_or(QString());
    };
    ASSERT_EQ(otherProcessCanLock(), QStringLiteral("LOCKED"));

    EXPECT_TRUE(dao::detail::readFileHeader(path, 100).startsWith("SQLite format 3"));
    EXPECT_EQ(otherProcessCanLock(), QStringLiteral("LOCKED"));

    // What the rule guards against: a plain open and close of the file
    // drops the lock, and another process could then change the file
    // under the open transaction.
    {
        QFile plain(path);
        ASSERT_TRUE(plain.open(QIODevice::ReadOnly));
        plain.read(100);
    }
    EXPECT_EQ(otherProcessCanLock(), QStringLiteral("GOT"));
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
#include "logstore/logfile.h"

#include "dao/dao.h"
#include "support/tempdir.h"

#include <QFile>

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

// Runs one statement through plain SQLite, as any other tool would.
int plainSql(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return rc;
}

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = folder.file(QStringLiteral("Run.mdb"));
        logstore::createLog(path);
    }
    testsupport::TempFolder folder;
    QString path;
};

TEST_F(LogFileTest, newLogHasTheFourFieldsInOrderAndNoRows) {
    auto rs = dao::DBEngine().OpenDatabase(path)->OpenRecordset(QStringLiteral("runlog"));
    EXPECT_EQ(rs->fieldNames(), logstore::fieldNames());
    EXPECT_EQ(rs->RecordCount(), 0);
}

TEST_F(LogFileTest, existingFileIsNeverOverwritten) {
    ASSERT_EQ(plainSql(path, "INSERT INTO runlog VALUES ('2024-05-01', 30, 'Long', 'kept')"), SQLITE_OK);
    EXPECT_THROW(logstore::createLog(path), dao::Error);
    auto rs = dao::DBEngine().OpenDatabase(path)->OpenRecordset(QStringLiteral("runlog"));
    EXPECT_EQ(rs->RecordCount(), 1);

    const QString other = folder.file(QStringLiteral("notes.txt"));
    QFile f(other);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("my notes");
    f.close();
    EXPECT_THROW(logstore::createLog(other), dao::Error);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "my notes");
}

TEST_F(LogFileTest, logUnderAnotherLetterCaseIsNotDuplicated) {
    const QString upper = folder.file(QStringLiteral("LOG.MDB"));
    logstore::createLog(upper);
    EXPECT_THROW(logstore::createLog(folder.file(QStringLiteral("log.mdb"))), dao::Error);
    EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("log.mdb"))));
}

TEST_F(LogFileTest, schemaRefusesADayThatDoesNotExist) {
    for (const char* bad : {"INSERT INTO runlog (Date) VALUES ('2024-02-30')",
                            "INSERT INTO runlog (Date) VALUES ('2023-02-29')",
                            "INSERT INTO runlog (Date) VALUES ('2024-5-1')",
                            "INSERT INTO runlog (Date) VALUES ('5/31/2024')",
                            "INSERT INTO runlog (Date) VALUES (20240531)",
                            "INSERT INTO runlog (Date) VALUES ('2024-05-31 10:00')"})
        EXPECT_EQ(plainSql(path, bad), SQLITE_CONSTRAINT) << bad;
    EXPECT_EQ(plainSql(path, "INSERT INTO runlog (Date) VALUES ('2024-02-29')"), SQLITE_OK);
}

TEST_F(LogFileTest, schemaRefusesADurationThatIsNotAWholeNumber) {
    for (const char* bad : {"INSERT INTO runlog (Time) VALUES (1.5)", "INSERT INTO runlog (Time) VALUES ('1:30')",
                            "INSERT INTO runlog (Time) VALUES ('ninety')", "INSERT INTO runlog (Time) VALUES (x'00')"})
        EXPECT_EQ(plainSql(path, bad), SQLITE_CONSTRAINT) << bad;
    EXPECT_EQ(plainSql(path, "INSERT INTO runlog (Time) VALUES ('90')"), SQLITE_OK);  // stored as 90
    EXPECT_EQ(plainSql(path, "INSERT INTO runlog (Time) VALUES (90.0)"), SQLITE_OK);
    EXPECT_EQ(plainSql(path, "INSERT INTO runlog VALUES (NULL, NULL, NULL, NULL)"), SQLITE_OK);
}

TEST_F(LogFileTest, descriptionHasNoLengthLimit) {
    auto db = dao::DBEngine().OpenDatabase(path);
    auto rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    const QString longText(5000, u'x');
    rs->addRow({{3, longText}});
    EXPECT_EQ(rs->valueAt(0, 3).toString(), longText);
}

TEST(LogPath, folderAndNameJoinAsPlainText) {
    EXPECT_EQ(logstore::logPath(QStringLiteral("/opt/pacebook")), QStringLiteral("/opt/pacebook\\Run.mdb"));
    EXPECT_EQ(logstore::logPath(QStringLiteral("/"), logstore::upperFileName()), QStringLiteral("/\\RUN.MDB"));
}

// The command a message gives for making a log: pasted into a shell, it
// runs the tool on exactly that path; the tool beside the program by its path.
TEST(NewLogCommand, namesTheToolAndQuotesThePathForAShell) {
    testsupport::TempFolder program;
    EXPECT_EQ(logstore::newLogCommand(program.path(), "/home/ann/Run.mdb"), "pacebook-newlog /home/ann/Run.mdb");
    EXPECT_EQ(logstore::newLogCommand(program.path(), "/ann's $HOME/Run.mdb"),
              "pacebook-newlog '/ann'\\''s $HOME/Run.mdb'");
    QFile tool(program.file(QStringLiteral("pacebook-newlog")));
    ASSERT_TRUE(tool.open(QIODevice::WriteOnly) && tool.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
    EXPECT_EQ(logstore::newLogCommand(program.path(), "/a/Run.mdb"), tool.fileName() + " /a/Run.mdb");
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
#include "logfixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <thread>
#include <unistd.h>

using namespace testsupport;

namespace {

class DatabaseTest : public LogTest {};

TEST_F(DatabaseTest, bothFileNameLiteralsReachTheOneFile) {
    const QString folderPath = folder.path();
    const QString upper = dao::resolveFileName(folderPath + QStringLiteral("\\RUN.MDB"));
    const QString mixed = dao::resolveFileName(folderPath + QStringLiteral("\\Run.mdb"));
    EXPECT_EQ(upper, path);
    EXPECT_EQ(mixed, path);
    addFiveRuns();
    EXPECT_EQ(dao::DBEngine().OpenDatabase(folderPath + QStringLiteral("\\RUN.MDB"))
                  ->OpenRecordset(QStringLiteral("runlog"))->RecordCount(), 5);
}

TEST_F(DatabaseTest, severalSpellingsOfTheNameStillReachOneFile) {
    QFile other(folder.file(QStringLiteral("RUN.MDB")));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();
    EXPECT_EQ(dao::resolveFileName(folder.path() + QStringLiteral("\\RUN.MDB")),
              dao::resolveFileName(folder.path() + QStringLiteral("\\Run.mdb")));
}

// Both ways the program writes the log's name reach one file: the log's own
// spelling when it is there, a stray spelling beside it notwithstanding.
TEST(FileNames, bothLiteralsReachTheLogsOwnSpellingFirst) {
    const std::pair<QStringList, QString> cases[] = {
        {{"Run.mdb", "RUN.MDB"}, "Run.mdb"}, {{"RUN.MDB", "Run.mdb", "run.mdb"}, "Run.mdb"},
        {{"RUN.MDB"}, "RUN.MDB"},            {{"run.mdb", "RUN.MDB"}, "RUN.MDB"},
    };
    for (const auto& [present, reached] : cases) {
        TempFolder dir;
        for (const QString& name : present) QFile(dir.file(name)).open(QIODevice::WriteOnly);
        for (const char* literal : {"\\RUN.MDB", "\\Run.mdb"})
            EXPECT_EQ(dao::resolveFileName(dir.path() + literal), dir.file(reached)) << present.join(' ').toStdString();
    }
}

// Only the backslashes after the folder are separators: a program folder
// whose own name holds one finds its log, even beside the folder that the
// backslash read as a separator would name.
TEST(FileNames, folderWhoseNameHoldsABackslashFindsItsLog) {
    TempFolder root;
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("my\\runs")) && QDir(root.path()).mkpath("my/runs"));
    const QString program = root.file(QStringLiteral("my\\runs")), log = program + QStringLiteral("/Run.mdb");
    logstore::createLog(log);
    for (const QString& written : {program + "\\RUN.MDB", program + "\\\\Run.mdb", log})
        EXPECT_EQ(dao::resolveFileName(written), log) << written.toStdString();
    EXPECT_EQ(dao::resolveFileName(root.file("gone\\Run.mdb")), root.file("gone/Run.mdb"));
    EXPECT_EQ(dao::DBEngine().OpenDatabase(program + "\\RUN.MDB")->OpenRecordset("runlog")->RecordCount(), 0);
}

TEST_F(DatabaseTest, doubledSeparatorOfAFolderAtTheRootIsHarmless) {
    EXPECT_EQ(dao::resolveFileName(folder.path() + QStringLiteral("\\\\RUN.MDB")), path);
    EXPECT_EQ(dao::resolveFileName(QStringLiteral("/\\tmp")), QStringLiteral("/tmp"));
    EXPECT_EQ(dao::resolveFileName(QStringLiteral("C:\\\\nowhere\\Run.mdb")), QStringLiteral("C:/nowhere/Run.mdb"));
}

TEST_F(DatabaseTest, missingFileIsReportedWithItsPathAndNotCreated) {
    const QString missing = folder.file(QStringLiteral("other\\RUN.MDB"));
    QDir(folder.path()).mkdir(QStringLiteral("other"));
    const QString text = errorText([&] { dao::DBEngine().OpenDatabase(missing); });
    EXPECT_EQ(errorNumber([&] { dao::DBEngine().OpenDatabase(missing); }), dao::err::FileNotFound);
    EXPECT_TRUE(text.contains(folder.path() + QStringLiteral("/other/RUN.MDB"))) << text.toStdString();
    EXPECT_TRUE(QDir(folder.file(QStringLiteral("other"))).isEmpty());
}

TEST_F(DatabaseTest, fileThatIsNotADatabaseIsReportedWithItsPath) {
    const QString notes = folder.file(QStringLiteral("notes.mdb"));
    QFile f(notes);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    EXPECT_EQ(errorNumber([&] { dao::DBEngine().OpenDatabase(notes); }), dao::err::NotDatabase);
    EXPECT_TRUE(errorText([&] { dao::DBEngine().OpenDatabase(notes); }).contains(notes));
    QFile empty(folder.file(QStringLiteral("empty.mdb")));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    EXPECT_EQ(errorNumber([&] { dao::DBEngine().OpenDatabase(empty.fileName()); }), dao::err::NotDatabase);
    EXPECT_EQ(QFileInfo(empty.fileName()).size(), 0);  // left as it was
}

TEST_F(DatabaseTest, writeThroughReadOnlyConnectionIsRefused) {
    addFiveRuns();
    dao::ConnectionOptions ro;
    ro.readOnly = true;
    auto db = dao::DBEngine().OpenDatabase(path, ro);
    EXPECT_EQ(errorNumber([&] { db->Execute(QStringLiteral("DELETE FROM runlog")); }), dao::err::NoPermission);
    auto rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    EXPECT_FALSE(rs->Updatable());
    EXPECT_EQ(errorNumber([&] { rs->AddNew(); }), dao::err::NotUpdatable);
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog")), 5);
}

TEST_F(DatabaseTest, writeToReadOnlyFileIsRefused) {
    addFiveRuns();
    if (geteuid() == 0) GTEST_SKIP() << "file permissions do not bind the super-user";
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    EXPECT_EQ(errorNumber([&] { open()->Execute(QStringLiteral("DELETE FROM runlog")); }), dao::err::NoPermission);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

TEST_F(DatabaseTest, fileLockedPastTheBusyTimeoutIsReported) {
    addFiveRuns();
    auto holder = open();
    sqlite3_exec(holder->handle(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    dao::ConnectionOptions quick;
    quick.busyTimeoutMs = 100;
    auto db = dao::DBEngine().OpenDatabase(path, quick);
    EXPECT_EQ(errorNumber([&] { db->Execute(QStringLiteral("UPDATE runlog SET Time = 1")); }), dao::err::FileInUse);
    auto rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);  // reading still works
    EXPECT_EQ(errorNumber([&] { rs->updateRow(0, {{1, 2}}); }), dao::err::FileInUse);
    sqlite3_exec(holder->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    rs->updateRow(0, {{1, 2}});
    EXPECT_EQ(rs->valueAt(0, 1).toLongLong(), 2);
}

// A wait for another program's lock asks the progress handler between its
// short sleeps: the window that offers Cancel shows during the wait, and a
// cancelled wait ends as cancelled, with nothing written.
TEST_F(DatabaseTest, waitForALockAsksTheProgressHandlerAndCanBeCancelled) {
    addFiveRuns();
    auto holder = open();
    sqlite3_exec(holder->handle(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    auto db = open();  // the default 5 s busy timeout
    int asked = 0;
    db->setProgressHandler([&] { return ++asked < 10; });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(errorNumber([&] { db->Execute(QStringLiteral("UPDATE runlog SET Time = 1")); }), dao::err::Cancelled);
    EXPECT_EQ(asked, 10);
    EXPECT_LT(clock.elapsed(), 2000);
    // The next wait that runs out is a lock again, not a cancel.
    db->setProgressHandler(nullptr);
    dao::ConnectionOptions quick;
    quick.busyTimeoutMs = 50;
    auto other = dao::DBEngine().OpenDatabase(path, quick);
    EXPECT_EQ(errorNumber([&] { other->Execute(QStringLiteral("UPDATE runlog SET Time = 1")); }), dao::err::FileInUse);
    sqlite3_exec(holder->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    EXPECT_EQ(db->OpenRecordset(QStringLiteral("SELECT count(*) FROM runlog WHERE Time = 1"))
                  ->Fields(0).Value().toInt(), 0);
}

// While a statement runs, its progress handler may answer the program's
// events. From inside it the connection refuses every use with its own
// error (SQLite's callbacks are not re-entrant), the statement still ends
// with the right result, another connection works, and Interrupt cancels.
TEST_F(DatabaseTest, aConnectionRefusesUseFromInsideItsRunningStatement) {
    addFiveRuns();
    auto db = open();
    auto rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    auto other = open();
    const QString copy = folder.file(QStringLiteral("copy.mdb"));
    const std::vector<std::pair<const char*, std::function<void()>>> uses = {
        {"Execute", [&] { db->Execute(QStringLiteral("UPDATE runlog SET Time = 1")); }},
        {"OpenRecordset", [&] { db->OpenRecordset(QStringLiteral("runlog")); }},
        {"CreateQueryDef", [&] { db->CreateQueryDef(QString(), QStringLiteral("select Time from runlog")); }},
        {"read a row", [&] { rs->valueAt(4, 1); }},
        {"write a row", [&] { rs->updateRow(0, {{1, 5}}); }},
        {"add a row", [&] { rs->addRow({{1, 5}}); }},
        {"Backup", [&] { db->Backup(copy); }},
        {"Close", [&] { db->Close(); }},
    };
    const QString longCount = QStringLiteral(
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 200000) SELECT count(*) FROM c");
    bool busyInside = false;
    long long otherRows = -1;
    std::vector<int> refused;
    db->setProgressHandler([&] {
        if (refused.empty()) {
            busyInside = db->isBusy();
            for (const auto& use : uses) refused.push_back(errorNumber(use.second));
            otherRows = other->OpenRecordset(QStringLiteral("select count(*) from runlog"))->Fields(0).Value().toLongLong();
        }
        return true;
    });
    EXPECT_EQ(db->OpenRecordset(longCount)->Fields(0).Value().toLongLong(), 200000);
    ASSERT_EQ(refused.size(), uses.size());
    for (size_t i = 0; i < uses.size(); ++i) EXPECT_EQ(refused[i], dao::err::ConnectionBusy) << uses[i].first;
    EXPECT_TRUE(busyInside);
    EXPECT_FALSE(db->isBusy());
    EXPECT_EQ(otherRows, 5);
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog WHERE Time IN (1, 5)")), 0);
    EXPECT_FALSE(QFileInfo::exists(copy));

    // Afterwards the connection and its set work as before.
    EXPECT_EQ(rs->valueAt(4, 1).toLongLong(), 20);
    db->Execute(QStringLiteral("UPDATE runlog SET Time = 1 WHERE Time = 10"));
    EXPECT_EQ(db->RecordsAffected(), 1);
    // Interrupt is the one thing the handler may do.
    db->setProgressHandler([&] {
        db->Interrupt();
        return true;
    });
    EXPECT_EQ(errorNumber([&] { db->OpenRecordset(longCount); }), dao::err::Cancelled);
}

TEST_F(DatabaseTest, twoConnectionsWriteAtOnce) {
    addFiveRuns();
    constexpr int kEach = 150;
    std::atomic<int> failures{0};
    auto writer = [&](int who) {
        try {
            auto db = open();
            auto rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
            for (int i = 0; i < kEach; ++i) {
                if (i % 2) {
                    rs->AddNew();
                    rs->Fields("Time").setValue(i);
                    rs->Fields("Type").setValue(QStringLiteral("w%1").arg(who));
                    rs->Update();
                } else {
                    db->Execute(QStringLiteral("INSERT INTO runlog (Time, Type) VALUES (%1, 'w%2')").arg(i).arg(who));
                }
                rs->updateRow(0, {{3, QStringLiteral("touched by %1").arg(who)}});
            }
        } catch (const dao::Error& e) {
            ADD_FAILURE() << e.what();
            ++failures;
        }
    };
    std::thread a(writer, 1), b(writer, 2);
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog WHERE Type = 'w1'")), kEach);
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog WHERE Type = 'w2'")), kEach);
}

TEST_F(DatabaseTest, executeOfRowReturningStatementIsRefused) {
    auto db = open();
    EXPECT_EQ(errorNumber([&] { db->Execute(QStringLiteral("select * from runlog")); }), dao::err::SelectNotExecutable);
    // A blank before SELECT: still a row query (the query window then opens its rows).
    EXPECT_EQ(errorNumber([&] { db->Execute(QStringLiteral(" \n select * from runlog")); }), dao::err::SelectNotExecutable);
    EXPECT_EQ(dao::description(dao::err::SelectNotExecutable), "Cannot execute a select query.");
}

TEST_F(DatabaseTest, missingTableIsReportedWhenTheStatementRuns) {
    auto db = open();
    auto qd = db->CreateQueryDef(QString(), QStringLiteral("select * from nosuch"));
    EXPECT_EQ(errorNumber([&] { qd->OpenRecordset(); }), dao::err::InputTableNotFound);
    EXPECT_TRUE(errorText([&] { qd->OpenRecordset(); }).contains(QStringLiteral("'nosuch'")));
    EXPECT_EQ(errorNumber([&] { qd->Execute(); }), dao::err::InputTableNotFound);
    EXPECT_EQ(errorNumber([&] { db->OpenRecordset(QStringLiteral("nosuch")); }), dao::err::InputTableNotFound);
    EXPECT_EQ(errorNumber([&] { db->Execute(QStringLiteral("update runlog set nosuch = 1")); }),
              dao::err::TooFewParameters);
}

TEST_F(DatabaseTest, syntaxErrorIsReportedByCreateQueryDefWithSqlitesMessage) {
    auto db = open();
    const QString text = errorText([&] { db->CreateQueryDef(QString(), QStringLiteral("selec * from runlog")); });
    EXPECT_EQ(errorNumber([&] { db->CreateQueryDef(QString(), QStringLiteral("selec * from runlog")); }),
              dao::err::SyntaxError);
    EXPECT_TRUE(text.contains(QStringLiteral("near \"selec\""))) << text.toStdString();
}

TEST_F(DatabaseTest, unknownFunctionIsReportedWhenTheStatementRuns) {
    auto db = open();
    auto qd = db->CreateQueryDef(QString(), QStringLiteral("select Zz(Time, 0) from runlog"));
    EXPECT_EQ(errorNumber([&] { qd->OpenRecordset(); }), dao::err::UndefinedFunction);
    EXPECT_TRUE(errorText([&] { qd->OpenRecordset(); }).contains(QStringLiteral("'Zz'")));
}

TEST_F(DatabaseTest, secondStatementIsRefusedAndTrailingBlanksAreNot) {
    addFiveRuns();
    auto db = open();
    EXPECT_EQ(errorNumber([&] { db->Execute(QStringLiteral("delete from runlog where Time = 10; delete from runlog")); }),
              dao::err::CharactersAfterEnd);
    EXPECT_EQ(errorNumber([&] { db->CreateQueryDef(QString(), QStringLiteral("select 1; select 2")); }),
              dao::err::CharactersAfterEnd);
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog")), 5);
    db->Execute(QStringLiteral("delete from runlog where Time = 10 ;  \n ; -- done\n"));
    EXPECT_EQ(db->RecordsAffected(), 1);
    // A semicolon inside a string is text, not the end of the statement.
    db->Execute(QStringLiteral("update runlog set Description = 'a; b' where Time = 20"));
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog WHERE Description = 'a; b'")), 1);
}

TEST_F(DatabaseTest, makeTableCreatesTheTableOnceInAnyCase) {
    addFiveRuns();
    auto db = open();
    db->CreateQueryDef(QString(), QStringLiteral("SELECT Date, Time INTO fast FROM runlog WHERE Time < 35"))->Execute();
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM fast")), 3);
    db->Execute(QStringLiteral("select * into [Long Runs] from runlog where time >= 40"));
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM \"Long Runs\"")), 2);
    EXPECT_EQ(errorNumber([&] { db->Execute(QStringLiteral("select * into FAST from runlog")); }), dao::err::TableExists);
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM fast")), 3);
    EXPECT_EQ(errorNumber([&] { db->Execute(QStringLiteral("select * into t2 from nosuch")); }),
              dao::err::InputTableNotFound);
    // Opened as rows (as the query window does after 3078), the missing table is still the report.
    EXPECT_EQ(errorNumber([&] { db->CreateQueryDef(QString(), QStringLiteral("select * into t2 from nosuch"))->OpenRecordset(); }),
              dao::err::InputTableNotFound);
    EXPECT_EQ(errorNumber([&] { db->OpenRecordset(QStringLiteral("select * into t3 from runlog")); }),
              dao::err::InvalidOperation);
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM sqlite_schema WHERE name = 't3'")), 0);
}

TEST_F(DatabaseTest, dateLiteralsBecomeIsoTextOutsideStrings) {
    addFiveRuns();
    auto db = open();
    db->Execute(QStringLiteral("delete from runlog where Date = #2024-05-02#"));
    EXPECT_EQ(db->RecordsAffected(), 1);
    db->Execute(QStringLiteral("delete from runlog where Date = #5/3/2024#"));
    EXPECT_EQ(db->RecordsAffected(), 1);
    db->Execute(QStringLiteral("update runlog set Description = '#2024-05-01#' where Date > #2024-05-04#"));
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog WHERE Description = '#2024-05-01#'")), 1);
    auto rs = db->OpenRecordset(QStringLiteral("select * from runlog where Date between #5/1/24# and #2024-05-04#"));
    EXPECT_EQ(rs->RecordCount(), 2);
    EXPECT_EQ(errorNumber([&] { db->Execute(QStringLiteral("delete from runlog where Date = #2/30/2024#")); }),
              dao::err::SyntaxError);
}

TEST_F(DatabaseTest, valueOfTheWrongTypeIsRefusedEverywhere) {
    addFiveRuns();
    auto db = open();
    EXPECT_EQ(errorNumber([&] { db->Execute(QStringLiteral("update runlog set Date = '2024-02-30'")); }),
              dao::err::DataTypeConversion);
    EXPECT_EQ(errorNumber([&] { db->Execute(QStringLiteral("update runlog set Time = 1.5")); }),
              dao::err::DataTypeConversion);
    auto rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    rs->Edit();
    rs->Fields("Time").setValue(QStringLiteral("1:30"));
    EXPECT_EQ(errorNumber([&] { rs->Update(); }), dao::err::DataTypeConversion);
    rs->CancelUpdate();
    EXPECT_EQ(errorNumber([&] { rs->updateRow(1, {{0, QStringLiteral("yesterday")}}); }), dao::err::DataTypeConversion);
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT sum(Time) FROM runlog")), 150);
    // Text that is a whole number, and a day in month/day/year form, are stored as such.
    rs->updateRow(1, {{1, QStringLiteral("45")}, {0, QStringLiteral("6/15/2024")}});
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog WHERE Time = 45 AND Date = '2024-06-15'")), 1);
}

TEST_F(DatabaseTest, fullDiskIsReportedAndChangesNothing) {
    addFiveRuns();
    auto db = open();
    sqlite3_exec(db->handle(), "PRAGMA max_page_count = 3", nullptr, nullptr, nullptr);
    EXPECT_EQ(errorNumber([&] {
                  db->Execute(QStringLiteral("insert into runlog (Description) select printf('%.5000c', 'x') "
                                             "from runlog"));
              }),
              dao::err::DiskFull);
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog")), 5);
}

TEST_F(DatabaseTest, cancelledStatementChangesNothing) {
    addFiveRuns();
    auto db = open();
    int calls = 0;
    db->setProgressHandler([&] { return ++calls < 3; });
    EXPECT_EQ(errorNumber([&] {
                  db->Execute(QStringLiteral("insert into runlog (Time) with recursive n(i) as (select 1 union all "
                                             "select i + 1 from n where i < 200000) select i from n"));
              }),
              dao::err::Cancelled);
    db->setProgressHandler({});
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog")), 5);
    db->Execute(QStringLiteral("delete from runlog where Time = 10"));  // the connection is usable again
    EXPECT_EQ(db->RecordsAffected(), 1);
}

TEST_F(DatabaseTest, transactionStatementsAreRefused) {
    auto db = open();
    EXPECT_EQ(errorNumber([&] { db->Execute(QStringLiteral("begin")); }), dao::err::Refused);
    EXPECT_EQ(errorNumber([&] { db->Execute(QStringLiteral("COMMIT")); }), dao::err::Refused);
}

TEST_F(DatabaseTest, queryDefOpensADynasetOfItsRows) {
    addFiveRuns();
    auto qd = open()->CreateQueryDef(QString(), QStringLiteral("select * from runlog where time > 45"));
    auto rs = qd->OpenRecordset();
    EXPECT_EQ(rs->Type(), dao::dbOpenDynaset);
    EXPECT_EQ(rs->RecordCount(), 1);
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM sqlite_schema WHERE type = 'view'")), 0);
}

TEST_F(DatabaseTest, everyNumberHasADescription) {
    for (int n : {dao::err::FileNotFound, dao::err::NotDatabase, dao::err::NoPermission, dao::err::FileInUse,
                  dao::err::SyntaxError, dao::err::CharactersAfterEnd, dao::err::TableExists,
                  dao::err::NoCurrentRecord, dao::err::NotUpdatable, dao::err::DataTypeConversion,
                  dao::err::DiskFull, dao::err::Cancelled, dao::err::InputTableNotFound, dao::err::RecordDeleted})
        EXPECT_FALSE(dao::description(n).isEmpty()) << n;
    const dao::Error e(dao::err::NoCurrentRecord);
    EXPECT_EQ(e.Description(), "No current record.");
    EXPECT_STREQ(e.what(), "Error 3021: No current record.");
}

}  // namespace

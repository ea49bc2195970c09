// SPDX-License-Identifier: GPL-3.0-or-later
// The guarded connection on which the statements a user types run.

#include "dao/dao.h"
#include "dao/sqlguard.h"
#include "logstore/logfile.h"
#include "support/tempdir.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>

namespace {

class GuardedConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        logstore::createLog(path);
        db = dao::DBEngine().OpenDatabase(path);
        dao::guardConnection(*db);
        db->Execute(QStringLiteral("insert into runlog values ('2024-05-01', 30, 'Long', 'easy')"));
    }

    // The error a call throws; number 0 when it throws none.
    static dao::Error errorOf(const std::function<void()>& f) {
        try {
            f();
        } catch (const dao::Error& e) {
            return e;
        }
        return dao::Error(0, QString());
    }
    // Whether the engine accepts the statement on the guarded connection.
    bool prepares(const QString& sql) const {
        sqlite3_stmt* stmt = nullptr;
        const int rc = sqlite3_prepare_v2(db->handle(), sql.toUtf8().constData(), -1, &stmt, nullptr);
        sqlite3_finalize(stmt);
        dao::takeGuardRefusal(db->handle());
        return rc == SQLITE_OK;
    }
    int config(int option) const {
        int value = -1;
        sqlite3_db_config(db->handle(), option, -1, &value);
        return value;
    }

    testsupport::TempFolder folder;
    const QString path = folder.file(QStringLiteral("Run.mdb"));
    dao::DatabasePtr db;
};

TEST_F(GuardedConnectionTest, otherFilesCannotBeAttachedOrWritten) {
    const QString other = folder.file(QStringLiteral("other.db"));
    for (const QString& sql : {QStringLiteral("attach '%1' as other").arg(other),
                               QStringLiteral("ATTACH DATABASE ':memory:' AS m"), QStringLiteral("attach '' as t"),
                               QStringLiteral("vacuum into '%1'").arg(other),
                               QStringLiteral("VACUUM main INTO '%1'").arg(other), QStringLiteral("detach main")}) {
        const dao::Error e = errorOf([&] { db->Execute(sql); });
        EXPECT_EQ(e.Number(), dao::err::Refused) << sql.toStdString();
        EXPECT_TRUE(e.Description().startsWith(QStringLiteral("The statement was refused: ")))
            << e.Description().toStdString();
    }
    EXPECT_FALSE(QFile::exists(other));
    // A plain VACUUM rebuilds the file in place and keeps every row.
    db->Execute(QStringLiteral("vacuum"));
    EXPECT_EQ(db->OpenRecordset(QStringLiteral("runlog"))->RecordCount(), 1);
}

TEST_F(GuardedConnectionTest, pragmasThatChangeTheFileAreRefusedAndReportsAreNot) {
    for (const char* sql : {"pragma writable_schema = 1", "PRAGMA journal_mode=DELETE", "pragma journal_mode = off",
                            "pragma locking_mode=EXCLUSIVE", "pragma synchronous=OFF", "pragma main.synchronous = 0",
                            "pragma user_version = 7", "pragma schema_version = 1", "pragma optimize",
                            "pragma incremental_vacuum", "pragma wal_checkpoint(TRUNCATE)", "pragma writable_schema",
                            "pragma ignore_check_constraints = 1", "pragma cell_size_check = off",
                            "pragma trusted_schema = 1", "pragma mmap_size = 1000000"})
        EXPECT_FALSE(prepares(QString::fromUtf8(sql))) << sql;
    for (const char* sql : {"pragma table_info(runlog)", "PRAGMA index_list('runlog')", "pragma integrity_check",
                            "pragma quick_check", "pragma journal_mode", "pragma user_version", "pragma page_count",
                            "select * from pragma_table_info('runlog')", "pragma data_version"})
        EXPECT_TRUE(prepares(QString::fromUtf8(sql))) << sql;
    const dao::Error e = errorOf([&] { db->Execute(QStringLiteral("PRAGMA synchronous = OFF")); });
    EXPECT_EQ(e.Number(), dao::err::Refused);
    EXPECT_TRUE(e.Description().contains(QStringLiteral("synchronous"))) << e.Description().toStdString();
}

TEST_F(GuardedConnectionTest, theSchemaIsProtectedAndExtensionsCannotBeLoaded) {
    EXPECT_EQ(config(SQLITE_DBCONFIG_DEFENSIVE), 1);
    EXPECT_EQ(config(SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION), 0);
    EXPECT_EQ(config(SQLITE_DBCONFIG_TRUSTED_SCHEMA), 0);
    EXPECT_NE(errorOf([&] { db->Execute(QStringLiteral("update sqlite_schema set sql = 'x'")); }).Number(), 0);
    EXPECT_NE(errorOf([&] { db->Execute(QStringLiteral("delete from sqlite_master")); }).Number(), 0);
    EXPECT_EQ(errorOf([&] { db->OpenRecordset(QStringLiteral("select load_extension('/lib/x.so')")); }).Number(),
              dao::err::Refused);
    // The log is whole and still usable.
    EXPECT_EQ(db->OpenRecordset(QStringLiteral("runlog"))->RecordCount(), 1);
}

TEST_F(GuardedConnectionTest, oversizedStatementsValuesAndExpressionsFailCleanly) {
    // Too long, or cut short by a NUL: refused before the engine sees it.
    const QString longText = QStringLiteral("select '%1'").arg(QString(dao::guard::kMaxStatementBytes, u'x'));
    EXPECT_EQ(errorOf([&] { dao::checkStatementText(longText); }).Number(), dao::err::Refused);
    const QString hidden = QStringLiteral("delete from runlog") + QChar(0) + QStringLiteral(" where Time > 1000");
    EXPECT_EQ(errorOf([&] { dao::checkStatementText(hidden); }).Number(), dao::err::Refused);
    EXPECT_EQ(errorOf([&] { dao::checkStatementText(QStringLiteral("select 'caf\u00e9'\n\t")); }).Number(), 0);

    // The engine's own limits, whatever reaches it.
    EXPECT_NE(errorOf([&] { db->Execute(longText.left(dao::guard::kMaxStatementBytes + 20)); }).Number(), 0);
    EXPECT_NE(errorOf([&] { db->OpenRecordset(QStringLiteral("select zeroblob(20000000)")); }).Number(), 0);
    EXPECT_NE(errorOf([&] { db->Execute(QStringLiteral("update runlog set Description = zeroblob(17000000)")); })
                  .Number(),
              0);
    const int depth = dao::guard::kMaxExpressionDepth + 50;
    EXPECT_NE(errorOf([&] {
                  db->OpenRecordset(QStringLiteral("select %1 1 %2").arg(QString(depth, u'('), QString(depth, u')')));
              }).Number(),
              0);
    QString unions = QStringLiteral("select 1");
    for (int i = 0; i < dao::guard::kMaxCompoundSelect + 10; ++i) unions += QStringLiteral(" union all select 1");
    EXPECT_NE(errorOf([&] { db->OpenRecordset(unions); }).Number(), 0);
    EXPECT_EQ(db->OpenRecordset(QStringLiteral("select Description from runlog"))->Fields(0).Value().toString(),
              QStringLiteral("easy"));
}

// printf() on the guarded connection gives what the engine's own gives,
// but a result past the value limit (here cut to 200 bytes) is an error,
// never NULL or an empty value.
TEST_F(GuardedConnectionTest, printfGivesTheEnginesResultOrFailsAsTooBig) {
    constexpr int kLimit = 200;
    sqlite3_limit(db->handle(), SQLITE_LIMIT_LENGTH, kLimit);
    sqlite3* plain = nullptr;  // the engine's own printf(), without a limit that matters here
    ASSERT_EQ(sqlite3_open(":memory:", &plain), SQLITE_OK);
    struct Result {
        int rc = 0;
        int type = 0;
        QByteArray bytes;
    };
    const auto run = [](sqlite3* on, const QString& sql) {
        Result r;
        sqlite3_stmt* stmt = nullptr;
        r.rc = sqlite3_prepare_v2(on, sql.toUtf8().constData(), -1, &stmt, nullptr);
        if (r.rc == SQLITE_OK && (r.rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            r.type = sqlite3_column_type(stmt, 0);
            r.bytes = QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, 0)), sqlite3_column_bytes(stmt, 0));
        }
        sqlite3_finalize(stmt);
        return r;
    };
    const QString n150 = QStringLiteral("'%1'").arg(QString(150, u'n'));
    for (const char* args : {
             "'%d|%5.2f|%s|%q|%Q|%w|%x|%o|%e|%g|%c', 42, 3.14159, 'abc', 'it''s', NULL, 'x\"y', 255, 8, 1e5, 0.5, 'zy'",
             "'%-10s|%10s|%.2s|%!.2s', 'ab', 'cd', 'efgh', '\u00e9\u00e8\u00e0'", "'%,d %,lld %+d % d', 1234567, -9876543210, 5, 6",
             "'%*d', 199, 7", "'%*d', 200, 7", "'%*d', 201, 7", "'%-*d|', -50, 1", "'%*.*d', 8, 5, 42",
             "'%.*c', 200, 'x'", "'%.*c', 201, 'x'", "'%.60c', '\u00e9'", "'%.120c', '\u00e9'", "'%.*c%s', -5, 'x', 'tail'",
             "'%.3c', NULL", "'%0*d', 12, 5", "'%5%|%-5%|'", "'%n%d', 9", "'%lld %llx %lu', 1e15, 255, 7",
             "'%s%s'", "'%s%s', 'a'", "'%s', NULL", "'%d %d %d', 1", "'a%'", "'a%5'", "'a%5Tb'", "'a%yb'", "''", "NULL",
             "''", "'%s'", "'x%%y'", "12345", "x'41256442', 7",
         }) {
        for (const QString& fn : {QStringLiteral("printf"), QStringLiteral("format")}) {
            const QString sql = QStringLiteral("select %1(%2)").arg(fn, QString::fromUtf8(args));
            const Result want = run(plain, sql);
            const Result got = run(db->handle(), sql);
            ASSERT_EQ(want.rc, SQLITE_ROW) << sql.toStdString();
            if (want.bytes.size() > kLimit) {
                EXPECT_EQ(got.rc, SQLITE_TOOBIG) << sql.toStdString() << " gave " << got.bytes.size() << " bytes";
            } else {
                EXPECT_EQ(got.rc, SQLITE_ROW) << sql.toStdString() << ": " << sqlite3_errmsg(db->handle());
                EXPECT_EQ(got.type, want.type) << sql.toStdString();
                EXPECT_EQ(got.bytes, want.bytes) << sql.toStdString();
            }
        }
    }
    // Longer than the limit only when put together, and inside another call.
    for (const QString& sql : {QStringLiteral("select printf('%s%s', %1, %1)").arg(n150),
                               QStringLiteral("select coalesce(printf('%1000d', 1), 'fallback')"),
                               QStringLiteral("select length(printf('%.*c', 5e9, 'x'))")}) {
        EXPECT_EQ(run(db->handle(), sql).rc, SQLITE_TOOBIG) << sql.toStdString();
    }
    sqlite3_close(plain);

    // At the guard's own limit: a clear error from the data layer, at once
    // (the engine's printf() took seconds to give an empty value here).
    sqlite3_limit(db->handle(), SQLITE_LIMIT_LENGTH, dao::guard::kMaxValueBytes);
    QElapsedTimer clock;
    clock.start();
    const dao::Error e = errorOf([&] { db->OpenRecordset(QStringLiteral("select printf('%.*c', 1e9, 'x')")); });
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(e.Number(), dao::err::DataTypeConversion);
    EXPECT_TRUE(e.Description().contains(QString::number(dao::guard::kMaxValueBytes))) << e.Description().toStdString();
    EXPECT_EQ(db->OpenRecordset(QStringLiteral("select printf('%d runs', count(*)) from runlog"))->Fields(0).Value(),
              QStringLiteral("1 runs"));
}

TEST_F(GuardedConnectionTest, aTransactionLeftOpenIsRolledBackAndReleasesTheFile) {
    EXPECT_FALSE(dao::rollbackOpenTransaction(*db));
    ASSERT_EQ(sqlite3_exec(db->handle(), "BEGIN IMMEDIATE; DELETE FROM runlog;", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_TRUE(dao::rollbackOpenTransaction(*db));
    EXPECT_TRUE(sqlite3_get_autocommit(db->handle()));
    // Another connection can write at once, and the deleted row is back.
    auto other = dao::DBEngine().OpenDatabase(path, {.busyTimeoutMs = 0});
    other->Execute(QStringLiteral("insert into runlog values ('2024-05-02', 45, 'Tempo', 'hard')"));
    EXPECT_EQ(other->OpenRecordset(QStringLiteral("runlog"))->RecordCount(), 2);
}

TEST_F(GuardedConnectionTest, onlyTheGuardedConnectionIsGuardedAndTheGuardGoesWithIt) {
    auto plain = dao::DBEngine().OpenDatabase(path);
    EXPECT_FALSE(dao::isGuarded(plain->handle()));
    sqlite3* raw = db->handle();
    EXPECT_TRUE(dao::isGuarded(raw));
    dao::guardConnection(*db);  // again: nothing changes
    db->Close();
    EXPECT_FALSE(dao::isGuarded(raw));
    // A refusal's reason never leaks into another connection's errors.
    EXPECT_TRUE(dao::takeGuardRefusal(plain->handle()).isEmpty());
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// Several windows of one program, each with its own connection: an open
// record set never holds up a save elsewhere, and every change begins its
// transaction as a writer.

#include "child.h"
#include "logcheck.h"

#include "dao/dao.h"
#include "logstore/logfile.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace testsupport;

namespace {

class WindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        log = dir.file(QStringLiteral("Run.mdb"));
        createLogOfRuns(log, 1000);
    }

    // A window that must not wait: a busy timeout of 0 turns any lock it
    // meets into an immediate error.
    dao::DatabasePtr impatient() {
        dao::ConnectionOptions o;
        o.busyTimeoutMs = 0;
        return dao::DBEngine().OpenDatabase(log, o);
    }

    static bool stepping(dao::Database& db) {
        for (sqlite3_stmt* s = sqlite3_next_stmt(db.handle(), nullptr); s; s = sqlite3_next_stmt(db.handle(), s))
            if (sqlite3_stmt_busy(s)) return true;
        return sqlite3_get_autocommit(db.handle()) == 0;
    }

    FastFolder dir;
    QString log;
};

TEST_F(WindowsTest, openRecordSetNeverBlocksASaveInAnotherWindow) {
    auto grid = impatient();
    auto rs = grid->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    rs->MoveNext();
    (void)rs->Fields(QStringLiteral("Time")).Value();
    (void)rs->valueAt(700, 1);
    auto sorted = [&] {
        rs->setSort(QStringLiteral("[Time] desc"));
        return rs->OpenRecordset();
    }();
    (void)sorted->Fields(0).Value();
    auto query = grid->CreateQueryDef(QString(), QStringLiteral("select * from runlog where time > 45"))->OpenRecordset();
    (void)query->valueAt(10, 3);
    EXPECT_FALSE(stepping(*grid)) << "a statement was left running";

    auto entry = impatient();
    auto form = entry->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    (void)form->Fields(QStringLiteral("Type")).Value();
    // The entry form stores a new entry and changes one; the query window
    // runs an action; all while the grid's sets stay open.
    form->AddNew();
    form->Fields(QStringLiteral("Time")).setValue(5000);
    EXPECT_NO_THROW(form->Update());
    EXPECT_NO_THROW(form->updateRow(3, {{2, QStringLiteral("Tempo")}}));
    auto other = impatient();
    EXPECT_NO_THROW(other->Execute(QStringLiteral("UPDATE runlog SET Type = 'Race' WHERE Time = 10")));
    // And the other way round: the grid saves while the form's set is open.
    EXPECT_NO_THROW(rs->updateRow(0, {{3, QStringLiteral("edited in the grid")}}));
    EXPECT_FALSE(stepping(*entry));
    EXPECT_FALSE(stepping(*grid));

    rs->Requery();
    EXPECT_EQ(rs->RecordCount(), 1001);
    EXPECT_EQ(LogReader(log).number(QStringLiteral("SELECT count(*) FROM runlog WHERE Type IN ('Tempo', 'Race')")), 2);
}

TEST_F(WindowsTest, everyChangeBeginsAsAWriterSoAnOlderReadNeverFailsIt) {
    auto db = dao::DBEngine().OpenDatabase(log);
    QStringList begins;
    sqlite3_trace_v2(
        db->handle(), SQLITE_TRACE_STMT,
        [](unsigned, void* list, void* stmt, void*) {
            const QString sql = QString::fromUtf8(sqlite3_sql(static_cast<sqlite3_stmt*>(stmt)));
            if (sql.startsWith(QLatin1String("BEGIN"), Qt::CaseInsensitive))
                static_cast<QStringList*>(list)->append(sql);
            return 0;
        },
        &begins);
    auto rs = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    (void)rs->valueAt(500, 1);  // reads a page in a read transaction
    // Another program commits in between.
    LogReader(log).text("UPDATE runlog SET Description = 'elsewhere' WHERE Time = 1");
    rs->Edit();
    rs->Fields(QStringLiteral("Type")).setValue(QStringLiteral("Fartlek"));
    EXPECT_NO_THROW(rs->Update());
    rs->AddNew();
    rs->Fields(QStringLiteral("Time")).setValue(77);
    EXPECT_NO_THROW(rs->Update());
    rs->MoveLast();
    EXPECT_NO_THROW(rs->Delete());
    EXPECT_NO_THROW(db->Execute(QStringLiteral("UPDATE runlog SET Time = Time + 1 WHERE Time > 990")));
    sqlite3_trace_v2(db->handle(), 0, nullptr, nullptr);
    QStringList writes = begins.filter(QStringLiteral("IMMEDIATE"), Qt::CaseInsensitive);
    EXPECT_EQ(writes.size(), 4) << begins.join(QStringLiteral("; ")).toStdString();
}

}  // namespace

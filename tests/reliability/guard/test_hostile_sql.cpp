// SPDX-License-Identifier: GPL-3.0-or-later
// Malformed and hostile statements typed into the query window and run with
// "&Execute": each run ends quickly (an endless one within moments of
// Cancel), says what went wrong, leaves the program working and the log as
// it was, unless the statement was a valid action.

#include "forms/query/frmQuerys.h"

#include "app/Module1.h"
#include "dao/sqlguard.h"
#include "forms/grid/frmDataGrid.h"
#include "logstore/logfile.h"
#include "support/deadline.h"
#include "support/gui/folders.h"
#include "support/gui/msgboxes.h"
#include "support/gui/windows.h"
#include "support/runlog.h"
#include "support/tempdir.h"
#include "ui/form.h"
#include "ui/screen.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <iostream>
#include <vector>

namespace {

using testsupport::TempFolder;

// How each statement must end.
enum class Outcome {
    Message,  // one message box, no grid window
    Rows,     // a grid window, no message
    Either,   // a message or a grid window, not both
    Action,   // no message; it may change the file
    Endless,  // runs until the user cancels; then no grid, and a message that it stopped
};

struct Case {
    QString sql;
    Outcome outcome;
};

QString repeat(const QString& text, int times) {
    QString s;
    for (int i = 0; i < times; ++i) s += text;
    return s;
}

const QString kEndlessRows = QStringLiteral("with recursive c(x) as (select 1 union all select x + 1 from c) ");

std::vector<Case> hostileStatements() {
    std::vector<Case> cases;
    auto add = [&](Outcome o, std::initializer_list<QString> sqls) {
        for (const QString& s : sqls) cases.push_back({s, o});
    };
    using O = Outcome;

    // Syntax errors and statements cut short.
    add(O::Message,
        {"selec * from runlog", "select * form runlog", "select * from", "select (", "select )", "select ,",
         "update runlog set", "update runlog set Time =", "delete runlog where", "delete from runlog where",
         "insert into runlog values(", "insert into runlog values ('2024-01-01', 1, 'a')x",
         "select * from runlog where", "select * from runlog order", "select * from runlog group",
         "select * from runlog limit", "select * from (select", "with x as select 1", "select case when",
         "select cast(1 as", "select 1 +", "create table", "create table (x)", "drop", "drop table",
         "alter table runlog", "alter table runlog add", "select * from runlog where Time >> > 3",
         "select * from runlog where Time between", "select * from runlog where Time in (", "select 1 2 3",
         "update update set set", "select * from runlog runlog runlog", "insert runlog", "values", "values(",
         "select 1 from runlog where exists", "select distinct distinct * from runlog", "select * from runlog,",
         "select * from runlog join", "explain", "reindex (", "create index on runlog(Time)", "x", "42", "*", ";x",
         "select \\ from runlog", "select @ from runlog", "select * from runlog where Type = 'x' or"});

    // Tables, fields and functions that do not exist.
    add(O::Message,
        {"select * from nolog", "select nofield from runlog", "update runlog set nofield = 1", "delete from nolog",
         "insert into runlog(nofield) values(1)", "select * from runlog where nofield = 1",
         "select * from runlog order by nofield", "select runlog.x from runlog",
         "select * from runlog r join nolog n on r.Date = n.Date", "drop table nolog", "drop view nolog",
         "drop index noindex", "select nofunc(1) from runlog", "update runlog set Time = nofunc(Time)",
         "select * from main.nolog", "select * from other.runlog", "insert into nolog values(1)",
         "select * from [run log]", "select * from \"runlog\"\"\"", "select Time from runlog where Date = nofunc()",
         "update runlog set Time = (select x from nolog)", "delete from runlog where Time in (select y from nolog)",
         "alter table nolog add column x", "alter table runlog rename column nofield to x",
         "select * from temp.runlog", "select sqlite_nofunc()", "create index i on nolog(x)",
         "select * from runlog where Type = nofield"});

    // Huge literals, values and expressions.
    const int over = dao::guard::kMaxStatementBytes + 100;
    add(O::Message,
        {"select '" + QString(over, u'x') + "'", "select x'" + QString(over + (over % 2), u'a') + "'",
         "select 1" + QString(over, u' '), "update runlog set Description = '" + QString(over, u'y') + "'",
         "select * from runlog where Type = '" + QString(over / 2, u'\u00e9') + "'",
         "select zeroblob(100000000)", "select randomblob(20000000)", "select zeroblob(1e12)",
         "update runlog set Description = zeroblob(20000000)",
         "insert into runlog values ('2024-01-01', 1, 'x', randomblob(17000000))",
         "select replace(hex(zeroblob(9000000)), '0', 'ab')",
         // A printf() result too large to hold: an error, never an empty value.
         "select printf('%.*c', 1e9, 'x')", "select format('%.*c', 5e9, 'xyz')", "select printf('%1000000000d', 1)",
         "select coalesce(printf('%s%s', hex(zeroblob(4500000)), hex(zeroblob(4500000))), 'fallback')",
         "select printf('" + repeat("%.15000000c", 40) + "', 'x')",
         "select group_concat(zeroblob(1000000)) from (" +
             kEndlessRows + "select x from c limit 20)",
         "select " + QString(300, u'(') + "1" + QString(300, u')'), "select " + repeat("1 + ", 400) + "1",
         "select * from runlog where " + repeat("Time > 0 and ", 400) + "1",
         "select 1" + repeat(" union all select 1", 200), "select * from runlog" + repeat(" union select * from runlog", 150),
         "select ?1000", "select abs(-9223372036854775808)", "select " + QString(200000, u'9') + "x"});
    add(O::Rows, {"select " + QString(500, u'9'), "select 1e999999, -1e999999", "select 9223372036854775807 + 1",
                  "select * from runlog where Time in (" + repeat("1, ", 3000) + "2)", "select 1/0, 1 % 0"});

    // Endless or far too long: the user cancels.
    add(O::Endless,
        {kEndlessRows + "select x from c", kEndlessRows + "select count(*) from c",
         kEndlessRows + "select x from c where x < 0",
         "select count(*) from runlog a, runlog b, runlog c, runlog d, runlog e, runlog f, runlog g",
         "update runlog set Time = Time + 1 where (" + kEndlessRows + "select count(*) from c) > 0",
         "delete from runlog where exists (" + kEndlessRows + "select x from c where x < 0)",
         "insert into runlog select * from runlog where (" + kEndlessRows + "select max(x) from c) > 0",
         " " + kEndlessRows + "select sum(x) from c"});

    // Refused by the guard: other files, extensions, unsafe pragmas, and
    // transactions of the user's own.
    add(O::Message,
        {"attach 'x.db' as x", "ATTACH DATABASE '/tmp/pacebook-evil.db' AS evil", "attach ':memory:' as m",
         "attach '' as e", "attach 'file:x?mode=memory' as m", "detach main", "detach x", "vacuum into 'copy.db'",
         "VACUUM main INTO '/tmp/pacebook-copy.db'", "pragma writable_schema=1", "PRAGMA writable_schema = ON",
         "pragma journal_mode=delete", "pragma journal_mode = OFF", "pragma main.journal_mode = memory",
         "pragma locking_mode=exclusive", "pragma synchronous=off", "pragma synchronous = 0",
         "pragma main.synchronous=OFF", "pragma schema_version=1", "pragma user_version=5",
         "pragma application_id=1", "pragma secure_delete=0", "pragma foreign_keys=off", "pragma optimize",
         "pragma incremental_vacuum", "pragma wal_checkpoint(TRUNCATE)", "pragma shrink_memory",
         "pragma temp_store_directory='/tmp'", "pragma mmap_size=1000000", "pragma page_size=512",
         "pragma auto_vacuum=1", "pragma max_page_count=1", "pragma case_sensitive_like=1",
         "pragma ignore_check_constraints=1", "pragma trusted_schema=1", "pragma recursive_triggers=1",
         "pragma legacy_alter_table=1", "pragma cell_size_check=0", "pragma writable_schema",
         "select load_extension('/tmp/x.so')", "select load_extension('libc.so.6', 'system')",
         "select * from runlog where load_extension('x') is null", "begin", "begin immediate", "BEGIN EXCLUSIVE TRANSACTION",
         "commit", "rollback", "end", "savepoint a", "release a", "rollback to a",
         "update sqlite_master set sql = 'x'", "delete from sqlite_schema", "drop table sqlite_master",
         "insert into sqlite_master values('table', 'x', 'x', 0, 'create table x(a)')",
         "create table sqlite_x(a)"});

    // Several statements in one text.
    add(O::Message,
        {"select 1; select 2", "update runlog set Time = 0; delete from runlog",
         "select * from runlog; drop table runlog", "select * from runlog;drop table runlog;", "select 1;;select 2",
         "insert into runlog values('2024-01-01', 1, 'a', 'b'); insert into runlog values('2024-01-02', 1, 'a', 'b')",
         "select ';'; drop table runlog", "select \"a;b\" from runlog; delete from runlog",
         "/* ; */ select 1; delete from runlog", "select 1 -- ;\n; delete from runlog",
         "select [a;b] from runlog; delete from runlog", "select `x;` from runlog; delete from runlog",
         "attach 'x' as y; select 1", "begin; delete from runlog; commit", "select 1\n;\ndelete from runlog",
         "delete from runlog where 0; drop table runlog", "select * from runlog where Type = ''; drop table runlog; --'",
         "select 'a'';'; delete from runlog"});

    // Every kind of quoting.
    add(O::Rows,
        {"select 'it''s' from runlog", "select \"Type\" from runlog", "select [Type] from runlog",
         "select `Type` from runlog", "select * from runlog where Description = 'a\\' or 1=1 --'",
         "select * from runlog where Type = '' or ''=''", "select * from \"runlog\"", "select * from [runlog]",
         "select * from `runlog`", "select \"Ty\"\"pe\" from (select 1 as \"Ty\"\"pe\")",
         "select 'a\"b`c[d]e' from runlog",
         "select * from runlog where Date = #1/1/2024#", "select * from runlog where Date > #2023-12-31#"});
    add(O::Message,
        {"select 'it's' from runlog", "select \"Typ from runlog", "select [Type from runlog",
         "select `Type from runlog", "'", "\"", "[", "`", "''", "\"\"", "[]", "``", "select 'abc",
         "select * from runlog where Type = 'x", "select \"a\"\"", "select * from `runlog``",
         "select #2024-02-30# from runlog", "select #abc#", "select # from runlog", "select #1/1/2024 from runlog",
         "select N'abc'", "select * from runlog where Type = \u2018Long\u2019", "select [a]b] from runlog", "select [a]]b] from (select 1 as [a]]b])"});
    add(O::Either, {"select * from runlog where Type = \"Long\"", "select ?", "select :a, @b, $c",
                    "select E'abc'", "select $1"});

    // Comments.
    add(O::Message, {"/* unterminated", "-- only a comment", "/* */", "/**/;",
                     "--\n--\n", "select * /* from runlog */", "/* select * from runlog */ drop",
                     "select -- comment\n from runlog", "select /* a */ /* b */"});
    add(O::Rows, {"select 1 /* unterminated", "select /* x */ * from runlog", "--\nselect * from runlog", "/* a */ select * from runlog -- b",
                  "select * from runlog -- ; delete from runlog", "select * from runlog /* ; drop table runlog */"});

    // Unicode.
    add(O::Rows, {"select '\u00fcn\u00efc\u00f6d\u00e9' from runlog", "select * from runlog where Type = '\u65e5\u672c\u8a9e'",
                  "select '\U0001F600'", "select '\u202e' || Type from runlog", "select * from runlog where Type = 'a\u0301'",
                  "select length('\U0001F3C3\u200d\u2640\ufe0f')"});
    add(O::Message, {"select * from r\u00fcnlog", "\uff53\uff45\uff4c\uff45\uff43\uff54 * from runlog",
                     "select\u200b * from runlog",
                     "select [\u00e9] from runlog", "select * from runlog where \u0422ime > 1",
                     "update runlog set \u03a4ime = 1", "select \U0001F600 from runlog", "select '\U0001F600"});
    // The text box keeps a no-break space as a blank, and drops a byte-order mark.
    add(O::Either, {"select\u00a0* from runlog", "\ufeffselect * from runlog"});
    add(O::Either, {"select '" + QString(QChar(0xd800)) + "'", "select '" + QString(QChar(0xdfff)) + "' from runlog"});

    // NULs: the engine would stop reading at one.
    const QString nul(QChar(0));
    add(O::Message, {"select 1" + nul, "delete from runlog" + nul + " where Time > 1000", nul,
                     "select '" + nul + "'", "update runlog set Time = 0" + nul + " where 0",
                     nul + "select * from runlog", "select * from runlog where Type = '" + nul + "' or 1"});

    // Very long names.
    add(O::Message, {"select * from " + QString(10000, u'a'), "select " + QString(100000, u'b') + " from runlog",
                     "update runlog set [" + QString(50000, u'f') + "] = 1",
                     "select * from runlog where " + QString(60000, u'g') + " = 1"});
    // A name in double quotes that is no field is taken as text.
    add(O::Rows, {"select \"" + QString(200000, u'e') + "\" from runlog", "select * from runlog as " + QString(50000, u'c'), "select 1 as \"" + QString(60000, u'h') + "\""});

    // Control characters.
    add(O::Rows, {"select\t*\tfrom\trunlog", "select\r\n*\r\nfrom runlog", "select * from runlog\n\n\n",
                  "select * from runlog where Type <> '\x01\x02\x1b'"});
    add(O::Message, {"select\x01 * from runlog", "select\x1b[31m * from runlog", "\x7f", "select * from runlog\x0c\x0c,"});

    // Reports the user may read, and harmless actions.
    add(O::Either, {"pragma table_info(runlog)", "pragma integrity_check", "pragma journal_mode",
                    "select * from pragma_table_info('runlog')", "select * from sqlite_master",
                    "select * from json_each('[1,2,3]')", "select sqlite_version()"});
    add(O::Action, {"update runlog set Time = Time where 0", "delete from runlog where 0",
                    "insert into runlog select * from runlog where 0", "vacuum", "reindex",
                    "update runlog set Type = Type where Type = 'nothing of that kind'"});
    return cases;
}

// The log's content: every row in order, and the schema.
QByteArray contentHash(const QString& file) {
    sqlite3* db = nullptr;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        for (const char* sql : {"select quote(Date), quote(Time), quote(Type), quote(Description) from runlog "
                                "order by rowid",
                                "select type, name, sql from sqlite_schema order by name"}) {
            sqlite3_stmt* stmt = nullptr;
            if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
                hash.addData("unreadable");
                continue;
            }
            while (sqlite3_step(stmt) == SQLITE_ROW)
                for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                    const unsigned char* text = sqlite3_column_text(stmt, i);
                    hash.addData(QByteArray(text ? reinterpret_cast<const char*>(text) : "<null>"));
                    hash.addData("|");
                }
            sqlite3_finalize(stmt);
        }
    }
    sqlite3_close(db);
    return hash.result();
}

long long peakMemoryKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

class HostileSqlTest : public ::testing::Test {
protected:
    void SetUp() override {
        Module1::resetSharedState();
        testlog::create(file, 20, {.time = "10 + i", .type = "CASE i % 2 WHEN 0 THEN 'Long' ELSE 'Tempo' END"});
        Module1::sDatabasePath = folder.path() + QStringLiteral("\\RUN.MDB");
    }

    static std::vector<frmDataGrid*> grids() {
        std::vector<frmDataGrid*> found;
        for (int i = 0; i < ui::Forms::Count(); ++i)
            if (auto* g = qobject_cast<frmDataGrid*>(ui::Forms::Item(i))) found.push_back(g);
        return found;
    }
    static void closeGrids() {
        for (frmDataGrid* g : grids()) g->Unload();
        testsupport::processDeletes();
    }

    testsupport::FreshSettings settingsStore;
    TempFolder folder;
    const QString file = folder.file(QStringLiteral("Run.mdb"));
    testsupport::MsgBoxRecorder recorder;
};

const char* nameOf(Outcome o) {
    switch (o) {
    case Outcome::Message: return "a message";
    case Outcome::Rows: return "a grid";
    case Outcome::Either: return "a message or a grid";
    case Outcome::Action: return "no message";
    case Outcome::Endless: return "a cancel";
    }
    return "?";
}

TEST_F(HostileSqlTest, everyStatementEndsPromptlyAndLeavesTheLogAsItWas) {
    const std::vector<Case> cases = hostileStatements();
    ASSERT_GE(cases.size(), 200u);

    auto* f = new frmQuerys();
    f->Load();
    f->Show();
    f->optmysql->click();
    // Wrapping one unbroken line of a megabyte takes the text box most of a
    // minute; what is tested here is the run.
    f->txtSQLStatement->setLineWrapMode(QPlainTextEdit::NoWrap);

    // Cancels a run once the "still running" window shows: at once for an
    // endless statement, after two seconds (a failure) for any other.
    QElapsedTimer sinceClick;
    qint64 cancelledAt = -1;
    bool endless = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (cancelledAt >= 0 || (!endless && sinceClick.elapsed() < 2000)) return;
        QWidget* dlg = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("frmRunning") && w->isVisible()) dlg = w;
        if (!dlg) return;
        cancelledAt = sinceClick.elapsed();
        QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    });
    watcher.start(20);

    qint64 slowestMessage = 0, slowestCancel = 0;
    int messages = 0, rows = 0, cancels = 0;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const std::string label = "case " + std::to_string(i) + " (" + nameOf(c.outcome) + "): " +
                                  c.sql.left(120).toUtf8().toStdString();
        f->txtSQLStatement->setPlainText(c.sql);
        const QString shown = f->txtSQLStatement->toPlainText();  // as the text box keeps it
        const QByteArray before = contentHash(file);
        recorder.clear();
        endless = c.outcome == Outcome::Endless;
        cancelledAt = -1;
        sinceClick.start();
        {
            // An endless case whose "still running" window never showed would never end.
            const testsupport::Deadline bound(std::chrono::seconds(60), label);
            f->cmdExecuteSQL_Click();
        }
        const qint64 took = sinceClick.elapsed();

        const int boxes = recorder.count();
        const size_t grids = HostileSqlTest::grids().size();
        if (c.outcome == Outcome::Endless) {
            EXPECT_GE(cancelledAt, 0) << label;
            EXPECT_LE(took - cancelledAt, 2000) << label;
            EXPECT_EQ(boxes, 1) << label;
            EXPECT_EQ(grids, 0u) << label;
            slowestCancel = std::max(slowestCancel, took - cancelledAt);
            ++cancels;
        } else {
            EXPECT_EQ(cancelledAt, -1) << label << " ran " << took << " ms";
            EXPECT_LE(took, 2000) << label;
            if (boxes > 0) slowestMessage = std::max(slowestMessage, took);
        }
        EXPECT_LE(boxes, 1) << label;
        if (boxes == 1) ++messages;
        if (grids > 0) ++rows;
        switch (c.outcome) {
        case Outcome::Message:
            EXPECT_EQ(boxes, 1) << label;
            EXPECT_EQ(grids, 0u) << label;
            break;
        case Outcome::Rows:
            EXPECT_EQ(boxes, 0) << label << "\n  said: " << recorder.prompts().join(u'|').toStdString();
            EXPECT_EQ(grids, 1u) << label;
            break;
        case Outcome::Either:
            EXPECT_EQ(boxes + int(grids), 1) << label;
            break;
        case Outcome::Action:
            EXPECT_EQ(boxes, 0) << label << "\n  said: " << recorder.prompts().join(u'|').toStdString();
            EXPECT_EQ(grids, 0u) << label;
            break;
        case Outcome::Endless:
            break;  // one message that it stopped, no grid: checked above
        }
        if (c.outcome != Outcome::Action) EXPECT_EQ(contentHash(file), before) << label;
        // The program goes on: the window is ready for the next statement.
        EXPECT_TRUE(f->isLoaded()) << label;
        EXPECT_EQ(ui::Screen::MousePointer(), ui::Screen::vbDefault) << label;
        EXPECT_EQ(f->txtSQLStatement->toPlainText(), shown) << label;
        closeGrids();
    }
    watcher.stop();

    // The log is whole and the window still shows it.
    f->optdefsql->click();
    recorder.clear();
    f->cmdExecuteSQL_Click();
    EXPECT_EQ(recorder.count(), 0);
    ASSERT_EQ(grids().size(), 1u);
    EXPECT_EQ(QFile::exists(QStringLiteral("/tmp/pacebook-evil.db")), false);
    EXPECT_EQ(QFile::exists(QStringLiteral("/tmp/pacebook-copy.db")), false);

    std::cout << "[ figures  ] " << cases.size() << " statements: " << messages << " messages, " << rows
              << " grids, " << cancels << " cancelled; slowest message " << slowestMessage
              << " ms after the click; slowest end " << slowestCancel << " ms after Cancel; peak memory "
              << peakMemoryKb() / 1024 << " MB\n";
}

}  // namespace

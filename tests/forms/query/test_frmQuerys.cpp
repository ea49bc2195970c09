// SPDX-License-Identifier: GPL-3.0-or-later
// The query window: its modes, size and remembered position, and statements
// run end to end through "&Execute".

#include "forms/query/frmQuerys.h"

#include "app/Module1.h"
#include "app/frmMain.h"
#include "controls/datacontrol.h"
#include "controls/datagrid.h"
#include "dao/dao.h"
#include "forms/grid/frmDataGrid.h"
#include "settings/settings.h"
#include "logstore/backup.h"
#include "logstore/logfile.h"
#include "support/deadline.h"
#include "support/gui/folders.h"
#include "support/gui/msgboxes.h"
#include "support/gui/windows.h"
#include "support/runlog.h"
#include "support/tempdir.h"
#include "ui/app.h"
#include "ui/form.h"
#include "ui/msgbox.h"
#include "ui/msgbox_responder.h"
#include "ui/screen.h"
#include "ui/twips.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTableView>
#include <QTimer>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <memory>
#include <vector>

namespace {

using testsupport::TempFolder;

constexpr int kRows = 25;
constexpr double kPixel = 15;  // one pixel in twips at the test screen's 96 dpi, with room

// A log of kRows runs, one a day from 2023-12-20, durations 0, 7, 14, ...
void createLog(const QString& file) {
    testlog::create(file, kRows,
                    {.date = "date('2023-12-20', '+' || i || ' days')",
                     .time = "(i * 7) % 120",
                     .type = "CASE i % 3 WHEN 0 THEN 'Normal' WHEN 1 THEN 'Tempo' ELSE 'Fartlek' END"});
}

class QueryWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        Module1::resetSharedState();
        createLog(folder.file("Run.mdb"));
        Module1::sDatabasePath = folder.path() + QStringLiteral("\\RUN.MDB");
    }

    frmQuerys* openWindow() {
        auto* f = new frmQuerys();
        f->Load();
        f->Show();
        return f;
    }

    // Types a statement of one's own and clicks "&Execute".
    void run(frmQuerys* f, const QString& sql) {
        f->optmysql->click();
        f->txtSQLStatement->setPlainText(sql);
        QTest::mouseClick(f->cmdExecuteSQL, Qt::LeftButton);
    }

    static std::vector<frmDataGrid*> grids() {
        std::vector<frmDataGrid*> found;
        for (int i = 0; i < ui::Forms::Count(); ++i)
            if (auto* g = qobject_cast<frmDataGrid*>(ui::Forms::Item(i))) found.push_back(g);
        return found;
    }

    // One value read straight from the file.
    QVariant scalar(const QString& sql) const {
        sqlite3* db = nullptr;
        sqlite3_open_v2(folder.file("Run.mdb").toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* stmt = nullptr;
        QVariant value;
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return value;
    }
    long long count(const QString& where = QString()) const {
        return scalar(QStringLiteral("select count(*) from runlog ") + where).toLongLong();
    }
    QString logChecksum() const {
        return scalar(QStringLiteral("select group_concat(Date || Time || Type || Description, '|') from runlog"))
            .toString();
    }

    testsupport::FreshSettings settingsStore;
    TempFolder folder;
    testsupport::MsgBoxRecorder recorder;
    const std::vector<ui::MessageRecord>& boxes = recorder.boxes();
};

// ---- The window -----------------------------------------------------------

TEST_F(QueryWindowTest, opensInDefaultModeWithTheDesignedTexts) {
    auto* f = openWindow();
    EXPECT_EQ(f->Caption(), QStringLiteral("Querys"));
    EXPECT_TRUE(f->optdefsql->isChecked());
    EXPECT_FALSE(f->optmysql->isChecked());
    EXPECT_EQ(f->txtSQLStatement->toPlainText(), QStringLiteral("select * from runlog"));
    EXPECT_FALSE(f->txtSQLStatement->isEnabled());
    EXPECT_TRUE(f->cmdExecuteSQL->isEnabled());
    EXPECT_EQ(f->cmdExecuteSQL->text(), QStringLiteral("&Execute"));
    EXPECT_EQ(f->cmdReturn->text(), QStringLiteral("Return"));
    EXPECT_EQ(f->Label1->text(), QStringLiteral("To view the log click on \"Execute\""));
    EXPECT_EQ(f->lblSQL->text(),
              QStringLiteral("IF(!) you know SQL, you may sort through the database table \"runlog\" by entering "
                             "a valid SQL query in the text box above. (eg. select * from runlog where time > 45)"));
    EXPECT_EQ(f->Frame1->title(), QStringLiteral("I'll do my own SQL queries"));
    EXPECT_EQ(f->optdefsql->text(), QStringLiteral("Restore the default"));
    // Wrapped onto its second line where the font is wider than the design's.
    EXPECT_EQ(f->optmysql->text().replace(u'\n', u' '), QStringLiteral("I'll enter my own SQL query"));
    EXPECT_LE(f->optmysql->sizeHint().width(), f->optmysql->width());
    EXPECT_LE(f->lblSQL->heightForWidth(f->lblSQL->width()), f->lblSQL->height());
    EXPECT_EQ(f->lblSQL->parentWidget(), f->Frame1);
    EXPECT_FALSE(f->windowIcon().isNull());
    EXPECT_EQ(f->cmdExecuteSQL->geometry(),
              QRect(ui::twipsToPixelsX(5160), ui::twipsToPixelsY(120), ui::twipsToPixelsX(1443),
                    ui::twipsToPixelsY(370)));
}

TEST_F(QueryWindowTest, tabGoesFromExecuteThroughStatementAndOptionsToReturn) {
    auto* f = openWindow();
    std::vector<QWidget*> order;
    QWidget* w = f->cmdExecuteSQL;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && w->window() == f) order.push_back(w);
        w = w->nextInFocusChain();
    } while (w != f->cmdExecuteSQL && order.size() < 10);
    const std::vector<QWidget*> expected{f->cmdExecuteSQL, f->txtSQLStatement, f->optdefsql, f->optmysql,
                                         f->cmdReturn};
    EXPECT_EQ(order, expected);
}

TEST_F(QueryWindowTest, ownSqlModeEmptiesTheStatementAndExecuteFollowsTheText) {
    auto* f = openWindow();
    QTest::mouseClick(f->optmysql, Qt::LeftButton);
    EXPECT_TRUE(f->txtSQLStatement->isEnabled());
    EXPECT_TRUE(f->txtSQLStatement->toPlainText().isEmpty());
    EXPECT_FALSE(f->cmdExecuteSQL->isEnabled());

    QTest::keyClicks(f->txtSQLStatement, QStringLiteral("s"));
    EXPECT_TRUE(f->cmdExecuteSQL->isEnabled());
    QTest::keyClick(f->txtSQLStatement, Qt::Key_Backspace);
    EXPECT_FALSE(f->cmdExecuteSQL->isEnabled());

    QTest::keyClicks(f->txtSQLStatement, QStringLiteral("select 1"));
    QTest::mouseClick(f->optdefsql, Qt::LeftButton);
    EXPECT_EQ(f->txtSQLStatement->toPlainText(), QStringLiteral("select * from runlog"));
    EXPECT_FALSE(f->txtSQLStatement->isEnabled());
    EXPECT_TRUE(f->cmdExecuteSQL->isEnabled());
}

TEST_F(QueryWindowTest, shrinkingSpringsBackAndTheStatementBoxKeepsItsSize) {
    auto* f = openWindow();
    f->setWidth(3000);
    f->setHeight(1500);
    QCoreApplication::processEvents();
    EXPECT_GE(f->Width(), 5220 - kPixel);
    EXPECT_GE(f->Height(), 2784 - kPixel);

    f->Move(0, 0, 9000, 7000);
    QCoreApplication::processEvents();
    EXPECT_EQ(f->txtSQLStatement->size(), QSize(ui::twipsToPixelsX(4931), ui::twipsToPixelsY(600)));
}

TEST_F(QueryWindowTest, positionIsRestoredAndStoredUnlessMinimized) {
    settings::SaveSetting("Pacebook", "Settings", "QueryLeft", "not a number");
    settings::SaveSetting("Pacebook", "Settings", "QueryTop", "900");
    auto* f = openWindow();
    EXPECT_NEAR(f->Left(), 0, kPixel);
    EXPECT_NEAR(f->Top(), 900, kPixel);

    f->setLeft(1500);
    f->setTop(600);
    QCoreApplication::processEvents();
    const double left = f->Left();
    f->cmdReturn->click();
    EXPECT_FALSE(f->isLoaded());
    EXPECT_EQ(settings::GetSetting("Pacebook", "Settings", "QueryLeft").toDouble(), qRound64(left));
    EXPECT_NEAR(settings::GetSetting("Pacebook", "Settings", "QueryTop").toDouble(), 600, kPixel);

    auto* g = openWindow();
    EXPECT_NEAR(g->Left(), 1500, kPixel);
    g->setLeft(3000);
    g->setWindowState(ui::vbMinimized);
    g->Unload();
    EXPECT_NEAR(settings::GetSetting("Pacebook", "Settings", "QueryLeft").toDouble(), 1500, kPixel);
}

TEST_F(QueryWindowTest, viewLogTwiceShowsTheSameWindowUnchanged) {
    auto& main = *new frmMain();
    main.Load();
    main.mnuViewLog_Click();
    auto* f = qobject_cast<frmQuerys*>(ui::Forms::ActiveForm());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Caption(), QStringLiteral("Log Entries"));
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(f->optdefsql->isChecked());

    run(f, QStringLiteral("select Type from runlog"));
    f->setCaption(QStringLiteral("elsewhere"));
    main.mnuViewLog_Click();
    EXPECT_EQ(&ui::sharedInstance<frmQuerys>(), f);
    EXPECT_EQ(f->Caption(), QStringLiteral("Log Entries"));
    EXPECT_EQ(f->txtSQLStatement->toPlainText(), QStringLiteral("select Type from runlog"));
    EXPECT_TRUE(f->optmysql->isChecked());

    // After "Return" the next "View Log" loads a fresh window.
    f->cmdReturn->click();
    testsupport::processDeletes();
    main.mnuViewLog_Click();
    frmQuerys& again = ui::sharedInstance<frmQuerys>();
    EXPECT_TRUE(again.isLoaded());
    EXPECT_EQ(again.txtSQLStatement->toPlainText(), QStringLiteral("select * from runlog"));
}

// ---- Running statements ----------------------------------------------------

TEST_F(QueryWindowTest, defaultStatementOpensOneGridWithEveryRow) {
    auto* f = openWindow();
    QTest::mouseClick(f->cmdExecuteSQL, Qt::LeftButton);
    ASSERT_EQ(grids().size(), 1u);
    frmDataGrid* g = grids().front();
    EXPECT_EQ(g->Caption(), QStringLiteral("select * from runlog..."));
    EXPECT_TRUE(g->isVisible());
    EXPECT_EQ(g->Data1->Recordset()->RecordCount(), kRows);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(ui::Screen::MousePointer(), ui::Screen::vbDefault);
    // The statement and the mode are as before the run.
    EXPECT_EQ(f->txtSQLStatement->toPlainText(), QStringLiteral("select * from runlog"));
    EXPECT_TRUE(f->optdefsql->isChecked());
}

TEST_F(QueryWindowTest, captionIsTheFirst32CharactersFollowedByDots) {
    auto* f = openWindow();
    const QString forty = QStringLiteral("select Date, Time from runlog where Time");
    ASSERT_EQ(forty.size(), 40);
    run(f, forty);
    run(f, QStringLiteral("select 1+1"));
    ASSERT_EQ(grids().size(), 2u);
    EXPECT_EQ(grids()[0]->Caption(), QStringLiteral("select Date, Time from runlog wh..."));
    EXPECT_EQ(grids()[1]->Caption(), QStringLiteral("select 1+1..."));
}

TEST_F(QueryWindowTest, runningTwiceOpensTwoGridsWhoseRowsOutliveTheRun) {
    auto* f = openWindow();
    f->cmdExecuteSQL->click();
    f->cmdExecuteSQL->click();
    ASSERT_EQ(grids().size(), 2u);
    EXPECT_NE(grids()[0], grids()[1]);
    EXPECT_NE(grids()[0]->Data1->Recordset(), grids()[1]->Data1->Recordset());
    // The run's own database lives on with the rows handed to the grid.
    dao::RecordsetPtr rs = grids()[1]->Data1->Recordset();
    rs->MoveLast();
    EXPECT_EQ(rs->Fields("Description").Value().toString(), QStringLiteral("run %1").arg(kRows - 1));
}

TEST_F(QueryWindowTest, statementsUsersTypeShowTheirRows) {
    auto* f = openWindow();
    run(f, QStringLiteral("select * from runlog where time > 45"));
    run(f, QStringLiteral("select * from runlog order by Date desc"));
    run(f, QStringLiteral("select Type, count(*) as Runs, sum(Time) as Minutes from runlog group by Type"));
    run(f, QStringLiteral("select * from runlog where Date >= #2024-01-01#"));
    ASSERT_EQ(grids().size(), 4u);
    EXPECT_TRUE(boxes.empty()) << boxes.front().prompt.toStdString();

    EXPECT_EQ(grids()[0]->Data1->Recordset()->RecordCount(), count("where Time > 45"));
    dao::RecordsetPtr newest = grids()[1]->Data1->Recordset();
    newest->MoveFirst();
    EXPECT_EQ(newest->Fields("Date").Value().toString(), scalar("select max(Date) from runlog").toString());
    dao::RecordsetPtr byType = grids()[2]->Data1->Recordset();
    EXPECT_EQ(byType->RecordCount(), 3);
    EXPECT_EQ(byType->fieldNames(), QStringList({"Type", "Runs", "Minutes"}));
    EXPECT_EQ(grids()[3]->Data1->Recordset()->RecordCount(), count("where Date >= '2024-01-01'"));
}

TEST_F(QueryWindowTest, selectTakenForAnActionStillShowsRowsWithoutMessage) {
    auto* f = openWindow();
    run(f, QStringLiteral(" select * from runlog"));
    run(f, QStringLiteral("\nselect * from runlog where time > 45"));
    // Taken for a make-table by its text, refused by Execute, shown after all.
    run(f, QStringLiteral("select * from runlog where Description not like '% into %'"));
    ASSERT_EQ(grids().size(), 3u);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(grids()[0]->Data1->Recordset()->RecordCount(), kRows);
    EXPECT_EQ(grids()[1]->Data1->Recordset()->RecordCount(), count("where Time > 45"));
    EXPECT_EQ(grids()[2]->Data1->Recordset()->RecordCount(), kRows);
    EXPECT_EQ(ui::Screen::MousePointer(), ui::Screen::vbDefault);
}

TEST_F(QueryWindowTest, makeTableInAnyLetterCaseRunsAsActionWithoutGrid) {
    auto* f = openWindow();
    run(f, QStringLiteral("select * into backup2024 from runlog"));
    run(f, QStringLiteral("SELECT Date, Time INTO Backup2024b FROM runlog WHERE Time > 45"));
    run(f, QStringLiteral("select *\ninto  backup2024c\nfrom runlog"));
    EXPECT_TRUE(grids().empty());
    EXPECT_TRUE(boxes.empty()) << boxes.front().prompt.toStdString();
    EXPECT_EQ(scalar("select count(*) from backup2024").toLongLong(), kRows);
    EXPECT_EQ(scalar("select count(*) from backup2024b").toLongLong(), count("where Time > 45"));
    EXPECT_EQ(scalar("select count(*) from backup2024c").toLongLong(), kRows);
}

TEST_F(QueryWindowTest, updateAndDeleteChangeTheFileWithoutMessage) {
    auto* f = openWindow();
    const long long zero = count("where Time = 0");
    ASSERT_GT(zero, 0);
    run(f, QStringLiteral("update runlog set Type = 'Long' where Time > 90"));
    run(f, QStringLiteral("delete from runlog where Time = 0"));
    EXPECT_TRUE(boxes.empty()) << boxes.front().prompt.toStdString();
    EXPECT_TRUE(grids().empty());
    EXPECT_EQ(count("where Time > 90 and Type <> 'Long'"), 0);
    EXPECT_GT(count("where Type = 'Long'"), 0);
    EXPECT_EQ(count(), kRows - zero);
    EXPECT_EQ(ui::Screen::MousePointer(), ui::Screen::vbDefault);
}

TEST_F(QueryWindowTest, missingTableIsReportedOnceAndClearsTheGridFlag) {
    auto* f = openWindow();
    Module1::bGridFromEntry = True;
    run(f, QStringLiteral("select * from runlogs"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("runlogs"))) << boxes[0].prompt.toStdString();
    EXPECT_FALSE(boxes[0].prompt.startsWith(QStringLiteral("Error:")));  // the description alone
    EXPECT_EQ(boxes[0].buttons, ui::vbOKOnly);
    EXPECT_EQ(Module1::bGridFromEntry, False);
    EXPECT_TRUE(grids().empty());
    EXPECT_EQ(ui::Screen::MousePointer(), ui::Screen::vbDefault);

    // An action on a missing table falls back to the rows, which report it once.
    recorder.clear();
    run(f, QStringLiteral("update nosuchtable set Time = 1"));
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(grids().empty());
}

// ---- Statements the engine refuses, and long runs --------------------------

TEST_F(QueryWindowTest, aValueTooLargeToHoldIsReportedAndALargeOneShownFromItsStart) {
    frmQuerys* f = openWindow();
    // Too large to hold: said at once, and no empty value is shown; format()
    // in either dialect says it as printf() does.
    QString said;
    for (const char* sql : {"select printf('%.*c', 1e9, 'x')", "select coalesce(printf('%2000000000d', 1), 'none')",
                            "select format('%.*c', 1e9, 'x')", "select format('%1000000000d', 1)",
                            "select format('%.*c', 1e9)", "select format([Type] || '%.*c', 1e9) from runlog"}) {
        recorder.clear();
        QElapsedTimer clock;
        clock.start();
        run(f, QString::fromLatin1(sql));
        EXPECT_LT(clock.elapsed(), 2000) << sql;  // the engine's own took seconds to repeat a character
        ASSERT_EQ(boxes.size(), 1u) << sql;
        if (said.isEmpty()) said = boxes[0].prompt;
        EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("too large"))) << boxes[0].prompt.toStdString();
        EXPECT_EQ(boxes[0].prompt, said) << sql;
        EXPECT_TRUE(grids().empty()) << sql;
    }
    // Large, but held: the cell shows its start, as much as any cell can
    // show, and editing has all of it.
    recorder.clear();
    run(f, QStringLiteral("select printf('%.*c', 3000000, 'x') || 'end' as big, 'small' as small"));
    ASSERT_EQ(grids().size(), 1u);
    EXPECT_TRUE(boxes.empty());
    QAbstractItemModel* model = grids()[0]->grdDataGrid->model();
    const QString shown = model->index(0, 0).data(Qt::DisplayRole).toString();
    EXPECT_GE(shown.size(), 1000);
    EXPECT_LE(shown.size(), 10000);
    EXPECT_EQ(shown, QString(shown.size(), u'x'));
    EXPECT_EQ(model->index(0, 0).data(Qt::EditRole).toString().size(), 3000003);
    EXPECT_EQ(model->index(0, 1).data(Qt::DisplayRole).toString(), QStringLiteral("small"));
}

TEST_F(QueryWindowTest, unparsableStatementShowsNumberAndDescriptionAndKeepsTheText) {
    auto* f = openWindow();
    const QString typed = QStringLiteral("selec * form runlog");
    run(f, typed);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].prompt.startsWith(QStringLiteral("Error:3075 "))) << boxes[0].prompt.toStdString();
    EXPECT_EQ(boxes[0].buttons, ui::vbOKOnly);
    EXPECT_TRUE(f->isLoaded());
    EXPECT_EQ(f->txtSQLStatement->toPlainText(), typed);
    EXPECT_EQ(ui::Screen::MousePointer(), ui::Screen::vbDefault);
    EXPECT_TRUE(grids().empty());
}

TEST_F(QueryWindowTest, missingDatabaseIsReportedWithNumberAndNothingRuns) {
    auto* f = openWindow();
    Module1::sDatabasePath = folder.path() + QStringLiteral("\\gone\\RUN.MDB");
    f->cmdExecuteSQL->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].prompt.startsWith(QStringLiteral("Error:3024 "))) << boxes[0].prompt.toStdString();
    // It says how to make one there, as the entry form does.
    EXPECT_TRUE(boxes[0].prompt.contains(logstore::newLogCommand(ui::App::Path(), folder.path() + "/gone/Run.mdb")))
        << boxes[0].prompt.toStdString();
    EXPECT_TRUE(f->isLoaded());
    EXPECT_TRUE(grids().empty());
    EXPECT_EQ(ui::Screen::MousePointer(), ui::Screen::vbDefault);
}

TEST_F(QueryWindowTest, secondStatementIsRefusedAndNothingOfItRuns) {
    auto* f = openWindow();
    const QString before = logChecksum();
    run(f, QStringLiteral("update runlog set Type = 'X'; delete from runlog"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].prompt.startsWith(QStringLiteral("Error:3142 "))) << boxes[0].prompt.toStdString();
    EXPECT_EQ(logChecksum(), before);
}

// Clicks the given button of the "still running" window once it shows.
void cancelWhenShown(bool byEscape, bool* seen) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dlg = qobject_cast<QDialog*>(w);
            if (!dlg || dlg->objectName() != QLatin1String("frmRunning") || !dlg->isVisible()) continue;
            *seen = true;
            if (byEscape)
                QTest::keyClick(dlg, Qt::Key_Escape);
            else
                QTest::mouseClick(dlg->findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
            poll->deleteLater();
            return;
        }
    });
    poll->start(50);
}

TEST_F(QueryWindowTest, cancelledLongActionChangesNothing) {
    auto* f = openWindow();
    const QString before = logChecksum();
    bool seen = false;
    cancelWhenShown(false, &seen);
    // Changes every row, then never ends on the last one.
    const testsupport::Deadline bound(std::chrono::seconds(30), "the statement that Cancel stops");
    run(f, QStringLiteral(
               "update runlog set Time = Time + 1 where rowid < (select max(rowid) from runlog) or "
               "(with recursive c(x) as (select 1 union all select x + 1 from c) select count(*) from c) > 0"));
    EXPECT_TRUE(seen);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes.front().prompt, "The statement was stopped. Nothing in the log was changed.");
    EXPECT_EQ(logChecksum(), before);
    EXPECT_EQ(ui::Screen::MousePointer(), ui::Screen::vbDefault);
    EXPECT_TRUE(f->isLoaded());

    // The window is ready for the next run.
    run(f, QStringLiteral("delete from runlog where Time = 0"));
    EXPECT_LT(count(), kRows);
}

TEST_F(QueryWindowTest, escapeCancelsLongQueryWithoutGrid) {
    auto* f = openWindow();
    bool seen = false;
    cancelWhenShown(true, &seen);
    const testsupport::Deadline bound(std::chrono::seconds(30), "the statement that Esc stops");
    run(f, QStringLiteral("select count(*) from runlog a, runlog b, runlog c, runlog d, runlog e, runlog g"));
    EXPECT_TRUE(seen);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes.front().prompt.startsWith("The statement was stopped."));
    EXPECT_TRUE(grids().empty());
    EXPECT_EQ(ui::Screen::MousePointer(), ui::Screen::vbDefault);
}

// Statements in the desktop engine's words, through the window: rows,
// actions, and what cannot run, each said once.
TEST_F(QueryWindowTest, desktopStatementsShowRowsRunOrSayWhyNot) {
    auto* f = openWindow();
    const struct {
        const char* sql;
        int rows;         // a grid with this many rows; -1: none
        const char* says; // a message holding this; nullptr: none
    } cases[] = {
        {"select top 3 [Date], [Type] & ' run' from runlog where [Type] Like 'tempo*' order by [Date] desc", 3, nullptr},
        {"select Year([Date]), Sum([Time])/60 from runlog group by Year([Date])", 2, nullptr},
        {"TRANSFORM Sum([Time]) SELECT [Type] FROM runlog GROUP BY [Type] PIVOT Year([Date])", -1, "crosstab"},
        {"select * from runlog where [Date] = '12/25/2023'", -1, "'2023-12-25'"},
        {"select * from runlog where [Date] > [Since when?]", -1, "[Since when?]"},
        {"delete * from runlog where [Type] = 'FARTLEK'", -1, nullptr},
    };
    for (const auto& c : cases) {
        recorder.clear();
        run(f, QString::fromUtf8(c.sql));
        if (c.rows >= 0) {
            ASSERT_EQ(grids().size(), 1u) << c.sql;
            EXPECT_EQ(grids().front()->Data1->Recordset()->RecordCount(), c.rows) << c.sql;
            grids().front()->Unload();
            testsupport::processDeletes();
        }
        EXPECT_TRUE(grids().empty()) << c.sql;
        ASSERT_EQ(boxes.size(), c.says ? 1u : 0u) << c.sql;
        if (c.says) {
            EXPECT_TRUE(boxes[0].prompt.contains(QString::fromUtf8(c.says))) << boxes[0].prompt.toStdString();
        }
        EXPECT_EQ(ui::Screen::MousePointer(), ui::Screen::vbDefault);
    }
    EXPECT_EQ(count("where Type = 'Fartlek'"), 0);
    EXPECT_EQ(count(), kRows - 8);
}

// A statement that changes the log and returns rows (RETURNING) runs once,
// after one backup; its grid shows the rows it returned, and neither
// "&Refresh" nor a heading click runs it again.
TEST_F(QueryWindowTest, statementThatReturnsRowsAndWritesRunsOnceAndItsGridNeverAgain) {
    logstore::keepBackups();
    const struct {
        const char* sql;
        long long rowsAfter;
        long long returned;
    } cases[] = {
        {"insert into runlog values (#2024-07-01#, 33, 'Tempo', 'new') returning *", kRows + 1, 1},
        {"update runlog set Type = 'Long' where Time > 100 returning *", kRows + 1, 3},
        {"delete from runlog where Time < 20 returning Date, Time", kRows - 4, 5},
    };
    auto* f = openWindow();
    for (const auto& c : cases) {
        logstore::forgetBackupsOfThisRun();
        const int backups = logstore::backupsOf(folder.file("Run.mdb")).size();
        run(f, QString::fromUtf8(c.sql));
        ASSERT_EQ(grids().size(), 1u) << c.sql;
        EXPECT_TRUE(boxes.empty()) << c.sql << boxes.front().prompt.toStdString();
        frmDataGrid* g = grids().front();
        EXPECT_EQ(g->Data1->Recordset()->RecordCount(), c.returned) << c.sql;
        EXPECT_EQ(logstore::backupsOf(folder.file("Run.mdb")).size(), backups + 1) << c.sql;
        const QString after = logChecksum();
        EXPECT_EQ(count(), c.rowsAfter) << c.sql;

        g->cmdRefresh->click();
        g->cmdRefresh->click();
        QHeaderView* h = g->grdDataGrid->horizontalHeader();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(1) + 4, h->height() / 2));
        EXPECT_EQ(logChecksum(), after) << c.sql;
        EXPECT_EQ(count(), c.rowsAfter) << c.sql;
        EXPECT_EQ(g->Data1->Recordset()->RecordCount(), c.returned) << c.sql;
        EXPECT_EQ(logstore::backupsOf(folder.file("Run.mdb")).size(), backups + 1) << c.sql;
        g->Unload();
        testsupport::processDeletes();
        recorder.clear();
    }
    dao::DBEngine().setBeforeWriteHook({});
}

// A lock another program holds on the log: the run waits with the "still
// running" window, which says so, and Cancel ends it with nothing changed.
TEST_F(QueryWindowTest, waitForAnotherProgramsLockShowsTheWindowAndCancelsCleanly) {
    auto* f = openWindow();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open_v2(folder.file("Run.mdb").toUtf8().constData(), &other, SQLITE_OPEN_READWRITE, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; UPDATE runlog SET Time = 1", nullptr, nullptr, nullptr), SQLITE_OK);
    const QString before = logChecksum();
    for (const char* sql : {"update runlog set Type = 'Long' where Time > 60",
                            "insert into runlog values (#2024-07-01#, 33, 'Tempo', 'new') returning *"}) {
        bool seen = false;
        QString said;
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, poll, [&, poll] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->objectName() != QLatin1String("frmRunning") || !w->isVisible()) continue;
                seen = true;
                said = w->findChild<QLabel*>("lblRunning")->text();
                QTest::mouseClick(w->findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
                poll->deleteLater();
                return;
            }
        });
        poll->start(50);
        QElapsedTimer clock;
        clock.start();
        run(f, QString::fromUtf8(sql));
        EXPECT_TRUE(seen) << sql;
        EXPECT_LT(clock.elapsed(), 4000) << sql;  // well before the busy timeout
        EXPECT_TRUE(said.contains(QStringLiteral("waiting for another program"))) << said.toStdString();
        ASSERT_EQ(boxes.size(), 1u) << sql;
        EXPECT_EQ(boxes.front().prompt, "The statement was stopped. Nothing in the log was changed.");
        EXPECT_TRUE(grids().empty());
        EXPECT_EQ(ui::Screen::MousePointer(), ui::Screen::vbDefault);
        recorder.clear();
    }
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(logChecksum(), before);
}

}  // namespace

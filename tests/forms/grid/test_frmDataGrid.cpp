// SPDX-License-Identifier: GPL-3.0-or-later
// The grid window: opening it the way its callers do, the reload on
// activation, "&Refresh" and "&Close", the two confirmations, heading-click
// sorting, the resize rule, and failures.

#include "forms/grid/frmDataGrid.h"

#include "app/Module1.h"
#include "controls/datacontrol.h"
#include "controls/datagrid.h"
#include "dao/dao.h"
#include "forms/entry/frmaddnew.h"
#include "support/gui/modelcheck.h"
#include "support/gui/msgboxes.h"
#include "support/runlog.h"
#include "support/tempdir.h"
#include "ui/app.h"
#include "ui/form.h"
#include "ui/msgbox.h"
#include "ui/screen.h"
#include "ui/twips.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "platform/controls/loggrid.h"
#include "support/gui/windows.h"
#include "support/sqlfile.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr auto exec = testsupport::execSql;
constexpr auto scalar = testsupport::scalarSql;

using testsupport::TempFolder;

// Six runs: durations 40, 20, 60, 10, 50, 30 on the first six days of May.
void createLog(const QString& file) {
    testlog::create(file, {{"2024-05-01", 40, "Long", "one"}, {"2024-05-02", 20, "Tempo", "two"},
                           {"2024-05-03", 60, "Race", "three"}, {"2024-05-04", 10, "Normal", "four"},
                           {"2024-05-05", 50, "Long", "five"}, {"2024-05-06", 30, "Fartlek", "six"}});
}

class GridWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        Module1::resetSharedState();
        ui::App::setPath(folder.path());
        file = folder.file(QStringLiteral("Run.mdb"));
        createLog(file);
        Module1::sDatabasePath = folder.path() + QStringLiteral("\\RUN.MDB");
    }

    void TearDown() override {
        for (int i = ui::Forms::Count() - 1; i >= 0; --i) ui::Forms::Item(i)->Unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ui::Screen::setMousePointer(ui::Screen::vbDefault);
        ui::App::setPath(QString());
        Module1::resetSharedState();
    }

    dao::RecordsetPtr openSet(const QString& source) {
        return dao::DBEngine().OpenDatabase(file)->OpenRecordset(source, dao::dbOpenDynaset);
    }

    // Steps 1 to 5 of the hand-over, as the query window takes them.
    frmDataGrid* openGrid(dao::RecordsetPtr rs, const QString& caption = QStringLiteral("select...")) {
        auto* g = new frmDataGrid();
        g->Load();
        if (!g->isLoaded()) return nullptr;
        testsupport::checkModel(g->grdDataGrid->model());
        g->Data1->setRecordset(std::move(rs));
        g->setCaption(caption);
        g->Show();
        return g;
    }

    // An entry form, shown (it opens the log), and its "&View Entire Log".
    frmDataGrid* openFromEntryForm(frmaddnew** entry = nullptr) {
        auto* e = new frmaddnew();
        e->Show();
        if (entry) *entry = e;
        const int before = ui::Forms::Count();
        e->findChild<QPushButton*>(QStringLiteral("cmdGrid"))->click();
        if (ui::Forms::Count() == before) return nullptr;
        auto* g = qobject_cast<frmDataGrid*>(ui::Forms::Item(ui::Forms::Count() - 1));
        if (g) testsupport::checkModel(g->grdDataGrid->model());
        return g;
    }

    static QString shown(frmDataGrid* g, int row, int column) {
        auto* m = g->grdDataGrid->model();
        return m->data(m->index(row, column)).toString();
    }
    static int rows(frmDataGrid* g) { return int(g->grdDataGrid->ApproxCount()); }
    static QString column(frmDataGrid* g, int c) {
        QStringList values;
        for (int r = 0; r < rows(g); ++r) values << shown(g, r, c);
        return values.join(QLatin1Char(' '));
    }

    // A click on a column heading, with the modifier keys held.
    static void clickHeading(frmDataGrid* g, int column, Qt::KeyboardModifiers keys = Qt::NoModifier) {
        QHeaderView* h = g->grdDataGrid->horizontalHeader();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, keys, QPoint(h->sectionViewportPosition(column) + 4, h->height() / 2));
    }

    static void activate(QWidget* w) {
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    }

    static QLineEdit* editorAt(frmDataGrid* g, int row, int column) {
        return qobject_cast<QLineEdit*>(g->grdDataGrid->indexWidget(g->grdDataGrid->model()->index(row, column)));
    }

    // Types into a cell as the user does: the first key opens its editor.
    static QLineEdit* typeKeys(frmDataGrid* g, int row, int column, const QString& text) {
        g->grdDataGrid->setCurrentIndex(g->grdDataGrid->model()->index(row, column));
        QTest::keyClick(g->grdDataGrid, text.at(0).toLatin1());
        QLineEdit* editor = editorAt(g, row, column);
        if (editor) QTest::keyClicks(editor, text.mid(1));
        return editor;
    }

    static void clickSelector(frmDataGrid* g, int row, Qt::KeyboardModifiers keys = {}) {
        QHeaderView* v = g->grdDataGrid->verticalHeader();
        QTest::mouseClick(v->viewport(), Qt::LeftButton, keys, QPoint(v->width() / 2, v->sectionViewportPosition(row) + 4));
    }

    TempFolder folder;
    QString file;
    testsupport::MsgBoxRecorder recorder;
    const std::vector<ui::MessageRecord>& boxes = recorder.boxes();
};

TEST_F(GridWindowTest, hasItsControlsAsDesigned) {
    frmDataGrid* g = openGrid(openSet(QStringLiteral("runlog")));
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->cmdRefresh->text(), QStringLiteral("&Refresh"));
    EXPECT_EQ(g->cmdClose->text(), QStringLiteral("&Close"));
    EXPECT_EQ(g->cmdRefresh->parentWidget(), g->picButtons);
    EXPECT_FALSE(g->Data1->isVisible());
    EXPECT_EQ(g->grdDataGrid->y(), g->picButtons->height());
    EXPECT_EQ(g->grdDataGrid->width(), g->width());
    ASSERT_EQ(g->grdDataGrid->ColumnCount(), 4);
    const QStringList headings{g->grdDataGrid->ColumnCaption(0), g->grdDataGrid->ColumnCaption(1),
                               g->grdDataGrid->ColumnCaption(2), g->grdDataGrid->ColumnCaption(3)};
    EXPECT_EQ(headings, (QStringList{"Date", "Time (minutes)", "Type", "Details"}));
    EXPECT_EQ(g->grdDataGrid->ColumnDataField(3), QStringLiteral("Description"));
    EXPECT_TRUE(g->grdDataGrid->AllowAddNew());
    EXPECT_EQ(g->findChild<QWidget*>(QStringLiteral("grdDataGrid")), g->grdDataGrid);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(GridWindowTest, openedFromTheEntryFormShowsItsRowsUnderItsCaption) {
    frmaddnew* entry = nullptr;
    frmDataGrid* g = openFromEntryForm(&entry);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->Caption(), QStringLiteral("runlog Grid"));
    EXPECT_EQ(rows(g), 6);
    EXPECT_EQ(shown(g, 0, 0), QStringLiteral("2024-05-01"));
    EXPECT_EQ(Module1::bGridFromEntry, True);
    // The grid has a set of its own: the entry form's current entry stays.
    EXPECT_NE(g->Data1->Recordset(), entry->Data1->Recordset());
    g->grdDataGrid->setCurrentIndex(g->grdDataGrid->model()->index(4, 2));
    EXPECT_EQ(entry->Data1->Recordset()->AbsolutePosition(), 0);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(GridWindowTest, reloadsTheLogOnActivationWhileTheFlagIsSetButNotAfterClose) {
    frmaddnew* entry = nullptr;
    frmDataGrid* g = openFromEntryForm(&entry);
    ASSERT_NE(g, nullptr);
    exec(file, "INSERT INTO runlog VALUES ('2024-05-07', 45, 'Long', 'seven')");
    entry->activateForm();
    g->activateForm();
    EXPECT_EQ(rows(g), 7);

    frmDataGrid* other = openGrid(openSet(QStringLiteral("runlog")));
    ASSERT_NE(other, nullptr);
    other->cmdClose->click();
    EXPECT_EQ(Module1::bGridFromEntry, False);
    exec(file, "INSERT INTO runlog VALUES ('2024-05-08', 15, 'Normal', 'eight')");
    entry->activateForm();
    g->activateForm();
    EXPECT_EQ(rows(g), 7);
}

// The rows of a query stay the query's rows: only a grid on the whole log
// reads it again on activation.
TEST_F(GridWindowTest, aQuerysGridKeepsItsRowsOnActivationWhileTheFlagIsSet) {
    Module1::bGridFromEntry = True;
    frmDataGrid* g = openGrid(openSet(QStringLiteral("select * from runlog where Time > 35 order by Date")));
    ASSERT_NE(g, nullptr);
    frmDataGrid* other = openGrid(openSet(QStringLiteral("select * from runlog where Time < 35 order by Date")));
    ASSERT_NE(other, nullptr);
    exec(file, "INSERT INTO runlog VALUES ('2024-05-07', 45, 'Long', 'seven')");
    g->activateForm();
    EXPECT_EQ(column(g, 1), QStringLiteral("40 60 50"));
    EXPECT_EQ(column(other, 1), QStringLiteral("20 10 30"));
}

TEST_F(GridWindowTest, withoutTheFlagAQuerysGridKeepsItsRows) {
    frmDataGrid* g = openGrid(openSet(QStringLiteral("select * from runlog where Time > 35 order by Date")));
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(column(g, 1), QStringLiteral("40 60 50"));
    // "&Refresh" re-runs the query, not the whole table.
    exec(file, "INSERT INTO runlog VALUES ('2024-05-07', 90, 'Long', 'seven'), ('2024-05-08', 5, 'Normal', 'x')");
    g->cmdRefresh->click();
    EXPECT_EQ(column(g, 1), QStringLiteral("40 60 50 90"));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(GridWindowTest, sortingByAHeadingAscendsEveryPlainClick) {
    frmDataGrid* g = openGrid(openSet(QStringLiteral("runlog")));
    ASSERT_NE(g, nullptr);
    dao::RecordsetPtr before = g->Data1->Recordset();
    clickHeading(g, 1);
    EXPECT_EQ(before->Sort(), QStringLiteral("[Time]"));
    EXPECT_EQ(column(g, 1), QStringLiteral("10 20 30 40 50 60"));
    clickHeading(g, 1);
    EXPECT_EQ(column(g, 1), QStringLiteral("10 20 30 40 50 60"));
    EXPECT_NE(g->Data1->Recordset(), before);
    EXPECT_EQ(g->Data1->Recordset()->Type(), dao::dbOpenDynaset);
    EXPECT_TRUE(g->sSortColumn.isEmpty());
    EXPECT_EQ(ui::Screen::MousePointer(), ui::Screen::vbDefault);
}

TEST_F(GridWindowTest, aModifierKeySortsDescendingOnceThenPlainClicksAscend) {
    frmDataGrid* g = openGrid(openSet(QStringLiteral("runlog")));
    ASSERT_NE(g, nullptr);
    dao::RecordsetPtr first = g->Data1->Recordset();
    clickHeading(g, 0, Qt::ControlModifier);
    EXPECT_EQ(first->Sort(), QStringLiteral("[Date] desc"));
    EXPECT_EQ(shown(g, 0, 0), QStringLiteral("2024-05-06"));
    EXPECT_EQ(g->iShift, 0);

    dao::RecordsetPtr second = g->Data1->Recordset();
    clickHeading(g, 0);
    EXPECT_EQ(second->Sort(), QStringLiteral("[Date]"));
    EXPECT_EQ(shown(g, 0, 0), QStringLiteral("2024-05-01"));

    clickHeading(g, 2, Qt::ShiftModifier);
    EXPECT_EQ(column(g, 2), QStringLiteral("Tempo Race Normal Long Long Fartlek"));
}

TEST_F(GridWindowTest, refreshAfterASortKeepsTheOrder) {
    frmDataGrid* g = openGrid(openSet(QStringLiteral("runlog")));
    ASSERT_NE(g, nullptr);
    clickHeading(g, 1, Qt::AltModifier);
    exec(file, "INSERT INTO runlog VALUES ('2024-05-07', 35, 'Long', 'seven')");
    g->cmdRefresh->click();
    EXPECT_EQ(column(g, 1), QStringLiteral("60 50 40 35 30 20 10"));
}

TEST_F(GridWindowTest, aTableTypeDataControlIgnoresHeadingClicks) {
    frmDataGrid* g = openGrid(openSet(QStringLiteral("runlog")));
    ASSERT_NE(g, nullptr);
    g->Data1->setRecordsetType(controls::vbRSTypeTable);
    dao::RecordsetPtr before = g->Data1->Recordset();
    clickHeading(g, 1);
    EXPECT_EQ(g->Data1->Recordset(), before);
    EXPECT_TRUE(before->Sort().isEmpty());
    EXPECT_EQ(column(g, 1), QStringLiteral("40 20 60 10 50 30"));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(GridWindowTest, aSortTheEngineRefusesIsReportedAndKeepsTheRows) {
    frmDataGrid* g = openGrid(openSet(QStringLiteral("runlog")));
    ASSERT_NE(g, nullptr);
    dao::RecordsetPtr before = g->Data1->Recordset();
    g->sSortColumn = QStringLiteral("[NoSuchField]");
    g->SortGrid();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].prompt.startsWith(QStringLiteral("Error:")));
    EXPECT_EQ(boxes[0].buttons, ui::vbOKOnly);
    EXPECT_EQ(g->Data1->Recordset(), before);
    EXPECT_EQ(ui::Screen::MousePointer(), ui::Screen::vbDefault);
}

TEST_F(GridWindowTest, aQuerysOwnFieldsShowAndSortByTheClickedColumn) {
    frmDataGrid* g = openGrid(openSet(QStringLiteral("select Type, count(*) as Runs from runlog group by Type")));
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->grdDataGrid->ColumnCount(), 2);
    EXPECT_EQ(g->grdDataGrid->ColumnCaption(1), QStringLiteral("Runs"));
    dao::RecordsetPtr before = g->Data1->Recordset();
    clickHeading(g, 1, Qt::ControlModifier);
    EXPECT_EQ(before->Sort(), QStringLiteral("[Runs] desc"));
    EXPECT_EQ(shown(g, 0, 0), QStringLiteral("Long"));
    EXPECT_EQ(shown(g, 0, 1), QStringLiteral("2"));
}

TEST_F(GridWindowTest, headingClickSortsByTheColumnsFieldWhateverTheSetsOrder) {
    frmDataGrid* g = openGrid(openSet(QStringLiteral("select Description, Type, Time, Date from runlog")));
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->grdDataGrid->ColumnCaption(1), QStringLiteral("Time (minutes)"));
    dao::RecordsetPtr before = g->Data1->Recordset();
    clickHeading(g, 1);
    EXPECT_EQ(before->Sort(), QStringLiteral("[Time]"));
    EXPECT_EQ(column(g, 1), QStringLiteral("10 20 30 40 50 60"));
}

TEST_F(GridWindowTest, noToCommitLeavesTheRowAndTheFileAsTheyWere) {
    frmDataGrid* g = openGrid(openSet(QStringLiteral("runlog")));
    ASSERT_NE(g, nullptr);
    auto* m = g->grdDataGrid->model();
    g->grdDataGrid->setCurrentIndex(m->index(1, 2));
    m->setData(m->index(1, 2), QStringLiteral("Race"));
    recorder.answer(ui::vbNo);
    g->grdDataGrid->setCurrentIndex(m->index(3, 2));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].prompt, QStringLiteral("Commit changes?"));
    EXPECT_EQ(boxes[0].buttons, 36);
    EXPECT_EQ(shown(g, 1, 2), QStringLiteral("Tempo"));
    EXPECT_EQ(scalar(file, "select Type from runlog where rowid = 2"), QStringLiteral("Tempo"));
}

TEST_F(GridWindowTest, yesToCommitWritesTheRow) {
    frmDataGrid* g = openGrid(openSet(QStringLiteral("runlog")));
    ASSERT_NE(g, nullptr);
    auto* m = g->grdDataGrid->model();
    g->grdDataGrid->setCurrentIndex(m->index(1, 1));
    m->setData(m->index(1, 1), QStringLiteral("25"));
    recorder.answer(ui::vbYes);
    g->grdDataGrid->setCurrentIndex(m->index(3, 2));
    EXPECT_EQ(scalar(file, "select Time from runlog where rowid = 2"), QStringLiteral("25"));
}

TEST_F(GridWindowTest, closingWithARowBeingEditedAsksBeforeItIsLost) {
    frmDataGrid* g = openGrid(openSet(QStringLiteral("runlog")));
    ASSERT_NE(g, nullptr);
    auto* m = g->grdDataGrid->model();
    g->grdDataGrid->setCurrentIndex(m->index(0, 3));
    m->setData(m->index(0, 3), QStringLiteral("kept"));
    recorder.answer(ui::vbYes);
    g->close();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].prompt, QStringLiteral("Commit changes?"));
    EXPECT_EQ(scalar(file, "select Description from runlog where rowid = 1"), QStringLiteral("kept"));
}

TEST_F(GridWindowTest, deleteAsksAndOnlyYesDeletes) {
    frmDataGrid* g = openGrid(openSet(QStringLiteral("runlog")));
    ASSERT_NE(g, nullptr);
    g->grdDataGrid->selectRow(2);
    recorder.answer(ui::vbNo);
    QTest::keyClick(g->grdDataGrid, Qt::Key_Delete);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].prompt, QStringLiteral("Delete Current Row?"));
    EXPECT_EQ(boxes[0].buttons, 36);
    EXPECT_EQ(rows(g), 6);
    EXPECT_EQ(scalar(file, "select count(*) from runlog"), QStringLiteral("6"));

    g->grdDataGrid->selectRow(2);
    recorder.answer(ui::vbYes);
    QTest::keyClick(g->grdDataGrid, Qt::Key_Delete);
    EXPECT_EQ(scalar(file, "select count(*) from runlog where Description = 'three'"), QStringLiteral("0"));
    EXPECT_EQ(rows(g), 5);
}

TEST_F(GridWindowTest, aNewRowIsAddedThroughTheNewRowLine) {
    frmDataGrid* g = openGrid(openSet(QStringLiteral("runlog")));
    ASSERT_NE(g, nullptr);
    auto* m = g->grdDataGrid->model();
    ASSERT_EQ(m->rowCount(), 7);
    g->grdDataGrid->setCurrentIndex(m->index(6, 0));
    m->setData(m->index(6, 0), QStringLiteral("2024-05-09"));
    m->setData(m->index(6, 1), QStringLiteral("75"));
    m->setData(m->index(6, 2), QStringLiteral("Long"));
    recorder.answer(ui::vbYes);
    QTest::keyClick(g->grdDataGrid, Qt::Key_Return);
    EXPECT_EQ(scalar(file, "select Date || ' ' || Time || ' ' || Type from runlog where rowid = 7"),
              QStringLiteral("2024-05-09 75 Long"));
    EXPECT_EQ(rows(g), 7);
    EXPECT_EQ(m->rowCount(), 8);
}

TEST_F(GridWindowTest, resizeSetsTheGridHeightExceptWhenMinimizedOrTooShort) {
    frmDataGrid* g = openGrid(openSet(QStringLiteral("runlog")));
    ASSERT_NE(g, nullptr);
    g->setHeight(6000);
    const double strip = ui::pixelsToTwipsY(g->picButtons->height());
    EXPECT_NEAR(g->grdDataGrid->Height(), g->Height() - (strip + 425), 16);

    const int before = g->grdDataGrid->height();
    g->setHeight(600);  // shorter than the strip plus 425
    EXPECT_EQ(g->grdDataGrid->height(), before);

    g->setHeight(5000);
    const int normal = g->grdDataGrid->height();
    g->setWindowState(ui::vbMinimized);
    g->setHeight(7000);
    if (g->WindowState() == ui::vbMinimized) {
        EXPECT_EQ(g->grdDataGrid->height(), normal);
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(GridWindowTest, twoGridWindowsAreIndependent) {
    frmDataGrid* a = openGrid(openSet(QStringLiteral("runlog")));
    frmDataGrid* b = openGrid(openSet(QStringLiteral("runlog")));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a->Data1->Recordset(), b->Data1->Recordset());
    clickHeading(b, 1);
    EXPECT_EQ(column(a, 1), QStringLiteral("40 20 60 10 50 30"));
    EXPECT_EQ(column(b, 1), QStringLiteral("10 20 30 40 50 60"));

    Module1::bGridFromEntry = True;
    b->close();  // the close box
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Module1::bGridFromEntry, True);
    EXPECT_EQ(column(a, 1), QStringLiteral("40 20 60 10 50 30"));
}

TEST_F(GridWindowTest, aFailedLoadIsReportedOnceAndTheWindowIsNotShown) {
    Module1::sDatabasePath = folder.path() + QStringLiteral("\\missing\\RUN.MDB");
    auto* g = new frmDataGrid();
    g->Load();
    EXPECT_FALSE(g->isLoaded());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].prompt.startsWith(QStringLiteral("Error:3024 ")));
    EXPECT_EQ(boxes[0].buttons, ui::vbOKOnly);
    EXPECT_FALSE(g->isVisible());

    // The entry form's button stops silently after the grid's own message.
    recorder.clear();
    frmaddnew* entry = nullptr;
    EXPECT_EQ(openFromEntryForm(&entry), nullptr);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_NE(Module1::bGridFromEntry, True);
}

TEST_F(GridWindowTest, refreshWithoutARecordsetReportsTheError) {
    auto* g = new frmDataGrid();
    g->Load();
    ASSERT_TRUE(g->isLoaded());
    g->Show();
    g->cmdRefresh->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].prompt.startsWith(QStringLiteral("Error:91 ")));
    EXPECT_TRUE(g->isLoaded());
}

// Every way out of the rows (refresh, close, the close box, a sort, the
// reload on activation) treats the open editor's text like the row's other
// edits: asked about and written on Yes; refused, it stays in its editor and
// the window does nothing else.
TEST_F(GridWindowTest, everyWayOutOfTheRowsSettlesTheOpenEditorFirst) {
    const struct {
        const char* way;
        std::function<void(frmDataGrid*)> leave;
        std::function<bool(frmDataGrid*)> done;  // whether the window did what was asked
    } ways[] = {
        {"Alt+R", [](frmDataGrid*) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_R, Qt::AltModifier); },
         [](frmDataGrid* g) { return rows(g) == 7; }},
        {"Alt+C", [](frmDataGrid*) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::AltModifier); },
         [](frmDataGrid* g) { return !g->isLoaded(); }},
        {"close box", [](frmDataGrid* g) { g->close(); }, [](frmDataGrid* g) { return !g->isLoaded(); }},
        {"heading click", [](frmDataGrid* g) { clickHeading(g, 1); },
         [](frmDataGrid* g) { return shown(g, 0, 1) == QStringLiteral("10"); }},
        {"activation",
         [](frmDataGrid* g) {
             Module1::bGridFromEntry = True;
             ui::Forms::Item(0)->activateForm();
             g->activateForm();
         },
         [](frmDataGrid* g) { return rows(g) == 7; }},
    };
    for (const bool refused : {false, true}) {
        for (const auto& w : ways) {
            SCOPED_TRACE(std::string(w.way) + (refused ? ", refused value" : ""));
            exec(file, "DELETE FROM runlog WHERE rowid > 6; UPDATE runlog SET Description = 'two' WHERE rowid = 2");
            Module1::bGridFromEntry = False;
            frmDataGrid* other = openGrid(openSet(QStringLiteral("select * from runlog where Time > 45")));
            frmDataGrid* g = openGrid(openSet(QStringLiteral("runlog")));
            ASSERT_NE(g, nullptr);
            activate(g);
            ASSERT_NE(typeKeys(g, 1, refused ? 1 : 3, refused ? QStringLiteral("1:30") : QStringLiteral("typed")),
                      nullptr);
            exec(file, "INSERT INTO runlog VALUES ('2024-05-07', 45, 'Long', 'seven')");
            recorder.clear();
            recorder.answer(ui::vbYes);
            w.leave(g);
            // An access key clicks a little later.
            ASSERT_TRUE(testsupport::waitFor([&] { return !boxes.empty(); }, 1000));
            ASSERT_EQ(boxes.size(), 1u) << recorder.prompts().join(u'|').toStdString();
            if (refused) {
                EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("whole number of minutes")));
                EXPECT_TRUE(g->isLoaded());
                ASSERT_NE(editorAt(g, 1, 1), nullptr);
                EXPECT_EQ(editorAt(g, 1, 1)->text(), QStringLiteral("1:30"));
                EXPECT_EQ(rows(g), 6);
                EXPECT_EQ(shown(g, 0, 1), QStringLiteral("40"));
                QTest::keyClick(editorAt(g, 1, 1), Qt::Key_Escape);
            } else {
                EXPECT_EQ(boxes[0].prompt, QStringLiteral("Commit changes?"));
                EXPECT_EQ(scalar(file, "select Description from runlog where rowid = 2"), QStringLiteral("typed"));
                EXPECT_TRUE(w.done(g));
            }
            testsupport::unloadAllForms();
            (void)other;
        }
    }
}

// A heading clicked while another row holds edits sorts once the commit
// question is answered, Yes or No.
TEST_F(GridWindowTest, aHeadingClickSortsAfterTheCommitQuestion) {
    for (const int answer : {int(ui::vbYes), int(ui::vbNo)}) {
        SCOPED_TRACE(answer);
        exec(file, "UPDATE runlog SET Type = 'Race' WHERE rowid = 3");
        frmDataGrid* g = openGrid(openSet(QStringLiteral("runlog")));
        ASSERT_NE(g, nullptr);
        activate(g);
        QLineEdit* editor = typeKeys(g, 2, 3, QStringLiteral("edited"));
        ASSERT_NE(editor, nullptr);
        QTest::keyClick(editor, Qt::Key_Escape);
        ASSERT_NE(typeKeys(g, 2, 2, QStringLiteral("Easy")), nullptr);
        // Another cell of the row: the value joins the row's edits.
        QTest::mouseClick(g->grdDataGrid->viewport(), Qt::LeftButton, {},
                          g->grdDataGrid->visualRect(g->grdDataGrid->model()->index(2, 0)).center());
        ASSERT_TRUE(g->grdDataGrid->DataChanged());
        recorder.clear();
        recorder.answer(answer);
        clickHeading(g, 1);
        EXPECT_EQ(recorder.prompts(), QStringList{QStringLiteral("Commit changes?")});
        EXPECT_EQ(column(g, 1), QStringLiteral("10 20 30 40 50 60"));
        EXPECT_EQ(scalar(file, "select Type from runlog where rowid = 3"),
                  answer == ui::vbYes ? QStringLiteral("Easy") : QStringLiteral("Race"));
        g->Unload();
    }
}

// A sort reorders the rows the grid shows, whatever picked them; a set that
// could be written before still can be, one that cannot says why.
TEST_F(GridWindowTest, aSortKeepsTheRowsOfTheQuery) {
    const struct {
        const char* source;
        int heading;
        Qt::KeyboardModifiers keys;
        int shownColumn;
        const char* expected;
        bool writable;
    } cases[] = {
        {"select * from runlog limit 3", 1, Qt::NoModifier, 1, "20 40 60", true},
        {"select * from runlog order by Date desc limit 3", 1, Qt::NoModifier, 1, "10 30 50", true},
        {"select Type, count(*) as Runs from runlog group by Type", 1, Qt::ControlModifier, 1, "2 1 1 1 1", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        frmDataGrid* g = openGrid(openSet(QString::fromUtf8(c.source)));
        ASSERT_NE(g, nullptr);
        clickHeading(g, c.heading, c.keys);
        EXPECT_EQ(column(g, c.shownColumn), QString::fromUtf8(c.expected));
        EXPECT_EQ(g->lblReadOnly->isVisibleTo(g), !c.writable);
        if (!c.writable) {
            EXPECT_EQ(g->lblReadOnly->text(), QStringLiteral("Read-only: computed rows"));
        }
        EXPECT_EQ(g->grdDataGrid->model()->rowCount(), rows(g) + (c.writable ? 1 : 0));  // the new-row line
        EXPECT_EQ(bool(g->grdDataGrid->model()->flags(g->grdDataGrid->model()->index(0, 0)) & Qt::ItemIsEditable),
                  c.writable);
        g->Unload();
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(GridWindowTest, afterASortTheFirstRowsShowWithTheFirstRowCurrent) {
    ASSERT_TRUE(QFile::remove(file));
    testgrid::createShuffledLog(file, 200);
    frmDataGrid* g = openGrid(openSet(QStringLiteral("runlog")));
    ASSERT_NE(g, nullptr);
    activate(g);
    g->grdDataGrid->setFocus();
    QTest::keyClick(g->grdDataGrid, Qt::Key_End, Qt::ControlModifier);
    ASSERT_GT(g->grdDataGrid->rowAt(0), 100);
    clickHeading(g, 1);
    EXPECT_EQ(g->grdDataGrid->rowAt(0), 0);
    EXPECT_EQ(g->grdDataGrid->currentIndex().row(), 0);
    EXPECT_EQ(shown(g, 0, 1), QStringLiteral("30"));
}

// The whole log read again on activation keeps the user's sort and current
// row, and shows the row added meanwhile.
TEST_F(GridWindowTest, aWholeLogGridReloadsInItsOrderAtTheUsersRow) {
    frmaddnew* entry = nullptr;
    frmDataGrid* g = openFromEntryForm(&entry);
    ASSERT_NE(g, nullptr);
    clickHeading(g, 1, Qt::ControlModifier);
    g->grdDataGrid->setCurrentIndex(g->grdDataGrid->model()->index(3, 2));
    ASSERT_EQ(shown(g, 3, 3), QStringLiteral("six"));
    exec(file, "INSERT INTO runlog VALUES ('2024-05-07', 55, 'Long', 'seven')");
    entry->activateForm();
    g->activateForm();
    EXPECT_EQ(column(g, 1), QStringLiteral("60 55 50 40 30 20 10"));
    EXPECT_EQ(g->grdDataGrid->currentIndex(), g->grdDataGrid->model()->index(4, 2));
    EXPECT_EQ(shown(g, 4, 3), QStringLiteral("six"));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(GridWindowTest, selectedRowsAreDeletedAfterOneQuestion) {
    frmDataGrid* g = openGrid(openSet(QStringLiteral("runlog")));
    ASSERT_NE(g, nullptr);
    activate(g);
    clickSelector(g, 1);
    clickSelector(g, 3, Qt::ShiftModifier);
    for (const int answer : {int(ui::vbNo), int(ui::vbYes)}) {
        recorder.clear();
        recorder.answer(answer);
        QTest::keyClick(g->grdDataGrid, Qt::Key_Delete);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].prompt, QStringLiteral("Delete 3 rows?"));
        EXPECT_EQ(boxes[0].buttons, ui::vbYesNo + ui::vbQuestion + ui::vbDefaultButton2);
    }
    EXPECT_EQ(column(g, 3), QStringLiteral("one five six"));
    EXPECT_EQ(scalar(file, "select group_concat(Description, ' ') from runlog"), QStringLiteral("one five six"));
}

// Refresh and a sort of a statement that runs long show the "still running"
// window; Cancel leaves the rows as they were, with a short message.
TEST_F(GridWindowTest, aLongRefreshOrSortCanBeCancelledAndKeepsTheRows) {
    exec(file, "CREATE TABLE pace (n INTEGER); INSERT INTO pace VALUES (0);");
    const struct {
        const char* what;
        std::function<void(frmDataGrid*)> run;
    } actions[] = {
        {"The refresh", [](frmDataGrid* g) { g->cmdRefresh->click(); }},
        {"The sort", [](frmDataGrid* g) { clickHeading(g, 1); }},
    };
    for (const auto& a : actions) {
        SCOPED_TRACE(a.what);
        exec(file, "UPDATE pace SET n = 0");
        frmDataGrid* g = openGrid(openSet(QStringLiteral(
            "select * from runlog where Time > (with recursive c(i) as (select 1 union all select i + 1 from c "
            "where i < (select n from pace)) select count(*) - (select n from pace) - 1 from c) order by Date")));
        ASSERT_NE(g, nullptr);
        ASSERT_EQ(column(g, 1), QStringLiteral("40 20 60 10 50 30"));
        exec(file, "UPDATE pace SET n = 500000000");
        bool seen = false;
        QTimer cancel;
        QObject::connect(&cancel, &QTimer::timeout, [&] {
            if (auto* running = g->findChild<QDialog*>(QStringLiteral("frmRunning"))) {
                seen = running->isVisible();
                QTest::mouseClick(running->findChild<QPushButton*>(QStringLiteral("cmdCancel")), Qt::LeftButton);
            }
        });
        cancel.start(50);
        recorder.clear();
        a.run(g);
        cancel.stop();
        EXPECT_TRUE(seen);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].prompt.startsWith(QString::fromUtf8(a.what) + QStringLiteral(" was stopped.")));
        EXPECT_EQ(column(g, 1), QStringLiteral("40 20 60 10 50 30"));
        EXPECT_EQ(ui::Screen::MousePointer(), ui::Screen::vbDefault);
        g->Unload();
    }
}

}  // namespace

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

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "support/sqlfile.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

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

TEST_F(GridWindowTest, aQuerysGridShowsTheWholeLogWhileTheFlagIsSet) {
    Module1::bGridFromEntry = True;
    frmDataGrid* g = openGrid(openSet(QStringLiteral("select * from runlog where Time > 35")));
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(rows(g), 6);
    EXPECT_EQ(g->Data1->RecordSource(), QStringLiteral("runlog"));
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

}  // namespace

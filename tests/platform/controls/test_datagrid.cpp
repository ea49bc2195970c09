// SPDX-License-Identifier: GPL-3.0-or-later
// The data-bound grid: columns, lazy rows, edits held until the row is
// written, the before-events, the new-row line, deletes, refusals and the
// mouse events' order.

#include "controls/datacontrol.h"
#include "controls/datagrid.h"
#include "loggrid.h"
#include "dao/dao.h"
#include "support/gui/modelcheck.h"
#include "support/gui/msgboxes.h"
#include "support/tempdir.h"
#include "ui/msgbox.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

#include "support/sqlfile.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr auto exec = testsupport::execSql;
constexpr auto scalar = testsupport::scalarSql;

using controls::DataControl;
using controls::DataGrid;
using testsupport::TempFolder;

// A log of `rows` runs, one a day from 2024-01-01 (the days repeat after
// 3000), durations 30, 31, ..., types Long and Tempo in turn.
void createLog(const QString& file, int rows) {
    testlog::create(file, rows,
                    {.date = "date('2024-01-01', '+' || (i % 3000) || ' days')",
                     .type = "CASE i % 2 WHEN 0 THEN 'Long' ELSE 'Tempo' END"});
}

class DataGridTest : public ::testing::Test {
protected:
    void SetUp() override {
        file = folder.file(QStringLiteral("Run.mdb"));
        createLog(file, 5);
        data = std::make_unique<DataControl>();
        grid = testgrid::makeLogGrid(data.get());
        testsupport::checkModel(grid->model());
        QObject::connect(grid.get(), &DataGrid::BeforeUpdate, [this](int& Cancel) {
            events.push_back("BeforeUpdate");
            if (cancelNext) Cancel = -1;
        });
        QObject::connect(grid.get(), &DataGrid::BeforeDelete, [this](int& Cancel) {
            events.push_back("BeforeDelete");
            if (cancelNext) Cancel = -1;
        });
        grid->resize(600, 300);
    }

    void TearDown() override {
        grid.reset();
        data.reset();
    }

    void open(const QString& source) {
        data->setDatabaseName(file);
        data->setRecordSource(source);
        data->Refresh();
    }

    QString shown(int row, int column) const {
        return grid->model()->data(grid->model()->index(row, column)).toString();
    }

    QModelIndex at(int row, int column) const { return grid->model()->index(row, column); }

    // Types text into a cell's editor and presses a key on it.
    void typeInto(int row, int column, const QString& text, Qt::Key key = Qt::Key_Return) {
        grid->setCurrentIndex(at(row, column));
        grid->edit(at(row, column));
        auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(at(row, column)));
        ASSERT_NE(editor, nullptr);
        editor->setText(text);
        QTest::keyClick(editor, key);
        QCoreApplication::processEvents();  // the editor commits on a queued call
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    TempFolder folder;
    QString file;
    std::unique_ptr<DataControl> data;
    std::unique_ptr<DataGrid> grid;
    testsupport::MsgBoxRecorder recorder;
    const std::vector<ui::MessageRecord>& boxes = recorder.boxes();
    std::vector<std::string> events;
    bool cancelNext = false;
};

TEST_F(DataGridTest, showsTheLogsFourColumnsAndANewRowLine) {
    open(QStringLiteral("runlog"));
    ASSERT_EQ(grid->ColumnCount(), 4);
    EXPECT_EQ(grid->ColumnCaption(1), QStringLiteral("Time (minutes)"));
    EXPECT_EQ(grid->model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Details"));
    EXPECT_EQ(grid->model()->rowCount(), 6);  // five rows and the new-row line
    EXPECT_EQ(shown(0, 0), QStringLiteral("2024-01-01"));
    EXPECT_EQ(shown(4, 1), QStringLiteral("34"));
    EXPECT_EQ(shown(1, 3), QStringLiteral("run 1"));
    EXPECT_EQ(grid->model()->headerData(5, Qt::Vertical).toString(), QStringLiteral("*"));
    EXPECT_TRUE(shown(5, 0).isEmpty());
}

TEST_F(DataGridTest, fieldsInAnotherOrderStayUnderTheirHeadings) {
    open(QStringLiteral("select Description, Type, Time, Date from runlog"));
    ASSERT_EQ(grid->ColumnCount(), 4);
    EXPECT_EQ(grid->ColumnCaption(0), QStringLiteral("Date"));
    EXPECT_EQ(shown(0, 0), QStringLiteral("2024-01-01"));
    EXPECT_EQ(grid->ColumnDataField(1), QStringLiteral("Time"));
    EXPECT_EQ(grid->ColumnFieldIndex(1), 2);
}

TEST_F(DataGridTest, aQueryWithOtherFieldsShowsItsOwnFields) {
    open(QStringLiteral("select Type, count(*) as Runs from runlog group by Type order by Type"));
    ASSERT_EQ(grid->ColumnCount(), 2);
    EXPECT_EQ(grid->ColumnCaption(0), QStringLiteral("Type"));
    EXPECT_EQ(grid->ColumnCaption(1), QStringLiteral("Runs"));
    EXPECT_EQ(shown(0, 0), QStringLiteral("Long"));
    EXPECT_EQ(shown(0, 1), QStringLiteral("3"));
    EXPECT_EQ(grid->ColumnFieldIndex(1), 1);
    // A set that cannot take new rows offers no new-row line.
    EXPECT_EQ(grid->model()->rowCount(), 2);
}

TEST_F(DataGridTest, editsAreHeldUntilTheRowIsLeft) {
    open(QStringLiteral("runlog"));
    grid->setCurrentIndex(at(1, 2));
    ASSERT_TRUE(grid->model()->setData(at(1, 2), QStringLiteral("Race")));
    ASSERT_TRUE(grid->model()->setData(at(1, 1), QStringLiteral("95")));
    EXPECT_EQ(shown(1, 2), QStringLiteral("Race"));
    EXPECT_TRUE(grid->DataChanged());
    EXPECT_EQ(scalar(file, "select Type from runlog where rowid = 2"), QStringLiteral("Tempo"));
    EXPECT_TRUE(events.empty());

    grid->setCurrentIndex(at(3, 0));  // leaving the row writes it
    EXPECT_EQ(events, std::vector<std::string>{"BeforeUpdate"});
    EXPECT_EQ(scalar(file, "select Type || ' ' || Time from runlog where rowid = 2"), QStringLiteral("Race 95"));
    EXPECT_FALSE(grid->DataChanged());
}

TEST_F(DataGridTest, enterOnTheRowWritesIt) {
    open(QStringLiteral("runlog"));
    grid->show();
    typeInto(0, 3, QStringLiteral("easy loop"));
    EXPECT_EQ(events, std::vector<std::string>{"BeforeUpdate"});
    EXPECT_EQ(scalar(file, "select Description from runlog where rowid = 1"), QStringLiteral("easy loop"));
}

TEST_F(DataGridTest, cancelledUpdateWritesNothingAndShowsTheStoredValues) {
    open(QStringLiteral("runlog"));
    cancelNext = true;
    grid->setCurrentIndex(at(0, 2));
    grid->model()->setData(at(0, 2), QStringLiteral("Race"));
    EXPECT_FALSE(grid->UpdateRow());
    EXPECT_EQ(scalar(file, "select Type from runlog where rowid = 1"), QStringLiteral("Long"));
    EXPECT_EQ(shown(0, 2), QStringLiteral("Long"));
    EXPECT_FALSE(grid->DataChanged());
}

TEST_F(DataGridTest, theNewRowLineAddsARow) {
    open(QStringLiteral("runlog"));
    grid->show();
    typeInto(5, 0, QStringLiteral("2024-06-01"), Qt::Key_Tab);
    EXPECT_EQ(scalar(file, "select count(*) from runlog"), QStringLiteral("5"));  // not yet
    grid->model()->setData(at(5, 1), QStringLiteral("42"));
    grid->setCurrentIndex(at(0, 0));
    EXPECT_EQ(events, std::vector<std::string>{"BeforeUpdate"});
    EXPECT_EQ(scalar(file, "select Date || ' ' || Time || ' ' || ifnull(Type, 'none') from runlog where rowid = 6"),
              QStringLiteral("2024-06-01 42 none"));
    EXPECT_EQ(grid->model()->rowCount(), 7);
    EXPECT_EQ(shown(5, 1), QStringLiteral("42"));
    EXPECT_TRUE(shown(6, 0).isEmpty());
}

TEST_F(DataGridTest, wrongDateOrDurationIsRefusedWithAMessage) {
    open(QStringLiteral("runlog"));
    grid->show();
    typeInto(0, 0, QStringLiteral("31/05/2024"));
    typeInto(0, 0, QStringLiteral("2024-02-30"));
    typeInto(0, 1, QStringLiteral("1:30"));
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("YYYY-MM-DD")));
    EXPECT_TRUE(boxes[2].prompt.contains(QStringLiteral("whole number of minutes")));
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(grid->DataChanged());
    EXPECT_EQ(scalar(file, "select Date || ' ' || Time from runlog where rowid = 1"), QStringLiteral("2024-01-01 30"));
}

TEST_F(DataGridTest, deleteKeyAsksAndDeletesTheSelectedRow) {
    open(QStringLiteral("runlog"));
    grid->show();
    grid->selectRow(2);
    cancelNext = true;
    QTest::keyClick(grid.get(), Qt::Key_Delete);
    EXPECT_EQ(events, std::vector<std::string>{"BeforeDelete"});
    EXPECT_EQ(scalar(file, "select count(*) from runlog"), QStringLiteral("5"));

    cancelNext = false;
    grid->selectRow(2);
    QTest::keyClick(grid.get(), Qt::Key_Delete);
    EXPECT_EQ(scalar(file, "select count(*) from runlog where Description = 'run 2'"), QStringLiteral("0"));
    EXPECT_EQ(shown(2, 3), QStringLiteral("run 3"));
    EXPECT_EQ(grid->model()->rowCount(), 5);
}

TEST_F(DataGridTest, deleteWithoutASelectedRowOrWhenNotAllowedDoesNothing) {
    open(QStringLiteral("runlog"));
    grid->show();
    grid->setCurrentIndex(at(1, 1));  // a cell, not a whole row
    QTest::keyClick(grid.get(), Qt::Key_Delete);
    grid->setAllowDelete(false);
    grid->selectRow(1);
    QTest::keyClick(grid.get(), Qt::Key_Delete);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(scalar(file, "select count(*) from runlog"), QStringLiteral("5"));
}

TEST_F(DataGridTest, aWriteTheSetRefusesIsReportedAndTheGridStaysUsable) {
    open(QStringLiteral("select Type, count(*) as Runs from runlog group by Type order by Type"));
    grid->setCurrentIndex(at(0, 0));
    grid->model()->setData(at(0, 0), QStringLiteral("Easy"));
    EXPECT_FALSE(grid->UpdateRow());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("not saved")));
    EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("3027")));
    EXPECT_EQ(shown(0, 0), QStringLiteral("Long"));
    EXPECT_EQ(scalar(file, "select count(*) from runlog where Type = 'Easy'"), QStringLiteral("0"));

    // Deleting from it is refused the same way.
    grid->show();
    grid->selectRow(0);
    QTest::keyClick(grid.get(), Qt::Key_Delete);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[1].prompt.contains(QStringLiteral("not deleted")));
    EXPECT_EQ(grid->model()->rowCount(), 2);
}

TEST_F(DataGridTest, aRowDeletedMeanwhileIsNotWrittenAgain) {
    open(QStringLiteral("runlog"));
    exec(file, "DELETE FROM runlog WHERE rowid = 2");
    grid->setCurrentIndex(at(1, 2));
    grid->model()->setData(at(1, 2), QStringLiteral("Race"));
    EXPECT_FALSE(grid->UpdateRow());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("3167")));
    EXPECT_EQ(scalar(file, "select count(*) from runlog"), QStringLiteral("4"));
    EXPECT_FALSE(grid->DataChanged());
}

// Another program changes a run the grid shows. A write of a field it
// changed, whether the user began typing before or after that change, is
// refused with a message naming the run and writes nothing; the user's
// next write of it replaces the stored value. A write of other fields goes
// through beside the other change.
TEST_F(DataGridTest, aFieldChangedElsewhereSinceTheGridShowedItIsNotOverwritten) {
    struct Case {
        const char* elsewhere;
        int column;
        const char* typed;
        bool typedFirst;
        const char* refusedAs;  // in the message; null when the write goes through
        const char* stored;     // Type, Time and Description of the run afterwards
    };
    const Case cases[] = {
        {"UPDATE runlog SET Type = 'Race' WHERE rowid = 2", 2, "Recovery", false, "2024-01-02 (Race)",
         "Race 31 run 1"},
        {"UPDATE runlog SET Type = 'Race' WHERE rowid = 2", 2, "Recovery", true, "Type now holds \"Race\"",
         "Race 31 run 1"},
        {"UPDATE runlog SET Time = 99 WHERE rowid = 2", 1, "45", true, "Time now holds 99", "Tempo 99 run 1"},
        {"UPDATE runlog SET Description = 'other' WHERE rowid = 2", 2, "Recovery", false, nullptr,
         "Recovery 31 other"},
    };
    open(QStringLiteral("runlog"));
    const std::string stored = "select Type || ' ' || Time || ' ' || Description from runlog where rowid = 2";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.elsewhere);
        exec(file, "UPDATE runlog SET Type = 'Tempo', Time = 31, Description = 'run 1' WHERE rowid = 2");
        data->Recordset()->Requery();
        recorder.clear();
        EXPECT_EQ(shown(1, 2), QStringLiteral("Tempo"));
        grid->setCurrentIndex(at(1, c.column));
        if (c.typedFirst) grid->model()->setData(at(1, c.column), QString::fromLatin1(c.typed));
        exec(file, c.elsewhere);
        if (!c.typedFirst) grid->model()->setData(at(1, c.column), QString::fromLatin1(c.typed));
        EXPECT_EQ(grid->UpdateRow(), c.refusedAs == nullptr);
        EXPECT_EQ(scalar(file, stored), QString::fromLatin1(c.stored));
        if (!c.refusedAs) {
            EXPECT_TRUE(boxes.empty());
            continue;
        }
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("changed by another user"))) << boxes[0].prompt.toStdString();
        EXPECT_TRUE(boxes[0].prompt.contains(QString::fromLatin1(c.refusedAs))) << boxes[0].prompt.toStdString();
        // Told, the user writes it again: now it replaces the other change.
        grid->model()->setData(at(1, c.column), QString::fromLatin1(c.typed));
        EXPECT_TRUE(grid->UpdateRow());
        EXPECT_EQ(scalar(file, "select " + std::string(c.column == 1 ? "Time" : "Type") + " from runlog where rowid = 2"),
                  QString::fromLatin1(c.typed));
    }
}

TEST_F(DataGridTest, mouseUpComesBeforeHeadClickWithTheModifierMask) {
    open(QStringLiteral("runlog"));
    grid->show();
    std::vector<std::string> seen;
    QObject::connect(grid.get(), &DataGrid::MouseUp, [&](int Button, int Shift, float, float) {
        seen.push_back("MouseUp " + std::to_string(Button) + " " + std::to_string(Shift));
    });
    QObject::connect(grid.get(), &DataGrid::HeadClick,
                     [&](int ColIndex) { seen.push_back("HeadClick " + std::to_string(ColIndex)); });
    QHeaderView* h = grid->horizontalHeader();
    const QPoint second(h->sectionViewportPosition(1) + 5, h->height() / 2);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::ControlModifier | Qt::ShiftModifier, second);
    QTest::mouseClick(grid->viewport(), Qt::RightButton, Qt::AltModifier, QPoint(10, 10));
    EXPECT_EQ(seen, (std::vector<std::string>{"MouseUp 1 3", "HeadClick 1", "MouseUp 2 4"}));
}

TEST_F(DataGridTest, rebindsWhenTheRecordsetIsReplacedOrRequeried) {
    open(QStringLiteral("runlog"));
    dao::RecordsetPtr rs = data->Recordset();
    rs->setSort(QStringLiteral("[Time] desc"));
    data->setRecordset(rs->OpenRecordset());
    EXPECT_EQ(shown(0, 1), QStringLiteral("34"));

    exec(file, "INSERT INTO runlog VALUES ('2024-03-01', 200, 'Race', 'outside')");
    data->Recordset()->Requery();
    EXPECT_EQ(shown(0, 1), QStringLiteral("200"));
    EXPECT_EQ(grid->model()->rowCount(), 7);
}

TEST_F(DataGridTest, aLargeSetIsReadOnlyAroundTheRowsInView) {
    file = folder.file(QStringLiteral("Large.mdb"));
    createLog(file, 200000);
    open(QStringLiteral("runlog"));
    grid->show();
    EXPECT_EQ(grid->model()->rowCount(), 200001);
    grid->scrollToBottom();
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(199999, 3), QStringLiteral("run 199999"));
    grid->scrollToTop();
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(0, 3), QStringLiteral("run 0"));
    // Only a few pages were read, far below the cache's budget.
    EXPECT_LT(grid->recordsetModel()->cachedBytes(), 256 * 1024);
}

}  // namespace

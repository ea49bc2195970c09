// SPDX-License-Identifier: GPL-3.0-or-later
// The grid over a sorted set that has collected only its first rows: it
// shows them at once and the rest when the view reaches their end. Qt's
// model checker fetches the rest itself at every change, so only the first
// test has it; test_modelchecker.cpp runs the checker over these sets.

#include "controls/datacontrol.h"
#include "controls/datagrid.h"
#include "loggrid.h"
#include "dao/dao.h"
#include "support/gui/modelcheck.h"
#include "support/gui/windows.h"
#include "support/tempdir.h"

#include <QScrollBar>
#include <QTest>

#include "support/sqlfile.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <string>

namespace {

constexpr auto exec = testsupport::execSql;

using controls::DataControl;
using controls::DataGrid;

constexpr int kRows = 1000;
constexpr int kFirst = 256;

class LazyRowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        file = folder.file(QStringLiteral("Run.mdb"));
        // Durations 30..119, many runs sharing each.
        testgrid::createShuffledLog(file, kRows);
        data = std::make_unique<DataControl>();
        grid = testgrid::makeLogGrid(data.get());
        grid->resize(600, 300);
        data->setDatabaseName(file);
        data->setRecordSource(QStringLiteral("runlog"));
        data->Refresh();
    }

    void TearDown() override {
        grid.reset();
        data.reset();
    }

    // What a heading click does: the set sorted, handed to the data control.
    void sortBy(const QString& expression) {
        dao::RecordsetPtr rs = data->Recordset();
        rs->setSort(expression);
        data->setRecordset(rs->OpenRecordset(rs->Type()));
    }

    void showGrid() {
        grid->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(grid.get()));
    }

    QString shown(int row, int column) const {
        return grid->model()->data(grid->model()->index(row, column)).toString();
    }

    controls::RecordsetModel* model() const { return grid->recordsetModel(); }

    testsupport::TempFolder folder;
    QString file;
    std::unique_ptr<DataControl> data;
    std::unique_ptr<DataGrid> grid;
};

// The model checker fetches what can be fetched as it starts. (Qt 6.4's
// checker also fetches from its reset signal; the model offers nothing to
// fetch while it announces a change, see test_modelchecker.cpp.)
TEST_F(LazyRowsTest, modelCheckerAcceptsTheRowsFetched) {
    sortBy(QStringLiteral("[Time]"));
    ASSERT_EQ(grid->model()->rowCount(), kFirst);
    testsupport::checkModel(grid->model());
    EXPECT_EQ(grid->model()->rowCount(), kRows + 1);
    EXPECT_FALSE(grid->model()->canFetchMore(QModelIndex()));
}

TEST_F(LazyRowsTest, sortedGridShowsItsFirstRowsAndTheRestAtTheBottom) {
    EXPECT_EQ(grid->model()->rowCount(), kRows + 1);  // the whole table and the new-row line
    EXPECT_FALSE(grid->model()->canFetchMore(QModelIndex()));
    sortBy(QStringLiteral("[Time]"));
    EXPECT_EQ(grid->model()->rowCount(), kFirst);  // no new-row line in the middle of the order
    EXPECT_EQ(model()->newRowLine(), -1);
    EXPECT_EQ(shown(0, 1), QStringLiteral("30"));
    EXPECT_TRUE(grid->model()->canFetchMore(QModelIndex()));

    showGrid();
    grid->scrollToBottom();  // the scroll bar reaches its end: the view fetches
    ASSERT_TRUE(testsupport::waitFor([&] { return grid->model()->rowCount() == kRows + 1; }))
        << grid->model()->rowCount();
    EXPECT_FALSE(grid->model()->canFetchMore(QModelIndex()));
    EXPECT_EQ(model()->newRowLine(), kRows);
    EXPECT_EQ(shown(kRows - 1, 1), QStringLiteral("119"));
    EXPECT_EQ(shown(kFirst - 1, 3), data->Recordset()->valueAt(kFirst - 1, 3).toString());
}

TEST_F(LazyRowsTest, ctrlEndGoesToTheEndOfTheWholeSet) {
    sortBy(QStringLiteral("[Time] desc"));
    showGrid();
    grid->setCurrentIndex(grid->model()->index(0, 0));
    QTest::keyClick(grid.get(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(grid->model()->rowCount(), kRows + 1);
    EXPECT_EQ(grid->currentIndex().row(), kRows);  // the new-row line, after the last row
    EXPECT_EQ(shown(kRows - 1, 1), QStringLiteral("30"));
}

TEST_F(LazyRowsTest, rowAddedAfterTheRestIsShownJoinsTheEnd) {
    sortBy(QStringLiteral("[Time]"));
    grid->model()->fetchMore(QModelIndex());
    ASSERT_EQ(model()->newRowLine(), kRows);
    ASSERT_TRUE(grid->model()->setData(grid->model()->index(kRows, 1), QStringLiteral("5")));
    ASSERT_TRUE(model()->commitRow());
    EXPECT_EQ(grid->model()->rowCount(), kRows + 2);
    EXPECT_EQ(shown(kRows, 1), QStringLiteral("5"));
    EXPECT_EQ(shown(0, 1), QStringLiteral("30"));
}

// While a row holds edits the rest of the rows still show as the view
// scrolls to them, and the edits stay with their row, also when rows that
// sort before it arrived meanwhile.
TEST_F(LazyRowsTest, rowsPastTheFirstOnesShowWhileARowHoldsEdits) {
    sortBy(QStringLiteral("[Time]"));
    showGrid();
    ASSERT_TRUE(grid->model()->setData(grid->model()->index(3, 3), QStringLiteral("typed")));
    const QString edited = data->Recordset()->valueAt(3, 3).toString();
    exec(file, "INSERT INTO runlog VALUES ('2023-01-01', 1, 'Long', 'first'), ('2023-01-02', 2, 'Long', 'second');");
    grid->scrollToBottom();
    ASSERT_TRUE(testsupport::waitFor([&] { return grid->model()->rowCount() == kRows + 3; }))
        << grid->model()->rowCount();
    EXPECT_EQ(model()->pendingRow(), 5);
    EXPECT_EQ(shown(5, 3), QStringLiteral("typed"));
    EXPECT_EQ(shown(0, 3), QStringLiteral("first"));
    ASSERT_TRUE(model()->commitRow());
    EXPECT_EQ(testsupport::scalarSql(file, "select count(*) from runlog where Description = 'typed'"),
              QStringLiteral("1"));
    EXPECT_EQ(testsupport::scalarSql(file, "select count(*) from runlog where Description = '" +
                                               edited.toStdString() + "'"),
              QStringLiteral("0"));
}

TEST_F(LazyRowsTest, rowsChangedMeanwhileShowAfreshWhenTheRestIsFetched) {
    sortBy(QStringLiteral("[Time]"));
    exec(file, "INSERT INTO runlog VALUES ('2024-01-01', 1, 'Long', 'first');");
    grid->model()->fetchMore(QModelIndex());
    EXPECT_EQ(grid->model()->rowCount(), kRows + 2);
    EXPECT_EQ(shown(0, 3), QStringLiteral("first"));
    EXPECT_EQ(shown(kFirst, 1), data->Recordset()->valueAt(kFirst, 1).toString());
}

TEST_F(LazyRowsTest, setCompletedElsewhereIsShownWholeOnTheNextFetch) {
    sortBy(QStringLiteral("[Time]"));
    data->Recordset()->MoveLast();  // e.g. the data control's own buttons
    EXPECT_EQ(grid->model()->rowCount(), kFirst);
    ASSERT_TRUE(grid->model()->canFetchMore(QModelIndex()));
    grid->model()->fetchMore(QModelIndex());
    EXPECT_EQ(grid->model()->rowCount(), kRows + 1);
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// The grid's model under Qt's model checker while rows are added through the
// new-row line, deleted and rewritten, on a plain set and on a sorted set
// that collected only its first rows. The checker reads the rows around a
// change while it is announced and asks for more rows at every signal, so
// the model must tell one consistent story at each step.

#include "controls/datacontrol.h"
#include "controls/datagrid.h"
#include "loggrid.h"
#include "controls/recordsetmodel.h"
#include "dao/dao.h"
#include "support/sqlfile.h"
#include "support/gui/modelcheck.h"
#include "support/gui/msgboxes.h"
#include "support/gui/windows.h"
#include "support/tempdir.h"

#include <QAbstractItemModelTester>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

constexpr auto exec = testsupport::execSql;
constexpr auto scalar = testsupport::scalarSql;

using controls::DataControl;
using controls::DataGrid;

// Neither a multiple of the model's pages nor of the sorted set's first rows.
constexpr int kRows = 300;
constexpr int kFirst = 256;

class ModelCheckerTest : public ::testing::Test {
protected:
    void SetUp() override {
        file = folder.file(QStringLiteral("Run.mdb"));
        // Distinct dates; durations 30..119 in a shuffled order.
        testgrid::createShuffledLog(file, kRows);
        data = std::make_unique<DataControl>();
        grid = testgrid::makeLogGrid(data.get());
        grid->resize(600, 300);
        data->setDatabaseName(file);
        data->setRecordSource(QStringLiteral("runlog"));
        data->Refresh();
        grid->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(grid.get()));
    }

    void TearDown() override {
        grid.reset();
        data.reset();
    }

    void sortBy(const QString& expression) {
        dao::RecordsetPtr rs = data->Recordset();
        rs->setSort(expression);
        data->setRecordset(rs->OpenRecordset(rs->Type()));
    }

    // Any complaint of the checker ends the test program. Once is enough:
    // the checker stays with the model.
    void attachChecker() {
        if (!m()->findChild<QAbstractItemModelTester*>()) testsupport::checkModel(m());
    }

    QAbstractItemModel* m() const { return grid->model(); }
    controls::RecordsetModel* model() const { return grid->recordsetModel(); }
    QString shown(int row, int column) const { return m()->data(m()->index(row, column)).toString(); }

    // Types a row into the new-row line and writes it.
    void addThroughNewRowLine(const QString& date, const QString& minutes, const QString& details) {
        const int line = model()->newRowLine();
        ASSERT_GE(line, 0);
        grid->setCurrentIndex(m()->index(line, 0));
        ASSERT_TRUE(m()->setData(m()->index(line, 0), date));
        ASSERT_TRUE(m()->setData(m()->index(line, 1), minutes));
        ASSERT_TRUE(m()->setData(m()->index(line, 3), details));
        ASSERT_TRUE(model()->commitRow());
    }

    testsupport::TempFolder folder;
    QString file;
    std::unique_ptr<DataControl> data;
    std::unique_ptr<DataGrid> grid;
};

TEST_F(ModelCheckerTest, rowAddedThroughTheNewRowLineJoinsThePlainSet) {
    attachChecker();
    ASSERT_EQ(m()->rowCount(), kRows + 1);
    addThroughNewRowLine(QStringLiteral("2025-03-01"), QStringLiteral("42"), QStringLiteral("added"));
    EXPECT_EQ(m()->rowCount(), kRows + 2);
    EXPECT_EQ(model()->newRowLine(), kRows + 1);
    EXPECT_EQ(shown(kRows, 0), QStringLiteral("2025-03-01"));
    EXPECT_EQ(shown(kRows, 3), QStringLiteral("added"));
    EXPECT_EQ(shown(kRows - 1, 3), QStringLiteral("run 299"));
    EXPECT_TRUE(shown(kRows + 1, 0).isEmpty());
    EXPECT_EQ(scalar(file, "select count(*) from runlog"), QString::number(kRows + 1));

    addThroughNewRowLine(QStringLiteral("2025-03-02"), QStringLiteral("43"), QStringLiteral("second"));
    EXPECT_EQ(m()->rowCount(), kRows + 3);
    EXPECT_EQ(shown(kRows + 1, 3), QStringLiteral("second"));
}

TEST_F(ModelCheckerTest, rowAddedToASortedSetJoinsItsEndOnceTheRestIsFetched) {
    sortBy(QStringLiteral("[Time]"));
    ASSERT_EQ(m()->rowCount(), kFirst);
    attachChecker();  // the checker fetches the rest as it starts
    ASSERT_EQ(m()->rowCount(), kRows + 1);
    ASSERT_FALSE(m()->canFetchMore(QModelIndex()));
    addThroughNewRowLine(QStringLiteral("2025-03-01"), QStringLiteral("5"), QStringLiteral("added"));
    EXPECT_EQ(m()->rowCount(), kRows + 2);
    EXPECT_EQ(shown(kRows, 1), QStringLiteral("5"));
    EXPECT_EQ(shown(kRows, 3), QStringLiteral("added"));
    EXPECT_EQ(shown(0, 1), QStringLiteral("30"));
    EXPECT_EQ(shown(kRows - 1, 1), QStringLiteral("119"));
    EXPECT_FALSE(m()->canFetchMore(QModelIndex()));
}

// The checker attached before the sort: the model offers nothing to fetch
// while it announces the new set (Qt 6.4's checker fetches from inside its
// reset signal), and the view fetches the rest when it reaches the end.
TEST_F(ModelCheckerTest, sortedSetIsFetchedByTheViewWithTheCheckerAttached) {
    attachChecker();
    sortBy(QStringLiteral("[Time] desc"));
    EXPECT_EQ(m()->rowCount(), kFirst);
    grid->scrollToBottom();
    ASSERT_TRUE(testsupport::waitFor([&] { return m()->rowCount() == kRows + 1; })) << m()->rowCount();
    EXPECT_FALSE(m()->canFetchMore(QModelIndex()));
    EXPECT_EQ(shown(0, 1), QStringLiteral("119"));
    EXPECT_EQ(shown(kRows - 1, 1), QStringLiteral("30"));
    EXPECT_EQ(shown(kFirst - 1, 3), data->Recordset()->valueAt(kFirst - 1, 3).toString());
    addThroughNewRowLine(QStringLiteral("2025-03-01"), QStringLiteral("200"), QStringLiteral("added"));
    EXPECT_EQ(m()->rowCount(), kRows + 2);
    EXPECT_EQ(shown(kRows, 1), QStringLiteral("200"));
}

TEST_F(ModelCheckerTest, deletedRowLeavesThePlainSet) {
    attachChecker();
    model()->deleteRow(10);
    EXPECT_EQ(m()->rowCount(), kRows);
    EXPECT_EQ(shown(9, 3), QStringLiteral("run 9"));
    EXPECT_EQ(shown(10, 3), QStringLiteral("run 11"));
    EXPECT_EQ(shown(kRows - 2, 3), QStringLiteral("run 299"));
    model()->deleteRow(kRows - 2);  // the last row, before the new-row line
    EXPECT_EQ(m()->rowCount(), kRows - 1);
    EXPECT_EQ(shown(kRows - 3, 3), QStringLiteral("run 298"));
    EXPECT_EQ(scalar(file, "select count(*) from runlog"), QString::number(kRows - 2));
}

TEST_F(ModelCheckerTest, deletedRowLeavesTheSortedSet) {
    sortBy(QStringLiteral("[Time]"));
    attachChecker();
    const QString next = shown(6, 3);
    model()->deleteRow(5);
    EXPECT_EQ(m()->rowCount(), kRows);
    EXPECT_EQ(shown(5, 3), next);
    EXPECT_EQ(scalar(file, "select count(*) from runlog"), QString::number(kRows - 1));
}

TEST_F(ModelCheckerTest, rewrittenRowShowsItsNewValues) {
    attachChecker();
    grid->setCurrentIndex(m()->index(7, 2));
    ASSERT_TRUE(m()->setData(m()->index(7, 2), QStringLiteral("Race")));
    ASSERT_TRUE(m()->setData(m()->index(7, 1), QStringLiteral("95")));
    EXPECT_EQ(shown(7, 2), QStringLiteral("Race"));
    ASSERT_TRUE(model()->commitRow());
    EXPECT_EQ(shown(7, 2), QStringLiteral("Race"));
    EXPECT_EQ(shown(7, 1), QStringLiteral("95"));
    EXPECT_EQ(scalar(file, "select Type || ' ' || Time from runlog where rowid = 8"), QStringLiteral("Race 95"));
    EXPECT_EQ(m()->rowCount(), kRows + 1);
}

// A row being edited does not keep a sorted set at its first rows: the
// checker fetches the rest, and the edits stay with their row.
TEST_F(ModelCheckerTest, rowBeingEditedOnASortedSetKeepsItsEditsWhenTheRestIsFetched) {
    sortBy(QStringLiteral("[Time]"));
    ASSERT_TRUE(m()->setData(m()->index(3, 3), QStringLiteral("typed")));
    attachChecker();  // the checker fetches the rest as it starts
    EXPECT_EQ(m()->rowCount(), kRows + 1);
    EXPECT_EQ(shown(3, 3), QStringLiteral("typed"));
    ASSERT_TRUE(model()->commitRow());
    EXPECT_EQ(shown(3, 3), QStringLiteral("typed"));
    EXPECT_EQ(shown(kRows - 1, 1), QStringLiteral("119"));
}

// A statement runs on the set's own connection under the "still running"
// window, which answers events from inside it: the grid paints and scrolls
// meanwhile without reading through the connection (it would be refused),
// shows what it held, says nothing, and shows the rest once it has ended.
TEST_F(ModelCheckerTest, gridPaintedDuringAStatementOnItsConnectionShowsTheRestAfterIt) {
    attachChecker();
    testsupport::MsgBoxRecorder boxes;
    const QString firstShown = shown(0, 3);  // the first page is on the screen
    const int far = kRows - 20;
    dao::DatabasePtr db = data->Recordset()->database();
    QString firstDuring, farDuring;
    QTimer::singleShot(0, [&] {
        firstDuring = shown(0, 3);
        farDuring = shown(far, 3);
        grid->scrollToBottom();
        grid->repaint();
        db->Interrupt();
    });
    EXPECT_EQ(testsupport::runUntilInterrupted(*db, grid.get()), dao::err::Cancelled);
    EXPECT_EQ(firstDuring, firstShown);
    EXPECT_TRUE(farDuring.isEmpty()) << farDuring.toStdString();
    EXPECT_EQ(boxes.count(), 0) << boxes.prompts().join(u'|').toStdString();
    ASSERT_TRUE(testsupport::waitFor([&] { return shown(far, 3) == QStringLiteral("run %1").arg(far); }))
        << shown(far, 3).toStdString();
}

// Several rows deleted at once leave the view range by range; a new row
// typed and dropped leaves the new-row line where it was.
TEST_F(ModelCheckerTest, rowsDeletedTogetherAndANewRowDroppedKeepTheStoryConsistent) {
    // The sorted set first: the checker, attached to it, fetches the rest.
    for (const char* order : {"[Time] desc", ""}) {
        SCOPED_TRACE(order);
        if (*order) sortBy(QString::fromLatin1(order));
        else data->Refresh();
        attachChecker();
        const int rows = int(model()->recordCount());
        const QStringList keep = {shown(1, 3), shown(5, 3), shown(12, 3)};
        model()->deleteRows({2, 3, 4, 10, 11, 6, rows - 1});
        EXPECT_EQ(model()->recordCount(), rows - 7);
        EXPECT_EQ(QStringList({shown(1, 3), shown(2, 3), shown(6, 3)}), keep);
        EXPECT_EQ(scalar(file, "select count(*) from runlog"), QString::number(rows - 7));

        const int line = model()->newRowLine();
        ASSERT_GE(line, 0);
        ASSERT_TRUE(m()->setData(m()->index(line, 3), QStringLiteral("typed")));
        EXPECT_EQ(model()->newRowLine(), line + 1);
        model()->revertRow();
        EXPECT_EQ(model()->newRowLine(), line);
        EXPECT_EQ(m()->rowCount(), line + 1);
    }
}

}  // namespace

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
#include "support/gui/windows.h"
#include "support/tempdir.h"
#include "ui/msgbox.h"

#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "support/sqlfile.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
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
        QObject::connect(grid.get(), &DataGrid::HeadClick,
                         [this](int ColIndex) { events.push_back("HeadClick " + std::to_string(ColIndex)); });
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

    // Types text over a cell's value in its editor and presses a key on it.
    void typeInto(int row, int column, const QString& text, Qt::Key key = Qt::Key_Return) {
        grid->setCurrentIndex(at(row, column));
        grid->edit(at(row, column));
        auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(at(row, column)));
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, key);
        QCoreApplication::processEvents();  // the editor commits on a queued call
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void showActive() {
        grid->show();
        grid->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(grid.get()));
    }

    QLineEdit* editorAt(int row, int column) const {
        return qobject_cast<QLineEdit*>(grid->indexWidget(at(row, column)));
    }

    // Types into a cell as the user does: the first key opens its editor.
    QLineEdit* typeKeys(int row, int column, const QString& text) {
        grid->setCurrentIndex(at(row, column));
        QTest::keyClick(grid.get(), text.at(0).toLatin1());
        QLineEdit* editor = editorAt(row, column);
        if (editor) QTest::keyClicks(editor, text.mid(1));
        return editor;
    }

    QString selector(int row) const { return grid->model()->headerData(row, Qt::Vertical).toString(); }

    void clickHeading(int column) {
        QHeaderView* h = grid->horizontalHeader();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(column) + 8, h->height() / 2));
    }

    void clickSelector(int row, Qt::KeyboardModifiers keys = {}) {
        QHeaderView* v = grid->verticalHeader();
        QTest::mouseClick(v->viewport(), Qt::LeftButton, keys, QPoint(v->width() / 2, v->sectionViewportPosition(row) + 4));
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
        // What was typed stays, marked; written again it replaces the other
        // change (the row as stored now is what the retry expects).
        EXPECT_EQ(shown(1, c.column), QString::fromLatin1(c.typed));
        EXPECT_TRUE(grid->model()->data(at(1, c.column), Qt::BackgroundRole).isValid());
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

// A value the cell refuses stays in its editor, marked, with the message,
// whichever way the user tries to leave the cell; Esc drops it.
TEST_F(DataGridTest, aRefusedValueStaysInItsEditorWhicheverWayTheUserLeaves) {
    open(QStringLiteral("runlog"));
    showActive();
    const struct {
        const char* way;
        std::function<void()> leave;
    } ways[] = {
        {"Enter", [&] { QTest::keyClick(editorAt(0, 1), Qt::Key_Return); }},
        {"Tab", [&] { QTest::keyClick(editorAt(0, 1), Qt::Key_Tab); }},
        {"Down arrow", [&] { QTest::keyClick(editorAt(0, 1), Qt::Key_Down); }},
        {"click on another row",
         [&] { QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(at(3, 2)).center()); }},
        {"click on a record selector", [&] { clickSelector(3); }},
        {"click on a heading", [&] { clickHeading(2); }},
        {"the window's refresh or close", [&] { EXPECT_FALSE(grid->finishEdits()); }},
    };
    for (const auto& w : ways) {
        SCOPED_TRACE(w.way);
        recorder.clear();
        events.clear();
        ASSERT_NE(typeKeys(0, 1, QStringLiteral("1:30")), nullptr);
        EXPECT_EQ(selector(0), QString(QChar(0x270E)));
        w.leave();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("whole number of minutes")));
        QLineEdit* editor = editorAt(0, 1);
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->text(), QStringLiteral("1:30"));
        EXPECT_EQ(editor->selectedText(), QStringLiteral("1:30"));
        EXPECT_EQ(grid->currentIndex(), at(0, 1));
        EXPECT_TRUE(events.empty());
        EXPECT_TRUE(grid->DataChanged());
        QTest::keyClick(editor, Qt::Key_Escape);
        EXPECT_FALSE(grid->DataChanged());
        EXPECT_EQ(shown(0, 1), QStringLiteral("30"));
    }
    ASSERT_NE(typeKeys(0, 0, QStringLiteral("2024-02-30")), nullptr);
    QTest::keyClick(editorAt(0, 0), Qt::Key_Return);
    EXPECT_TRUE(boxes.back().prompt.contains(QStringLiteral("YYYY-MM-DD")));
    EXPECT_EQ(scalar(file, "select Date || ' ' || Time from runlog where rowid = 1"), QStringLiteral("2024-01-01 30"));
}

// A write the set refuses keeps what was typed in the row, marked, and the
// row's other cells show what is stored; leaving asks again.
TEST_F(DataGridTest, aWriteTheSetRefusesKeepsWhatWasTypedMarked) {
    open(QStringLiteral("runlog"));
    showActive();
    exec(file, "DELETE FROM runlog WHERE rowid = 2");
    QTest::keyClick(typeKeys(1, 2, QStringLiteral("Race")), Qt::Key_Return);
    EXPECT_EQ(events, std::vector<std::string>{"BeforeUpdate"});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("not saved")));
    EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("3167")));
    EXPECT_TRUE(grid->DataChanged());
    EXPECT_EQ(shown(1, 2), QStringLiteral("Race"));
    EXPECT_TRUE(grid->model()->data(at(1, 2), Qt::BackgroundRole).isValid());
    EXPECT_TRUE(grid->model()->data(at(1, 2), Qt::ToolTipRole).toString().contains(QStringLiteral("Not saved")));
    EXPECT_FALSE(grid->model()->data(at(1, 1), Qt::BackgroundRole).isValid());

    QTest::keyClick(grid.get(), Qt::Key_Down);  // asked again, refused again: the row stays current
    EXPECT_EQ(events.size(), 2u);
    EXPECT_EQ(grid->currentIndex().row(), 1);
    EXPECT_EQ(shown(1, 2), QStringLiteral("Race"));
    QTest::keyClick(grid.get(), Qt::Key_Escape);
    EXPECT_FALSE(grid->DataChanged());
    EXPECT_EQ(shown(1, 2), QStringLiteral("#Deleted"));
    EXPECT_EQ(scalar(file, "select count(*) from runlog"), QStringLiteral("4"));
}

// A value longer than a line edit holds by default opens whole in its
// editor: left untouched it is not written, typed at its end it is written
// whole.
TEST_F(DataGridTest, aLongValueOpenedInItsEditorIsNeitherCutNorWrittenUntouched) {
    const int length = 40000;
    exec(file, "UPDATE runlog SET Description = printf('%." + std::to_string(length) + "c', 'a') WHERE rowid = 1");
    open(QStringLiteral("runlog"));
    showActive();
    const std::string stored = "select length(Description) || substr(Description, -1) from runlog where rowid = 1";
    for (const bool typed : {false, true}) {
        SCOPED_TRACE(typed);
        grid->setCurrentIndex(at(0, 3));
        QTest::keyClick(grid.get(), Qt::Key_F2);
        QLineEdit* editor = editorAt(0, 3);
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->text().size(), length);
        if (typed) {
            QTest::keyClick(editor, Qt::Key_End);
            QTest::keyClicks(editor, QStringLiteral("z"));
        }
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::keyClick(grid.get(), Qt::Key_Down);
        EXPECT_EQ(events.size(), typed ? 1u : 0u);
        EXPECT_EQ(scalar(file, stored), typed ? QStringLiteral("40001z") : QStringLiteral("40000a"));
    }
}

// A write waiting for another program's lock shows the "still running"
// window; Cancel ends the wait and the typed values stay to be written.
TEST_F(DataGridTest, aWriteWaitingForALockCanBeCancelledAndKeepsTheEdits) {
    open(QStringLiteral("runlog"));
    showActive();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    bool seen = false;
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        if (auto* running = grid->findChild<QDialog*>(QStringLiteral("frmRunning"))) {
            seen = true;
            QTest::mouseClick(running->findChild<QPushButton*>(QStringLiteral("cmdCancel")), Qt::LeftButton);
        }
    });
    cancel.start(50);
    QTest::keyClick(typeKeys(0, 3, QStringLiteral("locked out")), Qt::Key_Return);
    cancel.stop();
    EXPECT_TRUE(seen);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("3059")));
    EXPECT_EQ(shown(0, 3), QStringLiteral("locked out"));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    QTest::keyClick(grid.get(), Qt::Key_Return);  // once the lock is gone, Enter writes what was kept
    EXPECT_FALSE(grid->DataChanged());
    EXPECT_EQ(scalar(file, "select Description from runlog where rowid = 1"), QStringLiteral("locked out"));
}

TEST_F(DataGridTest, aSetThatCannotBeWrittenOpensNoEditorAndHasNoNewRowLine) {
    const struct {
        const char* source;
        int type;
    } sets[] = {
        {"select Type, count(*) as Runs from runlog group by Type order by Type", controls::vbRSTypeDynaset},
        {"select a.Type, b.Time from runlog a join runlog b on a.rowid = b.rowid", controls::vbRSTypeDynaset},
        {"runlog", controls::vbRSTypeSnapShot},
    };
    showActive();
    for (const auto& set : sets) {
        SCOPED_TRACE(set.source);
        data->setRecordsetType(set.type);
        open(QString::fromUtf8(set.source));
        EXPECT_EQ(grid->model()->rowCount(), int(grid->ApproxCount()));
        grid->setCurrentIndex(at(0, 0));
        QTest::keyClick(grid.get(), 'X');
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(at(0, 0)).center());
        EXPECT_EQ(QApplication::focusWidget(), grid.get());  // no editor took the keys
        EXPECT_EQ(grid->currentIndex().row(), 0);
        const long long rows = grid->ApproxCount();
        clickSelector(0);
        QTest::keyClick(grid.get(), Qt::Key_Delete);
        EXPECT_EQ(grid->ApproxCount(), rows);
    }
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(scalar(file, "select count(*) from runlog"), QStringLiteral("5"));
}

TEST_F(DataGridTest, recordSelectorsShowTheCurrentRowThePencilAndTheNewRowLine) {
    open(QStringLiteral("runlog"));
    showActive();
    const QString triangle(QChar(0x25B6)), pencil(QChar(0x270E));
    grid->setCurrentIndex(at(2, 1));
    EXPECT_EQ(selector(2), triangle);
    EXPECT_EQ(selector(1), QString());
    EXPECT_EQ(selector(5), QStringLiteral("*"));
    QLineEdit* editor = typeKeys(2, 3, QStringLiteral("x"));  // from the first character on
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(selector(2), pencil);
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(selector(2), triangle);

    // A new row being typed sits above a new-row line of its own.
    editor = typeKeys(5, 0, QStringLiteral("2"));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(grid->model()->rowCount(), 7);
    EXPECT_EQ(selector(5), pencil);
    EXPECT_EQ(selector(6), QStringLiteral("*"));
    QTest::keyClicks(editor, QStringLiteral("024-06-01"));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(scalar(file, "select Date from runlog where rowid = 6"), QStringLiteral("2024-06-01"));
    EXPECT_EQ(grid->model()->rowCount(), 7);
    EXPECT_EQ(selector(5), triangle);
    EXPECT_EQ(selector(6), QStringLiteral("*"));
    // A new row dropped leaves the new-row line where it was.
    QTest::keyClick(typeKeys(6, 3, QStringLiteral("y")), Qt::Key_Escape);
    EXPECT_EQ(grid->model()->rowCount(), 7);
    EXPECT_EQ(selector(6), QStringLiteral("*"));
    EXPECT_EQ(selector(grid->currentIndex().row()), triangle);
}

// A click on the current cell followed at once by a key types into that
// cell (the view's own delayed edit sent the key to a search for a row).
TEST_F(DataGridTest, typingRightAfterAClickOnTheCurrentCellTypesIntoIt) {
    open(QStringLiteral("runlog"));
    showActive();
    grid->setCurrentIndex(at(0, 2));  // "Long"; row 1 holds "Tempo"
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(at(0, 2)).center());
    QTest::keyClick(grid.get(), 'T');
    ASSERT_NE(editorAt(0, 2), nullptr);
    EXPECT_EQ(editorAt(0, 2)->text(), QStringLiteral("T"));
    EXPECT_EQ(grid->currentIndex(), at(0, 2));
    QTest::keyClick(editorAt(0, 2), Qt::Key_Escape);
    // The click alone opens the editor once no double click can follow.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(at(0, 2)).center());
    ASSERT_TRUE(testsupport::waitFor([&] { return editorAt(0, 2) != nullptr; }));
    EXPECT_EQ(editorAt(0, 2)->text(), QStringLiteral("Long"));
}

TEST_F(DataGridTest, selectedRowsAreDeletedAfterOneQuestionAllOrNothing) {
    open(QStringLiteral("runlog"));
    showActive();
    clickSelector(1);
    clickSelector(3, Qt::ShiftModifier);
    EXPECT_EQ(grid->SelectedRowCount(), 3);
    exec(file, "CREATE TRIGGER keep BEFORE DELETE ON runlog WHEN old.Description = 'run 2' "
               "BEGIN SELECT RAISE(ABORT, 'run 2 stays'); END;");
    QTest::keyClick(grid.get(), Qt::Key_Delete);
    EXPECT_EQ(events, std::vector<std::string>{"BeforeDelete"});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].prompt.startsWith(QStringLiteral("Nothing was deleted")));
    EXPECT_EQ(grid->ApproxCount(), 5);
    EXPECT_EQ(scalar(file, "select count(*) from runlog"), QStringLiteral("5"));

    exec(file, "DROP TRIGGER keep");
    QTest::keyClick(grid.get(), Qt::Key_Delete);
    EXPECT_EQ(events.size(), 2u);
    EXPECT_EQ(scalar(file, "select group_concat(Description, ',') from runlog"), QStringLiteral("run 0,run 4"));
    EXPECT_EQ(grid->model()->rowCount(), 3);
    EXPECT_EQ(shown(1, 3), QStringLiteral("run 4"));
}

TEST_F(DataGridTest, columnsFitTheirValuesAndWidenByDraggingAnEdge) {
    open(QStringLiteral("runlog"));
    showActive();
    QHeaderView* h = grid->horizontalHeader();
    grid->setColumnWidthSamples(QStringLiteral("type"), {QStringLiteral("Lactate Threshold")});
    EXPECT_GT(h->sectionSize(2), grid->fontMetrics().horizontalAdvance(QStringLiteral("Lactate Threshold")));
    const int before = h->sectionSize(0);
    const int edge = h->sectionViewportPosition(0) + before - 1;
    const int y = h->height() / 2;
    QTest::mousePress(h->viewport(), Qt::LeftButton, {}, QPoint(edge, y));
    QMouseEvent move(QEvent::MouseMove, QPointF(edge + 40, y), h->viewport()->mapToGlobal(QPointF(edge + 40, y)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(h->viewport(), &move);
    QTest::mouseRelease(h->viewport(), Qt::LeftButton, {}, QPoint(edge + 40, y));
    EXPECT_GE(h->sectionSize(0), before + 30);
    EXPECT_TRUE(events.empty());  // widening is not a heading click
}

}  // namespace

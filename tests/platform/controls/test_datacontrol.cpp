// SPDX-License-Identifier: GPL-3.0-or-later
// The data control: opening, the navigation bar, bound controls, events.
#include "controls/datacontrol.h"
#include "support/runlog.h"
#include "support/gui/msgboxes.h"
#include "support/tempdir.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using controls::DataControl;
using testlog::Entry;

namespace {

class DataControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = folder.file(QStringLiteral("Run.mdb"));
        testlog::create(path, testlog::sample(3));
        data.setDatabaseName(path);
        data.setRecordSource(QStringLiteral("runlog"));
        data.bind(&date, QStringLiteral("Date"));
        data.bind(&time, QStringLiteral("Time"));
        data.bind(&type, QStringLiteral("Type"));
        data.bind(&description, QStringLiteral("Description"));
        data.bind(&calendar, QStringLiteral("Date"));
        type.setEditable(true);
        data.resize(400, 30);
    }

    void click(const char* button) {
        auto* b = data.findChild<QToolButton*>(QString::fromLatin1(button));
        ASSERT_NE(b, nullptr) << button;
        QTest::mouseClick(b, Qt::LeftButton);
    }
    long long position() { return data.Recordset()->AbsolutePosition(); }

    testsupport::TempFolder folder;
    QString path;
    DataControl data;
    QLineEdit date, time;
    QComboBox type;
    QPlainTextEdit description;
    QCalendarWidget calendar;
    testsupport::MsgBoxRecorder boxes;
};

TEST_F(DataControlTest, refreshShowsFirstRowInEveryKindOfBoundControl) {
    QSignalSpy repositions(&data, &DataControl::Reposition);
    data.Refresh();
    ASSERT_TRUE(data.Recordset());
    EXPECT_EQ(position(), 0);
    EXPECT_EQ(date.text(), "2024-01-01");
    EXPECT_EQ(time.text(), "10");
    EXPECT_EQ(type.currentText(), "Long");
    EXPECT_EQ(description.toPlainText(), "run 1");
    EXPECT_EQ(calendar.selectedDate(), QDate(2024, 1, 1));
    EXPECT_EQ(repositions.count(), 1);
    EXPECT_FALSE(data.DataChanged());
}

TEST_F(DataControlTest, navigationBarStopsAtFirstAndLastEntry) {
    data.Refresh();
    click("previous");
    EXPECT_EQ(position(), 0);
    EXPECT_EQ(date.text(), "2024-01-01");
    click("next");
    EXPECT_EQ(position(), 1);
    EXPECT_EQ(description.toPlainText(), "run 2");
    click("last");
    EXPECT_EQ(position(), 2);
    click("next");
    EXPECT_EQ(position(), 2);
    EXPECT_EQ(description.toPlainText(), "run 3");
    click("first");
    EXPECT_EQ(position(), 0);
    EXPECT_EQ(boxes.count(), 0);
}

TEST_F(DataControlTest, eachMoveRaisesValidateOnceAndRepositionOnce) {
    data.Refresh();
    std::vector<std::pair<int, int>> validates;
    QObject::connect(&data, &DataControl::Validate, [&](int& action, int& save) { validates.push_back({action, save}); });
    QSignalSpy repositions(&data, &DataControl::Reposition);
    click("next");
    type.setEditText(QStringLiteral("Tempo"));
    click("previous");
    click("previous");  // already on the first entry
    ASSERT_EQ(validates.size(), 3u);
    EXPECT_EQ(validates[0], std::make_pair(int(controls::vbDataActionMoveNext), 0));
    EXPECT_EQ(validates[1], std::make_pair(int(controls::vbDataActionMovePrevious), -1));
    EXPECT_EQ(validates[2].first, int(controls::vbDataActionMovePrevious));
    EXPECT_EQ(repositions.count(), 3);
}

TEST_F(DataControlTest, changedValuesAreWrittenWhenTheControlLeavesTheRow) {
    data.Refresh();
    type.setEditText(QStringLiteral("Tempo"));       // by the user or the program alike
    description.setPlainText(QStringLiteral("hills"));
    time.setText(QStringLiteral("95"));
    click("next");
    const auto rows = testlog::read(path);
    EXPECT_EQ(rows[0], (Entry{"2024-01-01", 95, "Tempo", "hills"}));
    EXPECT_EQ(rows[1], testlog::sample(3)[1]);
    EXPECT_EQ(type.currentText(), "Long");  // the next row is shown
}

TEST_F(DataControlTest, unchangedRowIsNotWritten) {
    data.Refresh();
    click("next");
    click("previous");
    EXPECT_EQ(testlog::read(path), testlog::sample(3));
}

TEST_F(DataControlTest, validateCancelKeepsTheRowAndTheChanges) {
    data.Refresh();
    QObject::connect(&data, &DataControl::Validate, [](int& action, int&) { action = controls::vbDataActionCancel; });
    QSignalSpy repositions(&data, &DataControl::Reposition);
    type.setEditText(QStringLiteral("Race"));
    click("next");
    EXPECT_EQ(position(), 0);
    EXPECT_EQ(type.currentText(), "Race");
    EXPECT_TRUE(data.DataChanged());
    EXPECT_EQ(repositions.count(), 0);
    EXPECT_EQ(testlog::read(path), testlog::sample(3));
}

TEST_F(DataControlTest, validateSaveZeroDropsTheChanges) {
    data.Refresh();
    QObject::connect(&data, &DataControl::Validate, [](int&, int& save) { save = 0; });
    type.setEditText(QStringLiteral("Race"));
    click("next");
    click("previous");
    EXPECT_EQ(type.currentText(), "Long");
    EXPECT_EQ(testlog::read(path), testlog::sample(3));
}

TEST_F(DataControlTest, aNewRowWithValuesIsStoredWhenTheSetLeavesIt) {
    data.Refresh();
    auto rs = data.Recordset();
    rs->AddNew();
    EXPECT_EQ(date.text(), "");
    EXPECT_EQ(description.toPlainText(), "");
    EXPECT_EQ(rs->AbsolutePosition(), -1);
    date.setText(QStringLiteral("2024-02-01"));
    time.setText(QStringLiteral("42"));
    type.setEditText(QStringLiteral("Recovery"));
    rs->AddNew();  // stores the first new row, starts another
    rs->MoveFirst();  // the untouched second one is dropped
    const auto rows = testlog::read(path);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[3], (Entry{"2024-02-01", 42, "Recovery", "<null>"}));
    EXPECT_EQ(date.text(), "2024-01-01");
}

TEST_F(DataControlTest, updateRecordStoresTheNewRowAtOnce) {
    data.Refresh();
    auto rs = data.Recordset();
    rs->AddNew();
    date.setText(QStringLiteral("2024-03-01"));
    time.setText(QStringLiteral("30"));
    data.UpdateRecord();
    EXPECT_EQ(testlog::read(path).size(), 4u);
    EXPECT_NE(rs->EditMode(), int(dao::dbEditAdd));
    EXPECT_FALSE(data.DataChanged());
}

TEST_F(DataControlTest, calendarCarriesItsDateAsIsoText) {
    data.Refresh();
    calendar.setSelectedDate(QDate(2024, 7, 4));
    click("next");
    EXPECT_EQ(testlog::read(path)[0].date, "2024-07-04");
}

TEST_F(DataControlTest, failedWriteRaisesErrorAndShowsItsMessage) {
    data.Refresh();
    std::vector<int> errors;
    QObject::connect(&data, &DataControl::Error, [&](int number, int&) { errors.push_back(number); });
    time.setText(QStringLiteral("an hour"));
    click("next");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], dao::err::DataTypeConversion);
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().prompt, data.ErrorDescription());
    EXPECT_EQ(position(), 1);  // the control went on
    EXPECT_EQ(testlog::read(path), testlog::sample(3));
}

TEST_F(DataControlTest, errorResponseZeroSuppressesTheMessage) {
    data.Refresh();
    QObject::connect(&data, &DataControl::Error, [](int, int& response) { response = 0; });
    date.setText(QStringLiteral("2024-02-30"));
    click("next");
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(testlog::read(path), testlog::sample(3));
}

TEST_F(DataControlTest, nothingIsWrittenToADeletedRow) {
    data.Refresh();
    QSignalSpy errors(&data, &DataControl::Error);
    type.setEditText(QStringLiteral("Race"));
    auto rs = data.Recordset();
    rs->Delete();
    rs->MoveNext();
    EXPECT_EQ(errors.count(), 0);
    EXPECT_EQ(boxes.count(), 0);
    const auto rows = testlog::read(path);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], testlog::sample(3)[1]);
    EXPECT_EQ(description.toPlainText(), "run 2");
}

TEST_F(DataControlTest, emptyRecordSourceOpensTheDatabaseOnly) {
    data.setRecordSource(QString());
    data.Refresh();
    EXPECT_TRUE(data.Database());
    EXPECT_FALSE(data.Recordset());
    click("next");  // nothing to move: no error
    EXPECT_EQ(boxes.count(), 0);
}

TEST_F(DataControlTest, failedRefreshLeavesTheOpenSetAndCreatesNothing) {
    data.Refresh();
    auto before = data.Recordset();
    click("next");
    const QString missing = folder.file(QStringLiteral("Missing.mdb"));
    data.setDatabaseName(missing);
    try {
        data.Refresh();
        FAIL() << "no error";
    } catch (const dao::Error& e) {
        EXPECT_EQ(e.Number(), dao::err::FileNotFound);
    }
    EXPECT_EQ(data.Recordset(), before);
    EXPECT_EQ(position(), 1);
    EXPECT_FALSE(QFile::exists(missing));
}

TEST_F(DataControlTest, settingTheRecordsetRebindsAtItsFirstRow) {
    data.Refresh();
    auto other = dao::DBEngine().OpenDatabase(path)->OpenRecordset(
        QStringLiteral("select * from runlog where Time >= 20"), dao::dbOpenDynaset);
    other->MoveLast();
    QSignalSpy replaced(&data, &DataControl::recordsetReplaced);
    QSignalSpy repositions(&data, &DataControl::Reposition);
    data.setRecordset(other);
    EXPECT_EQ(data.Recordset(), other);
    EXPECT_EQ(other->AbsolutePosition(), 0);
    EXPECT_EQ(description.toPlainText(), "run 2");
    EXPECT_EQ(replaced.count(), 1);
    EXPECT_EQ(repositions.count(), 1);
}

TEST_F(DataControlTest, closeWritesTheChangedRowAndLetsGo) {
    data.Refresh();
    description.setPlainText(QStringLiteral("easy"));
    data.Close();
    EXPECT_FALSE(data.Recordset());
    EXPECT_EQ(testlog::read(path)[0].description, "easy");
}

TEST_F(DataControlTest, recordsetTypeOutsideZeroToTwoIsRefused) {
    try {
        data.setRecordsetType(3);
        FAIL() << "accepted";
    } catch (const dao::Error& e) {
        EXPECT_EQ(e.Number(), dao::err::InvalidPropertyValue);
    }
    EXPECT_EQ(data.RecordsetType(), controls::vbRSTypeDynaset);
}

TEST_F(DataControlTest, snapshotRefreshesReadOnly) {
    data.setRecordsetType(controls::vbRSTypeSnapShot);
    data.Refresh();
    EXPECT_EQ(data.Recordset()->Type(), int(dao::dbOpenSnapshot));
    EXPECT_FALSE(data.Recordset()->Updatable());
}

}  // namespace

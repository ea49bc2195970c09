// SPDX-License-Identifier: GPL-3.0-or-later
// What keeps a new entry and the log safe: moving or re-activating while
// adding, deleting with no stored entry, a log that cannot be opened.
#include "entry_fixture.h"

#include "dao/dao.h"
#include "ui/screen.h"

#include <QFile>

namespace {

using Guards = EntryFormTest;

TEST_F(Guards, movingAwayFromATypedNewEntryAsksAndNoKeepsIt) {
    auto* form = openForm(2);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    enter(form, QDate(2024, 8, 1), 1, 0, QStringLiteral("Long"), QStringLiteral("keep me"));
    boxes.answer(ui::vbNo);
    nav(form, "first");
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().prompt, "Discard the new entry?");
    EXPECT_EQ(boxes.last().buttons, ui::vbYesNo + ui::vbQuestion);
    EXPECT_EQ(form->iAddNew, -1);
    EXPECT_EQ(form->Data1->Recordset()->EditMode(), int(dao::dbEditAdd));
    EXPECT_EQ(form->txtFields_3->toPlainText(), "keep me");
    EXPECT_EQ(entryNumber(form), "Entry Number: 0");
    EXPECT_NE(ui::Screen::MousePointer(), ui::Screen::vbHourglass);
    EXPECT_EQ(logRows().size(), 2u);
    // Still accepted normally afterwards.
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    ASSERT_EQ(logRows().size(), 3u);
    EXPECT_EQ(logRows()[2], (testlog::Entry{"2024-08-01", 60, "Long", "keep me"}));
}

TEST_F(Guards, discardingTheNewEntryGoesBackToBrowsingAndStoresNothing) {
    auto* form = openForm(2);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    enter(form, QDate(2024, 8, 2), 1, 0, QStringLiteral("Long"));
    boxes.answer(ui::vbYes);
    nav(form, "last");
    EXPECT_EQ(boxes.count(), 1);
    EXPECT_EQ(entryNumber(form), "Entry Number: 2");
    EXPECT_EQ(form->iAddNew, 0);
    EXPECT_FALSE(form->Cmdaccpt->isEnabled());
    EXPECT_TRUE(form->cmdAdd->isEnabled());
    EXPECT_FALSE(form->Sldhr->isEnabled());
    EXPECT_TRUE(form->Calendar1->isHidden());
    EXPECT_EQ(logRows(), testlog::sample(2));
    // ACCEPT can no longer reach the stored entry now shown.
    form->Cmdaccpt_Click();
    EXPECT_EQ(logRows(), testlog::sample(2));
}

TEST_F(Guards, movingAwayFromAnUntouchedNewEntryAsksNothing) {
    auto* form = openForm(2);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    nav(form, "next");
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(form->iAddNew, 0);
    EXPECT_FALSE(form->Cmdaccpt->isEnabled());
    EXPECT_EQ(logRows(), testlog::sample(2));
}

TEST_F(Guards, activationWhileAddingKeepsTheNewEntryCurrent) {
    auto* form = openForm(2);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    enter(form, QDate(2024, 8, 3), 0, 25, QStringLiteral("Tempo"), QStringLiteral("typed"));
    reactivate(form);
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(form->Data1->Recordset()->EditMode(), int(dao::dbEditAdd));
    EXPECT_EQ(form->txtFields_3->toPlainText(), "typed");
    EXPECT_EQ(form->txtFields_0->text(), "2024-08-03");
    EXPECT_EQ(logRows().size(), 2u);
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    ASSERT_EQ(logRows().size(), 3u);
    EXPECT_EQ(logRows()[2].description, "typed");
    EXPECT_EQ(logRows()[0], testlog::sample(2)[0]);
}

TEST_F(Guards, textTypedAfterAcceptIsNeverStoredUnchecked) {
    auto* form = openForm(1);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    enter(form, QDate(2024, 8, 4), 0, 30, QStringLiteral("Long"));
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    form->txtFields_3->setPlainText(QStringLiteral("second thoughts"));
    reactivate(form);
    boxes.answer(ui::vbYes);
    nav(form, "first");
    EXPECT_EQ(boxes.prompts(), QStringList({"Discard the new entry?"}));
    EXPECT_EQ(logRows().size(), 2u);
    EXPECT_EQ(logRows()[1].description, "<null>");
}

TEST_F(Guards, addNewAfterAcceptKeepsWhatWasTyped) {
    auto* form = openForm(1);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    enter(form, QDate(2024, 8, 5), 0, 30, QStringLiteral("Long"));
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    form->txtFields_3->setPlainText(QStringLiteral("next one"));
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    EXPECT_EQ(form->txtFields_3->toPlainText(), "next one");
    EXPECT_EQ(logRows().size(), 2u);
    pickDay(form, QDate(2024, 8, 6));
    form->cbtype->setEditText(QStringLiteral("Easy"));
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    ASSERT_EQ(logRows().size(), 3u);
    EXPECT_EQ(logRows()[2], (testlog::Entry{"2024-08-06", 30, "Easy", "next one"}));
}

TEST_F(Guards, deleteWhileAddingDeletesNothing) {
    auto* form = openForm(2);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    QTest::mouseClick(form->cmdDelete, Qt::LeftButton);
    EXPECT_EQ(boxes.count(), 1);
    EXPECT_EQ(logRows(), testlog::sample(2));
    EXPECT_EQ(form->iAddNew, -1);
    EXPECT_EQ(form->Data1->Recordset()->EditMode(), int(dao::dbEditAdd));
}

TEST_F(Guards, closingWithATypedNewEntryAsksFirst) {
    auto* form = openForm(1);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    enter(form, QDate(2024, 8, 7), 0, 30, QStringLiteral("Long"));
    boxes.answer(ui::vbNo);
    QTest::mouseClick(form->cmdReturn, Qt::LeftButton);
    EXPECT_TRUE(form->isLoaded());
    boxes.answer(ui::vbYes);
    QTest::mouseClick(form->cmdReturn, Qt::LeftButton);
    EXPECT_FALSE(form->isLoaded());
    EXPECT_EQ(boxes.count(), 2);
    EXPECT_EQ(logRows().size(), 1u);
    EXPECT_NE(ui::Screen::MousePointer(), ui::Screen::vbHourglass);
}

TEST_F(Guards, missingLogIsReportedOnceAndNotCreated) {
    auto* form = showForm();
    ASSERT_EQ(boxes.count(), 1);
    const QString prompt = boxes.last().prompt;
    EXPECT_TRUE(prompt.contains(QStringLiteral("Run.mdb"), Qt::CaseInsensitive)) << prompt.toStdString();
    EXPECT_TRUE(prompt.contains(QStringLiteral("does not exist"))) << prompt.toStdString();
    // It says how to make one there.
    EXPECT_TRUE(prompt.contains(QStringLiteral("pacebook-newlog ") + logPath())) << prompt.toStdString();
    reactivate(form);
    reactivate(form);
    EXPECT_EQ(boxes.count(), 1);
    EXPECT_FALSE(QFile::exists(logPath()));
    EXPECT_NE(ui::Screen::MousePointer(), ui::Screen::vbHourglass);
    // Buttons say what is wrong, once per click, and the form stays usable.
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    QTest::mouseClick(form->cmdDelete, Qt::LeftButton);
    nav(form, "next");
    EXPECT_EQ(boxes.count(), 3);
    EXPECT_EQ(form->iAddNew, 0);
    // Once the log is there, the next activation opens it.
    testlog::create(logPath(), testlog::sample(1));
    reactivate(form);
    EXPECT_EQ(boxes.count(), 3);
    EXPECT_EQ(entryNumber(form), "Entry Number: 1");
}

TEST_F(Guards, fileThatIsNoDatabaseIsReportedAndLeftAlone) {
    {
        QFile junk(logPath());
        ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'x'));
    }
    auto* form = showForm();
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_TRUE(boxes.last().prompt.contains(QStringLiteral("not a run log database")));
    reactivate(form);
    EXPECT_EQ(boxes.count(), 1);
    QFile junk(logPath());
    ASSERT_TRUE(junk.open(QIODevice::ReadOnly));
    EXPECT_EQ(junk.readAll(), QByteArray(4096, 'x'));
}

}  // namespace

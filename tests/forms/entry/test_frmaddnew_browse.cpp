// SPDX-License-Identifier: GPL-3.0-or-later
// Browsing and deleting entries, several forms, and the engine's errors.
#include "entry_fixture.h"

#include "app/Module1.h"
#include "app/frmMain.h"

#include <QAction>
#include <QFile>

namespace {

using Browsing = EntryFormTest;

TEST_F(Browsing, firstShowingShowsTheFirstEntryAsNumberOne) {
    auto* form = openForm(3);
    EXPECT_EQ(entryNumber(form), "Entry Number: 1");
    EXPECT_EQ(form->txtFields_0->text(), "2024-01-01");
    EXPECT_EQ(form->Calendar1->selectedDate(), QDate(2024, 1, 1));
    EXPECT_EQ(form->cbtype->currentText(), "Long");  // in place of "Fartlek"
    EXPECT_EQ(form->txtFields_3->toPlainText(), "run 1");
    EXPECT_EQ(form->txtSld->text(), "10");
}

TEST_F(Browsing, navigationBarNumbersTheEntries) {
    auto* form = openForm(3);
    nav(form, "next");
    EXPECT_EQ(entryNumber(form), "Entry Number: 2");
    EXPECT_EQ(form->txtFields_3->toPlainText(), "run 2");
    nav(form, "last");
    EXPECT_EQ(entryNumber(form), "Entry Number: 3");
    nav(form, "next");
    EXPECT_EQ(entryNumber(form), "Entry Number: 3");
    nav(form, "previous");
    EXPECT_EQ(entryNumber(form), "Entry Number: 2");
    nav(form, "first");
    nav(form, "previous");
    EXPECT_EQ(entryNumber(form), "Entry Number: 1");
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(logRows(), testlog::sample(3));
}

TEST_F(Browsing, activationShowsTheFirstEntryAgain) {
    auto* form = openForm(3);
    nav(form, "last");
    reactivate(form);
    EXPECT_EQ(entryNumber(form), "Entry Number: 1");
}

TEST_F(Browsing, typeChangedWhileBrowsingIsStoredOnLeavingTheEntry) {
    auto* form = openForm(2);
    form->cbtype->setEditText(QStringLiteral("Recovery"));
    nav(form, "next");
    EXPECT_EQ(logRows()[0].type, "Recovery");
    form->cbtype->setEditText(QStringLiteral("Race"));
    QTest::mouseClick(form->cmdReturn, Qt::LeftButton);
    EXPECT_EQ(logRows()[1].type, "Race");
}

TEST_F(Browsing, longerDescriptionFromTheGridIsNeverCut) {
    auto entries = testlog::sample(2);
    entries[0].description = QString(300, QLatin1Char('d'));
    testlog::create(logPath(), entries);
    auto* form = showForm();
    EXPECT_EQ(form->txtFields_3->toPlainText().size(), 300);
    form->cbtype->setEditText(QStringLiteral("Tempo"));
    nav(form, "next");
    EXPECT_EQ(logRows()[0].description.size(), 300);
    EXPECT_EQ(logRows()[0].type, "Tempo");
}

TEST_F(Browsing, deletingInTheMiddleShowsTheFollowingEntry) {
    auto* form = openForm(3);
    nav(form, "next");
    QTest::mouseClick(form->cmdDelete, Qt::LeftButton);
    EXPECT_EQ(entryNumber(form), "Entry Number: 2");
    EXPECT_EQ(form->txtFields_3->toPlainText(), "run 3");
    const auto rows = logRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].description, "run 3");
    EXPECT_EQ(boxes.count(), 0);
}

TEST_F(Browsing, deletingTheLastShowsTheNewLast) {
    auto* form = openForm(3);
    nav(form, "last");
    QTest::mouseClick(form->cmdDelete, Qt::LeftButton);
    EXPECT_EQ(entryNumber(form), "Entry Number: 2");
    EXPECT_EQ(form->txtFields_3->toPlainText(), "run 2");
    EXPECT_EQ(logRows().size(), 2u);
    EXPECT_EQ(boxes.count(), 0);
}

TEST_F(Browsing, deletingTheOnlyEntryLeavesAnEmptyLogAtNumberZero) {
    auto* form = openForm(1);
    QTest::mouseClick(form->cmdDelete, Qt::LeftButton);
    EXPECT_TRUE(logRows().empty());
    EXPECT_EQ(entryNumber(form), "Entry Number: 0");
    EXPECT_EQ(form->txtFields_0->text(), "");
    EXPECT_EQ(boxes.count(), 0);
    // And again, on the now empty log: one plain message, nothing else.
    QTest::mouseClick(form->cmdDelete, Qt::LeftButton);
    EXPECT_EQ(boxes.count(), 1);
    EXPECT_EQ(entryNumber(form), "Entry Number: 0");
    nav(form, "next");
    EXPECT_EQ(boxes.count(), 1);
}

TEST_F(Browsing, deleteOnEmptyLogShowsOneMessage) {
    auto* form = openForm(0);
    EXPECT_EQ(entryNumber(form), "Entry Number: 0");
    QTest::mouseClick(form->cmdDelete, Qt::LeftButton);
    EXPECT_EQ(boxes.count(), 1);
    EXPECT_EQ(entryNumber(form), "Entry Number: 0");
    EXPECT_TRUE(form->isLoaded());
}

TEST_F(Browsing, twoFormsOnOneLogSeeEachOthersEntriesAfterActivation) {
    auto* first = openForm(2);
    auto* second = showForm();
    QTest::mouseClick(second->cmdAdd, Qt::LeftButton);
    enter(second, QDate(2024, 7, 1), 0, 35, QStringLiteral("Tempo"));
    QTest::mouseClick(second->Cmdaccpt, Qt::LeftButton);
    reactivate(first);
    nav(first, "last");
    EXPECT_EQ(entryNumber(first), "Entry Number: 3");
    EXPECT_EQ(first->txtSld->text(), "35");
    QTest::mouseClick(first->cmdDelete, Qt::LeftButton);
    EXPECT_EQ(logRows().size(), 2u);
    EXPECT_EQ(second->iAddNew, 0);
    EXPECT_EQ(boxes.count(), 0);
}

TEST_F(Browsing, engineErrorIsReportedByDataErrorEvent) {
    auto* first = openForm(2);
    auto* second = showForm();
    // The entry first shows is deleted in the other form; then changed here.
    QTest::mouseClick(second->cmdDelete, Qt::LeftButton);
    first->cbtype->setEditText(QStringLiteral("Race"));
    nav(first, "next");
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_TRUE(boxes.last().prompt.startsWith("Data error event hit err:"));
    EXPECT_GT(boxes.last().prompt.size(), QStringLiteral("Data error event hit err:").size());
    EXPECT_EQ(boxes.last().buttons, ui::vbOKOnly);
    EXPECT_EQ(logRows().size(), 1u);
    EXPECT_EQ(logRows()[0].type, "Long");
}

TEST_F(Browsing, eachAddEntryOpensAnIndependentForm) {
    testlog::create(logPath(), testlog::sample(2));
    auto* main = new frmMain();
    main->Show();
    auto* item = main->findChild<QAction*>(QStringLiteral("mnuViewDatarunlog"));
    ASSERT_NE(item, nullptr);
    item->trigger();
    item->trigger();
    std::vector<frmaddnew*> forms;
    for (int i = 0; i < ui::Forms::Count(); ++i)
        if (auto* f = qobject_cast<frmaddnew*>(ui::Forms::Item(i))) forms.push_back(f);
    ASSERT_EQ(forms.size(), 2u);
    EXPECT_TRUE(forms[0]->isVisible());
    EXPECT_TRUE(forms[1]->isVisible());
    nav(forms[0], "last");
    EXPECT_EQ(entryNumber(forms[0]), "Entry Number: 2");
    EXPECT_EQ(entryNumber(forms[1]), "Entry Number: 1");
    EXPECT_EQ(boxes.count(), 0);
}

}  // namespace

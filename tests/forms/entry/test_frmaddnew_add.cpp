// SPDX-License-Identifier: GPL-3.0-or-later
// Adding entries: the duration input, Verify_Data, "ACCEPT" and the states.
#include "entry_fixture.h"

#include "ui/screen.h"

namespace {

using Adding = EntryFormTest;
using testlog::Entry;

struct State {
    bool details, sliders, calendar, accept, add;
    int iAddNew;
    bool operator==(const State&) const = default;
};
std::ostream& operator<<(std::ostream& os, const State& s) {
    return os << "details " << s.details << " sliders " << s.sliders << " calendar " << s.calendar << " accept "
              << s.accept << " add " << s.add << " iAddNew " << s.iAddNew;
}
State stateOf(frmaddnew* f) {
    EXPECT_EQ(f->Sldhr->isEnabled(), f->Sldmin->isEnabled());
    return {f->txtFields_3->isEnabled(), f->Sldhr->isEnabled(), !f->Calendar1->isHidden(),
            f->Cmdaccpt->isEnabled(),    f->cmdAdd->isEnabled(), f->iAddNew};
}
const State Browsing{false, false, false, false, true, 0};
const State AddingState{true, true, true, true, false, -1};
const State AfterAccept{true, false, false, false, true, 0};

TEST_F(Adding, addNewThenAcceptWalksTheStateTable) {
    auto* form = openForm(2);
    EXPECT_EQ(stateOf(form), Browsing);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    EXPECT_EQ(stateOf(form), AddingState);
    EXPECT_EQ(entryNumber(form), "Entry Number: 0");
    EXPECT_EQ(form->txtFields_0->text(), "");
    EXPECT_EQ(form->cbtype->currentText(), "");
    enter(form, QDate(2024, 5, 31), 1, 30, QStringLiteral("Long"), QStringLiteral("easy loop"));
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    EXPECT_EQ(stateOf(form), AfterAccept);
    EXPECT_EQ(form->berr, 0);
    EXPECT_EQ(form->txtFields_0->text(), "");  // a new, empty entry is current
    EXPECT_EQ(entryNumber(form), "Entry Number: 0");
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    EXPECT_EQ(stateOf(form), AddingState);
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(logRows().size(), 3u);
}

TEST_F(Adding, acceptStoresExactlyOneRowWithTheFourValues) {
    auto* form = openForm(2);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    enter(form, QDate(2024, 5, 31), 1, 30, QStringLiteral("Long"), QStringLiteral("easy loop"));
    EXPECT_EQ(form->txtFields_0->text(), "2024-05-31");
    EXPECT_EQ(form->txtSld->text(), "1:30");
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    EXPECT_EQ(form->iTime, 90);
    const auto rows = logRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2], (Entry{"2024-05-31", 90, "Long", "easy loop"}));
    // Going on from the empty entry stores nothing more.
    nav(form, "first");
    EXPECT_EQ(logRows().size(), 3u);
    EXPECT_EQ(stateOf(form), AfterAccept);
    EXPECT_EQ(entryNumber(form), "Entry Number: 1");
}

TEST_F(Adding, durationsAreStoredInWholeMinutes) {
    auto* form = openForm(0);
    const std::vector<std::tuple<int, int, QString, int>> cases = {
        {1, 30, "1:30", 90}, {1, 5, "1:5", 65}, {6, 59, "6:59", 419}, {0, 45, "0:45", 45}};
    for (const auto& [hours, minutes, shown, stored] : cases) {
        QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
        enter(form, QDate(2024, 6, 1), hours, minutes, QStringLiteral("Tempo"));
        EXPECT_EQ(form->txtSld->text(), shown);
        QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
        ASSERT_FALSE(logRows().empty());
        EXPECT_EQ(logRows().back().time, stored) << shown.toStdString();
    }
    EXPECT_EQ(logRows().size(), cases.size());
    EXPECT_EQ(boxes.count(), 0);
}

TEST_F(Adding, hourClickedAfterMinutesShowsHoursOnlyButKeepsTheMinutes) {
    auto* form = openForm(0);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    pickDay(form, QDate(2024, 6, 2));
    slide(form->Sldmin, 20);
    slide(form->Sldhr, 2);
    EXPECT_EQ(form->txtSld->text(), "2:");
    form->cbtype->setEditText(QStringLiteral("Race"));
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    EXPECT_EQ(form->txtSld->text(), "");  // the next, empty entry
    ASSERT_EQ(logRows().size(), 1u);
    EXPECT_EQ(logRows()[0].time, 140);
}

TEST_F(Adding, blankDateTypeAndZeroDurationGiveThreeMessagesInOrder) {
    auto* form = openForm(1);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    EXPECT_EQ(boxes.prompts(), QStringList({"Date cannot be blank!", "You didn't choose a type, assuming normal!",
                                            "Error: You ran for 0 minutes!"}));
    for (const auto& box : boxes.boxes()) {
        EXPECT_EQ(box.buttons, ui::vbOKOnly);
        EXPECT_TRUE(box.title.isEmpty() || box.title == "Pacebook");
    }
    EXPECT_EQ(form->cbtype->currentText(), "normal");
    EXPECT_EQ(form->txtSld->text(), "0");
    EXPECT_EQ(form->berr, -1);
    EXPECT_EQ(stateOf(form), AddingState);
    EXPECT_EQ(logRows().size(), 1u);
}

TEST_F(Adding, blankDateAloneStopsTheEntry) {
    auto* form = openForm(0);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    slide(form->Sldmin, 40);
    form->cbtype->setEditText(QStringLiteral("Long"));
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    EXPECT_EQ(boxes.prompts(), QStringList({"Date cannot be blank!"}));
    EXPECT_EQ(form->berr, -1);
    EXPECT_TRUE(logRows().empty());
    // Corrected, it passes.
    pickDay(form, QDate(2024, 6, 3));
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    ASSERT_EQ(logRows().size(), 1u);
    EXPECT_EQ(logRows()[0].time, 40);
}

TEST_F(Adding, untouchedSlidersGiveZeroMinutesAndStoreNothing) {
    auto* form = openForm(0);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    pickDay(form, QDate(2024, 6, 4));
    form->cbtype->setEditText(QStringLiteral("Long"));
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    EXPECT_EQ(boxes.prompts(), QStringList({"Error: You ran for 0 minutes!"}));
    EXPECT_EQ(form->txtSld->text(), "0");
    EXPECT_TRUE(logRows().empty());
}

TEST_F(Adding, blankTypeIsStoredAsNormalAndTypedTypeAsTyped) {
    auto* form = openForm(0);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    enter(form, QDate(2024, 6, 5), 0, 30, QString());
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    EXPECT_EQ(boxes.prompts(), QStringList({"You didn't choose a type, assuming normal!"}));
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    enter(form, QDate(2024, 6, 6), 0, 30, QString());
    form->cbtype->setFocus();
    QTest::keyClicks(form->cbtype, QStringLiteral("hill Repeats"));
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    const auto rows = logRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].type, "normal");
    EXPECT_EQ(rows[1].type, "hill Repeats");
}

TEST_F(Adding, newEntryKeepsThePreviousDuration) {
    auto* form = openForm(0);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    enter(form, QDate(2024, 6, 7), 0, 50, QStringLiteral("Long"));
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    EXPECT_EQ(form->txtSld->text(), "");
    pickDay(form, QDate(2024, 6, 8));
    form->cbtype->setEditText(QStringLiteral("Long"));
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    ASSERT_EQ(logRows().size(), 2u);
    EXPECT_EQ(logRows()[1].time, 50);
}

TEST_F(Adding, secondDayPickedReplacesTheDateBox) {
    auto* form = openForm(0);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    pickDay(form, QDate(2024, 6, 9));
    pickDay(form, QDate(2024, 6, 10));
    EXPECT_EQ(form->txtFields_0->text(), "2024-06-10");
    EXPECT_EQ(QDate::fromString(form->txtFields_0->text(), Qt::ISODate), QDate(2024, 6, 10));
}

TEST_F(Adding, descriptionTakesAtMost255Characters) {
    auto* form = openForm(0);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    form->txtFields_3->setFocus();
    QTest::keyClicks(form->txtFields_3, QString(260, QLatin1Char('x')));
    EXPECT_EQ(form->txtFields_3->toPlainText().size(), 255);
}

TEST_F(Adding, pointerIsBackToNormalAfterEveryAction) {
    auto* form = openForm(3);
    EXPECT_NE(ui::Screen::MousePointer(), ui::Screen::vbHourglass);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    EXPECT_NE(ui::Screen::MousePointer(), ui::Screen::vbHourglass);
    enter(form, QDate(2024, 6, 11), 0, 20, QStringLiteral("Long"));
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    EXPECT_NE(ui::Screen::MousePointer(), ui::Screen::vbHourglass);
    nav(form, "last");
    QTest::mouseClick(form->cmdDelete, Qt::LeftButton);
    EXPECT_NE(ui::Screen::MousePointer(), ui::Screen::vbHourglass);
}

}  // namespace

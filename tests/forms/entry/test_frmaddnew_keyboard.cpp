// SPDX-License-Identifier: GPL-3.0-or-later
// The entry form by keyboard and wheel: what the sliders and the calendar
// show is what is stored; the navigation bar's keys.
#include "entry_fixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QWheelEvent>

namespace {

using Keyboard = EntryFormTest;

void wheelUp(QWidget* w) {
    QWheelEvent e(QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), {}, {0, 120}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

TEST_F(Keyboard, everyMoveOfASliderIsShownAndStoredAsItsValue) {
    auto* form = openForm(0);
    const struct {
        bool hours;
        Qt::Key key;  // Qt::Key_unknown: one notch of the wheel
    } moves[] = {{true, Qt::Key_Right}, {false, Qt::Key_PageUp}, {true, Qt::Key_End}, {false, Qt::Key_End},
                 {true, Qt::Key_Home},  {true, Qt::Key_unknown}, {false, Qt::Key_Left}};
    for (const auto& m : moves) {
        QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
        pickDay(form, QDate(2024, 7, 1));
        controls::Slider* slider = m.hours ? form->Sldhr : form->Sldmin;
        const int before = slider->value();
        m.key == Qt::Key_unknown ? wheelUp(slider) : QTest::keyClick(slider, m.key);
        const int h = form->Sldhr->value(), min = form->Sldmin->value();
        SCOPED_TRACE(testing::Message() << slider->objectName().toStdString() << " key " << m.key << ": " << h << ":" << min);
        EXPECT_NE(slider->value(), before);
        EXPECT_EQ(form->txtSld->text(), QString::number(h) + ":" + (m.hours ? QString() : QString::number(min)));
        QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
        EXPECT_EQ(logRows().back().time, h * 60 + min);
    }
    EXPECT_EQ(logRows().size(), std::size(moves));
}

TEST_F(Keyboard, dayChosenWithTheKeyboardIsTheDayStored) {
    auto* form = openForm(0);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    auto* days = form->Calendar1->findChild<QAbstractItemView*>(QStringLiteral("qt_calendar_calendarview"));
    ASSERT_NE(days, nullptr);
    pickDay(form, QDate(2024, 6, 10));
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Return}) QTest::keyClick(days, key);
    EXPECT_EQ(form->txtFields_0->text(), "2024-06-18");
    enter(form, form->Calendar1->selectedDate(), 0, 25, QStringLiteral("Tempo"));
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    ASSERT_EQ(logRows().size(), 1u);
    EXPECT_EQ(logRows()[0].date, "2024-06-18");
}

TEST_F(Keyboard, navigationBarKeysWorkAndAreNamedInTheTooltips) {
    auto* form = openForm(4);
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    const struct {
        const char* button;
        Qt::Key key;
        const char* reached;
    } keys[] = {{"last", Qt::Key_End, "Entry Number: 4"},
                {"previous", Qt::Key_PageUp, "Entry Number: 3"},
                {"first", Qt::Key_Home, "Entry Number: 1"},
                {"next", Qt::Key_PageDown, "Entry Number: 2"}};
    form->Sldhr->setFocus();
    for (const auto& k : keys) {
        auto* b = form->Data1->findChild<QToolButton*>(QString::fromLatin1(k.button));
        EXPECT_TRUE(b->toolTip().contains(QKeySequence(Qt::CTRL | k.key).toString(QKeySequence::NativeText)));
        QTest::keyClick(QApplication::focusWidget(), k.key, Qt::ControlModifier);
        // The button is pressed as by a click, shown down a moment first.
        EXPECT_TRUE(testsupport::waitFor([&] { return entryNumber(form) == k.reached; })) << k.button;
    }
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// The entry form by keyboard and wheel: what the sliders and the calendar
// show is what is stored, the navigation bar's keys, the access keys.
#include "entry_fixture.h"

#include "app/Module1.h"
#include "forms/grid/frmDataGrid.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

#include <functional>
#include <set>

namespace {

using Keyboard = EntryFormTest;

void wheel(QWidget* w, int notches) {
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

void mouse(QWidget* w, QEvent::Type type, const QPoint& at, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

QPoint handleCentre(controls::Slider* s) {
    QStyleOptionSlider opt;
    opt.initFrom(s);
    opt.orientation = s->orientation();
    opt.minimum = s->minimum();
    opt.maximum = s->maximum();
    opt.sliderPosition = s->sliderPosition();
    opt.sliderValue = s->value();
    opt.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    return s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, s).center();
}

// The duration box as it reads after a move of either slider.
QString shown(frmaddnew* form, bool hourSliderMoved) {
    const QString hours = QString::number(form->Sldhr->value()) + QLatin1Char(':');
    return hourSliderMoved ? hours : hours + QString::number(form->Sldmin->value());
}

TEST_F(Keyboard, everyMoveOfASliderIsShownAndStoredAsItsValue) {
    auto* form = openForm(0);
    auto key = [](Qt::Key k, int times = 1) {
        return [k, times](QWidget* w) {
            for (int i = 0; i < times; ++i) QTest::keyClick(w, k);
        };
    };
    auto notches = [](int n) { return [n](QWidget* w) { wheel(w, n); }; };
    const struct {
        const char* what;
        bool hours;
        std::function<void(QWidget*)> move;
    } cases[] = {
        {"hours: right arrow", true, key(Qt::Key_Right)},
        {"minutes: right arrow twice", false, key(Qt::Key_Right, 2)},
        {"minutes: page up", false, key(Qt::Key_PageUp)},
        {"hours: end", true, key(Qt::Key_End)},
        {"hours: left arrow", true, key(Qt::Key_Left)},
        {"minutes: end", false, key(Qt::Key_End)},
        {"hours: home", true, key(Qt::Key_Home)},
        {"minutes: page down", false, key(Qt::Key_PageDown)},
        {"hours: wheel up", true, notches(1)},
        {"minutes: wheel down", false, notches(-1)},
        {"minutes: up arrow", false, key(Qt::Key_Up)},
    };
    int stored = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
        pickDay(form, QDate(2024, 7, 1));
        form->cbtype->setEditText(QStringLiteral("Long"));
        controls::Slider* slider = c.hours ? form->Sldhr : form->Sldmin;
        const int before = slider->value();
        c.move(slider);
        EXPECT_NE(slider->value(), before);
        EXPECT_EQ(form->txtSld->text(), shown(form, c.hours));
        EXPECT_EQ(form->iHour, form->Sldhr->value());
        EXPECT_EQ(form->iMin, form->Sldmin->value());
        const int minutes = form->Sldhr->value() * 60 + form->Sldmin->value();
        QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
        ASSERT_EQ(logRows().size(), size_t(++stored));
        EXPECT_EQ(logRows().back().time, minutes);
    }
    EXPECT_EQ(boxes.count(), 0) << boxes.prompts().join(" | ").toStdString();
}

TEST_F(Keyboard, durationBoxFollowsADraggedThumbLive) {
    auto* form = openForm(0);
    form->resize(form->size());
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    controls::Slider* s = form->Sldmin;
    const QPoint start = handleCentre(s);
    mouse(s, QEvent::MouseButtonPress, start, Qt::LeftButton);
    std::vector<QString> seen;
    for (int x = start.x() + s->width() / 8; x < s->width(); x += s->width() / 8) {
        mouse(s, QEvent::MouseMove, QPoint(x, start.y()), Qt::LeftButton);
        seen.push_back(form->txtSld->text());
        EXPECT_EQ(form->txtSld->text(), shown(form, false)) << x;
    }
    EXPECT_GT(s->value(), 30);
    EXPECT_GE(std::set<QString>(seen.begin(), seen.end()).size(), 4u);  // not only at the release
    mouse(s, QEvent::MouseButtonRelease, QPoint(s->width() - 1, start.y()), Qt::NoButton);
    EXPECT_EQ(form->iMin, s->value());
}

TEST_F(Keyboard, dayChosenWithTheKeyboardIsTheDayStored) {
    auto* form = openForm(0);
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    auto* days = form->Calendar1->findChild<QAbstractItemView*>(QStringLiteral("qt_calendar_calendarview"));
    ASSERT_NE(days, nullptr);
    pickDay(form, QDate(2024, 6, 10));
    const struct {
        Qt::Key key;
        QDate day;
    } steps[] = {{Qt::Key_Right, {2024, 6, 11}}, {Qt::Key_Right, {2024, 6, 12}}, {Qt::Key_Down, {2024, 6, 19}},
                 {Qt::Key_Left, {2024, 6, 18}},  {Qt::Key_Return, {2024, 6, 18}}};
    for (const auto& step : steps) {
        QTest::keyClick(days, step.key);
        EXPECT_EQ(form->Calendar1->selectedDate(), step.day);
        EXPECT_EQ(form->txtFields_0->text(), step.day.toString(Qt::ISODate));
    }
    slide(form->Sldmin, 25);
    form->cbtype->setEditText(QStringLiteral("Tempo"));
    QTest::mouseClick(form->Cmdaccpt, Qt::LeftButton);
    ASSERT_EQ(logRows().size(), 1u);
    EXPECT_EQ(logRows()[0].date, "2024-06-18");
    // The next entry starts with an empty date box, as a new entry does.
    QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
    EXPECT_EQ(form->txtFields_0->text(), "");
}

TEST_F(Keyboard, navigationBarHasKeysNamedInItsTooltips) {
    auto* form = openForm(4);
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    const struct {
        const char* button;
        QKeySequence key;
        const char* reached;
    } keys[] = {
        {"last", QKeySequence(Qt::CTRL | Qt::Key_End), "Entry Number: 4"},
        {"previous", QKeySequence(Qt::CTRL | Qt::Key_PageUp), "Entry Number: 3"},
        {"first", QKeySequence(Qt::CTRL | Qt::Key_Home), "Entry Number: 1"},
        {"next", QKeySequence(Qt::CTRL | Qt::Key_PageDown), "Entry Number: 2"},
    };
    for (const auto& k : keys) {
        SCOPED_TRACE(k.button);
        auto* b = form->Data1->findChild<QToolButton*>(QString::fromLatin1(k.button));
        ASSERT_NE(b, nullptr);
        EXPECT_TRUE(b->toolTip().contains(k.key.toString(QKeySequence::NativeText))) << b->toolTip().toStdString();
        EXPECT_TRUE(b->focusPolicy() & Qt::TabFocus);
        // The key works wherever the focus is, the sliders included.
        QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : form;
        QTest::keyClick(focus, Qt::Key(k.key[0].key()), k.key[0].keyboardModifiers());
        // A key presses its button as a click would, shown pressed a moment.
        EXPECT_TRUE(testsupport::waitFor([&] { return entryNumber(form) == k.reached; }))
            << entryNumber(form).toStdString();
    }
    // A focused button moves with Space, as any button does.
    auto* first = form->Data1->findChild<QToolButton*>(QStringLiteral("first"));
    first->setFocus();
    QTest::keyClick(first, Qt::Key_Space);
    EXPECT_EQ(entryNumber(form), "Entry Number: 1");
}

TEST_F(Keyboard, accessKeysPressTheirButtons) {
    Module1::sDatabasePath = program.path() + QStringLiteral("\\RUN.MDB");
    auto* form = openForm(3);
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    QTest::keyClick(form, Qt::Key_V, Qt::AltModifier);
    EXPECT_TRUE(testsupport::waitFor([] {
        for (int i = 0; i < ui::Forms::Count(); ++i)
            if (qobject_cast<frmDataGrid*>(ui::Forms::Item(i))) return true;
        return false;
    }));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    QTest::keyClick(form, Qt::Key_D, Qt::AltModifier);
    EXPECT_TRUE(testsupport::waitFor([&] { return logRows().size() == 2u; }));
    QTest::keyClick(form, Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(testsupport::waitFor([&] { return form->iAddNew == -1; }));
    EXPECT_EQ(boxes.count(), 0) << boxes.prompts().join(" | ").toStdString();
    Module1::resetSharedState();
}

}  // namespace

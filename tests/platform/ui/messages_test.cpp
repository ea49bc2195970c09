// SPDX-License-Identifier: GPL-3.0-or-later
// Message boxes, the mouse pointer and the error guard.
#include "dao/errors.h"
#include "support/gui/msgboxes.h"
#include "ui/application.h"
#include "ui/guard.h"
#include "ui/msgbox.h"
#include "ui/screen.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace ui;

namespace {

TEST(MsgBoxTest, boxesAreAnsweredAndRecordedWithTheProgramsTitle) {
    testsupport::MsgBoxRecorder boxes;
    boxes.answer(vbNo);
    EXPECT_EQ(MsgBox("Delete this entry?", vbYesNo + vbQuestion), vbNo);
    EXPECT_EQ(MsgBox("Saved"), vbOK);  // no answer queued: the first button
    EXPECT_EQ(MsgBox("Retry?", vbRetryCancel, "Own title"), vbRetry);

    ASSERT_EQ(boxes.count(), 3);
    EXPECT_EQ(boxes.boxes()[0].prompt, "Delete this entry?");
    EXPECT_EQ(boxes.boxes()[0].buttons, vbYesNo + vbQuestion);
    EXPECT_EQ(boxes.boxes()[0].title, "Pacebook");
    EXPECT_EQ(boxes.boxes()[1].title, "Pacebook");
    EXPECT_EQ(boxes.last().title, "Own title");
}

TEST(MsgBoxTest, pointerIsTheArrowWhileABoxIsUpAndComesBackAfter) {
    testsupport::MsgBoxRecorder boxes;
    int pointerDuringBox = -1;
    Qt::CursorShape cursorDuringBox = Qt::BlankCursor;
    boxes.onBox([&](const MessageRecord&) {
        pointerDuringBox = Screen::MousePointer();
        cursorDuringBox = QGuiApplication::overrideCursor()->shape();
        return 0;
    });
    {
        BusyPointer busy;
        MsgBox("Working");
        EXPECT_EQ(Screen::MousePointer(), Screen::vbHourglass);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(pointerDuringBox, Screen::vbArrow);
    EXPECT_EQ(cursorDuringBox, Qt::ArrowCursor);
    EXPECT_EQ(Screen::MousePointer(), Screen::vbDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(MsgBoxTest, realBoxShowsTheCodesButtonsAndReturnsTheOnePressed) {
    ui::setMsgBoxResponder(nullptr);
    QString title, text;
    int buttonCount = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        buttonCount = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::No)->click();
    });
    const int answer = MsgBox("Delete this entry?", vbYesNo + vbQuestion);
    testsupport::installDefaultResponder();
    EXPECT_EQ(answer, vbNo);
    EXPECT_EQ(title, "Pacebook");
    EXPECT_EQ(text, "Delete this entry?");
    EXPECT_EQ(buttonCount, 2);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(ScreenTest, pointerValuesMapToCursors) {
    Screen::setMousePointer(Screen::vbHourglass);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    Screen::setMousePointer(Screen::vbHourglass);  // setting it twice needs one reset
    Screen::setMousePointer(Screen::vbDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    Screen::setMousePointer(99);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::ArrowCursor);
    Screen::setMousePointer(Screen::vbDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(GuardTest, untrappedErrorIsReportedWithNumberAndDescriptionAndEndsOnlyTheHandler) {
    testsupport::MsgBoxRecorder boxes;
    bool after = false;
    Screen::setMousePointer(Screen::vbHourglass);
    guard([&] {
        throw dao::Error(dao::err::NoCurrentRecord, "No current record.");
        after = true;
    });
    EXPECT_FALSE(after);
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().prompt, "Run-time error '3021':\n\nNo current record.");
    EXPECT_EQ(boxes.last().buttons, vbOKOnly + vbCritical);
    EXPECT_EQ(boxes.last().title, "Pacebook");
    // Never left on the hourglass by an error.
    EXPECT_EQ(Screen::MousePointer(), Screen::vbDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(GuardTest, otherExceptionsAreReportedAsInternalErrors) {
    testsupport::MsgBoxRecorder boxes;
    guard([] { throw std::runtime_error("bad state"); });
    guard([] { throw 42; });
    ASSERT_EQ(boxes.count(), 2);
    EXPECT_EQ(boxes.boxes()[0].prompt, "Run-time error '51':\n\nInternal error: bad state");
    EXPECT_EQ(boxes.boxes()[1].prompt, "Run-time error '51':\n\nInternal error");
}

TEST(GuardTest, onEventRunsMenuHandlersThroughTheGuard) {
    testsupport::MsgBoxRecorder boxes;
    struct Window : QObject {
        int clicks = 0;
        void mnuItem_Click() {
            ++clicks;
            throw dao::Error(dao::err::InvalidPropertyValue, "Invalid property value");
        }
    } window;
    QAction item;
    onEvent(&item, &QAction::triggered, &window, &Window::mnuItem_Click);
    item.trigger();
    item.trigger();  // the program is still running and answers again
    EXPECT_EQ(window.clicks, 2);
    ASSERT_EQ(boxes.count(), 2);
    EXPECT_EQ(boxes.last().prompt, "Run-time error '380':\n\nInvalid property value");
}

TEST(ApplicationTest, errorEscapingAnEventHandlerIsReportedAndTheLoopGoesOn) {
    testsupport::MsgBoxRecorder boxes;
    struct Thrower : QObject {
        bool event(QEvent* e) override {
            if (e->type() == QEvent::User) throw dao::Error(dao::err::DiskFull, "Disk full.");
            return QObject::event(e);
        }
    } thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    bool ranAfter = false;
    QTimer::singleShot(0, [&] { ranAfter = true; });
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(ranAfter);
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().prompt, "Run-time error '3026':\n\nDisk full.");
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// The last net: an error that escapes a handler or a widget's own event
// handling is reported, and the program goes on answering events.

#include "dao/errors.h"
#include "support/gui/msgboxes.h"
#include "support/gui/windows.h"
#include "ui/guard.h"

#include <QApplication>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// A widget that fails in whichever of its events the test picks.
class FailingWidget : public QWidget {
public:
    bool failPaint = false;
    bool failResize = false;
    bool failMouse = false;
    bool failKey = false;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        ++paints;
        if (failPaint) throw dao::Error(dao::err::InvalidPropertyValue, QStringLiteral("Cannot draw the chart."));
    }
    void resizeEvent(QResizeEvent*) override {
        if (failResize) throw std::runtime_error("layout lost");
    }
    void mousePressEvent(QMouseEvent*) override {
        if (failMouse) throw dao::Error(dao::err::NoCurrentRecord, QStringLiteral("No current record."));
    }
    void keyPressEvent(QKeyEvent*) override {
        if (failKey) throw dao::Error(dao::err::DiskFull, QStringLiteral("Disk full."));
    }
};

class EventNetTest : public ::testing::Test {
protected:
    void SetUp() override {
        widget.resize(200, 120);
        widget.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
        ASSERT_TRUE(testsupport::waitFor([&] { return widget.paints > 0; }));
        boxes.clear();
    }
    // Whether the event loop still runs a timer after all that.
    static bool loopGoesOn() {
        bool ran = false;
        QTimer::singleShot(0, [&] { ran = true; });
        return testsupport::waitFor([&] { return ran; });
    }

    testsupport::MsgBoxRecorder boxes;
    FailingWidget widget;
};

TEST_F(EventNetTest, aFailingPaintIsReportedOnceAfterThePaintAndTheWindowGoesOn) {
    widget.failPaint = true;
    const int before = widget.paints;
    widget.update();
    ASSERT_TRUE(testsupport::waitFor([&] { return boxes.count() > 0; }));
    EXPECT_GT(widget.paints, before);
    EXPECT_EQ(boxes.last().prompt, QStringLiteral("Run-time error '380':\n\nCannot draw the chart."));
    // Painting again fails again, but the message does not come back each time.
    const int failed = widget.paints;
    widget.repaint();
    widget.update();
    ASSERT_TRUE(testsupport::waitFor([&] { return widget.paints >= failed + 2; })) << widget.paints - failed;
    ASSERT_TRUE(testsupport::processQueuedEvents());  // what those paints would report
    EXPECT_EQ(boxes.count(), 1);
    EXPECT_TRUE(loopGoesOn());
    widget.failPaint = false;
    const int paints = widget.paints;
    widget.repaint();
    EXPECT_GT(widget.paints, paints);
}

TEST_F(EventNetTest, aFailingResizeIsReportedAndTheSizeStillChanges) {
    widget.failResize = true;
    widget.resize(260, 140);
    ASSERT_TRUE(testsupport::waitFor([&] { return boxes.count() > 0; }));
    EXPECT_EQ(boxes.last().prompt, QStringLiteral("Run-time error '51':\n\nInternal error: layout lost"));
    EXPECT_EQ(widget.size(), QSize(260, 140));
    EXPECT_TRUE(loopGoesOn());
}

TEST_F(EventNetTest, aFailingClickOrKeyIsReportedAtOnceEveryTime) {
    widget.failMouse = true;
    widget.failKey = true;
    QTest::mouseClick(&widget, Qt::LeftButton);
    EXPECT_EQ(boxes.count(), 1);
    QTest::mouseClick(&widget, Qt::LeftButton);
    EXPECT_EQ(boxes.count(), 2);
    EXPECT_EQ(boxes.last().prompt, QStringLiteral("Run-time error '3021':\n\nNo current record."));
    QTest::keyClick(&widget, Qt::Key_A);
    ASSERT_EQ(boxes.count(), 3);
    EXPECT_EQ(boxes.last().prompt, QStringLiteral("Run-time error '3026':\n\nDisk full."));
    EXPECT_TRUE(loopGoesOn());
}

TEST_F(EventNetTest, aSlotThatThrowsWithoutItsOwnGuardIsReported) {
    QPushButton button(QStringLiteral("Go"));
    button.show();
    int runs = 0;
    // Connected straight, not through ui::onEvent: the last net catches it.
    QObject::connect(&button, &QPushButton::clicked, [&] {
        ++runs;
        throw dao::Error(dao::err::FileInUse, QStringLiteral("The file is in use."));
    });
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(runs, 2);
    ASSERT_EQ(boxes.count(), 2);
    EXPECT_EQ(boxes.last().prompt, QStringLiteral("Run-time error '3045':\n\nThe file is in use."));

    // A queued call and a timer's slot, from the event loop itself.
    QMetaObject::invokeMethod(
        &button, [] { throw dao::Error(dao::err::DiskIoError, QStringLiteral("Read error.")); }, Qt::QueuedConnection);
    ASSERT_TRUE(testsupport::waitFor([&] { return boxes.count() == 3; }));
    EXPECT_EQ(boxes.last().prompt, QStringLiteral("Run-time error '3043':\n\nRead error."));
    QTimer ticker;
    int ticks = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        throw std::runtime_error("tick");
    });
    ticker.start(5);
    ASSERT_TRUE(testsupport::waitFor([&] { return ticks >= 5; }));
    ticker.stop();
    ASSERT_TRUE(testsupport::processQueuedEvents());  // what the ticks would report
    // A timer that fails every time is reported once.
    EXPECT_EQ(boxes.count(), 4);
    EXPECT_TRUE(button.isVisible());
    EXPECT_TRUE(loopGoesOn());
}

}  // namespace

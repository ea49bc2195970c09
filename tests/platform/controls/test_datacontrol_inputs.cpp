// SPDX-License-Identifier: GPL-3.0-or-later
// Input controls of the data-bound windows: the slider's Click and the
// multi-line text box's length limit.
#include "controls/slider.h"
#include "controls/textbox.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct SliderTest : ::testing::Test {
    void SetUp() override {
        slider.setRange(0, 6);
        slider.resize(210, 30);
        slider.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider));
    }
    controls::Slider slider;
};

TEST_F(SliderTest, clickOnTheTrackPicksTheValueThereAndRaisesClick) {
    QSignalSpy clicks(&slider, &controls::Slider::Click);
    QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(slider.width() - 3, slider.height() / 2));
    EXPECT_EQ(slider.value(), 6);
    EXPECT_EQ(clicks.count(), 1);
    QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(3, slider.height() / 2));
    EXPECT_EQ(slider.value(), 0);
    EXPECT_EQ(clicks.count(), 2);
}

TEST_F(SliderTest, dragRaisesOneClickForEachValueItPassesAndNoneMoreOnRelease) {
    QSignalSpy clicks(&slider, &controls::Slider::Click);
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(3, slider.height() / 2));
    QTest::mouseMove(&slider, QPoint(slider.width() / 2, slider.height() / 2));
    EXPECT_EQ(clicks.count(), 1);  // while the button is still down
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(slider.width() / 2, slider.height() / 2));
    EXPECT_EQ(clicks.count(), 1);
    QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(slider.width() / 2, slider.height() / 2));
    EXPECT_EQ(clicks.count(), 2);  // a click on the thumb changes nothing, and is a Click
}

TEST_F(SliderTest, keyboardMovesRaiseAClickEach) {
    QSignalSpy clicks(&slider, &controls::Slider::Click);
    slider.setFocus();
    QTest::keyClick(&slider, Qt::Key_Right);
    QTest::keyClick(&slider, Qt::Key_End);
    QTest::keyClick(&slider, Qt::Key_End);
    EXPECT_EQ(slider.value(), 6);
    EXPECT_EQ(clicks.count(), 2);
}

TEST(MultiLineTextBoxTest, typingPastMaxLengthKeepsWhatFits) {
    controls::MultiLineTextBox box;
    box.setMaxLength(5);
    box.show();
    box.setFocus();
    QTest::keyClicks(&box, QStringLiteral("abcdefg"));
    EXPECT_EQ(box.toPlainText(), "abcde");
    box.moveCursor(QTextCursor::Start);
    QTest::keyClicks(&box, QStringLiteral("x"));
    EXPECT_EQ(box.toPlainText(), "abcde");
}

TEST(MultiLineTextBoxTest, pastingPastMaxLengthKeepsWhatFits) {
    controls::MultiLineTextBox box;
    box.setMaxLength(10);
    box.setPlainText(QStringLiteral("abc"));
    box.moveCursor(QTextCursor::End);
    QGuiApplication::clipboard()->setText(QStringLiteral("0123456789"));
    box.paste();
    EXPECT_EQ(box.toPlainText(), "abc0123456");
}

TEST(MultiLineTextBoxTest, longerTextSetByTheProgramIsKeptWhole) {
    controls::MultiLineTextBox box;
    box.setMaxLength(255);
    const QString stored = QString(300, QLatin1Char('a')) + QStringLiteral("\nb");
    box.setPlainText(stored);
    EXPECT_EQ(box.toPlainText(), stored);
    // The user may still shorten it.
    box.show();
    box.setFocus();
    box.moveCursor(QTextCursor::End);
    QTest::keyClick(&box, Qt::Key_Backspace);
    QTest::keyClicks(&box, QStringLiteral("xy"));
    EXPECT_EQ(box.toPlainText(), stored.left(stored.size() - 1));
}

}  // namespace

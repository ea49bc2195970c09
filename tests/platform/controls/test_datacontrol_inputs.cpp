// SPDX-License-Identifier: GPL-3.0-or-later
// Input controls of the data-bound windows: the slider's Click and the
// multi-line text box's length limit.
#include "controls/slider.h"
#include "controls/textbox.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

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

// Each gesture raises Click for every value it leaves the slider at, and a
// click that changes nothing raises one: a handler that reads the value in
// Click always has what the slider shows.
TEST_F(SliderTest, everyGestureRaisesClickWithTheValueShown) {
    const int y = slider.height() / 2;
    const int right = slider.width() - 3;
    const struct {
        const char* gesture;
        std::function<void()> act;
        std::vector<int> seen;  // the value at each Click
    } cases[] = {
        {"click on the track's right end", [&] { QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(right, y)); }, {6}},
        {"click on the thumb, where it is", [&] { QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(right, y)); }, {6}},
        {"left arrow, then Home", [&] { QTest::keyClick(&slider, Qt::Key_Left); QTest::keyClick(&slider, Qt::Key_Home); }, {5, 0}},
        {"Home again: no change", [&] { QTest::keyClick(&slider, Qt::Key_Home); }, {}},
        {"Page Up, End", [&] { QTest::keyClick(&slider, Qt::Key_PageUp); QTest::keyClick(&slider, Qt::Key_End); }, {1, 6}},
        {"drag from the right end to the middle", [&] {
             QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(right, y));
             QTest::mouseMove(&slider, QPoint(slider.width() / 2, y));
             QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(slider.width() / 2, y));
         }, {3}},
        {"set by the program", [&] { slider.setValue(2); }, {2}},
    };
    std::vector<int> seen;
    QObject::connect(&slider, &controls::Slider::Click, [&] { seen.push_back(slider.value()); });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.gesture);
        seen.clear();
        c.act();
        EXPECT_EQ(seen, c.seen);
    }
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

// SPDX-License-Identifier: GPL-3.0-or-later
// The multi-line text box: a paste of nothing pastes nothing, whichever way
// it comes; text past its limits is refused whole, with a message, before
// it reaches the box.
#include "controls/textbox.h"
#include "support/gui/msgboxes.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

class TextBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        box.resize(330, 40);
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        box.setFocus();
        // Counts every character that reaches the box's text.
        QObject::connect(box.document(), &QTextDocument::contentsChange,
                         [this](int, int, int added) { reached += added; });
    }
    void TearDown() override { QGuiApplication::clipboard()->clear(); }

    static void setClipboard(const QString& text) {
        auto* data = new QMimeData;
        data->setText(text);
        QGuiApplication::clipboard()->setMimeData(data);
    }
    // Sets the box's text as the program does, the cursor at its end, and
    // forgets what that added.
    void start(const QString& text) {
        box.setPlainText(text);
        box.moveCursor(QTextCursor::End);
        reached = 0;
    }

    controls::MultiLineTextBox box;
    testsupport::MsgBoxRecorder boxes;
    int reached = 0;
};

TEST_F(TextBoxTest, aSourceWithoutFormatsOrNonePastesNothingWhicheverWayItComes) {
    struct Way {
        const char* name;
        std::function<void(controls::MultiLineTextBox&)> paste;
    };
    const std::vector<Way> ways = {
        {"Ctrl+V", [](auto& b) { QTest::keyClick(&b, Qt::Key_V, Qt::ControlModifier); }},
        {"Shift+Insert", [](auto& b) { QTest::keyClick(&b, Qt::Key_Insert, Qt::ShiftModifier); }},
        {"the context menu's Paste",
         [](auto& b) {
             std::unique_ptr<QMenu> menu(b.createStandardContextMenu());
             QAction* paste = menu->findChild<QAction*>(QStringLiteral("edit-paste"));
             ASSERT_NE(paste, nullptr);
             EXPECT_FALSE(paste->isEnabled());
             paste->trigger();
         }},
        {"a drop",
         [](auto& b) {
             QMimeData nothing;
             QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &nothing, Qt::LeftButton, Qt::NoModifier);
             QCoreApplication::sendEvent(b.viewport(), &drop);
         }},
    };
    for (bool none : {false, true}) {
        // A clipboard that was never set, or one whose owner is gone: a
        // source that offers no format at all.
        if (none)
            QGuiApplication::clipboard()->clear();
        else
            QGuiApplication::clipboard()->setMimeData(new QMimeData);
        for (const Way& way : ways) {
            start(QStringLiteral("Tempo run"));
            way.paste(box);
            EXPECT_EQ(box.toPlainText(), QStringLiteral("Tempo run")) << way.name;
            EXPECT_EQ(boxes.count(), 0) << way.name;
        }
    }
    // Plain text still pastes, each way.
    setClipboard(QStringLiteral(", hills"));
    start(QStringLiteral("Tempo"));
    QTest::keyClick(&box, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(&box, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(box.toPlainText(), QStringLiteral("Tempo, hills, hills"));
}

TEST_F(TextBoxTest, textPastTheLimitsIsRefusedWholeBeforeItReachesTheBox) {
    constexpr int kLine = controls::MultiLineTextBox::kMaxLineLength;
    box.setMaxBytes(100'000);
    const QString lines = QString(99, u'x') + u'\n';  // 100 bytes a line
    struct Case {
        const char* what;
        QString existing;
        QString pasted;
        bool refused;
    };
    const std::vector<Case> cases = {
        {"many lines up to the limit", QString(), lines.repeated(1000), false},
        {"many lines one byte past it", QStringLiteral("s"), lines.repeated(1000), true},
        {"two-byte characters past it", QString(), QString(50'001, u'\u00e9'), true},
        {"a line as long as a line may be", QStringLiteral("select "), QString(kLine - 7, u'x'), false},
        {"a line one character longer", QStringLiteral("select "), QString(kLine - 6, u'x'), true},
        {"a short text joining a long line", QString(kLine, u'y'), QStringLiteral("z"), true},
        {"a statement of 10 MB on one line", QString(), QString(10'000'000, u'q'), true},
        {"10 MB of short lines", QString(), lines.repeated(100'000), true},
    };
    for (const Case& c : cases) {
        start(c.existing);
        boxes.clear();
        setClipboard(c.pasted);
        QTest::keyClick(&box, Qt::Key_V, Qt::ControlModifier);
        if (!c.refused) {
            EXPECT_EQ(box.toPlainText(), c.existing + c.pasted) << c.what;
            EXPECT_EQ(boxes.count(), 0) << c.what;
            continue;
        }
        EXPECT_EQ(box.toPlainText(), c.existing) << c.what;
        EXPECT_EQ(reached, 0) << c.what;
        ASSERT_EQ(boxes.count(), 1) << c.what;
        EXPECT_TRUE(boxes.last().prompt.startsWith(QStringLiteral("The text was not pasted"))) << c.what;
    }
}

TEST_F(TextBoxTest, typingOrJoiningPastTheLimitsIsRefusedAndANewLineIsNot) {
    constexpr int kLine = controls::MultiLineTextBox::kMaxLineLength;
    box.setMaxBytes(20'100);
    // A line as long as it may be: one more character is refused, a new
    // line is not.
    start(QString(kLine, u'a'));
    QTest::keyClicks(&box, QStringLiteral("b"));
    EXPECT_EQ(box.toPlainText(), QString(kLine, u'a'));
    EXPECT_EQ(boxes.count(), 1);
    QTest::keyClick(&box, Qt::Key_Return);
    QTest::keyClicks(&box, QStringLiteral("b"));
    EXPECT_EQ(box.toPlainText(), QString(kLine, u'a') + u'\n' + u'b');

    // Two lines that would make one too long stay apart, whichever key
    // joins them; short ones join.
    const QString two = QString(6000, u'a') + u'\n' + QString(6000, u'b');
    for (const auto& [key, at] : {std::pair{Qt::Key_Delete, 6000}, std::pair{Qt::Key_Backspace, 6001}}) {
        box.setPlainText(two);
        QTextCursor c = box.textCursor();
        c.setPosition(at);
        box.setTextCursor(c);
        boxes.clear();
        QTest::keyClick(&box, key);
        EXPECT_EQ(box.toPlainText(), two) << key;
        EXPECT_EQ(boxes.count(), 1) << key;
        EXPECT_EQ(box.textCursor().position(), 6000) << key;
    }
    box.setPlainText(QStringLiteral("ab\ncd"));
    QTextCursor c = box.textCursor();
    c.setPosition(2);
    box.setTextCursor(c);
    QTest::keyClick(&box, Qt::Key_Delete);
    EXPECT_EQ(box.toPlainText(), QStringLiteral("abcd"));

    // A full box takes no more typing.
    start(QString(kLine, u'a') + u'\n' + QString(kLine, u'b') + u'\n' + QString(98, u'c'));
    boxes.clear();
    QTest::keyClicks(&box, QStringLiteral("dd"));
    EXPECT_EQ(box.toPlainText().size(), 20'100);
    EXPECT_EQ(boxes.count(), 2);
    EXPECT_TRUE(boxes.last().prompt.contains(QStringLiteral("full")));
}

}  // namespace

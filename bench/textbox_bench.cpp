// SPDX-License-Identifier: GPL-3.0-or-later
// A keystroke in the query window's statement box at what the box lets the
// user reach: one line as long as a line may be (without a blank, the
// layout's worst case), and the whole statement limit in short lines,
// beside a keystroke in an empty box.

#include "harness.h"

#include "controls/textbox.h"
#include "dao/sqlguard.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWindow>

#include <stdexcept>

namespace {

// Types one character at the end of the text and repaints the box.
double keystrokeMs(const QString& text) {
    controls::MultiLineTextBox box;
    box.setMaxBytes(dao::guard::kMaxStatementBytes);
    box.resize(329, 40);  // the statement box's size at 96 dpi
    box.show();
    for (int i = 0; i < 1000 && !(box.windowHandle() && box.windowHandle()->isExposed()); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    box.setPlainText(text);
    box.moveCursor(QTextCursor::End);
    box.repaint();
    return bench::timeMs([&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QCoreApplication::sendEvent(&box, &press);
        box.repaint();
    });
}

double emptyBoxMs(bench::Context&) { return keystrokeMs(QString()); }

bench::Registrar longLine({
    .name = "statement_key_longest_line",
    .run = [](bench::Context&) { return keystrokeMs(QString(controls::MultiLineTextBox::kMaxLineLength - 1, u'x')); },
    .anchor = emptyBoxMs,
    .goal = "under 50 ms",
    .maxRows = 10000,
});

bench::Registrar fullBox({
    .name = "statement_key_full_box",
    .run =
        [](bench::Context&) {
            return keystrokeMs((QString(99, u'x') + u'\n').repeated(dao::guard::kMaxStatementBytes / 100 - 1));
        },
    .anchor = emptyBoxMs,
    .goal = "under 50 ms",
    .maxRows = 10000,
});

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/textbox.h"

#include <QPalette>
#include <QTextCursor>

namespace controls {

MultiLineTextBox::MultiLineTextBox(QWidget* parent) : QPlainTextEdit(parent) { setTabChangesFocus(true); }

void MultiLineTextBox::setMaxLength(int length) { maxLength_ = length < 0 ? 0 : length; }

template <class F>
void MultiLineTextBox::limited(F&& edit) {
    const int before = document()->characterCount() - 1;
    edit();
    if (maxLength_ == 0) return;
    const int after = document()->characterCount() - 1;
    // Only what this edit added goes, and never below what was there.
    const int excess = std::min(after - maxLength_, after - before);
    if (excess <= 0) return;
    QTextCursor cursor = textCursor();
    const int end = cursor.position();
    cursor.setPosition(std::max(0, end - excess));
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    setTextCursor(cursor);
}

void MultiLineTextBox::keyPressEvent(QKeyEvent* event) {
    limited([&] { QPlainTextEdit::keyPressEvent(event); });
}

void MultiLineTextBox::inputMethodEvent(QInputMethodEvent* event) {
    limited([&] { QPlainTextEdit::inputMethodEvent(event); });
}

void MultiLineTextBox::insertFromMimeData(const QMimeData* source) {
    limited([&] { QPlainTextEdit::insertFromMimeData(source); });
}

void showTextWhileDisabled(QWidget* box) {
    QPalette palette = box->palette();
    palette.setColor(QPalette::Disabled, QPalette::Text, palette.color(QPalette::Active, QPalette::Text));
    palette.setColor(QPalette::Disabled, QPalette::Base, palette.color(QPalette::Active, QPalette::Window));
    box->setPalette(palette);
}

}  // namespace controls

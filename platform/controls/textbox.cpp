// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/textbox.h"

#include "ui/msgbox.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>

namespace controls {

namespace {

// What ends a line of the box: each starts a paragraph of its own.
bool isLineBreak(QChar c) { return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator; }

int longestLine(QStringView text) {
    int longest = 0;
    int run = 0;
    for (QChar c : text) {
        run = isLineBreak(c) ? 0 : run + 1;
        longest = std::max(longest, run);
    }
    return longest;
}

// Bytes of the text in UTF-8, a line break counted as one.
qsizetype utf8Size(QStringView text) {
    qsizetype bytes = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        bytes += u < 0x80 || u == QChar::ParagraphSeparator ? 1 : u < 0x800 || c.isSurrogate() ? 2 : 3;
    }
    return bytes;
}

void refuse(const QString& why) { ui::MsgBox(why, ui::vbOKOnly | ui::vbExclamation); }

}  // namespace

MultiLineTextBox::MultiLineTextBox(QWidget* parent) : QPlainTextEdit(parent) { setTabChangesFocus(true); }

void MultiLineTextBox::setMaxLength(int length) { maxLength_ = length < 0 ? 0 : length; }

void MultiLineTextBox::setMaxBytes(int bytes) { maxBytes_ = bytes < 0 ? 0 : bytes; }

bool MultiLineTextBox::admits(const QString& text, Edit edit) {
    const QTextCursor c = textCursor();
    const QTextBlock first = document()->findBlock(c.selectionStart());
    const QTextBlock last = document()->findBlock(c.selectionEnd());
    // The lines the edit makes: what stays of the first and the last line
    // around the new text. One that is already too long may be edited.
    const int longest = longestLine(first.text().left(c.selectionStart() - first.position()) + text +
                                    last.text().mid(c.selectionEnd() - last.position()));
    if (longest > kMaxLineLength && longest >= std::max(first.length(), last.length())) {
        refuse(edit == Edit::Pasted
                   ? tr("The text was not pasted: it would make a line of %L1 characters, and a line here may "
                        "hold at most %L2. Break it into shorter lines first.")
                         .arg(longest)
                         .arg(kMaxLineLength)
                   : tr("This line is full: a line here may hold at most %L1 characters. Start a new line with "
                        "Enter.")
                         .arg(kMaxLineLength));
        return false;
    }
    // Three bytes a character at most: only a text that may be near the
    // limit is counted.
    if (maxBytes_ > 0 && (document()->characterCount() + text.size()) * 3 > maxBytes_) {
        const qsizetype now = utf8Size(toPlainText());
        const qsizetype after = now - utf8Size(c.selectedText()) + utf8Size(text);
        if (after > maxBytes_ && after > now) {
            refuse(edit == Edit::Pasted ? tr("The text was not pasted: the box would hold %L1 bytes of text, and it "
                                             "may hold at most %L2.")
                                              .arg(after)
                                              .arg(maxBytes_)
                                        : tr("The box is full: it may hold at most %L1 bytes of text.").arg(maxBytes_));
            return false;
        }
    }
    return true;
}

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

void MultiLineTextBox::keepLinesShort(QKeyEvent* event) {
    const int blocks = document()->blockCount();
    const QTextCursor c = textCursor();
    QTextBlock first = document()->findBlock(c.selectionStart());
    QTextBlock last = document()->findBlock(c.selectionEnd());
    if (first.previous().isValid()) first = first.previous();  // Backspace at a line's start
    if (last.next().isValid()) last = last.next();              // Delete at its end
    int longestBefore = 0;
    for (QTextBlock b = first; b.isValid(); b = b.next()) {
        longestBefore = std::max(longestBefore, b.length() - 1);
        if (b == last) break;
    }
    limited([&] { QPlainTextEdit::keyPressEvent(event); });
    if (document()->blockCount() >= blocks) return;
    const int joined = textCursor().block().length() - 1;
    if (joined <= kMaxLineLength || joined <= longestBefore) return;
    // Lines joined where the cursor is now: the break goes back in.
    QTextCursor split = textCursor();
    const int at = split.position();
    split.insertBlock();
    split.setPosition(at);
    setTextCursor(split);
    refuse(tr("The lines were not joined: the line would hold %L1 characters, and a line here may hold at most "
              "%L2.")
               .arg(joined)
               .arg(kMaxLineLength));
}

void MultiLineTextBox::keyPressEvent(QKeyEvent* event) {
    if (!isReadOnly() && !event->matches(QKeySequence::Paste)) {
        // What the key would type (a paste goes through insertFromMimeData).
        QString typed = event->text();
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            typed = QStringLiteral("\n");
        else if (typed.isEmpty() || !typed.front().isPrint())
            typed.clear();
        if (!typed.isEmpty() && !admits(typed, Edit::Typed)) {
            event->accept();
            return;
        }
    }
    keepLinesShort(event);
}

void MultiLineTextBox::inputMethodEvent(QInputMethodEvent* event) {
    if (!isReadOnly() && !event->commitString().isEmpty() && !admits(event->commitString(), Edit::Typed)) {
        event->accept();
        return;
    }
    limited([&] { QPlainTextEdit::inputMethodEvent(event); });
}

bool MultiLineTextBox::canInsertFromMimeData(const QMimeData* source) const {
    return source && !source->formats().isEmpty() && QPlainTextEdit::canInsertFromMimeData(source);
}

void MultiLineTextBox::insertFromMimeData(const QMimeData* source) {
    // A source without formats, or none: nothing to paste.
    if (isReadOnly() || !source || source->formats().isEmpty() || !source->hasText()) return;
    QString text = source->text();
    if (maxLength_ > 0) {
        // What fits, before the text reaches the box.
        const QTextCursor c = textCursor();
        const int kept = document()->characterCount() - 1 - (c.selectionEnd() - c.selectionStart());
        text.truncate(std::max(0, maxLength_ - kept));
    }
    if (text.isEmpty() || !admits(text, Edit::Pasted)) return;
    QMimeData plain;
    plain.setText(text);
    limited([&] { QPlainTextEdit::insertFromMimeData(&plain); });
}

void showTextWhileDisabled(QWidget* box) {
    QPalette palette = box->palette();
    palette.setColor(QPalette::Disabled, QPalette::Text, palette.color(QPalette::Active, QPalette::Text));
    palette.setColor(QPalette::Disabled, QPalette::Base, palette.color(QPalette::Active, QPalette::Window));
    box->setPalette(palette);
}

}  // namespace controls

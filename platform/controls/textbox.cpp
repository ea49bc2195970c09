#include "controls/textbox.h"

#include <QTextCursor>

namespace controls {

MultiLineTextBox::MultiLineTextBox(QWidget* parent) : QPlainTextEdit(parent) {
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, &MultiLineTextBox::enforceMaxLength);
}

void MultiLineTextBox::setMaxLength(int length) {
    maxLength_ = length < 0 ? 0 : length;
    enforceMaxLength();
}

void MultiLineTextBox::enforceMaxLength() {
    if (trimming_ || maxLength_ == 0) return;
    const int excess = document()->characterCount() - 1 - maxLength_;
    if (excess <= 0) return;
    trimming_ = true;
    // Drop the characters just typed or pasted: those before the cursor.
    QTextCursor cursor = textCursor();
    int end = cursor.position();
    int start = end - excess;
    if (start < 0) {
        // Text set by the program: keep its beginning.
        start = maxLength_;
        end = start + excess;
    }
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    setTextCursor(cursor);
    trimming_ = false;
}

}  // namespace controls

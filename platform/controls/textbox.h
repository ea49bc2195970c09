// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A multi-line text box in which the user can type or paste at most
// MaxLength characters (0: no limit). Typing or pasting past the limit keeps
// what fits. Text set by the program is kept whole, so that a longer value
// stored elsewhere is shown, and written back, without loss.

#include <QPlainTextEdit>

namespace controls {

class MultiLineTextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit MultiLineTextBox(QWidget* parent = nullptr);

    int MaxLength() const { return maxLength_; }
    void setMaxLength(int length);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    // Runs the user's edit, then drops what it added past the limit.
    template <class F>
    void limited(F&& edit);

    int maxLength_ = 0;
};

// A box that takes no typing (it stays disabled) but whose text reads as
// normal text: dark on the window's own light grey, instead of the pale
// grey on grey of a disabled control.
void showTextWhileDisabled(QWidget* box);

}  // namespace controls

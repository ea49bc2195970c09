// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's multi-line text box: every window's multi-line box is one.
//
// - A paste (Ctrl+V, Shift+Insert, the context menu, the middle button's
//   selection paste under X11) or a drop of a source without any format, or
//   of none, pastes nothing. (Qt's own paste reads the first format of the
//   source: with nothing copied on the display, or after the program the
//   text was copied from ended, the program crashed.) Only plain text is
//   taken.
// - MaxLength: the user can type or paste at most so many characters
//   (0: no limit); typing or pasting past it keeps what fits.
// - MaxBytes: the text may hold at most so many bytes of UTF-8 (0: no
//   limit); typing or pasting past it is refused whole, with a message.
// - No line the user types, pastes or joins grows past kMaxLineLength
//   characters: that too is refused with a message. (Qt lays a line out
//   whole at every keystroke: a pasted line of a megabyte froze the program
//   for minutes.)
//
// The limits are checked before the text reaches the box. Text set by the
// program is kept whole, so that a longer value stored elsewhere is shown,
// and written back, without loss.

#include <QPlainTextEdit>

namespace controls {

class MultiLineTextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    // Longest line taken from the user: past some 16,000 characters without
    // a blank a keystroke takes the layout a tenth of a second and more.
    static constexpr int kMaxLineLength = 10'000;

    explicit MultiLineTextBox(QWidget* parent = nullptr);

    int MaxLength() const { return maxLength_; }
    void setMaxLength(int length);
    int MaxBytes() const { return maxBytes_; }
    void setMaxBytes(int bytes);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    enum class Edit { Typed, Pasted };
    // Whether text may replace the selection; says why not when it may not.
    bool admits(const QString& text, Edit edit);
    // Runs the user's edit, then drops what it added past MaxLength.
    template <class F>
    void limited(F&& edit);
    // Runs a key's edit; a line it joined past kMaxLineLength is split again.
    void keepLinesShort(QKeyEvent* event);

    int maxLength_ = 0;
    int maxBytes_ = 0;
};

// A box that takes no typing (it stays disabled) but whose text reads as
// normal text: dark on the window's own light grey, instead of the pale
// grey on grey of a disabled control.
void showTextWhileDisabled(QWidget* box);

}  // namespace controls

#pragma once
// A multi-line text box that takes at most MaxLength characters (0: no
// limit). Typing or pasting past the limit keeps the text that fits.

#include <QPlainTextEdit>

namespace controls {

class MultiLineTextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit MultiLineTextBox(QWidget* parent = nullptr);

    int MaxLength() const { return maxLength_; }
    void setMaxLength(int length);

private:
    void enforceMaxLength();

    int maxLength_ = 0;
    bool trimming_ = false;
};

}  // namespace controls

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/msgbox.h"

#include "ui/app.h"
#include "ui/msgbox_responder.h"
#include "ui/screen.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <vector>

namespace ui {

namespace {

MsgBoxResponder& responder() {
    static MsgBoxResponder r;
    return r;
}

struct ButtonChoice {
    QMessageBox::StandardButton button;
    int result;
};

// The buttons of a code, in the order they are shown.
std::vector<ButtonChoice> buttonsOf(int code) {
    switch (code & 0x0F) {
    case vbOKCancel:
        return {{QMessageBox::Ok, vbOK}, {QMessageBox::Cancel, vbCancel}};
    case vbAbortRetryIgnore:
        return {{QMessageBox::Abort, vbAbort}, {QMessageBox::Retry, vbRetry}, {QMessageBox::Ignore, vbIgnore}};
    case vbYesNoCancel:
        return {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}, {QMessageBox::Cancel, vbCancel}};
    case vbYesNo:
        return {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}};
    case vbRetryCancel:
        return {{QMessageBox::Retry, vbRetry}, {QMessageBox::Cancel, vbCancel}};
    default:
        return {{QMessageBox::Ok, vbOK}};
    }
}

QMessageBox::Icon iconOf(int code) {
    switch (code & 0x70) {
    case vbCritical:
        return QMessageBox::Critical;
    case vbQuestion:
        return QMessageBox::Question;
    case vbExclamation:
        return QMessageBox::Warning;
    case vbInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// The button that Escape (and the close box) stands for, if any.
int escapeResult(int code) {
    switch (code & 0x0F) {
    case vbOKOnly:
        return vbOK;
    case vbOKCancel:
    case vbYesNoCancel:
    case vbRetryCancel:
        return vbCancel;
    default:
        return 0;  // the user has to pick one of the buttons
    }
}

// Restores the pointer that was showing before the box came up.
class ArrowWhileShown {
public:
    ArrowWhileShown() : previous_(Screen::MousePointer()) { Screen::setMousePointer(Screen::vbArrow); }
    ~ArrowWhileShown() { Screen::setMousePointer(previous_); }

private:
    int previous_;
};

}  // namespace

void setMsgBoxResponder(MsgBoxResponder r) { responder() = std::move(r); }

int MsgBox(const QString& prompt, int buttons, const QString& title) {
    const QString caption = title.isEmpty() ? App::Title() : title;
    if (responder()) {
        ArrowWhileShown arrow;
        return responder()(MessageRecord{prompt, buttons, caption});
    }

    QWidget* parent = QApplication::activeModalWidget();
    if (!parent) parent = QApplication::activeWindow();
    QMessageBox box(iconOf(buttons), caption, prompt, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);

    const std::vector<ButtonChoice> choices = buttonsOf(buttons);
    std::vector<QAbstractButton*> shown;
    for (const ButtonChoice& c : choices) shown.push_back(box.addButton(c.button));
    const int defaultIndex = (buttons & vbDefaultButton3) ? 2 : (buttons & vbDefaultButton2) ? 1 : 0;
    box.setDefaultButton(qobject_cast<QPushButton*>(
        shown[std::min<std::size_t>(defaultIndex, shown.size() - 1)]));
    const int escape = escapeResult(buttons);
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (choices[i].result == escape) box.setEscapeButton(shown[i]);

    ArrowWhileShown arrow;
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (shown[i] == clicked) return choices[i].result;
    return escape ? escape : choices.front().result;
}

}  // namespace ui

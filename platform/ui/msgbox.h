// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Message boxes. Every box of the program goes through MsgBox, so tests can
// answer it and read what it said (msgbox_responder.h).

#include <QString>

namespace ui {

// Buttons-and-icon codes, added together.
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbAbortRetryIgnore = 2,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbRetryCancel = 5,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
    vbDefaultButton1 = 0,
    vbDefaultButton2 = 256,
    vbDefaultButton3 = 512,
};

// Buttons pressed.
enum MsgBoxResult : int {
    vbOK = 1,
    vbCancel = 2,
    vbAbort = 3,
    vbRetry = 4,
    vbIgnore = 5,
    vbYes = 6,
    vbNo = 7,
};

// Shows a modal message box over the active window and returns the button
// pressed. An empty title means the application's title, "Pacebook". The
// mouse pointer shows the normal arrow while the box is up and goes back to
// what it was afterwards. Escape stands for OK in an OK-only box and for
// Cancel where there is one; a Yes/No box needs an answer.
int MsgBox(const QString& prompt, int buttons = vbOKOnly, const QString& title = QString());

}  // namespace ui

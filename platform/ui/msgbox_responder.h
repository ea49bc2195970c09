// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// For tests: answer message boxes without showing them, and record them.

#include <QString>

#include <functional>

namespace ui {

struct MessageRecord {
    QString prompt;
    int buttons = 0;
    QString title;
};

// While a responder is installed, MsgBox calls it instead of showing a box
// and returns its answer. nullptr restores real boxes.
using MsgBoxResponder = std::function<int(const MessageRecord&)>;
void setMsgBoxResponder(MsgBoxResponder responder);

}  // namespace ui

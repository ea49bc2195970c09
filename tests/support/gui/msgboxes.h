// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Message boxes in window tests: answered without being shown, and recorded.
//
// Every GUI test executable answers every box with its first button (OK,
// Yes, Abort, Retry) from the start. A MsgBoxRecorder takes over for its
// lifetime: it records each box and answers from its queue, then falls back
// to the first button.

#include "ui/msgbox.h"
#include "ui/msgbox_responder.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

namespace testsupport {

// The first button of a buttons-and-icon code: the answer a box gets when
// the test gave none.
int firstButton(int buttons);

// Every box shown in this test executable, in order (recorders included).
const std::vector<ui::MessageRecord>& allBoxes();

class MsgBoxRecorder {
public:
    MsgBoxRecorder();
    ~MsgBoxRecorder();  // back to answering with the first button
    MsgBoxRecorder(const MsgBoxRecorder&) = delete;
    MsgBoxRecorder& operator=(const MsgBoxRecorder&) = delete;

    // Queues the answer for the next box (ui::vbYes, ui::vbNo, ...).
    void answer(int result);
    // Runs for every box before it is answered (say, to look at the window
    // or the pointer while the box is up). A non-zero result is the answer.
    void onBox(std::function<int(const ui::MessageRecord&)> hook);

    const std::vector<ui::MessageRecord>& boxes() const { return boxes_; }
    int count() const { return static_cast<int>(boxes_.size()); }
    QStringList prompts() const;
    const ui::MessageRecord& last() const;
    void clear() { boxes_.clear(); }

private:
    int respond(const ui::MessageRecord& record);

    std::vector<ui::MessageRecord> boxes_;
    std::deque<int> answers_;
    std::function<int(const ui::MessageRecord&)> hook_;
};

// Installs the responder every GUI test starts with (done by main()).
void installDefaultResponder();

}  // namespace testsupport

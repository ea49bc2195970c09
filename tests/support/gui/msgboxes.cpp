// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/gui/msgboxes.h"

#include <gtest/gtest.h>

namespace testsupport {

namespace {
std::vector<ui::MessageRecord>& everyBox() {
    static std::vector<ui::MessageRecord> boxes;
    return boxes;
}
}  // namespace

int firstButton(int buttons) {
    switch (buttons & 0x0F) {
    case ui::vbAbortRetryIgnore:
        return ui::vbAbort;
    case ui::vbYesNoCancel:
    case ui::vbYesNo:
        return ui::vbYes;
    case ui::vbRetryCancel:
        return ui::vbRetry;
    default:
        return ui::vbOK;
    }
}

const std::vector<ui::MessageRecord>& allBoxes() { return everyBox(); }

void installDefaultResponder() {
    ui::setMsgBoxResponder([](const ui::MessageRecord& record) {
        everyBox().push_back(record);
        return firstButton(record.buttons);
    });
}

MsgBoxRecorder::MsgBoxRecorder() {
    ui::setMsgBoxResponder([this](const ui::MessageRecord& record) { return respond(record); });
}

MsgBoxRecorder::~MsgBoxRecorder() { installDefaultResponder(); }

void MsgBoxRecorder::answer(int result) { answers_.push_back(result); }

void MsgBoxRecorder::onBox(std::function<int(const ui::MessageRecord&)> hook) { hook_ = std::move(hook); }

QStringList MsgBoxRecorder::prompts() const {
    QStringList list;
    for (const auto& box : boxes_) list << box.prompt;
    return list;
}

const ui::MessageRecord& MsgBoxRecorder::last() const {
    static const ui::MessageRecord none;
    if (boxes_.empty()) {
        ADD_FAILURE() << "no message box was shown";
        return none;
    }
    return boxes_.back();
}

int MsgBoxRecorder::respond(const ui::MessageRecord& record) {
    everyBox().push_back(record);
    boxes_.push_back(record);
    if (hook_) {
        if (const int result = hook_(record)) return result;
    }
    if (!answers_.empty()) {
        const int result = answers_.front();
        answers_.pop_front();
        return result;
    }
    return firstButton(record.buttons);
}

}  // namespace testsupport

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Holds the engine's checks of pages, to see what waits for them.

#include "dao/opencheck.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace testsupport {

// Holds every check of pages until released (at the latest when it goes).
class HeldChecks {
public:
    HeldChecks() {
        dao::detail::setPageCheckGate([s = state_] {
            std::unique_lock lock(s->mutex);
            s->cv.wait(lock, [&] { return s->open; });
        });
    }
    ~HeldChecks() {
        release();
        dao::detail::setPageCheckGate({});
    }
    void release() {
        {
            std::lock_guard lock(state_->mutex);
            state_->open = true;
        }
        state_->cv.notify_all();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable cv;
        bool open = false;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace testsupport

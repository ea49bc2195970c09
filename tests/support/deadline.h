// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A bound for a call that blocks without running the event loop (a
// statement that would never end if the window that cancels it never
// showed), where no wait of the test can time out.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace testsupport {

// If the scope is still running after `limit`, the test program ends at
// once with a failure naming the test and `what` (a hang would otherwise
// last until CTest's timeout and say nothing).
class Deadline {
public:
    Deadline(std::chrono::milliseconds limit, std::string what) {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "(no test)";
        watch_ = std::thread([this, limit, what = std::move(what), name = std::move(name)] {
            std::unique_lock held(lock_);
            if (ended_.wait_for(held, limit, [this] { return done_; })) return;
            std::fprintf(stderr, "\n[  FAILED  ] %s: %s did not end within %lld ms; the test program stops here.\n",
                         name.c_str(), what.c_str(), static_cast<long long>(limit.count()));
            std::fflush(stderr);
            std::_Exit(1);
        });
    }
    ~Deadline() {
        {
            std::lock_guard held(lock_);
            done_ = true;
        }
        ended_.notify_one();
        watch_.join();
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

private:
    std::mutex lock_;
    std::condition_variable ended_;
    bool done_ = false;
    std::thread watch_;
};

}  // namespace testsupport

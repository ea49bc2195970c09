// SPDX-License-Identifier: GPL-3.0-or-later
#include "background.h"

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace dao {

namespace {

struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
};

// Never destroyed: a thread may still be ending while other objects of the
// program are destroyed. The threads are joined at exit instead.
struct Workers {
    std::mutex mutex;
    std::vector<Worker> running;
    std::atomic<bool> stopping{false};
};

Workers& workers() {
    static Workers* w = [] {
        auto* all = new Workers;
        std::atexit([] {
            Workers& ws = workers();
            ws.stopping = true;
            std::vector<Worker> left;
            {
                std::lock_guard lock(ws.mutex);
                left.swap(ws.running);
            }
            for (Worker& t : left) t.thread.join();
        });
        return all;
    }();
    return *w;
}

}  // namespace

void runInBackground(std::function<void()> work) {
    Workers& ws = workers();
    std::lock_guard lock(ws.mutex);
    // Threads that have ended are joined as new ones start.
    for (auto it = ws.running.begin(); it != ws.running.end();) {
        if (*it->done) {
            it->thread.join();
            it = ws.running.erase(it);
        } else {
            ++it;
        }
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([work = std::move(work), done] {
        try {
            work();
        } catch (...) {
        }
        *done = true;
    });
    ws.running.push_back({std::move(thread), std::move(done)});
}

bool stoppingInBackground() { return workers().stopping; }

}  // namespace dao

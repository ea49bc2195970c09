// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Work the program does off the user-interface thread: the check of a log's
// pages when a run first opens it, and backups. Each piece runs on a thread
// of its own and opens a connection of its own (a connection is used by one
// thread only).

#include <functional>

namespace dao {

// Runs work on a new thread. An exception it throws is dropped: work reports
// its outcome itself. Every thread is joined when the program ends; from
// then on stoppingInBackground() is true, and work should end soon after
// (the engine's progress handlers and the backup's steps ask it).
void runInBackground(std::function<void()> work);
bool stoppingInBackground();

}  // namespace dao

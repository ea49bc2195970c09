// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Windows in tests.

#include <functional>

namespace testsupport {

// Runs the event loop until condition holds or timeoutMs passed; returns
// whether it holds. (QTRY_VERIFY does not report to GoogleTest.)
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 2000);

// Runs the event loop until every event queued so far (by the window
// system, by posts and queued calls, and those they queue in turn once)
// has been handled; false when that takes longer than timeoutMs. For the
// check that something did not happen, instead of a fixed sleep.
bool processQueuedEvents(int timeoutMs = 2000);

// Deletes windows that were unloaded (they go once control is back in the
// event loop).
void processDeletes();

// Unloads every loaded window, most recently loaded first, and deletes
// them. Every GUI test ends with this (main() sees to it).
void unloadAllForms();

}  // namespace testsupport

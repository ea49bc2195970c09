// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Windows in tests.

#include <functional>

class QWidget;

namespace dao {
class Database;
}

namespace testsupport {

// Runs the event loop until condition holds or timeoutMs passed; returns
// whether it holds. (QTRY_VERIFY does not report to GoogleTest.)
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 2000);

// Runs the event loop until every event queued so far (by the window
// system, by posts and queued calls, and those they queue in turn once)
// has been handled; false when that takes longer than timeoutMs. For the
// check that something did not happen, instead of a fixed sleep.
bool processQueuedEvents(int timeoutMs = 2000);

// Runs a statement that never ends on db under the "still running" window,
// shown at once, so that the program answers events from inside it until
// something queued beforehand calls db.Interrupt(). Returns the number of
// the error it ended with (3059 when interrupted).
int runUntilInterrupted(dao::Database& db, QWidget* owner);

// Deletes windows that were unloaded (they go once control is back in the
// event loop).
void processDeletes();

// Unloads every loaded window, most recently loaded first, and deletes
// them. Every GUI test ends with this (main() sees to it).
void unloadAllForms();

}  // namespace testsupport

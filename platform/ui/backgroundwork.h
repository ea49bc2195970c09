// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the windows meet the work the engine does off the user-interface
// thread (the check of a log's pages, backups): a change that waits for it
// shows the "still running" window after about a second, with Cancel; a
// check that finds the log damaged says so in a message box.

namespace ui {

// Installs both on the database engine (the program's application object
// does at start-up).
void installBackgroundWorkHooks();

}  // namespace ui

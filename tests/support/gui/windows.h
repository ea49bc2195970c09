// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Windows in tests.

#include <functional>

namespace testsupport {

// Runs the event loop until condition holds or timeoutMs passed; returns
// whether it holds. (QTRY_VERIFY does not report to GoogleTest.)
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 2000);

// Deletes windows that were unloaded (they go once control is back in the
// event loop).
void processDeletes();

// Unloads every loaded window, most recently loaded first, and deletes
// them. Every GUI test ends with this (main() sees to it).
void unloadAllForms();

}  // namespace testsupport

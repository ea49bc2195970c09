#pragma once
// Windows in tests.

namespace testsupport {

// Deletes windows that were unloaded (they go once control is back in the
// event loop).
void processDeletes();

// Unloads every loaded window, most recently loaded first, and deletes
// them. Every GUI test ends with this (main() sees to it).
void unloadAllForms();

}  // namespace testsupport

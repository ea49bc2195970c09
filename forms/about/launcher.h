// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Starting the system-information tool: a program given by its full path,
// detached, with no arguments and no shell.

#include <QString>

namespace about {

// Starts the program; false when it could not be started.
bool startProgram(const QString& path);

}  // namespace about

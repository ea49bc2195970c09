// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// For tests: replace the start of the system-information tool.

#include <QString>

#include <functional>

namespace about {

// While a starter is set, startProgram calls it instead of starting
// anything and returns its answer. nullptr restores the real start.
using ProgramStarter = std::function<bool(const QString& path)>;
void setProgramStarter(ProgramStarter starter);

}  // namespace about

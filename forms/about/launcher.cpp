// SPDX-License-Identifier: GPL-3.0-or-later
#include "launcher.h"
#include "program_starter.h"

#include <QProcess>

namespace about {

namespace {
ProgramStarter& starter() {
    static ProgramStarter s;
    return s;
}
}  // namespace

bool startProgram(const QString& path) {
    if (starter()) return starter()(path);
    // The program itself, not a shell: nothing in the path is interpreted.
    return QProcess::startDetached(path, {});
}

void setProgramStarter(ProgramStarter s) { starter() = std::move(s); }

}  // namespace about

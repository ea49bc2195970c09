// SPDX-License-Identifier: GPL-3.0-or-later
// pacebook-newlog PATH: creates an empty run log (Run.mdb) at PATH.
// It never overwrites a file that exists.

#include "logstore/logfile.h"

#include "dao/errors.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() != 2 || args[1].startsWith(u'-')) {
        err << "usage: pacebook-newlog PATH\n"
               "Creates an empty run log at PATH (for example ./Run.mdb); an existing file is never "
               "overwritten.\n";
        return 2;
    }
    try {
        logstore::createLog(args[1]);
    } catch (const dao::Error& e) {
        err << "pacebook-newlog: " << e.Description() << "\n";
        return 1;
    }
    QTextStream(stdout) << "Created " << args[1] << "\n";
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The program's entry point: works out where the log lies, prepares the
// shared state and shows the main window. Nothing opens the log here; each
// window opens it when it needs it.
#include "app/Module1.h"
#include "app/frmMain.h"

#include "ui/app.h"

namespace Module1 {

void Main() {
    // The folder exactly as reported, even one whose name holds a backslash;
    // the data layer finds Run.mdb in it (a stray RUN.MDB beside it is not
    // the log).
    sDatabasePath = ui::App::Path() + QStringLiteral("\\RUN.MDB");
    sConnect = QString();
    auto* main = new frmMain();
    fMainForm = main;
    main->Show(ui::vbModeless);
}

}  // namespace Module1

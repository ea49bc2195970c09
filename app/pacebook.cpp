// SPDX-License-Identifier: GPL-3.0-or-later
// Pacebook: a training log for runners.
#include "app/Module1.h"
#include "logstore/backup.h"

#include "ui/application.h"
#include "ui/form.h"
#include "ui/guard.h"

int main(int argc, char** argv) {
    ui::Application app(argc, argv);
    logstore::keepBackups();
    bool started = false;
    ui::guard([&] {
        Module1::Main();
        started = true;
    });
    // Nothing to wait for if start-up failed or no window is left.
    if (!started || ui::Forms::Count() == 0) return 1;
    return app.exec();
}

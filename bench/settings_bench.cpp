// SPDX-License-Identifier: GPL-3.0-or-later
// "E&xit" with the query window open (six settings stored), over a settings
// file of 50 MB of junk, beside the same exit over the program's own file.

#include "harness.h"
#include "programfolder.h"

#include "app/Module1.h"
#include "app/frmMain.h"
#include "settings/settings.h"
#include "ui/app.h"
#include "ui/form.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <stdexcept>

namespace {

// Starts the program with the given settings file, opens "View Log" and
// times "E&xit" until every window is gone.
double exitMs(const bench::Context& c, const QByteArray& store) {
    bench::ProgramFolder folder(c.logPath);
    QTemporaryDir config;
    settings::setStoreFolder(config.path());
    const QString file = settings::storeFile(ui::App::Title());
    QDir().mkpath(QFileInfo(file).path());
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(store) != store.size()) throw std::runtime_error("cannot write the settings");
    f.close();

    Module1::Main();
    frmMain* main = Module1::fMainForm;
    main->findChild<QAction*>(QStringLiteral("mnuViewLog"))->trigger();
    QCoreApplication::processEvents();
    const double ms = bench::timeMs([&] {
        main->findChild<QAction*>(QStringLiteral("mnuFileExit"))->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    });
    const bool closed = ui::Forms::Count() == 0;
    settings::setStoreFolder(QString());
    if (!closed) throw std::runtime_error("windows are still open after Exit");
    return ms;
}

QByteArray junk() {
    static const QByteArray bytes = [] {
        QByteArray b(50 * 1024 * 1024, '\0');
        QRandomGenerator random(50);
        for (char& ch : b) ch = char(random.bounded(256));
        return b;
    }();
    return bytes;
}

bench::Registrar junkExit({
    .name = "exit_over_junk_settings",
    .run = [](bench::Context& c) { return exitMs(c, junk()); },
    .anchor =
        [](bench::Context& c) {
            return exitMs(c, "[Settings]\nMainLeft=1000\nMainTop=1000\nMainWidth=6500\nMainHeight=6500\n"
                             "QueryLeft=0\nQueryTop=0\n");
        },
    .goal = "under 200 ms",
    .maxRows = 10000,
});

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// How long the event loop is kept from answering while a window opens a log
// for the first time in a run (the check of its pages) and while the day's
// backup is made: a 5 ms timer records how late it fires. Each anchor does
// the same work on the user-interface thread, as the program did before the
// check and the backup moved to threads of their own.

#include "harness.h"
#include "programfolder.h"

#include "controls/datacontrol.h"
#include "dao/dao.h"
#include "forms/entry/frmaddnew.h"
#include "logstore/backup.h"
#include "ui/backgroundwork.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <stdexcept>

namespace {

// The worst lateness of a 5 ms timer while the event loop runs.
class LatencyProbe {
public:
    LatencyProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kIntervalMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    }
    // Starts the probe, runs action from the event loop, and goes on until
    // done() holds. Returns the worst lateness in ms.
    double run(const std::function<void()>& action, const std::function<bool()>& done) {
        clock_.start();
        last_ = 0;
        timer_.start();
        QTimer::singleShot(0, [&] { action(); });
        while (!done()) {
            if (clock_.elapsed() > 120000) throw std::runtime_error("the work did not end");
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        }
        // A few more ticks, so that a block at the very end is seen too.
        const qint64 end = clock_.elapsed() + 4 * kIntervalMs;
        while (clock_.elapsed() < end) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        timer_.stop();
        return worst_;
    }
    // From now on lateness is also counted apart (worstAfterMark).
    void mark() { markNs_ = clock_.nsecsElapsed(); }
    double worstAfterMark() const { return worstAfterMark_; }

private:
    static constexpr int kIntervalMs = 5;
    void tick() {
        const qint64 t = clock_.nsecsElapsed();
        const double late = std::max(0.0, double(t - last_) / 1e6 - kIntervalMs);
        worst_ = std::max(worst_, late);
        if (markNs_ >= 0 && last_ >= markNs_) worstAfterMark_ = std::max(worstAfterMark_, late);
        last_ = t;
    }

    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 markNs_ = -1;
    double worst_ = 0;
    double worstAfterMark_ = 0;
};

void unload(frmaddnew* form) {
    form->Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool checkEnded(frmaddnew* form) {
    const dao::DatabasePtr db = form ? form->Data1->Database() : nullptr;
    return db && db->pageCheckEnded();
}

// "Add Entry" on a log not opened yet in this run. inline: the check on
// this thread before the form opens the (then checked) log.
double firstOpen(bench::Context& c, bool inline_) {
    ui::installBackgroundWorkHooks();
    dao::DBEngine().forgetCheckedFiles();
    bench::ProgramFolder folder(c.logPath);
    frmaddnew* form = nullptr;
    LatencyProbe probe;
    double showMs = 0;
    const double worst = probe.run(
        [&] {
            if (inline_) {
                // Waited for without the progress window, as the open did.
                dao::DBEngine().setWaitHook({});
                auto db = dao::DBEngine().OpenDatabase(c.logPath);
                db->waitFor([&] { return db->pageCheckEnded(); });
                ui::installBackgroundWorkHooks();
            }
            showMs = bench::timeMs([&] {
                form = new frmaddnew();
                form->Show();
            });
            probe.mark();
        },
        [&] { return checkEnded(form); });
    const bool shown = form && form->Data1->Caption() == QStringLiteral("Entry Number: 1");
    if (form) unload(form);
    if (!shown) throw std::runtime_error("the first entry did not show");
    // The window's own opening (reading the dynaset's row ids), beside the
    // check or after it, and the worst lateness once it is shown, while the
    // check runs on.
    c.extra[inline_ ? "anchor_show_ms" : "show_ms"] = showMs;
    if (!inline_) c.extra["worst_after_show_ms"] = probe.worstAfterMark();
    return worst;
}

// The day's first change in the entry form: a type stored on leaving the
// entry, with the backup it brings. inline: the copy made on this thread
// before the change, as before.
double dailyBackup(bench::Context& c, bool inline_) {
    ui::installBackgroundWorkHooks();
    bench::ProgramFolder folder(c.logPath);
    auto* form = new frmaddnew();
    form->Show();
    while (!checkEnded(form)) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const QString log = form->Data1->Database()->Name();
    QDir(logstore::backupFolder(log)).removeRecursively();
    logstore::forgetBackupsOfThisRun();
    if (inline_)
        dao::DBEngine().setBeforeWriteHook([](dao::Database& db, dao::WriteKind) { logstore::takeBackup(db); });
    else
        logstore::keepBackups();
    const QString before = form->cbtype->currentText();
    LatencyProbe probe;
    const double worst = probe.run(
        [&] {
            form->cbtype->setEditText(QStringLiteral("bench"));
            form->Data1->moveNext();
        },
        [&] { return logstore::backupsOf(log).size() == 1; });
    logstore::waitForBackups();
    dao::DBEngine().setBeforeWriteHook({});
    // The log as it was.
    form->Data1->moveFirst();
    form->cbtype->setEditText(before);
    form->Data1->moveNext();
    unload(form);
    QDir(logstore::backupFolder(log)).removeRecursively();
    return worst;
}

bench::Registrar open({
    .name = "latency_first_open",
    .run = [](bench::Context& c) { return firstOpen(c, false); },
    .anchor = [](bench::Context& c) { return firstOpen(c, true); },
    .goal = "median_ms: worst lateness; the check adds none (show_ms is the window itself)",
});

bench::Registrar backup({
    .name = "latency_daily_backup",
    .run = [](bench::Context& c) { return dailyBackup(c, false); },
    .anchor = [](bench::Context& c) { return dailyBackup(c, true); },
    .goal = "median_ms: worst lateness <= 100",
});

}  // namespace

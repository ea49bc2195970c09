// SPDX-License-Identifier: GPL-3.0-or-later
// Entry form benchmarks: "Add Entry" until the first entry shows, and the
// navigation bar's moves, each repainted, on logs of every size.

#include "harness.h"
#include "programfolder.h"

#include "controls/datacontrol.h"
#include "controls/textbox.h"
#include "forms/entry/frmaddnew.h"
#include "ui/app.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWindow>

#include <sqlite3.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace {

// Lets the window system show the window, so that repaints really paint.
void waitExposed(QWidget* w) {
    for (int i = 0; i < 1000 && !(w->windowHandle() && w->windowHandle()->isExposed()); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents();
}

void unload(frmaddnew* form) {
    form->Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// "Add Entry": a new form, shown, its first activation opening the log.
double openMs(bench::Context& c) {
    bench::ProgramFolder folder(c.logPath);
    frmaddnew* form = nullptr;
    const double ms = bench::timeMs([&] {
        form = new frmaddnew();
        form->Show();
        form->repaint();
    });
    const bool ok = form->Data1->Caption() == QStringLiteral("Entry Number: 1");
    unload(form);
    if (!ok) throw std::runtime_error("the first entry did not show");
    return ms;
}


// Counts the paint events of a widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// One click on a navigation button, with what it changed repainted. The form is
// placed first where the move has somewhere to go.
double moveMs(bench::Context& c, void (controls::DataControl::*setUp)(), void (controls::DataControl::*move)()) {
    bench::ProgramFolder folder(c.logPath);
    auto* form = new frmaddnew();
    form->Show();
    waitExposed(form);
    (form->Data1->*setUp)();
    form->repaint();
    const QString before = form->Data1->Caption();
    PaintCounter counter;
    form->txtFields_3->viewport()->installEventFilter(&counter);
    const double ms = bench::timeMs([&] {
        (form->Data1->*move)();
        // Paints what the move changed, as the event loop would.
        QCoreApplication::processEvents();
    });
    const bool moved = form->Data1->Caption() != before;
    const bool painted = counter.paints > 0;
    unload(form);
    if (!moved) throw std::runtime_error("the form did not move");
    if (!painted) throw std::runtime_error("the form was not repainted");
    return ms;
}

using DC = controls::DataControl;

bench::Registrar open({
    .name = "entry_open_first_entry",
    .run = openMs,
    .anchor = [](bench::Context& c) { return bench::rowidLoopMs(c.logPath, "SELECT rowid FROM runlog"); },
    .cliSql = "SELECT rowid FROM runlog",
    .goal = "ratio <= 1.5",
});

bench::Registrar last({
    .name = "entry_move_last",
    .run = [](bench::Context& c) { return moveMs(c, &DC::moveFirst, &DC::moveLast); },
    .goal = "median_ms <= 5",
});

bench::Registrar first({
    .name = "entry_move_first",
    .run = [](bench::Context& c) { return moveMs(c, &DC::moveLast, &DC::moveFirst); },
    .goal = "median_ms <= 5",
});

bench::Registrar next({
    .name = "entry_move_next",
    .run = [](bench::Context& c) { return moveMs(c, &DC::moveFirst, &DC::moveNext); },
    .goal = "median_ms <= 5",
});

bench::Registrar previous({
    .name = "entry_move_previous",
    .run = [](bench::Context& c) { return moveMs(c, &DC::moveLast, &DC::movePrevious); },
    .goal = "median_ms <= 5",
});

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// Training Summary benchmarks: opening the window over the whole log until
// its chart is painted, and switching the period or the range, each beside
// a bare SQLite loop over the same GROUP BY statement.

#include "harness.h"
#include "programfolder.h"

#include "dao/dao.h"
#include "forms/summary/frmSummary.h"
#include "forms/summary/summarychart.h"
#include "forms/summary/totals.h"
#include "ui/form.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRadioButton>

#include <stdexcept>

namespace {

constexpr int kAll = 4;       // the range "All"
constexpr int kLast52 = 2;    // "Last 52 weeks"

// Notes when the chart of a summary window paints.
struct ChartPaintWatch : QObject {
    explicit ChartPaintWatch(SummaryChart* chart) { chart->installEventFilter(this); }
    bool painted = false;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) painted = true;
        return false;
    }
    // Lets the event loop run until the chart has painted.
    bool wait() {
        QElapsedTimer t;
        t.start();
        while (!painted && t.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return painted;
    }
};

void unloadAll() {
    for (int i = ui::Forms::Count() - 1; i >= 0; --i) ui::Forms::Item(i)->Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

qint64 runsShown(const frmSummary* f) {
    qint64 runs = 0;
    for (const auto& p : f->totals().rows) runs += p.runs;
    return runs;
}

// The window opened on the whole log, weeks, until its chart is painted.
double openAllMs(bench::Context& c) {
    bench::ProgramFolder folder(c.logPath);
    dao::DBEngine().OpenDatabase(c.logPath);  // the log's page check, once per run, stays outside
    frmSummary* f = nullptr;
    bool painted = false;
    const double ms = bench::timeMs([&] {
        f = new frmSummary();
        ChartPaintWatch watch(f->picChart);
        f->Load();
        f->cbRange->setCurrentIndex(kAll);
        f->Show();
        painted = watch.wait();
    });
    const bool ok = painted && runsShown(f) == c.rows;
    unloadAll();
    if (!ok) throw std::runtime_error("the summary did not show the whole log");
    return ms;
}

// A summary window open on the whole log, then one change until painted.
template <class Change>
double switchMs(bench::Context& c, int range, Change change) {
    bench::ProgramFolder folder(c.logPath);
    auto* f = new frmSummary();
    f->Load();
    f->cbRange->setCurrentIndex(range);
    f->Show();
    ChartPaintWatch(f->picChart).wait();
    ChartPaintWatch watch(f->picChart);
    const double ms = bench::timeMs([&] {
        change(f);
        watch.wait();
    });
    const bool ok = watch.painted && !f->totals().rows.empty();
    unloadAll();
    if (!ok) throw std::runtime_error("the summary did not show the change");
    return ms;
}

double allWeeksLoopMs(bench::Context& c) {
    return bench::rowidLoopMs(c.logPath, summary::totalsStatement(summary::Period::Weeks, false).toUtf8().constData());
}

double allMonthsLoopMs(bench::Context& c) {
    return bench::rowidLoopMs(c.logPath, summary::totalsStatement(summary::Period::Months, false).toUtf8().constData());
}

const bench::Registrar openAll({
    .name = "summary_open_all",
    .run = openAllMs,
    .anchor = allWeeksLoopMs,
    .goal = "ratio <= 1.5",
});

const bench::Registrar switchPeriod({
    .name = "summary_switch_period",
    .run = [](bench::Context& c) {
        return switchMs(c, kAll, [](frmSummary* f) { f->optMonths->click(); });
    },
    .anchor = allMonthsLoopMs,
    .goal = "under 100 ms at 10,000 rows",
});

const bench::Registrar switchRange({
    .name = "summary_switch_range",
    .run = [](bench::Context& c) {
        return switchMs(c, kLast52, [](frmSummary* f) { f->cbRange->setCurrentIndex(kAll); });
    },
    .anchor = allWeeksLoopMs,
    .goal = "under 100 ms at 10,000 rows",
});

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// Grid window benchmarks: opening it from the entry form, a jump to the last
// row, a heading-click sort by Time (against a bare rowid loop and against
// Qt's QSqlTableModel), the sort of a query's rows (LIMIT, GROUP BY), and
// the memory held after scrolling through a log.

#include "harness.h"
#include "programfolder.h"

#include "app/Module1.h"
#include "controls/datacontrol.h"
#include "controls/datagrid.h"
#include "forms/entry/frmaddnew.h"
#include "forms/grid/frmDataGrid.h"
#include "ui/app.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlTableModel>
#include <QTableView>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <malloc.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

void unloadAll() {
    for (int i = ui::Forms::Count() - 1; i >= 0; --i) ui::Forms::Item(i)->Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Counts the paint events of a widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// Notes when any grid's rows are painted.
struct GridPaintWatch : QObject {
    bool painted = false;
    GridPaintWatch() { qApp->installEventFilter(this); }
    ~GridPaintWatch() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint && o->parent() && qobject_cast<controls::DataGrid*>(o->parent())) painted = true;
        return false;
    }
    // Lets the event loop run until the rows were painted.
    bool wait() {
        QElapsedTimer t;
        t.start();
        while (!painted && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return painted;
    }
};

// Lets the event loop run until the window is on the screen.
void waitExposed(QWidget* w) {
    QElapsedTimer t;
    t.start();
    while ((!w->windowHandle() || !w->windowHandle()->isExposed()) && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents();
}

// A grid window over the whole log (or a statement's rows), opened as the
// query window opens it.
frmDataGrid* openGrid(const QString& source = QStringLiteral("runlog")) {
    auto* g = new frmDataGrid();
    g->Load();
    if (!g->isLoaded()) throw std::runtime_error("the grid window did not load");
    g->Data1->setDatabaseName(ui::App::Path() + QStringLiteral("\\Run.mdb"));
    g->Data1->setRecordSource(source);
    g->Data1->Refresh();
    g->setCaption(source);
    g->Show();
    waitExposed(g);
    return g;
}

QString firstShown(frmDataGrid* g, int column) {
    auto* m = g->grdDataGrid->model();
    const QModelIndex top = g->grdDataGrid->indexAt(QPoint(1, 1));
    return m->data(m->index(top.isValid() ? top.row() : 0, column)).toString();
}

// "&View Entire Log" on an entry form that shows the log, until the grid
// window has painted its first rows.
double openFromEntryMs(bench::Context& c) {
    bench::ProgramFolder folder(c.logPath);
    auto* entry = new frmaddnew();
    entry->Show();
    waitExposed(entry);
    frmDataGrid* g = nullptr;
    GridPaintWatch watch;
    const double ms = bench::timeMs([&] {
        entry->cmdGrid->click();
        g = qobject_cast<frmDataGrid*>(ui::Forms::Item(ui::Forms::Count() - 1));
        watch.wait();
    });
    const bool ok = g && watch.painted && g->grdDataGrid->ApproxCount() == c.rows && !firstShown(g, 0).isEmpty();
    unloadAll();
    if (!ok) throw std::runtime_error("the grid window did not show the log");
    return ms;
}

// Ctrl+End's effect: the last row scrolled into view and painted.
double jumpLastMs(bench::Context& c) {
    bench::ProgramFolder folder(c.logPath);
    frmDataGrid* g = openGrid();
    controls::DataGrid* grid = g->grdDataGrid;
    PaintCounter counter;
    grid->viewport()->installEventFilter(&counter);
    const double ms = bench::timeMs([&] {
        grid->setCurrentIndex(grid->model()->index(int(c.rows) - 1, 0));
        grid->scrollToBottom();
        grid->viewport()->repaint();
    });
    const bool ok = grid->rowAt(grid->viewport()->height() - 2) >= int(c.rows) - 30 && counter.paints > 0;
    unloadAll();
    if (!ok) throw std::runtime_error("the last row is not in view");
    return ms;
}

// A plain click on the heading "Time (minutes)", until the sorted rows show.
double sortByTimeMs(bench::Context& c) {
    bench::ProgramFolder folder(c.logPath);
    frmDataGrid* g = openGrid();
    QHeaderView* h = g->grdDataGrid->horizontalHeader();
    PaintCounter counter;
    g->grdDataGrid->viewport()->installEventFilter(&counter);
    const double ms = bench::timeMs([&] {
        g->grdDataGrid_MouseUp(1, 0, 0, 0);
        g->grdDataGrid_HeadClick(1);
        g->grdDataGrid->viewport()->repaint();
    });
    const bool ok = firstShown(g, 1) == QStringLiteral("10") && h->count() == 4 && counter.paints > 0;
    unloadAll();
    if (!ok) throw std::runtime_error("the grid is not sorted by Time");
    return ms;
}

// A heading click on a grid over a statement's rows, until the sorted rows
// show; ok checks the first row shown.
double sortQueryMs(bench::Context& c, const QString& source, int heading,
                   const std::function<bool(frmDataGrid*)>& ok) {
    bench::ProgramFolder folder(c.logPath);
    frmDataGrid* g = openGrid(source);
    const long long before = g->grdDataGrid->ApproxCount();
    const double ms = bench::timeMs([&] {
        g->grdDataGrid_MouseUp(1, 0, 0, 0);
        g->grdDataGrid_HeadClick(heading);
        g->grdDataGrid->viewport()->repaint();
    });
    const bool sorted = g->grdDataGrid->ApproxCount() == before && ok(g);
    unloadAll();
    if (!sorted) throw std::runtime_error("the query's rows are not sorted");
    return ms;
}

const QString kLimitQuery = QStringLiteral("select * from runlog limit 100000");
const QString kGroupQuery =
    QStringLiteral("select Date, count(*) as Runs, sum(Time) as Minutes from runlog group by Date");

// A bare loop that collects every column of every row of sql.
double rowsLoopMs(const QString& log, const char* sql) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(log.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open the log");
    }
    std::vector<std::vector<std::string>> rows;
    const double ms = bench::timeMs([&] {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::vector<std::string>& row = rows.emplace_back();
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const unsigned char* t = sqlite3_column_text(st, i);
                row.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
            }
        }
        sqlite3_finalize(st);
    });
    sqlite3_close(db);
    if (rows.empty()) throw std::runtime_error("the anchor found no row");
    return ms;
}

// The same through Qt's own SQL table model and a plain table view.
struct QtSqlView {
    explicit QtSqlView(const QString& log) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
            db.setDatabaseName(log);
            if (!db.open()) throw std::runtime_error("QSQLITE cannot open the log");
            model = std::make_unique<QSqlTableModel>(nullptr, db);
        }
        model->setTable(QStringLiteral("runlog"));
        model->select();
        view = std::make_unique<QTableView>();
        view->setModel(model.get());
        view->resize(640, 360);
        view->show();
        waitExposed(view.get());
    }
    ~QtSqlView() {
        view.reset();
        model.reset();
        QSqlDatabase::removeDatabase(QStringLiteral("bench"));
    }
    std::unique_ptr<QSqlTableModel> model;
    std::unique_ptr<QTableView> view;
};

double qtSortByTimeMs(bench::Context& c) {
    QtSqlView v(c.logPath);
    const double ms = bench::timeMs([&] {
        v.model->setSort(1, Qt::AscendingOrder);
        v.model->select();
        v.view->viewport()->repaint();
    });
    if (v.model->data(v.model->index(0, 1)).toInt() != 10) throw std::runtime_error("QSqlTableModel did not sort");
    return ms;
}

// After the sort, the jump to the last row: where a model that fetches as
// it goes pays for every row.
double sortThenLastMs(bench::Context& c) {
    bench::ProgramFolder folder(c.logPath);
    frmDataGrid* g = openGrid();
    const double ms = bench::timeMs([&] {
        g->grdDataGrid_MouseUp(1, 0, 0, 0);
        g->grdDataGrid_HeadClick(1);
        // The sorted set shows its first rows; the jump fetches the rest.
        QAbstractItemModel* m = g->grdDataGrid->model();
        while (m->canFetchMore(QModelIndex())) m->fetchMore(QModelIndex());
        g->grdDataGrid->scrollToBottom();
        g->grdDataGrid->viewport()->repaint();
    });
    const bool ok = g->grdDataGrid->rowAt(g->grdDataGrid->viewport()->height() - 2) >= int(c.rows) - 30;
    unloadAll();
    if (!ok) throw std::runtime_error("the last row is not in view after the sort");
    return ms;
}

double qtSortThenLastMs(bench::Context& c) {
    QtSqlView v(c.logPath);
    const double ms = bench::timeMs([&] {
        v.model->setSort(1, Qt::AscendingOrder);
        v.model->select();
        while (v.model->canFetchMore()) v.model->fetchMore();
        v.view->scrollToBottom();
        v.view->viewport()->repaint();
    });
    return ms;
}

// Scrolls a view from top to bottom in 500 steps, painting each.
void scrollThrough(QTableView* view) {
    QScrollBar* bar = view->verticalScrollBar();
    const int steps = 500;
    for (int i = 0; i <= steps; ++i) {
        bar->setValue(int((long long)bar->maximum() * i / steps));
        view->viewport()->repaint();
    }
}

// Bytes allocated with malloc, large blocks (which malloc maps
// separately) included: a key set or a header of a million rows is one.
long long allocated() {
    malloc_trim(0);
    const struct mallinfo2 m = mallinfo2();
    return (long long)(m.uordblks + m.hblkhd);
}

// Heap held by the grid window after scrolling through the log, beyond
// SQLite's own memory: per row, and with the grid's row cache counted apart.
double scrollMemoryMs(bench::Context& c) {
    bench::ProgramFolder folder(c.logPath);
    const long long heap0 = allocated();
    const long long sqlite0 = sqlite3_memory_used();
    frmDataGrid* g = openGrid();
    c.extra["after_open_bytes_per_row"] =
        double(allocated() - heap0 - (sqlite3_memory_used() - sqlite0)) / double(c.rows);
    const double ms = bench::timeMs([&] { scrollThrough(g->grdDataGrid); });
    const long long held = allocated() - heap0 - (sqlite3_memory_used() - sqlite0);
    const long long cache = g->grdDataGrid->recordsetModel()->cachedBytes();
    c.extra["held_bytes_per_row"] = double(held) / double(c.rows);
    c.extra["row_cache_mib"] = double(cache) / (1024.0 * 1024.0);
    c.extra["beyond_cache_bytes_per_row"] = double(held - cache) / double(c.rows);
    c.extra["beyond_8mib_bytes_per_row"] = double(held - 8 * 1024 * 1024) / double(c.rows);
    unloadAll();
    return ms;
}

double qtScrollMemoryMs(bench::Context& c) {
    const long long heap0 = allocated();
    const long long sqlite0 = sqlite3_memory_used();
    double ms = 0;
    {
        QtSqlView v(c.logPath);
        ms = bench::timeMs([&] {
            while (v.model->canFetchMore()) v.model->fetchMore();
            scrollThrough(v.view.get());
        });
        const long long held = allocated() - heap0 - (sqlite3_memory_used() - sqlite0);
        c.extra["qsqltablemodel_bytes_per_row"] = double(held) / double(c.rows);
    }
    return ms;
}

bench::Registrar openFromEntry({
    .name = "grid_open_from_entry",
    .run = openFromEntryMs,
    .goal = "median_ms <= 50",
});

bench::Registrar jumpLast({
    .name = "grid_jump_last_row",
    .run = jumpLastMs,
    .goal = "median_ms <= 30",
});

bench::Registrar sortTime({
    .name = "grid_sort_time",
    .run = sortByTimeMs,
    .anchor = [](bench::Context& c) { return bench::rowidLoopMs(c.logPath, "SELECT rowid FROM runlog ORDER BY Time"); },
    .cliSql = "SELECT rowid FROM runlog ORDER BY Time",
    .goal = "ratio <= 1.5",
});

bench::Registrar sortTimeQt({
    .name = "grid_sort_time_vs_qsqltablemodel",
    .run = sortByTimeMs,
    .anchor = qtSortByTimeMs,
    .goal = "ratio <= 1",
});

bench::Registrar sortLastQt({
    .name = "grid_sort_time_then_last_vs_qsqltablemodel",
    .run = sortThenLastMs,
    .anchor = qtSortThenLastMs,
    .goal = "ratio <= 1",
});

// The rows a LIMIT picked, sorted by Time: the same rows in the same order
// (ties by row id) as the bare loop collects them.
bench::Registrar sortLimit({
    .name = "grid_sort_limit_query",
    .run = [](bench::Context& c) {
        return sortQueryMs(c, kLimitQuery, 1, [](frmDataGrid* g) { return firstShown(g, 1) == QStringLiteral("10"); });
    },
    .anchor = [](bench::Context& c) {
        return bench::rowidLoopMs(c.logPath, "SELECT k FROM (SELECT rowid AS k, Time AS t FROM runlog ORDER BY rowid "
                                             "LIMIT 100000) ORDER BY t, k");
    },
    .cliSql = "SELECT k FROM (SELECT rowid AS k, Time AS t FROM runlog ORDER BY rowid LIMIT 100000) ORDER BY t, k",
    .goal = "ratio <= 1.5",
});

// A GROUP BY result sorted by its sum: the grid reorders the rows it holds;
// the bare loop runs the statement in that order.
bench::Registrar sortGroup({
    .name = "grid_sort_group_by_query",
    .run = [](bench::Context& c) {
        return sortQueryMs(c, kGroupQuery, 2, [](frmDataGrid* g) {
            QAbstractItemModel* m = g->grdDataGrid->model();
            return m->data(m->index(0, 2)).toLongLong() <= m->data(m->index(1, 2)).toLongLong();
        });
    },
    .anchor = [](bench::Context& c) {
        return rowsLoopMs(c.logPath, "SELECT Date, count(*) AS Runs, sum(Time) AS Minutes FROM runlog GROUP BY Date "
                                     "ORDER BY Minutes");
    },
    .cliSql = "SELECT Date, count(*) AS Runs, sum(Time) AS Minutes FROM runlog GROUP BY Date ORDER BY Minutes",
    .goal = "ratio <= 1.5",
});

bench::Registrar scrollMemory({
    .name = "grid_scroll_memory",
    .run = scrollMemoryMs,
    .anchor = qtScrollMemoryMs,
    .goal = "beyond_8mib_bytes_per_row <= 16",
});

}  // namespace

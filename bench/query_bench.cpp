// SPDX-License-Identifier: GPL-3.0-or-later
// Query window benchmarks: "&Execute" on a row-returning statement until its
// grid window shows the first rows, beside a bare loop collecting the rowids
// of the same statement.

#include "harness.h"

#include "app/Module1.h"
#include "controls/datacontrol.h"
#include "forms/grid/frmDataGrid.h"
#include "forms/query/frmQuerys.h"
#include "ui/form.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QRadioButton>

#include <sqlite3.h>

#include <stdexcept>
#include <vector>

namespace {

const char* const kStatement = "select * from runlog where time > 45";

void unloadAll() {
    for (int i = ui::Forms::Count() - 1; i >= 0; --i) ui::Forms::Item(i)->Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

frmDataGrid* onlyGrid() {
    frmDataGrid* found = nullptr;
    for (int i = 0; i < ui::Forms::Count(); ++i)
        if (auto* g = qobject_cast<frmDataGrid*>(ui::Forms::Item(i))) found = g;
    return found;
}

// "&Execute" in the query window, until the new grid window has painted its
// first rows.
double executeMs(bench::Context& c) {
    Module1::resetSharedState();
    Module1::sDatabasePath = c.logPath;
    auto* f = new frmQuerys();
    f->Show();
    f->optmysql->setChecked(true);
    f->txtSQLStatement->setPlainText(QString::fromLatin1(kStatement));
    QCoreApplication::processEvents();

    frmDataGrid* g = nullptr;
    const double ms = bench::timeMs([&] {
        f->cmdExecuteSQL_Click();
        g = onlyGrid();
        if (g) g->repaint();
    });
    const long long shown = g ? g->Data1->Recordset()->RecordCount() : 0;
    unloadAll();
    if (shown <= 0) throw std::runtime_error("no grid window with rows");
    c.extra["rows_shown"] = double(shown);
    return ms;
}


bench::Registrar executeCase({
    .name = "query_execute_time_gt_45",
    .run = executeMs,
    .anchor = [](bench::Context& c) {
        return bench::rowidLoopMs(c.logPath, "select rowid from runlog where time > 45");
    },
    .cliSql = kStatement,
    .goal = "ratio <= 1.5",
});

}  // namespace

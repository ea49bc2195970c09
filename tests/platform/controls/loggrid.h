// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A grid bound the way the grid window binds it, over a log made for the
// test.

#include "controls/datacontrol.h"
#include "controls/datagrid.h"
#include "support/runlog.h"

#include <memory>

namespace testgrid {

// The log the grid tests use: distinct days from 2024-01-01 on, durations
// 30..119 in a shuffled order, type "Long", description "run <i>".
inline void createShuffledLog(const QString& file, int rows) {
    testlog::create(file, rows, {.time = "30 + i * 7 % 90"});
}

// A grid with the log's four columns, bound to data.
inline std::unique_ptr<controls::DataGrid> makeLogGrid(controls::DataControl* data) {
    auto grid = std::make_unique<controls::DataGrid>();
    grid->addColumn(QStringLiteral("Date"), QStringLiteral("Date"));
    grid->addColumn(QStringLiteral("Time (minutes)"), QStringLiteral("Time"));
    grid->addColumn(QStringLiteral("Type"), QStringLiteral("Type"));
    grid->addColumn(QStringLiteral("Details"), QStringLiteral("Description"));
    grid->setDataSource(data);
    return grid;
}

}  // namespace testgrid

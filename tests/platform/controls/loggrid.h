// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A grid bound the way the grid window binds it, over a log made for the
// test straight through SQLite.

#include "controls/datacontrol.h"
#include "controls/datagrid.h"
#include "support/sqlfile.h"

#include <memory>
#include <string>

namespace testgrid {

// A runlog of n rows: distinct days from 2024-01-01 on, durations 30..119
// in a shuffled order, type "Long", description "run <i>".
inline void createShuffledLog(const QString& file, int rows) {
    testsupport::execSql(file,
        "CREATE TABLE runlog (Date TEXT, Time INTEGER, Type TEXT, Description TEXT);"
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
            std::to_string(rows - 1) +
            ") INSERT INTO runlog SELECT date('2024-01-01', '+' || i || ' days'), 30 + i * 7 % 90,"
            " 'Long', 'run ' || i FROM n;");
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

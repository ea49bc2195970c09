// SPDX-License-Identifier: GPL-3.0-or-later
#include "rows.h"

#include "sqlite_util.h"

namespace dao {

Rows SelectRows(Database& db, const QString& sql, const QVariantList& params) {
    detail::Statement stmt(db.handle(), sql);
    for (int i = 0; i < params.size(); ++i) stmt.bind(i + 1, params[i]);
    Rows rows;
    const int columns = stmt.columnCount();
    while (stmt.step()) {
        std::vector<QVariant>& row = rows.emplace_back();
        row.reserve(size_t(columns));
        for (int c = 0; c < columns; ++c) row.push_back(stmt.column(c));
    }
    return rows;
}

}  // namespace dao

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rows of one of the program's own statements (totals and the like),
// read in one go: a few rows that SQLite computed, not a record set.

#include "dao.h"

#include <QVariant>
#include <QVariantList>

#include <vector>

namespace dao {

using Rows = std::vector<std::vector<QVariant>>;

// Runs sql, written in SQLite's own dialect, with params bound to ?1, ?2,
// ..., and returns every row it yields. For statements the program writes
// itself, never for text a user typed (that goes through OpenRecordset and
// its checks). The connection's progress handler applies: a cancelled run
// ends with 3059, like any other statement.
Rows SelectRows(Database& db, const QString& sql, const QVariantList& params = {});

}  // namespace dao

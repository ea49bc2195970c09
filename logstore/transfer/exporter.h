// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writing the log out: CSV (RFC 4180, UTF-8, header Date,Time,Type,
// Description) or JSON lines, one run a line, in the order the runs were
// added. Values are written as the log holds them, so that importing the
// CSV into an empty log gives the same rows: a field with the delimiter, a
// quote, a line break or blanks at an end is quoted, an empty text is ""
// and no value at all is an empty field.

#include <QIODevice>

namespace dao {
class Database;
}

namespace transfer {

enum class ExportFormat { Csv, JsonLines };

// Writes every run of the log open in db to out; returns the runs written.
// Throws TransferError when out cannot take them, dao::Error when the log
// cannot be read.
long long exportLog(dao::Database& db, ExportFormat format, QIODevice& out);

}  // namespace transfer

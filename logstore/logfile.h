// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The log database file: its name, its one table and how an empty one is
// made. The program itself never creates the file; the pacebook-newlog
// tool and the set-up scripts do, through createLog.

#include <QString>
#include <QStringList>

namespace logstore {

// The table of runs and its fields, in the order the grid shows them.
inline QString tableName() { return QStringLiteral("runlog"); }
inline QStringList fieldNames() {
    return {QStringLiteral("Date"), QStringLiteral("Time"), QStringLiteral("Type"), QStringLiteral("Description")};
}

// The file name as the start-up code writes it, and as the entry form and
// the grid window write it. Both reach the one file Run.mdb.
inline QString upperFileName() { return QStringLiteral("\\RUN.MDB"); }
inline QString fileName() { return QStringLiteral("\\Run.mdb"); }

// The folder's path and the name joined as plain text (a folder path that
// ends in a separator gives a doubled one, which the data-access layer
// takes in its stride).
inline QString logPath(const QString& folder, const QString& name = fileName()) { return folder + name; }

// The command line that makes an empty log at logPath, for a message that
// tells the user how: the pacebook-newlog tool of programFolder (installed
// beside the program), or the one on the PATH when there is none there;
// both paths quoted for a shell.
QString newLogCommand(const QString& programFolder, const QString& logPath);

// The statements that make the table. Date is ISO 8601 text (YYYY-MM-DD)
// and must be a real day; Time is a whole number of minutes. Both may be
// empty. Type and Description are text of any length.
QStringList schemaStatements();

// Creates an empty log (the runlog table, WAL journal) at path. Refuses a
// path where a file already exists (dao::Error 3010) and leaves nothing
// behind when it fails.
void createLog(const QString& path);

}  // namespace logstore

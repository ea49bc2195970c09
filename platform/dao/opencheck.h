// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the engine checks when it opens a file, and how it names a file it
// refuses. Internal to the data-access layer.

#include "errors.h"

#include <QByteArray>
#include <QString>

#include <sqlite3.h>

namespace dao::detail {

// The first bytes of a file, read through SQLite's own file layer. SQLite
// keeps its locks per file, not per descriptor: a plain open and close of
// the file elsewhere in the process would drop the locks of every
// connection on it. Empty when the file cannot be read.
QByteArray readFileHeader(const QString& file, int bytes);

// What a file that SQLite refused as "not a database" is, as a message
// naming the file: a Microsoft Access database, text, or unknown content.
Error notADatabase(const QString& file);

// The refusal of a file that SQLite could not open or read for lack of
// permission, naming the file, or its folder when that is the cause.
Error cannotOpen(const QString& file, bool readOnly);

// Whether the file passed its page check earlier in this process, and
// remembering that it did. Files are told apart by device and inode, so a
// file put in place of a checked one is checked again.
bool checkedBefore(const QString& file);
void rememberChecked(const QString& file);
void forgetChecked();

// Runs PRAGMA quick_check; throws 3343 naming the file and SQLite's first
// finding when the file is damaged.
void checkPages(sqlite3* db, const QString& file);

// Commits end with the commit: a checkpoint that follows one (and may fail
// on a full disk) never turns a stored change into a reported failure.
void installCheckpointHook(sqlite3* db);

}  // namespace dao::detail

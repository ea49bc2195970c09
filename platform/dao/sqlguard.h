// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A guarded connection, for statements the user types. On such a connection:
//
// - the schema cannot be written to directly and the file cannot be reset
//   (SQLITE_DBCONFIG_DEFENSIVE), the schema's own functions are not trusted;
// - no extension can be loaded, and load_extension() is refused;
// - no other file can be attached or written (ATTACH, DETACH, VACUUM INTO);
// - pragmas that change the file or the connection's safety (journal_mode,
//   synchronous, writable_schema, ...) are refused; pragmas that only report
//   (table_info, integrity_check, a pragma read without a value) are allowed;
// - statements, values, expressions and compound selects are limited in size;
//   a printf() or format() result past the value limit fails as too big
//   (printfguard.h) instead of reading as NULL.
//
// A refused statement fails with err::Refused and a description that says
// what was refused.

#include "errors.h"

#include <QString>

struct sqlite3;

namespace dao {

class Database;

namespace guard {
// Limits of a guarded connection.
inline constexpr int kMaxStatementBytes = 1'000'000;  // length of one statement's text
inline constexpr int kMaxValueBytes = 16'000'000;     // a text or blob value, a row
inline constexpr int kMaxExpressionDepth = 200;
inline constexpr int kMaxCompoundSelect = 100;        // terms of a UNION / EXCEPT / ...
inline constexpr int kMaxVariables = 100;             // ?NNN parameters
inline constexpr int kMaxTriggerDepth = 10;
}  // namespace guard

// Puts the guard on an open connection, before anything runs on it. Throws
// dao::Error when the engine refuses one of the settings; the connection
// must then not be used. Guarding a guarded connection does nothing.
void guardConnection(Database& db);
void guardConnection(sqlite3* db);

// Whether the guard is on for this connection.
bool isGuarded(sqlite3* db);

// Why the guard refused the latest statement on this connection ("" when it
// refused none); reading it clears it. Used when an error is reported.
QString takeGuardRefusal(sqlite3* db);

// Checks the text of a statement the user typed before it reaches the
// engine: refused (err::Refused) when it is too long, or when it holds a
// NUL character (the engine would stop reading there and run less than the
// user sees: "delete from runlog<NUL> where ..." would empty the log).
void checkStatementText(const QString& sql);

// Ends a transaction that a statement left open on the connection (the
// engine no longer commits on its own), rolling it back so that it holds no
// lock. Returns true when there was one.
bool rollbackOpenTransaction(Database& db);

}  // namespace dao

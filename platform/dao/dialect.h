// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop-database dialect of statements the user types, rewritten into
// SQLite's, token by token and expression by expression (never inside a
// string, a quoted name or a comment):
//
// - #2024-05-31# and #5/31/2024# date literals become '2024-05-31';
// - a & b joins text (Null taken as empty text); a / b divides exactly;
//   a \ b and a Mod b work on whole numbers; True and False are -1 and 0;
// - a date plus or minus a number of days is a date, a date minus a date
//   the days between them;
// - text compares and sorts without regard to case (the log's text fields
//   and text expressions get the collation kTextCollation);
// - SELECT TOP n [PERCENT] becomes a LIMIT; DELETE * FROM loses its *;
//   DISTINCTROW goes;
// - Left(, Right( and IsNull( reach the functions of those names (SQLite
//   takes the words for keywords);
// - a crosstab (TRANSFORM ... PIVOT), PARAMETERS and a date written as US
//   text compared with a date are refused with a message that says how to
//   write them here.
//
// The functions the rewritten text calls are registered on every connection
// (dialect_functions.h). A statement kept in the file (a view, a trigger, an
// index or a table definition) is written in plain SQLite, so that other
// programs reading the log understand it: there, what needs Pacebook's own
// functions is refused with a message, and text compares with NOCASE.

#include "errors.h"

#include <QString>

namespace dao::sql {

// The collation for text compared or sorted without regard to case: any
// letter, not only A to Z, compares equal to its other case. Registered on
// every connection; a sort of the log's text fields should name it too.
inline constexpr char kTextCollation[] = "UNICODE_NOCASE";

enum class Storage {
    Run,     // the statement runs now
    Stored,  // its text is kept in the file (a named query, a view, ...)
};

// The statement in SQLite's dialect. Throws dao::Error with a message for
// what cannot be written here.
QString rewriteDialect(const QString& sql, Storage storage);

// The refusal of a PARAMETERS declaration (which a ';' separates from its
// statement, so it is refused before the second statement would be).
Error parametersRefused();

}  // namespace dao::sql

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The functions of the desktop-database dialect (dialect.h), registered on
// every connection the engine opens:
//
// - dates: Date(), Time(), Now(), Year, Month, Day, Weekday, DatePart,
//   DateAdd, DateDiff, DateSerial, and Format with date and number patterns
//   and named formats ("Short Date", "Standard", ...);
// - text: Len, Left, Right, Mid, InStr, UCase, LCase;
// - values: Nz, IsNull, Int, Fix, Val, CStr, CInt, CLng, CDbl;
// - what the rewritten statements call: pb_concat (a & b), pb_mod,
//   pb_intdiv (a \ b), pb_dateplus and pb_dateminus (dates and days);
// - LIKE with the desktop engine's wildcards (* ? # [a-c] [!a-c]) as well
//   as SQLite's (% _), without regard to case for any letter;
// - the collation sql::kTextCollation.
//
// Dates are text, "2024-05-31" or "2024-05-31 06:30:00", as the log keeps
// them. A value a function cannot take (text that is not a date or a
// number) stops the statement with a message that names the function and
// the value, rather than giving an empty or wrong answer.

struct sqlite3;

namespace dao::detail {

// Registers them on a connection; returns SQLite's result code.
int registerDialectFunctions(sqlite3* db);

}  // namespace dao::detail

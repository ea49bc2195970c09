// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// printf() and format() on a guarded connection (sqlguard.h). The engine's
// own printf() hands back NULL, without an error, for a result longer than
// the connection's value limit, and repeats a character ("%.*c") one at a
// time long past that limit (select printf('%.*c', 1e9, 'x') took seconds
// and showed an empty value). Here such a result fails with the engine's
// "string or blob too big" (SQLITE_TOOBIG): at once when the format's widths
// and repeats alone pass the limit, else as soon as the text does. Every
// other call gives exactly what the engine's printf() gives.

struct sqlite3;

namespace dao::detail {

// Puts the guarded printf() and format() on the connection. Throws
// dao::Error when the engine refuses them.
void guardPrintf(sqlite3* db);

}  // namespace dao::detail

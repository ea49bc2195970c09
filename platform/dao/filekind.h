// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a file holds, told by its first bytes: the engine's own format, the
// older desktop database's (Jet or ACE), text or something else. The log
// opener names a refused file with it; the import tool picks its reader.

#include <QByteArray>

namespace dao {

enum class FileKind {
    Empty,
    SQLite,     // "SQLite format 3"
    AccessJet,  // Microsoft Access .mdb (Jet 3 or Jet 4)
    AccessAce,  // Microsoft Access .accdb
    Text,       // no control characters but tab, line ends and form feed
    Other,
};

// head: the file's first bytes (at least 20 of them, when it has them).
FileKind fileKindOf(const QByteArray& head);

}  // namespace dao

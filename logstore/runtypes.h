// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The kinds of run the entry form offers.

#include <QString>
#include <QStringList>

namespace logstore {

// The type box's list, in order.
inline QStringList runTypes() {
    return {QStringLiteral("Normal"),   QStringLiteral("Long"),  QStringLiteral("Speedwork"),
            QStringLiteral("Race"),     QStringLiteral("Recovery"), QStringLiteral("Tempo"),
            QStringLiteral("Lactate Threshold"), QStringLiteral("VO2 Max")};
}

// The type box's text when an entry form has just opened (not a list item).
inline QString initialRunType() { return QStringLiteral("Fartlek"); }

// Stored for a new entry whose type was left blank.
inline QString blankRunType() { return QStringLiteral("normal"); }

}  // namespace logstore

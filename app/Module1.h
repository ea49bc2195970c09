// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Start-up and the state shared by the program's windows.

#include <QPointer>
#include <QString>

#include <cstdint>

class frmMain;

namespace Module1 {

// Full path of the log database: the program's folder followed by "\RUN.MDB".
extern QString sDatabasePath;
// Connect string for data controls; empty: open the file directly.
extern QString sConnect;
// Record source the grid window starts with; never assigned, so empty.
extern QString sRecordSource;
// True (-1) while grid windows reload the whole log on activation.
extern std::int16_t bGridFromEntry;
// The main window; null once it is gone (it never dangles).
extern QPointer<frmMain> fMainForm;

// The program's entry point: computes the database path, clears the connect
// string, creates the main window and shows it.
void Main();

// Back to the state of a fresh process (for tests).
void resetSharedState();

}  // namespace Module1

inline constexpr std::int16_t True = -1;
inline constexpr std::int16_t False = 0;

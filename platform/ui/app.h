// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application object: the program's folder, title and version.

#include <QString>

namespace ui::App {

// Folder of the executable, as the platform reports it (no trailing
// separator). Tests may point it elsewhere with setPath.
QString Path();
void setPath(const QString& folder);  // empty: back to the executable's folder

inline QString Title() { return QStringLiteral("Pacebook"); }
inline constexpr int Major = 2;
inline constexpr int Minor = 0;
inline constexpr int Revision = 0;

}  // namespace ui::App

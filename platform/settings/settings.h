// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The per-user settings store: named text values by application, section
// and key, in an INI file (~/.config/Pacebook/Pacebook.ini on Linux).
//
// A file there that is not what the program writes (over 64 KiB, or not in
// the INI format) is set aside as Pacebook.ini.bad (.bad-2, ...) with a
// line on standard error, and a fresh store is started. A store that is not
// a regular file (a folder, a FIFO) is not used: reads give the default and
// saves fail.

#include <QString>

namespace settings {

QString GetSetting(const QString& appName, const QString& section, const QString& key,
                   const QString& defaultValue = QString());
// Returns false when the value could not be stored (the store is not
// writable); nothing else is affected.
bool SaveSetting(const QString& appName, const QString& section, const QString& key,
                 const QString& value);

// A stored number: the key's text read as a decimal number. The default
// when the key is absent or the store cannot be read, or when the text is
// not a finite number ("abc", "@Point(10 20)", "nan", "inf", binary junk)
// or lies outside [minimum, maximum].
double GetNumber(const QString& appName, const QString& section, const QString& key, double defaultValue,
                 double minimum = -1e12, double maximum = 1e12);

// Where the store lives (for the README, tests and diagnostics). Tests point
// it at a folder of their own with setStoreFolder before the first use.
QString storeFile(const QString& appName);
void setStoreFolder(const QString& folder);

}  // namespace settings

#pragma once
// The per-user settings store: named text values by application, section
// and key, in an INI file (~/.config/Pacebook/Pacebook.ini on Linux).

#include <QString>

namespace settings {

QString GetSetting(const QString& appName, const QString& section, const QString& key,
                   const QString& defaultValue = QString());
// Returns false when the value could not be stored (the store is not
// writable); nothing else is affected.
bool SaveSetting(const QString& appName, const QString& section, const QString& key,
                 const QString& value);

// Where the store lives (for the README, tests and diagnostics). Tests point
// it at a folder of their own with setStoreFolder before the first use.
QString storeFile(const QString& appName);
void setStoreFolder(const QString& folder);

}  // namespace settings

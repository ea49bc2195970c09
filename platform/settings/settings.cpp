// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include <cmath>

namespace settings {

namespace {

QString& storeFolder() {
    static QString folder;
    return folder;
}

QString keyPath(const QString& section, const QString& key) { return section + QLatin1Char('/') + key; }

}  // namespace

QString storeFile(const QString& appName) {
    QString base = storeFolder();
    if (base.isEmpty()) base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(base).filePath(appName + QLatin1Char('/') + appName + QStringLiteral(".ini"));
}

void setStoreFolder(const QString& folder) { storeFolder() = folder; }

QString GetSetting(const QString& appName, const QString& section, const QString& key,
                   const QString& defaultValue) {
    if (appName.isEmpty() || section.isEmpty() || key.isEmpty()) return defaultValue;
    QSettings store(storeFile(appName), QSettings::IniFormat);
    const QVariant value = store.value(keyPath(section, key));
    if (!value.isValid()) return defaultValue;
    return value.toString();
}

double GetNumber(const QString& appName, const QString& section, const QString& key, double defaultValue,
                 double minimum, double maximum) {
    bool ok = false;
    const double value = GetSetting(appName, section, key).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < minimum || value > maximum) return defaultValue;
    return value;
}

bool SaveSetting(const QString& appName, const QString& section, const QString& key, const QString& value) {
    if (appName.isEmpty() || section.isEmpty() || key.isEmpty()) return false;
    QSettings store(storeFile(appName), QSettings::IniFormat);
    if (!store.isWritable()) return false;
    store.setValue(keyPath(section, key), value);
    store.sync();
    return store.status() == QSettings::NoError;
}

}  // namespace settings

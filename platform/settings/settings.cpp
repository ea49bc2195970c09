// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cmath>
#include <cstdio>
#include <memory>

namespace settings {

namespace {

// Far more than the program ever writes (a few hundred bytes): a store this
// large is not its own, and reading it would take seconds.
constexpr qint64 kLargestStore = 64 * 1024;

QString& storeFolder() {
    static QString folder;
    return folder;
}

QString keyPath(const QString& section, const QString& key) { return section + QLatin1Char('/') + key; }

// Moves a store that is not what the program writes out of the way, under
// the first free name of "<file>.bad", "<file>.bad-2", ..., and says so in
// one line on standard error. False when it could not be moved.
bool setAside(const QString& appName, const QString& file, const QString& why) {
    QString aside = file + QStringLiteral(".bad");
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n) {
        if (n > 1000) return false;
        aside = file + QStringLiteral(".bad-%1").arg(n);
    }
    if (!QFile::rename(file, aside)) return false;
    const QString note = QStringLiteral("%1: the settings file %2 was set aside as %3 (%4); a fresh one is started.\n")
                             .arg(appName, QDir::toNativeSeparators(file), QDir::toNativeSeparators(aside), why);
    std::fputs(note.toLocal8Bit().constData(), stderr);
    return true;
}

// The store, read and ready for one use; nullptr when it cannot be used (it
// is not a regular file, such as a folder or a FIFO that would block the
// program, or it is junk that could not be set aside).
std::unique_ptr<QSettings> openStore(const QString& appName) {
    const QString file = storeFile(appName);
    const QFileInfo info(file);
    if (info.exists() && !info.isFile()) return nullptr;
    if (info.size() > kLargestStore &&
        !setAside(appName, file, QStringLiteral("%1 bytes, far more than Pacebook writes").arg(info.size())))
        return nullptr;
    auto store = std::make_unique<QSettings>(file, QSettings::IniFormat);
    store->allKeys();  // reads every section: a line that is no setting shows only then
    if (store->status() == QSettings::FormatError) {
        store.reset();
        if (!setAside(appName, file, QStringLiteral("it is not in the settings format"))) return nullptr;
        store = std::make_unique<QSettings>(file, QSettings::IniFormat);
    }
    return store;
}

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
    const auto store = openStore(appName);
    if (!store) return defaultValue;
    const QVariant value = store->value(keyPath(section, key));
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
    const auto store = openStore(appName);
    if (!store || !store->isWritable()) return false;
    store->setValue(keyPath(section, key), value);
    store->sync();
    return store->status() == QSettings::NoError;
}

}  // namespace settings

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app.h"

#include <QCoreApplication>

namespace ui::App {

namespace {
QString& overridePath() {
    static QString path;
    return path;
}
}  // namespace

QString Path() {
    if (!overridePath().isEmpty()) return overridePath();
    return QCoreApplication::applicationDirPath();
}

void setPath(const QString& folder) { overridePath() = folder; }

}  // namespace ui::App

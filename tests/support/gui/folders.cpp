// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/gui/folders.h"

#include "settings/settings.h"
#include "ui/app.h"

namespace testsupport {

QString& runSettingsFolder() {
    static QString folder;
    return folder;
}

ProgramFolder::ProgramFolder() { ui::App::setPath(folder_.path()); }
ProgramFolder::~ProgramFolder() { ui::App::setPath(QString()); }

FreshSettings::FreshSettings() { settings::setStoreFolder(folder_.path()); }
FreshSettings::~FreshSettings() { settings::setStoreFolder(runSettingsFolder()); }

}  // namespace testsupport

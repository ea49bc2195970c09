// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Folders for window tests: a program folder of their own, and a settings
// store of their own.

#include "support/tempdir.h"

#include <QString>

namespace testsupport {

// A temporary folder that stands for the program's folder (ui::App::Path)
// for the lifetime of the object.
class ProgramFolder {
public:
    ProgramFolder();
    ~ProgramFolder();
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    QString path() const { return folder_.path(); }
    QString file(const QString& name) const { return folder_.file(name); }

private:
    TempFolder folder_;
};

// An empty settings store for the lifetime of the object; afterwards the
// executable's own private store again.
class FreshSettings {
public:
    FreshSettings();
    ~FreshSettings();
    FreshSettings(const FreshSettings&) = delete;
    FreshSettings& operator=(const FreshSettings&) = delete;

    QString path() const { return folder_.path(); }

private:
    TempFolder folder_;
};

// The private settings folder of this test executable (set up by main()).
QString& runSettingsFolder();

}  // namespace testsupport

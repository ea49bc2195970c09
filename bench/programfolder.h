// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A program folder whose Run.mdb is the benchmark's log, for cases that open
// the program's windows; the shared database path names it as start-up would.

#include "app/Module1.h"
#include "ui/app.h"

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <stdexcept>

namespace bench {

class ProgramFolder {
public:
    explicit ProgramFolder(const QString& log) {
        if (!dir_.isValid() || !QFile::link(QFileInfo(log).absoluteFilePath(), dir_.filePath(QStringLiteral("Run.mdb"))))
            throw std::runtime_error("cannot make a program folder");
        ui::App::setPath(dir_.path());
        Module1::resetSharedState();
        Module1::sDatabasePath = dir_.path() + QStringLiteral("\\RUN.MDB");
    }
    ~ProgramFolder() {
        ui::App::setPath(QString());
        Module1::resetSharedState();
    }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

private:
    QTemporaryDir dir_;
};

}  // namespace bench

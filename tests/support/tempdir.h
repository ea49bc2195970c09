// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A temporary folder that lives as long as the test.

#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace testsupport {

class TempFolder {
public:
    TempFolder() { EXPECT_TRUE(dir_.isValid()); }
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return QDir(dir_.path()).filePath(name); }

private:
    QTemporaryDir dir_;
};

}  // namespace testsupport

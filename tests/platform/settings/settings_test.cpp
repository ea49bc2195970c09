// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings.h"
#include "support/tempdir.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include <gtest/gtest.h>

using settings::GetSetting;
using settings::SaveSetting;

namespace {

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { settings::setStoreFolder(folder.path()); }
    void TearDown() override { settings::setStoreFolder(QString()); }

    testsupport::TempFolder folder;
};

TEST_F(SettingsStore, savedValueIsReadBack) {
    EXPECT_TRUE(SaveSetting("Pacebook", "Settings", "MainLeft", "1234"));
    EXPECT_EQ(GetSetting("Pacebook", "Settings", "MainLeft", "1000"), "1234");

    EXPECT_TRUE(SaveSetting("Pacebook", "Settings", "MainLeft", "-15.5"));
    EXPECT_EQ(GetSetting("Pacebook", "Settings", "MainLeft"), "-15.5");
}

TEST_F(SettingsStore, absentKeyGivesTheDefault) {
    EXPECT_EQ(GetSetting("Pacebook", "Settings", "MainTop", "1000"), "1000");
    EXPECT_EQ(GetSetting("Pacebook", "Settings", "MainTop"), QString());
    SaveSetting("Pacebook", "Settings", "MainLeft", "1");
    EXPECT_EQ(GetSetting("Pacebook", "Other", "MainLeft", "7"), "7");
    EXPECT_EQ(GetSetting("Elsewhere", "Settings", "MainLeft", "8"), "8");
}

TEST_F(SettingsStore, textIsKeptExactly) {
    // Not a number: the store hands back what it was given; the window decides.
    for (const QString& text : {QStringLiteral("abc"), QStringLiteral("a=b; c, \"d\""), QStringLiteral(" 12 "),
                                QStringLiteral("Läufe")}) {
        ASSERT_TRUE(SaveSetting("Pacebook", "Settings", "MainWidth", text));
        EXPECT_EQ(GetSetting("Pacebook", "Settings", "MainWidth", "6500"), text);
    }
}

TEST_F(SettingsStore, valuesLiveInOneIniFilePerApplication) {
    SaveSetting("Pacebook", "Settings", "QueryLeft", "300");
    const QString file = settings::storeFile("Pacebook");
    EXPECT_EQ(file, QDir(folder.path()).filePath("Pacebook/Pacebook.ini"));
    ASSERT_TRUE(QFile::exists(file));
    QSettings ini(file, QSettings::IniFormat);
    EXPECT_EQ(ini.value("Settings/QueryLeft").toString(), "300");
}

TEST(SettingsLocation, storeIsPerUserUnderTheConfigFolder) {
    settings::setStoreFolder(QString());
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    EXPECT_EQ(settings::storeFile("Pacebook"), QDir(config).filePath("Pacebook/Pacebook.ini"));
}

TEST_F(SettingsStore, unwritableStoreReportsFailureAndKeepsOtherValues) {
    ASSERT_TRUE(SaveSetting("Pacebook", "Settings", "MainLeft", "5"));
    // A plain file where the store's folder should be: nothing can be written there.
    QFile blocker(folder.file("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    settings::setStoreFolder(folder.file("blocked"));
    EXPECT_FALSE(SaveSetting("Pacebook", "Settings", "MainLeft", "9"));

    settings::setStoreFolder(folder.path());
    EXPECT_EQ(GetSetting("Pacebook", "Settings", "MainLeft"), "5");
}

}  // namespace

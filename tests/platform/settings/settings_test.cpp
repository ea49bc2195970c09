// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings.h"
#include "support/tempdir.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

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

// A store that is not what the program writes is set aside whole, said so
// on standard error, and a fresh one takes its place; one that is the
// program's own (a hand-made comment included) is kept.
TEST_F(SettingsStore, aStoreThatIsNotTheProgramsOwnIsSetAsideAndAFreshOneStarted) {
    QByteArray big = "[Settings]\n";
    while (big.size() <= 64 * 1024) big += "Junk" + QByteArray::number(big.size()) + "=" + QByteArray(40, 'x') + "\n";
    QByteArray near = "[Settings]\nMainLeft=10\n";
    while (near.size() < 60 * 1024) near += "Kept" + QByteArray::number(near.size()) + "=1\n";
    struct Case {
        const char* what;
        QByteArray content;
        bool setAside;
    };
    const std::vector<Case> cases = {
        {"larger than the program writes", big, true},
        {"a line that is not key=value", "[Settings]\nMainLeft=10\nthis is no setting\n", true},
        {"a section not closed", "[Settings\nMainLeft=10\n", true},
        {"binary junk", QByteArray("\x7f" "ELF\x02\x01\x01\0\0\0\n\x03\0>\0\x01", 17), true},
        {"the program's own", "[Settings]\nMainLeft=10\nMainTop=20\n", false},
        {"with a comment", "; mine\n[Settings]\nMainLeft=10\n", false},
        {"large but below the limit", near, false},
    };
    const QString file = settings::storeFile("Pacebook");
    QDir().mkpath(QFileInfo(file).path());
    for (const Case& c : cases) {
        QFile::remove(file);
        QFile::remove(file + ".bad");
        {
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.content);
        }
        testing::internal::CaptureStderr();
        const bool saved = SaveSetting("Pacebook", "Settings", "QueryTop", "75");
        const QString note = QString::fromStdString(testing::internal::GetCapturedStderr());
        EXPECT_TRUE(saved) << c.what;
        EXPECT_EQ(GetSetting("Pacebook", "Settings", "QueryTop"), "75") << c.what;
        QFile aside(file + ".bad");
        if (!c.setAside) {
            EXPECT_TRUE(note.isEmpty()) << c.what << ": " << note.toStdString();
            EXPECT_FALSE(aside.exists()) << c.what;
            EXPECT_EQ(GetSetting("Pacebook", "Settings", "MainLeft"), "10") << c.what;
            continue;
        }
        // Kept whole under the other name, and named in one line.
        ASSERT_TRUE(aside.open(QIODevice::ReadOnly)) << c.what;
        EXPECT_EQ(aside.readAll(), c.content) << c.what;
        EXPECT_EQ(note.count(u'\n'), 1) << c.what << ": " << note.toStdString();
        EXPECT_TRUE(note.contains(file) && note.contains(file + ".bad")) << c.what << ": " << note.toStdString();
        // The fresh store holds what was saved since, and nothing of the old one.
        EXPECT_EQ(GetSetting("Pacebook", "Settings", "MainLeft", "none"), "none") << c.what;
        EXPECT_LT(QFileInfo(file).size(), 100) << c.what;
    }

    // An earlier one set aside is kept: the next takes the next name.
    for (const QString& name : {file + ".bad", file}) {
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a setting\n");
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetSetting("Pacebook", "Settings", "QueryTop", "0"), "0");
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(QFile::exists(file + ".bad"));
    EXPECT_TRUE(QFile::exists(file + ".bad-2"));
}

TEST_F(SettingsStore, aStoreThatIsAFifoIsNotUsedAndNothingWaitsForIt) {
    const QString file = settings::storeFile("Pacebook");
    QDir().mkpath(QFileInfo(file).path());
    ASSERT_EQ(mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    // In a child that an alarm ends if anything blocks.
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(5);
        const bool ok = GetSetting("Pacebook", "Settings", "MainLeft", "d") == "d" &&
                        !SaveSetting("Pacebook", "Settings", "MainLeft", "1");
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << (WIFSIGNALED(status) ? "blocked" : "used");
    EXPECT_FALSE(QFileInfo(file).isFile());
}

}  // namespace

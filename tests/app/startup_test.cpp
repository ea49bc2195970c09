// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up, the shared state and the main window.
#include "app/Module1.h"
#include "app/frmMain.h"
#include "dao/dao.h"
#include "settings/settings.h"
#include "support/gui/folders.h"
#include "support/gui/msgboxes.h"
#include "support/gui/windows.h"
#include "ui/app.h"
#include "ui/twips.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace ui;

namespace {

QString setting(const char* key) { return settings::GetSetting("Pacebook", "Settings", key); }

frmMain* startProgram() {
    Module1::resetSharedState();
    Module1::Main();
    return Module1::fMainForm;
}

void exitProgram(frmMain* main) {
    main->findChild<QAction*>("mnuFileExit")->trigger();
    testsupport::processDeletes();
}

// Geometry compares to within a pixel.
const double onePixel = pixelsToTwipsX(1) + 0.01;

class StartUp : public ::testing::Test {
protected:
    testsupport::ProgramFolder program;
    testsupport::FreshSettings store;
    testsupport::MsgBoxRecorder boxes;
};

TEST_F(StartUp, sharedStateIsReadyWhateverTheWorkingFolder) {
    testsupport::TempFolder elsewhere;
    const QString saved = QDir::currentPath();
    QDir::setCurrent(elsewhere.path());
    frmMain* main = startProgram();
    QDir::setCurrent(saved);

    EXPECT_EQ(Module1::sDatabasePath, program.path() + "\\RUN.MDB");
    EXPECT_EQ(Module1::sConnect, QString());
    EXPECT_TRUE(Module1::sRecordSource.isEmpty());
    EXPECT_EQ(Module1::bGridFromEntry, False);
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(Forms::Count(), 1);
    EXPECT_EQ(Forms::Item(0), main);
}

TEST_F(StartUp, databasePathNamesTheLogWhateverTheCaseOfItsName) {
    QFile log(program.file("Run.mdb"));
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.close();
    startProgram();
    EXPECT_EQ(dao::resolveFileName(Module1::sDatabasePath), program.file("Run.mdb"));
    // The path the entry and grid windows build for themselves names the same file.
    EXPECT_EQ(dao::resolveFileName(ui::App::Path() + "\\Run.mdb"), program.file("Run.mdb"));
}

TEST_F(StartUp, missingLogGivesNoMessageAndIsNotCreated) {
    frmMain* main = startProgram();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main));
    ASSERT_TRUE(testsupport::processQueuedEvents());
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_TRUE(QDir(program.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
}

TEST_F(StartUp, mainWindowHasItsCaptionMenuAndStatusBar) {
    frmMain* main = startProgram();
    EXPECT_EQ(main->Caption(), "Pacebook");
    EXPECT_FALSE(main->windowIcon().isNull());

    auto* bar = main->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    QStringList titles, names;
    for (QAction* menu : bar->actions()) {
        titles << menu->text();
        names << menu->menu()->objectName();
    }
    EXPECT_EQ(titles, QStringList({"&File", "&Logbook", "About"}));
    EXPECT_EQ(names, QStringList({"mnuFile", "mnuView", "mnuAbout"}));

    auto items = [&](const char* menu) {
        QStringList list;
        for (QAction* item : main->findChild<QMenu*>(menu)->actions())
            list << item->objectName() + "=" + item->text();
        return list;
    };
    EXPECT_EQ(items("mnuFile"), QStringList({"mnuFileExit=E&xit"}));
    EXPECT_EQ(items("mnuView"), QStringList({"mnuViewDatarunlog=Add Entry", "mnuViewLog=View Log",
                                                "mnuViewSummary=&Summary"}));
    EXPECT_EQ(items("mnuAbout"), QStringList({"mnuHelpAbout=&About Pacebook..."}));

    auto* status = main->findChild<QStatusBar*>("sbStatusBar");
    ASSERT_NE(status, nullptr);
    auto* text = main->findChild<QLabel*>("sbStatusBarStatus");
    auto* date = main->findChild<QLabel*>("sbStatusBarDate");
    auto* time = main->findChild<QLabel*>("sbStatusBarTime");
    ASSERT_TRUE(text && date && time);
    EXPECT_EQ(text->text(), "Status");
    EXPECT_FALSE(date->text().isEmpty());
    EXPECT_FALSE(time->text().isEmpty());
    for (QLabel* panel : {text, date, time}) EXPECT_GE(panel->minimumWidth(), twipsToPixelsX(1440));
    // Docked along the bottom across the whole width.
    EXPECT_EQ(status->width(), main->width());
    EXPECT_EQ(status->geometry().bottom(), main->rect().bottom());
}

TEST_F(StartUp, firstStartOpensAtTheDefaultPlaceAndSize) {
    frmMain* main = startProgram();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main));
    EXPECT_NEAR(main->Left(), 1000, onePixel);
    EXPECT_NEAR(main->Top(), 1000, onePixel);
    EXPECT_NEAR(pixelsToTwipsX(main->frameGeometry().width()), 6500, onePixel);
    EXPECT_NEAR(pixelsToTwipsY(main->frameGeometry().height()), 6500, onePixel);
    EXPECT_EQ(main->WindowState(), vbNormal);
}

TEST_F(StartUp, placeAndSizeAreStoredAndRestored) {
    frmMain* main = startProgram();
    main->Move(2250, 1500, 7200, 5100);
    ASSERT_TRUE(testsupport::waitFor([&] {
        return std::abs(pixelsToTwipsX(main->frameGeometry().width()) - 7200) < onePixel &&
               std::abs(pixelsToTwipsY(main->frameGeometry().height()) - 5100) < onePixel;
    }))
        << main->frameGeometry().width() << " x " << main->frameGeometry().height();
    exitProgram(main);
    EXPECT_NEAR(setting("MainLeft").toDouble(), 2250, onePixel);
    EXPECT_NEAR(setting("MainTop").toDouble(), 1500, onePixel);
    EXPECT_NEAR(setting("MainWidth").toDouble(), 7200, onePixel);
    EXPECT_NEAR(setting("MainHeight").toDouble(), 5100, onePixel);

    main = startProgram();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main));
    EXPECT_NEAR(main->Left(), 2250, onePixel);
    EXPECT_NEAR(main->Top(), 1500, onePixel);
    EXPECT_NEAR(pixelsToTwipsX(main->frameGeometry().width()), 7200, onePixel);
    EXPECT_NEAR(pixelsToTwipsY(main->frameGeometry().height()), 5100, onePixel);
}

TEST_F(StartUp, positionOffTheScreenIsAppliedUnchanged) {
    settings::SaveSetting("Pacebook", "Settings", "MainLeft", "-30000");
    settings::SaveSetting("Pacebook", "Settings", "MainTop", "90000");
    frmMain* main = startProgram();
    EXPECT_NEAR(main->Left(), -30000, onePixel);
    EXPECT_NEAR(main->Top(), 90000, onePixel);
}

TEST_F(StartUp, minimizedWindowStoresNothing) {
    for (const char* key : {"MainLeft", "MainTop", "MainWidth", "MainHeight"})
        settings::SaveSetting("Pacebook", "Settings", key, "3000");
    frmMain* main = startProgram();
    main->setWindowState(vbMinimized);
    ASSERT_TRUE(testsupport::waitFor([&] { return main->WindowState() == vbMinimized; }));
    exitProgram(main);
    for (const char* key : {"MainLeft", "MainTop", "MainWidth", "MainHeight"}) EXPECT_EQ(setting(key), "3000") << key;
    EXPECT_EQ(Forms::Count(), 0);
}

TEST_F(StartUp, maximizedWindowStoresItsPlaceAndOpensNormalNextTime) {
    frmMain* main = startProgram();
    main->setWindowState(vbMaximized);
    ASSERT_TRUE(testsupport::waitFor([&] { return main->WindowState() == vbMaximized; }));
    // Maximized: the frame fills the screen's available area.
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_TRUE(testsupport::waitFor([&] { return main->frameGeometry() == available; }))
        << main->frameGeometry().width() << " x " << main->frameGeometry().height();
    const QRect maximized = main->frameGeometry();
    exitProgram(main);
    EXPECT_NEAR(setting("MainWidth").toDouble(), pixelsToTwipsX(maximized.width()), onePixel);
    EXPECT_NEAR(setting("MainHeight").toDouble(), pixelsToTwipsY(maximized.height()), onePixel);

    main = startProgram();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main));
    EXPECT_EQ(main->WindowState(), vbNormal);
    EXPECT_EQ(main->frameGeometry().size(), maximized.size());
    EXPECT_EQ(main->frameGeometry().topLeft(), maximized.topLeft());
}

TEST_F(StartUp, storedValueThatIsNotANumberCountsAsAbsent) {
    settings::SaveSetting("Pacebook", "Settings", "MainLeft", "left");
    settings::SaveSetting("Pacebook", "Settings", "MainWidth", "");
    settings::SaveSetting("Pacebook", "Settings", "MainTop", "2000");
    frmMain* main = startProgram();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main));
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_NEAR(main->Left(), 1000, onePixel);
    EXPECT_NEAR(main->Top(), 2000, onePixel);
    EXPECT_NEAR(pixelsToTwipsX(main->frameGeometry().width()), 6500, onePixel);
}

}  // namespace

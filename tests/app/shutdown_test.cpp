// SPDX-License-Identifier: GPL-3.0-or-later
// Closing the main window: every other window first, then the program ends.
#include "app/Module1.h"
#include "app/frmMain.h"
#include "forms/entry/frmaddnew.h"
#include "support/runlog.h"
#include "dao/errors.h"
#include "settings/settings.h"
#include "support/gui/folders.h"
#include "support/gui/msgboxes.h"
#include "support/gui/windows.h"

#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

using namespace ui;

namespace {

std::vector<QString> unloads;

class OtherWindow : public Form {
public:
    explicit OtherWindow(QString name, bool failUnload = false)
        : name_(std::move(name)), failUnload_(failUnload) {}

protected:
    void Form_Unload(int&) override {
        unloads.push_back(name_);
        if (failUnload_) throw dao::Error(dao::err::DiskFull, "Disk full.");
    }

private:
    QString name_;
    bool failUnload_;
};

QString setting(const char* key) { return settings::GetSetting("Pacebook", "Settings", key); }

class ShutDown : public ::testing::Test {
protected:
    void SetUp() override {
        unloads.clear();
        Module1::resetSharedState();
        Module1::Main();
        main = Module1::fMainForm;
    }

    testsupport::ProgramFolder program;
    testsupport::FreshSettings store;
    testsupport::MsgBoxRecorder boxes;
    frmMain* main = nullptr;
};

TEST_F(ShutDown, exitUnloadsEveryOtherWindowMostRecentFirstHiddenOnesToo) {
    (new OtherWindow("entry 1"))->Show();
    (new OtherWindow("query"))->Load();  // loaded, never shown
    (new OtherWindow("entry 2"))->Show();
    auto* hiddenGrid = new OtherWindow("grid");
    hiddenGrid->Show();
    hiddenGrid->Hide();
    ASSERT_EQ(Forms::Count(), 5);

    main->findChild<QAction*>("mnuFileExit")->trigger();
    EXPECT_EQ(unloads, (std::vector<QString>{"grid", "entry 2", "query", "entry 1"}));
    EXPECT_EQ(Forms::Count(), 0);
    testsupport::processDeletes();
    EXPECT_TRUE(Module1::fMainForm.isNull());  // the shared reference does not outlive the window
    EXPECT_FALSE(settings::GetSetting("Pacebook", "Settings", "MainWidth").isEmpty());
}

TEST_F(ShutDown, closeBoxDoesWhatExitDoes) {
    (new OtherWindow("entry"))->Show();
    main->close();
    EXPECT_EQ(unloads, (std::vector<QString>{"entry"}));
    EXPECT_EQ(Forms::Count(), 0);
    EXPECT_FALSE(settings::GetSetting("Pacebook", "Settings", "MainLeft").isEmpty());
}

TEST_F(ShutDown, programEndsWhenTheMainWindowIsClosed) {
    (new OtherWindow("entry"))->Show();
    QTimer::singleShot(0, [this] { main->findChild<QAction*>("mnuFileExit")->trigger(); });
    bool timedOut = false;
    QTimer::singleShot(5000, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(Forms::Count(), 0);
}

TEST_F(ShutDown, errorInAnotherWindowsUnloadIsReportedAndTheProgramStillCloses) {
    (new OtherWindow("failing", true))->Show();
    (new OtherWindow("last"))->Show();
    main->findChild<QAction*>("mnuFileExit")->trigger();
    EXPECT_EQ(unloads, (std::vector<QString>{"last", "failing"}));
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().prompt, "Run-time error '3026':\n\nDisk full.");
    EXPECT_EQ(Forms::Count(), 0);
    EXPECT_FALSE(settings::GetSetting("Pacebook", "Settings", "MainTop").isEmpty());
}

TEST_F(ShutDown, windowThatRefusesToCloseKeepsTheProgramAndTheMainWindowRunning) {
    class Stubborn : public Form {
        void Form_Unload(int& Cancel) override { Cancel = 1; }
    };
    auto* stubborn = new Stubborn;
    stubborn->Show();
    main->findChild<QAction*>("mnuFileExit")->trigger();
    EXPECT_TRUE(main->isLoaded());
    EXPECT_EQ(Forms::Count(), 2);
    EXPECT_EQ(Forms::Item(1), stubborn);
    EXPECT_TRUE(setting("MainLeft").isEmpty());
    delete stubborn;
}

// A new entry the user keeps ("No" to "Discard the new entry?") cancels
// the exit before any window is closed; "Yes" lets it go on.
TEST_F(ShutDown, exitRefusedByAnEntryFormClosesNothingAndStoresNothing) {
    testlog::create(program.file("Run.mdb"), testlog::sample(1));
    auto* entry = new frmaddnew();
    entry->Show();
    QTest::mouseClick(entry->cmdAdd, Qt::LeftButton);
    entry->Calendar1->setSelectedDate(QDate(2024, 9, 1));
    (new OtherWindow("grid"))->Show();  // would be closed first
    boxes.answer(ui::vbNo);
    main->close();
    EXPECT_EQ(boxes.prompts(), QStringList{"Discard the new entry?"});
    EXPECT_TRUE(unloads.empty());
    EXPECT_EQ(Forms::Count(), 3);
    EXPECT_EQ(entry->txtFields_0->text(), "2024-09-01");
    EXPECT_TRUE(setting("MainLeft").isEmpty());
    boxes.answer(ui::vbYes);
    main->findChild<QAction*>("mnuFileExit")->trigger();
    EXPECT_EQ(Forms::Count(), 0);
    EXPECT_EQ(testlog::read(program.file("Run.mdb")).size(), 1u);
    EXPECT_FALSE(setting("MainLeft").isEmpty());
}

}  // namespace

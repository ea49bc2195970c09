// SPDX-License-Identifier: GPL-3.0-or-later
// The window life cycle: load, show, activate, unload, the collection of
// loaded windows, modal windows and geometry in twips.
#include "dao/dao.h"
#include "dao/errors.h"
#include "support/gui/msgboxes.h"
#include "support/gui/windows.h"
#include "support/sqlfile.h"
#include "support/tempdir.h"
#include "ui/form.h"
#include "ui/twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

using namespace ui;

namespace {

std::vector<QString> events;  // what the test windows did, in order

class TestForm : public Form {
public:
    explicit TestForm(QString name) : name_(std::move(name)) { setObjectName(name_); }
    int loads = 0;
    int activations = 0;
    int cancelUnload = 0;
    bool failLoad = false;
    std::function<void()> onActivate;

protected:
    void Form_Load() override {
        ++loads;
        events.push_back(name_ + " load");
        if (failLoad) throw dao::Error(dao::err::TypeMismatch, "Type mismatch");
    }
    void Form_Activate() override {
        ++activations;
        events.push_back(name_ + " activate");
        if (onActivate) onActivate();
    }
    void Form_Unload(int& Cancel) override {
        events.push_back(name_ + " unload");
        Cancel = cancelUnload;
    }

private:
    QString name_;
};

class FormTest : public ::testing::Test {
protected:
    void SetUp() override { events.clear(); }
};

TEST_F(FormTest, loadRunsFormLoadOnceAndJoinsFormsInLoadOrder) {
    auto* a = new TestForm("a");
    auto* b = new TestForm("b");
    b->Load();
    a->Load();
    a->Load();
    EXPECT_EQ(a->loads, 1);
    ASSERT_EQ(Forms::Count(), 2);
    EXPECT_EQ(Forms::Item(0), b);
    EXPECT_EQ(Forms::Item(1), a);
    EXPECT_EQ(Forms::Item(2), nullptr);
    EXPECT_FALSE(a->isVisible());  // loaded, hidden, still counted
}

TEST_F(FormTest, unloadRemovesTheWindowAndDeletesItLater) {
    QPointer<TestForm> a = new TestForm("a");
    auto* b = new TestForm("b");
    a->Show();
    b->Show();
    EXPECT_TRUE(a->Unload());
    EXPECT_FALSE(a->isLoaded());
    EXPECT_FALSE(a->isVisible());
    ASSERT_EQ(Forms::Count(), 1);
    EXPECT_EQ(Forms::Item(0), b);
    testsupport::processDeletes();
    EXPECT_TRUE(a.isNull());
}

TEST_F(FormTest, cancelledUnloadKeepsTheWindowLoaded) {
    auto* a = new TestForm("a");
    a->Show();
    a->cancelUnload = -1;
    EXPECT_FALSE(a->Unload());
    EXPECT_TRUE(a->isLoaded());
    EXPECT_TRUE(a->isVisible());
    EXPECT_EQ(Forms::Count(), 1);
    a->cancelUnload = 0;
}

TEST_F(FormTest, closeBoxGoesThroughUnload) {
    auto* a = new TestForm("a");
    a->Show();
    a->cancelUnload = 1;
    a->close();
    EXPECT_TRUE(a->isLoaded());
    EXPECT_TRUE(a->isVisible());
    a->cancelUnload = 0;
    a->close();
    EXPECT_FALSE(a->isLoaded());
    EXPECT_EQ(events.back(), "a unload");
}

TEST_F(FormTest, programEndsWhenTheLastLoadedWindowIsUnloaded) {
    auto* a = new TestForm("a");
    auto* hidden = new TestForm("hidden");
    a->Show();
    hidden->Load();
    bool stillRunningWithHiddenWindow = false;
    QTimer::singleShot(0, [&] {
        a->Unload();
        // A hidden loaded window keeps the program running.
        QTimer::singleShot(50, [&] {
            stillRunningWithHiddenWindow = true;
            hidden->Unload();
        });
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    watchdog.start(5000);
    const int code = QApplication::exec();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(stillRunningWithHiddenWindow);
    EXPECT_EQ(Forms::Count(), 0);
}

TEST_F(FormTest, errorInFormLoadIsReportedAndTheWindowStillOpens) {
    testsupport::MsgBoxRecorder boxes;
    auto* a = new TestForm("a");
    a->failLoad = true;
    a->Show();
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().prompt, "Run-time error '13':\n\nType mismatch");
    EXPECT_TRUE(a->isVisible());
}

TEST_F(FormTest, activateFiresOnShowAndOnSwitchingBetweenWindowsOnly) {
    auto* a = new TestForm("a");
    auto* b = new TestForm("b");
    a->Show();
    EXPECT_EQ(a->activations, 1);
    a->Show();  // already the active window
    EXPECT_EQ(a->activations, 1);
    b->Show();
    EXPECT_EQ(b->activations, 1);
    EXPECT_EQ(Forms::ActiveForm(), b);
    ASSERT_TRUE(testsupport::waitFor([&] { return QApplication::activeWindow() == b; }));
    EXPECT_EQ(b->activations, 1);  // the window system's activation counts once

    // The user clicks the other window: the window system activates it and
    // the click arrives.
    a->activateWindow();
    QTest::mouseClick(a, Qt::LeftButton);
    ASSERT_TRUE(testsupport::waitFor([&] { return a->activations == 2; }));
    EXPECT_EQ(Forms::ActiveForm(), a);
    EXPECT_EQ(b->activations, 1);
}

TEST_F(FormTest, closingAMessageBoxDoesNotActivateTheWindowUnderIt) {
    ui::setMsgBoxResponder(nullptr);
    auto* a = new TestForm("a");
    a->Show();
    ASSERT_TRUE(testsupport::waitFor([&] { return QApplication::activeWindow() == a; }));
    const int before = a->activations;
    QTimer::singleShot(50, [] {
        if (auto* box = QApplication::activeModalWidget()) box->close();
    });
    MsgBox("Saved");
    testsupport::installDefaultResponder();
    a->activateWindow();  // what the window manager does when the box goes
    ASSERT_TRUE(testsupport::waitFor([&] { return QApplication::activeWindow() == a; }));
    ASSERT_TRUE(testsupport::processQueuedEvents());
    EXPECT_EQ(a->activations, before);
}

// The "still running" window answers events from inside a running
// statement: a window shown and activated meanwhile runs its Form_Activate
// (here a read of the same log, as the grid window's reload does) once the
// statement has ended, and only once.
TEST_F(FormTest, activationDuringAStatementRunsOnceItHasEnded) {
    testsupport::TempFolder folder;
    const QString file = folder.file(QStringLiteral("Run.mdb"));
    testsupport::execSql(file, "CREATE TABLE runlog (Time INTEGER); INSERT INTO runlog VALUES (10), (20);");
    auto db = dao::DBEngine().OpenDatabase(file);
    testsupport::MsgBoxRecorder boxes;
    auto* a = new TestForm("a");
    a->Show();
    auto* b = new TestForm("b");
    long long rowsRead = -1;
    b->onActivate = [&] {
        rowsRead = db->OpenRecordset(QStringLiteral("select count(*) from runlog"))->Fields(0).Value().toLongLong();
    };
    int activationsDuringRun = -1;
    QTimer::singleShot(0, [&] {
        b->Show();
        a->activateForm();
        b->activateForm();
        activationsDuringRun = b->activations;
        db->Interrupt();
    });
    EXPECT_EQ(testsupport::runUntilInterrupted(*db, a), dao::err::Cancelled);
    EXPECT_EQ(activationsDuringRun, 0);
    ASSERT_TRUE(testsupport::waitFor([&] { return b->activations > 0; }));
    ASSERT_TRUE(testsupport::processQueuedEvents());
    EXPECT_EQ(b->activations, 1);
    EXPECT_EQ(rowsRead, 2);
    EXPECT_EQ(a->activations, 1);
    EXPECT_EQ(Forms::ActiveForm(), b);
    EXPECT_EQ(boxes.count(), 0) << boxes.prompts().join(u'|').toStdString();
}

TEST_F(FormTest, modalShowWaitsForTheWindowAndBlocksTheOthers) {
    auto* owner = new TestForm("owner");
    owner->Show();
    auto* dialog = new TestForm("dialog");
    bool blockedMeanwhile = false;
    QTimer::singleShot(20, [&] {
        blockedMeanwhile = QApplication::activeModalWidget() == dialog && dialog->isVisible();
        dialog->Unload();
    });
    events.clear();
    dialog->Show(vbModal, owner);
    events.push_back("returned");
    EXPECT_TRUE(blockedMeanwhile);
    EXPECT_EQ(events, (std::vector<QString>{"dialog load", "dialog activate", "dialog unload", "returned"}));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(FormTest, modalShowReturnsWhenTheWindowIsHidden) {
    auto* dialog = new TestForm("dialog");
    QTimer::singleShot(20, [&] { dialog->Hide(); });
    dialog->Show(vbModal);
    EXPECT_TRUE(dialog->isLoaded());
    EXPECT_FALSE(dialog->isVisible());
    // Shown again later it is an ordinary window.
    dialog->Show();
    EXPECT_EQ(dialog->windowModality(), Qt::NonModal);
}

class SharedForm : public TestForm {
public:
    SharedForm() : TestForm("shared") {}
};

TEST_F(FormTest, sharedInstanceIsLoadedOnFirstUseAndMadeAgainAfterUnload) {
    SharedForm& first = sharedInstance<SharedForm>();
    EXPECT_TRUE(first.isLoaded());
    EXPECT_EQ(&sharedInstance<SharedForm>(), &first);
    EXPECT_EQ(first.loads, 1);
    QPointer<SharedForm> old(&first);
    first.Unload();
    SharedForm& second = sharedInstance<SharedForm>();
    EXPECT_TRUE(second.isLoaded());
    EXPECT_EQ(second.loads, 1);
    EXPECT_EQ(Forms::Count(), 1);
    testsupport::processDeletes();
    EXPECT_TRUE(old.isNull());
}

TEST_F(FormTest, sizeSetBeforeShowingDescribesTheOuterFrame) {
    auto* a = new TestForm("a");
    a->Load();
    a->Move(1500, 1200, 6000, 4500);
    EXPECT_DOUBLE_EQ(a->Width(), 6000);
    a->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(a));
    const double pixel = pixelsToTwipsX(1);
    EXPECT_NEAR(a->Left(), 1500, pixel);
    EXPECT_NEAR(a->Top(), 1200, pixel);
    EXPECT_NEAR(a->Width(), 6000, pixel);
    EXPECT_NEAR(a->Height(), 4500, pixel);
    EXPECT_NEAR(pixelsToTwipsX(a->frameGeometry().width()), 6000, pixel);
    EXPECT_LT(a->ScaleWidth(), a->Width());  // the client area is inside the frame

    a->setWidth(3000);
    EXPECT_NEAR(pixelsToTwipsX(a->frameGeometry().width()), 3000, pixel);
}

TEST_F(FormTest, windowStateFollowsMinimizeAndMaximize) {
    auto* a = new TestForm("a");
    a->Show();
    EXPECT_EQ(a->WindowState(), vbNormal);
    for (int state : {vbMaximized, vbMinimized, vbNormal}) {
        a->setWindowState(state);
        EXPECT_TRUE(testsupport::waitFor([&] { return a->WindowState() == state; })) << state;
    }
    EXPECT_THROW(a->setWindowState(5), dao::Error);
}

TEST(TwipsTest, convertsWithTheScreensLogicalDpi) {
    const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchX();
    EXPECT_EQ(twipsToPixelsX(1440), std::lround(dpi));
    EXPECT_DOUBLE_EQ(pixelsToTwipsX(static_cast<int>(dpi)), 1440 * static_cast<int>(dpi) / dpi);
    QWidget parent;
    QPushButton button(&parent);
    placeTwips(&button, 1440, 720, 2880, 360);
    EXPECT_EQ(button.geometry(), QRect(twipsToPixelsX(1440), twipsToPixelsY(720), twipsToPixelsX(2880),
                                       twipsToPixelsY(360)));
}

}  // namespace

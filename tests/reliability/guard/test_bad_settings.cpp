// SPDX-License-Identifier: GPL-3.0-or-later
// A settings store full of junk, or one that cannot be read or written:
// every window still opens where it can be used, and the log is never
// touched by it.

#include "app/Module1.h"
#include "app/frmMain.h"
#include "forms/grid/frmDataGrid.h"
#include "forms/query/frmQuerys.h"
#include "forms/summary/frmSummary.h"
#include "logstore/logfile.h"
#include "settings/settings.h"
#include "support/gui/folders.h"
#include "support/gui/msgboxes.h"
#include "support/gui/windows.h"
#include "support/runlog.h"
#include "ui/form.h"
#include "ui/twips.h"

#include <QAction>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>

namespace {

using namespace ui;

const double onePixel = pixelsToTwipsX(1) + 0.01;

QByteArray logContent(const QString& file) {
    sqlite3* db = nullptr;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "select quote(Date)||Time||quote(Type)||quote(Description) from runlog order by rowid",
                           -1, &stmt, nullptr) == SQLITE_OK)
        while (sqlite3_step(stmt) == SQLITE_ROW) hash.addData(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    else
        hash.addData("unreadable");
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return hash.result();
}

class BadSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        testlog::create(program.file(QStringLiteral("Run.mdb")), {{"2024-03-01", 40, "Long", "hills"}});
    }

    QString iniFile() const { return settings::storeFile(QStringLiteral("Pacebook")); }
    void writeStore(const QByteArray& content) const {
        QDir().mkpath(QFileInfo(iniFile()).path());
        QFile f(iniFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }

    frmMain* startProgram() {
        Module1::resetSharedState();
        Module1::Main();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(Module1::fMainForm));
        return Module1::fMainForm;
    }
    frmQuerys* viewLog(frmMain* main) {
        main->findChild<QAction*>(QStringLiteral("mnuViewLog"))->trigger();
        frmQuerys* query = &sharedInstance<frmQuerys>();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(query));
        return query;
    }
    static void exitProgram(frmMain* main) {
        main->findChild<QAction*>(QStringLiteral("mnuFileExit"))->trigger();
        testsupport::processDeletes();
    }

    // A window that can be used: drawn at a size between its smallest and
    // the whole desktop, at a place that is a real number.
    static void expectUsable(QWidget* w, const std::string& label) {
        const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
        const QRect frame = w->frameGeometry();
        EXPECT_TRUE(w->isVisible()) << label;
        EXPECT_GE(frame.width(), std::max(1, w->minimumWidth())) << label;
        EXPECT_GE(frame.height(), std::max(1, w->minimumHeight())) << label;
        EXPECT_LE(frame.width(), desktop.width()) << label;
        EXPECT_LE(frame.height(), desktop.height()) << label;
        EXPECT_GT(std::abs(double(frame.x())), -1.0) << label;
        EXPECT_LT(std::abs(double(frame.x())), 1e7) << label;
        EXPECT_LT(std::abs(double(frame.y())), 1e7) << label;
    }

    testsupport::ProgramFolder program;
    testsupport::FreshSettings store;
    testsupport::MsgBoxRecorder boxes;
};

TEST_F(BadSettingsTest, valuesThatAreNotUsableNumbersCountAsAbsent) {
    // Each value in every key of both windows: the windows open where they
    // open on the first start.
    const std::vector<QByteArray> junk = {
        "abc", "@Point(10 20)", "@Rect(1 2 3 4)", "@Size(5 6)", "@ByteArray()", "@Variant(\\0\\0\\0\\x7f\\0\\0)",
        "@Variant(garbage", "nan", "NaN", "inf", "-inf", "+INF", "1e39", "1e30", "-1e30", "0x10", "1,5", "\"\"",
        "\\0", "\xff\xfe\x01", "12abc", "--5", "1e", ".", "\xc3\x28",
    };
    for (const QByteArray& value : junk) {
        const std::string label = "value " + value.toStdString();
        QByteArray ini = "[Settings]\n";
        for (const char* key : {"MainLeft", "MainTop", "MainWidth", "MainHeight", "QueryLeft", "QueryTop",
                                "SummaryLeft", "SummaryTop", "SummaryWidth", "SummaryHeight"})
            ini += QByteArray(key) + "=" + value + "\n";
        writeStore(ini);
        frmMain* main = startProgram();
        frmQuerys* query = viewLog(main);
        main->findChild<QAction*>(QStringLiteral("mnuViewSummary"))->trigger();
        frmSummary* summary = &sharedInstance<frmSummary>();
        EXPECT_EQ(boxes.count(), 0) << label;
        EXPECT_NEAR(main->Left(), 1000, onePixel) << label;
        EXPECT_NEAR(main->Top(), 1000, onePixel) << label;
        EXPECT_NEAR(pixelsToTwipsX(main->frameGeometry().width()), 6500, onePixel) << label;
        EXPECT_NEAR(pixelsToTwipsY(main->frameGeometry().height()), 6500, onePixel) << label;
        EXPECT_NEAR(query->Left(), 0, onePixel) << label;
        EXPECT_NEAR(query->Top(), 0, onePixel) << label;
        EXPECT_NEAR(summary->Left(), 1400, onePixel) << label;
        EXPECT_NEAR(pixelsToTwipsX(summary->frameGeometry().width()), 12000, onePixel) << label;
        expectUsable(main, label);
        expectUsable(query, label);
        expectUsable(summary, label);
        exitProgram(main);
        EXPECT_EQ(Forms::Count(), 0) << label;
    }
}

TEST_F(BadSettingsTest, sizesOfNothingOrBeyondTheScreenStillGiveAWindowThatCanBeUsed) {
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    struct Sizes {
        const char* width;
        const char* height;
        double expectWidth;  // twips; 0: the desktop's
        double expectHeight;
    };
    for (const Sizes& s : std::initializer_list<Sizes>{{"0", "0", 6500, 6500},
                                                       {"-5000", "-1", 6500, 6500},
                                                       {"0.5", "-0", 6500, 6500},
                                                       {"100000000", "99999999", 0, 0},
                                                       {"9e11", "7000", 0, 7000}}) {
        const std::string label = std::string("size ") + s.width + " x " + s.height;
        writeStore(QByteArray("[Settings]\nMainLeft=0\nMainTop=0\nMainWidth=") + s.width + "\nMainHeight=" + s.height +
                   "\n");
        frmMain* main = startProgram();
        const double w = s.expectWidth ? s.expectWidth : pixelsToTwipsX(desktop.width());
        const double h = s.expectHeight ? s.expectHeight : pixelsToTwipsY(desktop.height());
        EXPECT_NEAR(pixelsToTwipsX(main->frameGeometry().width()), w, onePixel) << label;
        EXPECT_NEAR(pixelsToTwipsY(main->frameGeometry().height()), h, onePixel) << label;
        expectUsable(main, label);
        exitProgram(main);
    }
}

TEST_F(BadSettingsTest, aStoreOfBinaryJunkOpensTheWindowsAtTheirFirstPlaces) {
    QRandomGenerator random(20240501);
    QByteArray junk(64 * 1024, '\0');
    for (char& c : junk) c = char(random.bounded(256));
    junk.replace("[", "(");  // no section of its own by chance
    junk += "\n[Settings]\nMainLeft=\x01\x02\x03\nQueryTop=@Variant(\x00\xff\xfe\xfd)\n";
    writeStore(junk);
    frmMain* main = startProgram();
    frmQuerys* query = viewLog(main);
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_NEAR(main->Left(), 1000, onePixel);
    EXPECT_NEAR(pixelsToTwipsX(main->frameGeometry().width()), 6500, onePixel);
    EXPECT_NEAR(query->Top(), 0, onePixel);
    expectUsable(main, "junk");
    expectUsable(query, "junk");
    exitProgram(main);
    // Storing the positions afterwards gives a store that reads back.
    EXPECT_NEAR(settings::GetNumber(QStringLiteral("Pacebook"), QStringLiteral("Settings"), QStringLiteral("MainLeft"), -1),
                1000, onePixel);
}

TEST_F(BadSettingsTest, aStoreThatCannotBeReadOrWrittenNeverTouchesTheLog) {
    const QString log = program.file(QStringLiteral("Run.mdb"));
    const QByteArray before = logContent(log);
    // A folder where the file should be: it can be neither read nor written.
    // (Permissions would not stop a test run by the administrator.)
    QDir().mkpath(iniFile());
    for (int run = 0; run < 2; ++run) {
        frmMain* main = startProgram();
        frmQuerys* query = viewLog(main);
        expectUsable(main, "unreadable");
        expectUsable(query, "unreadable");
        query->cmdExecuteSQL->click();  // the default statement: a grid of the log
        auto* grid = qobject_cast<frmDataGrid*>(Forms::Item(Forms::Count() - 1));
        ASSERT_NE(grid, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(grid));
        main->Move(2000, 2000, 7000, 5000);
        exitProgram(main);
        EXPECT_EQ(boxes.count(), 0) << boxes.prompts().join(u'|').toStdString();
        EXPECT_EQ(Forms::Count(), 0);
        EXPECT_EQ(logContent(log), before);
    }
    // Nothing was stored: the next start is a first start.
    EXPECT_TRUE(QFileInfo(iniFile()).isDir());

    // The store's folder is a file: nothing can be made there either.
    QDir(iniFile()).removeRecursively();
    const QString folder = QFileInfo(iniFile()).path();
    QDir(folder).removeRecursively();
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    frmMain* main = startProgram();
    viewLog(main);
    exitProgram(main);
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(logContent(log), before);
    EXPECT_TRUE(QFileInfo(folder).isFile());
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// A Run.mdb that is not a sound log, met by the windows that open it: one
// message that says what the file is, no grid left behind, the file as it
// was; and a full disk while the entry form stores an entry.

#include "forms/entry/frmaddnew.h"
#include "forms/grid/frmDataGrid.h"
#include "forms/query/frmQuerys.h"

#include "app/Module1.h"
#include "dao/dao.h"
#include "logstore/logfile.h"
#include "support/gui/folders.h"
#include "support/gui/msgboxes.h"
#include "support/gui/windows.h"
#include "support/sqlfile.h"
#include "ui/form.h"

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

struct BadLog {
    const char* name;
    QByteArray bytes;
    const char* cause;  // in the message
};

std::vector<BadLog> badLogs() {
    QByteArray jet(4096, '\0');
    jet.replace(0, 20, QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20));
    return {
        {"text", QByteArray("Date,Time,Type\n2024-05-01,30,Long\n").repeated(100), "holds text"},
        {"empty", QByteArray(), "empty"},
        {"access", jet, "Microsoft Access database"},
    };
}

class BadLogWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Module1::resetSharedState();
        Module1::sDatabasePath = program.path() + QStringLiteral("\\RUN.MDB");
        dao::DBEngine().forgetCheckedFiles();
    }

    void put(const QByteArray& bytes) {
        QFile f(program.file(QStringLiteral("Run.mdb")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    QStringList folderEntries() const {
        return QDir(program.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    static int gridCount() {
        int n = 0;
        for (int i = 0; i < ui::Forms::Count(); ++i) n += qobject_cast<frmDataGrid*>(ui::Forms::Item(i)) != nullptr;
        return n;
    }

    testsupport::ProgramFolder program;
    testsupport::FreshSettings settings;
    testsupport::MsgBoxRecorder recorder;
};

TEST_F(BadLogWindowsTest, queryWindowSaysOnceWhatTheFileIs) {
    for (const BadLog& bad : badLogs()) {
        SCOPED_TRACE(bad.name);
        put(bad.bytes);
        recorder.clear();
        auto* f = new frmQuerys();
        f->Load();
        f->Show();
        QTest::mouseClick(f->cmdExecuteSQL, Qt::LeftButton);
        ASSERT_EQ(recorder.count(), 1) << recorder.prompts().join(QStringLiteral(" | ")).toStdString();
        EXPECT_TRUE(recorder.last().prompt.contains(QLatin1String(bad.cause))) << recorder.last().prompt.toStdString();
        EXPECT_TRUE(recorder.last().prompt.contains(program.file(QStringLiteral("Run.mdb"))));
        EXPECT_EQ(gridCount(), 0);
        f->Unload();
        testsupport::processDeletes();
        QFile file(program.file(QStringLiteral("Run.mdb")));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), bad.bytes);
        EXPECT_EQ(folderEntries(), QStringList{QStringLiteral("Run.mdb")});
    }
}

TEST_F(BadLogWindowsTest, entryFormSaysOnceWhatTheFileIs) {
    for (const BadLog& bad : badLogs()) {
        SCOPED_TRACE(bad.name);
        put(bad.bytes);
        recorder.clear();
        auto* f = new frmaddnew();
        f->Load();
        f->Show();
        f->activateForm();
        ASSERT_TRUE(testsupport::waitFor([&] { return recorder.count() > 0; }));
        ASSERT_TRUE(testsupport::processQueuedEvents());  // a second message would be queued by now
        ASSERT_EQ(recorder.count(), 1) << recorder.prompts().join(QStringLiteral(" | ")).toStdString();
        EXPECT_TRUE(recorder.last().prompt.contains(QLatin1String(bad.cause))) << recorder.last().prompt.toStdString();
        f->Unload();
        testsupport::processDeletes();
        QFile file(program.file(QStringLiteral("Run.mdb")));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), bad.bytes);
        EXPECT_EQ(folderEntries(), QStringList{QStringLiteral("Run.mdb")});
    }
}

TEST_F(BadLogWindowsTest, damagedLogIsRefusedBeforeTheQueryWindowCanChangeIt) {
    logstore::createLog(program.file(QStringLiteral("Run.mdb")));
    const QByteArray bytes = testsupport::fillAndDamage(program.file(QStringLiteral("Run.mdb")));
    QFile file(program.file(QStringLiteral("Run.mdb")));

    auto* f = new frmQuerys();
    f->Load();
    f->Show();
    f->optmysql->click();
    f->txtSQLStatement->setPlainText(QStringLiteral("delete from runlog"));
    QTest::mouseClick(f->cmdExecuteSQL, Qt::LeftButton);
    ASSERT_EQ(recorder.count(), 1);
    EXPECT_TRUE(recorder.last().prompt.contains(QLatin1String("damaged"))) << recorder.last().prompt.toStdString();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), bytes);
}

}  // namespace

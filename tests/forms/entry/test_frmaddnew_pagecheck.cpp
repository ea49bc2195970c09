// SPDX-License-Identifier: GPL-3.0-or-later
// The entry form over a log whose first check of pages is still running.
#include "entry_fixture.h"

#include "dao/dao.h"
#include "support/heldchecks.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QTimer>

namespace {

using PageCheck = EntryFormTest;

// The first entry shows at once. A changed type waits for the check when
// the form leaves the entry, with the "still running" window: let go, the
// check passes and the type is stored; "Cancel" stores nothing and says so.
TEST_F(PageCheck, savedTypeWaitsForTheCheckWithTheStillRunningWindow) {
    testlog::create(logPath(), testlog::sample(2));
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "cancel" : "let go");
        dao::DBEngine().forgetCheckedFiles();
        testsupport::HeldChecks held;
        boxes.clear();
        auto* form = showForm();
        EXPECT_EQ(entryNumber(form), "Entry Number: 1");
        EXPECT_EQ(form->cbtype->currentText(), "Long");
        form->cbtype->setEditText(QStringLiteral("Tempo"));
        QString said;
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->objectName() != QLatin1String("frmRunning") || !w->isVisible() || !said.isEmpty()) continue;
                said = w->findChild<QLabel*>(QStringLiteral("lblRunning"))->text();
                if (cancel) QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("cmdCancel")), Qt::LeftButton);
                else held.release();
            }
        });
        poll.start();
        nav(form, "next");
        poll.stop();
        EXPECT_TRUE(said.contains(QLatin1String("checking the log file"))) << said.toStdString();
        EXPECT_EQ(entryNumber(form), "Entry Number: 2");
        EXPECT_EQ(logRows()[0].type, cancel ? "Long" : "Tempo");
        EXPECT_EQ(boxes.prompts(),
                  cancel ? QStringList{QStringLiteral("Data error event hit err:Operation canceled by user.")}
                         : QStringList{});
        testsupport::unloadAllForms();
    }
}

}  // namespace

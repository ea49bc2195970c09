// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/backgroundwork.h"

#include "dao/dao.h"
#include "ui/msgbox.h"
#include "ui/statementprogress.h"

#include <QApplication>
#include <QThread>

namespace ui {

void installBackgroundWorkHooks() {
    dao::DBEngine().setWaitHook([](dao::Database& db, const std::function<void()>& wait) {
        if (!qApp || QThread::currentThread() != qApp->thread()) return wait();
        StatementProgress progress(db, QApplication::activeWindow());
        progress.setMessage(QObject::tr("Pacebook is still checking the log file before it saves the change.\n"
                                        "Cancel leaves the change unsaved."));
        wait();
    });
    dao::DBEngine().setCheckFailedHook([](const dao::Error& e) { MsgBox(e.Description(), vbExclamation); });
}

}  // namespace ui

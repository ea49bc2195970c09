// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/gui/windows.h"

#include "dao/dao.h"
#include "ui/form.h"
#include "ui/statementprogress.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QThread>

#include <chrono>
#include <memory>

namespace testsupport {

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

bool processQueuedEvents(int timeoutMs) {
    // A call queued behind everything queued now queues a second one, so
    // that what the first round queued is handled too.
    auto done = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [done] {
            QMetaObject::invokeMethod(QCoreApplication::instance(), [done] { *done = true; }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    return waitFor([&] { return *done; }, timeoutMs);
}

int runUntilInterrupted(dao::Database& db, QWidget* owner) {
    ui::StatementProgress progress(db, owner, std::chrono::milliseconds(0));
    try {
        db.OpenRecordset(QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                                        "SELECT count(*) FROM c"));
    } catch (const dao::Error& e) {
        return e.Number();
    }
    return 0;
}

void processDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

void unloadAllForms() {
    // A window whose unload is cancelled would stop the loop: give each one
    // try, then delete what is left.
    for (int i = ui::Forms::Count() - 1; i >= 0; --i) {
        if (ui::Form* form = ui::Forms::Item(i)) {
            if (!form->Unload()) delete form;
        }
    }
    processDeletes();
}

}  // namespace testsupport

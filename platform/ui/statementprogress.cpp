// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/statementprogress.h"

#include "ui/app.h"
#include "ui/guard.h"

#include <QCoreApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <vector>

namespace ui {

namespace {
// How often the program answers events while a statement runs: often enough
// to feel alive, rarely enough not to slow the statement down.
constexpr qint64 kEventIntervalMs = 40;

int runningCount = 0;

struct Deferred {
    QPointer<QObject> context;
    std::function<void()> f;
};
std::vector<Deferred>& deferred() {
    static std::vector<Deferred> list;
    return list;
}

// Runs what waited for the end of the statements, unless another one has
// started since (its end flushes again).
void flushDeferred() {
    if (runningCount > 0) return;
    std::vector<Deferred> due;
    due.swap(deferred());
    for (Deferred& d : due)
        if (d.context) guard(d.f);
}

void scheduleFlush() {
    QMetaObject::invokeMethod(QCoreApplication::instance(), &flushDeferred, Qt::QueuedConnection);
}

}  // namespace

StatementProgress::StatementProgress(dao::Database& db, QWidget* owner, std::chrono::milliseconds delay)
    : db_(db), owner_(owner), delay_(delay) {
    ++runningCount;
    clock_.start();
    db_.setProgressHandler([this] { return tick(); });
}

StatementProgress::~StatementProgress() {
    db_.setProgressHandler(nullptr);
    delete window_.data();
    if (--runningCount == 0 && !deferred().empty()) scheduleFlush();
}

bool StatementProgress::running() { return runningCount > 0; }

void StatementProgress::afterRunning(QObject* context, std::function<void()> f) {
    deferred().push_back({context, std::move(f)});
    if (runningCount == 0) scheduleFlush();
}

bool StatementProgress::tick() {
    if (cancelled_) return false;
    const qint64 elapsed = clock_.elapsed();
    if (!shown_) {
        if (elapsed < delay_.count()) return true;
        showWindow();
    }
    if (elapsed - lastEvents_ >= kEventIntervalMs) {
        lastEvents_ = elapsed;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return !cancelled_;
}

void StatementProgress::showWindow() {
    shown_ = true;
    auto* dlg = new QDialog(owner_);
    dlg->setObjectName(QStringLiteral("frmRunning"));
    dlg->setWindowTitle(ui::App::Title());
    dlg->setModal(true);  // modal to the program while shown with show()
    dlg->setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* lblRunning = new QLabel(
        message_.isEmpty() ? QObject::tr("The statement is still running, or waiting for another program\nthat is "
                                         "using the log.\nCancel stops it and changes nothing.")
                           : message_,
        dlg);
    lblRunning->setObjectName(QStringLiteral("lblRunning"));
    lblRunning->setTextFormat(Qt::PlainText);
    auto* cmdCancel = new QPushButton(QObject::tr("Cancel"), dlg);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(dlg);
    layout->addWidget(lblRunning);
    layout->addLayout(buttons);

    // Cancel, Esc and the close box all reject the dialog.
    QObject::connect(cmdCancel, &QPushButton::clicked, dlg, &QDialog::reject);
    QObject::connect(dlg, &QDialog::rejected, dlg, [this] { cancelled_ = true; });

    window_ = dlg;
    dlg->show();
    dlg->raise();
    dlg->activateWindow();
}

}  // namespace ui

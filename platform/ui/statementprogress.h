// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps a long statement from freezing the program. While a statement runs
// on a database, or waits for another program's lock on it, the engine
// calls back every few thousand steps (or every few milliseconds); once the
// run has taken about a second, a small window says that the statement is
// still running and offers "Cancel" (Esc works too). The window is modal to
// the program, so nothing else can be started meanwhile, but the program
// keeps painting and answering.

#include "dao/dao.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

#include <chrono>

class QDialog;
class QWidget;

namespace ui {

class StatementProgress {
public:
    // Installs the progress handler on db until destroyed. owner: the window
    // the progress window is shown over.
    StatementProgress(dao::Database& db, QWidget* owner,
                  std::chrono::milliseconds delay = std::chrono::milliseconds(1000));
    ~StatementProgress();
    StatementProgress(const StatementProgress&) = delete;
    StatementProgress& operator=(const StatementProgress&) = delete;

    // What the window says, in place of "The statement is still running".
    void setMessage(const QString& text) { message_ = text; }

    bool cancelled() const { return cancelled_; }
    // Whether the progress window was shown during the run.
    bool shown() const { return shown_; }

private:
    bool tick();  // false: cancel the statement
    void showWindow();

    dao::Database& db_;
    QPointer<QWidget> owner_;
    std::chrono::milliseconds delay_;
    QElapsedTimer clock_;
    qint64 lastEvents_ = 0;
    bool cancelled_ = false;
    bool shown_ = false;
    QPointer<QDialog> window_;
    QString message_;
};

}  // namespace ui

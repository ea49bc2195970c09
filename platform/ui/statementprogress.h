// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps a long statement from freezing the program. While a statement runs
// on a database, or waits for another program's lock on it, the engine
// calls back every few thousand steps (or every few milliseconds); once the
// run has taken about a second, a small window says that the statement is
// still running and offers "Cancel" (Esc works too). The window is modal to
// the program, so nothing else can be started meanwhile, but the program
// keeps painting and answering.
//
// The program answers those events from inside the engine's callback, on
// the one user-interface thread, rather than running the statement on a
// worker thread with a connection of its own: record sets, the grid's
// model and the data control all live on that thread and read through
// their connections as they paint, so a worker would need every one of
// them to lock or copy. Instead nothing reachable from those events may
// use the running connection, and that is enforced:
// - events are answered only once the modal window shows, so no click or
//   key reaches another window;
// - the connection refuses to be used until the callback returns
//   (dao::Database::isBusy, err::ConnectionBusy), and the grid's model
//   shows what it holds meanwhile and repaints after the run;
// - a window activated meanwhile runs its Form_Activate (which may open
//   the log) once the run has ended (see afterRunning);
// - the program's timers (the main window's clock) touch no connection.

#include "dao/dao.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>

class QDialog;
class QObject;
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

    // Whether a statement runs under a StatementProgress now.
    static bool running();
    // Runs f once no statement runs under a StatementProgress any more,
    // from the event loop after the last one has ended (at the next turn of
    // the loop when none runs). Nothing runs if context is gone by then.
    static void afterRunning(QObject* context, std::function<void()> f);

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

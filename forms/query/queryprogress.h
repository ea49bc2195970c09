#pragma once
// Keeps a long statement from freezing the program. While a statement runs
// on a database, the engine calls back every few thousand steps; once the
// run has taken about a second, a small window says that the statement is
// still running and offers "Cancel" (Esc works too). The window is modal to
// the program, so nothing else can be started meanwhile, but the program
// keeps painting and answering.

#include "dao/dao.h"

#include <QElapsedTimer>
#include <QPointer>

#include <chrono>

class QDialog;
class QWidget;

class QueryProgress {
public:
    // Installs the progress handler on db until destroyed. owner: the window
    // the progress window is shown over.
    QueryProgress(dao::Database& db, QWidget* owner,
                  std::chrono::milliseconds delay = std::chrono::milliseconds(1000));
    ~QueryProgress();
    QueryProgress(const QueryProgress&) = delete;
    QueryProgress& operator=(const QueryProgress&) = delete;

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
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the engine checks when it opens a file, and how it names a file it
// refuses. Internal to the data-access layer.

#include "errors.h"

#include <QByteArray>
#include <QString>

#include <sqlite3.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace dao::detail {

// The first bytes of a file, read through SQLite's own file layer. SQLite
// keeps its locks per file, not per descriptor: a plain open and close of
// the file elsewhere in the process would drop the locks of every
// connection on it. Empty when the file cannot be read.
QByteArray readFileHeader(const QString& file, int bytes);

// What a file that SQLite refused as "not a database" is, as a message
// naming the file: a Microsoft Access database, text, or unknown content.
Error notADatabase(const QString& file);

// The refusal of a file that SQLite could not open or read for lack of
// permission, naming the file, or its folder when that is the cause.
Error cannotOpen(const QString& file, bool readOnly);

// The check of a file's pages (checkPages) that the first open of the file
// in a run starts. It runs on a thread and a connection of its own, so that
// windows can read the file meanwhile; every change waits for it to pass
// (Database::willWrite). Files are told apart by device and inode, so a file
// put in place of a checked one is checked again.
class PageCheck : public std::enable_shared_from_this<PageCheck> {
public:
    // The check of the file in this run: the one that passed or is still
    // running, or a new one. A file that an earlier check found damaged is
    // refused at once with that finding (3343) while it is unchanged.
    static std::shared_ptr<PageCheck> of(const QString& file);

    bool ended() const { return ended_; }
    bool passed() const;
    // Blocks until the check has ended.
    void wait() const;
    // Throws what the check found when it failed: 3343 for a damaged file,
    // or the error that kept the check from running (a lock, say). A change
    // refused so is told about no other way (see setCheckFailedHook).
    void throwIfFailed();
    // A failure other than damage: the next open checks again.
    bool inconclusive() const;
    // Counts the changes waiting for the check; they report its failure.
    void startWaiting() { ++waiting_; }
    void endWaiting() { --waiting_; }

    PageCheck(QString file, std::pair<qint64, qint64> stamp) : file_(std::move(file)), stamp_(stamp) {}

private:
    void run();
    void finish(std::optional<Error> failure);

    const QString file_;
    const std::pair<qint64, qint64> stamp_;  // size and modification time
    mutable std::mutex mutex_;
    mutable std::condition_variable endedCv_;
    std::atomic<bool> ended_{false};
    std::optional<Error> failure_;
    bool refusedAChange_ = false;
    std::atomic<int> waiting_{0};
};

// Forgets every check of this run, so that the next open checks again.
void forgetChecked();

// Called, on the thread that installed it, when a check found its file
// damaged, unless a change was refused for it already.
void setCheckFailedHook(std::function<void(const Error&)> hook);

// For tests: runs on the checking thread before each check (to hold one
// until the test lets it go).
void setPageCheckGate(std::function<void()> gate);

// Runs PRAGMA quick_check; throws 3343 naming the file and SQLite's first
// finding when the file is damaged.
void checkPages(sqlite3* db, const QString& file);

// Commits end with the commit: a checkpoint that follows one (and may fail
// on a full disk) never turns a stored change into a reported failure.
void installCheckpointHook(sqlite3* db);

}  // namespace dao::detail

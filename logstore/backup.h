// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Backups of the log: consistent copies made through the program's own
// connection, checked, kept in a "backups" folder beside the log.
//
// The program takes one before the first change that an action statement
// makes to a log in a run of the program, and otherwise at most one a day,
// before the first change of the day (an entry stored, a grid row edited).
// The newest five are kept.

#include "dao/dao.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace logstore {

inline constexpr int kBackupsKept = 5;

// "<folder of the log>/backups".
QString backupFolder(const QString& logPath);

// The backups of a log, oldest first ("Run-20240501-063000.mdb", ...).
QStringList backupsOf(const QString& logPath);

// Copies the log open in db into its backups folder (made when missing),
// checks the copy and removes the oldest copies beyond kBackupsKept, and
// what copies cut short by a kill left (untouched for ten minutes).
// Returns the copy's path; throws dao::Error when no good copy could be
// made (a half-made copy is removed). begun: see dao::Database::Backup.
QString takeBackup(dao::Database& db, const std::function<void()>& begun = {});

// A backup made on a thread and a connection of its own (one at a time).
class BackupJob {
public:
    // Whether the copy's moment is fixed: a change committed from now on
    // is not in it.
    bool begun() const { return begun_; }
    bool ended() const { return ended_; }
    // Once ended: the copy's path, or what kept it from being made.
    QString result() const;

private:
    friend std::shared_ptr<BackupJob> startBackup(const QString& logPath);
    std::atomic<bool> begun_{false};
    std::atomic<bool> ended_{false};
    QString path_;
    std::optional<dao::Error> failure_;
};
std::shared_ptr<BackupJob> startBackup(const QString& logPath);

// Waits until every backup started so far has ended (for tests and
// measurements).
void waitForBackups();

// Installs the program's backup rule on the database engine: before the
// first action statement on a log in this run, a backup, which the
// statement waits for (a failure refuses the statement); before any other
// first change of the day, a backup unless one was made that day, which
// the change waits for only until the copy's moment is fixed: the copy is
// made in the background meanwhile, and its failure does not stop the
// change.
void keepBackups();

// Forgets which logs were backed up in this run (for tests).
void forgetBackupsOfThisRun();

}  // namespace logstore

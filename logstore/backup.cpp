// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup.h"

#include "dao/background.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QRegularExpression>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

namespace logstore {

namespace {

const QString kStampFormat = QStringLiteral("yyyyMMdd-HHmmss-zzz");

// "Run-20240501-063000-123.mdb": the log's own name and when it was copied;
// suffix is a pattern for what follows ".mdb".
QRegularExpression backupName(const QString& base, const QString& suffix = QString()) {
    return QRegularExpression(
        QStringLiteral("^%1-(\\d{8})-\\d{6}-\\d{3}\\.mdb%2$").arg(QRegularExpression::escape(base), suffix),
        QRegularExpression::CaseInsensitiveOption);
}

QString baseName(const QString& logPath) { return QFileInfo(logPath).completeBaseName(); }

// A copy still being made is written to all along; one left this long
// untouched was cut short (the program was killed while it copied).
constexpr qint64 kPartialLeftSeconds = 10 * 60;

// Removes what copies of this log that were cut short left behind: the
// half-made copy and the engine's journal files beside it.
void removeLeftPartials(const QDir& folder, const QString& base) {
    const QRegularExpression partial = backupName(base, QStringLiteral("\\.part(?:-journal|-wal|-shm)?"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QFileInfo& f : folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
        if (partial.match(f.fileName()).hasMatch() && std::abs(f.lastModified().secsTo(now)) > kPartialLeftSeconds)
            QFile::remove(f.filePath());
    }
}

bool hasBackupOfDay(const QString& logPath, const QDate& day) {
    const QRegularExpression re = backupName(baseName(logPath));
    const QString stamp = day.toString(QStringLiteral("yyyyMMdd"));
    for (const QString& name : backupsOf(logPath))
        if (re.match(name).captured(1) == stamp) return true;
    return false;
}

// What this run has done, per log.
struct RunState {
    QMutex mutex;
    QSet<QString> beforeStatements;   // backed up before the first action statement
    QHash<QString, QDate> dayChecked; // the daily backup was seen to or tried
};

RunState& state() {
    static RunState s;
    return s;
}

// The backups being made. Never destroyed: a copy may still be ending
// while the program's objects go.
struct Running {
    std::mutex mutex;
    std::condition_variable idle;
    int jobs = 0;
    std::mutex copying;
};

Running& running() {
    static auto* r = new Running;
    return *r;
}

QString logKey(const dao::Database& db) {
    const QString canonical = QFileInfo(db.Name()).canonicalFilePath();
    return canonical.isEmpty() ? db.Name() : canonical;
}

}  // namespace

QString backupFolder(const QString& logPath) {
    return QFileInfo(logPath).absoluteDir().filePath(QStringLiteral("backups"));
}

QStringList backupsOf(const QString& logPath) {
    const QRegularExpression re = backupName(baseName(logPath));
    QStringList out;
    const QStringList names = QDir(backupFolder(logPath)).entryList(QDir::Files, QDir::Name);
    for (const QString& name : names)
        if (re.match(name).hasMatch()) out << name;
    // The stamp orders them, whatever the letter case of the name.
    std::sort(out.begin(), out.end(), [](const QString& a, const QString& b) {
        return a.right(23).compare(b.right(23)) < 0;
    });
    return out;
}

QString takeBackup(dao::Database& db, const std::function<void()>& begun) {
    const QString log = db.Name();
    const QDir folder(backupFolder(log));
    if (!folder.exists() && !QDir().mkpath(folder.path()))
        throw dao::Error(dao::err::NoPermission,
                         QStringLiteral("Could not make the backups folder '%1'. The folder of the log "
                                        "must be writable.")
                             .arg(folder.path()));
    removeLeftPartials(folder, baseName(log));
    QString name;
    for (;;) {
        name = baseName(log) + u'-' + QDateTime::currentDateTime().toString(kStampFormat) + QStringLiteral(".mdb");
        if (!QFileInfo::exists(folder.filePath(name))) break;
        QThread::msleep(2);
    }
    // Made under another name and renamed once it passed its check, so a
    // copy with a backup's name is always whole.
    const QString partial = folder.filePath(name + QStringLiteral(".part"));
    const QString target = folder.filePath(name);
    db.Backup(partial, begun);
    if (!QFile::rename(partial, target)) {
        QFile::remove(partial);
        throw dao::Error(dao::err::DiskIoError,
                         QStringLiteral("Could not make the backup copy '%1'.").arg(target));
    }
    QStringList kept = backupsOf(log);
    while (kept.size() > kBackupsKept) QFile::remove(folder.filePath(kept.takeFirst()));
    return target;
}

QString BackupJob::result() const {
    if (failure_) throw *failure_;
    return path_;
}

std::shared_ptr<BackupJob> startBackup(const QString& logPath) {
    auto job = std::make_shared<BackupJob>();
    Running& r = running();
    {
        std::lock_guard lock(r.mutex);
        ++r.jobs;
    }
    dao::runInBackground([job, logPath] {
        {
            // One copy at a time.
            std::lock_guard one(running().copying);
            try {
                auto db = dao::DBEngine().OpenDatabase(logPath);
                // Stopped between steps when the program ends.
                db->setProgressHandler([] { return !dao::stoppingInBackground(); });
                job->path_ = takeBackup(*db, [&] { job->begun_ = true; });
            } catch (const dao::Error& e) {
                job->failure_ = e;
            } catch (...) {
                job->failure_ = dao::Error(dao::err::Internal);
            }
            job->ended_ = true;
        }
        Running& r = running();
        std::lock_guard lock(r.mutex);
        --r.jobs;
        r.idle.notify_all();
    });
    return job;
}

void waitForBackups() {
    Running& r = running();
    std::unique_lock lock(r.mutex);
    r.idle.wait(lock, [&] { return r.jobs == 0; });
}

void keepBackups() {
    dao::DBEngine().setBeforeWriteHook([](dao::Database& db, dao::WriteKind kind) {
        RunState& s = state();
        const QString key = logKey(db);
        const QDate today = QDate::currentDate();
        {
            QMutexLocker lock(&s.mutex);
            if (kind == dao::WriteKind::Statement) {
                if (s.beforeStatements.contains(key)) return;
            } else {
                if (s.dayChecked.value(key) == today) return;
                // Tried once a day: a failed copy does not slow every save,
                // and does not stop the user's change.
                s.dayChecked.insert(key, today);
                if (hasBackupOfDay(db.Name(), today)) return;
            }
        }
        // Made off this thread: the windows stay usable meanwhile.
        const auto job = startBackup(db.Name());
        if (kind == dao::WriteKind::Row) {
            // The change comes after the copy's moment, not after the copy.
            db.waitFor([&] { return job->begun() || job->ended(); });
            return;
        }
        db.waitFor([&] { return job->ended(); });
        try {
            job->result();
        } catch (const dao::Error& e) {
            // A statement may change every row at once: it does not run
            // without a copy to go back to.
            throw dao::Error(e.Number(),
                             QStringLiteral("The statement was not run: Pacebook keeps a copy of the log "
                                            "before the first change a statement makes, and could not "
                                            "make one. %1")
                                 .arg(e.Description()));
        }
        QMutexLocker lock(&s.mutex);
        s.beforeStatements.insert(key);
        s.dayChecked.insert(key, today);
    });
}

void forgetBackupsOfThisRun() {
    RunState& s = state();
    QMutexLocker lock(&s.mutex);
    s.beforeStatements.clear();
    s.dayChecked.clear();
}

}  // namespace logstore

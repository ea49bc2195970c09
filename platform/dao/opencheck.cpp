// SPDX-License-Identifier: GPL-3.0-or-later
#include "opencheck.h"

#include "background.h"
#include "filekind.h"
#include "sqlite_util.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QHash>
#include <QObject>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace dao::detail {

namespace {

QString folderOf(const QString& file) {
    return QFileInfo(file).absolutePath();
}

bool canAccess(const QString& path, int mode) {
    return ::access(QFile::encodeName(path).constData(), mode) == 0;
}

using FileId = std::pair<quint64, quint64>;
using Stamp = std::pair<qint64, qint64>;

bool fileId(const QString& file, FileId* id, Stamp* stamp) {
    struct stat st {};
    if (::stat(QFile::encodeName(file).constData(), &st) != 0) return false;
    *id = {quint64(st.st_dev), quint64(st.st_ino)};
    *stamp = {qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    return true;
}

// The checks of this run, and who hears of a damaged file. Never destroyed:
// a check may still be ending while the program's objects go.
struct Checks {
    QMutex mutex;
    QHash<FileId, std::shared_ptr<PageCheck>> byFile;
    std::function<void()> gate;
    std::function<void(const Error&)> failedHook;
    QObject* failedReceiver = nullptr;  // lives on the hook's thread
};

Checks& checks() {
    static auto* c = new Checks;
    return *c;
}

int checkpointAfterCommit(void*, sqlite3* db, const char* name, int frames) {
    // As SQLite's own automatic checkpoint does, at a thousand pages; its
    // outcome is not the commit's.
    if (frames >= 1000) sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    return SQLITE_OK;
}

// Where the file's runs can be moved aside to, in its own folder: the first
// of "Run-access.mdb", "Run-access-2.mdb", ... that is not there yet.
QString asideName(const QString& file) {
    const QFileInfo info(file);
    const QString stem = info.completeBaseName() + QStringLiteral("-access");
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    QString aside = info.dir().filePath(stem + suffix);
    for (int n = 2; QFileInfo::exists(aside); ++n) aside = info.dir().filePath(stem + u'-' + QString::number(n) + suffix);
    return aside;
}

// A path as one word of a shell command line.
QString shellWord(const QString& path) {
    QString quoted = path;
    quoted.replace(u'\'', QLatin1String("'\\''"));
    return u'\'' + quoted + u'\'';
}

// The import program beside this one, or its name when it is not there.
QString importProgram() {
    if (QCoreApplication::instance()) {
        const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("pacebook-import"));
        if (QFileInfo(beside).isExecutable()) return beside;
    }
    return QStringLiteral("pacebook-import");
}

}  // namespace

QByteArray readFileHeader(const QString& file, int bytes) {
    sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    if (!vfs || bytes <= 0) return {};
    // Opened as a main database file, so that closing it leaves the locks
    // of any connection on the same file in place (SQLite defers the close).
    const QByteArray utf8 = file.toUtf8();
    sqlite3_filename name = sqlite3_create_filename(utf8.constData(), "", "", 0, nullptr);
    if (!name) return {};
    std::unique_ptr<char[]> storage(new char[size_t(vfs->szOsFile)]());
    auto* f = reinterpret_cast<sqlite3_file*>(storage.get());
    int outFlags = 0;
    QByteArray head;
    if (vfs->xOpen(vfs, name, f, SQLITE_OPEN_READONLY | SQLITE_OPEN_MAIN_DB, &outFlags) == SQLITE_OK) {
        sqlite3_int64 size = 0;
        if (f->pMethods->xFileSize(f, &size) == SQLITE_OK && size > 0) {
            head.resize(int(std::min<sqlite3_int64>(size, bytes)));
            if (f->pMethods->xRead(f, head.data(), int(head.size()), 0) != SQLITE_OK) head.clear();
        }
        f->pMethods->xClose(f);
    }
    sqlite3_free_filename(name);
    return head;
}

Error notADatabase(const QString& file) {
    const QByteArray head = readFileHeader(file, 100);
    switch (fileKindOf(head)) {
    case FileKind::AccessJet:
    case FileKind::AccessAce: {
        const QString aside = asideName(file);
        return Error(err::NotDatabase,
                     QStringLiteral("'%1' is a Microsoft Access database (%2), the format of older versions of "
                                    "the log; Pacebook keeps its log in SQLite format and cannot open it. "
                                    "pacebook-import brings its runs into a new log. Close Pacebook and run:\n\n"
                                    "mv %3 %4 && %5 %4 %3 --create --apply\n\n"
                                    "The Access file is kept as %6. Leave out --apply to see first what "
                                    "would be imported.")
                         .arg(file,
                              fileKindOf(head) == FileKind::AccessAce ? QStringLiteral("ACCDB")
                                                                      : QStringLiteral("Jet, MDB"),
                              shellWord(file), shellWord(aside), shellWord(importProgram()),
                              QFileInfo(aside).fileName()));
    }
    case FileKind::SQLite:
        return Error(err::NotDatabase,
                     QStringLiteral("'%1' is a damaged database: it may have been cut short or overwritten. "
                                    "Pacebook will not write to it. Restore a copy from the backups folder "
                                    "beside it.")
                         .arg(file));
    case FileKind::Text:
        return Error(err::NotDatabase,
                     QStringLiteral("Unrecognized database format '%1': the file holds text, not a "
                                    "database. It was left as it is.")
                         .arg(file));
    case FileKind::Empty:
    case FileKind::Other:
        break;
    }
    return Error(err::NotDatabase,
                 QStringLiteral("Unrecognized database format '%1': the file is not a database or it is "
                                "damaged. It was left as it is.")
                     .arg(file));
}

Error cannotOpen(const QString& file, bool readOnly) {
    const QString folder = folderOf(file);
    if (!canAccess(file, R_OK))
        return Error(err::NoPermission,
                     QStringLiteral("Cannot open '%1': you have no permission to read it.").arg(file));
    if (!readOnly && !canAccess(file, W_OK))
        return Error(err::NoPermission,
                     QStringLiteral("Cannot open '%1' for writing: the file is read-only. Make it "
                                    "writable, or copy it to a folder of your own.")
                         .arg(file));
    if (!canAccess(folder, W_OK | X_OK))
        return Error(err::NoPermission,
                     QStringLiteral("Cannot open '%1': its folder '%2' is read-only. Pacebook keeps its "
                                    "working files (%3-wal and %3-shm) beside the log, so the folder "
                                    "must be writable.")
                         .arg(file, folder, QFileInfo(file).fileName()));
    return Error(err::NoPermission,
                 QStringLiteral("Cannot open '%1': you need permission to read and write the file and "
                                "its folder.")
                     .arg(file));
}

std::shared_ptr<PageCheck> PageCheck::of(const QString& file) {
    Checks& c = checks();
    FileId id;
    Stamp stamp{-1, -1};
    const bool known = fileId(file, &id, &stamp);
    std::shared_ptr<PageCheck> check;
    {
        QMutexLocker lock(&c.mutex);
        if (known) {
            if (auto found = c.byFile.value(id)) {
                if (!found->ended() || found->passed()) return found;
                std::lock_guard own(found->mutex_);
                if (!found->inconclusive() && found->stamp_ == stamp) throw *found->failure_;
            }
        }
        check = std::make_shared<PageCheck>(file, stamp);
        if (known) c.byFile.insert(id, check);
    }
    runInBackground([check] { check->run(); });
    return check;
}

bool PageCheck::passed() const {
    std::lock_guard lock(mutex_);
    return ended_ && !failure_;
}

bool PageCheck::inconclusive() const { return failure_ && failure_->Number() != err::NotDatabase; }

void PageCheck::wait() const {
    std::unique_lock lock(mutex_);
    endedCv_.wait(lock, [this] { return ended_.load(); });
}

void PageCheck::throwIfFailed() {
    std::lock_guard lock(mutex_);
    if (!ended_ || !failure_) return;
    refusedAChange_ = true;
    throw *failure_;
}

void PageCheck::run() {
    std::optional<Error> failure;
    try {
        std::function<void()> gate;
        {
            QMutexLocker lock(&checks().mutex);
            gate = checks().gate;
        }
        if (gate) gate();
        sqlite3* db = nullptr;
        const QByteArray name = file_.toUtf8();
        const int rc = sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
        try {
            if (rc != SQLITE_OK) throw errorFor(db, rc, Stage::Open, file_);
            sqlite3_extended_result_codes(db, 1);
            sqlite3_busy_timeout(db, 5000);
            // Reading only: closing this connection never writes to the file.
            sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
            sqlite3_progress_handler(db, 10000, [](void*) { return stoppingInBackground() ? 1 : 0; }, nullptr);
            checkPages(db, file_);
        } catch (const Error& e) {
            failure = e;
        }
        sqlite3_close_v2(db);
    } catch (const Error& e) {
        failure = e;
    } catch (...) {
        failure = Error(err::Internal);
    }
    finish(std::move(failure));
}

void PageCheck::finish(std::optional<Error> failure) {
    {
        std::lock_guard lock(mutex_);
        failure_ = std::move(failure);
        ended_ = true;
    }
    endedCv_.notify_all();
    if (!failure_) return;
    Checks& c = checks();
    QMutexLocker lock(&c.mutex);
    if (inconclusive()) {
        // Not a finding about the file: the next open checks again.
        for (auto it = c.byFile.begin(); it != c.byFile.end(); ++it)
            if (it.value().get() == this) {
                c.byFile.erase(it);
                break;
            }
        return;
    }
    if (!c.failedHook || !c.failedReceiver) return;
    QMetaObject::invokeMethod(
        c.failedReceiver,
        [self = shared_from_this(), hook = c.failedHook] {
            {
                std::lock_guard own(self->mutex_);
                // Said already, or about to be, by a refused change.
                if (self->refusedAChange_ || self->waiting_ > 0) return;
                self->refusedAChange_ = true;
            }
            hook(*self->failure_);
        },
        Qt::QueuedConnection);
}

void forgetChecked() {
    QMutexLocker lock(&checks().mutex);
    checks().byFile.clear();
}

void setCheckFailedHook(std::function<void(const Error&)> hook) {
    Checks& c = checks();
    QMutexLocker lock(&c.mutex);
    c.failedHook = std::move(hook);
    if (!c.failedReceiver) c.failedReceiver = new QObject;
}

void setPageCheckGate(std::function<void()> gate) {
    QMutexLocker lock(&checks().mutex);
    checks().gate = std::move(gate);
}

void checkPages(sqlite3* db, const QString& file) {
    QString finding;
    try {
        Statement check(db, QStringLiteral("PRAGMA quick_check(1)"));
        if (check.step()) {
            finding = check.column(0).toString();
            if (finding == QLatin1String("ok")) return;
        }
    } catch (const Error& e) {
        if (e.Number() != err::NotDatabase) throw;
        finding = QString::fromUtf8(sqlite3_errmsg(db));
    }
    if (finding.isEmpty()) finding = QStringLiteral("database disk image is malformed");
    throw Error(err::NotDatabase,
                QStringLiteral("'%1' is damaged (%2). Pacebook will not write to it. Restore a copy "
                               "from the backups folder beside it.")
                    .arg(file, finding));
}

void installCheckpointHook(sqlite3* db) {
    sqlite3_wal_hook(db, &checkpointAfterCommit, nullptr);
}

}  // namespace dao::detail

namespace dao {

FileKind fileKindOf(const QByteArray& head) {
    if (head.isEmpty()) return FileKind::Empty;
    // Microsoft Access files carry their kind at byte 4 of the first page.
    if (head.mid(4, 15) == QByteArrayLiteral("Standard Jet DB")) return FileKind::AccessJet;
    if (head.mid(4, 15) == QByteArrayLiteral("Standard ACE DB")) return FileKind::AccessAce;
    if (head.startsWith(QByteArrayLiteral("SQLite format 3"))) return FileKind::SQLite;
    for (char ch : head) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != '\n' && c != '\r' && c != '\t' && c != '\f') || c == 0x7f) return FileKind::Other;
    }
    return FileKind::Text;
}

}  // namespace dao

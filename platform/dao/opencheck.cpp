// SPDX-License-Identifier: GPL-3.0-or-later
#include "opencheck.h"

#include "sqlite_util.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace dao::detail {

namespace {

// Microsoft Access files carry their kind at byte 4 of the first page.
const QByteArray kJetMagic = QByteArrayLiteral("Standard Jet DB");
const QByteArray kAceMagic = QByteArrayLiteral("Standard ACE DB");

bool looksLikeText(const QByteArray& head) {
    if (head.isEmpty()) return false;
    for (char ch : head) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 && c != '\n' && c != '\r' && c != '\t' && c != '\f') return false;
        if (c == 0x7f) return false;
    }
    return true;
}

QString folderOf(const QString& file) {
    return QFileInfo(file).absolutePath();
}

bool canAccess(const QString& path, int mode) {
    return ::access(QFile::encodeName(path).constData(), mode) == 0;
}

using FileId = std::pair<quint64, quint64>;

bool fileId(const QString& file, FileId* id) {
    struct stat st {};
    if (::stat(QFile::encodeName(file).constData(), &st) != 0) return false;
    *id = {quint64(st.st_dev), quint64(st.st_ino)};
    return true;
}

QMutex checkedMutex;
QSet<FileId>& checkedFiles() {
    static QSet<FileId> files;
    return files;
}

int checkpointAfterCommit(void*, sqlite3* db, const char* name, int frames) {
    // As SQLite's own automatic checkpoint does, at a thousand pages; its
    // outcome is not the commit's.
    if (frames >= 1000) sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    return SQLITE_OK;
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
    if (head.mid(4, kJetMagic.size()) == kJetMagic || head.mid(4, kAceMagic.size()) == kAceMagic) {
        const bool ace = head.mid(4, kAceMagic.size()) == kAceMagic;
        return Error(err::NotDatabase,
                     QStringLiteral("'%1' is a Microsoft Access database (%2); Pacebook keeps its log in "
                                    "SQLite format and cannot read it. Make a new log with pacebook-newlog "
                                    "and enter the runs again, or put a Pacebook log in its place.")
                         .arg(file, ace ? QStringLiteral("ACCDB") : QStringLiteral("Jet, MDB")));
    }
    if (head.startsWith(QByteArrayLiteral("SQLite format 3")))
        return Error(err::NotDatabase,
                     QStringLiteral("'%1' is a damaged database: it may have been cut short or overwritten. "
                                    "Pacebook will not write to it. Restore a copy from the backups folder "
                                    "beside it.")
                         .arg(file));
    if (looksLikeText(head))
        return Error(err::NotDatabase,
                     QStringLiteral("Unrecognized database format '%1': the file holds text, not a "
                                    "database. It was left as it is.")
                         .arg(file));
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

bool checkedBefore(const QString& file) {
    FileId id;
    if (!fileId(file, &id)) return false;
    QMutexLocker lock(&checkedMutex);
    return checkedFiles().contains(id);
}

void rememberChecked(const QString& file) {
    FileId id;
    if (!fileId(file, &id)) return;
    QMutexLocker lock(&checkedMutex);
    checkedFiles().insert(id);
}

void forgetChecked() {
    QMutexLocker lock(&checkedMutex);
    checkedFiles().clear();
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

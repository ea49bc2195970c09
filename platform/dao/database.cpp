// SPDX-License-Identifier: GPL-3.0-or-later
#include "dao.h"

#include "dialect_functions.h"
#include "opencheck.h"
#include "recordset_impl.h"
#include "sqlite_util.h"
#include "sqltext.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <utility>

namespace dao {

using detail::Stage;
using detail::Statement;

namespace {

// A make-table statement has no rows to open. A missing input table is the
// more useful report, so preparing it (which runs nothing) comes first.
[[noreturn]] void refuseMakeTableRows(sqlite3* db, const QString& sql) {
    Statement check(db, sql);
    throw Error(err::InvalidOperation,
                QStringLiteral("A make-table statement returns no rows; run it with Execute."));
}

// A statement the user wrote, prepared: a missing field in brackets is
// explained as the parameter the desktop engine would have asked for.
Statement prepareTyped(sqlite3* db, const QString& sql) {
    try {
        return Statement(db, sql);
    } catch (const Error& e) {
        throw sql::explainMissingField(e, sql);
    }
}

}  // namespace

Engine& Engine::instance() {
    static Engine engine;
    return engine;
}

DatabasePtr Engine::OpenDatabase(const QString& path, const ConnectionOptions& options) {
    const QString file = resolveFileName(path);
    // Only the file's name and size are looked at before SQLite opens it.
    const QFileInfo info(file);
    if (file.isEmpty() || !info.exists())
        throw Error(err::FileNotFound, QStringLiteral("Could not find file '%1'.").arg(file));
    if (info.isDir())
        throw Error(err::NotDatabase, QStringLiteral("'%1' is a folder, not a database file.").arg(file));
    // SQLite would take an empty file for an empty database and write one
    // into it.
    if (info.size() == 0)
        throw Error(err::NotDatabase,
                    QStringLiteral("Unrecognized database format '%1': the file is empty, so it holds no "
                                   "run log. It was left as it is.")
                        .arg(file));

    sqlite3* db = nullptr;
    // Read-write without create: opening never makes a file. A connection
    // is only ever used by the thread that opened it, so it needs no mutex
    // of its own (Interrupt is safe from any thread all the same).
    const int flags = (options.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    const QByteArray name = file.toUtf8();
    int rc = sqlite3_open_v2(name.constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        Error e = (rc & 0xff) == SQLITE_CANTOPEN || (rc & 0xff) == SQLITE_PERM
                      ? detail::cannotOpen(file, options.readOnly)
                      : detail::errorFor(db, rc, Stage::Open, file);
        sqlite3_close_v2(db);
        throw e;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, options.busyTimeoutMs);
    // Every connection speaks the dialect of the statements users type.
    if (const int fn = detail::registerDialectFunctions(db); fn != SQLITE_OK) {
        Error e = detail::errorFor(db, fn, Stage::Open, file);
        sqlite3_close_v2(db);
        throw e;
    }
    std::shared_ptr<detail::PageCheck> check;
    try {
        // A file SQLite could open only for reading (a read-only file, or
        // one on a read-only disk) would fail at the first save instead.
        if (!options.readOnly && sqlite3_db_readonly(db, "main"))
            throw detail::cannotOpen(file, false);
        // Reading the schema proves the file is a database; the table proves
        // it is a log. Nothing is written before both, and the check of the
        // pages, have passed.
        {
            detail::ReadTransaction read(db);
            Statement probe(db, QStringLiteral("SELECT count(*) FROM sqlite_schema"));
            probe.step();
            probe.reset();
            if (!options.requiredTable.isEmpty()) {
                Statement table(db, QStringLiteral("SELECT 1 FROM sqlite_schema WHERE type = 'table' AND "
                                                   "name = ?1 COLLATE NOCASE"));
                table.bind(1, options.requiredTable);
                if (!table.step())
                    throw Error(err::InputTableNotFound,
                                QStringLiteral("'%1' is a database without the table '%2', so it is not a "
                                               "Pacebook log. It was left as it is.")
                                    .arg(file, options.requiredTable));
            }
        }
        // The first open of the file in a run checks its pages, off this
        // thread: the file can be read meanwhile, and changes wait for the
        // check to pass (willWrite). A connection that only reads may go
        // without it; should it write after all, the check comes first.
        if (options.checkPages) check = detail::PageCheck::of(file);
        // WAL lets one connection write while others read.
        if (!options.readOnly) {
            Statement mode(db, QStringLiteral("PRAGMA journal_mode"));
            const bool wal = mode.step() && mode.column(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
            mode.reset();
            if (!wal) {
                // Switching writes to the file: only once it passed.
                if (!check) check = detail::PageCheck::of(file);
                check->wait();
                check->throwIfFailed();
                Statement toWal(db, QStringLiteral("PRAGMA journal_mode=WAL"));
                toWal.step();
            }
            detail::installCheckpointHook(db);
        }
    } catch (const Error& e) {
        // Closed before anything looks at the file from outside SQLite.
        sqlite3_close_v2(db);
        if (e.Number() == err::NotDatabase && e.Description() == dao::description(err::NotDatabase))
            throw detail::notADatabase(file);
        if (e.Number() == err::NoPermission) throw detail::cannotOpen(file, options.readOnly);
        if (e.Number() == err::FileInUse)
            throw Error(e.Number(), e.Description() + QStringLiteral(" (%1)").arg(file));
        throw;
    }
    DatabasePtr database(new Database(file, db, options.busyTimeoutMs));
    if (!check) database->pageCheckSkipped_ = true;
    else if (!check->passed()) database->check_ = std::move(check);
    return database;
}

void Engine::forgetCheckedFiles() { detail::forgetChecked(); }

void Engine::setCheckFailedHook(CheckFailedHook hook) { detail::setCheckFailedHook(std::move(hook)); }

Database::Database(QString path, sqlite3* db, int busyTimeoutMs)
    : path_(std::move(path)), db_(db), busyTimeoutMs_(busyTimeoutMs) {
    sqlite3_busy_handler(db_, &Database::busyCallback, this);
}

Database::~Database() { closeHandle(); }

void Database::Close() {
    if (db_) detail::refuseInCallback(db_);
    closeHandle();
}

void Database::closeHandle() {
    if (!db_) return;
    // Statements still held by record sets are finalized when those go;
    // close_v2 waits for them.
    sqlite3_progress_handler(db_, 0, nullptr, nullptr);
    sqlite3_busy_handler(db_, nullptr, nullptr);
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

void Database::willWrite(WriteKind kind) {
    if (!db_) throw Error(err::ObjectInvalid);
    if (std::exchange(pageCheckSkipped_, false)) check_ = detail::PageCheck::of(path_);
    if (check_) {
        // Nothing is written before the file's pages passed their check;
        // a damaged file is never written to.
        const auto check = check_;
        check->startWaiting();
        try {
            waitFor([&] { return check->ended(); });
        } catch (...) {
            check->endWaiting();
            throw;
        }
        check->endWaiting();
        if (check_->inconclusive()) {
            // A check that could not run (a lock, say) runs again for the
            // next change.
            auto failed = std::exchange(check_, detail::PageCheck::of(path_));
            failed->throwIfFailed();
        }
        check_->throwIfFailed();  // every change to a damaged file
        check_.reset();
    }
    if (Engine::instance().beforeWrite_) Engine::instance().beforeWrite_(*this, kind);
}

bool Database::pageCheckEnded() const { return !check_ || check_->ended(); }

void Database::waitFor(const std::function<bool()>& done) {
    if (done()) return;
    auto wait = [&] {
        while (!done()) {
            if (progress_) {
                bool go = false;
                try {
                    go = progress_();
                } catch (...) {
                }
                if (!go) throw Error(err::Cancelled);
            }
            sqlite3_sleep(5);
        }
    };
    const Engine::WaitHook& hook = Engine::instance().waitHook_;
    if (!progress_ && hook) hook(*this, wait);
    else wait();
}

void Database::Backup(const QString& target, const std::function<void()>& begun) {
    if (!db_) throw Error(err::ObjectInvalid);
    detail::refuseInCallback(db_);
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
        throw Error(err::TableExists, QStringLiteral("'%1' already exists; it was left as it is.").arg(target));
    const QByteArray name = target.toUtf8();
    sqlite3* copy = nullptr;
    int rc = sqlite3_open_v2(name.constData(), &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    auto fail = [&](const Error& e) {
        sqlite3_close_v2(copy);
        QFile::remove(target);
        QFile::remove(target + QStringLiteral("-journal"));
        return Error(e.Number(), QStringLiteral("Could not make a backup copy '%1': %2").arg(target, e.Description()));
    };
    if (rc != SQLITE_OK) throw fail(detail::errorFor(copy, rc, Stage::Open, target));
    sqlite3_extended_result_codes(copy, 1);
    try {
        {
            // Page by page from this connection, in one read transaction: the
            // copy is the file as of its first read, whatever other windows
            // and programs write meanwhile. A lock held by another program is
            // waited for at that read, up to the busy timeout, as every other
            // locked path waits, then reported.
            detail::ReadTransaction read(db_);
            try {
                Statement first(db_, QStringLiteral("SELECT count(*) FROM sqlite_schema"));
                first.step();
            } catch (const Error& e) {
                if (e.Number() != err::FileInUse) throw;
                throw Error(e.Number(), e.Description() + QStringLiteral(" (%1)").arg(path_));
            }
            if (begun) begun();
            sqlite3_backup* b = sqlite3_backup_init(copy, "main", db_, "main");
            if (!b) throw detail::errorFor(copy, sqlite3_errcode(copy), Stage::Run);
            // A few megabytes a step; the progress handler may stop it between.
            constexpr int kPagesPerStep = 512;
            int waited = 0;
            do {
                rc = sqlite3_backup_step(b, kPagesPerStep);
                if (rc == SQLITE_OK && progressCallback(this) != 0) rc = SQLITE_INTERRUPT;
                if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
                    if (waited >= busyTimeoutMs_) break;
                    sqlite3_sleep(20);
                    waited += 20;
                }
            } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
            sqlite3_backup_finish(b);
            if (rc == SQLITE_INTERRUPT) throw Error(err::Cancelled);
            if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
                throw detail::errorFor(nullptr, rc, Stage::Run, path_);
            if (rc != SQLITE_DONE) throw detail::errorFor(copy, rc, Stage::Run);
        }
        // A copy that stands alone: no write-ahead log beside it.
        detail::exec(copy, QStringLiteral("PRAGMA journal_mode=DELETE"));
        detail::Statement check(copy, QStringLiteral("PRAGMA quick_check(1)"));
        if (!check.step() || check.column(0).toString() != QLatin1String("ok"))
            throw Error(err::NotDatabase, QStringLiteral("the copy did not pass its check"));
    } catch (const Error& e) {
        throw fail(e);
    }
    rc = sqlite3_close(copy);
    if (rc != SQLITE_OK) throw fail(Error(err::DiskIoError));
}

void Database::Interrupt() {
    if (db_) sqlite3_interrupt(db_);
}

bool Database::isBusy() const { return db_ && detail::inCallback(db_); }

int Database::progressCallback(void* self) {
    auto* d = static_cast<Database*>(self);
    if (!d->progress_) return 0;
    detail::CallbackScope running(d->db_);
    try {
        return d->progress_() ? 0 : 1;
    } catch (...) {
        return 1;
    }
}

int Database::busyCallback(void* self, int count) {
    using namespace std::chrono;
    auto* d = static_cast<Database*>(self);
    const std::int64_t now =
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    if (count == 0) d->busySince_ = now;
    const std::int64_t left = d->busyTimeoutMs_ - (now - d->busySince_);
    if (left <= 0) return 0;
    if (d->progress_) {
        detail::CallbackScope running(d->db_);
        bool go = false;
        try {
            go = d->progress_();
        } catch (...) {
        }
        if (!go) {
            detail::markWaitCancelled(d->db_);
            return 0;
        }
    }
    // Short at first (a lock is usually let go at once), then a steady
    // 20 ms, so that the progress window stays lively.
    static constexpr int kSteps[] = {1, 2, 5, 10, 20};
    const int step = kSteps[std::min<int>(count, std::size(kSteps) - 1)];
    sqlite3_sleep(int(std::min<std::int64_t>(step, left)));
    return 1;
}

void Database::setProgressHandler(std::function<bool()> handler) {
    progress_ = std::move(handler);
    if (!db_) return;
    if (progress_)
        sqlite3_progress_handler(db_, 4000, &Database::progressCallback, this);
    else
        sqlite3_progress_handler(db_, 0, nullptr, nullptr);
}

bool Database::findTable(const QString& name, QString* actual, bool* isView) const {
    if (!db_) throw Error(err::ObjectInvalid);
    Statement s(db_, QStringLiteral("SELECT name, type FROM sqlite_schema WHERE type IN ('table','view') "
                                    "AND name = ?1 COLLATE NOCASE"));
    s.bind(1, name);
    if (!s.step()) return false;
    if (actual) *actual = s.column(0).toString();
    if (isView) *isView = s.column(1).toString() == QLatin1String("view");
    return true;
}

QueryDefPtr Database::CreateQueryDef(const QString& name, const QString& sql) {
    if (!db_) throw Error(err::ObjectInvalid);
    const QString text = sql::singleStatement(sql);
    // A named query is kept in the file, where other programs read it.
    const sql::Translated tr = sql::translate(text, name.isEmpty() ? sql::Storage::Run : sql::Storage::Stored);
    try {
        Statement check(db_, tr.sql);
    } catch (const Error& e) {
        // A missing table or field is reported when the statement runs;
        // so is a make-table whose table exists.
        if (e.Number() != err::InputTableNotFound && e.Number() != err::TooFewParameters &&
            e.Number() != err::TableExists && e.Number() != err::UndefinedFunction)
            throw;
    }
    if (!name.isEmpty()) {
        if (!tr.makeTable.isEmpty() || sql::firstKeyword(tr.sql) != QLatin1String("SELECT"))
            throw Error(err::InvalidOperation,
                        QStringLiteral("Only a query that returns rows can be stored under a name."));
        if (findTable(name)) throw Error(err::TableExists, QStringLiteral("Table '%1' already exists.").arg(name));
        willWrite(WriteKind::Statement);
        detail::WriteTransaction t(db_);
        detail::exec(db_, QStringLiteral("CREATE VIEW %1 AS %2").arg(sql::quoteName(name), tr.sql));
        t.commit();
        ++localChanges_;
    }
    return QueryDefPtr(new QueryDef(shared_from_this(), name, text));
}

void Database::Execute(const QString& sqlText) { runAction(sqlText, false); }

RecordsetPtr Database::ExecuteReturning(const QString& sqlText) { return runAction(sqlText, true); }

StatementKind Database::Classify(const QString& sqlText) {
    if (!db_) throw Error(err::ObjectInvalid);
    const sql::Translated tr = sql::translate(sql::singleStatement(sqlText));
    if (!tr.makeTable.isEmpty()) return StatementKind::Action;
    const Statement s = prepareTyped(db_, tr.sql);
    if (s.columnCount() == 0) return StatementKind::Action;
    return detail::changesFile(s) ? StatementKind::ActionWithRows : StatementKind::Rows;
}

RecordsetPtr Database::runAction(const QString& sqlText, bool keepRows) {
    if (!db_) throw Error(err::ObjectInvalid);
    const QString text = sql::singleStatement(sqlText);
    const sql::Translated tr = sql::translate(text);
    const QString first = sql::firstKeyword(tr.sql);
    static const QStringList transactionWords = {QStringLiteral("BEGIN"), QStringLiteral("COMMIT"),
                                                 QStringLiteral("END"), QStringLiteral("ROLLBACK"),
                                                 QStringLiteral("SAVEPOINT"), QStringLiteral("RELEASE")};
    if (transactionWords.contains(first))
        throw Error(err::Refused, QStringLiteral("The statement was refused: every statement already runs "
                                                 "as a transaction of its own."));
    if (!tr.makeTable.isEmpty() && findTable(tr.makeTable))
        throw Error(err::TableExists, QStringLiteral("Table '%1' already exists.").arg(tr.makeTable));

    Statement s = prepareTyped(db_, tr.sql);
    // Whether it changes the file is SQLite's to say, not the text's.
    if (s.columnCount() > 0 && !detail::changesFile(s)) throw Error(err::SelectNotExecutable);
    QStringList names;
    for (int i = 0; i < s.columnCount(); ++i) names << QString::fromUtf8(sqlite3_column_name(s.get(), i));
    recordsAffected_ = 0;
    s.reset();
    willWrite(WriteKind::Statement);
    std::shared_ptr<Rows> returned;
    // These cannot run inside a transaction; each is all-or-nothing itself.
    const bool own = first == QLatin1String("VACUUM") || first == QLatin1String("ATTACH") ||
                     first == QLatin1String("DETACH") || first == QLatin1String("PRAGMA");
    if (own) {
        detail::ResetOnExit done(s);
        returned = Recordset::Impl::holdRows(s);
    } else {
        detail::WriteTransaction t(db_);
        {
            // Every change is made by the first step; the rows follow. The
            // statement ends before the transaction does, either way.
            detail::ResetOnExit done(s);
            returned = Recordset::Impl::holdRows(s);
            recordsAffected_ = sqlite3_changes64(db_);
        }
        t.commit();
    }
    ++localChanges_;
    if (!keepRows) return nullptr;
    RecordsetPtr rs(new Recordset(shared_from_this(), text, dbOpenSnapshot));
    rs->d_->holdReturned(tr.sql, names, std::move(returned));
    return rs;
}

RecordsetPtr Database::OpenRecordset(const QString& source, int type) {
    if (!db_) throw Error(err::ObjectInvalid);
    if (type != 0 && type != dbOpenTable && type != dbOpenDynaset && type != dbOpenSnapshot)
        throw Error(err::InvalidPropertyValue);
    const QString table = sql::bareTableName(source);
    if (!table.isEmpty()) {
        QString actual;
        bool isView = false;
        if (!findTable(table, &actual, &isView))
            throw Error(err::InputTableNotFound,
                        QStringLiteral("Cannot find the input table or query '%1'. Make sure it exists "
                                       "and that its name is spelled correctly.")
                            .arg(table));
        if (type == 0) type = isView ? dbOpenDynaset : dbOpenTable;
        if (type == dbOpenTable && isView) type = dbOpenDynaset;
        return openStatement(source, QStringLiteral("SELECT * FROM ") + sql::quoteName(actual), type);
    }
    if (type == dbOpenTable)
        throw Error(err::InvalidOperation,
                    QStringLiteral("A table-type record set opens a table by its name, not a statement."));
    const QString text = sql::singleStatement(source);
    const sql::Translated tr = sql::translate(text);
    if (!tr.makeTable.isEmpty()) refuseMakeTableRows(db_, tr.sql);
    return openStatement(source, tr.sql, type == 0 ? dbOpenDynaset : type);
}

RecordsetPtr Database::openStatement(const QString& source, const QString& sql, int type) {
    RecordsetPtr rs(new Recordset(shared_from_this(), source, type));
    rs->d_->open(sql);
    return rs;
}

QueryDef::QueryDef(DatabasePtr db, QString name, QString sql)
    : db_(std::move(db)), name_(std::move(name)), sql_(std::move(sql)) {}

void QueryDef::Execute() { db_->Execute(sql_); }

RecordsetPtr QueryDef::ExecuteReturning() { return db_->ExecuteReturning(sql_); }

StatementKind QueryDef::Kind() { return db_->Classify(sql_); }

RecordsetPtr QueryDef::OpenRecordset(int type) {
    if (!db_->isOpen()) throw Error(err::ObjectInvalid);
    if (type == dbOpenTable)
        throw Error(err::InvalidOperation,
                    QStringLiteral("A table-type record set opens a table by its name, not a query."));
    const sql::Translated tr = sql::translate(sql_);
    if (!tr.makeTable.isEmpty()) refuseMakeTableRows(db_->handle(), tr.sql);
    return db_->openStatement(sql_, tr.sql, type == 0 ? dbOpenDynaset : type);
}

}  // namespace dao

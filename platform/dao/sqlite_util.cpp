// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqlite_util.h"

#include "sqlguard.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>
#include <mutex>
#include <unordered_set>
#include <vector>

namespace dao::detail {

namespace {

QString lastMessage(sqlite3* db) {
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString();
}

QString withPath(int number, const QString& text, const QString& path) {
    if (path.isEmpty()) return dao::description(number);
    return text.arg(path);
}

// The connections whose callbacks are running on this thread, innermost
// last. A connection is only ever used by the thread that opened it.
thread_local std::vector<sqlite3*> callbacksRunning;

std::mutex cancelledWaitsLock;
std::unordered_set<sqlite3*> cancelledWaits;

bool takeWaitCancelled(sqlite3* db) {
    std::lock_guard lock(cancelledWaitsLock);
    return cancelledWaits.erase(db) > 0;
}

}  // namespace

CallbackScope::CallbackScope(sqlite3* db) : db_(db) { callbacksRunning.push_back(db); }

CallbackScope::~CallbackScope() {
    auto it = std::find(callbacksRunning.rbegin(), callbacksRunning.rend(), db_);
    if (it != callbacksRunning.rend()) callbacksRunning.erase(std::next(it).base());
}

bool inCallback(sqlite3* db) {
    return !callbacksRunning.empty() &&
           std::find(callbacksRunning.begin(), callbacksRunning.end(), db) != callbacksRunning.end();
}

void refuseInCallback(sqlite3* db) {
    if (inCallback(db)) throw Error(err::ConnectionBusy);
}

void markWaitCancelled(sqlite3* db) {
    std::lock_guard lock(cancelledWaitsLock);
    cancelledWaits.insert(db);
}

Error errorFor(sqlite3* db, int rc, Stage stage, const QString& path) {
    const QString msg = lastMessage(db);
    // A statement the guard refused (sqlguard.h) says why.
    if (QString why = takeGuardRefusal(db); !why.isEmpty()) return Error(err::Refused, why);
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        if (takeWaitCancelled(db)) return Error(err::Cancelled);
        return Error(err::FileInUse,
                     withPath(err::FileInUse,
                              QStringLiteral("Could not use '%1'; the file is locked by another program. "
                                             "Try again in a moment."),
                              path));
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return Error(err::NotDatabase,
                     withPath(err::NotDatabase,
                              QStringLiteral("Unrecognized database format '%1': the file is not a "
                                             "database or it is damaged."),
                              path));
    case SQLITE_CANTOPEN:
        return Error(err::NoPermission,
                     withPath(err::NoPermission,
                              QStringLiteral("Cannot open '%1': you need permission to read and write "
                                             "the file and its folder."),
                              path));
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return Error(err::NoPermission,
                     withPath(err::NoPermission,
                              QStringLiteral("Cannot write to '%1': the file or its folder is "
                                             "read-only, or you need permission to change it."),
                              path));
    case SQLITE_FULL:
        return Error(err::DiskFull);
    case SQLITE_IOERR:
        if (rc == SQLITE_IOERR_NOMEM) return Error(err::OutOfMemory);
        return Error(err::DiskIoError);
    case SQLITE_NOMEM:
        return Error(err::OutOfMemory);
    case SQLITE_INTERRUPT:
        return Error(err::Cancelled);
    case SQLITE_MISMATCH:
        return Error(err::DataTypeConversion);
    case SQLITE_TOOBIG:
        if (msg.contains(QLatin1String("statement too long")))
            return Error(err::Refused, QStringLiteral("The statement is too long to run: it may hold at most %1 "
                                                      "bytes of text.")
                                           .arg(sqlite3_limit(db, SQLITE_LIMIT_SQL_LENGTH, -1)));
        return Error(err::DataTypeConversion,
                     db ? QStringLiteral("Data type conversion error: the value is too large. A text or blob "
                                         "here may hold at most %1 bytes.")
                              .arg(sqlite3_limit(db, SQLITE_LIMIT_LENGTH, -1))
                        : QStringLiteral("Data type conversion error: the value is too large."));
    case SQLITE_CONSTRAINT:
        if (rc == SQLITE_CONSTRAINT_CHECK) {
            static const QRegularExpression name(QStringLiteral("CHECK constraint failed: (.*)$"));
            const auto m = name.match(msg);
            if (m.hasMatch())
                return Error(err::DataTypeConversion,
                             QStringLiteral("Data type conversion error: the value does not suit the "
                                            "field %1.")
                                 .arg(m.captured(1).trimmed()));
            return Error(err::DataTypeConversion);
        }
        if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) return Error(err::DuplicateKey);
        if (rc == SQLITE_CONSTRAINT_NOTNULL) return Error(err::RequiredField, dao::description(err::RequiredField) + u' ' + msg);
        return Error(err::EngineError, msg);
    case SQLITE_ERROR: {
        static const QRegularExpression noTable(QStringLiteral("^no such (?:table|view): (.*)$"));
        static const QRegularExpression noColumn(QStringLiteral("^no such column: (.*)$"));
        static const QRegularExpression exists(QStringLiteral("^(?:table|view) (.*) already exists$"));
        if (auto m = noTable.match(msg); m.hasMatch()) {
            QString table = m.captured(1);
            if (table.startsWith(QLatin1String("main."))) table = table.mid(5);
            return Error(err::InputTableNotFound,
                         QStringLiteral("Cannot find the input table or query '%1'. Make sure it "
                                        "exists and that its name is spelled correctly.")
                             .arg(table));
        }
        if (auto m = noColumn.match(msg); m.hasMatch())
            return Error(err::TooFewParameters,
                         QStringLiteral("Too few parameters. Expected 1: there is no field named '%1'.")
                             .arg(m.captured(1)));
        static const QRegularExpression noFunction(QStringLiteral("^no such function: (.*)$"));
        if (auto m = noFunction.match(msg); m.hasMatch())
            return Error(err::UndefinedFunction,
                         QStringLiteral("Undefined function '%1' in expression.").arg(m.captured(1)));
        if (auto m = exists.match(msg); m.hasMatch())
            return Error(err::TableExists, QStringLiteral("Table '%1' already exists.").arg(m.captured(1)));
        if (stage == Stage::Prepare)
            return Error(err::SyntaxError, QStringLiteral("Syntax error in the statement: %1.").arg(msg));
        return Error(err::EngineError, msg);
    }
    default:
        return Error(err::EngineError, msg.isEmpty() ? dao::description(err::EngineError) : msg);
    }
}

Statement::Statement(sqlite3* db, const QString& sql) : db_(db) {
    if (!db) throw Error(err::ObjectInvalid);
    refuseInCallback(db);
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &stmt_, nullptr);
    if (rc != SQLITE_OK) {
        Error e = errorFor(db, rc, Stage::Prepare);
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        throw e;
    }
    if (!stmt_) throw Error(err::SyntaxError, QStringLiteral("The statement is empty."));
}

void Statement::bind(int index, const QVariant& raw) {
    const QVariant value = storable(raw);
    if (!value.isValid() || value.isNull()) {
        sqlite3_bind_null(stmt_, index);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        sqlite3_bind_int64(stmt_, index, value.toBool() ? 1 : 0);
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        sqlite3_bind_int64(stmt_, index, value.toLongLong());
        break;
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        sqlite3_bind_int64(stmt_, index, sqlite3_int64(value.toULongLong()));
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        sqlite3_bind_double(stmt_, index, value.toDouble());
        break;
    case QMetaType::QByteArray: {
        const QByteArray b = value.toByteArray();
        sqlite3_bind_blob64(stmt_, index, b.constData(), sqlite3_uint64(b.size()), SQLITE_TRANSIENT);
        break;
    }
    default: {
        const QByteArray t = value.toString().toUtf8();
        sqlite3_bind_text64(stmt_, index, t.constData(), sqlite3_uint64(t.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
        break;
    }
    }
}

bool Statement::step() {
    refuseInCallback(db_);
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    // Read the message before the reset can change it.
    Error e = errorFor(db_, rc, Stage::Run);
    sqlite3_reset(stmt_);
    throw e;
}

QVariant Statement::column(int i) const {
    switch (sqlite3_column_type(stmt_, i)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(stmt_, i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt_, i));
    case SQLITE_TEXT:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i)),
                                          sqlite3_column_bytes(stmt_, i)));
    case SQLITE_BLOB: {
        const void* p = sqlite3_column_blob(stmt_, i);
        return QVariant(QByteArray(static_cast<const char*>(p), sqlite3_column_bytes(stmt_, i)));
    }
    default:
        return QVariant();
    }
}

void exec(sqlite3* db, const QString& sql) {
    Statement s(db, sql);
    while (s.step()) {
    }
}

WriteTransaction::WriteTransaction(sqlite3* db) : db_(db) {
    nested_ = sqlite3_get_autocommit(db) == 0;
    exec(db, nested_ ? QStringLiteral("SAVEPOINT dao_write") : QStringLiteral("BEGIN IMMEDIATE"));
}

WriteTransaction::~WriteTransaction() {
    if (done_) return;
    // A failed statement may already have ended the transaction.
    if (nested_) {
        sqlite3_exec(db_, "ROLLBACK TO dao_write; RELEASE dao_write", nullptr, nullptr, nullptr);
    } else if (sqlite3_get_autocommit(db_) == 0) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void WriteTransaction::commit() {
    exec(db_, nested_ ? QStringLiteral("RELEASE dao_write") : QStringLiteral("COMMIT"));
    done_ = true;
}

ReadTransaction::ReadTransaction(sqlite3* db) : db_(db) {
    refuseInCallback(db);
    if (sqlite3_get_autocommit(db) != 0) {
        active_ = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
}

ReadTransaction::~ReadTransaction() {
    if (active_ && sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
}

QVariant storable(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return QVariant();
    if (value.typeId() == QMetaType::QDate) return value.toDate().toString(Qt::ISODate);
    if (value.typeId() == QMetaType::QDateTime) {
        const QDateTime dt = value.toDateTime();
        if (dt.time() == QTime(0, 0)) return dt.date().toString(Qt::ISODate);
        return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    return value;
}

}  // namespace dao::detail

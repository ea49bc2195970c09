// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Internal helpers of the data-access layer: a short-lived prepared
// statement, value conversion, error mapping and transactions.

#include "errors.h"

#include <QString>
#include <QVariant>

#include <sqlite3.h>

#include <utility>

namespace dao::detail {

// Where a failure happened: preparing a statement reports syntax errors,
// running it reports everything else.
enum class Stage { Open, Prepare, Run };

// The dao::Error for an SQLite result code, read from the connection's
// latest message. path names the file for open-time failures.
Error errorFor(sqlite3* db, int rc, Stage stage, const QString& path = {});

// The user cancelled a wait for another program's lock on db: the busy
// failure that follows is reported as cancelled (3059), not as a lock.
void markWaitCancelled(sqlite3* db);

// While a statement of a connection has handed control to the program from
// its progress or lock-wait callback, nothing may prepare, step or reset a
// statement on that connection (SQLite's callbacks are not re-entrant; a
// reset could even end the statement that is running). The callbacks mark
// the connection for as long as they run; the guards below refuse with
// err::ConnectionBusy.
class CallbackScope {
public:
    explicit CallbackScope(sqlite3* db);
    ~CallbackScope();
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;

private:
    sqlite3* db_;
};
bool inCallback(sqlite3* db);
void refuseInCallback(sqlite3* db);  // throws Error(err::ConnectionBusy)

// A prepared statement that lives for a short while. SQLite binds
// parameters from 1 and numbers result columns from 0.
class Statement {
public:
    Statement() = default;
    Statement(sqlite3* db, const QString& sql);  // throws on a prepare failure
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(Statement&& o) noexcept : db_(o.db_), stmt_(std::exchange(o.stmt_, nullptr)) {}
    Statement& operator=(Statement&& o) noexcept {
        if (this != &o) {
            sqlite3_finalize(stmt_);
            db_ = o.db_;
            stmt_ = std::exchange(o.stmt_, nullptr);
        }
        return *this;
    }

    bool isValid() const { return stmt_ != nullptr; }
    sqlite3_stmt* get() const { return stmt_; }
    // Hands the statement over to the caller, who finalizes it.
    sqlite3_stmt* release() { return std::exchange(stmt_, nullptr); }

    void bind(int index, const QVariant& value);  // 1-based
    void bindInt64(int index, sqlite3_int64 v) { sqlite3_bind_int64(stmt_, index, v); }
    // Steps once: true with a row, false when done. On a failure the
    // statement is reset and the error thrown.
    bool step();
    // Ends the run so that nothing stays open (locks, read transactions).
    // Does nothing while the connection is in a callback.
    void reset() {
        if (stmt_ && !inCallback(db_)) {
            sqlite3_reset(stmt_);
            sqlite3_clear_bindings(stmt_);
        }
    }
    int columnCount() const { return sqlite3_column_count(stmt_); }
    QVariant column(int index) const;  // 0-based
    sqlite3_int64 columnInt64(int index) const { return sqlite3_column_int64(stmt_, index); }

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
};

// Resets a statement when the scope ends, so it never stays stepping.
class ResetOnExit {
public:
    explicit ResetOnExit(Statement& s) : s_(s) {}
    ~ResetOnExit() { s_.reset(); }

private:
    Statement& s_;
};

// Whether a prepared statement changes the file, as SQLite reads it (an
// UPDATE ... RETURNING does; EXPLAIN of anything does not).
inline bool changesFile(const Statement& s) {
    return s.isValid() && !sqlite3_stmt_readonly(s.get()) && !sqlite3_stmt_isexplain(s.get());
}

// Runs a statement that returns nothing of interest.
void exec(sqlite3* db, const QString& sql);

// A write transaction: BEGIN IMMEDIATE (so a second writer waits for the
// lock instead of failing half-way), or a savepoint when one is already
// open on the connection. Rolled back unless committed.
class WriteTransaction {
public:
    explicit WriteTransaction(sqlite3* db);
    ~WriteTransaction();
    void commit();

private:
    sqlite3* db_;
    bool nested_ = false;
    bool done_ = false;
};

// A read transaction around several reads, so they see one state of the
// file; does nothing when a transaction is already open.
class ReadTransaction {
public:
    explicit ReadTransaction(sqlite3* db);
    ~ReadTransaction();

private:
    sqlite3* db_;
    bool active_ = false;
};

// The value as SQLite should store it: dates as ISO 8601 text.
QVariant storable(const QVariant& value);

}  // namespace dao::detail

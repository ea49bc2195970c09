// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Data-access objects over SQLite: engine, database, query definition,
// record set and fields, shaped after the desktop database engine the
// program's windows were written for.
//
// Values are QVariant: an invalid (null) QVariant for NULL, qlonglong for
// integers, double for reals, QString for text (dates are ISO 8601 text
// "YYYY-MM-DD"), QByteArray for blobs.
//
// Every failure throws dao::Error (errors.h). Nothing here shows a dialog.

#include "errors.h"
#include "sortorder.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace dao {

namespace detail {
class PageCheck;
}

class Database;
class QueryDef;
class Recordset;
using DatabasePtr = std::shared_ptr<Database>;
using QueryDefPtr = std::shared_ptr<QueryDef>;
using RecordsetPtr = std::shared_ptr<Recordset>;

// Record set types, numbered as the engine numbers them.
enum RecordsetTypeEnum : int {
    dbOpenTable = 1,
    dbOpenDynaset = 2,
    dbOpenSnapshot = 4,
};

// Edit modes of a record set.
enum EditModeEnum : int {
    dbEditNone = 0,
    dbEditInProgress = 1,
    dbEditAdd = 2,
};

// Maps a path written with backslashes ("C:\dir\Run.mdb", "/opt/pb\RUN.MDB")
// to this file system: the backslashes after the longest beginning that
// names an existing folder as written become '/' (so a folder whose own
// name holds a backslash is found), repeated separators collapse, and the
// last name is matched to an entry of its folder: the log's own spelling
// Run.mdb wins for any spelling of that name, then the name as written,
// then any entry spelt alike without regard to case (the first in sorted
// order). When no entry matches, the name is returned as written.
QString resolveFileName(const QString& path);

// Options of a connection; the defaults are what the program uses.
struct ConnectionOptions {
    int busyTimeoutMs = 5000;
    bool readOnly = false;
    // A file without this table is refused (3078) before anything is
    // written to it; empty accepts any database.
    QString requiredTable = QStringLiteral("runlog");
    // The first open of a file in a run checks its pages (in the
    // background), so that a damaged file is never written to. A connection
    // that only reads (an export, which may be what rescues the runs of a
    // damaged log) can go without it: reading a damaged page fails with
    // 3343 all the same. Should it write after all, the check comes first.
    bool checkPages = true;
};

// What a statement does, as the engine reads it (not as its text looks).
enum class StatementKind {
    Rows,            // only reads, and returns rows
    Action,          // returns no rows (it changes the file, or the schema)
    ActionWithRows,  // changes the file and returns rows (RETURNING)
};

// What kind of change a connection is about to make.
enum class WriteKind {
    Statement,  // an action statement (Execute) or a stored query
    Row,        // a record set adds, changes or deletes a row
};

// One per process, created on first use.
class Engine {
public:
    static Engine& instance();

    // Opens an existing database file shared and read-write. Never creates a
    // file: a missing one is error 3024; a file that is not a database (an
    // empty file, text, a Microsoft Access database) or a damaged one 3343;
    // a read-only file or folder 3051; a database without the required
    // table 3078. Each message names the file and the cause. Nothing is
    // written to a file that is refused, and nothing is left beside it.
    // The first open of a file in a process checks its pages (quick_check)
    // on a thread and a connection of its own: the file can be read at once,
    // and every change through any connection to it waits until the check
    // has passed. A change to a file the check found damaged is refused
    // (3343), so it is never written to, and later opens of it are refused.
    // A file not yet in write-ahead-log mode is checked before it is opened,
    // as switching it writes to it.
    DatabasePtr OpenDatabase(const QString& path, const ConnectionOptions& options = {});

    // Called before each change a connection makes, before its transaction
    // begins; a dao::Error it throws refuses the change. The program keeps
    // its backups through it.
    using WriteHook = std::function<void(Database&, WriteKind)>;
    void setBeforeWriteHook(WriteHook hook) { beforeWrite_ = std::move(hook); }

    // Forgets which files passed their check in this process, so that the
    // next open checks again.
    void forgetCheckedFiles();

    // A change that waits for work it depends on (the check of the file's
    // pages; a backup the before-write hook waits for) asks the connection's
    // progress handler, as a long statement does. Without one, the wait runs
    // inside this hook, which may install one: the program shows its "still
    // running" window through it.
    using WaitHook = std::function<void(Database&, const std::function<void()>& wait)>;
    void setWaitHook(WaitHook hook) { waitHook_ = std::move(hook); }

    // Told, on the thread that installed it (the program's event loop),
    // when the check of a file's pages finds the file damaged, unless a
    // change was refused for it already (which said so).
    using CheckFailedHook = std::function<void(const Error&)>;
    void setCheckFailedHook(CheckFailedHook hook);

private:
    friend class Database;
    Engine() = default;
    WriteHook beforeWrite_;
    WaitHook waitHook_;
};

inline Engine& DBEngine() { return Engine::instance(); }

// The values of one row for Database::AppendRows, one per field: null, a
// whole number or UTF-8 text. A row source sets them again for every row;
// the text keeps its room from row to row, so a long run allocates nothing.
class AppendRow {
public:
    struct Value {
        enum Kind { Null, Integer, Text } kind = Null;
        long long integer = 0;
        std::string text;
    };
    explicit AppendRow(int fields) : values_(size_t(fields)) {}
    void setNull(int field) { values_[size_t(field)].kind = Value::Null; }
    void setInteger(int field, long long value) {
        values_[size_t(field)].kind = Value::Integer;
        values_[size_t(field)].integer = value;
    }
    void setText(int field, const char* utf8, size_t bytes) {
        values_[size_t(field)].kind = Value::Text;
        values_[size_t(field)].text.assign(utf8, bytes);
    }
    const Value& value(int field) const { return values_[size_t(field)]; }
    int count() const { return int(values_.size()); }

private:
    std::vector<Value> values_;
};

// Gives Database::AppendRows its rows, one at a time.
class RowSource {
public:
    virtual ~RowSource() = default;
    // Sets the next row's values; false when there is none left. A
    // dao::Error thrown here ends the append with nothing added.
    virtual bool next(AppendRow& row) = 0;
    // Asked once every row was given: false rolls them all back.
    virtual bool keep() { return true; }
};

// A forward-only pass over the rows of a SELECT statement, each value as
// the engine holds it, without collecting the rows (Database::ReadRows).
class RowReader {
public:
    enum Type { Integer = 1, Real = 2, Text = 3, Blob = 4, Null = 5 };  // the engine's numbers
    RowReader(RowReader&& other) noexcept;
    RowReader& operator=(RowReader&&) = delete;
    RowReader(const RowReader&) = delete;
    ~RowReader();

    // Moves to the next row; false after the last.
    bool next();
    int columnCount() const;
    Type type(int column) const;
    long long integer(int column) const;
    // Text as stored (UTF-8); valid until the next call of next().
    std::string_view text(int column) const;

private:
    friend class Database;
    RowReader(std::shared_ptr<Database> db, sqlite3_stmt* stmt) : db_(std::move(db)), stmt_(stmt) {}
    std::shared_ptr<Database> db_;
    sqlite3_stmt* stmt_ = nullptr;
};

class Database : public std::enable_shared_from_this<Database> {
public:
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const QString& Name() const { return path_; }

    // A query definition. An empty name makes a temporary query that is never
    // stored in the file. A statement SQLite cannot parse is refused here
    // (3075 with SQLite's message, 3142 for a second statement); a statement
    // that names a missing table or field is refused only when it runs.
    QueryDefPtr CreateQueryDef(const QString& name, const QString& sql);

    // Opens a record set over a table name or a SELECT statement.
    // type 0 means the default: dbOpenTable for a plain table name,
    // dbOpenDynaset for a statement.
    RecordsetPtr OpenRecordset(const QString& source, int type = 0);

    // Runs an action statement (UPDATE, DELETE, INSERT, make-table, DDL) as
    // one all-or-nothing transaction, after the before-write hook. A
    // statement that only reads rows is 3065; rows a changing statement
    // returns (RETURNING) are dropped.
    void Execute(const QString& sql);

    // Runs a statement that changes the file and returns rows (UPDATE ...
    // RETURNING *) once, as Execute does, and gives its rows as a read-only
    // set that holds them: its Requery and sorts never run the statement
    // again. The rows are all or nothing with the change: rows too many to
    // hold (3035) undo it.
    RecordsetPtr ExecuteReturning(const QString& sql);

    // What the statement does, read by the engine: whether it changes the
    // file (whatever it returns) and whether it returns rows. A statement
    // that cannot run here throws as Execute would.
    StatementKind Classify(const QString& sql);

    // Rows changed by the latest Execute.
    long long RecordsAffected() const { return recordsAffected_; }

    // Adds the rows a source gives to a table, in one all-or-nothing
    // transaction: first the engine's before-write hook, as for an action
    // statement (so the program's backup comes first), then each row
    // through the table's own checks. A row the table refuses, a failure of
    // the source or a source that does not keep its rows leaves the table
    // as it was. expectedRows, when it is large beside the table, has the
    // table's indexes built once at the end instead of row by row (in the
    // same transaction). Returns the rows added.
    long long AppendRows(const QString& table, const QStringList& fields, RowSource& source,
                         long long expectedRows = 0);
    // The rows of a SELECT statement, read forward only.
    RowReader ReadRows(const QString& sql);

    void Close();
    bool isOpen() const { return db_ != nullptr; }

    // Writes a consistent copy of the whole database to a new file, read
    // through this connection (SQLite's backup API) in one read transaction,
    // and checks the copy with quick_check. begun, when given, is called
    // once the copy's moment is fixed: changes committed after it are not
    // in the copy. The progress handler is asked between steps of the copy
    // (false cancels it, 3059). An existing file at target is refused
    // (3010); a failed copy is removed.
    void Backup(const QString& target, const std::function<void()>& begun = {});

    // Waits for the check of the file's pages to pass, then runs the
    // engine's before-write hook; the data-access layer calls it before
    // each change.
    void willWrite(WriteKind kind);
    // Whether the check of the file's pages that this open started (if
    // any) has ended.
    bool pageCheckEnded() const;
    // Waits until done() holds, a few milliseconds at a time, asking the
    // progress handler between waits (see Engine::setWaitHook): false from
    // it ends the wait with 3059.
    void waitFor(const std::function<bool()>& done);

    // Cancels the statement running on this connection (callable from a
    // progress callback or from another thread); it ends with 3059.
    void Interrupt();
    // Called every few thousand engine steps while a statement runs, and
    // between the short sleeps of a wait for another program's lock; return
    // false to cancel the statement (it then ends with 3059).
    void setProgressHandler(std::function<bool()> handler);
    // Whether the connection is inside that handler: a statement of it is
    // running and has handed control to the program. Until the handler
    // returns, anything that would use the connection (a statement, a read
    // of a record set over it, Backup, Close) is refused with
    // err::ConnectionBusy; Interrupt still works.
    bool isBusy() const;

    // The raw connection, for the data-access layer itself and its tests.
    sqlite3* handle() const { return db_; }

private:
    friend class Engine;
    friend class QueryDef;
    friend class Recordset;
    Database(QString path, sqlite3* db, int busyTimeoutMs);

    void closeHandle();
    static int progressCallback(void* self);
    // Waits for another connection's lock up to the busy timeout, a few
    // milliseconds at a time, asking the progress handler between waits,
    // so that a wait shows and can be cancelled like a long statement.
    static int busyCallback(void* self, int count);
    // Whether a table or view of that name exists (any letter case); its
    // stored name in *actual, and whether it is a view in *isView.
    bool findTable(const QString& name, QString* actual = nullptr, bool* isView = nullptr) const;
    RecordsetPtr openStatement(const QString& source, const QString& sql, int type);
    // Execute and ExecuteReturning: the rows are kept when keepRows.
    RecordsetPtr runAction(const QString& sql, bool keepRows);

    QString path_;
    sqlite3* db_ = nullptr;
    long long recordsAffected_ = 0;
    std::function<bool()> progress_;
    int busyTimeoutMs_ = 0;
    std::int64_t busySince_ = 0;  // ms on a steady clock, when the current wait began
    // Counts the writes made through this connection, so that record sets
    // sharing it know when the values they hold may be stale.
    unsigned long long localChanges_ = 0;
    // The check of the file's pages, until it has passed.
    std::shared_ptr<detail::PageCheck> check_;
    bool pageCheckSkipped_ = false;  // opened without the check (checkPages false)
};

class QueryDef {
public:
    const QString& SQL() const { return sql_; }
    const QString& Name() const { return name_; }

    // Runs the statement as an action (see Database::Execute).
    void Execute();
    // Runs it once and holds the rows it returns (Database::ExecuteReturning).
    RecordsetPtr ExecuteReturning();
    // What it does (Database::Classify).
    StatementKind Kind();
    // Opens the statement's rows; type 0 means dbOpenDynaset. A statement
    // that changes the file is refused (3219): rows never write.
    RecordsetPtr OpenRecordset(int type = 0);

private:
    friend class Database;
    QueryDef(DatabasePtr db, QString name, QString sql);
    DatabasePtr db_;
    QString name_;
    QString sql_;
};

// A field of the current row of a record set.
class Field {
public:
    const QString& Name() const;
    QVariant Value() const;           // the current row's value (or the edit buffer's)
    void setValue(const QVariant& v); // needs Edit or AddNew first (3020 otherwise)
    int OrdinalPosition() const { return index_; }

private:
    friend class FieldList;
    Field(Recordset* rs, int index) : rs_(rs), index_(index) {}
    Recordset* rs_;
    int index_;
};

class FieldList {
public:
    int Count() const;
    Field Item(int index) const;            // 3265 when out of range
    Field Item(const QString& name) const;  // case-insensitive; 3265 when unknown
    Field operator[](int index) const { return Item(index); }
    Field operator[](const QString& name) const { return Item(name); }
    int indexOf(const QString& name) const; // -1 when unknown

private:
    friend class Recordset;
    explicit FieldList(Recordset* rs) : rs_(rs) {}
    Recordset* rs_;
};

// Why a record set is about to leave its current row.
enum class LeaveReason { Move, AddNew, Delete, Requery, Close };

// Notified by a record set around its moves and edits; the data control
// uses it to save bound values before the set leaves a row and to repaint
// after it moved.
class RecordsetObserver {
public:
    virtual ~RecordsetObserver() = default;
    // The set is about to leave its current row (move, AddNew, Delete,
    // Requery, Close). The observer may still write the row (Edit/Update).
    virtual void recordsetAboutToLeaveRow(Recordset&, LeaveReason) {}
    // A row became current (or the set has no current row any more).
    virtual void recordsetMoved(Recordset&) {}
    // Rows were added, deleted or rewritten, or the whole set was re-run.
    virtual void recordsetRowsChanged(Recordset&) {}
};

// A record set. A dynaset (and a table-type set) is a key set: the row ids
// of its rows in its order, with values read on demand; it is updatable when
// its rows come straight from one table. A snapshot, or a set over a
// statement that is not one plain table, is read-only (3027 on a write).
// Opening a set never changes the file: a statement that would is refused.
class Recordset : public std::enable_shared_from_this<Recordset> {
public:
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    int Type() const { return type_; }
    bool Updatable() const;
    const QString& Source() const { return source_; }
    DatabasePtr database() const { return db_; }

    // rs->Fields().Count(), rs->Fields("Time").Value(), rs->Fields(0).Name()
    FieldList Fields() { return FieldList(this); }
    Field Fields(int index) { return FieldList(this).Item(index); }
    Field Fields(const QString& name) { return FieldList(this).Item(name); }

    // Navigation. Moving before the first row sets BOF, past the last EOF.
    void MoveFirst();
    void MoveLast();
    void MoveNext();
    void MovePrevious();
    void Move(long long rows);
    bool BOF() const;
    // The set's EOF property. The trailing underscore keeps the C library's
    // EOF macro, which every file including <cstdio> has, out of the name.
    bool EOF_() const;
    // 0-based position of the current row; -1 with no current row (BOF,
    // EOF, an empty set, or a new row being added).
    long long AbsolutePosition() const;
    void setAbsolutePosition(long long pos);  // 3001-like 3219 when out of range
    // The rows accessed so far. A sorted dynaset (OpenRecordset after
    // setSort) collects the row ids of its first rows when it opens and the
    // rest when something needs them (MoveLast, a move or a position past
    // them, a bookmark not among them, Clone, AddNew, addRow, fetchAllKeys);
    // until then it counts the rows collected. Every other set counts all.
    long long RecordCount() const;
    // Whether every row of the set has been collected.
    bool keysComplete() const;
    // Collects every row of the set. When the rows collected before are no
    // longer the first ones (the data changed meanwhile), the current row
    // keeps its place and the observers hear recordsetRowsChanged.
    void fetchAllKeys();
    // An opaque handle of the current row (its row id for key sets).
    QByteArray Bookmark() const;
    void setBookmark(const QByteArray& bookmark);
    // The bookmark of the row most recently added or changed through this set.
    QByteArray LastModified() const;

    // Editing. AddNew starts an empty edit buffer that becomes a new row at
    // Update, joining the end of the set; the row current before AddNew is
    // current again afterwards. Edit copies the current row into the buffer
    // (while an edit or an add is already in progress it keeps that buffer,
    // so an observer may call Edit, set fields and Update at any time).
    // Update writes the buffer; CancelUpdate drops it. Moving, Requery and
    // Close drop an unsaved buffer after telling the observers.
    //
    // Update of an edited row writes only the fields set since Edit, and
    // only while they still hold the values they held when Edit read them:
    // when another set, window or program changed one of them meanwhile,
    // nothing is written and Update throws 3197 naming the row; the set then
    // reads the row as stored, and the edit stays open with those stored
    // values as the ones to compare with, so that a second Update replaces
    // them. A row deleted meanwhile is 3167.
    void AddNew();
    void Edit();
    // Edit, comparing at Update with values read earlier instead of the row
    // as it is now: the row as a window showed it when the user began
    // changing it, one value per field.
    void Edit(const std::vector<QVariant>& asRead);
    void Update();
    void CancelUpdate();
    int EditMode() const { return editMode_; }
    // Deletes the current row; the position stays on the deleted row
    // (neither BOF nor EOF) until the next move.
    void Delete();

    // Runs the set's statement again (sort included); the first row becomes
    // current. The rows a changing statement returned (ExecuteReturning)
    // are kept as they are: the first of them becomes current.
    void Requery();
    // Whether the set holds rows a changing statement returned, which are
    // never read again.
    bool isFixed() const;

    // The order for the next OpenRecordset. Its text form ("[Time]",
    // "[Date] desc", sortorder.h) is read here (3075 when it cannot be);
    // the fields are looked up when the set is opened.
    QString Sort() const { return sortText(sort_); }
    void setSort(const QString& expression) { sort_ = parseSort(expression); }
    const SortOrder& sortOrder() const { return sort_; }
    void setSort(SortOrder order) { sort_ = std::move(order); }
    // The order this set was opened in by a sort (empty: its statement's own).
    const SortOrder& sortedBy() const { return sortedBy_; }
    // A new set of the given type (0: this set's type) over exactly the rows
    // of this one, ordered by Sort (a field the set lacks is 3265); without
    // a Sort, the statement run again. Text sorts without regard to case,
    // rows that sort alike keep an order of their own. A key set over a
    // whole statement runs it again in the new order (a sorted set of the
    // whole table shows its first rows at once, see RecordCount); one whose
    // statement picks some rows (LIMIT) keeps those rows; a set that holds
    // its rows reorders them in memory, and Requery sorts them again.
    RecordsetPtr OpenRecordset(int type = 0);

    // The same rows with a position of its own (positioned at its first row).
    RecordsetPtr Clone();

    void Close();
    bool isOpen() const;

    // Random access for views (the data-bound grid): values of the row at a
    // 0-based position, without moving the current row. A row deleted
    // meanwhile reads as empty values and rowDeleted() is true.
    QVariant valueAt(long long pos, int field) const;
    bool rowDeleted(long long pos) const;
    // Writes the given fields of the row at pos in one transaction. Each
    // field listed in expected is written only while it still holds that
    // value (the value the caller read, and showed, before the user changed
    // it); otherwise nothing is written and the write is 3197, as Update's.
    // Fields left out of expected are not compared.
    void updateRow(long long pos, const std::vector<std::pair<int, QVariant>>& values,
                   const std::vector<std::pair<int, QVariant>>& expected = {});
    void deleteRow(long long pos);
    // Deletes the rows at the given positions in one transaction: all of
    // them or, on a failure, none.
    void deleteRows(std::vector<long long> positions);
    // The bookmark of the row at a position, and the position of a bookmark
    // (-1 when the set has no such row). A sorted set that has collected
    // its first rows only collects the rest to look, unless collectRest is
    // false.
    QByteArray bookmarkAt(long long pos) const;
    long long findBookmark(const QByteArray& bookmark, bool collectRest = true);
    // Why the set cannot be written, in a few words for the windows to show
    // ("computed rows", "a snapshot", "read-only file"; "" when it can be).
    QString readOnlyReason() const;
    // Adds a row at the end; returns its position.
    long long addRow(const std::vector<std::pair<int, QVariant>>& values);

    void addObserver(RecordsetObserver* observer);
    void removeObserver(RecordsetObserver* observer);

    // Field names in order (what Fields exposes).
    const QStringList& fieldNames() const { return names_; }

    struct Impl;

private:
    friend class Database;
    friend class QueryDef;
    friend class Field;
    friend class FieldList;
    Recordset(DatabasePtr db, QString source, int type);
    RecordsetPtr openSorted(int type);

    DatabasePtr db_;
    QString source_;
    int type_ = dbOpenDynaset;
    SortOrder sort_;
    SortOrder sortedBy_;
    QStringList names_;
    int editMode_ = dbEditNone;
    std::unique_ptr<Impl> d_;
};

}  // namespace dao

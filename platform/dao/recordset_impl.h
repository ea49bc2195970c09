// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The inside of a record set: a key set of row ids (or, for rows that do
// not come straight from one table, the rows themselves), the current
// position, the edit buffer and a small cache of values read on demand.

#include "dao.h"
#include "rows.h"
#include "sqlite_util.h"
#include "sqltext.h"

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace dao {

struct Recordset::Impl {
    explicit Impl(Recordset* owner) : q(owner) {}

    Recordset* q;
    QString sql;  // the statement the set runs (sort included), in SQLite's dialect

    // How the set is read and written.
    bool keyed = false;      // a key set over one table
    bool updatable = false;  // rows come straight from one table
    sql::SelectShape shape;  // of sql, when keyed
    QString tableName;       // the table written to
    QStringList origins;     // the table's column behind each field
    std::vector<bool> dateField;  // declared as a date: dates are stored as ISO text
    std::vector<bool> textField;  // declared as text: sorts without regard to case
    QString keyTail;         // what follows FROM in keySql: the rows and their own order
    bool keysWithList = false;  // keySql names the select list (its aliases may be sorted by)
    QString keySql;          // collects the row ids in the set's order
    int keyColumn = 0;       // the row id's column in keySql
    // A set that holds its rows: the order they are sorted in after each run.
    SortOrder heldOrder;
    QString fetchSql;        // the fields of one row by its row id

    // The rows: row ids (keyed) or values (materialised). Clones share them
    // until one of them changes its rows.
    std::shared_ptr<std::vector<sqlite3_int64>> keys;
    std::shared_ptr<Rows> rows;
    // The rows a statement that changed the file returned: run() never
    // runs that statement again, it only goes back to the first row.
    bool fixed = false;

    // A sorted set collects the row ids of its first rows when it runs and
    // the rest, in one go, when something needs them (completeKeys).
    static constexpr int kFirstKeys = 256;
    // The most a set that holds its rows themselves may take.
    static constexpr size_t kMaxHeldBytes = size_t(256) << 20;
    bool lazy = false;          // run() collects the first rows only
    bool keysComplete = true;   // keys holds every row id of the set

    // Position: -1 before the first row (BOF), size() past the last (EOF).
    long long pos = -1;
    bool onDeleted = false;  // the current row was deleted; pos is the row that followed it
    long long posBeforeAdd = -1;
    bool onDeletedBeforeAdd = false;
    std::vector<QVariant> buffer;
    std::vector<bool> dirty;
    std::vector<QVariant> asRead;  // the edited row's values as read, for Update to compare with
    sqlite3_int64 editKey = 0;
    QByteArray lastModified;

    // Values read on demand, a few pages of rows at a time.
    struct Page {
        long long first = 0;
        std::vector<std::vector<QVariant>> values;
        std::vector<char> missing;  // the row is gone from the table
    };
    static constexpr int kPageRows = 48;
    static constexpr size_t kPages = 8;
    mutable std::deque<Page> pages;
    mutable long long seenDataVersion = -1;
    mutable unsigned long long seenLocalChanges = 0;
    mutable detail::Statement fetchStmt;
    mutable detail::Statement versionStmt;

    std::vector<RecordsetObserver*> observers;
    int leaving = 0;  // inside recordsetAboutToLeaveRow notifications
    bool closed = false;

    // Opens the set over a statement (already in SQLite's dialect).
    void open(const QString& statement);
    // Makes the set the fixed rows a changing statement returned.
    void holdReturned(const QString& statement, const QStringList& names, std::shared_ptr<Rows> returned);
    // Steps a statement to its end and holds every row it gives; past
    // kMaxHeldBytes it stops with 3035.
    static std::shared_ptr<Rows> holdRows(detail::Statement& s);
    // Runs the statement again and collects its rows.
    void run();
    // Collects every row id of a set that holds only its first ones,
    // replacing the partial list. When the rows collected before are not
    // the first rows any more (the data changed meanwhile), the current row
    // keeps its place by its row id and the observers hear rowsChanged.
    void completeKeys();
    void copyFrom(const Impl& other);

    sqlite3* handle() const;
    long long size() const { return keyed ? (long long)keys->size() : (long long)rows->size(); }
    bool hasCurrent() const { return !onDeleted && pos >= 0 && pos < size(); }
    void checkOpen() const;
    void checkUpdatable() const;

    // Values of a row at a position; nullptr when it was deleted meanwhile.
    const std::vector<QVariant>* rowAt(long long p) const;
    void dropCache() const { pages.clear(); }
    void refreshIfStale() const;

    // The position of a bookmark's row among the rows collected (-1: none).
    long long positionOf(sqlite3_int64 key) const;
    std::vector<sqlite3_int64>& ownKeys();
    QVariant prepareValue(int field, const QVariant& v) const;
    // Writes the values while the fields in expected still hold what they
    // list (3197 otherwise, 3167 for a row that is gone).
    void writeRow(sqlite3_int64 key, const std::vector<std::pair<int, QVariant>>& values,
                  const std::vector<std::pair<int, QVariant>>& expected = {});
    // The refusal of a write whose fields no longer hold the values read.
    Error conflict(sqlite3_int64 key, const std::vector<std::pair<int, QVariant>>& expected) const;
    sqlite3_int64 insertRow(const std::vector<std::pair<int, QVariant>>& values);
    void removeAt(long long p) { removeRows({p}); }
    // Deletes the rows at the positions (descending, distinct) in one transaction.
    void removeRows(const std::vector<long long>& descending);

    // Sorting (OpenRecordset with a Sort). The field of each key (3265 for
    // one the set lacks).
    std::vector<int> sortFields(const SortOrder& order) const;
    // An ORDER BY term for each key over the given column references.
    QString orderTerms(const SortOrder& order, const std::vector<int>& fields, const QStringList& refs) const;
    // A key set that keeps its rows: its statement wrapped and sorted; the
    // row ids it returns are checked against the ones held, and sorted in
    // memory when they are not the same rows.
    RecordsetPtr sortKeySet(const SortOrder& order, int type);
    // The positions 0 .. count-1 sorted (stable) by compare, asking the
    // progress handler now and then: a cancel throws 3059.
    std::vector<size_t> sortedPositions(size_t count, const std::function<int(size_t, size_t)>& compare) const;
    // The positions of held rows in the given order.
    std::vector<size_t> heldPositions(const std::vector<std::vector<QVariant>>& held, const SortOrder& order) const;
    void dropEdit();

    // Observer notifications.
    void aboutToLeave(LeaveReason reason);
    void moved();
    void rowsChanged();
};

}  // namespace dao

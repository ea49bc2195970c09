// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A table model over a dao::Recordset for the data-bound grid.
//
// Lazy: it keeps no per-row data. Values are read through
// Recordset::valueAt in pages around the rows the view asks for, held in a
// small bounded cache (the record set keeps pages of its own). Edits to a
// row are held in a buffer until the row is written (commitRow), so a
// half-edited row is never in the file.
//
// A sorted set that has collected only its first rows shows those; the view
// asks for the rest (canFetchMore/fetchMore) when it scrolls to their end.
// The new-row line appears once every row is shown, so a row is never
// added in the middle of the order; while a new row is typed it sits above
// a new-row line of its own.
//
// Nothing typed is dropped unless the user says so: edits the set refused
// stay in their row, marked, until they are written or dropped.

#include "dao/dao.h"

#include <QAbstractTableModel>
#include <QCache>
#include <QMap>
#include <QStringList>
#include <QVector>

#include <functional>
#include <vector>

namespace controls {

class RecordsetModel : public QAbstractTableModel, public dao::RecordsetObserver {
    Q_OBJECT
public:
    // A column of the grid: its heading and the name of its bound field.
    struct Column {
        QString caption;
        QString dataField;
    };

    explicit RecordsetModel(QObject* parent = nullptr);
    ~RecordsetModel() override;

    // The columns the grid was designed with. When the set lacks one of their
    // fields, the set's own fields are shown instead, under their own names.
    void setBoundColumns(const QVector<Column>& columns);
    const QVector<Column>& boundColumns() const { return bound_; }

    // Binds another set (or none). Pending edits of the old set are dropped;
    // write them first with commitRow.
    void setRecordset(dao::RecordsetPtr recordset);
    dao::RecordsetPtr recordset() const { return rs_; }

    // What a column shows: its heading and the index of its field in the set.
    QString columnCaption(int column) const;
    int columnField(int column) const;
    // True when the set's fields did not match the bound columns.
    bool showsOwnFields() const { return ownFields_; }

    void setAllowAddNew(bool allow);
    bool allowAddNew() const { return allowAddNew_; }
    void setAllowUpdate(bool allow) { allowUpdate_ = allow; }
    bool allowUpdate() const { return allowUpdate_; }

    // Rows of the set (without the new row being typed and the new-row line).
    long long recordCount() const { return rows_; }
    // Index of the new-row line, or -1 when there is none.
    int newRowLine() const;
    bool isNewRowLine(int row) const { return row >= 0 && row == newRowLine(); }
    // The line of a new row being typed (above the new-row line).
    bool isNewRow(int row) const { return newRowOpen_ && row == rows_; }

    // The row being edited (-1 for none): it holds unwritten values, or its
    // editor was typed into.
    int pendingRow() const { return pendingRow_; }
    bool hasPendingEdits() const { return pendingRow_ >= 0; }
    // Whether it holds values typed into it (not only an editor typed into).
    bool hasPendingValues() const { return !pending_.isEmpty(); }

    // The user began to type into a cell of the row: the row counts as being
    // edited from now on (the record selector shows the pencil); on the
    // new-row line a new row opens above a fresh new-row line.
    void beginEdit(int row);
    // The line the record selector marks as current (-1 for none).
    void setCurrentLine(int row);

    // Runs each write and delete of the model (a hook for the view, which
    // shows a "still running" window meanwhile); by default it just runs.
    std::function<void(const std::function<void()>&)> aroundWrite;

    // Checks a value typed into a cell. Returns an empty text when it is
    // acceptable, otherwise the message to show. *converted receives the
    // value to store (a null QVariant for an empty text).
    QString validate(const QModelIndex& index, const QVariant& value, QVariant* converted) const;

    // Hooks the grid installs: asked just before a changed or new row is
    // written (return true to cancel), and told when the set refused a write.
    std::function<bool()> beforeUpdate;
    std::function<void(const dao::Error&)> writeFailed;

    // Writes the pending row: asks beforeUpdate, then writes only the changed
    // fields. Returns true when the row was written (or nothing was
    // pending). A cancel drops the edits. When the set refuses the write
    // (any dao::Error), the edits stay in the row, marked, its other cells
    // show the stored values, and writeFailed is told.
    bool commitRow();
    // Drops the pending edits.
    void revertRow();
    // Deletes the rows at the given lines in one write (the new-row line and
    // a new row being typed only drop what was typed). Throws dao::Error
    // when the set refuses; then nothing is deleted.
    void deleteRows(QList<int> rows);
    void deleteRow(int row) { deleteRows({row}); }

    // Re-reads everything (after an outside change of the set). Pending
    // edits stay with their row, wherever it is now.
    void reload();

    // QAbstractItemModel
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool submit() override;  // writes nothing: commitRow does
    // More rows to show: the set has not collected them all, or collected
    // them without this model. Not while the model writes or announces a
    // change. Pending edits stay with their row.
    bool canFetchMore(const QModelIndex& parent) const override;
    // Collects every row of the set and shows them.
    void fetchMore(const QModelIndex& parent) override;

    // The cache's budget in bytes and what it holds now (for measurements).
    static constexpr int cacheBudget = 2 * 1024 * 1024;
    int cachedBytes() const { return cache_.totalCost(); }

protected:
    void recordsetAboutToLeaveRow(dao::Recordset& rs, dao::LeaveReason reason) override;
    void recordsetRowsChanged(dao::Recordset& rs) override;

private:
    static constexpr int pageRows = 64;
    struct Page {
        QVector<QVariant> values;  // pageRows x fields, row-major
        QVector<bool> deleted;
    };

    void resolveColumns();
    const Page* page(long long pageIndex) const;
    // Whether the set's connection is running a statement (see the .cpp).
    bool setBusy() const;
    QVariant storedValue(int row, int field) const;
    bool storedRowDeleted(int row) const;
    void clearCache();
    void emitRowChanged(int row);
    void readRow(int row);  // into pendingRead_
    void detach();
    void readCount();
    void runWrite(const std::function<void()>& write);
    void openNewRow();
    void closeNewRow();
    void clearPending();
    void markPending(int row);
    // The set position a line of the view shows while deleted rows are
    // being announced (-1: a deleted row).
    long long setPosition(int row) const;

    dao::RecordsetPtr rs_;
    QVector<Column> bound_;
    QVector<Column> shown_;
    QVector<int> fieldOf_;  // column -> field index in the set, -1 when missing
    int fieldCount_ = 0;
    bool ownFields_ = false;
    bool allowAddNew_ = true;
    bool allowUpdate_ = true;
    bool updatable_ = false;
    long long rows_ = 0;
    bool complete_ = true;  // rows_ is every row of the set
    bool selfWrite_ = false;
    bool fetching_ = false;
    bool changedWhileFetching_ = false;
    // While the model announces a change of its own (a reset, rows added,
    // deleted or fetched) it offers nothing to fetch: a listener that
    // fetched from a signal of the change (Qt's model checker does at every
    // signal) would start another change inside it.
    int announcing_ = 0;
    // Rows the set has deleted while the view is told they go (ascending),
    // and the first line of those already announced (the view has dropped
    // every deleted row from there on).
    std::vector<long long> removing_;
    long long removingFrom_ = 0;

    int pendingRow_ = -1;
    QMap<int, QVariant> pending_;  // column -> new value
    // The pending row as the grid showed it when the user began changing
    // it (column -> value): a write changes only fields that still hold it.
    QMap<int, QVariant> pendingRead_;
    QByteArray pendingMark_;       // the bookmark of the pending row (not of a new row)
    QString refusal_;              // why the set refused them ("" when it did not)
    bool newRowOpen_ = false;      // a new row is being typed at line rows_
    int currentLine_ = -1;

    mutable QCache<long long, Page> cache_;
    mutable bool repaintAfterRun_ = false;  // rows went unread while a statement ran
};

}  // namespace controls

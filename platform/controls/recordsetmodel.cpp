// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordsetmodel.h"

#include "ui/statementprogress.h"

#include <QDate>
#include <QRegularExpression>

#include <optional>
#include <utility>

namespace controls {

namespace {

// What a cached value costs: the variant, and for text its own block
// (header, UTF-16 characters and terminator, rounded as malloc rounds).
int costOf(const QVariant& v) {
    auto block = [](qsizetype bytes) { return int(((bytes + 16 + 8 + 15) / 16) * 16); };
    int cost = int(sizeof(QVariant));
    if (v.typeId() == QMetaType::QString) cost += block((v.toString().size() + 1) * 2);
    else if (v.typeId() == QMetaType::QByteArray) cost += block(v.toByteArray().size() + 1);
    return cost;
}

// A cell shows at most this much of a value: more than any screen's width,
// and laying out a value of megabytes took seconds at every paint. The
// cell looks the same (the rest is cut off at its edge); editing gets the
// whole value.
constexpr qsizetype kShownCharacters = 4096;

bool isDateField(const QString& name) { return name.compare(QLatin1String("Date"), Qt::CaseInsensitive) == 0; }
bool isTimeField(const QString& name) { return name.compare(QLatin1String("Time"), Qt::CaseInsensitive) == 0; }

// Marks the model as announcing a change of its own, from the write or the
// fetch that causes it until its last signal has gone out.
struct Announcing {
    int& depth;
    explicit Announcing(int& d) : depth(d) { ++depth; }
    ~Announcing() { --depth; }
    Announcing(const Announcing&) = delete;
    Announcing& operator=(const Announcing&) = delete;
};

}  // namespace

RecordsetModel::RecordsetModel(QObject* parent) : QAbstractTableModel(parent) {
    cache_.setMaxCost(cacheBudget);
}

RecordsetModel::~RecordsetModel() { detach(); }

void RecordsetModel::detach() {
    if (rs_) rs_->removeObserver(this);
}

void RecordsetModel::setBoundColumns(const QVector<Column>& columns) {
    Announcing announcing(announcing_);
    beginResetModel();
    bound_ = columns;
    pending_.clear();
    pendingRow_ = -1;
    resolveColumns();
    clearCache();
    endResetModel();
}

void RecordsetModel::setRecordset(dao::RecordsetPtr recordset) {
    Announcing announcing(announcing_);
    beginResetModel();
    detach();
    rs_ = std::move(recordset);
    pending_.clear();
    pendingRow_ = -1;
    clearCache();
    updatable_ = false;
    if (rs_) rs_->addObserver(this);
    readCount();
    resolveColumns();
    endResetModel();
}

void RecordsetModel::readCount() {
    rows_ = 0;
    complete_ = true;
    if (!rs_) return;
    try {
        rows_ = rs_->RecordCount();
        complete_ = rs_->keysComplete();
        updatable_ = rs_->Updatable();
    } catch (const dao::Error&) {
        rows_ = 0;  // a closed set shows no rows
        complete_ = true;
    }
}

void RecordsetModel::resolveColumns() {
    shown_.clear();
    fieldOf_.clear();
    ownFields_ = false;
    fieldCount_ = 0;
    if (!rs_) {
        shown_ = bound_;
        fieldOf_.fill(-1, bound_.size());
        return;
    }
    const QStringList& names = rs_->fieldNames();
    fieldCount_ = int(names.size());
    auto indexOf = [&names](const QString& field) {
        for (int i = 0; i < names.size(); ++i)
            if (names[i].compare(field, Qt::CaseInsensitive) == 0) return i;
        return -1;
    };
    bool allFound = !bound_.isEmpty();
    for (const Column& c : bound_) {
        int f = indexOf(c.dataField);
        if (f < 0) allFound = false;
        fieldOf_.append(f);
    }
    if (allFound) {
        shown_ = bound_;
        return;
    }
    // The set's fields are not the ones the grid was laid out for: show the
    // set's own fields under their own names, so that no row is invisible.
    ownFields_ = true;
    fieldOf_.clear();
    for (int i = 0; i < names.size(); ++i) {
        shown_.append(Column{names[i], names[i]});
        fieldOf_.append(i);
    }
}

QString RecordsetModel::columnCaption(int column) const {
    return column >= 0 && column < shown_.size() ? shown_[column].caption : QString();
}

int RecordsetModel::columnField(int column) const {
    return column >= 0 && column < fieldOf_.size() ? fieldOf_[column] : -1;
}

void RecordsetModel::setAllowAddNew(bool allow) {
    if (allow == allowAddNew_) return;
    Announcing announcing(announcing_);
    beginResetModel();
    allowAddNew_ = allow;
    if (pendingRow_ >= 0 && pendingRow_ >= rows_) {
        pending_.clear();
        pendingRow_ = -1;
    }
    endResetModel();
}

int RecordsetModel::newRowLine() const {
    return (allowAddNew_ && rs_ && updatable_ && complete_) ? int(rows_) : -1;
}

int RecordsetModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return int(rows_) + (newRowLine() >= 0 ? 1 : 0);
}

int RecordsetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(shown_.size());
}

void RecordsetModel::clearCache() { cache_.clear(); }

const RecordsetModel::Page* RecordsetModel::page(long long pageIndex) const {
    if (Page* p = cache_.object(pageIndex)) return p;
    auto* p = new Page;
    const long long first = pageIndex * pageRows;
    const long long count = std::min<long long>(pageRows, rows_ - first);
    const int cols = int(shown_.size());
    p->values.resize(std::max<long long>(count, 0) * cols);
    p->deleted.resize(std::max<long long>(count, 0));
    int cost = int(sizeof(Page)) + 128 + int(p->deleted.size());
    try {
        for (long long r = 0; r < count; ++r) {
            p->deleted[r] = rs_->rowDeleted(first + r);
            for (int c = 0; c < cols; ++c) {
                const int f = fieldOf_[c];
                if (f < 0) continue;
                QVariant v = rs_->valueAt(first + r, f);
                cost += costOf(v);
                p->values[r * cols + c] = std::move(v);
            }
        }
    } catch (const dao::Error&) {
        // A set that can no longer be read (closed, file gone) shows empty
        // cells; painting must never raise an error.
    }
    cache_.insert(pageIndex, p, std::min(cost, cacheBudget));
    return cache_.object(pageIndex);
}

QVariant RecordsetModel::storedValue(int row, int column) const {
    if (!rs_ || row < 0 || row >= rows_) return {};
    if (removedRow_ >= 0) {
        // The set has dropped the row, the view is being told: the rows
        // after it sit one place higher in the set already.
        const int f = columnField(column);
        if (row == removedRow_ || f < 0) return {};
        try {
            return rs_->valueAt(row > removedRow_ ? row - 1 : row, f);
        } catch (const dao::Error&) {
            return {};
        }
    }
    const Page* p = page(row / pageRows);
    if (!p) return {};
    const int i = (row % pageRows) * int(shown_.size()) + column;
    return i < p->values.size() ? p->values[i] : QVariant();
}

bool RecordsetModel::storedRowDeleted(int row) const {
    if (!rs_ || row < 0 || row >= rows_) return false;
    if (removedRow_ >= 0) {
        if (row == removedRow_) return true;
        try {
            return rs_->rowDeleted(row > removedRow_ ? row - 1 : row);
        } catch (const dao::Error&) {
            return false;
        }
    }
    const Page* p = page(row / pageRows);
    const int i = row % pageRows;
    return p && i < p->deleted.size() && p->deleted[i];
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() >= shown_.size()) return {};
    const int row = index.row();
    const int column = index.column();
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        if (row == pendingRow_ && pending_.contains(column)) return pending_.value(column);
        if (isNewRowLine(row)) return {};
        // While a statement runs on the set's connection, the set cannot be
        // read (ui/statementprogress.h): rows not held show empty until it
        // has ended, and then the view repaints.
        if (!cache_.contains(row / pageRows) && rs_ && rs_->database()->isBusy()) {
            if (!std::exchange(repaintAfterRun_, true))
                ui::StatementProgress::afterRunning(const_cast<RecordsetModel*>(this), [this] {
                    repaintAfterRun_ = false;
                    auto* self = const_cast<RecordsetModel*>(this);
                    if (rowCount() > 0 && columnCount() > 0)
                        emit self->dataChanged(self->index(0, 0), self->index(rowCount() - 1, columnCount() - 1));
                });
            return {};
        }
        if (role == Qt::DisplayRole && storedRowDeleted(row)) return QStringLiteral("#Deleted");
        QVariant v = storedValue(row, column);
        if (v.typeId() == QMetaType::QDate) return v.toDate().toString(Qt::ISODate);
        if (v.typeId() == QMetaType::QDateTime) return v.toDateTime().date().toString(Qt::ISODate);
        if (role == Qt::DisplayRole && v.typeId() == QMetaType::QString && v.toString().size() > kShownCharacters)
            return v.toString().left(kShownCharacters);
        if (role == Qt::DisplayRole && v.typeId() == QMetaType::QByteArray && v.toByteArray().size() > kShownCharacters)
            return v.toByteArray().left(kShownCharacters);
        return v;
    }
    if (role == Qt::TextAlignmentRole) {
        QVariant v = data(index, Qt::EditRole);
        const int t = v.typeId();
        if (t == QMetaType::LongLong || t == QMetaType::Int || t == QMetaType::Double)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) return columnCaption(section);
    // The record selectors: a pencil on a row being edited, a star on the
    // new-row line.
    if (section == pendingRow_) return QString(QChar(0x270E));
    if (isNewRowLine(section)) return QStringLiteral("*");
    return QString();
}

Qt::ItemFlags RecordsetModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (columnField(index.column()) < 0) return f;
    if (isNewRowLine(index.row()) || (allowUpdate_ && index.row() < rows_))
        f |= Qt::ItemIsEditable;
    return f;
}

QString RecordsetModel::validate(const QModelIndex& index, const QVariant& value, QVariant* converted) const {
    QVariant result;
    const QString field = shown_.value(index.column()).dataField;
    if (value.typeId() == QMetaType::QDate) {
        result = value.toDate().toString(Qt::ISODate);
    } else if (!value.isNull() && value.typeId() != QMetaType::QString) {
        result = value;
    } else {
        const QString text = value.toString().trimmed();
        if (text.isEmpty()) {
            result = QVariant();  // an empty cell stores no value
        } else if (isDateField(field)) {
            static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
            const QDate d = QDate::fromString(text, Qt::ISODate);
            if (!iso.match(text).hasMatch() || !d.isValid())
                return QStringLiteral("\"%1\" is not a date.\n\nType the date as YYYY-MM-DD, for example 2024-05-31.")
                    .arg(text);
            result = text;
        } else if (isTimeField(field)) {
            static const QRegularExpression digits(QStringLiteral("^\\d{1,9}$"));
            if (!digits.match(text).hasMatch())
                return QStringLiteral("\"%1\" is not a duration.\n\nType the time as a whole number of minutes, for example 45.")
                    .arg(text);
            result = text.toLongLong();
        } else {
            result = value.toString();  // text is stored as typed
        }
    }
    if (converted) *converted = result;
    return {};
}

bool RecordsetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable)) return false;
    QVariant v;
    if (!validate(index, value, &v).isEmpty()) return false;
    const int row = index.row();
    if (pendingRow_ >= 0 && pendingRow_ != row) commitRow();
    if (pendingRow_ < 0 && !isNewRowLine(row)) {
        const QVariant stored = storedValue(row, index.column());
        if (stored == v && stored.isNull() == v.isNull()) return true;  // nothing changed
        readRow(row);
    }
    pendingRow_ = row;
    pending_[index.column()] = v;
    emitRowChanged(row);
    return true;
}

void RecordsetModel::readRow(int row) {
    pendingRead_.clear();
    for (int c = 0; c < int(shown_.size()); ++c) pendingRead_[c] = storedValue(row, c);
}

void RecordsetModel::emitRowChanged(int row) {
    if (row < 0 || row >= rowCount() || shown_.isEmpty()) return;
    emit dataChanged(index(row, 0), index(row, int(shown_.size()) - 1));
    emit headerDataChanged(Qt::Vertical, row, row);
}

void RecordsetModel::revertRow() {
    if (pendingRow_ < 0) return;
    const int row = pendingRow_;
    pending_.clear();
    pendingRow_ = -1;
    emitRowChanged(row);
}

bool RecordsetModel::commitRow() {
    if (pendingRow_ < 0 || !rs_) return true;
    const int row = pendingRow_;
    if (beforeUpdate && beforeUpdate()) {
        revertRow();
        return false;
    }
    if (pendingRow_ != row) return true;  // written or dropped meanwhile
    std::vector<std::pair<int, QVariant>> values, expected;
    for (auto it = pending_.cbegin(); it != pending_.cend(); ++it) {
        const int f = columnField(it.key());
        if (f >= 0) values.emplace_back(f, it.value());
        if (f >= 0) expected.emplace_back(f, pendingRead_.value(it.key()));
    }
    const bool adding = isNewRowLine(row);
    std::optional<Announcing> announcing;
    if (adding) announcing.emplace(announcing_);  // until the row is shown
    selfWrite_ = true;
    try {
        if (adding) rs_->addRow(values);
        else rs_->updateRow(row, values, expected);
    } catch (const dao::Error& e) {
        selfWrite_ = false;
        announcing.reset();
        cache_.remove(row / pageRows);
        // Changed elsewhere: the stored values are the ones to replace now.
        if (!adding && e.Number() == dao::err::WriteConflict) readRow(row);
        revertRow();
        if (writeFailed) writeFailed(e);
        return false;
    }
    selfWrite_ = false;
    pending_.clear();
    pendingRow_ = -1;
    if (adding) {
        long long count = rows_ + 1;
        try {
            count = rs_->RecordCount();
        } catch (const dao::Error&) {
        }
        if (count > rows_) {
            beginInsertRows(QModelIndex(), int(rows_), int(count) - 1);
            // The last page may have been read again, short, while the rows
            // were announced.
            cache_.remove(rows_ / pageRows);
            rows_ = count;
            endInsertRows();
        }
        announcing.reset();
        emitRowChanged(int(rows_));  // the new-row line is empty again
        emitRowChanged(row);
    } else {
        cache_.remove(row / pageRows);
        emitRowChanged(row);
    }
    return true;
}

void RecordsetModel::deleteRow(int row) {
    if (!rs_ || row < 0) return;
    if (isNewRowLine(row)) {
        revertRow();
        return;
    }
    if (row >= rows_) return;
    if (pendingRow_ == row) revertRow();
    Announcing announcing(announcing_);
    selfWrite_ = true;
    try {
        rs_->deleteRow(row);
    } catch (...) {
        selfWrite_ = false;
        cache_.remove(row / pageRows);
        emitRowChanged(row);
        throw;
    }
    selfWrite_ = false;
    long long count = rows_;
    try {
        count = rs_->RecordCount();
    } catch (const dao::Error&) {
    }
    clearCache();
    if (count == rows_ - 1) {
        removedRow_ = row;
        beginRemoveRows(QModelIndex(), row, row);
        removedRow_ = -1;
        clearCache();  // pages may have been read while the row was announced
        rows_ = count;
        if (pendingRow_ > row) --pendingRow_;
        endRemoveRows();
    } else if (count == rows_) {
        emitRowChanged(row);  // the set keeps a deleted row's place
    } else {
        reload();
    }
}

void RecordsetModel::reload() {
    Announcing announcing(announcing_);
    beginResetModel();
    pending_.clear();
    pendingRow_ = -1;
    clearCache();
    readCount();
    endResetModel();
}

bool RecordsetModel::canFetchMore(const QModelIndex& parent) const {
    if (parent.isValid() || !rs_ || pendingRow_ >= 0 || fetching_ || announcing_ > 0) return false;
    if (rs_->database()->isBusy()) return false;  // not while a statement runs on it
    try {
        return rs_->isOpen() && (!rs_->keysComplete() || rs_->RecordCount() > rows_ || !complete_);
    } catch (const dao::Error&) {
        return false;
    }
}

void RecordsetModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent)) return;
    Announcing announcing(announcing_);
    long long count = rows_;
    changedWhileFetching_ = false;
    {
        struct Fetching {
            bool& flag;
            explicit Fetching(bool& f) : flag(f) { flag = true; }
            ~Fetching() { flag = false; }
        } fetching(fetching_);
        try {
            rs_->fetchAllKeys();
            count = rs_->RecordCount();
        } catch (const dao::Error&) {
            return;  // a set that can no longer be read shows what it showed
        }
    }
    if (changedWhileFetching_ || count < rows_ || complete_) {
        // The rows shown are not the first rows any more, or the new-row
        // line already sits where the rows would go: show the set afresh.
        if (changedWhileFetching_ || count != rows_) reload();
        return;
    }
    // The rest of the rows, and the new-row line after them.
    const int before = rowCount();
    const long long after = count + ((allowAddNew_ && updatable_) ? 1 : 0);
    if (after > before) {
        beginInsertRows(QModelIndex(), before, int(after) - 1);
        cache_.remove(rows_ / pageRows);  // the last page was short
        rows_ = count;
        complete_ = true;
        endInsertRows();
    } else {
        cache_.remove(rows_ / pageRows);
        rows_ = count;
        complete_ = true;
    }
}

bool RecordsetModel::submit() {
    commitRow();
    return true;
}

void RecordsetModel::recordsetAboutToLeaveRow(dao::Recordset&, dao::LeaveReason reason) {
    if (selfWrite_) return;
    // The set is about to be re-run or closed: write the row being edited
    // first, so that nothing typed is lost without the user's answer.
    if (reason == dao::LeaveReason::Requery || reason == dao::LeaveReason::Close) commitRow();
}

void RecordsetModel::recordsetRowsChanged(dao::Recordset&) {
    if (fetching_) {
        changedWhileFetching_ = true;
        return;
    }
    if (selfWrite_) return;
    reload();
}

}  // namespace controls

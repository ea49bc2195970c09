// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordsetmodel.h"

#include "ui/statementprogress.h"

#include <QColor>
#include <QDate>
#include <QRegularExpression>

#include <algorithm>
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

// What a cell shows of a value (the whole value for editing).
QVariant shownPart(const QVariant& v, int role) {
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return v;
    if (v.typeId() == QMetaType::QString && v.toString().size() > kShownCharacters)
        return v.toString().left(kShownCharacters);
    if (v.typeId() == QMetaType::QByteArray && v.toByteArray().size() > kShownCharacters)
        return v.toByteArray().left(kShownCharacters);
    return v;
}

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
    clearPending();
    newRowOpen_ = false;
    resolveColumns();
    clearCache();
    endResetModel();
}

void RecordsetModel::setRecordset(dao::RecordsetPtr recordset) {
    Announcing announcing(announcing_);
    beginResetModel();
    detach();
    rs_ = std::move(recordset);
    clearPending();
    newRowOpen_ = false;
    currentLine_ = -1;
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
    if (newRowOpen_) {
        clearPending();
        newRowOpen_ = false;
    }
    endResetModel();
}

int RecordsetModel::newRowLine() const {
    return (allowAddNew_ && rs_ && updatable_ && complete_) ? int(rows_) + (newRowOpen_ ? 1 : 0) : -1;
}

int RecordsetModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return int(rows_) + (newRowOpen_ ? 1 : 0) + (newRowLine() >= 0 ? 1 : 0);
}

int RecordsetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(shown_.size());
}

void RecordsetModel::clearCache() { cache_.clear(); }

// While a statement runs on the set's connection (the program answers
// events from inside it, ui/statementprogress.h), the set cannot be read:
// rows not held show empty until it has ended, and then the view repaints.
bool RecordsetModel::setBusy() const {
    if (!rs_ || !rs_->database()->isBusy()) return false;
    if (!std::exchange(repaintAfterRun_, true))
        ui::StatementProgress::afterRunning(const_cast<RecordsetModel*>(this), [this] {
            repaintAfterRun_ = false;
            auto* self = const_cast<RecordsetModel*>(this);
            if (rowCount() > 0 && columnCount() > 0)
                emit self->dataChanged(self->index(0, 0), self->index(rowCount() - 1, columnCount() - 1));
        });
    return true;
}

const RecordsetModel::Page* RecordsetModel::page(long long pageIndex) const {
    if (Page* p = cache_.object(pageIndex)) return p;
    if (setBusy()) return nullptr;
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

long long RecordsetModel::setPosition(int row) const {
    // The set has dropped the rows already; the view drops them a range at
    // a time, the last range first.
    const auto below = [this](long long line) {
        return std::lower_bound(removing_.begin(), removing_.end(), line) - removing_.begin();
    };
    if (row >= removingFrom_) return row - below(removingFrom_);
    if (std::binary_search(removing_.begin(), removing_.end(), (long long)row)) return -1;
    return row - below(row);
}

QVariant RecordsetModel::storedValue(int row, int column) const {
    if (!rs_ || row < 0 || row >= rows_) return {};
    if (!removing_.empty()) {
        const long long at = setPosition(row);
        const int f = columnField(column);
        if (at < 0 || f < 0 || setBusy()) return {};
        try {
            return rs_->valueAt(at, f);
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
    if (!removing_.empty()) {
        const long long at = setPosition(row);
        if (at < 0) return true;
        try {
            return !setBusy() && rs_->rowDeleted(at);
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
    const bool refused = row == pendingRow_ && pending_.contains(column) && !refusal_.isEmpty();
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        if (row == pendingRow_ && pending_.contains(column)) return shownPart(pending_.value(column), role);
        if (isNewRowLine(row) || isNewRow(row)) return {};
        if (role == Qt::DisplayRole && storedRowDeleted(row)) return QStringLiteral("#Deleted");
        QVariant v = storedValue(row, column);
        if (v.typeId() == QMetaType::QDate) return v.toDate().toString(Qt::ISODate);
        if (v.typeId() == QMetaType::QDateTime) return v.toDateTime().date().toString(Qt::ISODate);
        return shownPart(v, role);
    }
    if (role == Qt::TextAlignmentRole) {
        QVariant v = data(index, Qt::EditRole);
        const int t = v.typeId();
        if (t == QMetaType::LongLong || t == QMetaType::Int || t == QMetaType::Double)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    // What the set refused stays marked until it is written or dropped.
    if (role == Qt::BackgroundRole && refused) return QColor(255, 221, 221);
    if (role == Qt::ToolTipRole && refused) {
        const QVariant stored = isNewRow(row) ? QVariant() : shownPart(storedValue(row, column), role);
        return QStringLiteral("Not saved: %1\nStored: %2")
            .arg(refusal_, stored.isNull() ? QStringLiteral("(empty)") : stored.toString());
    }
    return {};
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) return columnCaption(section);
    // The record selectors: a pencil on the row being edited, a star on the
    // new-row line, a triangle on the current line.
    if (section == pendingRow_) return QString(QChar(0x270E));
    const QString current = section == currentLine_ ? QString(QChar(0x25B6)) : QString();
    if (isNewRowLine(section)) return current + u'*';
    return current;
}

Qt::ItemFlags RecordsetModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (columnField(index.column()) < 0) return f;
    // A set that cannot be written opens no editor.
    if (isNewRowLine(index.row()) || isNewRow(index.row()) || (allowUpdate_ && updatable_ && index.row() < rows_))
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
    int row = index.row();
    if (pendingRow_ >= 0 && pendingRow_ != row) {
        commitRow();
        if (pendingRow_ >= 0) return false;  // the other row's edits were refused and stay
    }
    if (isNewRowLine(row)) {
        openNewRow();
        row = int(rows_);
    }
    if (!isNewRow(row) && !pending_.contains(index.column())) {
        const QVariant stored = storedValue(row, index.column());
        if (stored == v && stored.isNull() == v.isNull()) return true;  // nothing changed
    }
    markPending(row);
    pending_[index.column()] = v;
    emitRowChanged(row);
    return true;
}

void RecordsetModel::beginEdit(int row) {
    if (row == pendingRow_ || pendingRow_ >= 0) return;
    if (isNewRowLine(row)) {
        openNewRow();
        row = int(rows_);
    } else if (row < 0 || row >= rows_) {
        return;
    }
    markPending(row);
    emit headerDataChanged(Qt::Vertical, row, row);
}

void RecordsetModel::markPending(int row) {
    if (row == pendingRow_) return;
    pendingRow_ = row;
    // The row by its bookmark, so that the edits find it again wherever a
    // re-read of the set puts it.
    pendingMark_.clear();
    pendingRead_.clear();
    if (row < rows_) {
        try {
            pendingMark_ = rs_->bookmarkAt(row);
        } catch (const dao::Error&) {
        }
        readRow(row);
    }
}

void RecordsetModel::setCurrentLine(int row) {
    if (row == currentLine_) return;
    const int before = std::exchange(currentLine_, row);
    Announcing announcing(announcing_);  // a move of the view's, not a change of rows
    for (int line : {before, row})
        if (line >= 0 && line < rowCount()) emit headerDataChanged(Qt::Vertical, line, line);
}

void RecordsetModel::openNewRow() {
    if (newRowOpen_) return;
    // The new row takes the new-row line's place; a new-row line follows.
    const int line = int(rows_) + 1;
    beginInsertRows(QModelIndex(), line, line);
    newRowOpen_ = true;
    if (currentLine_ >= line) ++currentLine_;
    endInsertRows();
}

void RecordsetModel::closeNewRow() {
    if (!newRowOpen_) return;
    const int line = int(rows_);
    beginRemoveRows(QModelIndex(), line, line);
    newRowOpen_ = false;
    if (currentLine_ > line) --currentLine_;
    endRemoveRows();
}

void RecordsetModel::clearPending() {
    pending_.clear();
    pendingRow_ = -1;
    pendingMark_.clear();
    pendingRead_.clear();
    refusal_.clear();
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
    const bool added = isNewRow(row);
    clearPending();
    if (added) closeNewRow();
    else emitRowChanged(row);
}

void RecordsetModel::runWrite(const std::function<void()>& write) {
    if (aroundWrite) aroundWrite(write);
    else write();
}

bool RecordsetModel::commitRow() {
    if (pendingRow_ < 0 || !rs_) return true;
    const int row = pendingRow_;
    if (pending_.isEmpty()) {
        revertRow();  // typed into, and back to what it was: nothing to write
        return true;
    }
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
    const bool adding = isNewRow(row);
    std::optional<Announcing> announcing;
    if (adding) announcing.emplace(announcing_);  // until the row is shown
    selfWrite_ = true;
    try {
        runWrite([&] {
            if (adding) rs_->addRow(values);
            else rs_->updateRow(row, values, expected);
        });
    } catch (const dao::Error& e) {
        // Nothing was written. What was typed stays, marked; the row's
        // other cells show what is stored now.
        selfWrite_ = false;
        announcing.reset();
        refusal_ = QStringLiteral("%1 (error %2)").arg(e.Description()).arg(e.Number());
        cache_.remove(row / pageRows);
        // Changed elsewhere: the stored values are the ones to replace now.
        if (!adding && e.Number() == dao::err::WriteConflict) readRow(row);
        emitRowChanged(row);
        if (writeFailed) writeFailed(e);
        return false;
    }
    selfWrite_ = false;
    clearPending();
    if (adding) {
        const long long before = rows_;
        long long count = before + 1;
        try {
            count = rs_->RecordCount();
        } catch (const dao::Error&) {
        }
        // The last page may have been read again, short, while the row was written.
        cache_.remove(before / pageRows);
        if (count > before + 1) {
            beginInsertRows(QModelIndex(), int(before) + 1, int(count) - 1);
            rows_ = count;
            newRowOpen_ = false;
            if (currentLine_ > before) currentLine_ += int(count - before - 1);
            endInsertRows();
        } else if (count == before + 1) {
            rows_ = count;  // the new row's line is the stored row's now
            newRowOpen_ = false;
        } else {
            beginResetModel();
            newRowOpen_ = false;
            currentLine_ = -1;
            clearCache();
            readCount();
            endResetModel();
        }
        announcing.reset();
        emitRowChanged(int(before));
        emitRowChanged(newRowLine());
    } else {
        cache_.remove(row / pageRows);
        emitRowChanged(row);
    }
    return true;
}

void RecordsetModel::deleteRows(QList<int> rows) {
    if (!rs_) return;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<long long> positions;
    for (int row : rows) {
        // A row being typed is not stored yet: deleting it drops what was typed.
        if (isNewRowLine(row) || isNewRow(row)) {
            if (isNewRow(pendingRow_)) revertRow();
        } else if (row >= 0 && row < rows_) {
            positions.push_back(row);
        }
    }
    if (positions.empty()) return;
    if (std::binary_search(positions.begin(), positions.end(), (long long)pendingRow_)) revertRow();
    Announcing announcing(announcing_);
    selfWrite_ = true;
    try {
        runWrite([&] { rs_->deleteRows(positions); });
    } catch (...) {
        selfWrite_ = false;
        clearCache();
        for (long long p : positions) emitRowChanged(int(p));
        throw;
    }
    selfWrite_ = false;
    const long long n = (long long)positions.size();
    long long count = rows_;
    try {
        count = rs_->RecordCount();
    } catch (const dao::Error&) {
    }
    clearCache();
    if (count == rows_ - n) {
        // The view is told range by range, the last one first.
        removing_ = positions;
        removingFrom_ = rows_;
        for (long long i = n - 1; i >= 0;) {
            const long long last = positions[size_t(i)];
            long long first = last;
            while (i > 0 && positions[size_t(i - 1)] == first - 1) {
                --i;
                --first;
            }
            --i;
            const long long size = last - first + 1;
            removingFrom_ = last + 1;
            beginRemoveRows(QModelIndex(), int(first), int(last));
            rows_ -= size;
            if (pendingRow_ > last) pendingRow_ -= int(size);
            if (currentLine_ > last) currentLine_ -= int(size);
            else if (currentLine_ >= first) currentLine_ = -1;
            removingFrom_ = first;
            clearCache();  // pages may have been read while the rows were announced
            endRemoveRows();
        }
        removing_.clear();
        clearCache();
    } else if (count == rows_) {
        for (long long p : positions) emitRowChanged(int(p));  // the set keeps deleted rows' places
    } else {
        reload();
    }
}

void RecordsetModel::reload() {
    // Pending edits follow their row (a new row being typed stays one).
    const QByteArray row = pendingMark_;
    const bool added = isNewRow(pendingRow_);
    const auto edits = pending_;
    const auto read = pendingRead_;
    const QString refusal = refusal_;
    if (added && rs_) {
        // A new row joins the end of the whole set.
        fetching_ = true;
        try {
            rs_->fetchAllKeys();
        } catch (const dao::Error&) {
        }
        fetching_ = false;
    }
    Announcing announcing(announcing_);
    beginResetModel();
    clearPending();
    newRowOpen_ = false;
    currentLine_ = -1;
    clearCache();
    readCount();
    long long at = -1;
    if (!row.isEmpty()) {
        try {
            at = rs_->findBookmark(row, false);
        } catch (const dao::Error&) {
        }
    } else if (added && newRowLine() >= 0) {
        newRowOpen_ = true;
        at = rows_;
    }
    if (at >= 0 && at <= rows_ && !edits.isEmpty()) {
        pendingRow_ = int(at);
        pendingMark_ = row;
        pending_ = edits;
        pendingRead_ = read;
        refusal_ = refusal;
    } else {
        newRowOpen_ = false;
    }
    endResetModel();
}

bool RecordsetModel::canFetchMore(const QModelIndex& parent) const {
    if (parent.isValid() || !rs_ || fetching_ || announcing_ > 0) return false;
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
    // The view asks for this as its current row changes; the grid writes
    // the row then itself (and on Enter), once.
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

// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordset_impl.h"

#include "dialect.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>

namespace dao {

using detail::Statement;

namespace {

QByteArray keyBytes(sqlite3_int64 key) {
    return QByteArray(reinterpret_cast<const char*>(&key), sizeof key);
}

sqlite3_int64 bytesKey(const QByteArray& b) {
    sqlite3_int64 key = 0;
    if (b.size() != sizeof key) throw Error(err::InvalidOperation, QStringLiteral("Not a valid bookmark."));
    std::memcpy(&key, b.constData(), sizeof key);
    return key;
}

Error noCurrentRecord() { return Error(err::NoCurrentRecord); }

// Rows are only ever read: a statement that changes the log runs once, as
// an action (Database::ExecuteReturning), never as a set of rows that a
// Requery or a sort would run again.
Error changesTheLog() {
    return Error(err::InvalidOperation,
                 QStringLiteral("The statement changes the log, so it is not opened as rows; run it with Execute "
                                "(it then runs once, and shows the rows it returns)."));
}

// The items at the given positions, in that order.
template <class T>
std::vector<T> reordered(std::vector<T> items, const std::vector<size_t>& positions) {
    std::vector<T> out;
    out.reserve(positions.size());
    for (size_t p : positions) out.push_back(std::move(items[p]));
    return out;
}

// Names the set gives its row id and sort values inside a statement of its own.
const QString kKeyAlias = QStringLiteral("\"pb_key\"");
QString sortAlias(int field) { return QStringLiteral("\"pb_sort%1\"").arg(field); }

// Text in the user's short date format (or month/day/year) as ISO text;
// anything else unchanged, for the schema to judge.
QVariant dateText(const QVariant& v) {
    if (v.typeId() != QMetaType::QString) return v;
    const QString s = v.toString().trimmed();
    static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (s.isEmpty() || iso.match(s).hasMatch()) return v;
    const QStringList formats = {QLocale().dateFormat(QLocale::ShortFormat),
                                 QLocale::system().dateFormat(QLocale::ShortFormat),
                                 QStringLiteral("M/d/yyyy"), QStringLiteral("M/d/yy")};
    for (const QString& f : formats) {
        QDate d = QDate::fromString(s, f);
        if (!d.isValid()) continue;
        if (!f.contains(QLatin1String("yyyy")) && d.year() < 1930) d = d.addYears(100);
        return d.toString(Qt::ISODate);
    }
    return v;
}

}  // namespace

// ---------------------------------------------------------------- Impl

sqlite3* Recordset::Impl::handle() const {
    sqlite3* db = q->db_ ? q->db_->handle() : nullptr;
    if (!db) throw Error(err::ObjectInvalid);
    return db;
}

void Recordset::Impl::checkOpen() const {
    if (closed || !q->db_ || !q->db_->isOpen()) throw Error(err::ObjectInvalid);
}

void Recordset::Impl::checkUpdatable() const {
    if (!q->Updatable()) throw Error(err::NotUpdatable);
}

void Recordset::Impl::open(const QString& statement) {
    sql = statement;
    sqlite3* db = handle();
    Statement probe;
    try {
        probe = Statement(db, sql);
    } catch (const Error& e) {
        throw sql::explainMissingField(e, sql);
    }
    const int n = probe.columnCount();
    if (n == 0)
        throw Error(err::InvalidOperation,
                    QStringLiteral("The statement returns no rows; run it with Execute."));
    if (detail::changesFile(probe)) throw changesTheLog();
    q->names_.clear();
    origins.clear();
    dateField.assign(n, false);
    textField.assign(n, false);
    shape = sql::selectShape(sql);
    bool fromOneTable = shape.plainTable;
    bool aliased = false;
    for (int i = 0; i < n; ++i) {
        q->names_ << QString::fromUtf8(sqlite3_column_name(probe.get(), i));
        const char* table = sqlite3_column_table_name(probe.get(), i);
        const char* origin = sqlite3_column_origin_name(probe.get(), i);
        const char* decl = sqlite3_column_decltype(probe.get(), i);
        if (!table || !origin || QString::fromUtf8(table).compare(shape.table, Qt::CaseInsensitive) != 0)
            fromOneTable = false;
        const QString originName = origin ? QString::fromUtf8(origin) : QString();
        origins << originName;
        if (originName.compare(q->names_.back(), Qt::CaseInsensitive) != 0) aliased = true;
        const QByteArray declared = decl ? QByteArray(decl).toUpper() : QByteArray();
        if (declared.contains("DATE")) dateField[i] = true;
        // SQLite's rule for a column of text affinity.
        textField[i] = !declared.contains("INT") &&
                       (declared.contains("CHAR") || declared.contains("CLOB") || declared.contains("TEXT"));
    }
    probe = Statement();

    keyed = false;
    if (fromOneTable) {
        QString actual;
        bool isView = true;
        if (q->db_->findTable(shape.table, &actual, &isView) && !isView) {
            tableName = actual;
            // The clauses on lines of their own: a clause may end in a
            // comment ("where Time > 45 -- long runs").
            QString tail = shape.fromClause;
            for (const QString* part : {&shape.where, &shape.orderBy, &shape.limit})
                if (!part->isEmpty()) tail += u'\n' + *part;
            // Row ids alone could be read from any index, in that index's
            // order; a set of the whole table keeps the table's own order.
            if (shape.where.isEmpty() && shape.orderBy.isEmpty()) {
                tail = shape.fromClause + QStringLiteral("\nORDER BY rowid");
                if (!shape.limit.isEmpty()) tail += u'\n' + shape.limit;
            }
            keyTail = tail;
            fetchSql = QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?1").arg(shape.selectList, shape.fromClause);
            keyed = true;
            try {
                Statement(db, fetchSql);
                // Row ids alone are the fastest to collect; with aliases the
                // order may name a result column, so keep the list then.
                bool done = false;
                if (!aliased) {
                    try {
                        keySql = QStringLiteral("SELECT rowid FROM ") + tail;
                        keyColumn = 0;
                        keysWithList = false;
                        Statement(db, keySql);
                        done = true;
                    } catch (const Error&) {
                    }
                }
                if (!done) {
                    keySql = QStringLiteral("SELECT %1, rowid FROM %2").arg(shape.selectList, tail);
                    keyColumn = n;
                    keysWithList = true;
                    Statement(db, keySql);
                }
            } catch (const Error&) {
                keyed = false;  // e.g. a table without row ids: read it whole
            }
        }
    }
    updatable = keyed && sqlite3_db_readonly(db, "main") == 0;
    run();
}

void Recordset::Impl::run() {
    sqlite3* db = handle();
    dropCache();
    fetchStmt = Statement();
    if (keyed) {
        auto collected = std::make_shared<std::vector<sqlite3_int64>>();
        keysComplete = true;
        bool firstOnly = false;
        if (lazy && shape.limit.isEmpty()) {
            // The first rows only; the line break ends any comment the
            // sort expression may close with.
            try {
                Statement s(db, keySql + QStringLiteral("\nLIMIT %1").arg(kFirstKeys));
                sqlite3_stmt* st = s.get();
                while (s.step()) collected->push_back(sqlite3_column_int64(st, keyColumn));
                // Fewer rows are all of them; more mean the limit did not apply.
                keysComplete = collected->size() != size_t(kFirstKeys);
                firstOnly = true;
            } catch (const Error&) {
                collected->clear();  // collect them all below
            }
        }
        if (!firstOnly) {
            Statement s(db, keySql);
            sqlite3_stmt* st = s.get();
            while (s.step()) collected->push_back(sqlite3_column_int64(st, keyColumn));
        }
        keys = std::move(collected);
        rows.reset();
    } else if (!fixed) {
        Statement s(db, sql);
        if (detail::changesFile(s)) throw changesTheLog();
        rows = holdRows(s);
        if (!heldOrder.empty()) {
            const std::vector<size_t> order = heldPositions(*rows, heldOrder);
            *rows = reordered(std::move(*rows), order);
        }
        keys.reset();
    }
    seenLocalChanges = q->db_->localChanges_;
    seenDataVersion = -1;
    onDeleted = false;
    pos = size() > 0 ? 0 : -1;
}

std::shared_ptr<Rows> Recordset::Impl::holdRows(Statement& s) {
    const int n = s.columnCount();
    auto collected = std::make_shared<Rows>();
    // These rows are held whole: a statement that returns more than the
    // program can hold (a cross join of the log with itself, say) is
    // stopped with a clear error instead of exhausting the memory.
    size_t held = 0;
    while (s.step()) {
        std::vector<QVariant> row(n);
        held += sizeof(row) + size_t(n) * sizeof(QVariant);
        for (int i = 0; i < n; ++i) {
            row[i] = s.column(i);
            held += size_t(sqlite3_column_bytes(s.get(), i)) * 2;
        }
        collected->push_back(std::move(row));
        if (held > kMaxHeldBytes)
            throw Error(err::ResourceExceeded,
                        QStringLiteral("The statement returns more rows than can be shown at once "
                                       "(over %1 MB, %2 rows so far). Narrow it with WHERE, or "
                                       "count the rows with count(*).")
                            .arg(kMaxHeldBytes >> 20)
                            .arg(collected->size()));
    }
    return collected;
}

void Recordset::Impl::holdReturned(const QString& statement, const QStringList& names,
                                   std::shared_ptr<Rows> returned) {
    sql = statement;
    q->names_ = names;
    origins = names;
    dateField.assign(size_t(names.size()), false);
    keyed = false;
    updatable = false;
    fixed = true;
    rows = std::move(returned);
    run();
}

void Recordset::Impl::completeKeys() {
    if (!keyed || keysComplete) return;
    sqlite3* db = handle();
    auto collected = std::make_shared<std::vector<sqlite3_int64>>();
    {
        Statement s(db, keySql);
        sqlite3_stmt* st = s.get();
        while (s.step()) collected->push_back(sqlite3_column_int64(st, keyColumn));
    }
    const auto& before = *keys;
    const bool same = collected->size() >= before.size() && std::equal(before.begin(), before.end(), collected->begin());
    if (same) {
        keys = std::move(collected);
        keysComplete = true;
        dropCache();  // the last page read was cut short at the first rows' end
        return;
    }
    // A position on a collected row follows that row to its new place.
    auto follow = [&](long long& at) {
        if (at < 0) return;
        if (at < (long long)before.size()) {
            auto it = std::find(collected->begin(), collected->end(), before[size_t(at)]);
            if (it != collected->end()) {
                at = it - collected->begin();
                return;
            }
        }
        at = std::min<long long>(at, (long long)collected->size());
    };
    follow(pos);
    follow(posBeforeAdd);
    keys = std::move(collected);
    keysComplete = true;
    dropCache();
    rowsChanged();
}

void Recordset::Impl::copyFrom(const Impl& o) {
    sql = o.sql;
    keyed = o.keyed;
    updatable = o.updatable;
    shape = o.shape;
    tableName = o.tableName;
    origins = o.origins;
    dateField = o.dateField;
    textField = o.textField;
    keyTail = o.keyTail;
    keysWithList = o.keysWithList;
    heldOrder = o.heldOrder;
    keySql = o.keySql;
    keyColumn = o.keyColumn;
    fetchSql = o.fetchSql;
    keys = o.keys;
    rows = o.rows;
    fixed = o.fixed;
    lazy = o.lazy;
    keysComplete = o.keysComplete;
    pos = size() > 0 ? 0 : -1;
}

long long Recordset::Impl::positionOf(sqlite3_int64 key) const {
    if (!keyed) return key >= 0 && key < size() ? key : -1;
    auto it = std::find(keys->begin(), keys->end(), key);
    return it == keys->end() ? -1 : it - keys->begin();
}

std::vector<sqlite3_int64>& Recordset::Impl::ownKeys() {
    if (keys.use_count() > 1) keys = std::make_shared<std::vector<sqlite3_int64>>(*keys);
    return *keys;
}

void Recordset::Impl::refreshIfStale() const {
    if (!keyed) return;
    sqlite3* db = handle();
    if (seenLocalChanges != q->db_->localChanges_) {
        dropCache();
        seenLocalChanges = q->db_->localChanges_;
    }
    // Another connection's commit changes the data version.
    if (!versionStmt.isValid()) versionStmt = Statement(db, QStringLiteral("PRAGMA data_version"));
    detail::ResetOnExit r(versionStmt);
    const long long version = versionStmt.step() ? versionStmt.columnInt64(0) : 0;
    if (version != seenDataVersion) {
        dropCache();
        seenDataVersion = version;
    }
}

const std::vector<QVariant>* Recordset::Impl::rowAt(long long p) const {
    if (!keyed) return &(*rows)[size_t(p)];
    refreshIfStale();
    const long long first = p - p % kPageRows;
    for (const Page& page : pages)
        if (page.first == first) return page.missing[size_t(p - first)] ? nullptr : &page.values[size_t(p - first)];

    sqlite3* db = handle();
    Page page;
    page.first = first;
    const long long count = std::min<long long>(kPageRows, size() - first);
    page.values.resize(size_t(count));
    page.missing.assign(size_t(count), 0);
    detail::ReadTransaction rt(db);
    if (!fetchStmt.isValid()) fetchStmt = Statement(db, fetchSql);
    const int n = fetchStmt.columnCount();
    for (long long i = 0; i < count; ++i) {
        detail::ResetOnExit r(fetchStmt);
        fetchStmt.bindInt64(1, (*keys)[size_t(first + i)]);
        if (fetchStmt.step()) {
            auto& row = page.values[size_t(i)];
            row.resize(size_t(n));
            for (int c = 0; c < n; ++c) row[size_t(c)] = fetchStmt.column(c);
        } else {
            page.missing[size_t(i)] = 1;
        }
    }
    pages.push_front(std::move(page));
    if (pages.size() > kPages) pages.pop_back();
    const Page& front = pages.front();
    return front.missing[size_t(p - first)] ? nullptr : &front.values[size_t(p - first)];
}

QVariant Recordset::Impl::prepareValue(int field, const QVariant& v) const {
    QVariant value = detail::storable(v);
    if (size_t(field) < dateField.size() && dateField[size_t(field)]) value = dateText(value);
    return value;
}

void Recordset::Impl::writeRow(sqlite3_int64 key, const std::vector<std::pair<int, QVariant>>& values,
                               const std::vector<std::pair<int, QVariant>>& expected) {
    if (values.empty()) return;
    sqlite3* db = handle();
    QStringList sets, still;
    int n = 0;
    for (const auto& [field, value] : values) sets << QStringLiteral("%1 = ?%2").arg(sql::quoteName(origins[field])).arg(++n);
    const int keyParam = ++n;
    // Only where the fields still hold what the writer read: a change made
    // meanwhile by another set, window or program is never overwritten.
    for (const auto& [field, value] : expected)
        still << QStringLiteral(" AND %1 IS ?%2").arg(sql::quoteName(origins[field])).arg(++n);
    q->db_->willWrite(WriteKind::Row);
    detail::WriteTransaction t(db);
    Statement s(db, QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?%3%4")
                        .arg(sql::quoteName(tableName), sets.join(QStringLiteral(", ")))
                        .arg(keyParam)
                        .arg(still.join(QString())));
    n = 0;
    for (const auto& [field, value] : values) s.bind(++n, prepareValue(field, value));
    s.bindInt64(++n, key);
    for (const auto& [field, value] : expected) s.bind(++n, value);
    s.step();
    const auto changed = sqlite3_changes64(db);
    s.reset();
    if (changed == 0) {
        dropCache();  // the set reads the row as it is stored
        throw expected.empty() ? Error(err::RecordDeleted) : conflict(key, expected);
    }
    t.commit();
    ++q->db_->localChanges_;
    dropCache();
}

namespace {

// A stored value as a message shows it.
QString valueText(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return QStringLiteral("nothing");
    if (v.typeId() == QMetaType::QByteArray) return QStringLiteral("binary data");
    if (v.typeId() != QMetaType::QString) return v.toString();
    const QString text = v.toString();
    return u'"' + (text.size() > 40 ? text.left(40) + QStringLiteral("...") : text) + u'"';
}

bool sameValue(const QVariant& a, const QVariant& b) {
    const QVariant x = detail::storable(a), y = detail::storable(b);
    if (!x.isValid() || !y.isValid()) return x.isValid() == y.isValid();
    return x == y;
}

}  // namespace

Error Recordset::Impl::conflict(sqlite3_int64 key, const std::vector<std::pair<int, QVariant>>& expected) const {
    sqlite3* db = handle();
    Statement s(db, fetchSql);
    s.bindInt64(1, key);
    if (!s.step()) return Error(err::RecordDeleted);
    std::vector<QVariant> stored(size_t(s.columnCount()));
    for (int c = 0; c < s.columnCount(); ++c) stored[size_t(c)] = s.column(c);
    s.reset();
    auto field = [&](const char* name) -> QVariant {
        const int i = q->Fields().indexOf(QLatin1String(name));
        return i >= 0 && size_t(i) < stored.size() ? stored[size_t(i)] : QVariant();
    };
    // The row by its day and kind of run where the set has them.
    QString row = QStringLiteral("the row");
    const QVariant day = field("Date"), type = field("Type");
    if (day.isValid() || type.isValid()) {
        row = QStringLiteral("the run of %1").arg(day.isValid() ? day.toString() : QStringLiteral("no date"));
        if (type.isValid()) row += QStringLiteral(" (%1)").arg(type.toString());
    }
    QStringList now;
    for (const auto& [f, value] : expected)
        if (size_t(f) < stored.size() && !sameValue(stored[size_t(f)], value))
            now << QStringLiteral("%1 now holds %2").arg(q->names_[f], valueText(stored[size_t(f)]));
    QString text = QStringLiteral("The data has been changed by another user: %1 was changed in another window "
                                  "or program after you began editing it, so your change was not saved.")
                       .arg(row);
    if (!now.isEmpty()) text += u' ' + now.join(QStringLiteral("; ")) + u'.';
    text += QStringLiteral(" Save your change again to replace what is stored.");
    return Error(err::WriteConflict, text);
}

sqlite3_int64 Recordset::Impl::insertRow(const std::vector<std::pair<int, QVariant>>& values) {
    completeKeys();
    sqlite3* db = handle();
    QStringList cols, params;
    int n = 0;
    for (const auto& [field, value] : values) {
        cols << sql::quoteName(origins[field]);
        params << QStringLiteral("?%1").arg(++n);
    }
    const QString text = values.empty()
                             ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(sql::quoteName(tableName))
                             : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                   .arg(sql::quoteName(tableName), cols.join(QStringLiteral(", ")),
                                        params.join(QStringLiteral(", ")));
    q->db_->willWrite(WriteKind::Row);
    detail::WriteTransaction t(db);
    Statement s(db, text);
    n = 0;
    for (const auto& [field, value] : values) s.bind(++n, prepareValue(field, value));
    s.step();
    s.reset();
    const sqlite3_int64 key = sqlite3_last_insert_rowid(db);
    t.commit();
    ++q->db_->localChanges_;
    ownKeys().push_back(key);
    dropCache();
    return key;
}

void Recordset::Impl::removeRows(const std::vector<long long>& descending) {
    if (descending.empty()) return;
    sqlite3* db = handle();
    q->db_->willWrite(WriteKind::Row);
    {
        detail::WriteTransaction t(db);
        Statement s(db, QStringLiteral("DELETE FROM %1 WHERE rowid = ?1").arg(sql::quoteName(tableName)));
        for (long long p : descending) {
            s.bindInt64(1, (*keys)[size_t(p)]);
            s.step();
            s.reset();
        }
        t.commit();
    }
    ++q->db_->localChanges_;
    if (q->editMode_ == dbEditInProgress && std::find(descending.begin(), descending.end(), pos) != descending.end())
        dropEdit();
    // The rows after a deleted one move up; a position on a deleted row
    // stays "on the deleted row" (the row that followed it) until the next move.
    std::vector<long long> ascending(descending.rbegin(), descending.rend());
    auto adjust = [&ascending](long long& at, bool& deleted) {
        const auto before = std::lower_bound(ascending.begin(), ascending.end(), at);
        if (before != ascending.end() && *before == at) deleted = true;
        at -= before - ascending.begin();
    };
    if (q->editMode_ == dbEditAdd) adjust(posBeforeAdd, onDeletedBeforeAdd);
    else adjust(pos, onDeleted);
    auto& k = ownKeys();
    size_t out = 0, next = 0;
    for (size_t i = 0; i < k.size(); ++i) {
        if (next < ascending.size() && (long long)i == ascending[next]) {
            ++next;
            continue;
        }
        k[out++] = k[i];
    }
    k.resize(out);
    dropCache();
}

std::vector<int> Recordset::Impl::sortFields(const SortOrder& order) const {
    std::vector<int> fields;
    for (const SortKey& key : order) {
        const int f = FieldList(q).indexOf(key.field);
        if (f < 0)
            throw Error(err::ItemNotFound,
                        QStringLiteral("Item not found in this collection: there is no field '%1' to sort by.")
                            .arg(key.field));
        fields.push_back(f);
    }
    return fields;
}

QString Recordset::Impl::orderTerms(const SortOrder& order, const std::vector<int>& fields,
                                    const QStringList& refs) const {
    QStringList terms;
    for (size_t k = 0; k < order.size(); ++k) {
        const int f = fields[k];
        QString term = refs[f];
        // Text without regard to case (any letter), as the statements
        // compare it; dates (ISO text) and numbers as stored, so that their
        // indexes serve the order.
        if (textField[size_t(f)]) term += QStringLiteral(" COLLATE ") + QLatin1String(sql::kTextCollation);
        if (order[k].descending) term += QStringLiteral(" DESC");
        terms << term;
    }
    return terms.join(QStringLiteral(", "));
}

std::vector<size_t> Recordset::Impl::sortedPositions(size_t count,
                                                     const std::function<int(size_t, size_t)>& compare) const {
    std::vector<size_t> positions(count);
    for (size_t i = 0; i < count; ++i) positions[i] = i;
    Database* database = q->db_.get();
    size_t comparisons = 0;
    std::stable_sort(positions.begin(), positions.end(), [&](size_t a, size_t b) {
        if ((++comparisons & 0x3FFF) == 0 && database->progress_ && !database->progress_())
            throw Error(err::Cancelled);
        return compare(a, b) < 0;
    });
    return positions;
}

std::vector<size_t> Recordset::Impl::heldPositions(const std::vector<std::vector<QVariant>>& held,
                                                   const SortOrder& order) const {
    const std::vector<int> fields = sortFields(order);
    return sortedPositions(held.size(), [&](size_t a, size_t b) {
        for (size_t k = 0; k < fields.size(); ++k) {
            const size_t f = size_t(fields[k]);
            const int c = compareSortValues(held[a][f], held[b][f]);
            if (c != 0) return order[k].descending ? -c : c;
        }
        return 0;
    });
}

RecordsetPtr Recordset::Impl::sortKeySet(const SortOrder& order, int type) {
    const std::vector<int> fields = sortFields(order);
    // The set's own statement, with the row id and the sort values, as the
    // rows to sort.
    QStringList refs;
    QString inner;
    if (keysWithList) {
        for (const QString& name : q->names_) refs << sql::quoteName(name);
        inner = QStringLiteral("SELECT %1, rowid AS %2 FROM %3").arg(shape.selectList, kKeyAlias, keyTail);
    } else {
        for (int f = 0; f < q->names_.size(); ++f) refs << sortAlias(f);
        inner = QStringLiteral("SELECT rowid AS ") + kKeyAlias;
        std::vector<int> named;
        for (int f : fields) {
            if (std::find(named.begin(), named.end(), f) != named.end()) continue;
            named.push_back(f);
            inner += QStringLiteral(", %1 AS %2").arg(sql::quoteName(origins[f]), sortAlias(f));
        }
        inner += QStringLiteral(" FROM ") + keyTail;
    }
    const bool descending = order.back().descending;
    const QString statement = QStringLiteral("SELECT %1 FROM (\n%2\n) ORDER BY %3, %1%4")
                                  .arg(kKeyAlias, inner, orderTerms(order, fields, refs),
                                       descending ? QStringLiteral(" DESC") : QString());
    sqlite3* db = handle();
    detail::ReadTransaction rt(db);
    auto collected = std::make_shared<std::vector<sqlite3_int64>>();
    {
        Statement s(db, statement);
        while (s.step()) collected->push_back(s.columnInt64(0));
    }
    // A statement that picks some of the rows (LIMIT) may pick others when
    // it runs again (the data changed, or it names no order of its own):
    // then the rows held are sorted by their values.
    std::vector<sqlite3_int64> held(*keys), again(*collected);
    std::sort(held.begin(), held.end());
    std::sort(again.begin(), again.end());
    if (held != again) {
        QStringList columns;
        for (int f : fields) columns << sql::quoteName(origins[f]);
        Statement look(db, QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?1")
                               .arg(columns.join(QStringLiteral(", ")), sql::quoteName(tableName)));
        const auto& k = *keys;
        std::vector<std::vector<QVariant>> values(k.size());
        for (size_t i = 0; i < k.size(); ++i) {
            look.bindInt64(1, k[i]);
            values[i].resize(fields.size());  // a row deleted meanwhile sorts as empty
            if (look.step())
                for (size_t c = 0; c < fields.size(); ++c) values[i][c] = look.column(int(c));
            look.reset();
        }
        const auto positions = sortedPositions(k.size(), [&](size_t a, size_t b) {
            for (size_t c = 0; c < fields.size(); ++c) {
                const int r = compareSortValues(values[a][c], values[b][c]);
                if (r != 0) return order[c].descending ? -r : r;
            }
            const int r = k[a] == k[b] ? 0 : (k[a] < k[b] ? -1 : 1);
            return descending ? -r : r;
        });
        *collected = reordered(k, positions);
    }
    RecordsetPtr sorted(new Recordset(q->db_, q->source_, type));
    sorted->names_ = q->names_;
    Impl& d = *sorted->d_;
    d.copyFrom(*this);
    d.keySql = statement;
    d.keyColumn = 0;
    d.keys = std::move(collected);
    d.keysComplete = true;
    d.lazy = false;
    d.pos = d.size() > 0 ? 0 : -1;
    return sorted;
}

void Recordset::Impl::dropEdit() {
    if (q->editMode_ == dbEditAdd) {
        pos = posBeforeAdd;
        onDeleted = onDeletedBeforeAdd;
    }
    q->editMode_ = dbEditNone;
    buffer.clear();
    dirty.clear();
    asRead.clear();
}

void Recordset::Impl::aboutToLeave(LeaveReason reason) {
    if (leaving > 0 || closed || observers.empty()) return;
    auto keep = q->weak_from_this().lock();
    ++leaving;
    struct Done {
        int& n;
        ~Done() { --n; }
    } done{leaving};
    const auto copy = observers;
    for (RecordsetObserver* o : copy)
        if (std::find(observers.begin(), observers.end(), o) != observers.end())
            o->recordsetAboutToLeaveRow(*q, reason);
}

void Recordset::Impl::moved() {
    if (leaving > 0 || observers.empty()) return;
    auto keep = q->weak_from_this().lock();
    const auto copy = observers;
    for (RecordsetObserver* o : copy)
        if (std::find(observers.begin(), observers.end(), o) != observers.end()) o->recordsetMoved(*q);
}

void Recordset::Impl::rowsChanged() {
    if (observers.empty()) return;
    auto keep = q->weak_from_this().lock();
    const auto copy = observers;
    for (RecordsetObserver* o : copy)
        if (std::find(observers.begin(), observers.end(), o) != observers.end()) o->recordsetRowsChanged(*q);
}

// ---------------------------------------------------------------- Recordset

Recordset::Recordset(DatabasePtr db, QString source, int type)
    : db_(std::move(db)), source_(std::move(source)), type_(type), d_(std::make_unique<Impl>(this)) {}

Recordset::~Recordset() = default;

bool Recordset::Updatable() const {
    return !d_->closed && d_->updatable && type_ != dbOpenSnapshot;
}

bool Recordset::isFixed() const { return d_->fixed; }

bool Recordset::isOpen() const { return !d_->closed && db_ && db_->isOpen(); }

bool Recordset::BOF() const {
    d_->checkOpen();
    if (editMode_ == dbEditAdd || d_->onDeleted) return false;
    return d_->size() == 0 || d_->pos < 0;
}

bool Recordset::EOF_() const {
    d_->checkOpen();
    if (editMode_ == dbEditAdd || d_->onDeleted) return false;
    return d_->size() == 0 || d_->pos >= d_->size();
}

long long Recordset::AbsolutePosition() const {
    d_->checkOpen();
    if (editMode_ == dbEditAdd || !d_->hasCurrent()) return -1;
    return d_->pos;
}

long long Recordset::RecordCount() const {
    d_->checkOpen();
    return d_->size();
}

bool Recordset::keysComplete() const {
    d_->checkOpen();
    return d_->keysComplete;
}

void Recordset::fetchAllKeys() {
    d_->checkOpen();
    d_->completeKeys();
}

void Recordset::MoveFirst() {
    d_->checkOpen();
    if (d_->size() == 0 && editMode_ != dbEditAdd) throw noCurrentRecord();
    d_->aboutToLeave(LeaveReason::Move);
    d_->dropEdit();
    d_->onDeleted = false;
    d_->pos = d_->size() > 0 ? 0 : -1;
    d_->moved();
}

void Recordset::MoveLast() {
    d_->checkOpen();
    d_->completeKeys();
    if (d_->size() == 0 && editMode_ != dbEditAdd) throw noCurrentRecord();
    d_->aboutToLeave(LeaveReason::Move);
    d_->dropEdit();
    d_->onDeleted = false;
    d_->pos = d_->size() > 0 ? d_->size() - 1 : -1;
    d_->moved();
}

void Recordset::MoveNext() { Move(1); }
void Recordset::MovePrevious() { Move(-1); }

void Recordset::Move(long long rows) {
    d_->checkOpen();
    if (!d_->keysComplete && rows > 0 && d_->pos + rows >= d_->size()) d_->completeKeys();
    if (editMode_ != dbEditAdd && !d_->onDeleted) {
        if (rows > 0 && EOF_()) throw noCurrentRecord();
        if (rows < 0 && BOF()) throw noCurrentRecord();
        if (rows == 0 && !d_->hasCurrent()) throw noCurrentRecord();
    }
    d_->aboutToLeave(LeaveReason::Move);
    d_->dropEdit();
    const long long n = d_->size();
    long long target;
    if (d_->onDeleted) {
        // The deleted row sat just before the row now at pos.
        target = rows > 0 ? d_->pos + rows - 1 : d_->pos + rows;
        d_->onDeleted = false;
    } else {
        target = d_->pos + rows;
    }
    d_->pos = std::clamp<long long>(target, -1, n);
    if (rows == 0) d_->dropCache();
    d_->moved();
}

void Recordset::setAbsolutePosition(long long p) {
    d_->checkOpen();
    if (p >= d_->size()) d_->completeKeys();
    if (p < 0 || p >= d_->size())
        throw Error(err::InvalidOperation, QStringLiteral("There is no row at position %1.").arg(p));
    d_->aboutToLeave(LeaveReason::Move);
    d_->dropEdit();
    if (p >= d_->size()) throw noCurrentRecord();
    d_->onDeleted = false;
    d_->pos = p;
    d_->moved();
}

QByteArray Recordset::Bookmark() const {
    d_->checkOpen();
    if (editMode_ == dbEditAdd || !d_->hasCurrent()) throw noCurrentRecord();
    return keyBytes(d_->keyed ? (*d_->keys)[size_t(d_->pos)] : d_->pos);
}

void Recordset::setBookmark(const QByteArray& bookmark) {
    if (findBookmark(bookmark) < 0) throw Error(err::InvalidOperation, QStringLiteral("Not a valid bookmark."));
    d_->aboutToLeave(LeaveReason::Move);
    d_->dropEdit();
    const long long p = d_->positionOf(bytesKey(bookmark));
    if (p < 0) throw Error(err::InvalidOperation, QStringLiteral("Not a valid bookmark."));
    d_->onDeleted = false;
    d_->pos = p;
    d_->moved();
}

QByteArray Recordset::LastModified() const {
    d_->checkOpen();
    if (d_->lastModified.isEmpty()) throw noCurrentRecord();
    return d_->lastModified;
}

void Recordset::AddNew() {
    d_->checkOpen();
    d_->checkUpdatable();
    d_->completeKeys();  // the new row joins the end of the whole set
    d_->aboutToLeave(LeaveReason::AddNew);
    d_->dropEdit();
    d_->posBeforeAdd = d_->pos;
    d_->onDeletedBeforeAdd = d_->onDeleted;
    d_->buffer.assign(size_t(names_.size()), QVariant());
    d_->dirty.assign(size_t(names_.size()), false);
    editMode_ = dbEditAdd;
    d_->moved();
}

void Recordset::Edit() {
    d_->checkOpen();
    if (editMode_ != dbEditNone) return;  // already editing: keep the buffer
    d_->checkUpdatable();
    if (d_->onDeleted) throw Error(err::RecordDeleted);
    if (!d_->hasCurrent()) throw noCurrentRecord();
    const auto* row = d_->rowAt(d_->pos);
    if (!row) throw Error(err::RecordDeleted);
    d_->buffer = *row;
    d_->asRead = *row;
    d_->dirty.assign(d_->buffer.size(), false);
    d_->editKey = (*d_->keys)[size_t(d_->pos)];
    editMode_ = dbEditInProgress;
}

void Recordset::Edit(const std::vector<QVariant>& asRead) {
    const bool started = editMode_ == dbEditNone;
    Edit();
    if (started && asRead.size() == d_->asRead.size()) d_->asRead = asRead;
}

void Recordset::Update() {
    d_->checkOpen();
    if (editMode_ == dbEditNone) throw Error(err::UpdateWithoutEdit);
    d_->checkUpdatable();
    std::vector<std::pair<int, QVariant>> values;
    for (size_t i = 0; i < d_->dirty.size(); ++i)
        if (d_->dirty[i]) values.emplace_back(int(i), d_->buffer[i]);
    if (editMode_ == dbEditAdd) {
        const long long before = d_->size();
        const sqlite3_int64 key = d_->insertRow(values);
        d_->lastModified = keyBytes(key);
        // Back to the row that was current before AddNew (past the end stays there).
        const bool wasEof = d_->posBeforeAdd >= before;
        d_->dropEdit();
        if (wasEof) d_->pos = d_->size();
        d_->rowsChanged();
        d_->moved();
    } else {
        std::vector<std::pair<int, QVariant>> expected;
        for (const auto& v : values) expected.emplace_back(v.first, d_->asRead[size_t(v.first)]);
        try {
            d_->writeRow(d_->editKey, values, expected);
        } catch (const Error& e) {
            // The stored values become the ones to compare with: a second
            // Update replaces them on purpose.
            if (e.Number() == err::WriteConflict)
                if (const auto* row = d_->rowAt(d_->pos)) d_->asRead = *row;
            throw;
        }
        d_->lastModified = keyBytes(d_->editKey);
        d_->dropEdit();
        d_->rowsChanged();
    }
}

void Recordset::CancelUpdate() {
    d_->checkOpen();
    if (editMode_ == dbEditNone) throw Error(err::UpdateWithoutEdit);
    const bool wasAdd = editMode_ == dbEditAdd;
    d_->dropEdit();
    if (wasAdd) d_->moved();
}

void Recordset::Delete() {
    d_->checkOpen();
    d_->checkUpdatable();
    if (editMode_ == dbEditAdd) throw noCurrentRecord();
    if (d_->onDeleted) throw Error(err::RecordDeleted);
    if (!d_->hasCurrent()) throw noCurrentRecord();
    d_->aboutToLeave(LeaveReason::Delete);
    if (editMode_ != dbEditNone) d_->dropEdit();
    if (d_->onDeleted) throw Error(err::RecordDeleted);
    if (!d_->hasCurrent()) throw noCurrentRecord();
    d_->removeAt(d_->pos);
    d_->rowsChanged();
}

void Recordset::Requery() {
    d_->checkOpen();
    d_->aboutToLeave(LeaveReason::Requery);
    d_->dropEdit();
    d_->run();
    d_->rowsChanged();
    d_->moved();
}

RecordsetPtr Recordset::OpenRecordset(int type) {
    d_->checkOpen();
    // Those rows are never read again; a sort reorders them as they are.
    if (d_->fixed && sort_.empty())
        throw Error(err::InvalidOperation,
                    QStringLiteral("These are the rows the statement returned when it changed the log. They are "
                                   "kept as it returned them and are not read again."));
    if (type == 0) type = type_;
    if (type != dbOpenTable && type != dbOpenDynaset && type != dbOpenSnapshot) throw Error(err::InvalidPropertyValue);
    if (sort_.empty()) return db_->openStatement(source_, d_->sql, type);
    RecordsetPtr sorted = openSorted(type);
    sorted->sortedBy_ = sort_;
    return sorted;
}

RecordsetPtr Recordset::openSorted(int type) {
    const std::vector<int> fields = d_->sortFields(sort_);
    if (d_->keyed && d_->shape.limit.isEmpty()) {
        // Every row the statement picks, in the new order: the statement
        // runs again with its own order replaced. Rows that sort alike keep
        // one order (by row id, in the direction of the last key, as an
        // index on the field gives it), so the first rows collected are the
        // first rows of all.
        QStringList refs;
        for (const QString& name : names_) refs << sql::quoteName(name);
        QString statement = QStringLiteral("SELECT %1 FROM %2").arg(d_->shape.selectList, d_->shape.fromClause);
        if (!d_->shape.where.isEmpty()) statement += u'\n' + d_->shape.where;
        statement += QStringLiteral("\nORDER BY ") + d_->orderTerms(sort_, fields, refs) +
                     (sort_.back().descending ? QStringLiteral(", rowid DESC") : QStringLiteral(", rowid"));
        if (type != dbOpenDynaset) return db_->openStatement(source_, statement, type);
        // A sorted dynaset collects its first rows now, the rest when needed.
        RecordsetPtr sorted(new Recordset(db_, source_, type));
        sorted->d_->lazy = true;
        sorted->d_->open(statement);
        return sorted;
    }
    if (d_->keyed) return d_->sortKeySet(sort_, type);
    // Rows held by the set are reordered as they are. After a run of the
    // statement they are sorted by these keys and then by the earlier
    // ones, which is the order they have now.
    RecordsetPtr sorted(new Recordset(db_, source_, type));
    sorted->names_ = names_;
    Impl& d = *sorted->d_;
    d.copyFrom(*d_);
    d.rows = std::make_shared<std::vector<std::vector<QVariant>>>(
        reordered(*d_->rows, d_->heldPositions(*d_->rows, sort_)));
    d.heldOrder = sort_;
    for (const SortKey& earlier : d_->heldOrder) {
        const bool again = std::any_of(sort_.begin(), sort_.end(), [&](const SortKey& k) {
            return k.field.compare(earlier.field, Qt::CaseInsensitive) == 0;
        });
        if (!again) d.heldOrder.push_back(earlier);
    }
    d.pos = d.size() > 0 ? 0 : -1;
    return sorted;
}

RecordsetPtr Recordset::Clone() {
    d_->checkOpen();
    d_->completeKeys();
    RecordsetPtr copy(new Recordset(db_, source_, type_));
    copy->names_ = names_;
    copy->sortedBy_ = sortedBy_;
    copy->d_->copyFrom(*d_);
    return copy;
}

void Recordset::Close() {
    if (d_->closed) return;
    if (db_ && db_->isOpen()) d_->aboutToLeave(LeaveReason::Close);
    d_->dropEdit();
    d_->closed = true;
    d_->keys.reset();
    d_->rows.reset();
    d_->dropCache();
    d_->fetchStmt = Statement();
    d_->versionStmt = Statement();
    d_->pos = -1;
}

QVariant Recordset::valueAt(long long p, int field) const {
    d_->checkOpen();
    if (p < 0 || p >= d_->size()) throw noCurrentRecord();
    if (field < 0 || field >= names_.size()) throw Error(err::ItemNotFound);
    const auto* row = d_->rowAt(p);
    return row ? (*row)[size_t(field)] : QVariant();
}

bool Recordset::rowDeleted(long long p) const {
    d_->checkOpen();
    if (p < 0 || p >= d_->size()) throw noCurrentRecord();
    return d_->rowAt(p) == nullptr;
}

void Recordset::updateRow(long long p, const std::vector<std::pair<int, QVariant>>& values,
                          const std::vector<std::pair<int, QVariant>>& expected) {
    d_->checkOpen();
    d_->checkUpdatable();
    if (p < 0 || p >= d_->size()) throw noCurrentRecord();
    for (const auto* list : {&values, &expected})
        for (const auto& v : *list)
            if (v.first < 0 || v.first >= names_.size()) throw Error(err::ItemNotFound);
    d_->writeRow((*d_->keys)[size_t(p)], values, expected);
    d_->rowsChanged();
}

void Recordset::deleteRow(long long p) {
    d_->checkOpen();
    d_->checkUpdatable();
    if (p < 0 || p >= d_->size()) throw noCurrentRecord();
    d_->removeAt(p);
    d_->rowsChanged();
}

void Recordset::deleteRows(std::vector<long long> positions) {
    d_->checkOpen();
    d_->checkUpdatable();
    std::sort(positions.begin(), positions.end(), std::greater<long long>());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    for (long long p : positions)
        if (p < 0 || p >= d_->size()) throw noCurrentRecord();
    if (positions.empty()) return;
    d_->removeRows(positions);
    d_->rowsChanged();
}

QByteArray Recordset::bookmarkAt(long long p) const {
    d_->checkOpen();
    if (p < 0 || p >= d_->size()) throw noCurrentRecord();
    return keyBytes(d_->keyed ? (*d_->keys)[size_t(p)] : p);
}

long long Recordset::findBookmark(const QByteArray& bookmark, bool collectRest) {
    d_->checkOpen();
    const sqlite3_int64 key = bytesKey(bookmark);
    long long p = d_->positionOf(key);
    if (p < 0 && collectRest && !d_->keysComplete) {
        d_->completeKeys();
        p = d_->positionOf(key);
    }
    return p;
}

QString Recordset::readOnlyReason() const {
    if (Updatable()) return {};
    if (d_->closed) return QStringLiteral("closed");
    if (type_ == dbOpenSnapshot) return QStringLiteral("a snapshot");
    if (d_->keyed) return QStringLiteral("read-only file");
    // Grouped, joined, distinct or calculated: not stored rows of one table.
    return QStringLiteral("computed rows");
}

long long Recordset::addRow(const std::vector<std::pair<int, QVariant>>& values) {
    d_->checkOpen();
    d_->checkUpdatable();
    for (const auto& v : values)
        if (v.first < 0 || v.first >= names_.size()) throw Error(err::ItemNotFound);
    d_->completeKeys();  // the new row joins the end of the whole set
    const bool atEnd = editMode_ != dbEditAdd && d_->pos >= d_->size();
    d_->insertRow(values);
    if (atEnd) d_->pos = d_->size();  // past the end stays past the end
    d_->rowsChanged();
    return d_->size() - 1;
}

void Recordset::addObserver(RecordsetObserver* observer) {
    if (observer && std::find(d_->observers.begin(), d_->observers.end(), observer) == d_->observers.end())
        d_->observers.push_back(observer);
}

void Recordset::removeObserver(RecordsetObserver* observer) {
    d_->observers.erase(std::remove(d_->observers.begin(), d_->observers.end(), observer), d_->observers.end());
}

// ---------------------------------------------------------------- Fields

const QString& Field::Name() const { return rs_->names_[index_]; }

QVariant Field::Value() const {
    auto& d = *rs_->d_;
    d.checkOpen();
    if (rs_->editMode_ != dbEditNone) return d.buffer[size_t(index_)];
    if (d.onDeleted) throw Error(err::RecordDeleted);
    if (!d.hasCurrent()) throw noCurrentRecord();
    const auto* row = d.rowAt(d.pos);
    return row ? (*row)[size_t(index_)] : QVariant();
}

void Field::setValue(const QVariant& v) {
    auto& d = *rs_->d_;
    d.checkOpen();
    if (rs_->editMode_ == dbEditNone) throw Error(err::UpdateWithoutEdit);
    d.buffer[size_t(index_)] = d.prepareValue(index_, v);
    d.dirty[size_t(index_)] = true;
}

int FieldList::Count() const { return rs_->names_.size(); }

Field FieldList::Item(int index) const {
    if (index < 0 || index >= rs_->names_.size()) throw Error(err::ItemNotFound);
    return Field(rs_, index);
}

Field FieldList::Item(const QString& name) const {
    const int i = indexOf(name);
    if (i < 0) throw Error(err::ItemNotFound, QStringLiteral("Item not found in this collection: no field '%1'.").arg(name));
    return Field(rs_, i);
}

int FieldList::indexOf(const QString& name) const {
    for (int i = 0; i < rs_->names_.size(); ++i)
        if (rs_->names_[i].compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

}  // namespace dao

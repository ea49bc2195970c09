// SPDX-License-Identifier: GPL-3.0-or-later
// A table of an old desktop-database file (Microsoft Access .mdb, Jet 3
// and Jet 4, or .accdb), read with mdbtools' library, libmdb (Debian's
// mdbtools-dev). The library rather than the mdb-export program: the
// program prints every date through C's struct tm, and libmdb's conversion
// gives up before 1899-12-30 (such dates come out as "1900-01-00", whatever
// the format asked for). Through the library each value is read as the
// file stores it: a DateTime as its number of days since 1899-12-30,
// numbers as numbers, and only text through the library's conversion to
// UTF-8. The file is opened read-only.

#include "source.h"

#include <QFile>

#include <mdbtools.h>

#include <cmath>
#include <cstring>

namespace transfer {

namespace {

// Room for a text value: a memo field of 65,535 characters, in UTF-8.
constexpr size_t kBindBytes = size_t(4 * 65'535 + 8);

// DateTime values: days since 1899-12-30; before that day the whole days
// count back and the fraction still counts forward into the day.
bool dayOf(double value, QDate* day) {
    // 100-01-01 to 9999-12-31, the range the desktop database allows.
    if (!std::isfinite(value) || value < -657434.0 || value >= 2958466.0) return false;
    *day = QDate(1899, 12, 30).addDays((long long)std::trunc(value));
    return day->isValid();
}

QString formatName(int version) {
    switch (version) {
    case MDB_VER_JET3: return QStringLiteral("Jet 3");
    case MDB_VER_JET4: return QStringLiteral("Jet 4");
    default: return QStringLiteral("ACCDB");
    }
}

class AccessSource final : public Source {
public:
    AccessSource(const QString& path, const QString& table) : path_(path) {
        const QByteArray name = QFile::encodeName(path);
        mdb_ = mdb_open(name.constData(), MDB_NOFLAGS);
        if (!mdb_) throw TransferError(QStringLiteral("Could not read the desktop-database file '%1'.").arg(path));
        mdb_set_bind_size(mdb_, kBindBytes);
        if (!mdb_read_catalog(mdb_, MDB_TABLE)) fail(QStringLiteral("its list of tables cannot be read"));
        QStringList tables;
        MdbCatalogEntry* chosen = nullptr;
        for (unsigned i = 0; i < mdb_->num_catalog; ++i) {
            auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb_->catalog, i));
            if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry)) continue;
            const QString n = QString::fromUtf8(entry->object_name);
            tables << n;
            if (!chosen && n.compare(table, Qt::CaseInsensitive) == 0) chosen = entry;
        }
        if (!chosen)
            throw TransferError(QStringLiteral("'%1' has no table '%2'; its tables are: %3. Name one with --table.")
                                    .arg(path, table, tables.isEmpty() ? QStringLiteral("(none)") : tables.join(QStringLiteral(", "))));
        table_ = mdb_read_table(chosen);
        if (!table_ || !mdb_read_columns(table_)) fail(QStringLiteral("the table '%1' cannot be read").arg(table));
        tableName_ = QString::fromUtf8(chosen->object_name);
        for (unsigned i = 0; i < table_->num_cols; ++i)
            columns_ << QString::fromUtf8(column(int(i))->name);
        bound_.resize(table_->num_cols);
        rewind();
    }

    ~AccessSource() override {
        if (table_) mdb_free_tabledef(table_);
        if (mdb_) mdb_close(mdb_);
    }

    const QStringList& columns() const override { return columns_; }

    bool next(const std::vector<int>& wanted, std::vector<Value>& values, QString* problem) override {
        for (int c : wanted) bind(c);
        if (!mdb_fetch_row(table_)) return false;
        ++record_;
        problem->clear();
        values.resize(wanted.size());
        for (size_t i = 0; i < wanted.size(); ++i) read(wanted[i], values[i]);
        return true;
    }

    long long at() const override { return record_; }
    QString unit() const override { return QStringLiteral("record"); }

    void rewind() override {
        mdb_rewind_table(table_);
        record_ = 0;
    }

    double progress() const override {
        return table_->num_rows ? std::min(1.0, double(record_) / double(table_->num_rows)) : 1.0;
    }

    QString describe() const override {
        return QStringLiteral("Microsoft Access database (%1), table %2").arg(formatName(mdb_->f->jet_version), tableName_);
    }

private:
    [[noreturn]] void fail(const QString& why) {
        throw TransferError(QStringLiteral("Could not read the desktop-database file '%1': %2.").arg(path_, why));
    }

    MdbColumn* column(int i) const { return static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, i)); }

    // Text comes through the library's own conversion: bound to a buffer.
    void bind(int c) {
        Bound& b = bound_[size_t(c)];
        if (!b.buffer.empty()) return;
        b.buffer.assign(kBindBytes, '\0');
        mdb_bind_column(table_, c + 1, b.buffer.data(), &b.length);
    }

    void read(int c, Value& v) {
        MdbColumn* col = column(c);
        const unsigned char* raw = mdb_->pg_buf + col->cur_value_start;
        v.quoted = false;
        v.tooLong = 0;
        if (col->col_type != MDB_BOOL && col->cur_value_len == 0) {
            v.kind = Value::Null;
            return;
        }
        switch (col->col_type) {
        case MDB_BYTE:
            v.kind = Value::Integer;
            v.integer = raw[0];
            return;
        case MDB_INT:
            v.kind = Value::Integer;
            v.integer = mdb_get_int16(mdb_->pg_buf, col->cur_value_start);
            return;
        case MDB_LONGINT:
            v.kind = Value::Integer;
            v.integer = mdb_get_int32(mdb_->pg_buf, col->cur_value_start);
            return;
        case MDB_DOUBLE:
            v.kind = Value::Real;
            v.real = mdb_get_double(mdb_->pg_buf, col->cur_value_start);
            return;
        case MDB_FLOAT:
            v.kind = Value::Real;
            v.real = mdb_get_single(mdb_->pg_buf, col->cur_value_start);
            return;
        case MDB_DATETIME: {
            QDate day;
            if (dayOf(mdb_get_double(mdb_->pg_buf, col->cur_value_start), &day)) {
                v.kind = Value::DateTime;
                v.date = day;
            } else {
                // Kept as text that no reading of a date accepts.
                v.kind = Value::Text;
                v.text = "(a date outside the years 100 to 9999)";
            }
            return;
        }
        default: {
            const Bound& b = bound_[size_t(c)];
            v.kind = Value::Text;
            v.text.assign(b.buffer.data(), strnlen(b.buffer.data(), b.buffer.size()));
            // The library cuts a longer value off at the buffer's end.
            if (v.text.size() + 8 >= kBindBytes) v.tooLong = qint64(v.text.size());
            return;
        }
        }
    }

    struct Bound {
        std::string buffer;
        int length = 0;
    };

    QString path_;
    QString tableName_;
    MdbHandle* mdb_ = nullptr;
    MdbTableDef* table_ = nullptr;
    QStringList columns_;
    std::vector<Bound> bound_;
    long long record_ = 0;
};

}  // namespace

std::unique_ptr<Source> openAccess(const QString& path, const QString& table) {
    return std::make_unique<AccessSource>(path, table.isEmpty() ? QStringLiteral("runlog") : table);
}

}  // namespace transfer

// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-table reading and writing: Database::AppendRows and ReadRows.

#include "dao.h"

#include "sqlite_util.h"
#include "sqltext.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace dao {

using detail::Statement;

namespace {

// Below this many rows, keeping the indexes up to date row by row costs
// less than building them again.
constexpr long long kRebuildIndexesFrom = 10'000;
// Rows one INSERT statement adds, and the most parameters it may have.
constexpr int kBatch = 64;
constexpr int kMaxParameters = 999;

// The statements that make the table's own indexes (not those SQLite makes
// for UNIQUE and PRIMARY KEY, which have no statement and cannot be dropped).
std::vector<std::pair<QString, QString>> indexesOf(sqlite3* db, const QString& table) {
    Statement s(db, QStringLiteral("SELECT name, sql FROM sqlite_schema WHERE type = 'index' AND tbl_name = ?1 "
                                   "AND sql IS NOT NULL"));
    s.bind(1, table);
    std::vector<std::pair<QString, QString>> out;
    while (s.step()) out.emplace_back(s.column(0).toString(), s.column(1).toString());
    return out;
}

long long rowsIn(sqlite3* db, const QString& table) {
    Statement s(db, QStringLiteral("SELECT count(*) FROM %1").arg(sql::quoteName(table)));
    return s.step() ? s.columnInt64(0) : 0;
}

}  // namespace

long long Database::AppendRows(const QString& table, const QStringList& fields, RowSource& source,
                               long long expectedRows) {
    if (!db_) throw Error(err::ObjectInvalid);
    QString actual;
    bool isView = false;
    if (!findTable(table, &actual, &isView) || isView)
        throw Error(err::InputTableNotFound,
                    QStringLiteral("Cannot find the table '%1' to add the rows to.").arg(table));
    QStringList cols;
    for (const QString& f : fields) cols << sql::quoteName(f);
    // "INSERT ... VALUES (?1, ?2), (?3, ?4), ..." for rows rows at once.
    auto insertOf = [&](int rows) {
        QStringList tuples;
        for (int r = 0, n = 0; r < rows; ++r) {
            QStringList params;
            for (int i = 0; i < fields.size(); ++i) params << QStringLiteral("?%1").arg(++n);
            tuples << u'(' + params.join(QStringLiteral(", ")) + u')';
        }
        return Statement(db_, QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                                  .arg(sql::quoteName(actual), cols.join(QStringLiteral(", ")),
                                       tuples.join(QStringLiteral(", "))));
    };
    // Prepared before anything is written: an unknown field is refused here.
    Statement one = insertOf(1);
    // Rows go in kBatch at a time: one statement's run costs the engine
    // about as much as a row.
    const int batch = std::max(1, std::min(kBatch, kMaxParameters / int(std::max<qsizetype>(1, fields.size()))));
    Statement many = insertOf(batch);
    willWrite(WriteKind::Statement);
    detail::WriteTransaction t(db_);
    std::vector<std::pair<QString, QString>> rebuild;
    if (expectedRows >= kRebuildIndexesFrom && expectedRows >= rowsIn(db_, actual)) {
        rebuild = indexesOf(db_, actual);
        for (const auto& index : rebuild)
            detail::exec(db_, QStringLiteral("DROP INDEX %1").arg(sql::quoteName(index.first)));
    }
    // The rows' buffers stay put until their statement has run.
    std::vector<AppendRow> rows(size_t(batch), AppendRow(int(fields.size())));
    auto bindRow = [](sqlite3_stmt* st, const AppendRow& row, int first) {
        for (int i = 0; i < row.count(); ++i) {
            const AppendRow::Value& v = row.value(i);
            switch (v.kind) {
            case AppendRow::Value::Null:
                sqlite3_bind_null(st, first + i);
                break;
            case AppendRow::Value::Integer:
                sqlite3_bind_int64(st, first + i, v.integer);
                break;
            case AppendRow::Value::Text: {
                // A length of -1 tells the engine the text ends in a NUL (so
                // functions of the table's checks read it without a copy);
                // text with a NUL inside it is bound by its length.
                const bool terminated = std::strlen(v.text.c_str()) == v.text.size();
                sqlite3_bind_text(st, first + i, v.text.c_str(), terminated ? -1 : int(v.text.size()), SQLITE_STATIC);
                break;
            }
            }
        }
    };
    auto run = [](Statement& s) {
        s.step();
        sqlite3_reset(s.get());
    };
    long long added = 0;
    int held = 0;
    while (source.next(rows[size_t(held)])) {
        if (++held < batch) continue;
        for (int r = 0; r < batch; ++r) bindRow(many.get(), rows[size_t(r)], 1 + r * int(fields.size()));
        run(many);
        added += held;
        held = 0;
    }
    for (int r = 0; r < held; ++r) {
        bindRow(one.get(), rows[size_t(r)], 1);
        run(one);
    }
    added += held;
    one.reset();
    many.reset();
    for (const auto& index : rebuild) detail::exec(db_, index.second);
    if (!source.keep()) return 0;
    t.commit();
    ++localChanges_;
    return added;
}

RowReader Database::ReadRows(const QString& sql) {
    if (!db_) throw Error(err::ObjectInvalid);
    Statement s(db_, sql);
    if (!sqlite3_stmt_readonly(s.get()))
        throw Error(err::InvalidOperation, QStringLiteral("Only a statement that reads rows can be read."));
    return RowReader(shared_from_this(), s.release());
}

RowReader::RowReader(RowReader&& other) noexcept
    : db_(std::move(other.db_)), stmt_(std::exchange(other.stmt_, nullptr)) {}

RowReader::~RowReader() { sqlite3_finalize(stmt_); }

bool RowReader::next() {
    if (!stmt_) return false;
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) {
        // Ends the read, so that it holds no snapshot of the file.
        sqlite3_reset(stmt_);
        return false;
    }
    Error e = detail::errorFor(db_->handle(), rc, detail::Stage::Run);
    sqlite3_reset(stmt_);
    throw e;
}

int RowReader::columnCount() const { return sqlite3_column_count(stmt_); }

RowReader::Type RowReader::type(int column) const { return Type(sqlite3_column_type(stmt_, column)); }

long long RowReader::integer(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string_view RowReader::text(int column) const {
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return t ? std::string_view(t, size_t(sqlite3_column_bytes(stmt_, column))) : std::string_view();
}

}  // namespace dao

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Turning the records of a source into runs of the log: which column is
// which field, in what order the dates are written, which rows are refused
// (and why) and which are already in the log.

#include "source.h"
#include "values.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace dao {
class Database;
}

namespace transfer {

struct ImportOptions {
    // Field -> column, for fields the source calls otherwise (--map).
    std::vector<std::pair<QString, QString>> map;
    DateOrder dateOrder = DateOrder::Unknown;  // Unknown: the file's dates tell
    bool allowDuplicates = false;
    // Told now and then how far the reading is (a phase and 0 to 1).
    std::function<void(const QString& phase, double fraction)> progress;
};

// One run as it will be added.
struct Entry {
    char date[10] = {};   // YYYY-MM-DD
    long long minutes = 0;
    std::string type;
    bool hasDescription = false;  // false: none (stored as Null)
    std::string description;
};

struct Refusal {
    long long at = 0;  // line or record number
    QString reason;
};

struct ImportReport {
    // The first refusals and duplicates are listed; all are counted.
    static constexpr size_t kListed = 100;

    QString source;          // what the source is
    QString unit;            // "line" or "record"
    QStringList mapping;     // one line per field: where its values come from
    QStringList leftOut;     // the source's columns no field takes
    QString dateOrder;       // how slashed dates are read, and why ("" when there are none)
    long long read = 0;      // rows read
    long long accepted = 0;  // rows to add
    long long duplicates = 0;
    std::vector<long long> duplicateAt;
    long long refused = 0;
    std::vector<Refusal> refusals;
    long long rounded = 0;        // durations with seconds, rounded to whole minutes
    long long typeDefaulted = 0;  // rows without a type, stored as "normal"
};

// The runs a log holds, to tell duplicates by: the same day, duration,
// type and description (no description and an empty one count alike).
// Held as 128-bit digests, about 40 bytes a run.
class EntryKeys {
public:
    // Every run of the log open in db.
    static EntryKeys of(dao::Database& db);
    bool contains(const Entry& entry) const;
    void add(const Entry& entry);
    // How many runs were added (alike ones each).
    long long runs() const { return runs_; }

private:
    struct Key {
        quint64 a = 0, b = 0;
        bool operator==(const Key& o) const { return a == o.a && b == o.b; }
    };
    struct KeyHash {
        size_t operator()(const Key& k) const { return size_t(k.a); }
    };
    void addRaw(std::string_view date, std::string_view minutes, std::string_view type, std::string_view description);
    Key keyOf(std::string_view date, std::string_view minutes, std::string_view type,
              std::string_view description) const;
    std::unordered_set<Key, KeyHash> keys_;
    long long runs_ = 0;
    mutable std::string scratch_;
};

class Importer {
public:
    // Maps the source's columns to the log's fields and, unless the options
    // give the order, reads the source through for the order of its dates
    // when its first rows hold a slashed date (else when one turns up).
    // Throws TransferError when a field has no column, a column name is
    // unknown, or the dates leave their order open (next() throws it too
    // when the date that needs the order comes late).
    Importer(Source& source, ImportOptions options);

    // The next row to add, read from the start of the source onwards;
    // refused rows and rows already in existing are counted and passed
    // over. False after the last row.
    bool next(Entry& entry, const EntryKeys& existing);

    const ImportReport& report() const { return report_; }
    // The rows of the source: counted when it was read through for the
    // order of its dates, else reckoned from its first rows.
    long long rowsInSource() const { return rowsInSource_; }

private:
    enum Field { Date, Time, Type, Description, FieldCount };
    void mapColumns();
    void settleDateOrder();
    void refuse(const QString& reason);
    void tell(const QString& phase, long long rows);
    bool convert(Entry& entry, QString* problem);

    Source& source_;
    ImportOptions options_;
    ImportReport report_;
    int column_[FieldCount] = {-1, -1, -1, -1};
    std::vector<int> wanted_;
    int slot_[FieldCount] = {-1, -1, -1, -1};  // the field's place in wanted_
    DateOrder order_ = DateOrder::Unknown;
    std::vector<Value> values_;
    static constexpr long long kPeekRows = 1000;
    bool orderSettled_ = false;
    bool started_ = false;
    long long rowsInSource_ = 0;
};

const char* orderName(DateOrder order);

// Adds the rows the importer accepts to the log open in db, in one
// transaction (Database::AppendRows: the engine's before-write hook, the
// table's own checks), or none of them once a row is refused unless
// skipBad. The rest of the source is read all the same, so that every
// refusal is reported. Returns the runs added.
long long addRows(Importer& importer, dao::Database& db, const EntryKeys& existing, bool skipBad);

}  // namespace transfer

// SPDX-License-Identifier: GPL-3.0-or-later
#include "importer.h"

#include "logstore/logfile.h"
#include "logstore/runtypes.h"

#include "dao/dao.h"

#include <QHash>

#include <algorithm>
#include <cstring>

namespace transfer {

namespace {

// The names a header may give each field, in the log's field order.
const QStringList& namesOf(int field) {
    static const QStringList names[] = {
        {QStringLiteral("Date"), QStringLiteral("Day")},
        {QStringLiteral("Time"), QStringLiteral("Duration"), QStringLiteral("Minutes")},
        {QStringLiteral("Type"), QStringLiteral("Kind"), QStringLiteral("Sport")},
        {QStringLiteral("Description"), QStringLiteral("Notes"), QStringLiteral("Comment")},
    };
    return names[field];
}

QString quotedList(const QStringList& names) {
    QStringList out;
    for (const QString& n : names) out << u'"' + n + u'"';
    return out.join(QStringLiteral(", "));
}

// Characters in UTF-8 text (every byte that does not continue a sequence).
long long characters(const std::string& text) {
    long long n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80;
    return n;
}

QString numberText(const Value& v) {
    switch (v.kind) {
    case Value::Integer: return QString::number(v.integer);
    case Value::Real: return QString::number(v.real, 'g', 17);
    case Value::DateTime: return v.date.toString(Qt::ISODate);
    default: return QString();
    }
}

// A type or a description: text as it stands, numbers and dates as text.
bool textOf(const Value& v, const char* field, std::string* out, QString* problem) {
    if (v.kind != Value::Text) {
        *out = numberText(v).toStdString();
        return true;
    }
    const long long length = v.tooLong ? v.tooLong : (v.text.size() > size_t(kMaxTextCharacters) ? characters(v.text) : 0);
    if (length > kMaxTextCharacters) {
        *problem = QStringLiteral("the %1 is %2 %3 long; at most %4 characters are kept")
                       .arg(QLatin1String(field))
                       .arg(length)
                       .arg(v.tooLong ? QStringLiteral("bytes") : QStringLiteral("characters"))
                       .arg(kMaxTextCharacters);
        return false;
    }
    *out = v.text;
    return true;
}

}  // namespace

const char* orderName(DateOrder order) {
    switch (order) {
    case DateOrder::DayMonth: return "day/month/year";
    case DateOrder::MonthDay: return "month/day/year";
    case DateOrder::Unknown: break;
    }
    return "";
}

// Keys --------------------------------------------------------------------

EntryKeys::Key EntryKeys::keyOf(std::string_view date, std::string_view minutes, std::string_view type,
                                std::string_view description) const {
    // A day and a number never hold the separator; the type's length keeps
    // the two texts apart whatever they hold.
    scratch_.clear();
    for (std::string_view part : {date, minutes}) {
        scratch_.append(part);
        scratch_.push_back('\x1f');
    }
    scratch_.append(std::to_string(type.size()));
    scratch_.push_back('\x1f');
    scratch_.append(type);
    scratch_.append(description);
    const QByteArrayView bytes(scratch_.data(), qsizetype(scratch_.size()));
    return Key{quint64(qHash(bytes, size_t(0x9e3779b97f4a7c15ULL))), quint64(qHash(bytes, size_t(0xc2b2ae3d27d4eb4fULL)))};
}

void EntryKeys::addRaw(std::string_view date, std::string_view minutes, std::string_view type,
                       std::string_view description) {
    keys_.insert(keyOf(date, minutes, type, description));
    ++runs_;
}

void EntryKeys::add(const Entry& e) {
    const std::string minutes = std::to_string(e.minutes);
    addRaw(std::string_view(e.date, 10), minutes, e.type, e.description);
}

bool EntryKeys::contains(const Entry& e) const {
    if (keys_.empty()) return false;
    char minutes[24];
    const int n = std::snprintf(minutes, sizeof minutes, "%lld", e.minutes);
    return keys_.count(keyOf(std::string_view(e.date, 10), std::string_view(minutes, size_t(n)), e.type,
                             e.hasDescription ? std::string_view(e.description) : std::string_view()));
}

EntryKeys EntryKeys::of(dao::Database& db) {
    EntryKeys keys;
    dao::RowReader rows = db.ReadRows(QStringLiteral("SELECT \"Date\", \"Time\", \"Type\", \"Description\" FROM %1")
                                          .arg(logstore::tableName()));
    std::string_view parts[4];
    while (rows.next()) {
        for (int i = 0; i < 4; ++i) parts[i] = rows.type(i) == dao::RowReader::Null ? std::string_view() : rows.text(i);
        keys.addRaw(parts[0], parts[1], parts[2], parts[3]);
    }
    return keys;
}

// Importer ----------------------------------------------------------------

Importer::Importer(Source& source, ImportOptions options) : source_(source), options_(std::move(options)) {
    report_.source = source_.describe();
    report_.unit = source_.unit();
    mapColumns();
    if (options_.dateOrder != DateOrder::Unknown) {
        order_ = options_.dateOrder;
        orderSettled_ = true;
        report_.dateOrder = QStringLiteral("%1 (as --date-order says)").arg(QLatin1String(orderName(order_)));
    }
    // A file whose first rows hold a slashed date is read through for the
    // order of its dates now, before anything is written; others only
    // when such a date turns up (most never need it: one pass).
    const std::vector<int> dateOnly{column_[Date]};
    std::vector<Value> values;
    QString problem;
    long long peeked = 0;
    bool slashed = false;
    source_.rewind();
    while (peeked < kPeekRows && source_.next(dateOnly, values, &problem)) {
        ++peeked;
        slashed = slashed || (problem.isEmpty() && values[0].kind == Value::Text &&
                              readDate(values[0].text).form == DateText::Slashed);
    }
    const double seen = source_.progress();
    rowsInSource_ = peeked < kPeekRows || seen <= 0 ? peeked : (long long)(double(peeked) / seen);
    if (slashed && !orderSettled_) settleDateOrder();
}

void Importer::mapColumns() {
    const QStringList& columns = source_.columns();
    const QStringList fields = logstore::fieldNames();
    auto columnNamed = [&](const QString& name) {
        int found = -1;
        for (int i = 0; i < columns.size(); ++i) {
            if (columns[i].compare(name.trimmed(), Qt::CaseInsensitive) != 0) continue;
            if (found >= 0)
                throw TransferError(QStringLiteral("Two columns are named \"%1\"; rename one of them.").arg(columns[i]));
            found = i;
        }
        return found;
    };
    for (const auto& [field, column] : options_.map) {
        int f = -1;
        for (int i = 0; i < fields.size(); ++i)
            if (fields[i].compare(field.trimmed(), Qt::CaseInsensitive) == 0) f = i;
        if (f < 0)
            throw TransferError(QStringLiteral("--map names the field \"%1\"; the log's fields are %2.")
                                    .arg(field, fields.join(QStringLiteral(", "))));
        if (column_[f] >= 0) throw TransferError(QStringLiteral("--map names the field %1 twice.").arg(fields[f]));
        const int c = columnNamed(column);
        if (c < 0)
            throw TransferError(QStringLiteral("--map %1=%2: the source has no column \"%2\"; its columns are %3.")
                                    .arg(fields[f], column, quotedList(columns)));
        column_[f] = c;
    }
    for (int f = 0; f < FieldCount; ++f) {
        if (column_[f] >= 0) continue;
        QStringList candidates;
        for (int c = 0; c < columns.size(); ++c) {
            if (std::find(std::begin(column_), std::end(column_), c) != std::end(column_)) continue;
            if (namesOf(f).contains(columns[c], Qt::CaseInsensitive)) {
                candidates << columns[c];
                column_[f] = c;
            }
        }
        if (candidates.size() > 1)
            throw TransferError(QStringLiteral("The columns %1 could each be the %2; say which with --map %2=COLUMN.")
                                    .arg(quotedList(candidates), fields[f]));
    }
    for (int f : {Date, Time}) {
        if (column_[f] >= 0) continue;
        throw TransferError(QStringLiteral("No column gives the %1 (a column named %2). The columns are %3; name the "
                                           "one to use with --map %1=COLUMN.")
                                .arg(fields[f], namesOf(f).join(QStringLiteral(" or ")), quotedList(columns)));
    }
    for (int f = 0; f < FieldCount; ++f) {
        if (column_[f] < 0) {
            report_.mapping << (f == Type ? QStringLiteral("%1: no column; every run is stored as \"%2\"")
                                                .arg(fields[f], logstore::blankRunType())
                                          : QStringLiteral("%1: no column; left empty").arg(fields[f]));
            continue;
        }
        slot_[f] = int(wanted_.size());
        wanted_.push_back(column_[f]);
        report_.mapping << QStringLiteral("%1: column \"%2\"").arg(fields[f], columns[column_[f]]);
    }
    for (int c = 0; c < columns.size(); ++c)
        if (std::find(std::begin(column_), std::end(column_), c) == std::end(column_)) report_.leftOut << columns[c];
}

void Importer::tell(const QString& phase, long long rows) {
    if (options_.progress && rows % 4096 == 0) options_.progress(phase, source_.progress());
}

void Importer::settleDateOrder() {
    // The whole source is read once for its dates (and its size).
    const QString unit = source_.unit();
    DateOrderEvidence evidence;
    const std::vector<int> dateOnly{column_[Date]};
    std::vector<Value> values;
    QString problem;
    source_.rewind();
    rowsInSource_ = 0;
    while (source_.next(dateOnly, values, &problem)) {
        tell(QStringLiteral("reading"), ++rowsInSource_);
        if (problem.isEmpty() && values[0].kind == Value::Text) evidence.add(readDate(values[0].text), source_.at());
    }
    source_.rewind();
    orderSettled_ = true;
    if (evidence.contradicts())
        throw TransferError(QStringLiteral("The dates are written both day first (%1 %2) and month first (%1 %3). Say "
                                           "which order the file uses with --date-order dmy or --date-order mdy; "
                                           "the dates that do not fit it are then refused.")
                                .arg(unit)
                                .arg(evidence.dayFirstAt())
                                .arg(evidence.monthFirstAt()));
    order_ = evidence.order();
    if (order_ != DateOrder::Unknown) {
        report_.dateOrder = QStringLiteral("%1 (%2 %3 can only be read so)")
                                .arg(QLatin1String(orderName(order_)), unit)
                                .arg(order_ == DateOrder::DayMonth ? evidence.dayFirstAt() : evidence.monthFirstAt());
        return;
    }
    if (evidence.ambiguousAt())
        throw TransferError(QStringLiteral("The dates could be day/month/year or month/day/year (%1 %2, for one), and "
                                           "no date in the file tells which. Say which with --date-order dmy or "
                                           "--date-order mdy.")
                                .arg(unit)
                                .arg(evidence.ambiguousAt()));
}

void Importer::refuse(const QString& reason) {
    ++report_.refused;
    if (report_.refusals.size() < ImportReport::kListed) report_.refusals.push_back({source_.at(), reason});
}

bool Importer::next(Entry& entry, const EntryKeys& existing) {
    if (!started_) {
        source_.rewind();
        started_ = true;
    }
    QString problem;
    while (source_.next(wanted_, values_, &problem)) {
        tell(QStringLiteral("importing"), ++report_.read);
        if (problem.isEmpty()) convert(entry, &problem);
        if (!problem.isEmpty()) {
            refuse(problem);
            continue;
        }
        if (!options_.allowDuplicates && existing.contains(entry)) {
            ++report_.duplicates;
            if (report_.duplicateAt.size() < ImportReport::kListed) report_.duplicateAt.push_back(source_.at());
            continue;
        }
        ++report_.accepted;
        return true;
    }
    return false;
}

bool Importer::convert(Entry& entry, QString* problem) {
    // Date.
    const Value& date = values_[size_t(slot_[Date])];
    switch (date.kind) {
    case Value::DateTime: {
        const QByteArray iso = date.date.toString(Qt::ISODate).toLatin1();
        if (iso.size() != 10) {
            *problem = QStringLiteral("the date %1 is outside the years 1 to 9999").arg(QString::fromLatin1(iso));
            return false;
        }
        std::memcpy(entry.date, iso.constData(), 10);
        break;
    }
    case Value::Text: {
        if (date.tooLong) {
            *problem = QStringLiteral("the date field is %1 bytes long, which is no date").arg(date.tooLong);
            return false;
        }
        const DateText text = readDate(date.text);
        if (text.form == DateText::Slashed && !orderSettled_) {
            // Read through for the order, then on from this row again.
            const long long at = report_.read;
            settleDateOrder();
            std::vector<Value> none;
            QString skipped;
            for (long long i = 0; i < at; ++i) source_.next({}, none, &skipped);
        }
        if (!isoDate(text, order_, entry.date, problem)) return false;
        break;
    }
    case Value::Null:
        *problem = QStringLiteral("no date");
        return false;
    default:
        *problem = QStringLiteral("the date is the number %1, not a date").arg(numberText(date));
        return false;
    }
    // Time.
    const Value& time = values_[size_t(slot_[Time])];
    Duration d;
    switch (time.kind) {
    case Value::Integer: d = durationOf(time.integer); break;
    case Value::Real: d = durationOf(time.real); break;
    case Value::Text:
        d = time.tooLong ? Duration{false, 0, false, QStringLiteral("the duration field is %1 bytes long").arg(time.tooLong)}
                         : readDuration(time.text);
        break;
    case Value::Null: d.problem = QStringLiteral("no duration"); break;
    case Value::DateTime:
        d.problem = QStringLiteral("the duration is a date (%1), not a number of minutes").arg(numberText(time));
        break;
    }
    if (!d.ok) {
        *problem = d.problem;
        return false;
    }
    entry.minutes = d.minutes;
    // Type: blank is "normal", as the entry form stores it.
    entry.type.clear();
    if (slot_[Type] >= 0 && !textOf(values_[size_t(slot_[Type])], "type", &entry.type, problem)) return false;
    const bool blankType = entry.type.empty();
    if (blankType) entry.type = logstore::blankRunType().toStdString();
    // Description: an empty field is none (as the entry form stores an
    // empty box), an empty quoted one is empty text.
    entry.description.clear();
    entry.hasDescription = false;
    if (slot_[Description] >= 0) {
        const Value& v = values_[size_t(slot_[Description])];
        if (v.kind != Value::Null && !textOf(v, "description", &entry.description, problem)) return false;
        entry.hasDescription = v.kind != Value::Null && (!entry.description.empty() || v.quoted);
    }
    report_.rounded += d.rounded;
    report_.typeDefaulted += blankType;
    return true;
}

namespace {

class AcceptedRows final : public dao::RowSource {
public:
    AcceptedRows(Importer& importer, const EntryKeys& existing, bool skipBad)
        : importer_(importer), existing_(existing), skipBad_(skipBad) {}

    bool next(dao::AppendRow& row) override {
        while (importer_.next(entry_, existing_)) {
            if (blocked()) continue;
            row.setText(0, entry_.date, 10);
            row.setInteger(1, entry_.minutes);
            row.setText(2, entry_.type.data(), entry_.type.size());
            if (entry_.hasDescription) row.setText(3, entry_.description.data(), entry_.description.size());
            else row.setNull(3);
            return true;
        }
        return false;
    }
    bool keep() override { return !blocked(); }

private:
    bool blocked() const { return importer_.report().refused > 0 && !skipBad_; }
    Importer& importer_;
    const EntryKeys& existing_;
    bool skipBad_;
    Entry entry_;
};

}  // namespace

long long addRows(Importer& importer, dao::Database& db, const EntryKeys& existing, bool skipBad) {
    AcceptedRows rows(importer, existing, skipBad);
    return db.AppendRows(logstore::tableName(), logstore::fieldNames(), rows, importer.rowsInSource());
}

}  // namespace transfer

// SPDX-License-Identifier: GPL-3.0-or-later
#include "exporter.h"

#include "source.h"

#include "dao/dao.h"
#include "logstore/logfile.h"

#include <cmath>
#include <string>

namespace transfer {

namespace {

constexpr size_t kFlushAt = size_t(1) << 20;

class Output {
public:
    explicit Output(QIODevice& out) : out_(out) { buf_.reserve(kFlushAt + 4096); }
    std::string& buf() { return buf_; }
    void maybeFlush() {
        if (buf_.size() >= kFlushAt) flush();
    }
    void flush() {
        const char* p = buf_.data();
        qint64 left = qint64(buf_.size());
        while (left > 0) {
            const qint64 n = out_.write(p, left);
            if (n <= 0) throw TransferError(QStringLiteral("Could not write the runs out: %1").arg(out_.errorString()));
            p += n;
            left -= n;
        }
        buf_.clear();
    }

private:
    QIODevice& out_;
    std::string buf_;
};

void csvField(std::string& out, dao::RowReader& rows, int column) {
    if (rows.type(column) == dao::RowReader::Null) return;
    const std::string_view text = rows.text(column);
    const char* t = text.data();
    const int n = int(text.size());
    bool quote = n == 0 || t[0] == ' ' || t[0] == '\t' || t[n - 1] == ' ' || t[n - 1] == '\t';
    for (int i = 0; i < n && !quote; ++i) quote = t[i] == ',' || t[i] == '"' || t[i] == '\n' || t[i] == '\r';
    if (!quote) {
        out.append(t, size_t(n));
        return;
    }
    out.push_back('"');
    for (int i = 0; i < n; ++i) {
        if (t[i] == '"') out.push_back('"');
        out.push_back(t[i]);
    }
    out.push_back('"');
}

void jsonString(std::string& out, std::string_view text) {
    const char* t = text.data();
    const int n = int(text.size());
    static const char hex[] = "0123456789abcdef";
    out.push_back('"');
    for (int i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(t[i]);
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        default:
            if (c < 0x20) {
                out.append("\\u00");
                out.push_back(hex[c >> 4]);
                out.push_back(hex[c & 15]);
            } else {
                out.push_back(char(c));
            }
        }
    }
    out.push_back('"');
}

void jsonValue(std::string& out, dao::RowReader& rows, int column) {
    switch (rows.type(column)) {
    case dao::RowReader::Null: out.append("null"); return;
    case dao::RowReader::Integer: out.append(rows.text(column)); return;
    default: jsonString(out, rows.text(column)); return;
    }
}

}  // namespace

long long exportLog(dao::Database& db, ExportFormat format, QIODevice& out) {
    const QStringList fields = logstore::fieldNames();
    QStringList quoted;
    for (const QString& f : fields) quoted << u'"' + f + u'"';
    dao::RowReader rows = db.ReadRows(QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
                                          .arg(quoted.join(QStringLiteral(", ")), logstore::tableName()));
    std::vector<std::string> jsonNames;
    for (const QString& f : fields) {
        std::string name;
        jsonString(name, f.toStdString());
        jsonNames.push_back(name + ':');
    }
    Output o(out);
    std::string& b = o.buf();
    if (format == ExportFormat::Csv) b.append(fields.join(u',').toStdString()).append("\r\n");
    long long count = 0;
    while (rows.next()) {
        for (int c = 0; c < int(fields.size()); ++c) {
            if (format == ExportFormat::Csv) {
                if (c > 0) b.push_back(',');
                csvField(b, rows, c);
            } else {
                b.push_back(c == 0 ? '{' : ',');
                b.append(jsonNames[size_t(c)]);
                jsonValue(b, rows, c);
            }
        }
        b.append(format == ExportFormat::Csv ? "\r\n" : "}\n");
        ++count;
        o.maybeFlush();
    }
    o.flush();
    return count;
}

}  // namespace transfer

// SPDX-License-Identifier: GPL-3.0-or-later
// CSV as RFC 4180 writes it: fields in double quotes may hold the
// delimiter, line breaks and doubled quotes. The delimiter (',', ';' or
// tab) is the one the header line uses most; the text is UTF-8 (with or
// without a byte order mark) unless some bytes are not, and then
// Windows-1252. The file is read in blocks, three times at most (for its
// encoding, for the order of its dates, for its rows), and never held whole.

#include "source.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace transfer {

namespace {

constexpr qint64 kBlock = 1 << 20;
// Bytes kept of one field: a longer one is refused as too long anyway.
constexpr size_t kKeptBytes = size_t(4 * 65'535 + 4);

// Windows-1252 bytes 0x80 to 0x9F (the rest match Latin-1). The five it
// leaves undefined become the control characters of the same number, as
// Windows itself reads them.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendCp1252(std::string& out, const std::string& in) {
    out.clear();
    out.reserve(in.size() + in.size() / 4);
    for (unsigned char c : in) {
        if (c < 0x80) {
            out.push_back(char(c));
            continue;
        }
        const char16_t u = c < 0xA0 ? kCp1252High[c - 0x80] : char16_t(c);
        if (u < 0x800) {
            out.push_back(char(0xC0 | (u >> 6)));
        } else {
            out.push_back(char(0xE0 | (u >> 12)));
            out.push_back(char(0x80 | ((u >> 6) & 0x3F)));
        }
        out.push_back(char(0x80 | (u & 0x3F)));
    }
}

// Checks UTF-8 block by block (sequences may straddle blocks): no
// overlong forms, no surrogates, nothing past U+10FFFF.
class Utf8Check {
public:
    void feed(const unsigned char* p, size_t n) {
        size_t i = 0;
        while (ok_ && i < n) {
            if (need_ == 0) {
                // Plain ASCII eight bytes at a time.
                while (i + 8 <= n) {
                    std::uint64_t w;
                    std::memcpy(&w, p + i, 8);
                    if (w & 0x8080808080808080ULL) break;
                    i += 8;
                }
                if (i == n) break;
            }
            const unsigned char c = p[i++];
            if (need_ > 0) {
                if (c < lo_ || c > hi_) ok_ = false;
                lo_ = 0x80;
                hi_ = 0xBF;
                --need_;
                continue;
            }
            if (c < 0x80) continue;
            if (c >= 0xC2 && c <= 0xDF) need_ = 1;
            else if (c == 0xE0) need_ = 2, lo_ = 0xA0;
            else if (c == 0xED) need_ = 2, hi_ = 0x9F;
            else if (c >= 0xE1 && c <= 0xEF) need_ = 2;
            else if (c == 0xF0) need_ = 3, lo_ = 0x90;
            else if (c == 0xF4) need_ = 3, hi_ = 0x8F;
            else if (c >= 0xF1 && c <= 0xF3) need_ = 3;
            else ok_ = false;
        }
    }
    bool valid() const { return ok_ && need_ == 0; }

private:
    bool ok_ = true;
    int need_ = 0;
    unsigned char lo_ = 0x80, hi_ = 0xBF;
};

struct Field {
    std::string bytes;      // unquoted, at most kKeptBytes of them
    long long length = 0;   // in the file, unquoted
    bool quoted = false;
    void clear() {
        bytes.clear();
        length = 0;
        quoted = false;
    }
    void add(const char* p, size_t n) {
        length += qint64(n);
        if (bytes.size() < kKeptBytes) bytes.append(p, std::min(n, kKeptBytes - bytes.size()));
    }
};

struct Record {
    std::vector<Field> fields;  // at most maxFields are kept
    int count = 0;              // fields in the record
    long long line = 0;         // its first line
    QString problem;
    bool blank() const { return count == 1 && fields[0].length == 0 && !fields[0].quoted; }
};

class Reader {
public:
    Reader(QFile& file, char delimiter) : file_(file), delimiter_(delimiter), buf_(size_t(kBlock), '\0') {
        // The bytes that end a run of plain text, outside quotes and in them.
        endsPlain_[static_cast<unsigned char>(delimiter)] = endsPlain_[size_t('\r')] = endsPlain_[size_t('\n')] = true;
        endsQuoted_[size_t('"')] = endsQuoted_[size_t('\r')] = endsQuoted_[size_t('\n')] = true;
    }

    void rewind() {
        file_.seek(0);
        pos_ = len_ = 0;
        consumed_ = 0;
        line_ = 1;
        // A byte order mark is not part of the first name.
        if (fill() && len_ >= 3 && std::memcmp(buf_.data(), "\xEF\xBB\xBF", 3) == 0) pos_ = 3;
    }

    qint64 consumed() const { return consumed_ - (len_ - pos_); }

    // The next record into r, keeping at most maxFields fields; false at the end.
    bool next(Record& r, int maxFields) {
        r.count = 0;
        r.problem.clear();
        r.line = line_;
        int c = get();
        if (c < 0) return false;
        Field spare;
        for (;;) {
            Field& f = r.count < maxFields ? slot(r, r.count) : spare;
            ++r.count;
            f.clear();
            if (c == '"') {
                f.quoted = true;
                c = quoted(f, r);
            } else {
                c = unquoted(f, c);
            }
            if (c == delimiter_) {
                c = get();
                continue;
            }
            if (c == '\r') {
                ++line_;
                if (peek() == '\n') get();
            } else if (c == '\n') {
                ++line_;
            }
            return true;
        }
    }

private:
    static Field& slot(Record& r, int i) {
        if (int(r.fields.size()) <= i) r.fields.resize(size_t(i) + 1);
        return r.fields[size_t(i)];
    }

    bool fill() {
        pos_ = 0;
        len_ = file_.read(buf_.data(), kBlock);
        if (len_ < 0) throw TransferError(QStringLiteral("Could not read '%1': %2").arg(file_.fileName(), file_.errorString()));
        consumed_ += len_;
        return len_ > 0;
    }
    int get() {
        if (pos_ == len_ && !fill()) return -1;
        return static_cast<unsigned char>(buf_[size_t(pos_++)]);
    }
    int peek() {
        if (pos_ == len_ && !fill()) return -1;
        return static_cast<unsigned char>(buf_[size_t(pos_)]);
    }

    // Reads an unquoted field that begins with c; returns what ends it.
    int unquoted(Field& f, int c) {
        if (c < 0 || c == delimiter_ || c == '\r' || c == '\n') return c;
        --pos_;  // c is still in the buffer: take it with the run that follows
        for (;;) {
            const char* start = buf_.data() + pos_;
            const char* end = buf_.data() + len_;
            const char* p = start;
            while (p < end && !endsPlain_[static_cast<unsigned char>(*p)]) ++p;
            f.add(start, size_t(p - start));
            pos_ += p - start;
            if (p < end) return get();
            if (!fill()) return -1;
        }
    }

    // Reads a quoted field after its opening quote; returns what ends it.
    int quoted(Field& f, Record& r) {
        const long long opened = line_;
        for (;;) {
            const char* start = buf_.data() + pos_;
            const char* end = buf_.data() + len_;
            const char* p = start;
            while (p < end && !endsQuoted_[static_cast<unsigned char>(*p)]) ++p;
            f.add(start, size_t(p - start));
            pos_ += p - start;
            if (p == end) {
                if (!fill()) {
                    r.problem = QStringLiteral("the quote opened on line %1 is never closed").arg(opened);
                    return -1;
                }
                continue;
            }
            int c = get();
            if (c == '\n' || c == '\r') {
                // Line breaks inside quotes are part of the text, as they are.
                ++line_;
                const char ch = char(c);
                f.add(&ch, 1);
                if (c == '\r' && peek() == '\n') {
                    get();
                    f.add("\n", 1);
                }
                continue;
            }
            c = get();  // after a quote
            if (c == '"') {
                f.add("\"", 1);
                continue;
            }
            // Blanks after the closing quote are let pass.
            while (c == ' ' || (c == '\t' && delimiter_ != '\t')) c = get();
            if (c < 0 || c == delimiter_ || c == '\r' || c == '\n') return c;
            if (r.problem.isEmpty())
                r.problem = QStringLiteral("text follows the closing quote of field %1").arg(r.count);
            return unquoted(f, c);
        }
    }

    QFile& file_;
    char delimiter_;
    bool endsPlain_[256] = {};
    bool endsQuoted_[256] = {};
    std::string buf_;
    qint64 pos_ = 0, len_ = 0;
    qint64 consumed_ = 0;
    long long line_ = 1;
};

// What a first look through the whole file tells.
struct Scan {
    bool utf8 = true;
    bool bom = false;
    qint64 size = 0;
};

Scan scanFile(QFile& file) {
    Scan s;
    s.size = file.size();
    Utf8Check check;
    std::string buf(size_t(kBlock), '\0');
    qint64 offset = 0;
    for (;;) {
        const qint64 n = file.read(buf.data(), kBlock);
        if (n < 0) throw TransferError(QStringLiteral("Could not read '%1': %2").arg(file.fileName(), file.errorString()));
        if (n == 0) break;
        const auto* p = reinterpret_cast<const unsigned char*>(buf.data());
        if (offset == 0) {
            if (n >= 2 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF)))
                throw TransferError(QStringLiteral("'%1' is UTF-16 text; save it as CSV in UTF-8 (or Windows-1252) and "
                                                   "import that.")
                                        .arg(file.fileName()));
            s.bom = n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF;
        }
        if (const void* nul = std::memchr(p, 0, size_t(n)))
            throw TransferError(QStringLiteral("'%1' is not a text file: it holds a NUL byte at byte %2, so it is "
                                               "no CSV file.")
                                    .arg(file.fileName())
                                    .arg(offset + (static_cast<const unsigned char*>(nul) - p) + 1));
        if (check.valid()) check.feed(p, size_t(n));
        offset += n;
    }
    s.utf8 = check.valid();
    return s;
}

// The delimiter the header line uses most (',' when it uses none).
char headerDelimiter(QFile& file) {
    file.seek(0);
    const QByteArray head = file.read(kBlock);
    int counts[3] = {0, 0, 0};
    const char candidates[3] = {',', ';', '\t'};
    bool inQuotes = false;
    for (char c : head) {
        if (c == '"') inQuotes = !inQuotes;
        else if (!inQuotes && (c == '\n' || c == '\r')) break;
        else if (!inQuotes)
            for (int i = 0; i < 3; ++i) counts[i] += c == candidates[i];
    }
    int best = 0;
    for (int i = 1; i < 3; ++i)
        if (counts[i] > counts[best]) best = i;
    return candidates[best];
}

class CsvSource final : public Source {
public:
    explicit CsvSource(const QString& path) : file_(path) {
        if (!QFileInfo(path).isFile())
            throw TransferError(QStringLiteral("'%1' is not a file that can be read.").arg(path));
        if (!file_.open(QIODevice::ReadOnly))
            throw TransferError(QStringLiteral("Could not open '%1': %2").arg(path, file_.errorString()));
        scan_ = scanFile(file_);
        delimiter_ = headerDelimiter(file_);
        reader_ = std::make_unique<Reader>(file_, delimiter_);
        reader_->rewind();
        Record header;
        // The first line that is not blank names the columns.
        do {
            if (!reader_->next(header, 1 << 12))
                throw TransferError(QStringLiteral("'%1' is empty: it has no header line naming its columns.").arg(path));
        } while (header.blank());
        if (!header.problem.isEmpty())
            throw TransferError(QStringLiteral("The header line of '%1' cannot be read: %2.").arg(path, header.problem));
        if (header.count > int(header.fields.size()))
            throw TransferError(QStringLiteral("The header line of '%1' names %2 columns; that is no log of runs.")
                                    .arg(path)
                                    .arg(header.count));
        std::string utf8;
        for (int i = 0; i < header.count; ++i) {
            columns_ << QString::fromStdString(text(header.fields[size_t(i)].bytes, utf8)).trimmed();
        }
        headerEnd_ = reader_->consumed();
        rewind();
    }

    const QStringList& columns() const override { return columns_; }

    bool next(const std::vector<int>& wanted, std::vector<Value>& values, QString* problem) override {
        const int width = int(columns_.size());
        do {
            if (!reader_->next(record_, width + 1)) return false;
        } while (record_.blank());
        problem->clear();
        if (!record_.problem.isEmpty()) {
            *problem = record_.problem;
            return true;
        }
        if (record_.count != width) {
            *problem = QStringLiteral("it has %1 fields where the header names %2").arg(record_.count).arg(width);
            return true;
        }
        values.resize(wanted.size());
        for (size_t i = 0; i < wanted.size(); ++i) {
            const Field& f = record_.fields[size_t(wanted[i])];
            Value& v = values[i];
            v.kind = Value::Text;
            v.quoted = f.quoted;
            v.tooLong = f.length > qint64(f.bytes.size()) ? f.length : 0;
            if (scan_.utf8) v.text = f.bytes;
            else appendCp1252(v.text, f.bytes);
        }
        return true;
    }

    long long at() const override { return record_.line; }
    QString unit() const override { return QStringLiteral("line"); }

    void rewind() override {
        reader_->rewind();
        Record skip;
        // Past the header (and any blank lines before it).
        while (reader_->consumed() < headerEnd_ && reader_->next(skip, 1)) {
        }
    }

    double progress() const override { return scan_.size > 0 ? double(reader_->consumed()) / double(scan_.size) : 1.0; }

    QString describe() const override {
        const QString separator = delimiter_ == '\t' ? QStringLiteral("tabs") : QStringLiteral("'%1'").arg(QChar(delimiter_));
        return QStringLiteral("CSV, %1, fields separated by %2")
            .arg(scan_.utf8 ? (scan_.bom ? QStringLiteral("UTF-8 with a byte order mark") : QStringLiteral("UTF-8"))
                            : QStringLiteral("Windows-1252 (its bytes are not UTF-8)"),
                 separator);
    }

private:
    const std::string& text(const std::string& bytes, std::string& scratch) const {
        if (scan_.utf8) return bytes;
        appendCp1252(scratch, bytes);
        return scratch;
    }

    QFile file_;
    Scan scan_;
    char delimiter_ = ',';
    std::unique_ptr<Reader> reader_;
    QStringList columns_;
    qint64 headerEnd_ = 0;
    Record record_;
};

}  // namespace

std::unique_ptr<Source> openCsv(const QString& path) { return std::make_unique<CsvSource>(path); }

}  // namespace transfer

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where imported runs come from, read one record at a time: a CSV file or
// a table of an old desktop-database file (.mdb, .accdb). Nothing here
// writes to the source.

#include <QDate>
#include <QString>
#include <QStringList>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace transfer {

// A failure that stops an import or an export as a whole, with a message
// for the user.
class TransferError : public std::runtime_error {
public:
    explicit TransferError(const QString& message) : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

// One value of a record.
struct Value {
    enum Kind { Null, Text, Integer, Real, DateTime } kind = Null;
    std::string text;        // Text: UTF-8
    bool quoted = false;     // CSV: the field stood in quotes (so "" is empty text, not nothing)
    long long tooLong = 0;   // Text longer than was kept: its length in bytes
    long long integer = 0;
    double real = 0;
    QDate date;              // DateTime: the day (its time of day left out)
};

class Source {
public:
    virtual ~Source() = default;
    // The names of the columns, in order.
    virtual const QStringList& columns() const = 0;
    // Reads the next record; values[i] becomes the value of the column
    // wanted[i]. False after the last record. A record that cannot be read
    // as a whole (a ragged row, a quote never closed) sets *problem.
    virtual bool next(const std::vector<int>& wanted, std::vector<Value>& values, QString* problem) = 0;
    // Where the record read last begins: its line or record number.
    virtual long long at() const = 0;
    // "line" or "record".
    virtual QString unit() const = 0;
    // Back before the first record.
    virtual void rewind() = 0;
    // How much of the source has been read, from 0 to 1.
    virtual double progress() const = 0;
    // What the source is, for the report ("CSV, UTF-8, fields separated by ';'").
    virtual QString describe() const = 0;
};

// Opens path by what it holds: an old desktop-database file (by its
// header; table names the table, "runlog" when empty) or CSV text.
// Throws TransferError when it is neither, or cannot be read.
std::unique_ptr<Source> openSource(const QString& path, const QString& table);

std::unique_ptr<Source> openCsv(const QString& path);
std::unique_ptr<Source> openAccess(const QString& path, const QString& table);

}  // namespace transfer

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs the importer over a file the way pacebook-import does, without a
// log: what it would add, what it refuses, or why it refuses the file.

#include "transfer/importer.h"

#include <QFile>
#include <QString>
#include <QStringList>

namespace testsupport {

struct ImportRun {
    QString error;           // the file as a whole was refused
    QStringList rows;        // "2024-05-01|90|Long|text" ("<none>" for no description)
    QStringList refusals;    // "line 3: reason"
    transfer::ImportReport report;
};

inline QString rowText(const transfer::Entry& e) {
    return QStringLiteral("%1|%2|%3|%4")
        .arg(QString::fromLatin1(e.date, 10))
        .arg(e.minutes)
        .arg(QString::fromStdString(e.type),
             e.hasDescription ? QString::fromStdString(e.description) : QStringLiteral("<none>"));
}

inline ImportRun importFile(const QString& path, transfer::ImportOptions options = {}, const QString& table = {},
                            const transfer::EntryKeys& existing = {}) {
    ImportRun run;
    try {
        auto source = transfer::openSource(path, table);
        transfer::Importer importer(*source, options);
        transfer::Entry e;
        while (importer.next(e, existing)) run.rows << rowText(e);
        run.report = importer.report();
        for (const auto& r : run.report.refusals)
            run.refusals << QStringLiteral("%1 %2: %3").arg(run.report.unit).arg(r.at).arg(r.reason);
    } catch (const transfer::TransferError& e) {
        run.error = e.message();
    }
    return run;
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
}

}  // namespace testsupport

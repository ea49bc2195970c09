// SPDX-License-Identifier: GPL-3.0-or-later
// pacebook-export [LOG] [--format csv|jsonl] [--output FILE]: writes every
// run of a log out, as CSV or JSON lines, to standard output or a file.

#include "transfer/cli.h"
#include "transfer/exporter.h"
#include "transfer/source.h"

#include "dao/dao.h"
#include "dao/filekind.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <unistd.h>

using namespace transfer;

namespace {

int run(QCoreApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes every run of a Pacebook log out, in the order they were added: CSV (UTF-8, header\n"
        "Date,Time,Type,Description, days as YYYY-MM-DD, durations in whole minutes) or JSON lines.\n"
        "LOG is Run.mdb beside the program unless given. pacebook-import reads the CSV back.\n"
        "\n"
        "Exit status: 0 done, 1 a failure, 2 usage."));
    parser.addPositionalArgument(QStringLiteral("LOG"), QStringLiteral("The log to write out (Run.mdb beside the program)."),
                                 QStringLiteral("[LOG]"));
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("csv (the default) or jsonl."),
                                    QStringLiteral("csv|jsonl"), QStringLiteral("csv"));
    const QCommandLineOption output(QStringLiteral("output"), QStringLiteral("The file to write (standard output)."),
                                    QStringLiteral("FILE"));
    parser.addOptions({format, output});
    if (const auto status = parseCommandLine(parser, app.arguments(), "pacebook-export")) return *status;
    QTextStream err(stderr);
    const QStringList args = parser.positionalArguments();
    const QString f = parser.value(format).toLower();
    if (args.size() > 1 || (f != QLatin1String("csv") && f != QLatin1String("jsonl"))) {
        err << parser.helpText();
        return kUsageStatus;
    }
    const ExportFormat kind = f == QLatin1String("csv") ? ExportFormat::Csv : ExportFormat::JsonLines;
    const QString log = logOf(args.value(0));
    const dao::DatabasePtr db = openForReading(log);

    if (!parser.isSet(output)) {
        QFile out;
        if (!out.open(STDOUT_FILENO, QIODevice::WriteOnly))
            throw TransferError(QStringLiteral("Could not write to standard output: %1").arg(out.errorString()));
        exportLog(*db, kind, out);
        return 0;
    }
    const QString target = parser.value(output);
    if (sameFile(target, log))
        throw TransferError(QStringLiteral("'%1' is the log itself; name another file to write to.").arg(target));
    // Never written over: a database (this log's backup, another log, an old desktop-database file).
    QFile existing(target);
    if (existing.open(QIODevice::ReadOnly)) {
        const dao::FileKind k = dao::fileKindOf(existing.read(100));
        if (k == dao::FileKind::SQLite || k == dao::FileKind::AccessJet || k == dao::FileKind::AccessAce)
            throw TransferError(QStringLiteral("'%1' is a database; it was left as it is. Name another file to write to.")
                                    .arg(target));
    }
    // Written whole or not at all: a failure leaves the file as it was.
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        throw TransferError(QStringLiteral("Could not write '%1': %2").arg(target, out.errorString()));
    const long long n = exportLog(*db, kind, out);
    if (!out.commit()) throw TransferError(QStringLiteral("Could not write '%1': %2").arg(target, out.errorString()));
    err << "Wrote " << n << (n == 1 ? " run" : " runs") << " to " << target << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("pacebook-export"));
    return runTool("pacebook-export", [&] { return run(app); });
}

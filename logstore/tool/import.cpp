// SPDX-License-Identifier: GPL-3.0-or-later
// pacebook-import SOURCE [LOG] [--apply] ...: brings runs from a CSV file
// or an old desktop-database file into a log. Without --apply it only
// reports what it would do; with it, every accepted row is added in one
// transaction, after the same backup the windows make, or none is.

#include "transfer/cli.h"
#include "transfer/importer.h"

#include "dao/dao.h"
#include "logstore/backup.h"
#include "logstore/logfile.h"
#include "logstore/runtypes.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QTextStream>

using namespace transfer;

namespace {

const char kHelp[] =
    "Brings runs into a Pacebook log from a CSV file or from an old desktop-database\n"
    "file (.mdb, .accdb). LOG is Run.mdb beside the program unless given.\n"
    "\n"
    "Without --apply nothing is changed: it reports the rows it read, would add,\n"
    "refuses (with their line or record and why) and finds in the log already.\n"
    "\n"
    "CSV: a header line names the columns: Date or Day; Time, Duration or Minutes;\n"
    "Type, Kind or Sport; Description, Notes or Comment (any letter case). Days as\n"
    "YYYY-MM-DD, D/M/YYYY or M/D/YYYY; durations as minutes, h:mm or h:mm:ss.\n"
    "\n"
    "Exit status: 0 done, 1 rows refused (unless --skip-bad) or a failure, 2 usage.";

// "Date=G,Time=D" into pairs.
bool parseMap(const QStringList& values, std::vector<std::pair<QString, QString>>* map) {
    for (const QString& value : values) {
        for (const QString& item : value.split(u',', Qt::SkipEmptyParts)) {
            const qsizetype eq = item.indexOf(u'=');
            if (eq <= 0 || eq == item.size() - 1) return false;
            map->emplace_back(item.left(eq).trimmed(), item.mid(eq + 1).trimmed());
        }
    }
    return true;
}

QString count(long long n) { return QLocale(QLocale::English).toString(n); }

QString places(const std::vector<long long>& at, long long total, const QString& unit) {
    QStringList out;
    for (long long a : at) out << QString::number(a);
    QString s = QStringLiteral("%1%2 %3").arg(unit, at.size() > 1 ? QStringLiteral("s") : QString(), out.join(QStringLiteral(", ")));
    if (total > (long long)at.size()) s += QStringLiteral(", and %1 more").arg(count(total - (long long)at.size()));
    return s;
}

void printReport(QTextStream& out, const QString& sourcePath, const ImportReport& r) {
    out << "Source: " << sourcePath << " (" << r.source << ")\n";
    for (const QString& m : r.mapping) out << "  " << m << "\n";
    if (!r.leftOut.isEmpty()) {
        QStringList names;
        for (const QString& n : r.leftOut) names << u'"' + n + u'"';
        out << "Left out (the log has no field for them): " << names.join(QStringLiteral(", ")) << "\n";
    }
    if (!r.dateOrder.isEmpty()) out << "Dates read as " << r.dateOrder << "\n";
    out << "Rows read: " << count(r.read) << "\n";
    if (r.duplicates)
        out << "Already in the log, left out: " << count(r.duplicates) << " ("
            << places(r.duplicateAt, r.duplicates, r.unit) << ")\n";
    if (r.refused) {
        out << "Refused: " << count(r.refused) << "\n";
        for (const Refusal& f : r.refusals) out << "  " << r.unit << ' ' << f.at << ": " << f.reason << "\n";
        if (r.refused > (long long)r.refusals.size())
            out << "  ... and " << count(r.refused - (long long)r.refusals.size()) << " more\n";
    }
    if (r.rounded) out << "Durations rounded to whole minutes: " << count(r.rounded) << "\n";
    if (r.typeDefaulted) out << "Without a type, stored as \"" << logstore::blankRunType() << "\": " << count(r.typeDefaulted) << "\n";
}

int run(QCoreApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kHelp));
    parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("The CSV or desktop-database file to read."));
    parser.addPositionalArgument(QStringLiteral("LOG"), QStringLiteral("The log to add to (Run.mdb beside the program)."),
                                 QStringLiteral("[LOG]"));
    const QCommandLineOption apply(QStringLiteral("apply"), QStringLiteral("Add the rows (in one transaction, after a backup)."));
    const QCommandLineOption table(QStringLiteral("table"), QStringLiteral("The table of a desktop-database file (runlog)."),
                                   QStringLiteral("NAME"));
    const QCommandLineOption map(QStringLiteral("map"),
                                 QStringLiteral("Where a field's values are: --map Date=G,Time=D,Type=A,Description=B."),
                                 QStringLiteral("FIELD=COLUMN,..."));
    const QCommandLineOption order(QStringLiteral("date-order"),
                                   QStringLiteral("How D/M/YYYY and M/D/YYYY dates are read: dmy or mdy."),
                                   QStringLiteral("dmy|mdy"));
    const QCommandLineOption create(QStringLiteral("create"), QStringLiteral("Make the log when there is none."));
    const QCommandLineOption skipBad(QStringLiteral("skip-bad"), QStringLiteral("Add the good rows even when some are refused."));
    const QCommandLineOption duplicates(QStringLiteral("allow-duplicates"),
                                        QStringLiteral("Add rows that are in the log already."));
    parser.addOptions({apply, table, map, order, create, skipBad, duplicates});
    if (const auto status = parseCommandLine(parser, app.arguments(), "pacebook-import")) return *status;
    QTextStream err(stderr);
    const QStringList args = parser.positionalArguments();
    ImportOptions options;
    if (args.isEmpty() || args.size() > 2 || !parseMap(parser.values(map), &options.map)) {
        err << parser.helpText();
        return kUsageStatus;
    }
    if (parser.isSet(order)) {
        const QString o = parser.value(order).toLower();
        if (o != QLatin1String("dmy") && o != QLatin1String("mdy")) {
            err << "pacebook-import: --date-order is dmy or mdy\n";
            return kUsageStatus;
        }
        options.dateOrder = o == QLatin1String("dmy") ? DateOrder::DayMonth : DateOrder::MonthDay;
    }
    options.allowDuplicates = parser.isSet(duplicates);
    const bool applying = parser.isSet(apply);
    const QString sourcePath = args[0];
    const QString log = logOf(args.value(1));
    if (sameFile(sourcePath, log)) {
        // An old desktop-database file where the log belongs: the log's
        // opener tells how to move it aside and import it.
        openForReading(log);
        throw TransferError(QStringLiteral("'%1' is the log itself; name the file to import from.").arg(sourcePath));
    }

    ProgressLine progress("pacebook-import");
    options.progress = [&](const QString& phase, double fraction) { progress.show(phase, fraction); };
    std::unique_ptr<Source> source = openSource(sourcePath, parser.value(table));
    Importer importer(*source, options);

    // The log is opened (or made) only once the source could be mapped.
    QTextStream out(stdout);
    const bool exists = QFileInfo::exists(log);
    if (!exists && !parser.isSet(create))
        throw TransferError(QStringLiteral("There is no log at '%1'. Name the log to add to, or add --create to make a "
                                           "new one there.")
                                .arg(log));
    dao::DatabasePtr db;
    if (!exists && applying) logstore::createLog(log);
    if (applying) db = dao::DBEngine().OpenDatabase(log);
    else if (exists) db = openForReading(log);
    const EntryKeys existing = db ? EntryKeys::of(*db) : EntryKeys();
    const bool skip = parser.isSet(skipBad);
    long long added = 0;
    if (applying) {
        logstore::keepBackups();
        added = addRows(importer, *db, existing, skip);
    } else {
        Entry entry;
        while (importer.next(entry, existing)) {
        }
    }
    progress.clear();

    const ImportReport& r = importer.report();
    printReport(out, sourcePath, r);
    out << "Log: " << log;
    if (!exists) out << (applying ? " (made new)" : " (not there yet: --apply makes it)");
    else out << " (" << count(existing.runs()) << " runs before)";
    out << "\n";
    const bool refusedAll = r.refused > 0 && !skip;
    const QString runs = count(r.accepted) + (r.accepted == 1 ? QStringLiteral(" run") : QStringLiteral(" runs"));
    if (!applying) {
        if (refusedAll)
            out << "Would add nothing, because rows are refused: mend them, or add --skip-bad to add the other "
                << runs << ". Nothing was changed.\n";
        else
            out << "Would add " << runs << ". Nothing was changed: run again with --apply to add them.\n";
    } else if (refusedAll) {
        out << "Nothing was added, because rows were refused: mend them and run again, or add --skip-bad to add "
               "the other "
            << runs << ".\n";
    } else {
        out << "Added " << count(added) << (added == 1 ? " run" : " runs") << ".";
        const QStringList backups = logstore::backupsOf(log);
        // A log made by this run had nothing before: its backup says nothing.
        if (added > 0 && exists && !backups.isEmpty())
            out << " The log as it was before is kept in " << QFileInfo(logstore::backupFolder(log)).filePath()
                << '/' << backups.last() << ".";
        out << "\n";
    }
    return refusedAll ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("pacebook-import"));
    return runTool("pacebook-import", [&] { return run(app); });
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Moving a log in and out, program beside program: pacebook-import of a
// CSV file into a new log beside sqlite3's .import of the same file into a
// plain table, and pacebook-export beside sqlite3 -csv. Both sides are
// whole processes with their output thrown away.

#include "harness.h"

#include "logstore/logfile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <stdexcept>

namespace {

double processMs(const QString& program, const QStringList& args) {
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw std::runtime_error((program + QStringLiteral(" failed")).toStdString());
    return double(t.nsecsElapsed()) / 1e6;
}

// The bench log written out once as CSV, beside it.
QString csvOf(const bench::Context& c) {
    const QString csv = c.logPath + QStringLiteral(".csv");
    if (!QFileInfo::exists(csv))
        processMs(QStringLiteral(PB_EXPORT_TOOL), {c.logPath, QStringLiteral("--output"), csv});
    return csv;
}

// The largest resident memory of any child so far, in KiB.
double childPeakKb() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_maxrss);
}

bench::Registrar importCsv({
    .name = "import_csv",
    .run =
        [](bench::Context& c) {
            const QString csv = csvOf(c);
            QTemporaryDir dir;
            const QString log = QDir(dir.path()).filePath(QStringLiteral("Run.mdb"));
            logstore::createLog(log);
            const double ms = processMs(QStringLiteral(PB_IMPORT_TOOL), {csv, log, QStringLiteral("--apply")});
            c.extra["csv_mb"] = double(QFileInfo(csv).size()) / 1e6;
            c.extra["children_peak_rss_kb"] = childPeakKb();
            // For reference: sqlite3 doing the same work into a new log (its
            // checks, its two indexes built at the end, one transaction).
            const QString other = QDir(dir.path()).filePath(QStringLiteral("Other.mdb"));
            logstore::createLog(other);
            QStringList args;
            for (const QString& step : {QStringLiteral("BEGIN"), QStringLiteral("DROP INDEX runlog_Date"),
                                        QStringLiteral("DROP INDEX runlog_Time"),
                                        QStringLiteral(".import --csv --skip 1 %1 runlog").arg(csv),
                                        QStringLiteral("CREATE INDEX runlog_Date ON runlog (\"Date\")"),
                                        QStringLiteral("CREATE INDEX runlog_Time ON runlog (\"Time\")")})
                args << QStringLiteral("-cmd") << step;
            c.extra["cli_into_log_ms"] = processMs(QStringLiteral("sqlite3"), args << other << QStringLiteral("COMMIT"));
            return ms;
        },
    .anchor =
        [](bench::Context& c) {
            const QString csv = csvOf(c);
            QTemporaryDir dir;
            const QString db = QDir(dir.path()).filePath(QStringLiteral("plain.db"));
            processMs(QStringLiteral("sqlite3"), {db, QStringLiteral("CREATE TABLE t (Date, Time, Type, Description)")});
            return processMs(QStringLiteral("sqlite3"),
                             {db, QStringLiteral(".import --csv --skip 1 %1 t").arg(csv)});
        },
    .goal = "ratio <= 2, memory the same at every size",
});

bench::Registrar exportCsv({
    .name = "export_csv",
    .run = [](bench::Context& c) { return processMs(QStringLiteral(PB_EXPORT_TOOL), {c.logPath}); },
    .anchor =
        [](bench::Context& c) {
            return processMs(QStringLiteral("sqlite3"), {QStringLiteral("-csv"), c.logPath,
                                                         QStringLiteral("select * from runlog")});
        },
    .goal = "ratio <= 2",
});

}  // namespace

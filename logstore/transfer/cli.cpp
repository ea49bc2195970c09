// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli.h"

#include "source.h"

#include "dao/dao.h"
#include "logstore/logfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <cstdio>
#include <exception>

#include <unistd.h>

namespace transfer {

QString logOf(const QString& given) {
    const QString path = given.isEmpty() ? logstore::logPath(QCoreApplication::applicationDirPath()) : given;
    return dao::resolveFileName(path);
}

dao::DatabasePtr openForReading(const QString& log) {
    dao::ConnectionOptions options;
    options.checkPages = false;
    QByteArray head;
    {
        // Closed before the engine opens the file: closing a descriptor of
        // it would drop the engine's locks.
        QFile file(log);
        if (file.open(QIODevice::ReadOnly)) head = file.read(20);
    }
    // Bytes 18 and 19 of the header are 2 in write-ahead-log mode.
    options.readOnly = !(head.size() == 20 && head.startsWith("SQLite format 3") && head[18] == 2 && head[19] == 2 &&
                         QFileInfo(log).isWritable());
    return dao::DBEngine().OpenDatabase(log, options);
}

bool sameFile(const QString& a, const QString& b) {
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

std::optional<int> parseCommandLine(QCommandLineParser& parser, const QStringList& arguments, const char* program) {
    parser.addHelpOption();
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "%s: %s\n%s", program, parser.errorText().toLocal8Bit().constData(),
                     parser.helpText().toLocal8Bit().constData());
        return kUsageStatus;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    return std::nullopt;
}

int runTool(const char* program, const std::function<int()>& work) {
    QString message;
    try {
        return work();
    } catch (const TransferError& e) {
        message = e.message();
    } catch (const dao::Error& e) {
        message = e.Description();
    } catch (const std::bad_alloc&) {
        message = QStringLiteral("out of memory");
    } catch (const std::exception& e) {
        message = QString::fromLocal8Bit(e.what());
    }
    std::fprintf(stderr, "%s: %s\n", program, message.toLocal8Bit().constData());
    return 1;
}

namespace {
long long nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

// Shown once the work has taken a second: small files never show it.
ProgressLine::ProgressLine(const char* program)
    : program_(program), terminal_(::isatty(STDERR_FILENO) == 1), lastMs_(nowMs() + 800) {}

ProgressLine::~ProgressLine() { clear(); }

void ProgressLine::show(const QString& what, double fraction) {
    if (!terminal_) return;
    const long long now = nowMs();
    if (now - lastMs_ < 200) return;
    lastMs_ = now;
    shown_ = true;
    std::fprintf(stderr, "\r%s: %s %3d%%\x1b[K", program_, what.toLocal8Bit().constData(), int(fraction * 100));
    std::fflush(stderr);
}

void ProgressLine::clear() {
    if (!shown_) return;
    std::fprintf(stderr, "\r\x1b[K");
    std::fflush(stderr);
    shown_ = false;
}

}  // namespace transfer

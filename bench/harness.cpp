// SPDX-License-Identifier: GPL-3.0-or-later
#include "harness.h"

#include "logstore/logfile.h"
#include "logstore/runtypes.h"

#include <QApplication>
#include <QDate>
#include <QFile>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <malloc.h>
#include <random>
#include <sstream>
#include <vector>
#include <stdexcept>

#ifndef PACEBOOK_BENCH_DATA
#define PACEBOOK_BENCH_DATA "bench/data"
#endif

namespace bench {

namespace {

std::vector<Case>& registry() {
    static std::vector<Case> all;
    return all;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// A log of the given size, made once from a fixed seed and then reused.
QString ensureLog(const QString& dataDir, long long rows) {
    QDir().mkpath(dataDir);
    const QString path = QDir(dataDir).filePath(QStringLiteral("runlog-%1.mdb").arg(rows));
    if (QFileInfo::exists(path)) return path;
    const QString tmp = path + QStringLiteral(".part");
    QFile::remove(tmp);
    logstore::createLog(tmp);
    std::cerr << "generating " << rows << " rows into " << path.toStdString() << "...\n";
    sqlite3* db = nullptr;
    sqlite3_open_v2(tmp.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO runlog VALUES (?1, ?2, ?3, ?4)", -1, &ins, nullptr);
    std::mt19937 rng(unsigned(20240531 + rows));
    const QStringList types = logstore::runTypes() << logstore::initialRunType();
    static const char* words[] = {"easy", "hills", "park", "river", "windy", "rain", "track", "felt", "strong",
                                  "tired", "intervals", "tempo", "with", "club", "alone", "trail", "sunny"};
    const int firstDay = 16436;  // 2015-01-01 as days since the epoch
    for (long long i = 0; i < rows; ++i) {
        const int day = firstDay + int(rng() % 3650);
        const QByteArray date = QDate(1970, 1, 1).addDays(day).toString(Qt::ISODate).toLatin1();
        std::string text;
        const int n = int(rng() % 9);
        for (int w = 0; w < n; ++w) {
            if (w) text += ' ';
            text += words[rng() % (sizeof words / sizeof *words)];
        }
        const QByteArray type = types[int(rng() % types.size())].toUtf8();
        sqlite3_bind_text(ins, 1, date.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(ins, 2, 10 + int(rng() % 170));
        sqlite3_bind_text(ins, 3, type.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 4, text.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(ins);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    QFile::rename(tmp, path);
    return path;
}

double cliMs(const QString& file, const std::string& sql) {
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), file, QString::fromStdString(sql)});
    if (!p.waitForFinished(600000) || p.exitCode() != 0) return -1;
    return double(t.nsecsElapsed()) / 1e6;
}

std::string jsonNumber(double v) {
    std::ostringstream s;
    s.precision(v < 10 ? 4 : 6);
    s << v;
    return s.str();
}

}  // namespace

void registerCase(Case c) { registry().push_back(std::move(c)); }
const std::vector<Case>& cases() { return registry(); }

long peakRssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

void resetPeakRss() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

long long heapInUse() {
    malloc_trim(0);
    return (long long)mallinfo2().uordblks;
}

double rowidLoopMs(const QString& log, const char* sql) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(log.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open the log");
    }
    std::vector<sqlite3_int64> ids;
    const double ms = timeMs([&] {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW) ids.push_back(sqlite3_column_int64(st, 0));
        sqlite3_finalize(st);
    });
    sqlite3_close(db);
    if (ids.empty()) throw std::runtime_error("the anchor found no row");
    return ms;
}

}  // namespace bench

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    std::vector<long long> sizes = {10000, 100000, 1000000};
    int repeat = 5;
    QString filter;
    bool cli = !QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty();
    QString dataDir = QStringLiteral(PACEBOOK_BENCH_DATA);
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto next = [&]() { return i + 1 < args.size() ? args[++i] : QString(); };
        if (a == QLatin1String("--rows")) {
            sizes.clear();
            for (const QString& s : next().split(u',')) sizes.push_back(s.toLongLong());
        } else if (a == QLatin1String("--repeat")) {
            repeat = std::max(1, next().toInt());
        } else if (a == QLatin1String("--filter")) {
            filter = next();
        } else if (a == QLatin1String("--no-cli")) {
            cli = false;
        } else if (a == QLatin1String("--data")) {
            dataDir = next();
        } else if (a == QLatin1String("--list")) {
            for (const auto& c : bench::cases()) std::cout << c.name << "\n";
            return 0;
        } else {
            std::cerr << "usage: pacebook-bench [--rows 10000,100000,1000000] [--repeat 5] [--filter TEXT]\n"
                         "                      [--no-cli] [--data DIR] [--list]\n"
                         "Prints one JSON line per operation and log size.\n";
            return 2;
        }
    }

    for (long long rows : sizes) {
        const QString log = bench::ensureLog(dataDir, rows);
        if (cli) {
            std::vector<double> t;
            for (int r = 0; r < repeat; ++r) t.push_back(bench::cliMs(log, "SELECT 1"));
            std::cout << "{\"operation\":\"cli:startup\",\"rows\":" << rows
                      << ",\"median_ms\":" << bench::jsonNumber(bench::median(t)) << "}" << std::endl;
        }
        for (const auto& c : bench::cases()) {
            if (!filter.isEmpty() && !QString::fromStdString(c.name).contains(filter)) continue;
            if (c.maxRows && rows > c.maxRows) continue;
            bench::Context ctx;
            ctx.logPath = log;
            ctx.rows = rows;
            std::vector<double> a, b;
            long peak = 0;
            try {
                for (int r = 0; r < repeat; ++r) {
                    ctx.seed = unsigned(r + 1);
                    bench::resetPeakRss();
                    a.push_back(c.run(ctx));
                    peak = std::max(peak, bench::peakRssKb());
                    if (c.anchor) b.push_back(c.anchor(ctx));
                }
            } catch (const std::exception& e) {
                std::cout << "{\"operation\":\"" << c.name << "\",\"rows\":" << rows << ",\"error\":\"" << e.what()
                          << "\"}" << std::endl;
                continue;
            }
            const double ma = bench::median(a), mb = bench::median(b);
            std::cout << "{\"operation\":\"" << c.name << "\",\"rows\":" << rows
                      << ",\"median_ms\":" << bench::jsonNumber(ma);
            if (c.anchor)
                std::cout << ",\"anchor_median_ms\":" << bench::jsonNumber(mb)
                          << ",\"ratio\":" << bench::jsonNumber(mb > 0 ? ma / mb : 0);
            std::cout << ",\"peak_rss_kb\":" << peak;
            for (const auto& [k, v] : ctx.extra) std::cout << ",\"" << k << "\":" << bench::jsonNumber(v);
            if (!c.goal.empty()) std::cout << ",\"goal\":\"" << c.goal << "\"";
            std::cout << "}" << std::endl;
            if (cli && !c.cliSql.empty()) {
                std::vector<double> t;
                for (int r = 0; r < repeat; ++r) t.push_back(bench::cliMs(log, c.cliSql));
                std::cout << "{\"operation\":\"cli:" << c.name << "\",\"rows\":" << rows
                          << ",\"median_ms\":" << bench::jsonNumber(bench::median(t)) << ",\"sql\":\""
                          << c.cliSql << "\"}" << std::endl;
            }
        }
    }
    return 0;
}

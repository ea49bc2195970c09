// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The benchmark harness: seeded logs of 10k, 100k and 1M rows (cached under
// bench/data/), and a registry of named cases. Each case times an operation
// of the program beside an anchor (the same work done the plainest way),
// alternating A B A B, and the harness prints one JSON line per result.
//
// Adding a case: in any bench/*.cpp,
//
//   static bench::Registrar reg({
//       .name = "grid_scroll",
//       .run = [](bench::Context& c) { ...; return bench::timeMs([&] { work(); }); },
//       .anchor = [](bench::Context& c) { return bench::timeMs([&] { plain(); }); },
//       .cliSql = "SELECT ... FROM runlog",  // optional sqlite3 reference
//       .goal = "ratio <= 1.5",
//   });
//
// run and anchor return the milliseconds they measured themselves, so that
// set-up (opening a file, building a window) stays outside the timing.

#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace bench {

struct Context {
    QString logPath;      // a fresh copy's path is not needed: cases must leave the log as they found it
    long long rows = 0;   // rows in runlog
    unsigned seed = 0;    // per repetition, for cases that pick random rows
    // Extra figures a case wants reported (e.g. "bytes_per_row").
    std::map<std::string, double> extra;
};

struct Case {
    std::string name;
    std::function<double(Context&)> run;
    std::function<double(Context&)> anchor;  // may be empty
    std::string cliSql;                      // may be empty
    std::string goal;                        // shown in the JSON line
    long long maxRows = 0;                   // 0: every size
};

void registerCase(Case c);
const std::vector<Case>& cases();

struct Registrar {
    explicit Registrar(Case c) { registerCase(std::move(c)); }
};

template <class F>
double timeMs(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// The anchor of every key-set figure: a bare SQLite loop that prepares sql
// on its own connection to log, steps it and collects column 0 (the rowid).
// Returns the milliseconds of the loop; throws when the log cannot be opened
// or the loop finds no row.
double rowidLoopMs(const QString& log, const char* sql);

// The process's peak resident memory since the last reset, in KiB.
long peakRssKb();
void resetPeakRss();
// Bytes in use on the heap (malloc), for memory-per-row figures.
long long heapInUse();

}  // namespace bench

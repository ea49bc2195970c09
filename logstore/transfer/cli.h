// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What pacebook-import and pacebook-export share: where the log is, and
// how a failure ends the program.

#include "dao/dao.h"

#include <QCommandLineParser>
#include <QString>

#include <functional>
#include <optional>

namespace transfer {

// The log a tool works on: the one given, or Run.mdb in the program's own
// folder (in any letter case, as the windows find it).
QString logOf(const QString& given);

// Opens a log to read it only, without the check of its pages that guards
// writes. A log in write-ahead-log mode (as the program keeps it) gets a
// writable connection all the same, which writes nothing: only such a
// connection takes the engine's working files (-wal, -shm) away again when
// it closes, so the folder is left as it was found.
dao::DatabasePtr openForReading(const QString& log);

// Whether two paths name one file.
bool sameFile(const QString& a, const QString& b);

// The exit status for a mistake in the command line.
inline constexpr int kUsageStatus = 2;

// Parses the command line. A mistake prints it and the help on standard
// error, --help prints the help on standard output; either way the status
// to end with comes back, and nothing when the tool is to go on.
std::optional<int> parseCommandLine(QCommandLineParser& parser, const QStringList& arguments, const char* program);

// Runs a tool's work: a failure is printed as "program: message" on
// standard error and ends with status 1; nothing escapes.
int runTool(const char* program, const std::function<int()>& work);

// Shows progress on standard error when it is a terminal, at most a few
// times a second, on one line that is cleared at the end.
class ProgressLine {
public:
    explicit ProgressLine(const char* program);
    ~ProgressLine();
    void show(const QString& what, double fraction);
    void clear();

private:
    const char* program_;
    bool terminal_ = false;
    bool shown_ = false;
    long long lastMs_ = 0;
};

}  // namespace transfer

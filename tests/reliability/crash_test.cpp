// SPDX-License-Identifier: GPL-3.0-or-later
// Writers through the data-access layer killed at random moments, and two
// of them on one file: nothing acknowledged is lost, the file stays sound.

#include "child.h"
#include "logcheck.h"

#include "logstore/logfile.h"

#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>

using namespace testsupport;

namespace {

unsigned seedFor(const char* what) {
    unsigned seed = std::random_device{}();
    if (const char* s = std::getenv("PB_SEED")) seed = unsigned(std::strtoul(s, nullptr, 10));
    std::printf("[ seed     ] %s: PB_SEED=%u\n", what, seed);
    return seed;
}

// Parses "A <i>" lines into acks, counts "F <i> <number>" lines by number.
struct Tally {
    std::set<long long> acked;
    std::map<int, int> failures;
    bool done = false;
    void take(const QString& line) {
        const QStringList p = line.split(u' ');
        if (p.value(0) == QLatin1String("A")) acked.insert(p.value(1).toLongLong());
        else if (p.value(0) == QLatin1String("F")) ++failures[p.value(2).toInt()];
        else if (p.value(0) == QLatin1String("D")) done = true;
    }
    int failed() const {
        int n = 0;
        for (const auto& [number, count] : failures) n += count;
        return n;
    }
};

struct CrashRun {
    bool sound = false;      // integrity_check passed
    long long acked = 0;
    long long lost = 0;      // acknowledged rows missing from the file
};

// One writer of `saves` rows, killed just after its k-th acknowledgement
// (and a few random microseconds more, to land anywhere inside a save).
CrashRun killWriterOnce(std::mt19937& rng, int saves, bool ackBeforeSave) {
    FastFolder dir;
    const QString log = dir.file(QStringLiteral("Run.mdb"));
    logstore::createLog(log);
    QStringList command{writerProgram(), QStringLiteral("saves"), log, QString::number(saves)};
    if (ackBeforeSave) command << QStringLiteral("--ack-before-save");
    Child child(command);
    EXPECT_TRUE(child.started());
    const long long k = std::uniform_int_distribution<long long>(1, saves)(rng);
    const int extraUs = std::uniform_int_distribution<int>(0, 400)(rng);
    Tally tally;
    while (auto l = child.line()) {
        tally.take(*l);
        if ((long long)tally.acked.size() >= k || tally.done) break;
    }
    if (extraUs > 0) QThread::usleep(extraUs);
    child.kill();
    child.wait();
    // Acknowledgements still in the pipe were given before the kill.
    for (const QString& l : child.rest()) tally.take(l);

    CrashRun run;
    LogReader reader(log);
    run.sound = reader.integrity() == QLatin1String("ok");
    const std::set<long long> present = reader.times();
    run.acked = (long long)tally.acked.size();
    for (long long id : tally.acked)
        if (!present.count(id)) ++run.lost;
    return run;
}

}  // namespace

TEST(CrashTest, acknowledgedSavesSurviveAKillAtAnyMoment) {
    const int runs = repetitions("PB_CRASH_RUNS", 20);
    const int saves = repetitions("PB_CRASH_SAVES", 10000);
    std::mt19937 rng(seedFor("kill points"));
    int sound = 0, whole = 0;
    long long lost = 0, acked = 0;
    for (int i = 0; i < runs; ++i) {
        const CrashRun r = killWriterOnce(rng, saves, false);
        EXPECT_TRUE(r.sound) << "run " << i;
        EXPECT_EQ(r.lost, 0) << "run " << i << ": acknowledged rows missing";
        sound += r.sound;
        whole += r.lost == 0;
        lost += r.lost;
        acked += r.acked;
    }
    std::printf("[ figures  ] killed writers: %d/%d files pass integrity_check, %d/%d keep every "
                "acknowledged row (%lld acknowledged, %lld lost)\n",
                sound, runs, whole, runs, acked, lost);
}

TEST(CrashTest, writerThatAcknowledgesBeforeSavingIsCaughtLosingARow) {
    // The same check must see a loss when there is one: this writer reports
    // each save before making it.
    std::mt19937 rng(seedFor("control kill points"));
    int caught = 0, runs = 0;
    for (; runs < 5 && caught == 0; ++runs) {
        const CrashRun r = killWriterOnce(rng, 2000, true);
        EXPECT_TRUE(r.sound);
        if (r.lost > 0) ++caught;
    }
    std::printf("[ figures  ] early acknowledgement: loss seen after %d run(s)\n", runs);
    EXPECT_EQ(caught, 1);
}

TEST(CrashTest, oneStatementKilledAnywhereIsAllOrNothing) {
    const int runs = repetitions("PB_ATOMIC_RUNS", 10);
    constexpr long long kRows = 20000;
    FastFolder dir;
    const QString base = dir.file(QStringLiteral("base.mdb"));
    logstore::createLog(base);
    {
        LogReader writer(base);
        writer.text(
            "INSERT INTO runlog (Date, Time, Type, Description) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
            "SELECT i + 1 FROM n WHERE i < 20000) SELECT '2024-05-01', 1, 'Normal', 'run' FROM n");
        ASSERT_EQ(writer.number(QStringLiteral("SELECT count(*) FROM runlog")), kRows);
    }
    // How long the statement takes here, so that kills spread over it.
    long long fullMs = 0;
    {
        const QString log = dir.file(QStringLiteral("timing.mdb"));
        ASSERT_TRUE(QFile::copy(base, log));
        Child child({writerProgram(), QStringLiteral("update"), log});
        for (const QString& l : child.rest())
            if (l.startsWith(QLatin1String("D "))) fullMs = l.mid(2).toLongLong();
        ASSERT_EQ(child.wait(), 0);
        ASSERT_EQ(LogReader(log).number(QStringLiteral("SELECT count(*) FROM runlog WHERE Time = 2")), kRows);
    }
    std::mt19937 rng(seedFor("statement kill points"));
    int whole = 0, applied = 0, none = 0, sound = 0;
    for (int i = 0; i < runs; ++i) {
        const QString log = dir.file(QStringLiteral("Run%1.mdb").arg(i));
        ASSERT_TRUE(QFile::copy(base, log));
        {
            Child child({writerProgram(), QStringLiteral("update"), log});
            ASSERT_TRUE(child.line().value_or(QString()) == QLatin1String("S"));
            const int delayUs = std::uniform_int_distribution<int>(0, int(fullMs * 1200 + 1000))(rng);
            QThread::usleep(delayUs);
            child.kill();
            child.wait();
        }
        LogReader reader(log);
        const bool ok = reader.integrity() == QLatin1String("ok");
        const long long changed = reader.number(QStringLiteral("SELECT count(*) FROM runlog WHERE Time = 2"));
        const long long total = reader.number(QStringLiteral("SELECT count(*) FROM runlog"));
        EXPECT_TRUE(ok) << "run " << i;
        EXPECT_EQ(total, kRows) << "run " << i;
        EXPECT_TRUE(changed == 0 || changed == kRows) << "run " << i << ": " << changed << " rows changed";
        sound += ok;
        if (total == kRows && changed == 0) ++none, ++whole;
        else if (total == kRows && changed == kRows) ++applied, ++whole;
        QFile::remove(log);
    }
    std::printf("[ figures  ] killed statement (%lld rows, %lld ms): %d/%d all or nothing (%d applied, %d not), "
                "%d/%d pass integrity_check\n",
                kRows, fullMs, whole, runs, applied, none, sound, runs);
}

namespace {

struct TwoWriters {
    Tally one, two;
    std::set<long long> rowsOne, rowsTwo;
    bool sound = false;
};

TwoWriters runTwoWriters(int saves, int busyMs) {
    FastFolder dir;
    const QString log = dir.file(QStringLiteral("Run.mdb"));
    logstore::createLog(log);
    auto command = [&](const char* type) {
        return QStringList{writerProgram(), QStringLiteral("saves"), log, QString::number(saves),
                           QStringLiteral("--busy"), QString::number(busyMs), QStringLiteral("--type"),
                           QString::fromLatin1(type)};
    };
    TwoWriters out;
    {
        Child a(command("one"));
        Child b(command("two"));
        // Each writes a few bytes a save; its pipe holds them all.
        for (const QString& l : a.rest(120000)) out.one.take(l);
        for (const QString& l : b.rest(120000)) out.two.take(l);
        EXPECT_EQ(a.wait(), 0);
        EXPECT_EQ(b.wait(), 0);
    }
    LogReader reader(log);
    out.sound = reader.integrity() == QLatin1String("ok");
    out.rowsOne = reader.times(QStringLiteral("one"));
    out.rowsTwo = reader.times(QStringLiteral("two"));
    return out;
}

}  // namespace

TEST(CrashTest, twoProgramsSavingAtOnceLoseNothingWithTheBusyTimeout) {
    const int saves = repetitions("PB_TWO_WRITER_SAVES", 1000);
    const TwoWriters r = runTwoWriters(saves, 5000);
    EXPECT_TRUE(r.sound);
    EXPECT_TRUE(r.one.done && r.two.done);
    EXPECT_EQ(r.one.failed() + r.two.failed(), 0);
    EXPECT_EQ((int)r.one.acked.size(), saves);
    EXPECT_EQ((int)r.two.acked.size(), saves);
    EXPECT_EQ(r.rowsOne, r.one.acked);
    EXPECT_EQ(r.rowsTwo, r.two.acked);
    std::printf("[ figures  ] two writers x %d saves, busy timeout 5 s: %zu + %zu stored, %d failed, lost %zu\n",
                saves, r.rowsOne.size(), r.rowsTwo.size(), r.one.failed() + r.two.failed(),
                size_t(2 * saves) - r.rowsOne.size() - r.rowsTwo.size());
}

TEST(CrashTest, withoutABusyTimeoutEveryRefusedSaveIsReportedAndNoneIsLost) {
    const int saves = repetitions("PB_TWO_WRITER_SAVES", 1000);
    const TwoWriters r = runTwoWriters(saves, 0);
    EXPECT_TRUE(r.sound);
    EXPECT_TRUE(r.one.done && r.two.done);
    for (const Tally* t : {&r.one, &r.two}) {
        EXPECT_EQ((int)t->acked.size() + t->failed(), saves);
        for (const auto& [number, count] : t->failures) EXPECT_EQ(number, 3045) << count << " failures";
    }
    // What was reported stored is there; what was reported failed is not.
    EXPECT_EQ(r.rowsOne, r.one.acked);
    EXPECT_EQ(r.rowsTwo, r.two.acked);
    std::printf("[ figures  ] two writers x %d saves, busy timeout 0: %zu stored, %d refused with 3045 and "
                "reported, 0 silent\n",
                saves, r.rowsOne.size() + r.rowsTwo.size(), r.one.failed() + r.two.failed());
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Old desktop-database files (Jet 3, Jet 4, ACE) through --table and --map,
// from the shared fixtures (taken from the Jackcess project's test data;
// their licence lies beside them).

#include "importrun.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const QString kFixtures = QStringLiteral(PACEBOOK_SOURCE_DIR "/../shared/fixtures/access");

#define NEED_FIXTURES()                                                                              \
    if (!QFileInfo::exists(kFixtures))                                                               \
    GTEST_SKIP() << "the desktop-database fixtures are not there (" << kFixtures.toStdString()      \
                 << "): they come with the shared folder beside the checkout"

transfer::ImportOptions mapped(std::vector<std::pair<QString, QString>> map) {
    transfer::ImportOptions o;
    o.map = std::move(map);
    return o;
}

TEST(AccessImport, everyFormatThroughTableAndMap) {
    NEED_FIXTURES();
    // Table1: Text A and B, Byte C, Integer D, Long E, Double F, DateTime G.
    struct Mapping {
        const char* time;
        QStringList refusals;  // by the record's content, whatever its place
    };
    const Mapping mappings[] = {
        {"D", {"a run of 0 minutes"}},
        {"E", {"a run of 0 minutes", "longer than 24 hours (333333333 minutes)"}},
        {"F", {"a run of 0 minutes", "the duration 444.555 is not a whole number of minutes"}},
    };
    for (const char* file : {"testV1997.mdb", "testV2000.mdb", "testV2010.accdb"}) {
        for (const Mapping& m : mappings) {
            SCOPED_TRACE(std::string(file) + " Time=" + m.time);
            const ImportRun run = importFile(QDir(kFixtures).filePath(QLatin1String(file)),
                                             mapped({{"Date", "G"}, {"Time", m.time}, {"Type", "A"}, {"Description", "B"}}),
                                             QStringLiteral("Table1"));
            ASSERT_EQ(run.error, QString());
            EXPECT_EQ(run.report.unit, QStringLiteral("record"));
            EXPECT_EQ(run.report.read, 2);
            if (QLatin1String(m.time) == QLatin1String("D"))
                EXPECT_EQ(run.rows, QStringList({"1974-09-21|222|abcdefg|hijklmnop"}));
            else
                EXPECT_EQ(run.rows, QStringList());
            QStringList reasons;
            for (const auto& r : run.report.refusals) reasons << r.reason;
            for (const QString& want : m.refusals)
                EXPECT_EQ(reasons.filter(want).size(), 1) << reasons.join(u'\n').toStdString();
            EXPECT_EQ(run.report.leftOut.size(), 5);
        }
    }
}

TEST(AccessImport, datesBefore1900KeepTheirDay) {
    NEED_FIXTURES();
    const ImportRun run = importFile(QDir(kFixtures).filePath(QStringLiteral("oldDatesV2007.accdb")),
                                     mapped({{"Date", "DateField"}, {"Time", "ID"}}), QStringLiteral("table1"));
    ASSERT_EQ(run.error, QString());
    EXPECT_EQ(run.rows, QStringList({"1582-10-15|1|normal|<none>", "1582-10-14|2|normal|<none>",
                                     "1492-01-10|3|normal|<none>", "1392-01-10|4|normal|<none>"}));
    EXPECT_EQ(run.report.typeDefaulted, 4);
}

TEST(AccessImport, aMissingTableOrColumnIsNamedWithWhatIsThere) {
    NEED_FIXTURES();
    const QString file = QDir(kFixtures).filePath(QStringLiteral("testV2000.mdb"));
    EXPECT_TRUE(importFile(file).error.contains(QLatin1String("no table 'runlog'; its tables are: Table1, Table2")))
        << importFile(file).error.toStdString();
    const QString noDate = importFile(file, {}, QStringLiteral("Table1")).error;
    EXPECT_TRUE(noDate.contains(QLatin1String("No column gives the Date"))) << noDate.toStdString();
    EXPECT_TRUE(noDate.contains(QLatin1String("\"G\", \"H\", \"I\""))) << noDate.toStdString();
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A log of a few runs for the summary's tests.

#include "dao/dao.h"
#include "logstore/logfile.h"
#include "support/sqlfile.h"
#include "support/tempdir.h"

#include <QString>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace summarytest {

struct Entry {
    const char* date;  // nullptr: no day
    int minutes;       // negative: no time
    const char* type;  // nullptr: no type
};

inline std::string sqlText(const char* text) {
    return text ? "'" + std::string(text) + "'" : std::string("NULL");
}

inline void addRuns(const QString& file, const std::vector<Entry>& runs) {
    std::string sql = "BEGIN;";
    for (const Entry& r : runs)
        sql += "INSERT INTO runlog VALUES (" + sqlText(r.date) + ", " +
               (r.minutes < 0 ? std::string("NULL") : std::to_string(r.minutes)) + ", " + sqlText(r.type) +
               ", 'run');";
    testsupport::execSql(file, sql + "COMMIT;");
}

class SummaryLog : public ::testing::Test {
protected:
    void SetUp() override { logstore::createLog(log()); }
    QString log() const { return folder.file(QStringLiteral("Run.mdb")); }
    dao::DatabasePtr open() const { return dao::DBEngine().OpenDatabase(log()); }

    testsupport::TempFolder folder;
};

}  // namespace summarytest

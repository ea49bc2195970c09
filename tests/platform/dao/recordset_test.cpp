// SPDX-License-Identifier: GPL-3.0-or-later
#include "logfixture.h"

using namespace testsupport;
using dao::LeaveReason;

// The record set's EOF_ leaves the C library's EOF macro to every file.
static_assert(EOF < 0, "EOF is the C library's macro again after dao.h");

namespace {

class RecordsetTest : public LogTest {};

TEST_F(RecordsetTest, tableOpensAsUpdatableTableTypeWithFieldsInOrder) {
    addFiveRuns();
    auto rs = open()->OpenRecordset(QStringLiteral("runlog"));
    EXPECT_EQ(rs->Type(), dao::dbOpenTable);
    EXPECT_TRUE(rs->Updatable());
    ASSERT_EQ(rs->Fields().Count(), 4);
    EXPECT_EQ(rs->Fields(0).Name(), "Date");
    EXPECT_EQ(rs->Fields(3).Name(), "Description");
    EXPECT_EQ(rs->Fields("time").Value().toLongLong(), 50);
    EXPECT_EQ(rs->Fields("Date").Value().toString(), "2024-05-01");
    EXPECT_EQ(rs->RecordCount(), 5);
}

TEST_F(RecordsetTest, navigationKeepsPositionsAndEnds) {
    addFiveRuns();
    auto rs = open()->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    EXPECT_EQ(rs->AbsolutePosition(), 0);
    EXPECT_FALSE(rs->BOF());
    rs->MoveLast();
    EXPECT_EQ(rs->AbsolutePosition(), 4);
    EXPECT_EQ(rs->Fields("Description").Value().toString(), "five");
    rs->MoveNext();
    EXPECT_TRUE(rs->EOF_());
    EXPECT_EQ(rs->AbsolutePosition(), -1);
    EXPECT_EQ(errorNumber([&] { rs->MoveNext(); }), dao::err::NoCurrentRecord);
    EXPECT_EQ(errorNumber([&] { rs->Fields(0).Value(); }), dao::err::NoCurrentRecord);
    rs->MovePrevious();
    EXPECT_EQ(rs->AbsolutePosition(), 4);
    rs->MoveFirst();
    rs->MovePrevious();
    EXPECT_TRUE(rs->BOF());
    EXPECT_EQ(errorNumber([&] { rs->MovePrevious(); }), dao::err::NoCurrentRecord);
    rs->Move(3);
    EXPECT_EQ(rs->Fields("Description").Value().toString(), "three");
    rs->setAbsolutePosition(1);
    EXPECT_EQ(rs->Fields("Description").Value().toString(), "two");
    const QByteArray mark = rs->Bookmark();
    rs->MoveLast();
    rs->setBookmark(mark);
    EXPECT_EQ(rs->AbsolutePosition(), 1);
}

TEST_F(RecordsetTest, emptySetIsBothBofAndEof) {
    auto rs = open()->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    EXPECT_TRUE(rs->BOF());
    EXPECT_TRUE(rs->EOF_());
    EXPECT_EQ(rs->AbsolutePosition(), -1);
    EXPECT_EQ(rs->RecordCount(), 0);
    EXPECT_EQ(errorNumber([&] { rs->MoveFirst(); }), dao::err::NoCurrentRecord);
    EXPECT_EQ(errorNumber([&] { rs->Delete(); }), dao::err::NoCurrentRecord);
}

TEST_F(RecordsetTest, addNewJoinsTheEndAndIsStored) {
    addFiveRuns();
    auto rs = open()->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    rs->MoveFirst();
    rs->AddNew();
    EXPECT_EQ(rs->EditMode(), dao::dbEditAdd);
    EXPECT_EQ(rs->AbsolutePosition(), -1);
    rs->Fields("Date").setValue(QDate(2024, 6, 1));
    rs->Fields("Time").setValue(90);
    rs->Fields("Type").setValue(QStringLiteral("Long"));
    rs->Update();
    EXPECT_EQ(rs->EditMode(), dao::dbEditNone);
    EXPECT_EQ(rs->AbsolutePosition(), 0);  // back on the row current before AddNew
    EXPECT_EQ(rs->RecordCount(), 6);
    rs->MoveLast();
    EXPECT_EQ(rs->Fields("Date").Value().toString(), "2024-06-01");
    EXPECT_EQ(rs->Fields("Time").Value().toLongLong(), 90);
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog WHERE Time = 90 AND Date = '2024-06-01'")), 1);
}

TEST_F(RecordsetTest, editWritesOnlyTheCurrentRow) {
    addFiveRuns();
    auto rs = open()->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    rs->Move(2);
    rs->Edit();
    rs->Fields("Type").setValue(QStringLiteral("Fartlek"));
    rs->Update();
    EXPECT_EQ(rs->Fields("Type").Value().toString(), "Fartlek");
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog WHERE Type = 'Fartlek'")), 1);
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT Time FROM runlog WHERE Type = 'Fartlek'")), 40);
    EXPECT_EQ(errorNumber([&] { rs->Fields("Type").setValue(QStringLiteral("x")); }), dao::err::UpdateWithoutEdit);
    EXPECT_EQ(errorNumber([&] { rs->Update(); }), dao::err::UpdateWithoutEdit);
}

TEST_F(RecordsetTest, deleteStaysOnTheDeletedRowUntilTheNextMove) {
    addFiveRuns();
    auto rs = open()->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    rs->Move(2);  // "three"
    rs->Delete();
    EXPECT_FALSE(rs->EOF_());
    EXPECT_FALSE(rs->BOF());
    EXPECT_EQ(errorNumber([&] { rs->Fields(0).Value(); }), dao::err::RecordDeleted);
    rs->MoveNext();
    EXPECT_EQ(rs->Fields("Description").Value().toString(), "four");
    EXPECT_EQ(rs->AbsolutePosition(), 2);  // later entries move up by one
    EXPECT_EQ(rs->RecordCount(), 4);
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog")), 4);

    rs->MoveLast();  // deleting the last row: MoveNext reaches EOF
    rs->Delete();
    rs->MoveNext();
    EXPECT_TRUE(rs->EOF_());
    rs->MoveLast();
    EXPECT_EQ(rs->Fields("Description").Value().toString(), "four");
}

TEST_F(RecordsetTest, deleteThenMovePreviousReachesTheRowBefore) {
    addFiveRuns();
    auto rs = open()->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    rs->Move(2);
    rs->Delete();
    rs->MovePrevious();
    EXPECT_EQ(rs->Fields("Description").Value().toString(), "two");
}

TEST_F(RecordsetTest, sortOpensANewSetInThatOrderOfTheSameType) {
    addFiveRuns();
    auto rs = open()->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    rs->setSort(QStringLiteral("[Time]"));
    auto sorted = rs->OpenRecordset(rs->Type());
    EXPECT_EQ(sorted->Type(), dao::dbOpenDynaset);
    EXPECT_TRUE(sorted->Updatable());
    EXPECT_EQ(column(*sorted, "Time"), QStringList({"10", "20", "30", "40", "50"}));
    sorted->setSort(QStringLiteral("[Date] desc"));
    auto desc = sorted->OpenRecordset(sorted->Type());
    EXPECT_EQ(column(*desc, "Description"), QStringList({"five", "four", "three", "two", "one"}));
    desc->setSort(QStringLiteral("[Time]"));
    auto again = desc->OpenRecordset(desc->Type());
    EXPECT_EQ(column(*again, "Time"), QStringList({"10", "20", "30", "40", "50"}));
    // The original set keeps its own order.
    EXPECT_EQ(column(*rs, "Time"), QStringList({"50", "30", "40", "10", "20"}));
}

TEST_F(RecordsetTest, sortOfSnapshotStaysReadOnlySnapshot) {
    addFiveRuns();
    auto rs = open()->OpenRecordset(QStringLiteral("SELECT * FROM runlog"), dao::dbOpenSnapshot);
    rs->setSort(QStringLiteral("[Time] desc"));
    auto sorted = rs->OpenRecordset(rs->Type());
    EXPECT_EQ(sorted->Type(), dao::dbOpenSnapshot);
    EXPECT_FALSE(sorted->Updatable());
    EXPECT_EQ(column(*sorted, "Time"), QStringList({"50", "40", "30", "20", "10"}));
}

TEST_F(RecordsetTest, requerySeesOutsideChangesAndKeepsTheSort) {
    addFiveRuns();
    auto rs = open()->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    rs->setSort(QStringLiteral("[Time]"));
    auto sorted = rs->OpenRecordset();
    outside(QStringLiteral("INSERT INTO runlog VALUES ('2024-05-06', 5, 'Race', 'six');"
                           "DELETE FROM runlog WHERE Time = 50;"));
    EXPECT_EQ(sorted->RecordCount(), 5);
    sorted->MoveLast();
    sorted->Requery();
    EXPECT_EQ(sorted->AbsolutePosition(), 0);
    EXPECT_EQ(column(*sorted, "Time"), QStringList({"5", "10", "20", "30", "40"}));
}

TEST_F(RecordsetTest, rowDeletedElsewhereReadsEmptyAndRefusesEdit) {
    addFiveRuns();
    auto rs = open()->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    EXPECT_EQ(rs->valueAt(1, 3).toString(), "two");  // read (and cached) before the delete
    outside(QStringLiteral("DELETE FROM runlog WHERE Description = 'two'"));
    EXPECT_TRUE(rs->rowDeleted(1));
    EXPECT_FALSE(rs->valueAt(1, 3).isValid());
    EXPECT_FALSE(rs->rowDeleted(2));
    rs->MoveNext();
    EXPECT_FALSE(rs->Fields(0).Value().isValid());
    EXPECT_EQ(errorNumber([&] { rs->Edit(); }), dao::err::RecordDeleted);
    EXPECT_EQ(errorNumber([&] { rs->updateRow(1, {{2, QStringLiteral("x")}}); }), dao::err::RecordDeleted);
}

TEST_F(RecordsetTest, editOfRowDeletedAfterEditStartedFailsOnUpdate) {
    addFiveRuns();
    auto rs = open()->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    rs->Edit();
    rs->Fields("Type").setValue(QStringLiteral("x"));
    outside(QStringLiteral("DELETE FROM runlog WHERE Description = 'one'"));
    EXPECT_EQ(errorNumber([&] { rs->Update(); }), dao::err::RecordDeleted);
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog WHERE Type = 'x'")), 0);
}

TEST_F(RecordsetTest, cloneHasTheSameRowsAndItsOwnPosition) {
    addFiveRuns();
    auto rs = open()->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    rs->MoveLast();
    auto copy = rs->Clone();
    EXPECT_EQ(copy->AbsolutePosition(), 0);
    EXPECT_EQ(copy->RecordCount(), 5);
    copy->MoveNext();
    EXPECT_EQ(rs->AbsolutePosition(), 4);
    copy->Delete();  // the original keeps its own key set
    EXPECT_EQ(copy->RecordCount(), 4);
    EXPECT_EQ(rs->RecordCount(), 5);
    EXPECT_TRUE(rs->rowDeleted(1));
}

TEST_F(RecordsetTest, writesThroughOneSetShowInAnotherOnTheSameConnection) {
    addFiveRuns();
    auto db = open();
    auto a = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    auto b = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    EXPECT_EQ(b->valueAt(0, 2).toString(), "Long");
    a->updateRow(0, {{2, QStringLiteral("Tempo")}});
    EXPECT_EQ(b->valueAt(0, 2).toString(), "Tempo");
}

TEST_F(RecordsetTest, randomAccessWritesKeepTheCurrentRow) {
    addFiveRuns();
    auto rs = open()->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    rs->Move(3);  // "four"
    rs->deleteRow(1);
    EXPECT_EQ(rs->AbsolutePosition(), 2);
    EXPECT_EQ(rs->Fields("Description").Value().toString(), "four");
    const long long at = rs->addRow({{0, QStringLiteral("2024-07-01")}, {1, 15}});
    EXPECT_EQ(at, 4);
    EXPECT_EQ(rs->valueAt(at, 1).toLongLong(), 15);
    rs->updateRow(0, {{3, QStringLiteral("uno")}});
    EXPECT_EQ(rs->valueAt(0, 3).toString(), "uno");
    EXPECT_EQ(rs->Fields("Description").Value().toString(), "four");
}

TEST_F(RecordsetTest, selectOfOneTableIsUpdatableAndOthersAreReadOnly) {
    addFiveRuns();
    auto db = open();
    auto plain = db->OpenRecordset(QStringLiteral("select Time, Type from runlog where time > 25 order by time"));
    EXPECT_EQ(plain->Type(), dao::dbOpenDynaset);
    EXPECT_TRUE(plain->Updatable());
    EXPECT_EQ(column(*plain, "Time"), QStringList({"30", "40", "50"}));
    plain->MoveFirst();
    plain->Edit();
    plain->Fields("Type").setValue(QStringLiteral("Speedwork"));
    plain->Update();
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT Time FROM runlog WHERE Type = 'Speedwork'")), 30);

    for (const char* sql : {"select count(*) as n from runlog", "select distinct Type from runlog",
                            "select Type, sum(Time) from runlog group by Type",
                            "select Time + 1 as t from runlog", "select * from runlog union select * from runlog",
                            "select a.* from runlog a join runlog b on a.rowid = b.rowid"}) {
        auto rs = db->OpenRecordset(QString::fromLatin1(sql));
        EXPECT_FALSE(rs->Updatable()) << sql;
        EXPECT_EQ(errorNumber([&] { rs->Edit(); }), dao::err::NotUpdatable) << sql;
        EXPECT_EQ(errorNumber([&] { rs->AddNew(); }), dao::err::NotUpdatable) << sql;
        EXPECT_EQ(errorNumber([&] { rs->Delete(); }), dao::err::NotUpdatable) << sql;
    }
    auto snap = db->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenSnapshot);
    EXPECT_FALSE(snap->Updatable());
    EXPECT_EQ(errorNumber([&] { snap->updateRow(0, {{1, 5}}); }), dao::err::NotUpdatable);
}

TEST_F(RecordsetTest, aliasedColumnsKeepTheStatementsOrder) {
    addFiveRuns();
    auto rs = open()->OpenRecordset(QStringLiteral("select Description as Time, Time as d from runlog order by Time"));
    // ORDER BY names the result column "Time", i.e. the description.
    EXPECT_EQ(column(*rs, "Time"), QStringList({"five", "four", "one", "three", "two"}));
    EXPECT_TRUE(rs->Updatable());
}

TEST_F(RecordsetTest, closedSetRefusesWork) {
    addFiveRuns();
    auto rs = open()->OpenRecordset(QStringLiteral("runlog"));
    rs->Close();
    EXPECT_FALSE(rs->isOpen());
    EXPECT_EQ(errorNumber([&] { rs->MoveNext(); }), dao::err::ObjectInvalid);
}

// Saves a changed value when the set leaves the row, as the data control does.
struct SavingObserver : dao::RecordsetObserver {
    QStringList events;
    QString pending;
    void recordsetAboutToLeaveRow(dao::Recordset& rs, LeaveReason reason) override {
        events << QStringLiteral("leave%1@%2").arg(int(reason)).arg(rs.AbsolutePosition());
        if (pending.isEmpty()) return;
        rs.Edit();
        rs.Fields("Type").setValue(pending);
        rs.Update();
        pending.clear();
    }
    void recordsetMoved(dao::Recordset& rs) override { events << QStringLiteral("moved@%1").arg(rs.AbsolutePosition()); }
    void recordsetRowsChanged(dao::Recordset&) override { events << QStringLiteral("rows"); }
};

TEST_F(RecordsetTest, observerSavesTheRowBeforeTheSetLeavesIt) {
    addFiveRuns();
    auto rs = open()->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    SavingObserver obs;
    rs->addObserver(&obs);
    obs.pending = QStringLiteral("Hills");
    rs->MoveNext();
    EXPECT_EQ(obs.events, QStringList({"leave0@0", "rows", "moved@1"}));
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT Time FROM runlog WHERE Type = 'Hills'")), 50);
    rs->removeObserver(&obs);
    obs.events.clear();
    rs->MoveNext();
    EXPECT_TRUE(obs.events.isEmpty());
}

TEST_F(RecordsetTest, observerStoresPendingNewRowWhenAddNewIsCalledAgain) {
    addFiveRuns();
    auto rs = open()->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    SavingObserver obs;
    rs->addObserver(&obs);
    rs->AddNew();
    obs.pending = QStringLiteral("Long run");
    obs.events.clear();
    rs->AddNew();  // the pending row is written first
    EXPECT_EQ(rs->EditMode(), dao::dbEditAdd);
    EXPECT_EQ(rs->RecordCount(), 6);
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog WHERE Type = 'Long run'")), 1);
    EXPECT_EQ(obs.events, QStringList({"leave1@-1", "rows", "moved@-1"}));
}

TEST_F(RecordsetTest, resultTooLargeToHoldIsRefusedWithAClearError) {
    // 200,000 rows of 2,000 characters: far more than a set that holds its
    // rows may take, yet quick for the engine to produce.
    auto db = open();
    auto qdf = db->CreateQueryDef(QString(), QStringLiteral(
        "with recursive c(x) as (select 1 union all select x + 1 from c limit 200000) "
        "select x, printf('%.2000c', 'x') as filler from c"));
    try {
        qdf->OpenRecordset();
        FAIL() << "the whole result was held";
    } catch (const dao::Error& e) {
        EXPECT_EQ(e.Number(), dao::err::ResourceExceeded);
        EXPECT_TRUE(e.Description().contains("more rows than can be shown")) << e.Description().toStdString();
    }
    // The connection is usable afterwards.
    EXPECT_EQ(db->OpenRecordset(QStringLiteral("select count(*) from runlog"))->Fields(0).Value().toInt(), 0);
}

}  // namespace

// Two programs edit one run. A write whose fields no longer hold what the
// writer read changes nothing (3197); an edit of another field, or one that
// another program's change only repeated, goes through; a row deleted
// meanwhile keeps its own error. Each case runs through Edit before the
// other program's change, through Edit with the values shown before it,
// and through updateRow with those values, as the grid writes.
TEST_F(RecordsetTest, writeOfAFieldChangedElsewhereChangesNothing) {
    struct Case {
        const char* outside;
        int field;
        QVariant value;
        int error;
        const char* holds;  // of run "one" (row id 1) afterwards
    };
    const Case cases[] = {
        {"UPDATE runlog SET Type = 'Race' WHERE rowid = 1", 2, QStringLiteral("Tempo"), dao::err::WriteConflict,
         "Type = 'Race'"},
        {"UPDATE runlog SET Description = 'uno' WHERE rowid = 1", 2, QStringLiteral("Tempo"), 0,
         "Type = 'Tempo' AND Description = 'uno'"},
        {"UPDATE runlog SET Time = NULL WHERE rowid = 1", 1, 55, dao::err::WriteConflict, "Time IS NULL"},
        {"UPDATE runlog SET Type = 'Long' WHERE rowid = 1", 2, QStringLiteral("Tempo"), 0, "Type = 'Tempo'"},
        {"UPDATE runlog SET Date = '2024-06-01' WHERE rowid = 1", 0, QStringLiteral("2024-07-01"),
         dao::err::WriteConflict, "Date = '2024-06-01'"},
        {"DELETE FROM runlog WHERE rowid = 1", 2, QStringLiteral("Tempo"), dao::err::RecordDeleted, nullptr},
    };
    enum Way { EditFirst, EditAsShown, UpdateRow };
    for (Way way : {EditFirst, EditAsShown, UpdateRow}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "way " << way << ": " << c.outside);
            outside(QStringLiteral("DELETE FROM runlog"));
            addFiveRuns();
            auto rs = open()->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
            std::vector<QVariant> shown;
            for (int f = 0; f < 4; ++f) shown.push_back(rs->Fields(f).Value());
            if (way == EditFirst) rs->Edit();
            outside(QString::fromLatin1(c.outside));
            const int error = errorNumber([&] {
                if (way == EditAsShown) rs->Edit(shown);
                if (way == UpdateRow) return rs->updateRow(0, {{c.field, c.value}}, {{c.field, shown[size_t(c.field)]}});
                rs->Fields(c.field).setValue(c.value);
                rs->Update();
            });
            EXPECT_EQ(error, c.error);
            const QString one = QStringLiteral("SELECT count(*) FROM runlog WHERE rowid = 1");
            EXPECT_EQ(outsideCount(c.holds ? one + QStringLiteral(" AND ") + QLatin1String(c.holds) : one),
                      c.holds ? 1 : 0);
            // The other runs are as they were.
            EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog WHERE rowid > 1 AND Type IN "
                                                  "('Tempo', 'Race', 'Normal', 'Recovery')")),
                      4);
        }
    }
}

TEST_F(RecordsetTest, refusedWriteNamesTheRunShowsWhatIsStoredAndASecondUpdateReplacesIt) {
    addFiveRuns();
    auto rs = open()->OpenRecordset(QStringLiteral("runlog"), dao::dbOpenDynaset);
    rs->Edit();
    rs->Fields("Type").setValue(QStringLiteral("Tempo"));
    outside(QStringLiteral("UPDATE runlog SET Type = 'Race' WHERE rowid = 1"));
    const QString text = errorText([&] { rs->Update(); });
    for (const char* part : {"changed by another user", "the run of 2024-05-01 (Race)", "Type now holds \"Race\"",
                             "not saved"})
        EXPECT_TRUE(text.contains(QLatin1String(part))) << part << " in " << text.toStdString();
    EXPECT_EQ(rs->valueAt(0, 2).toString(), "Race");  // the set reads the row as stored
    EXPECT_EQ(rs->EditMode(), dao::dbEditInProgress);
    EXPECT_NO_THROW(rs->Update());  // the user was told: now it replaces
    EXPECT_EQ(outsideCount(QStringLiteral("SELECT count(*) FROM runlog WHERE Type = 'Tempo'")), 2);
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Another program changes the entry shown while the user changes it too.
#include "entry_fixture.h"

#include <functional>

namespace {

class Conflict : public EntryFormTest {
protected:
    // Another program's change, on a connection of its own.
    void elsewhere(const char* sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(logPath().toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        testlog::exec(db, sql);
        sqlite3_close(db);
    }
};

// Whichever way the user leaves the entry, a type stored elsewhere after
// the form showed it is not overwritten: the message names the run, the
// form stays on it with the typed type over the stored values, and the
// next try stores the typed type.
TEST_F(Conflict, typeStoredElsewhereMeanwhileIsNotOverwrittenAndTheTypedOneIsKept) {
    const std::vector<std::pair<const char*, std::function<void(frmaddnew*)>>> leaving = {
        {"next", [](frmaddnew* f) { nav(f, "next"); }},
        {"Add New", [](frmaddnew* f) { QTest::mouseClick(f->cmdAdd, Qt::LeftButton); }},
        {"activation", [this](frmaddnew* f) { reactivate(f); }},
        {"Return", [](frmaddnew* f) { QTest::mouseClick(f->cmdReturn, Qt::LeftButton); }},
    };
    testlog::create(logPath(), testlog::sample(2));
    for (const auto& [how, leave] : leaving) {
        SCOPED_TRACE(how);
        elsewhere("UPDATE runlog SET Type = 'Long', Description = 'run 1' WHERE rowid = 1");
        boxes.clear();
        auto* form = showForm();
        form->cbtype->setEditText(QStringLiteral("Tempo"));
        elsewhere("UPDATE runlog SET Type = 'Race', Description = 'changed elsewhere' WHERE rowid = 1");
        leave(form);
        ASSERT_EQ(boxes.count(), 1);
        EXPECT_TRUE(boxes.last().prompt.startsWith(
            QLatin1String("Data error event hit err:The data has been changed by another user: the run of "
                          "2024-01-01 (Race)")))
            << boxes.last().prompt.toStdString();
        EXPECT_TRUE(form->isLoaded());
        EXPECT_EQ(entryNumber(form), "Entry Number: 1");
        EXPECT_EQ(form->cbtype->currentText(), "Tempo");
        EXPECT_EQ(form->txtFields_3->toPlainText(), "changed elsewhere");
        EXPECT_TRUE(form->cmdAdd->isEnabled());
        EXPECT_FALSE(form->Cmdaccpt->isEnabled());
        EXPECT_EQ(logRows()[0].type, "Race");

        leave(form);
        EXPECT_EQ(boxes.count(), 1) << boxes.prompts().join(QStringLiteral(" | ")).toStdString();
        EXPECT_EQ(logRows()[0], (testlog::Entry{"2024-01-01", 10, "Tempo", "changed elsewhere"}));
        EXPECT_EQ(logRows()[1], testlog::sample(2)[1]);
        testsupport::unloadAllForms();
    }
}

TEST_F(Conflict, changeOfAnotherFieldElsewhereIsKeptBesideTheTypedType) {
    auto* form = openForm(2);
    form->cbtype->setEditText(QStringLiteral("Tempo"));
    elsewhere("UPDATE runlog SET Description = 'changed elsewhere' WHERE rowid = 1");
    nav(form, "next");
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(entryNumber(form), "Entry Number: 2");
    EXPECT_EQ(logRows()[0], (testlog::Entry{"2024-01-01", 10, "Tempo", "changed elsewhere"}));
}

}  // namespace

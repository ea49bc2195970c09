// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An entry form over a run log in a program folder of its own.

#include "controls/datacontrol.h"
#include "controls/slider.h"
#include "controls/textbox.h"
#include "forms/entry/frmaddnew.h"
#include "support/runlog.h"
#include "support/gui/folders.h"
#include "support/gui/msgboxes.h"
#include "support/gui/windows.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

class EntryFormTest : public ::testing::Test {
protected:
    void TearDown() override { testsupport::unloadAllForms(); }

    QString logPath() const { return program.file(QStringLiteral("Run.mdb")); }
    std::vector<testlog::Entry> logRows() const { return testlog::read(logPath()); }

    // A log of n sample entries and a form shown on it.
    frmaddnew* openForm(int entries) {
        testlog::create(logPath(), testlog::sample(entries));
        return showForm();
    }
    frmaddnew* showForm() {
        auto* form = new frmaddnew();
        form->Show();
        return form;
    }

    // Another window becomes active, then the form again.
    void reactivate(frmaddnew* form) {
        other.activateForm();
        form->activateForm();
    }

    static void nav(frmaddnew* form, const char* button) {
        auto* b = form->Data1->findChild<QToolButton*>(QString::fromLatin1(button));
        ASSERT_NE(b, nullptr);
        QTest::mouseClick(b, Qt::LeftButton);
    }
    static QString entryNumber(frmaddnew* form) { return form->Data1->Caption(); }

    static void pickDay(frmaddnew* form, const QDate& day) {
        form->Calendar1->setSelectedDate(day);
        emit form->Calendar1->clicked(day);
    }
    static void slide(controls::Slider* slider, int value) {
        slider->setValue(value);
        emit slider->Click();
    }
    // Fills a new entry with the user's input.
    static void enter(frmaddnew* form, const QDate& day, int hours, int minutes, const QString& type,
                      const QString& details = QString()) {
        pickDay(form, day);
        slide(form->Sldhr, hours);
        slide(form->Sldmin, minutes);
        form->cbtype->setEditText(type);
        if (!details.isEmpty()) form->txtFields_3->setPlainText(details);
    }

    testsupport::ProgramFolder program;
    testsupport::MsgBoxRecorder boxes;
    ui::Form other;
};

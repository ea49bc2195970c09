// SPDX-License-Identifier: GPL-3.0-or-later
// Every text widget of every window, with nothing on the clipboard: Ctrl+V
// and Shift+Insert paste nothing, and nothing crashes. (The end-to-end
// paste test does the same through a real X server.)

#include "app/Module1.h"
#include "app/frmMain.h"
#include "controls/datacontrol.h"
#include "controls/datagrid.h"
#include "controls/textbox.h"
#include "forms/about/frmAbout.h"
#include "forms/entry/frmaddnew.h"
#include "forms/grid/frmDataGrid.h"
#include "forms/query/frmQuerys.h"
#include "support/gui/folders.h"
#include "support/gui/msgboxes.h"
#include "support/gui/windows.h"
#include "support/runlog.h"
#include "ui/form.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

namespace {

QString textOf(QWidget* w) {
    if (auto* line = qobject_cast<QLineEdit*>(w)) return line->text();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) return plain->toPlainText();
    return static_cast<QTextEdit*>(w)->toPlainText();
}

TEST(PasteEverywhereTest, noTextWidgetOfAnyWindowPastesOrCrashesWithNothingOnTheClipboard) {
    testsupport::ProgramFolder program;
    testsupport::MsgBoxRecorder boxes;
    const QString log = program.file(QStringLiteral("Run.mdb"));
    testlog::create(log, {{QStringLiteral("2024-03-01"), 40, QStringLiteral("Long"), QStringLiteral("hills")}});

    // Every window of the program, a grid with a cell being edited among them.
    Module1::resetSharedState();
    Module1::Main();
    auto* entry = new frmaddnew();
    entry->Show();
    QTest::mouseClick(entry->cmdGrid, Qt::LeftButton);
    frmQuerys& query = ui::sharedInstance<frmQuerys>();
    query.Show();
    query.optmysql->click();
    auto* about = new frmAbout();
    about->Load();
    ASSERT_TRUE(testsupport::waitFor([] {
        for (int i = 0; i < ui::Forms::Count(); ++i)
            if (qobject_cast<frmDataGrid*>(ui::Forms::Item(i))) return true;
        return false;
    }));
    for (int i = 0; i < ui::Forms::Count(); ++i)
        if (auto* grid = qobject_cast<frmDataGrid*>(ui::Forms::Item(i))) {
            QAbstractItemView* view = grid->grdDataGrid;
            view->edit(view->model()->index(0, 3));
        }

    QGuiApplication::clipboard()->setMimeData(new QMimeData);  // offers no format
    int widgets = 0, multiLine = 0;
    for (int i = 0; i < ui::Forms::Count(); ++i) {
        ui::Form* form = ui::Forms::Item(i);
        for (QWidget* w : form->findChildren<QWidget*>()) {
            if (!qobject_cast<QLineEdit*>(w) && !qobject_cast<QPlainTextEdit*>(w) && !qobject_cast<QTextEdit*>(w))
                continue;
            const std::string label = (form->objectName() + u'/' + w->objectName() + u' ' +
                                       QString::fromLatin1(w->metaObject()->className()))
                                          .toStdString();
            // Every editable multi-line box is the program's own.
            if (qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTextEdit*>(w)) {
                EXPECT_NE(qobject_cast<controls::MultiLineTextBox*>(w), nullptr) << label;
                ++multiLine;
            }
            for (QWidget* p = w; p && p != form; p = p->parentWidget()) p->setEnabled(true);
            const QString before = textOf(w);
            // Keys reach a combo or spin box's line edit through the box.
            for (QWidget* target : {w, w->parentWidget()}) {
                if (target != w && !qobject_cast<QComboBox*>(target) && !qobject_cast<QAbstractSpinBox*>(target))
                    continue;
                if (auto* line = qobject_cast<QLineEdit*>(w)) line->selectAll();
                QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
                QTest::keyClick(target, Qt::Key_Insert, Qt::ShiftModifier);
                EXPECT_EQ(textOf(w), before) << label << " through " << target->metaObject()->className();
            }
            ++widgets;
        }
    }
    EXPECT_GE(multiLine, 2);  // the query's statement and the entry's details
    EXPECT_GE(widgets, 7);    // and the line edits: date, duration, type, the cell, the calendar's year, ...
    EXPECT_EQ(boxes.count(), 0) << boxes.prompts().join(u'|').toStdString();

    QGuiApplication::clipboard()->clear();
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// Every window as a screen reader and a keyboard user meet it: each control
// that takes the focus has an accessible name of its own, and no two of a
// window's access keys collide.

#include "app/frmMain.h"
#include "controls/datacontrol.h"
#include "controls/slider.h"
#include "controls/textbox.h"
#include "forms/about/frmAbout.h"
#include "forms/entry/frmaddnew.h"
#include "forms/grid/frmDataGrid.h"
#include "forms/query/frmQuerys.h"
#include "ui/form.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QCalendarWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QAction>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

namespace {

// Every window of the program, loaded as the program loads it. A new
// window joins the walks with one line here.
const std::vector<std::pair<const char*, std::function<QWidget*()>>>& windows() {
    static const std::vector<std::pair<const char*, std::function<QWidget*()>>> all = {
        {"main window", [] { return new frmMain(); }},
        {"entry form", [] { return new frmaddnew(); }},
        {"grid window", [] { return new frmDataGrid(); }},
        {"query window", [] { return new frmQuerys(); }},
        {"About box", [] { return new frmAbout(); }},
    };
    return all;
}

QWidget* loaded(const std::function<QWidget*()>& make) {
    QWidget* w = make();
    if (auto* form = qobject_cast<ui::Form*>(w)) form->Load();
    return w;
}

// The widget that really takes the focus for w (a composite control hands
// it to one of its parts).
QWidget* focusTaker(QWidget* w) {
    while (w->focusProxy()) w = w->focusProxy();
    return w;
}

// The name a screen reader gives w. A combo box on this platform reports
// its text as its name; it is named by the label it is the buddy of.
QString accessibleName(QWidget* w) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    if (!a) return QString();
    if (a->role() == QAccessible::ComboBox) {
        const auto labels = a->relations(QAccessible::Label);
        return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name).trimmed();
    }
    return a->text(QAccessible::Name).trimmed();
}

QString label(QWidget* w) {
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(w->metaObject()->className()), w->objectName());
}

TEST(AccessibleNames, everyControlThatTakesTheFocusHasANameOfItsOwn) {
    for (const auto& [title, make] : windows()) {
        SCOPED_TRACE(title);
        QWidget* window = loaded(make);
        std::set<QWidget*> takers;
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (w->focusPolicy() == Qt::NoFocus) continue;
            QWidget* taker = focusTaker(w);
            if (taker->window() == window && taker->focusPolicy() != Qt::NoFocus) takers.insert(taker);
        }
        std::map<QString, QString> named;  // name: the control that has it
        for (QWidget* w : takers) {
            const QString name = accessibleName(w);
            EXPECT_FALSE(name.isEmpty()) << label(w).toStdString() << " has no accessible name";
            if (name.isEmpty()) continue;
            const auto [at, fresh] = named.emplace(name, label(w));
            EXPECT_TRUE(fresh) << "\"" << name.toStdString() << "\" names both " << at->second.toStdString()
                               << " and " << label(w).toStdString();
        }
        if (auto* form = qobject_cast<ui::Form*>(window)) form->Unload();
        delete window;
    }
}

TEST(AccessibleNames, entryFormTellsItsInputsApart) {
    auto* form = new frmaddnew();
    form->Load();
    const std::vector<std::pair<QWidget*, QString>> expected = {
        {form->Sldhr, "Hours"},      {form->Sldmin, "Minutes"},       {form->txtSld, "Duration"},
        {form->txtFields_0, "Date"}, {form->txtFields_3, "Details"},  {form->cbtype, "Type of run:"},
        {form->Calendar1, "Day of the run"},
    };
    for (const auto& [w, name] : expected) {
        EXPECT_EQ(accessibleName(w), name) << w->objectName().toStdString();
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(a, nullptr);
        EXPECT_FALSE(a->text(QAccessible::Description).isEmpty()) << w->objectName().toStdString();
    }
    form->Unload();
    delete form;
}

// The access keys of one window: captions of buttons, frames, labels that
// lead to a control, and the menu bar's titles.
std::multimap<QKeySequence, QString> accessKeys(QWidget* window) {
    std::multimap<QKeySequence, QString> keys;
    auto add = [&](const QString& text) {
        const QKeySequence key = QKeySequence::mnemonic(text);
        if (!key.isEmpty()) keys.emplace(key, text);
    };
    for (auto* b : window->findChildren<QAbstractButton*>()) add(b->text());
    for (auto* g : window->findChildren<QGroupBox*>()) add(g->title());
    for (auto* l : window->findChildren<QLabel*>())
        if (l->buddy()) add(l->text());
    for (auto* bar : window->findChildren<QMenuBar*>())
        for (QAction* menu : bar->actions()) add(menu->text());
    return keys;
}

TEST(AccessKeys, noTwoCaptionsOfAWindowShareAnAccessKey) {
    for (const auto& [title, make] : windows()) {
        SCOPED_TRACE(title);
        QWidget* window = loaded(make);
        const auto keys = accessKeys(window);
        for (auto it = keys.begin(); it != keys.end(); it = keys.upper_bound(it->first))
            EXPECT_EQ(keys.count(it->first), 1u) << it->first.toString().toStdString() << " is the key of "
                                                 << keys.count(it->first) << " captions";
        if (auto* form = qobject_cast<ui::Form*>(window)) form->Unload();
        delete window;
    }
    // The entry form's three keys are among them.
    auto* form = new frmaddnew();
    form->Load();
    const auto keys = accessKeys(form);
    for (int k : {Qt::Key_A, Qt::Key_D, Qt::Key_V}) EXPECT_EQ(keys.count(QKeySequence(Qt::ALT | k)), 1u);
    form->Unload();
    delete form;
}

}  // namespace

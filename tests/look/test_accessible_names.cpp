// SPDX-License-Identifier: GPL-3.0-or-later
// Every window as a screen reader and a keyboard user meet it: each control
// that takes the focus has an accessible name of its own, and no two of a
// window's access keys collide.

#include "app/frmMain.h"
#include "forms/about/frmAbout.h"
#include "forms/entry/frmaddnew.h"
#include "forms/grid/frmDataGrid.h"
#include "forms/query/frmQuerys.h"
#include "forms/summary/frmSummary.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QGroupBox>
#include <QMenuBar>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

namespace {

// Runs check on every window of the program, loaded. A new window joins
// the walks with one line here.
void forEachWindow(const std::function<void(QWidget*)>& check) {
    const std::vector<std::pair<const char*, std::function<ui::Form*()>>> windows = {
        {"main window", [] { return new frmMain(); }},   {"entry form", [] { return new frmaddnew(); }},
        {"grid window", [] { return new frmDataGrid(); }}, {"query window", [] { return new frmQuerys(); }},
        {"About box", [] { return new frmAbout(); }},     {"Training Summary", [] { return new frmSummary(); }},
    };
    for (const auto& [title, make] : windows) {
        SCOPED_TRACE(title);
        ui::Form* form = make();
        form->Load();
        check(form);
        form->Unload();
        delete form;
    }
}

// The name a screen reader gives w. A combo box on this platform reports
// its text as its name; it is named by the label it is the buddy of.
QString accessibleName(QWidget* w) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    if (!a) return QString();
    if (a->role() != QAccessible::ComboBox) return a->text(QAccessible::Name).trimmed();
    const auto labels = a->relations(QAccessible::Label);
    return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name).trimmed();
}

TEST(AccessibleNames, everyControlThatTakesTheFocusHasANameOfItsOwn) {
    forEachWindow([](QWidget* window) {
        std::set<QWidget*> takers;  // a composite control hands the focus to one of its parts
        for (QWidget* w : window->findChildren<QWidget*>()) {
            while (w->focusProxy()) w = w->focusProxy();
            if (w->window() == window && w->focusPolicy() != Qt::NoFocus) takers.insert(w);
        }
        std::map<QString, QString> named;
        for (QWidget* w : takers) {
            const QString name = accessibleName(w), control = w->objectName() + " " + w->metaObject()->className();
            EXPECT_FALSE(name.isEmpty()) << control.toStdString() << " has no accessible name";
            const auto [at, fresh] = named.emplace(name, control);
            EXPECT_TRUE(name.isEmpty() || fresh) << name.toStdString() << ": " << at->second.toStdString() << ", "
                                                 << control.toStdString();
        }
    });
}

TEST(AccessKeys, noTwoCaptionsOfAWindowShareAnAccessKey) {
    forEachWindow([](QWidget* window) {
        QStringList captions;
        for (auto* b : window->findChildren<QAbstractButton*>()) captions << b->text();
        for (auto* g : window->findChildren<QGroupBox*>()) captions << g->title();
        for (auto* bar : window->findChildren<QMenuBar*>())
            for (QAction* menu : bar->actions()) captions << menu->text();
        std::map<QKeySequence, QString> keys;
        for (const QString& text : captions) {
            const QKeySequence key = QKeySequence::mnemonic(text);
            const auto [at, fresh] = keys.emplace(key, text);
            EXPECT_TRUE(key.isEmpty() || fresh) << text.toStdString() << " and " << at->second.toStdString();
        }
    });
}

}  // namespace

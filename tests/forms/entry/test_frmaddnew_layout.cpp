// SPDX-License-Identifier: GPL-3.0-or-later
// The entry form's window and controls as they stand after loading.
#include "entry_fixture.h"

#include "ui/twips.h"

#include <QGroupBox>
#include <QLabel>

#include <cmath>
#include <set>

namespace {

using Layout = EntryFormTest;

QRect twips(double l, double t, double w, double h) {
    return QRect(ui::twipsToPixelsX(l), ui::twipsToPixelsY(t), ui::twipsToPixelsX(w), ui::twipsToPixelsY(h));
}

TEST_F(Layout, windowIsAFixedDialogCaptionedRunlog) {
    auto* form = new frmaddnew();
    form->Load();
    EXPECT_EQ(form->Caption(), "runlog");
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_NEAR(form->ScaleWidth(), 7428, 15);
    EXPECT_NEAR(form->ScaleHeight(), 5988, 15);
}

TEST_F(Layout, controlsHaveTheirKindsCaptionsAndPlaces) {
    auto* form = new frmaddnew();
    form->Load();
    EXPECT_EQ(form->Frame1->title(), "Enter New Log Entry");
    EXPECT_EQ(form->Frame1->geometry(), twips(120, 120, 7212, 5772));
    EXPECT_EQ(form->Calendar1->geometry(), twips(600, 480, 2652, 1932));
    EXPECT_EQ(form->txtFields_0->geometry(), twips(5400, 480, 1332, 285));
    EXPECT_EQ(form->txtFields_3->geometry(), twips(4920, 1200, 2172, 612));
    EXPECT_EQ(form->cbtype->geometry(), twips(4920, 2160, 1932, 288));
    EXPECT_EQ(form->Sldhr->geometry(), twips(1440, 2640, 2172, 372));
    EXPECT_EQ(form->txtSld->geometry(), twips(3720, 2640, 1212, 372));
    EXPECT_EQ(form->Cmdaccpt->geometry(), twips(5400, 2640, 1212, 372));
    EXPECT_EQ(form->Sldmin->geometry(), twips(1440, 3120, 3972, 408));
    EXPECT_EQ(form->Data1->geometry(), twips(1080, 3720, 4920, 564));
    EXPECT_EQ(form->cmdDelete->geometry(), twips(1080, 4920, 1332, 300));
    EXPECT_EQ(form->cmdAdd->geometry(), twips(2880, 4920, 1452, 300));
    EXPECT_EQ(form->cmdGrid->geometry(), twips(4800, 4920, 1452, 300));

    // In the frame, placed relative to it.
    EXPECT_EQ(form->cmdReturn->parentWidget(), form->Frame1);
    EXPECT_EQ(form->cmdReturn->geometry(), twips(2760, 5280, 1452, 300));
    EXPECT_EQ(form->lblData->geometry(), twips(1200, 4320, 4812, 492));
    const std::map<int, std::pair<QString, QRect>> labels = {
        {0, {"Date: (click on the calendar)", twips(3720, 360, 1332, 492)}},
        {1, {"Duration:(hr)", twips(240, 2520, 852, 252)}},
        {2, {"Type of run:", twips(3720, 2040, 852, 252)}},
        {3, {"Details:", twips(3720, 1200, 732, 252)}},
        {5, {"Duration:(min)", twips(240, 3000, 1092, 252)}},
    };
    for (const auto& [index, expected] : labels) {
        QLabel* label = form->lblLabels(index);
        ASSERT_NE(label, nullptr) << index;
        EXPECT_EQ(label->objectName(), QStringLiteral("lblLabels_%1").arg(index));
        EXPECT_EQ(label->text(), expected.first);
        // Where the frame shows it (the type box's label is the type box's
        // sibling, for screen readers).
        const QRect inFrame(label->parentWidget()->mapTo(form, label->pos()) - form->Frame1->pos(), label->size());
        EXPECT_EQ(inFrame, expected.second) << index;
        EXPECT_EQ(label->parentWidget(), index == 2 ? static_cast<QWidget*>(form) : form->Frame1);
    }
    EXPECT_EQ(form->lblLabels(2)->buddy(), form->cbtype);
    EXPECT_EQ(form->lblLabels(4), nullptr);
    EXPECT_EQ(form->lblData->text(),
              "Use the arrows to scroll through the entries in the log. Click on \"Add New\" to enter a new "
              "Entry in the log.");

    EXPECT_EQ(form->cmdDelete->text(), "&Delete Current");
    EXPECT_EQ(form->cmdAdd->text(), "&Add New");
    EXPECT_EQ(form->cmdGrid->text(), "&View Entire Log");
    EXPECT_EQ(form->cmdReturn->text(), "Return");
    EXPECT_EQ(form->Cmdaccpt->text(), "ACCEPT");
    EXPECT_EQ(form->Sldhr->minimum(), 0);
    EXPECT_EQ(form->Sldhr->maximum(), 6);
    EXPECT_EQ(form->Sldmin->maximum(), 59);
    EXPECT_EQ(form->txtFields(0), form->txtFields_0);
    EXPECT_EQ(form->txtFields(3), form->txtFields_3);
    EXPECT_EQ(form->txtFields(1), nullptr);
    for (QWidget* w : std::initializer_list<QWidget*>{form->Calendar1, form->txtFields_0, form->txtFields_3,
                                                      form->cbtype, form->Sldhr, form->txtSld, form->Cmdaccpt,
                                                      form->Sldmin, form->Data1, form->cmdDelete, form->cmdAdd,
                                                      form->cmdGrid, form->cmdReturn, form->lblData, form->Frame1})
        EXPECT_EQ(form->findChild<QWidget*>(w->objectName()), w) << w->objectName().toStdString();
    EXPECT_EQ(form->findChild<QWidget*>("txtFields_0"), form->txtFields_0);
}

TEST_F(Layout, tabOrderFollowsTheTabIndexes) {
    auto* form = new frmaddnew();
    form->Load();
    // The navigation bar's buttons come after the description box.
    const QList<QWidget*> bar = form->Data1->tabStops();
    ASSERT_EQ(bar.size(), 4);
    QWidget* expected[] = {form->txtFields_0, form->txtFields_3, bar[0],          bar[1],        bar[2],
                           bar[3],            form->cmdAdd,      form->cmdDelete, form->cmdGrid, form->Calendar1,
                           form->cbtype,      form->Sldhr,       form->Sldmin,    form->txtSld,  form->Cmdaccpt,
                           form->cmdReturn};
    // The order in which the focus chain meets the controls.
    const std::set<QWidget*> controls(std::begin(expected), std::end(expected));
    std::vector<QWidget*> met;
    QWidget* w = expected[0];
    do {
        if (controls.count(w) && std::find(met.begin(), met.end(), w) == met.end()) met.push_back(w);
        w = w->nextInFocusChain();
    } while (w && w != expected[0]);
    EXPECT_EQ(met, std::vector<QWidget*>(std::begin(expected), std::end(expected)));
    for (QWidget* c : expected) EXPECT_TRUE(c->focusPolicy() & Qt::TabFocus) << c->objectName().toStdString();
}

// Text on background at least 4.5:1 (WCAG), though the boxes take no typing.
TEST_F(Layout, boxesThatTakeNoTypingReadAsNormalText) {
    auto luminance = [](const QColor& c) {
        auto ch = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * ch(c.redF()) + 0.7152 * ch(c.greenF()) + 0.0722 * ch(c.blueF()) + 0.05;
    };
    auto* form = openForm(1);
    for (QWidget* box : std::initializer_list<QWidget*>{form->txtFields_0, form->txtSld, form->txtFields_3}) {
        const double text = luminance(box->palette().color(QPalette::Disabled, QPalette::Text));
        const double base = luminance(box->palette().color(QPalette::Disabled, QPalette::Base));
        EXPECT_FALSE(box->isEnabled());
        EXPECT_GE(std::max(text, base) / std::min(text, base), 4.5) << box->objectName().toStdString();
    }
}

TEST_F(Layout, loadingSetsTheBrowsingStateAndTheTypeList) {
    auto* form = new frmaddnew();
    form->Load();
    QStringList items;
    for (int i = 0; i < form->cbtype->count(); ++i) items << form->cbtype->itemText(i);
    EXPECT_EQ(items, QStringList({"Normal", "Long", "Speedwork", "Race", "Recovery", "Tempo",
                                  "Lactate Threshold", "VO2 Max"}));
    EXPECT_EQ(form->cbtype->currentText(), "Fartlek");
    EXPECT_TRUE(form->cbtype->isEditable());
    EXPECT_TRUE(form->cbtype->isEnabled());
    EXPECT_FALSE(form->txtFields_0->isEnabled());
    EXPECT_FALSE(form->txtFields_3->isEnabled());
    EXPECT_FALSE(form->txtSld->isEnabled());
    EXPECT_FALSE(form->Cmdaccpt->isEnabled());
    EXPECT_FALSE(form->Sldhr->isEnabled());
    EXPECT_FALSE(form->Sldmin->isEnabled());
    EXPECT_TRUE(form->Calendar1->isHidden());
    EXPECT_TRUE(form->cmdAdd->isEnabled());
    EXPECT_TRUE(form->cmdDelete->isEnabled());
    EXPECT_TRUE(form->cmdGrid->isEnabled());
    EXPECT_EQ(form->txtFields_3->MaxLength(), 255);
    EXPECT_EQ(form->iAddNew, 0);
    EXPECT_EQ(form->berr, 0);
    EXPECT_EQ(form->iHour, 0);
    EXPECT_EQ(form->iMin, 0);
    EXPECT_EQ(form->iTime, 0);
    EXPECT_EQ(entryNumber(form), "");
}

TEST_F(Layout, typedTextNeverJoinsTheTypeList) {
    auto* form = openForm(1);
    form->cbtype->setFocus();
    form->cbtype->lineEdit()->selectAll();
    QTest::keyClicks(form->cbtype, QStringLiteral("long hills"));
    QTest::keyClick(form->cbtype, Qt::Key_Return);
    EXPECT_EQ(form->cbtype->currentText(), "long hills");
    EXPECT_EQ(form->cbtype->count(), 8);
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// Every caption of every window fits the box its window gives it, in the
// program's own font: no clipped label, button, option or frame title.

#include "app/frmMain.h"
#include "forms/about/frmAbout.h"
#include "forms/entry/frmaddnew.h"
#include "forms/query/frmQuerys.h"
#include "forms/summary/frmSummary.h"
#include "ui/form.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

namespace {

QString withoutAccessKeys(QString text) {
    text.replace(QLatin1String("&&"), QString(QChar(0x1)));
    text.remove(QLatin1Char('&'));
    text.replace(QChar(0x1), QLatin1Char('&'));
    return text;
}

// What does not fit, one line per control; empty when everything fits.
std::string clippedCaptions(QWidget* window) {
    QStringList clipped;
    auto report = [&](QWidget* w, const QString& text, const QString& why) {
        clipped << QStringLiteral("%1 \"%2\": %3").arg(w->objectName(), text, why);
    };
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->text().isEmpty() || !label->pixmap().isNull() || label->textFormat() == Qt::RichText) continue;
        const QString text = withoutAccessKeys(label->text());
        const QRect box = label->contentsRect();
        const QFontMetrics fm(label->font());
        if (label->wordWrap()) {
            const QRect needed = fm.boundingRect(QRect(0, 0, box.width(), INT_MAX),
                                                 int(label->alignment()) | Qt::TextWordWrap, text);
            if (needed.height() > box.height())
                report(label, text, QStringLiteral("needs %1 px of height, has %2").arg(needed.height()).arg(box.height()));
            for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                if (fm.horizontalAdvance(word) > box.width())
                    report(label, text, QStringLiteral("the word \"%1\" is wider than the box").arg(word));
        } else {
            if (fm.horizontalAdvance(text) > box.width())
                report(label, text, QStringLiteral("needs %1 px, has %2").arg(fm.horizontalAdvance(text)).arg(box.width()));
            if (fm.height() > box.height())
                report(label, text, QStringLiteral("needs %1 px of height, has %2").arg(fm.height()).arg(box.height()));
        }
    }
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (button->text().isEmpty()) continue;
        const QString text = withoutAccessKeys(button->text());
        const QFontMetrics fm(button->font());
        int room = button->width();
        if (qobject_cast<QPushButton*>(button)) {
            // The style's frame and margins on both sides.
            room -= 2 * (button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) / 2 +
                         button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button));
        } else if (qobject_cast<QRadioButton*>(button) || qobject_cast<QCheckBox*>(button)) {
            QStyleOptionButton opt;
            opt.initFrom(button);
            const bool radio = qobject_cast<QRadioButton*>(button) != nullptr;
            room -= button->style()->pixelMetric(radio ? QStyle::PM_ExclusiveIndicatorWidth : QStyle::PM_IndicatorWidth,
                                                 &opt, button) +
                    button->style()->pixelMetric(radio ? QStyle::PM_RadioButtonLabelSpacing
                                                       : QStyle::PM_CheckBoxLabelSpacing,
                                                 &opt, button);
        } else {
            continue;  // tool buttons of composite controls draw no caption of ours
        }
        int widest = 0;  // a caption may be laid out on more than one line
        for (const QString& line : text.split(QLatin1Char('\n'))) widest = std::max(widest, fm.horizontalAdvance(line));
        if (widest > room) report(button, text, QStringLiteral("needs %1 px, has %2").arg(widest).arg(room));
        if (fm.lineSpacing() * int(text.count(QLatin1Char('\n')) + 1) > button->height())
            report(button, text, QStringLiteral("its lines need more than %1 px of height").arg(button->height()));
    }
    for (QGroupBox* frame : window->findChildren<QGroupBox*>()) {
        const QString text = withoutAccessKeys(frame->title());
        const QFontMetrics fm(frame->font());
        if (fm.horizontalAdvance(text) > frame->width() - 16)
            report(frame, text, QStringLiteral("title wider than the frame"));
    }
    return clipped.join(QLatin1Char('\n')).toStdString();
}

TEST(CaptionsFit, theProgramFontHasArialMetrics) {
    // The layouts were measured with this face; a substitute would clip.
    EXPECT_EQ(QFontInfo(QApplication::font()).family().toStdString(), "Liberation Sans")
        << "fonts-liberation2 is not installed (scripts/setup installs it)";
    EXPECT_DOUBLE_EQ(QApplication::font().pointSizeF(), 7.5);
}

TEST(CaptionsFit, entryFormCaptionsFit) {
    auto* form = new frmaddnew();
    form->Load();
    EXPECT_EQ(clippedCaptions(form), "");
}

TEST(CaptionsFit, queryWindowCaptionsFit) {
    frmQuerys& form = ui::sharedInstance<frmQuerys>();
    EXPECT_EQ(clippedCaptions(&form), "");
    form.optmysql->click();
    EXPECT_EQ(clippedCaptions(&form), "");
}

TEST(CaptionsFit, aboutBoxCaptionsFit) {
    frmAbout& about = ui::sharedInstance<frmAbout>();
    EXPECT_EQ(clippedCaptions(&about), "");
}

TEST(CaptionsFit, summaryWindowCaptionsFit) {
    frmSummary& form = ui::sharedInstance<frmSummary>();
    form.Show();
    form.layout()->activate();
    EXPECT_EQ(clippedCaptions(&form), "");
}

TEST(CaptionsFit, mainWindowStatusPanelsFit) {
    auto* main = new frmMain();
    main->Load();
    main->show();
    EXPECT_EQ(clippedCaptions(main), "");
}

}  // namespace

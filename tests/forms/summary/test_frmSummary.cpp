// SPDX-License-Identifier: GPL-3.0-or-later
// The "Training Summary" window: opened from the menu as one window, its
// choices, the chart beside the table, copying, reading the log again on
// activation, its remembered place and size, a log it cannot read, and the
// chart saved as a picture.

#include "summary_fixture.h"

#include "app/Module1.h"
#include "app/frmMain.h"
#include "forms/summary/frmSummary.h"
#include "forms/summary/summarychart.h"
#include "settings/settings.h"
#include "support/gui/folders.h"
#include "support/gui/msgboxes.h"
#include "support/gui/windows.h"
#include "ui/form.h"
#include "ui/twips.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolTip>

namespace {

using summarytest::Entry;

const double kPixel = ui::pixelsToTwipsX(1) + 0.01;

class SummaryWindowTest : public summarytest::SummaryLog {
protected:
    void SetUp() override {
        SummaryLog::SetUp();
        Module1::resetSharedState();
        Module1::sDatabasePath = folder.path() + QStringLiteral("\\RUN.MDB");
    }

    // A day of the week `weeksAgo` weeks before this one (1 = Monday).
    static QByteArray day(int weeksAgo, int weekday) {
        const QDate today = QDate::currentDate();
        return today.addDays(weekday - today.dayOfWeek() - 7 * weeksAgo).toString(Qt::ISODate).toLatin1();
    }
    void addRun(int weeksAgo, int weekday, int minutes, const char* type) {
        const QByteArray d = day(weeksAgo, weekday);
        summarytest::addRuns(log(), {{d.constData(), minutes, type}});
    }

    frmSummary* openFromMenu() {
        if (!main) {
            main = new frmMain();
            main->Load();
        }
        main->mnuViewSummary_Click();
        return qobject_cast<frmSummary*>(ui::Forms::ActiveForm());
    }
    // The window becomes active again after another one was.
    void comeBack(frmSummary* f) {
        main->activateForm();
        f->activateForm();
    }
    static std::vector<qint64> minutesColumn(const frmSummary* f) {
        std::vector<qint64> m;
        for (const auto& p : f->totals().rows) m.push_back(p.minutes);
        return m;
    }

    frmMain* main = nullptr;
    testsupport::FreshSettings store;
    testsupport::MsgBoxRecorder boxes;
};

TEST_F(SummaryWindowTest, opensFromTheMenuAsOneWindowOverTheLastTwelveWeeks) {
    addRun(0, 1, 30, "Normal");
    addRun(11, 7, 45, "Long");
    addRun(12, 7, 99, "Long");  // thirteen weeks ago
    frmSummary* f = openFromMenu();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Caption(), "Training Summary");
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(f->optWeeks->isChecked());
    EXPECT_EQ(f->cbRange->currentText(), "Last 12 weeks");
    ASSERT_EQ(f->grdTotals->model()->rowCount(), 12) << boxes.prompts().join('|').toStdString();
    EXPECT_EQ(minutesColumn(f), (std::vector<qint64>{45, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 30}));
    EXPECT_EQ(f->grdTotals->model()->index(11, 0).data().toString(),
              summary::periodLabel(QDate::fromString(QString::fromLatin1(day(0, 1)), Qt::ISODate),
                                   summary::Period::Weeks));
    EXPECT_TRUE(f->lblSpan->text().endsWith(": 2 runs, 75 minutes (1:15)")) << f->lblSpan->text().toStdString();
    EXPECT_TRUE(f->lblNote->isHidden());
    EXPECT_EQ(boxes.count(), 0);

    f->cbRange->setCurrentText("All");
    EXPECT_NE(openFromMenu(), nullptr);
    EXPECT_EQ(&ui::sharedInstance<frmSummary>(), f);
    EXPECT_EQ(f->cbRange->currentText(), "All");
    EXPECT_EQ(f->grdTotals->model()->rowCount(), 13);
}

TEST_F(SummaryWindowTest, periodsAndRangesReadTheTotalsAgain) {
    addRun(0, 3, 30, "Normal");
    addRun(60, 3, 40, "Normal");
    frmSummary* f = openFromMenu();
    QAbstractItemModelTester tester(f->grdTotals->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    QTest::mouseClick(f->optYears, Qt::LeftButton);
    EXPECT_TRUE(f->optYears->isChecked());
    EXPECT_EQ(f->totals().period, summary::Period::Years);
    QTest::keyClick(f->cbRange, Qt::Key_End);
    EXPECT_EQ(f->cbRange->currentText(), "All");
    qint64 runs = 0;
    for (const auto& p : f->totals().rows) runs += p.runs;
    EXPECT_EQ(runs, 2);
    EXPECT_TRUE(f->lblNote->isHidden());
    // A run without a day is counted in no period, and the window says so.
    summarytest::addRuns(log(), {{nullptr, 25, "Long"}});
    QTest::mouseClick(f->optMonths, Qt::LeftButton);
    EXPECT_FALSE(f->lblNote->isHidden());
    EXPECT_EQ(f->lblNote->text(), "1 run has no day that places it in a period; it is not counted here.");
    EXPECT_GE(f->totals().rows.size(), 14u);
    EXPECT_EQ(f->totals().rows.back().minutes, 30);
    EXPECT_EQ(f->picChart->categories().size(), f->totals().rows.size());
}

TEST_F(SummaryWindowTest, chartBarsAreTheTableStackedByTypeWithTheirFiguresOnHover) {
    addRun(0, 2, 60, "Long");
    addRun(0, 4, 30, "Tempo");
    addRun(2, 6, 45, "Race");
    addRun(2, 7, 15, "Lunch jog");
    frmSummary* f = openFromMenu();
    SummaryChart* chart = f->picChart;
    f->Move(0, 0, 13500, 10500);  // 900 x 700 pixels
    ASSERT_TRUE(testsupport::waitFor([&] { return chart->width() > 800; }));
    ASSERT_EQ(chart->categories().size(), 12u);
    for (size_t i = 0; i < 12; ++i) EXPECT_EQ(chart->categories()[i].label, f->totals().rows[i].label);
    EXPECT_EQ(chart->categories()[11].tick, f->totals().rows[11].label.mid(5));  // "W50"
    // Every type a series in the table's order; only those with minutes have bars.
    ASSERT_EQ(chart->series().size(), 10u);
    std::map<QString, std::vector<double>> bars;
    for (const auto& s : chart->series())
        if (std::any_of(s.values.begin(), s.values.end(), [](double v) { return v > 0; })) bars[s.name] = s.values;
    std::vector<double> week(12, 0.0);
    auto at = [&](int index, double v) { auto w = week; w[size_t(index)] = v; return w; };
    EXPECT_EQ(bars, (std::map<QString, std::vector<double>>{
                        {"Long", at(11, 60)}, {"Tempo", at(11, 30)}, {"Race", at(9, 45)}, {"Other", at(9, 15)}}));
    EXPECT_EQ(chart->total(11), 90);
    EXPECT_EQ(chart->categoryText(11),
              f->totals().rows[11].label + ": 90 minutes (1:30)\nLong: 60\nTempo: 30");

    // Stacked: Tempo sits on Long, in proportion.
    const QRectF longBar = chart->barRect(1, 11), tempoBar = chart->barRect(5, 11);
    EXPECT_NEAR(tempoBar.bottom(), longBar.top(), 0.01);
    EXPECT_NEAR(longBar.height(), 2 * tempoBar.height(), 0.01);
    EXPECT_TRUE(chart->barRect(1, 10).isEmpty());

    // (Through the window: a move without buttons to a widget only sets the cursor.)
    QTest::mouseMove(f->windowHandle(), chart->mapTo(f, longBar.center().toPoint()));
    EXPECT_EQ(chart->categoryAt(longBar.center()), 11);
    EXPECT_TRUE(testsupport::waitFor([&] { return QToolTip::text() == chart->categoryText(11); }));

    // The arrow keys pick bars, and the table follows (and the other way).
    chart->setFocus();
    QTest::keyClick(chart, Qt::Key_End);
    QTest::keyClick(chart, Qt::Key_Left);
    QTest::keyClick(chart, Qt::Key_Left);
    EXPECT_EQ(chart->currentCategory(), 9);
    EXPECT_EQ(f->grdTotals->currentIndex().row(), 9);
    f->grdTotals->setCurrentIndex(f->grdTotals->model()->index(3, 0));
    EXPECT_EQ(chart->currentCategory(), 3);
}

TEST_F(SummaryWindowTest, tableCopiesAsTabSeparatedTextByKeysAndByButton) {
    addRun(0, 1, 30, "Tempo");
    addRun(1, 1, 50, "Long");
    frmSummary* f = openFromMenu();
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QString all = summary::tabSeparated(f->totals());
    ASSERT_TRUE(all.startsWith("Period\tRuns\tMinutes\th:mm\tLongest\tNormal\t"));
    ASSERT_EQ(all.count(u'\n'), 13);

    f->activateWindow();
    ASSERT_TRUE(testsupport::waitFor([&] { return QApplication::activeWindow() == f; }));
    f->grdTotals->setFocus();
    QTest::mouseClick(f->grdTotals->viewport(), Qt::LeftButton, {},
                      f->grdTotals->visualRect(f->grdTotals->model()->index(10, 2)).center());
    clipboard->clear();
    QTest::keyClick(f->grdTotals, Qt::Key_C, Qt::ControlModifier);
    const QStringList lines = all.split(u'\n');
    EXPECT_EQ(clipboard->text(), lines[0] + "\n" + lines[11] + "\n");
    EXPECT_TRUE(lines[11].startsWith(f->totals().rows[10].label + "\t1\t50\t0:50\t50\t0\t50\t"));

    QTest::keyClick(f->grdTotals, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(f->grdTotals, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), all);

    f->grdTotals->clearSelection();
    clipboard->clear();
    QTest::mouseClick(f->cmdCopy, Qt::LeftButton);  // nothing chosen: every row
    EXPECT_EQ(clipboard->text(), all);
}

TEST_F(SummaryWindowTest, readsTheLogAgainOnlyWhenItChangedSinceItWasRead) {
    addRun(0, 1, 30, "Tempo");
    frmSummary* f = openFromMenu();
    int reads = 0;
    QObject::connect(f->grdTotals->model(), &QAbstractItemModel::modelReset, [&] { ++reads; });
    comeBack(f);
    EXPECT_EQ(reads, 0);

    // Another program, or an entry form, adds a run meanwhile.
    addRun(0, 2, 20, "Long");
    comeBack(f);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(f->totals().rows.back().minutes, 50);
    EXPECT_EQ(f->totals().rows.back().runs, 2);
}

TEST_F(SummaryWindowTest, remembersItsPlaceAndSizeUnlessMinimized) {
    frmSummary* f = openFromMenu();
    EXPECT_NEAR(f->Left(), 1400, kPixel);
    EXPECT_NEAR(f->Top(), 1400, kPixel);
    EXPECT_NEAR(f->Width(), 12000, kPixel);
    EXPECT_NEAR(f->Height(), 9000, kPixel);
    f->Move(2000, 1500, 10500, 8000);
    const double left = f->Left(), top = f->Top(), width = f->Width(), height = f->Height();
    QTest::mouseClick(f->cmdClose, Qt::LeftButton);
    EXPECT_FALSE(f->isLoaded());
    testsupport::processDeletes();
    const auto stored = [](const char* key) { return settings::GetSetting("Pacebook", "Settings", key).toDouble(); };
    EXPECT_EQ(stored("SummaryLeft"), qRound64(left));
    EXPECT_EQ(stored("SummaryTop"), qRound64(top));
    EXPECT_EQ(stored("SummaryWidth"), qRound64(width));
    EXPECT_EQ(stored("SummaryHeight"), qRound64(height));

    frmSummary* again = openFromMenu();
    EXPECT_NEAR(again->Left(), left, kPixel);
    EXPECT_NEAR(again->Width(), width, kPixel);
    again->setWindowState(ui::vbMinimized);
    again->Unload();
    EXPECT_EQ(stored("SummaryLeft"), qRound64(left));
}

TEST_F(SummaryWindowTest, aLogThatCannotBeReadIsToldOnceAndShowsNoTotals) {
    Module1::sDatabasePath = folder.path() + QStringLiteral("\\missing\\RUN.MDB");
    frmSummary* f = openFromMenu();
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_TRUE(boxes.last().prompt.contains("Could not find file")) << boxes.last().prompt.toStdString();
    EXPECT_FALSE(f->lblNote->isHidden());
    EXPECT_TRUE(f->lblNote->text().startsWith("The totals could not be read"));
    EXPECT_EQ(f->grdTotals->model()->rowCount(), 0);
    comeBack(f);
    EXPECT_EQ(boxes.count(), 1);

    // Once the log is there, the next return to the window shows it.
    Module1::sDatabasePath = folder.path() + QStringLiteral("\\RUN.MDB");
    addRun(0, 1, 30, "Tempo");
    comeBack(f);
    EXPECT_EQ(f->grdTotals->model()->rowCount(), 12);
    EXPECT_TRUE(f->lblNote->isHidden());
    EXPECT_EQ(boxes.count(), 1);
}

TEST_F(SummaryWindowTest, savesTheChartAsAPngOfItsOwnSizeAtTheScreensScale) {
    addRun(0, 1, 30, "Tempo");
    frmSummary* f = openFromMenu();
    const QString path = folder.file("chart.png");

    // Through the dialog: a name typed and saved; then the same name again,
    // answered "No" when asked to replace it.
    auto saveAs = [&](const QString& name) {
        QTimer::singleShot(0, [name] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->objectName(), "dlgSavePNG");
            dialog->selectFile(name);
            static_cast<QDialog*>(dialog)->accept();
        });
        QTest::mouseClick(f->cmdSavePNG, Qt::LeftButton);
    };
    saveAs(path);
    const QImage saved(path);
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.size(), f->picChart->size() * f->picChart->devicePixelRatioF());
    EXPECT_EQ(boxes.count(), 0);
    const QDateTime written = QFileInfo(path).lastModified();

    boxes.answer(ui::vbNo);
    saveAs(path);
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_TRUE(boxes.last().prompt.contains("already exists. Replace it?"));
    EXPECT_EQ(QFileInfo(path).lastModified(), written);

    // Twice the scale, twice the pixels; a folder that is not there is told.
    EXPECT_EQ(f->picChart->image(2).size(), f->picChart->size() * 2);
    EXPECT_FALSE(f->savePicture(folder.file("no such folder/chart.png")));
    ASSERT_EQ(boxes.count(), 2);
    EXPECT_TRUE(boxes.last().prompt.startsWith("The chart could not be saved as"));
}

TEST_F(SummaryWindowTest, everyControlThatTakesTheFocusHasAnAccessibleName) {
    frmSummary* f = openFromMenu();
    int focusable = 0;
    for (QWidget* w : f->findChildren<QWidget*>()) {
        if (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(f) || w->focusProxy()) continue;
        ++focusable;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(a, nullptr) << w->objectName().toStdString();
        EXPECT_FALSE(a->text(QAccessible::Name).isEmpty()) << w->metaObject()->className() << " "
                                                           << w->objectName().toStdString();
    }
    EXPECT_GE(focusable, 9);
}

}  // namespace

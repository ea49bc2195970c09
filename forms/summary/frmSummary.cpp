// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmSummary.h"

#include "summarychart.h"
#include "summarymodel.h"

#include "app/Module1.h"
#include "dao/rows.h"
#include "settings/settings.h"
#include "ui/app.h"
#include "ui/guard.h"
#include "ui/msgbox.h"
#include "ui/screen.h"
#include "ui/statementprogress.h"
#include "ui/twips.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QScreen>
#include <QSplitter>
#include <QStandardPaths>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace {

const QString kSection = QStringLiteral("Settings");
const QString kLeftKey = QStringLiteral("SummaryLeft");
const QString kTopKey = QStringLiteral("SummaryTop");
const QString kWidthKey = QStringLiteral("SummaryWidth");
const QString kHeightKey = QStringLiteral("SummaryHeight");

// Where the window opens the first time, in twips (800 x 600 pixels at
// 96 dpi, a little in from the main window's corner).
constexpr double kLeft = 1400;
constexpr double kTop = 1400;
constexpr double kWidth = 12000;
constexpr double kHeight = 9000;

// One colour per type column (typeColumns()), told apart also by those who
// see colours differently; "Other" grey.
const QColor kTypeColours[] = {
    QColor(0x56, 0xB4, 0xE9), QColor(0x00, 0x72, 0xB2), QColor(0xD5, 0x5E, 0x00), QColor(0xCC, 0x79, 0xA7),
    QColor(0x00, 0x9E, 0x73), QColor(0xE6, 0x9F, 0x00), QColor(0xF0, 0xE4, 0x42), QColor(0x88, 0x22, 0x55),
    QColor(0x44, 0xAA, 0x99), QColor(0x99, 0x99, 0x99)};

long long dataVersionOf(dao::Database& db) {
    return dao::SelectRows(db, QStringLiteral("PRAGMA data_version")).at(0).at(0).toLongLong();
}

// A stored place: any finite number not beyond every screen there is; a
// stored size: more than nothing and no larger than the desktop. Anything
// else counts as not stored.
double storedPosition(const QString& key, double defaultValue) {
    constexpr double kFar = 1e8;
    return settings::GetNumber(ui::App::Title(), kSection, key, defaultValue, -kFar, kFar);
}
double storedSize(const QString& key, double defaultValue, bool horizontal) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect desktop = screen ? screen->virtualGeometry() : QRect();
    const double most = !screen      ? 1e12
                        : horizontal ? ui::pixelsToTwipsX(desktop.width())
                                     : ui::pixelsToTwipsY(desktop.height());
    return settings::GetNumber(ui::App::Title(), kSection, key, defaultValue, 1, most);
}
void storeTwips(const QString& key, double twips) {
    settings::SaveSetting(ui::App::Title(), kSection, key, QString::number(qRound64(twips)));
}

// The bar's short label and its group (the year) for the chart's axis.
SummaryChart::Category axisCategory(const summary::PeriodTotals& p, summary::Period period) {
    switch (period) {
    case summary::Period::Weeks: return {p.label, p.label.mid(5), p.label.left(4)};
    case summary::Period::Months:
        return {p.label, QLocale().standaloneMonthName(p.start.month(), QLocale::ShortFormat), p.label.left(4)};
    case summary::Period::Years: break;
    }
    return {p.label, p.label, QString()};
}

}  // namespace

frmSummary::frmSummary(QWidget* parent) : ui::Form(parent) {
    setObjectName(QStringLiteral("frmSummary"));
    setCaption(tr("Training Summary"));
    createControls();
    connectEvents();
}

frmSummary::~frmSummary() = default;

const summary::Totals& frmSummary::totals() const { return model->totals(); }

void frmSummary::createControls() {
    auto named = [](QWidget* w, const char* name, const QString& accessible) {
        w->setObjectName(QLatin1String(name));
        w->setAccessibleName(accessible);
    };

    fraPeriod = new QGroupBox(tr("Period"), this);
    named(fraPeriod, "fraPeriod", tr("Period"));
    optWeeks = new QRadioButton(tr("&Weeks"), fraPeriod);
    named(optWeeks, "optWeeks", tr("Weeks"));
    optMonths = new QRadioButton(tr("&Months"), fraPeriod);
    named(optMonths, "optMonths", tr("Months"));
    optYears = new QRadioButton(tr("&Years"), fraPeriod);
    named(optYears, "optYears", tr("Years"));
    optWeeks->setChecked(true);
    auto* periods = new QHBoxLayout(fraPeriod);
    periods->addWidget(optWeeks);
    periods->addWidget(optMonths);
    periods->addWidget(optYears);

    lblRange = new QLabel(tr("&Range:"), this);
    named(lblRange, "lblRange", tr("Range"));
    cbRange = new QComboBox(this);
    named(cbRange, "cbRange", tr("Range"));
    cbRange->addItems({tr("Last 12 weeks"), tr("Last 26 weeks"), tr("Last 52 weeks"), tr("This year"), tr("All")});
    lblRange->setBuddy(cbRange);

    lblSpan = new QLabel(this);
    named(lblSpan, "lblSpan", tr("Days covered"));
    lblSpan->setTextFormat(Qt::PlainText);
    lblSpan->setTextInteractionFlags(Qt::TextSelectableByMouse);

    picChart = new SummaryChart(this);
    named(picChart, "picChart", tr("Chart of minutes per period"));
    picChart->setAccessibleDescription(
        tr("Bars of the minutes of each period, stacked by type. The totals table below holds the same figures. "
           "Left and Right pick a bar and tell its figures."));

    auto* tablePane = new QWidget(this);
    lblTotals = new QLabel(tr("&Totals:"), tablePane);
    named(lblTotals, "lblTotals", tr("Totals"));
    model = new SummaryModel(this);
    grdTotals = new QTableView(tablePane);
    named(grdTotals, "grdTotals", tr("Totals per period"));
    grdTotals->setAccessibleDescription(tr("One row per period: runs, minutes, longest run and minutes per type."));
    grdTotals->setModel(model);
    grdTotals->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdTotals->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grdTotals->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdTotals->setTabKeyNavigation(false);
    grdTotals->setWordWrap(false);
    grdTotals->verticalHeader()->hide();
    grdTotals->verticalHeader()->setDefaultSectionSize(grdTotals->fontMetrics().height() * 3 / 2);
    // Widths from the font, not from the rows, so that a change of period
    // costs nothing however many rows it brings.
    const QFontMetrics fm(grdTotals->font());
    const int padding = fm.horizontalAdvance(QStringLiteral("00"));
    for (int c = 0; c < model->columnCount(); ++c) {
        const QString widest = c == 0 ? QStringLiteral("0000-W00") : QStringLiteral("000000");
        const int header = QFontMetrics(grdTotals->horizontalHeader()->font())
                               .horizontalAdvance(model->headerData(c, Qt::Horizontal).toString());
        grdTotals->setColumnWidth(c, std::max(header, fm.horizontalAdvance(widest)) + padding);
    }
    lblTotals->setBuddy(grdTotals);
    auto* tableLayout = new QVBoxLayout(tablePane);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    tableLayout->addWidget(lblTotals);
    tableLayout->addWidget(grdTotals);

    auto* panes = new QSplitter(Qt::Vertical, this);
    panes->setObjectName(QStringLiteral("panes"));
    panes->setChildrenCollapsible(false);
    panes->addWidget(picChart);
    panes->addWidget(tablePane);
    panes->setStretchFactor(0, 3);
    panes->setStretchFactor(1, 2);

    lblNote = new QLabel(this);
    named(lblNote, "lblNote", tr("Note"));
    lblNote->setTextFormat(Qt::PlainText);
    lblNote->setWordWrap(true);
    lblNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblNote->hide();

    cmdCopy = new QPushButton(tr("&Copy"), this);
    named(cmdCopy, "cmdCopy", tr("Copy"));
    cmdCopy->setToolTip(tr("Copies the rows chosen in the table (all of them when none is chosen) as "
                           "tab-separated text, for a spreadsheet (Ctrl+C)"));
    cmdSavePNG = new QPushButton(tr("Save as &PNG..."), this);
    named(cmdSavePNG, "cmdSavePNG", tr("Save as PNG"));
    cmdSavePNG->setToolTip(tr("Saves the chart as a PNG picture"));
    cmdClose = new QPushButton(tr("C&lose"), this);
    named(cmdClose, "cmdClose", tr("Close"));

    auto* choices = new QHBoxLayout;
    choices->addWidget(fraPeriod);
    choices->addSpacing(fm.height());
    choices->addWidget(lblRange);
    choices->addWidget(cbRange);
    choices->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdCopy);
    buttons->addWidget(cmdSavePNG);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addWidget(lblSpan);
    layout->addWidget(panes, 1);
    layout->addWidget(lblNote);
    layout->addLayout(buttons);

    setTabOrder(optWeeks, optMonths);
    setTabOrder(optMonths, optYears);
    setTabOrder(optYears, cbRange);
    setTabOrder(cbRange, picChart);
    setTabOrder(picChart, grdTotals);
    setTabOrder(grdTotals, cmdCopy);
    setTabOrder(cmdCopy, cmdSavePNG);
    setTabOrder(cmdSavePNG, cmdClose);
}

void frmSummary::connectEvents() {
    for (QRadioButton* option : {optWeeks, optMonths, optYears})
        connect(option, &QRadioButton::toggled, this, [this](bool checked) {
            if (checked) ui::guard([this] { optPeriod_Click(); });
        });
    ui::onEvent(cbRange, &QComboBox::currentIndexChanged, this, &frmSummary::cbRange_Click);
    ui::onEvent(cmdCopy, &QPushButton::clicked, this, &frmSummary::cmdCopy_Click);
    ui::onEvent(cmdSavePNG, &QPushButton::clicked, this, &frmSummary::cmdSavePNG_Click);
    ui::onEvent(cmdClose, &QPushButton::clicked, this, &frmSummary::cmdClose_Click);

    // A row chosen in the table picks its bar, and a bar picked its row.
    connect(grdTotals->selectionModel(), &QItemSelectionModel::currentRowChanged, picChart,
            [this](const QModelIndex& current) { picChart->setCurrentCategory(current.row()); });
    connect(picChart, &SummaryChart::currentCategoryChanged, grdTotals, [this](int category) {
        if (category < 0 || grdTotals->currentIndex().row() == category) return;
        grdTotals->setCurrentIndex(model->index(category, 0));
        grdTotals->scrollTo(model->index(category, 0));
    });

    auto shortcut = [this](const QKeySequence& keys, auto handler) {
        auto* action = new QAction(this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        ui::onEvent(action, &QAction::triggered, this, handler);
    };
    shortcut(QKeySequence::SelectAll, &frmSummary::selectAllRows);
    shortcut(QKeySequence::Copy, &frmSummary::copyRows);
    shortcut(QKeySequence(Qt::Key_Escape), &frmSummary::cmdClose_Click);
}

summary::Period frmSummary::period() const {
    if (optMonths->isChecked()) return summary::Period::Months;
    if (optYears->isChecked()) return summary::Period::Years;
    return summary::Period::Weeks;
}

summary::Range frmSummary::range() const { return summary::Range(std::clamp(cbRange->currentIndex(), 0, 4)); }

void frmSummary::Form_Load() {
    setLeft(storedPosition(kLeftKey, kLeft));
    setTop(storedPosition(kTopKey, kTop));
    setWidth(storedSize(kWidthKey, kWidth, true));
    setHeight(storedSize(kHeightKey, kHeight, false));
}

void frmSummary::Form_Activate() {
    if (logChanged()) reload();
}

void frmSummary::Form_Unload(int& /*Cancel*/) {
    if (WindowState() == ui::vbMinimized) return;
    storeTwips(kLeftKey, Left());
    storeTwips(kTopKey, Top());
    storeTwips(kWidthKey, Width());
    storeTwips(kHeightKey, Height());
}

void frmSummary::optPeriod_Click() { reload(); }

void frmSummary::cbRange_Click() { reload(); }

void frmSummary::cmdCopy_Click() { copyRows(); }

void frmSummary::cmdClose_Click() { Unload(); }

bool frmSummary::logChanged() {
    if (reading) return false;
    if (!db || dataVersion < 0 || readOn != QDate::currentDate()) return true;
    try {
        return dataVersionOf(*db) != dataVersion;
    } catch (const dao::Error&) {
        return true;  // the reading that follows says what is wrong
    }
}

void frmSummary::reload() {
    if (reading) return;
    reading = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{reading};

    ui::BusyPointer busy;
    std::optional<ui::StatementProgress> progress;
    try {
        if (!db) db = dao::DBEngine().OpenDatabase(Module1::sDatabasePath);
        progress.emplace(*db, this);
        // Read before the totals: a change made meanwhile is read next time.
        const long long version = dataVersionOf(*db);
        const QDate today = QDate::currentDate();
        const summary::Totals totals = summary::load(*db, period(), range(), today);
        progress.reset();
        dataVersion = version;
        readOn = today;
        lastFailure.clear();
        present(totals);
    } catch (const dao::Error& e) {
        const bool cancelled = (progress && progress->cancelled()) || e.Number() == dao::err::Cancelled;
        progress.reset();
        dataVersion = -1;
        summary::Totals none;
        none.period = period();
        present(none);
        if (cancelled) {
            showFailure(tr("Stopped before the totals were ready, so none are shown. Choose a period or a range, "
                           "or come back to this window, to read them again."),
                        QString());
            return;
        }
        db.reset();  // opened afresh next time
        showFailure(tr("The totals could not be read: %1").arg(e.Description()), e.Description());
    }
}

void frmSummary::showFailure(const QString& note, const QString& message) {
    lblNote->setText(note);
    lblNote->show();
    lblSpan->clear();
    // The same trouble on every return to the window is told once.
    if (!message.isEmpty() && message != lastFailure) ui::MsgBox(message, ui::vbOKOnly | ui::vbExclamation);
    lastFailure = message;
}

void frmSummary::present(const summary::Totals& totals) {
    model->setTotals(totals);

    const QStringList types = summary::typeColumns();
    std::vector<SummaryChart::Category> categories;
    categories.reserve(totals.rows.size());
    std::vector<SummaryChart::Series> series(size_t(types.size()));
    for (size_t t = 0; t < series.size(); ++t) {
        series[t].name = types[int(t)];
        series[t].color = kTypeColours[t % std::size(kTypeColours)];
        series[t].values.reserve(totals.rows.size());
    }
    qint64 runs = 0, minutes = 0;
    for (const auto& p : totals.rows) {
        categories.push_back(axisCategory(p, totals.period));
        for (size_t t = 0; t < series.size(); ++t) series[t].values.push_back(double(p.byType[t]));
        runs += p.runs;
        minutes += p.minutes;
    }
    const QString titles[] = {tr("Week (ISO 8601, Monday first)"), tr("Month"), tr("Year")};
    picChart->setData(std::move(categories), std::move(series), titles[int(totals.period)]);

    if (totals.rows.empty()) {
        lblSpan->clear();
    } else {
        lblSpan->setText(tr("%1 to %2: %3 runs, %4 minutes (%5)")
                             .arg(totals.first.toString(Qt::ISODate), totals.last.toString(Qt::ISODate))
                             .arg(runs)
                             .arg(minutes)
                             .arg(summary::hoursMinutes(minutes)));
    }
    QString note;
    if (totals.undated == 1)
        note = tr("1 run has no day that places it in a period; it is not counted here.");
    else if (totals.undated > 1)
        note = tr("%1 runs have no day that places them in a period; they are not counted here.")
                   .arg(totals.undated);
    else if (totals.rows.empty())
        note = tr("The log has no runs yet.");
    lblNote->setText(note);
    lblNote->setVisible(!note.isEmpty());
}

void frmSummary::selectAllRows() {
    grdTotals->selectAll();
}

void frmSummary::copyRows() {
    std::vector<int> rows;
    for (const QModelIndex& index : grdTotals->selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    QGuiApplication::clipboard()->setText(summary::tabSeparated(model->totals(), rows));
}

bool frmSummary::savePicture(const QString& path) {
    const QImage picture = picChart->image(picChart->devicePixelRatioF());
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && picture.save(&file, "PNG") && file.commit()) return true;
    const QString why = file.error() != QFileDevice::NoError ? file.errorString() : tr("the picture could not be written");
    ui::MsgBox(tr("The chart could not be saved as \"%1\": %2").arg(QDir::toNativeSeparators(path), why),
               ui::vbOKOnly | ui::vbExclamation);
    return false;
}

void frmSummary::cmdSavePNG_Click() {
    const summary::Totals& t = model->totals();
    QString name = tr("Training summary");
    if (!t.rows.empty()) name += QStringLiteral(" %1 to %2").arg(t.rows.front().label, t.rows.back().label);
    QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();

    QFileDialog dialog(this, tr("Save the chart as PNG"), folder, tr("PNG pictures (*.png)"));
    dialog.setObjectName(QStringLiteral("dlgSavePNG"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // Qt's own dialog, and the question below through the program's boxes.
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(QStringLiteral("png"));
    dialog.selectFile(name + QStringLiteral(".png"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = dialog.selectedFiles().constFirst();
    if (QFileInfo::exists(path) &&
        ui::MsgBox(tr("\"%1\" already exists. Replace it?").arg(QDir::toNativeSeparators(path)),
                   ui::vbYesNo | ui::vbQuestion | ui::vbDefaultButton2) != ui::vbYes)
        return;
    savePicture(path);
}

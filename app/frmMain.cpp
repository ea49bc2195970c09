// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frmMain.h"

#include "app/Module1.h"

#include "forms/about/frmAbout.h"
#include "forms/entry/frmaddnew.h"
#include "forms/query/frmQuerys.h"
#include "forms/summary/frmSummary.h"
#include "settings/settings.h"
#include "ui/app.h"
#include "ui/guard.h"
#include "ui/twips.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>

static void initResources() { Q_INIT_RESOURCE(app); }

namespace {

const QString kSection = QStringLiteral("Settings");

// A stored position: any finite number, even one off the screen; beyond
// any screen there is ("1e30", "nan", "inf") it counts as not stored.
float storedPosition(const QString& key, float defaultValue) {
    constexpr double kFar = 1e8;  // twips: some 70 km of screen
    return float(settings::GetNumber(ui::App::Title(), kSection, key, defaultValue, -kFar, kFar));
}

// A stored size: a width or height of nothing or less counts as not stored,
// and one larger than all the screens together is cut to their size (such
// a window could not be drawn or reached).
float storedSize(const QString& key, float defaultValue, bool horizontal) {
    const double value = settings::GetNumber(ui::App::Title(), kSection, key, defaultValue, 1, 1e12);
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return float(value);
    const QRect desktop = screen->virtualGeometry();
    const double most = horizontal ? ui::pixelsToTwipsX(desktop.width()) : ui::pixelsToTwipsY(desktop.height());
    return float(std::min(value, most));
}

void storeTwips(const QString& key, double twips) {
    settings::SaveSetting(ui::App::Title(), kSection, key, QString::number(static_cast<float>(twips)));
}

}  // namespace

frmMain::frmMain(QWidget* parent) : ui::Form(parent) {
    initResources();
    setObjectName(QStringLiteral("frmMain"));
    setCaption(QStringLiteral("Pacebook"));
    QIcon icon;
    for (int size : {16, 32, 48, 64}) icon.addFile(QStringLiteral(":/pacebook/pacebook-%1.png").arg(size));
    setWindowIcon(icon);
    QApplication::setWindowIcon(icon);  // for the program's other windows too

    createMenus();
    createStatusBar();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menuBar);
    layout->addStretch(1);
    layout->addWidget(sbStatusBar);
}

void frmMain::createMenus() {
    menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));

    mnuFile = menuBar->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileExit = mnuFile->addAction(QStringLiteral("E&xit"));
    mnuFileExit->setObjectName(QStringLiteral("mnuFileExit"));

    mnuView = menuBar->addMenu(QStringLiteral("&Logbook"));
    mnuView->setObjectName(QStringLiteral("mnuView"));
    mnuViewDatarunlog = mnuView->addAction(QStringLiteral("Add Entry"));
    mnuViewDatarunlog->setObjectName(QStringLiteral("mnuViewDatarunlog"));
    mnuViewLog = mnuView->addAction(QStringLiteral("View Log"));
    mnuViewLog->setObjectName(QStringLiteral("mnuViewLog"));
    mnuViewSummary = mnuView->addAction(QStringLiteral("&Summary"));
    mnuViewSummary->setObjectName(QStringLiteral("mnuViewSummary"));

    mnuAbout = menuBar->addMenu(QStringLiteral("About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    mnuHelpAbout = mnuAbout->addAction(QStringLiteral("&About Pacebook..."));
    mnuHelpAbout->setObjectName(QStringLiteral("mnuHelpAbout"));

    ui::onEvent(mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    ui::onEvent(mnuViewDatarunlog, &QAction::triggered, this, &frmMain::mnuViewDatarunlog_Click);
    ui::onEvent(mnuViewLog, &QAction::triggered, this, &frmMain::mnuViewLog_Click);
    ui::onEvent(mnuViewSummary, &QAction::triggered, this, &frmMain::mnuViewSummary_Click);
    ui::onEvent(mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
}

void frmMain::createStatusBar() {
    sbStatusBar = new QStatusBar(this);
    sbStatusBar->setObjectName(QStringLiteral("sbStatusBar"));
    sbStatusBar->setSizeGripEnabled(true);
    const int minimumPanel = ui::twipsToPixelsX(1440);

    sbStatusBarStatus = new QLabel(QStringLiteral("Status"), sbStatusBar);
    sbStatusBarStatus->setObjectName(QStringLiteral("sbStatusBarStatus"));
    sbStatusBarStatus->setMinimumWidth(minimumPanel);
    sbStatusBarStatus->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    sbStatusBar->addWidget(sbStatusBarStatus, 1);

    sbStatusBarDate = new QLabel(sbStatusBar);
    sbStatusBarDate->setObjectName(QStringLiteral("sbStatusBarDate"));
    sbStatusBarDate->setMinimumWidth(minimumPanel);
    sbStatusBarDate->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    sbStatusBarDate->setAlignment(Qt::AlignCenter);
    sbStatusBar->addPermanentWidget(sbStatusBarDate);

    sbStatusBarTime = new QLabel(sbStatusBar);
    sbStatusBarTime->setObjectName(QStringLiteral("sbStatusBarTime"));
    sbStatusBarTime->setMinimumWidth(minimumPanel);
    sbStatusBarTime->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    sbStatusBarTime->setAlignment(Qt::AlignCenter);
    sbStatusBar->addPermanentWidget(sbStatusBarTime);

    // The date and time panels keep themselves current.
    clock = new QTimer(this);
    clock->setObjectName(QStringLiteral("clock"));
    clock->setInterval(1000);
    connect(clock, &QTimer::timeout, this, [this] { ui::guard([this] { updateClock(); }); });
    clock->start();
    updateClock();
}

void frmMain::updateClock() {
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    const QString date = locale.toString(now.date(), QLocale::ShortFormat);
    const QString time = locale.toString(now.time(), QLocale::ShortFormat);
    if (sbStatusBarDate->text() != date) sbStatusBarDate->setText(date);
    if (sbStatusBarTime->text() != time) sbStatusBarTime->setText(time);
}

void frmMain::Form_Load() {
    setLeft(storedPosition(QStringLiteral("MainLeft"), 1000));
    setTop(storedPosition(QStringLiteral("MainTop"), 1000));
    setWidth(storedSize(QStringLiteral("MainWidth"), 6500, true));
    setHeight(storedSize(QStringLiteral("MainHeight"), 6500, false));
}

void frmMain::Form_QueryUnload(int& Cancel) {
    // Every other window is asked before any is closed, the most recently
    // loaded first: one that keeps something of the user's (a new entry
    // they want to keep) cancels the exit, and every window stays.
    for (int i = ui::Forms::Count() - 1; i >= 0; --i) {
        ui::Form* form = ui::Forms::Item(i);
        if (form && form != this && !form->QueryUnload()) {
            Cancel = True;
            return;
        }
    }
}

void frmMain::Form_Unload(int& Cancel) {
    // Every other window goes first, the most recently loaded first. This
    // window, the first one loaded, stays (it is usually index 0). Should
    // one refuse after all, the program keeps running with this window.
    const std::int16_t n = static_cast<std::int16_t>(ui::Forms::Count() - 1);
    for (std::int16_t i = n; i >= 0; --i) {
        ui::Form* form = ui::Forms::Item(i);
        if (form && form != this && !form->Unload()) {
            Cancel = True;
            return;
        }
    }

    if (WindowState() == ui::vbMinimized) return;
    // A maximized window stores its maximized place and size; it opens as
    // a normal window of that place and size next time.
    storeTwips(QStringLiteral("MainLeft"), Left());
    storeTwips(QStringLiteral("MainTop"), Top());
    storeTwips(QStringLiteral("MainWidth"), Width());
    storeTwips(QStringLiteral("MainHeight"), Height());
}

void frmMain::mnuFileExit_Click() { Unload(); }

// "Add Entry": a new entry form, modeless.
void frmMain::mnuViewDatarunlog_Click() {
    (new frmaddnew())->Show(ui::vbModeless);
}

// "View Log": the query window, titled "Log Entries".
void frmMain::mnuViewLog_Click() {
    frmQuerys& f = ui::sharedInstance<frmQuerys>();
    f.setCaption(QStringLiteral("Log Entries"));
    f.Show();
}

// "&Summary": the training summary, one shared window.
void frmMain::mnuViewSummary_Click() { ui::sharedInstance<frmSummary>().Show(); }

// "&About Pacebook...": the About box, modal over this window.
void frmMain::mnuHelpAbout_Click() { ui::sharedInstance<frmAbout>().Show(ui::vbModal, this); }

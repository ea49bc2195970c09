// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: the menu that opens the other windows, a status bar, and
// a position and size remembered from one run to the next.

#include "ui/form.h"

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;
class QTimer;

class frmMain : public ui::Form {
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);

    // Menu handlers.
    void mnuFileExit_Click();
    void mnuViewDatarunlog_Click();
    void mnuViewLog_Click();
    void mnuViewSummary_Click();
    void mnuHelpAbout_Click();

protected:
    void Form_Load() override;
    void Form_QueryUnload(int& Cancel) override;
    void Form_Unload(int& Cancel) override;

private:
    void createMenus();
    void createStatusBar();
    void updateClock();

    QMenuBar* menuBar = nullptr;
    QMenu* mnuFile = nullptr;
    QAction* mnuFileExit = nullptr;
    QMenu* mnuView = nullptr;
    QAction* mnuViewDatarunlog = nullptr;
    QAction* mnuViewLog = nullptr;
    QAction* mnuViewSummary = nullptr;
    QMenu* mnuAbout = nullptr;
    QAction* mnuHelpAbout = nullptr;

    QStatusBar* sbStatusBar = nullptr;
    QLabel* sbStatusBarStatus = nullptr;  // panel 1
    QLabel* sbStatusBarDate = nullptr;    // panel 2
    QLabel* sbStatusBarTime = nullptr;    // panel 3
    QTimer* clock = nullptr;
};

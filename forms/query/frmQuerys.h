// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The query window: runs the default statement "select * from runlog" or one
// the user types. A statement that returns rows opens a new grid window on
// them; any other statement is executed against the log database.

#include "ui/form.h"

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

class frmQuerys : public ui::Form {
    Q_OBJECT
public:
    explicit frmQuerys(QWidget* parent = nullptr);
    ~frmQuerys() override;

    // The statement shown while the default is selected.
    static QString defaultStatement();

    QPlainTextEdit* txtSQLStatement = nullptr;
    QPushButton* cmdExecuteSQL = nullptr;
    QPushButton* cmdReturn = nullptr;
    QLabel* Label1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLabel* lblSQL = nullptr;
    QRadioButton* optdefsql = nullptr;
    QRadioButton* optmysql = nullptr;

    // Event handlers.
    void cmdExecuteSQL_Click();
    void cmdReturn_Click();
    void optdefsql_Click();
    void optmysql_Click();
    void txtSQLStatement_Change();

protected:
    void Form_Load() override;
    void Form_Resize() override;
    void Form_Unload(int& Cancel) override;

private:
    void createControls();
    void fitCaptions();
    void connectEvents();
};

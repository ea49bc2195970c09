// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Training Summary" window: totals of the log per week, month or year
// over a chosen range, as a table and as a stacked bar chart. It reads the
// log again whenever it becomes active and the log has changed, so runs
// added meanwhile show. The table copies as tab-separated text; the chart
// saves as a PNG picture.

#include "totals.h"
#include "ui/form.h"

#include "dao/dao.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTableView;
class SummaryChart;
class SummaryModel;

class frmSummary : public ui::Form {
    Q_OBJECT
public:
    explicit frmSummary(QWidget* parent = nullptr);
    ~frmSummary() override;

    QGroupBox* fraPeriod = nullptr;
    QRadioButton* optWeeks = nullptr;
    QRadioButton* optMonths = nullptr;
    QRadioButton* optYears = nullptr;
    QLabel* lblRange = nullptr;
    QComboBox* cbRange = nullptr;
    QLabel* lblSpan = nullptr;
    SummaryChart* picChart = nullptr;
    QLabel* lblTotals = nullptr;
    QTableView* grdTotals = nullptr;
    QLabel* lblNote = nullptr;
    QPushButton* cmdCopy = nullptr;
    QPushButton* cmdSavePNG = nullptr;
    QPushButton* cmdClose = nullptr;

    // The totals shown.
    const summary::Totals& totals() const;

    // Event handlers.
    void optPeriod_Click();
    void cbRange_Click();
    void cmdCopy_Click();
    void cmdSavePNG_Click();
    void cmdClose_Click();

    // Ctrl+C: the rows chosen in the table (all when none is) to the
    // clipboard, with the header. Ctrl+A chooses every row.
    void copyRows();
    void selectAllRows();
    // Writes the chart as a PNG at the screen's scale; says why and returns
    // false when it cannot.
    bool savePicture(const QString& path);

protected:
    void Form_Load() override;
    void Form_Activate() override;
    void Form_Unload(int& Cancel) override;

private:
    void createControls();
    void connectEvents();
    summary::Period period() const;
    summary::Range range() const;
    // Reads the totals again and shows them; a failure is shown instead of
    // any totals, so nothing out of date stays on the screen.
    void reload();
    bool logChanged();
    void present(const summary::Totals& totals);
    void showFailure(const QString& note, const QString& message);

    SummaryModel* model = nullptr;
    dao::DatabasePtr db;
    long long dataVersion = -1;  // of the log when the totals shown were read; -1: none read
    QDate readOn;                // the day they were read (the ranges move with it)
    bool reading = false;
    QString lastFailure;
};

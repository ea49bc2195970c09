// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The grid window: a set of log rows in an editable grid, with "&Refresh",
// "&Close" and a sort by a click on a column heading. Refresh, a sort and
// the reload on activation show the "still running" window after about a
// second; a cancel leaves the rows shown before. Every way out of the rows
// (refresh, sort, reload, close) first settles the edits, as leaving the
// row would. A grid on the whole log reloads it on activation (while the
// entry form asks for it), keeping the sort and the user's place; a grid
// on a query's rows keeps them.
//
// Opening it (the entry form and the query window do exactly this):
//   auto* g = new frmDataGrid();
//   g->Load();                       // Form_Load runs
//   if (!g->isLoaded()) return;      // its load failed and was reported
//   g->Data1->setRecordset(rs);
//   g->setCaption(title);
//   g->Show();                       // Form_Activate runs

#include "ui/form.h"

#include <QString>

#include <cstdint>

class QLabel;
class QPushButton;
class QWidget;

namespace controls {
class DataControl;
class DataGrid;
}  // namespace controls

class frmDataGrid : public ui::Form {
    Q_OBJECT
public:
    explicit frmDataGrid(QWidget* parent = nullptr);
    ~frmDataGrid() override;

    // Controls.
    QWidget* picButtons = nullptr;
    QPushButton* cmdRefresh = nullptr;
    QPushButton* cmdClose = nullptr;
    // Says why the rows cannot be changed (hidden when they can).
    QLabel* lblReadOnly = nullptr;
    controls::DataGrid* grdDataGrid = nullptr;
    controls::DataControl* Data1 = nullptr;

    // The sort expression while a heading click is handled, and the Shift
    // mask of the latest mouse-button release over the grid.
    QString sSortColumn;
    std::int16_t iShift = 0;

    void cmdRefresh_Click();
    void cmdClose_Click();
    void grdDataGrid_BeforeDelete(int& Cancel);
    void grdDataGrid_BeforeUpdate(int& Cancel);
    void grdDataGrid_HeadClick(int ColIndex);
    void grdDataGrid_MouseUp(int Button, int Shift, float X, float Y);
    void SortGrid();

protected:
    void Form_Load() override;
    void Form_Activate() override;
    void Form_Resize() override;
    void Form_Unload(int& Cancel) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void createControls();
    void alignControls();
    // Whether the grid shows the whole log (opened by its table's name).
    bool showsWholeLog() const;
    // Reads the log again in the order shown, back at the user's place.
    void reloadLog();
    void updateReadOnlyNote();
};

// SPDX-License-Identifier: GPL-3.0-or-later
#include "forms/grid/frmDataGrid.h"

#include "app/Module1.h"
#include "controls/datacontrol.h"
#include "controls/datagrid.h"
#include "dao/dao.h"
#include "dao/sqltext.h"
#include "logstore/runtypes.h"
#include "ui/app.h"
#include "ui/guard.h"
#include "ui/msgbox.h"
#include "ui/screen.h"
#include "ui/twips.h"

#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>

namespace {

// "Error:" followed by the number, one blank and the description.
void showError(int number, const QString& description) {
    ui::MsgBox(QStringLiteral("Error:") + QString::number(number) + QLatin1Char(' ') + description, ui::vbOKOnly);
}

// Says that a statement the user stopped changed nothing on screen.
void showStopped(const QString& what) {
    ui::MsgBox(what + QStringLiteral(" was stopped. The grid shows the rows it showed before."),
               ui::vbOKOnly + ui::vbInformation);
}

// The design height of the button strip, in twips.
constexpr double picButtonsHeight = 330;
// Where the read-only note starts in the strip, in twips.
constexpr double lblReadOnlyLeft = 5400;

}  // namespace

frmDataGrid::frmDataGrid(QWidget* parent) : ui::Form(parent) {
    createControls();
}

frmDataGrid::~frmDataGrid() = default;

void frmDataGrid::createControls() {
    setObjectName(QStringLiteral("frmDataGrid"));
    setClientSizeTwips(8484, 4740);

    picButtons = new QWidget(this);
    picButtons->setObjectName(QStringLiteral("picButtons"));
    ui::placeTwips(picButtons, 0, 0, 8484, picButtonsHeight);

    cmdRefresh = new QPushButton(QStringLiteral("&Refresh"), picButtons);
    cmdRefresh->setObjectName(QStringLiteral("cmdRefresh"));
    ui::placeTwips(cmdRefresh, 2280, 0, 1462, 330);

    cmdClose = new QPushButton(QStringLiteral("&Close"), picButtons);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    ui::placeTwips(cmdClose, 3840, 0, 1437, 330);

    lblReadOnly = new QLabel(picButtons);
    lblReadOnly->setObjectName(QStringLiteral("lblReadOnly"));
    lblReadOnly->setTextFormat(Qt::PlainText);
    lblReadOnly->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ui::placeTwips(lblReadOnly, lblReadOnlyLeft, 0, 8484 - lblReadOnlyLeft, 330);
    lblReadOnly->hide();

    Data1 = new controls::DataControl(this);
    Data1->setObjectName(QStringLiteral("Data1"));
    Data1->setConnect(QStringLiteral("Access"));
    Data1->setRecordSource(QString());
    Data1->setRecordsetType(controls::vbRSTypeDynaset);
    Data1->setOptions(0);
    Data1->setCaption(QStringLiteral("Data1"));
    ui::placeTwips(Data1, 3480, 2400, 912, 324);
    Data1->setVisible(false);

    grdDataGrid = new controls::DataGrid(this);
    grdDataGrid->setObjectName(QStringLiteral("grdDataGrid"));
    grdDataGrid->addColumn(QStringLiteral("Date"), QStringLiteral("Date"));
    grdDataGrid->addColumn(QStringLiteral("Time (minutes)"), QStringLiteral("Time"));
    grdDataGrid->addColumn(QStringLiteral("Type"), QStringLiteral("Type"));
    grdDataGrid->addColumn(QStringLiteral("Details"), QStringLiteral("Description"));
    grdDataGrid->setAllowAddNew(true);
    grdDataGrid->setAllowDelete(true);
    grdDataGrid->setAllowUpdate(true);
    // Every standard type shows whole.
    grdDataGrid->setColumnWidthSamples(QStringLiteral("Type"),
                                       logstore::runTypes() << logstore::initialRunType());
    grdDataGrid->setDataSource(Data1);
    grdDataGrid->setAccessibleName(tr("Rows"));
    grdDataGrid->setAccessibleDescription(tr("The rows of the log or of the query; edit a cell in place."));
    connect(Data1, &controls::DataControl::recordsetReplaced, this, &frmDataGrid::updateReadOnlyNote);
    ui::placeTwips(grdDataGrid, 0, picButtonsHeight, 8484, 3648);

    // Tab order: the buttons, then the grid.
    setTabOrder(cmdRefresh, cmdClose);
    setTabOrder(cmdClose, grdDataGrid);

    ui::onEvent(cmdRefresh, &QPushButton::clicked, this, &frmDataGrid::cmdRefresh_Click);
    ui::onEvent(cmdClose, &QPushButton::clicked, this, &frmDataGrid::cmdClose_Click);
    ui::onAnswer(grdDataGrid, &controls::DataGrid::BeforeDelete, this, &frmDataGrid::grdDataGrid_BeforeDelete);
    ui::onAnswer(grdDataGrid, &controls::DataGrid::BeforeUpdate, this, &frmDataGrid::grdDataGrid_BeforeUpdate);
    connect(grdDataGrid, &controls::DataGrid::HeadClick, this,
            [this](int ColIndex) { ui::guard([&] { grdDataGrid_HeadClick(ColIndex); }); });
    connect(grdDataGrid, &controls::DataGrid::MouseUp, this, [this](int Button, int Shift, float X, float Y) {
        ui::guard([&] { grdDataGrid_MouseUp(Button, Shift, X, Y); });
    });
}

// The strip sits at the top, full width; the grid directly below it, full
// width, keeping the height Form_Resize gives it.
void frmDataGrid::alignControls() {
    const int stripHeight = picButtons->height();
    picButtons->setGeometry(0, 0, width(), stripHeight);
    lblReadOnly->setGeometry(lblReadOnly->x(), 0, std::max(0, width() - lblReadOnly->x()), stripHeight);
    grdDataGrid->setGeometry(0, stripHeight, width(), grdDataGrid->height());
}

void frmDataGrid::updateReadOnlyNote() {
    dao::RecordsetPtr rs = Data1->Recordset();
    const QString reason = rs ? rs->readOnlyReason() : QString();
    lblReadOnly->setText(QStringLiteral("Read-only: ") + reason);
    lblReadOnly->setToolTip(lblReadOnly->text());
    lblReadOnly->setVisible(!reason.isEmpty());
}

void frmDataGrid::resizeEvent(QResizeEvent* e) {
    alignControls();
    ui::Form::resizeEvent(e);
}

void frmDataGrid::Form_Load() {
    try {
        Data1->setDatabaseName(Module1::sDatabasePath);
        Data1->setRecordSource(Module1::sRecordSource);
        Data1->setConnect(Module1::sConnect);
        Data1->setRecordsetType(controls::vbRSTypeDynaset);
        Data1->setOptions(0);
        Data1->Refresh();
        setCaption(Data1->RecordSource());
    } catch (const dao::Error& e) {
        showError(e.Number(), e.Description());
        Unload();
    } catch (const std::exception& e) {
        showError(dao::err::Internal, QString::fromUtf8(e.what()));
        Unload();
    }
}

void frmDataGrid::Form_Activate() {
    Data1->setDatabaseName(ui::App::Path() + QStringLiteral("\\Run.mdb"));
    Data1->setRecordSource(QStringLiteral("runlog"));
    // Only a grid on the whole log is read again: a query's rows stay the
    // query's rows.
    if (Module1::bGridFromEntry == True && showsWholeLog()) reloadLog();
}

bool frmDataGrid::showsWholeLog() const {
    dao::RecordsetPtr rs = Data1->Recordset();
    return rs && dao::sql::bareTableName(rs->Source()).compare(Data1->RecordSource(), Qt::CaseInsensitive) == 0;
}

void frmDataGrid::reloadLog() {
    // Edits that cannot be written now stay; the next activation tries again.
    if (!grdDataGrid->finishEdits()) return;
    dao::RecordsetPtr shown = Data1->Recordset();
    const dao::SortOrder order = shown ? shown->sortedBy() : dao::SortOrder();
    const controls::DataGrid::ViewPosition place = grdDataGrid->viewPosition();
    try {
        dao::DatabasePtr db;
        {
            // The first open of a large log in a run checks its pages.
            ui::BusyPointer busy;
            db = dao::DBEngine().OpenDatabase(dao::resolveFileName(Data1->DatabaseName()));
        }
        dao::RecordsetPtr rs;
        grdDataGrid->runStatement(*db, [&] {
            rs = db->OpenRecordset(Data1->RecordSource(), dao::dbOpenDynaset);
            if (order.empty()) return;
            rs->setSort(order);
            rs = rs->OpenRecordset();
        });
        Data1->setRecordset(rs);
        grdDataGrid->setViewPosition(place);
    } catch (const dao::Error& e) {
        if (e.Number() == dao::err::Cancelled) showStopped(QStringLiteral("Reading the log again"));
        else showError(e.Number(), e.Description());
    }
}

void frmDataGrid::Form_Resize() {
    if (WindowState() == ui::vbMinimized) return;
    try {
        const float outer = float(Height());
        const float strip = float(ui::pixelsToTwipsY(picButtons->height()));
        grdDataGrid->setHeight(outer - (strip + 425.0f));
    } catch (...) {
        // A window too short for the grid keeps the grid's previous height.
    }
}

void frmDataGrid::Form_Unload(int& Cancel) {
    // A row still being edited is written (after "Commit changes?") rather
    // than silently lost with the window; what cannot be written keeps the
    // window open.
    if (!grdDataGrid->finishEdits()) Cancel = True;
}

void frmDataGrid::cmdRefresh_Click() {
    if (!grdDataGrid->finishEdits()) return;
    try {
        dao::RecordsetPtr rs = Data1->Recordset();
        if (!rs) throw dao::Error(dao::err::ObjectVariableNotSet);
        ui::BusyPointer busy;
        grdDataGrid->runStatement(*rs->database(), [&] { rs->Requery(); });
        grdDataGrid->showFirstRows();
    } catch (const dao::Error& e) {
        if (e.Number() == dao::err::Cancelled) showStopped(QStringLiteral("The refresh"));
        else showError(e.Number(), e.Description());
    } catch (const std::exception& e) {
        showError(dao::err::Internal, QString::fromUtf8(e.what()));
    }
}

void frmDataGrid::cmdClose_Click() {
    if (!grdDataGrid->finishEdits()) return;
    Module1::bGridFromEntry = False;
    Unload();
}

void frmDataGrid::grdDataGrid_BeforeDelete(int& Cancel) {
    // One question for the selection; for several rows No is the default.
    const int rows = grdDataGrid->SelectedRowCount();
    const int answer = rows > 1 ? ui::MsgBox(QStringLiteral("Delete %1 rows?").arg(rows),
                                             ui::vbYesNo + ui::vbQuestion + ui::vbDefaultButton2)
                                : ui::MsgBox(QStringLiteral("Delete Current Row?"), ui::vbYesNo + ui::vbQuestion);
    if (answer != ui::vbYes) Cancel = True;
}

void frmDataGrid::grdDataGrid_BeforeUpdate(int& Cancel) {
    if (ui::MsgBox(QStringLiteral("Commit changes?"), ui::vbYesNo + ui::vbQuestion) != ui::vbYes) Cancel = True;
}

void frmDataGrid::grdDataGrid_MouseUp(int Button, int Shift, float X, float Y) {
    iShift = std::int16_t(Shift);
}

void frmDataGrid::grdDataGrid_HeadClick(int ColIndex) {
    if (Data1->RecordsetType() == controls::vbRSTypeTable) return;
    dao::RecordsetPtr rs = Data1->Recordset();
    if (!rs) throw dao::Error(dao::err::ObjectVariableNotSet);
    // The field the clicked column shows (for the log's own sets, the field
    // at the column's position).
    int field = grdDataGrid->ColumnFieldIndex(ColIndex);
    if (field < 0) field = ColIndex;
    // "[Time]" or "[Time] desc"; a ']' in a name is written twice, so the
    // name reads back as itself.
    const QString name = rs->Fields(field).Name();
    if (iShift == 0) {
        sSortColumn = dao::sortText({{name, false}});
    } else {
        sSortColumn = dao::sortText({{name, true}});
        iShift = 0;
    }
    SortGrid();
    sSortColumn.clear();
}

void frmDataGrid::SortGrid() {
    try {
        dao::RecordsetPtr rs = Data1->Recordset();
        if (!rs) throw dao::Error(dao::err::ObjectVariableNotSet);
        ui::Screen::setMousePointer(ui::Screen::vbHourglass);
        rs->setSort(sSortColumn);
        dao::RecordsetPtr sorted;
        grdDataGrid->runStatement(*rs->database(), [&] { sorted = rs->OpenRecordset(rs->Type()); });
        Data1->setRecordset(sorted);
        ui::Screen::setMousePointer(ui::Screen::vbDefault);
    } catch (const dao::Error& e) {
        ui::Screen::setMousePointer(ui::Screen::vbDefault);
        if (e.Number() == dao::err::Cancelled) showStopped(QStringLiteral("The sort"));
        else showError(e.Number(), e.Description());
    } catch (const std::exception& e) {
        ui::Screen::setMousePointer(ui::Screen::vbDefault);
        showError(dao::err::Internal, QString::fromUtf8(e.what()));
    }
}

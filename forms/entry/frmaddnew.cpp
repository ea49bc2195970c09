// SPDX-License-Identifier: GPL-3.0-or-later
#include "forms/entry/frmaddnew.h"

#include "forms/grid/frmDataGrid.h"

#include "controls/datacontrol.h"
#include "controls/slider.h"
#include "controls/textbox.h"
#include "dao/dao.h"
#include "app/Module1.h"
#include "logstore/logfile.h"
#include "logstore/runtypes.h"
#include "ui/app.h"
#include "ui/guard.h"
#include "ui/msgbox.h"
#include "ui/screen.h"
#include "ui/twips.h"

#include <QAbstractItemView>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace {

// Puts the pointer back to the arrow when a handler ends with the hourglass
// still on (the data control acted, but no reposition followed).
struct PointerReset {
    ~PointerReset() {
        if (ui::Screen::MousePointer() == ui::Screen::vbHourglass)
            ui::Screen::setMousePointer(ui::Screen::vbDefault);
    }
};

bool isNavigation(int action) {
    return action == controls::vbDataActionMoveFirst || action == controls::vbDataActionMovePrevious ||
           action == controls::vbDataActionMoveNext || action == controls::vbDataActionMoveLast ||
           action == controls::vbDataActionBookmark;
}

QString openFailureText(const QString& path, const dao::Error& e) {
    QString cause;
    switch (e.Number()) {
    case dao::err::FileNotFound:
    case dao::err::FileNotFoundRuntime:
        cause = QObject::tr("The file does not exist. To start a new, empty log there, run:\n\n%1\n\n"
                            "This window opens it when you come back to it.")
                    .arg(logstore::newLogCommand(ui::App::Path(), path));
        break;
    case dao::err::NotDatabase:
        cause = QObject::tr("The file is not a run log database, or it is damaged.");
        break;
    case dao::err::FileInUse:
    case dao::err::CouldNotUpdateLocked:
        cause = QObject::tr("The file is locked by another program.");
        break;
    case dao::err::NoPermission:
        cause = QObject::tr("You may not open the file.");
        break;
    case dao::err::InputTableNotFound:
        cause = QObject::tr("The file holds no run log (table runlog).");
        break;
    default:
        break;
    }
    QString text = QObject::tr("Cannot open the run log \"%1\".").arg(QDir::toNativeSeparators(path));
    if (!cause.isEmpty()) text += QStringLiteral("\n\n") + cause;
    text += QStringLiteral("\n\n") + QObject::tr("(Error %1: %2)").arg(e.Number()).arg(e.Description());
    return text;
}

}  // namespace

frmaddnew::frmaddnew(QWidget* parent) : ui::Form(parent) {
    setObjectName(QStringLiteral("frmaddnew"));
    createControls();
}

frmaddnew::~frmaddnew() = default;

QWidget* frmaddnew::txtFields(int index) const {
    if (index == 0) return txtFields_0;
    if (index == 3) return txtFields_3;
    return nullptr;
}

QLabel* frmaddnew::lblLabels(int index) const {
    if (index < 0 || index >= static_cast<int>(lblLabels_.size())) return nullptr;
    return lblLabels_[static_cast<size_t>(index)];
}

void frmaddnew::createControls() {
    setCaption(QStringLiteral("runlog"));
    // A fixed dialog frame without minimize and maximize buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(ui::twipsToPixelsX(7428), ui::twipsToPixelsY(5988));

    // The frame first, so that it lies behind every other control.
    Frame1 = new QGroupBox(QStringLiteral("Enter New Log Entry"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    ui::placeTwips(Frame1, 120, 120, 7212, 5772);

    auto label = [this](int index, const QString& text, double l, double t, double w, double h,
                        QWidget* parent) {
        auto* lbl = new QLabel(text, parent);
        lbl->setObjectName(QStringLiteral("lblLabels_%1").arg(index));
        lbl->setWordWrap(true);
        lbl->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        ui::placeTwips(lbl, l, t, w, h);
        lblLabels_[static_cast<size_t>(index)] = lbl;
    };
    label(0, QStringLiteral("Date: (click on the calendar)"), 3720, 360, 1332, 492, Frame1);
    label(3, QStringLiteral("Details:"), 3720, 1200, 732, 252, Frame1);
    // Beside the type box, in the same place on the screen: a screen reader
    // names a combo box by the label it is the buddy of, which must be its
    // sibling.
    label(2, QStringLiteral("Type of run:"), 120 + 3720, 120 + 2040, 852, 252, this);
    label(1, QStringLiteral("Duration:(hr)"), 240, 2520, 852, 252, Frame1);
    label(5, QStringLiteral("Duration:(min)"), 240, 3000, 1092, 252, Frame1);

    lblData = new QLabel(QStringLiteral("Use the arrows to scroll through the entries in the log. "
                                        "Click on \"Add New\" to enter a new Entry in the log."),
                         Frame1);
    lblData->setObjectName(QStringLiteral("lblData"));
    lblData->setWordWrap(true);
    lblData->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ui::placeTwips(lblData, 1200, 4320, 4812, 492);

    cmdReturn = new QPushButton(QStringLiteral("Return"), Frame1);
    cmdReturn->setObjectName(QStringLiteral("cmdReturn"));
    ui::placeTwips(cmdReturn, 2760, 5280, 1452, 300);

    Calendar1 = new QCalendarWidget(this);
    Calendar1->setObjectName(QStringLiteral("Calendar1"));
    Calendar1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    Calendar1->setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);
    Calendar1->setGridVisible(false);
    {
        QFont small = Calendar1->font();
        small.setPointSizeF(small.pointSizeF() > 0 ? small.pointSizeF() * 0.8 : 7);
        Calendar1->setFont(small);
    }
    ui::placeTwips(Calendar1, 600, 480, 2652, 1932);

    txtFields_0 = new QLineEdit(this);
    txtFields_0->setObjectName(QStringLiteral("txtFields_0"));
    txtFields_0->setEnabled(false);
    ui::placeTwips(txtFields_0, 5400, 480, 1332, 285);

    txtFields_3 = new controls::MultiLineTextBox(this);
    txtFields_3->setObjectName(QStringLiteral("txtFields_3"));
    txtFields_3->setMaxLength(255);
    ui::placeTwips(txtFields_3, 4920, 1200, 2172, 612);

    cbtype = new QComboBox(this);
    cbtype->setObjectName(QStringLiteral("cbtype"));
    cbtype->setEditable(true);
    cbtype->setInsertPolicy(QComboBox::NoInsert);  // typed text never joins the list
    cbtype->setCompleter(nullptr);                 // and is taken exactly as typed
    lblLabels_[2]->setBuddy(cbtype);
    ui::placeTwips(cbtype, 4920, 2160, 1932, 288);

    Sldhr = new controls::Slider(this);
    Sldhr->setObjectName(QStringLiteral("Sldhr"));
    Sldhr->setRange(0, 6);
    ui::placeTwips(Sldhr, 1440, 2640, 2172, 372);

    txtSld = new QLineEdit(this);
    txtSld->setObjectName(QStringLiteral("txtSld"));
    txtSld->setEnabled(false);
    ui::placeTwips(txtSld, 3720, 2640, 1212, 372);

    Cmdaccpt = new QPushButton(QStringLiteral("ACCEPT"), this);
    Cmdaccpt->setObjectName(QStringLiteral("Cmdaccpt"));
    ui::placeTwips(Cmdaccpt, 5400, 2640, 1212, 372);

    Sldmin = new controls::Slider(this);
    Sldmin->setObjectName(QStringLiteral("Sldmin"));
    Sldmin->setRange(0, 59);
    Sldmin->setTickInterval(5);
    Sldmin->setPageStep(5);
    ui::placeTwips(Sldmin, 1440, 3120, 3972, 408);

    Data1 = new controls::DataControl(this);
    Data1->setObjectName(QStringLiteral("Data1"));
    Data1->setConnect(QStringLiteral("Access"));
    Data1->setRecordsetType(controls::vbRSTypeDynaset);
    ui::placeTwips(Data1, 1080, 3720, 4920, 564);

    cmdDelete = new QPushButton(QStringLiteral("&Delete Current"), this);
    cmdDelete->setObjectName(QStringLiteral("cmdDelete"));
    ui::placeTwips(cmdDelete, 1080, 4920, 1332, 300);

    cmdAdd = new QPushButton(QStringLiteral("&Add New"), this);
    cmdAdd->setObjectName(QStringLiteral("cmdAdd"));
    ui::placeTwips(cmdAdd, 2880, 4920, 1452, 300);

    cmdGrid = new QPushButton(QStringLiteral("&View Entire Log"), this);
    cmdGrid->setObjectName(QStringLiteral("cmdGrid"));
    ui::placeTwips(cmdGrid, 4800, 4920, 1452, 300);

    describeControls();

    // The date, duration and (while browsing) details boxes take no typing
    // but must read as well as any text.
    for (QWidget* box : std::initializer_list<QWidget*>{txtFields_0, txtSld, txtFields_3})
        controls::showTextWhileDisabled(box);

    // Tab order: txtFields(0), txtFields(3), the navigation bar's buttons,
    // Add, Delete, Grid, calendar, type, hours, minutes, duration, ACCEPT,
    // (frame), Return.
    QList<QWidget*> order = {txtFields_0, txtFields_3};
    order += Data1->tabStops();
    order += {cmdAdd, cmdDelete, cmdGrid, Calendar1, cbtype, Sldhr, Sldmin, txtSld, Cmdaccpt, cmdReturn};
    for (qsizetype i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);

    // Bindings to the log's fields.
    Data1->bind(Calendar1, QStringLiteral("Date"));
    Data1->bind(txtFields_0, QStringLiteral("Date"));
    Data1->bind(txtFields_3, QStringLiteral("Description"));
    Data1->bind(cbtype, QStringLiteral("Type"));
    Data1->bind(txtSld, QStringLiteral("Time"));

    // Events.
    connect(Data1, &controls::DataControl::Reposition, this, [this] { ui::guard([this] { Data1_Reposition(); }); });
    ui::onAnswer(Data1, &controls::DataControl::Validate, this, &frmaddnew::Data1_Validate);
    ui::onAnswer(Data1, &controls::DataControl::Error, this, &frmaddnew::Data1_Error);
    ui::onEvent(cmdAdd, &QPushButton::clicked, this, &frmaddnew::cmdAdd_Click);
    ui::onEvent(Cmdaccpt, &QPushButton::clicked, this, &frmaddnew::Cmdaccpt_Click);
    ui::onEvent(cmdDelete, &QPushButton::clicked, this, &frmaddnew::cmdDelete_Click);
    ui::onEvent(cmdGrid, &QPushButton::clicked, this, &frmaddnew::cmdGrid_Click);
    ui::onEvent(cmdReturn, &QPushButton::clicked, this, &frmaddnew::cmdReturn_Click);
    ui::onEvent(Calendar1, &QCalendarWidget::clicked, this, &frmaddnew::Calendar1_Click);
    ui::onEvent(Calendar1, &QCalendarWidget::activated, this, &frmaddnew::Calendar1_Click);
    // A day chosen with the keyboard (arrow keys, Page Up and Down, Enter)
    // or the wheel is taken as a click, so the date box always shows the
    // day the calendar shows. (When the data control shows a row it fills
    // the date box after the calendar, so the row's own date stays.)
    ui::onEvent(Calendar1, &QCalendarWidget::selectionChanged, this, &frmaddnew::Calendar1_Click);
    ui::onEvent(Sldhr, &controls::Slider::Click, this, &frmaddnew::Sldhr_Click);
    ui::onEvent(Sldmin, &controls::Slider::Click, this, &frmaddnew::Sldmin_Click);
}

void frmaddnew::describeControls() {
    auto describe = [](QWidget* w, const QString& name, const QString& description) {
        w->setAccessibleName(name);
        w->setAccessibleDescription(description);
    };
    describe(Calendar1, tr("Day of the run"), tr("Pick the day of the run; the arrow keys move the day."));
    // The calendar's own parts take the focus and are read out themselves.
    if (auto* days = Calendar1->findChild<QAbstractItemView*>(QStringLiteral("qt_calendar_calendarview")))
        describe(days, Calendar1->accessibleName(), Calendar1->accessibleDescription());
    if (auto* year = Calendar1->findChild<QSpinBox*>(QStringLiteral("qt_calendar_yearedit")))
        describe(year, tr("Year"), QString());
    describe(txtFields_0, tr("Date"), tr("The day of the run, as picked on the calendar."));
    describe(txtFields_3, tr("Details"), tr("Notes on the run, at most 255 characters."));
    describe(cbtype, tr("Type of run"), tr("Pick a type from the list, or type your own."));
    describe(Sldhr, tr("Hours"), tr("Hours of the run, 0 to 6."));
    describe(Sldmin, tr("Minutes"), tr("Minutes of the run, 0 to 59."));
    describe(txtSld, tr("Duration"),
             tr("Hours and minutes while you move the sliders; whole minutes once the entry is checked."));
    describe(Cmdaccpt, Cmdaccpt->text(), tr("Checks the new entry and stores it."));
    describe(Data1, tr("Entries"), tr("Moves through the entries of the log."));
}

void frmaddnew::Form_Load() {
    cbtype->addItems(logstore::runTypes());
    cbtype->setEditText(logstore::initialRunType());
    txtFields_3->setEnabled(false);
    berr = False;
    Cmdaccpt->setEnabled(false);
    Sldhr->setEnabled(false);
    Sldmin->setEnabled(false);
    Calendar1->hide();
}

bool frmaddnew::newEntryPending() const {
    const dao::RecordsetPtr rs = Data1->Recordset();
    return rs && rs->isOpen() && rs->EditMode() == dao::dbEditAdd;
}

bool frmaddnew::newEntryHasInput() const { return newEntryPending() && Data1->DataChanged(); }

void frmaddnew::leaveAddMode() {
    Cmdaccpt->setEnabled(false);
    cmdAdd->setEnabled(true);
    Sldhr->setEnabled(false);
    Sldmin->setEnabled(false);
    Calendar1->hide();
    txtFields_3->setEnabled(false);
    iAddNew = False;
}

bool frmaddnew::logIsOpen() {
    const dao::RecordsetPtr rs = Data1->Recordset();
    if (rs && rs->isOpen()) return true;
    ui::MsgBox(openErrorText_.isEmpty() ? tr("The run log is not open.") : openErrorText_, ui::vbExclamation);
    return false;
}

void frmaddnew::Form_Activate() {
    PointerReset pointer;
    // A new entry with the user's input stays current: it is stored only
    // through "ACCEPT".
    if (iAddNew != False || newEntryHasInput()) return;
    Data1->setDatabaseName(ui::App::Path() + QStringLiteral("\\Run.mdb"));
    Data1->setRecordSource(QStringLiteral("runlog"));
    try {
        Data1->Refresh();
        openError_ = 0;
        openErrorText_.clear();
    } catch (const dao::Error& e) {
        ui::Screen::setMousePointer(ui::Screen::vbDefault);
        const QString text = openFailureText(dao::resolveFileName(Data1->DatabaseName()), e);
        // Said once: not again on every activation while nothing changed.
        const bool again = e.Number() == openError_;
        openError_ = e.Number();
        openErrorText_ = text;
        if (!again) ui::MsgBox(text, ui::vbExclamation);
    }
}

void frmaddnew::Data1_Reposition() {
    ui::Screen::setMousePointer(ui::Screen::vbDefault);
    try {
        const dao::RecordsetPtr rs = Data1->Recordset();
        if (!rs) return;
        Data1->setCaption(QStringLiteral("Entry Number: ") + QString::number(rs->AbsolutePosition() + 1));
    } catch (const dao::Error&) {
        // The caption stays as it was.
    }
}

void frmaddnew::Data1_Validate(int& Action, int& Save) {
    ui::Screen::setMousePointer(ui::Screen::vbHourglass);
    // Moving away from a new entry: it is never stored unchecked, and what
    // the user put into it is dropped only when they say so.
    if (!isNavigation(Action) || !newEntryPending()) return;
    if (Data1->DataChanged()) {
        if (ui::MsgBox(tr("Discard the new entry?"), ui::vbYesNo + ui::vbQuestion) != ui::vbYes) {
            Action = controls::vbDataActionCancel;
            ui::Screen::setMousePointer(ui::Screen::vbDefault);
            return;
        }
        Save = False;
    }
    if (iAddNew != False) leaveAddMode();
}

void frmaddnew::Data1_Error(int DataErr, int& Response) {
    QString text = Data1->ErrorDescription();
    if (text.isEmpty()) text = dao::description(DataErr);
    ui::MsgBox(QStringLiteral("Data error event hit err:") + text);
    Response = 0;
}

void frmaddnew::cmdAdd_Click() {
    PointerReset pointer;
    if (!logIsOpen()) return;
    // A change to the stored entry being left that another window or
    // program overtook stays on the screen, to be saved again.
    if (!newEntryPending() && !Data1->SaveCurrentRow()) return;
    Sldhr->setEnabled(true);
    Sldmin->setEnabled(true);
    Calendar1->show();
    txtFields_3->setEnabled(true);
    // A new entry already current (after an accepted one) is kept, with
    // anything typed into it, rather than stored unchecked.
    if (accepting_ || !newEntryPending()) Data1->Recordset()->AddNew();
    if (iAddNew == False) {
        Cmdaccpt->setEnabled(true);
        cmdAdd->setEnabled(false);
        berr = False;
        iAddNew = True;
    }
}

void frmaddnew::Cmdaccpt_Click() {
    PointerReset pointer;
    if (!logIsOpen()) return;
    if (!newEntryPending()) {
        // No new entry is current: never write into a stored one.
        leaveAddMode();
        return;
    }
    Verify_Data();
    if (berr != False) return;
    // Store the checked entry now: if that fails, it stays current with
    // everything the user put in.
    try {
        Data1->UpdateRecord();
    } catch (const dao::Error& e) {
        ui::Screen::setMousePointer(ui::Screen::vbDefault);
        ui::MsgBox(QStringLiteral("Data error event hit err:") + e.Description());
        return;
    }
    if (iAddNew != False) {
        Cmdaccpt->setEnabled(false);
        cmdAdd->setEnabled(true);
        berr = False;
    }
    accepting_ = true;
    try {
        cmdAdd_Click();
    } catch (...) {
        accepting_ = false;
        throw;
    }
    accepting_ = false;
    iAddNew = False;
    Sldhr->setEnabled(false);
    Sldmin->setEnabled(false);
    Calendar1->hide();
}

void frmaddnew::cmdDelete_Click() {
    PointerReset pointer;
    if (!logIsOpen()) return;
    const dao::RecordsetPtr rs = Data1->Recordset();
    if (rs->EditMode() == dao::dbEditAdd) {
        ui::MsgBox(tr("The new entry is not stored yet, so there is nothing to delete."), ui::vbInformation);
        return;
    }
    if (rs->RecordCount() == 0 || rs->AbsolutePosition() < 0) {
        ui::MsgBox(tr("There is no entry to delete."), ui::vbInformation);
        Data1_Reposition();
        return;
    }
    rs->Delete();
    rs->MoveNext();
    if (rs->EOF_() && rs->RecordCount() > 0) rs->MoveLast();
}

void frmaddnew::cmdGrid_Click() {
    // Any failure ends here without a message of this form's own; a grid
    // window that could not load has already said why.
    frmDataGrid* grid = nullptr;
    try {
        grid = new frmDataGrid();
        grid->Load();
        if (!grid->isLoaded()) return;
        dao::RecordsetPtr rs = Data1->Recordset();
        if (!rs) throw dao::Error(dao::err::ObjectVariableNotSet);
        // A set of its own over the same rows: moving or editing in the grid
        // never moves or overwrites this form's current entry.
        grid->Data1->setRecordset(rs->Clone());
        grid->setCaption(Caption() + QStringLiteral(" Grid"));
        grid->Show();
        Module1::bGridFromEntry = True;
    } catch (...) {
        if (grid && grid->isLoaded() && !grid->isVisible()) grid->Unload();
    }
}

void frmaddnew::cmdReturn_Click() { Unload(); }

void frmaddnew::Form_QueryUnload(int& Cancel) {
    // A change to the stored entry that another window or program overtook
    // keeps the form open, to be saved again.
    if (!Data1->SaveCurrentRow()) {
        Cancel = True;
        return;
    }
    if (!newEntryHasInput()) return;
    if (ui::MsgBox(tr("Discard the new entry?"), ui::vbYesNo + ui::vbQuestion) != ui::vbYes) {
        Cancel = True;
        return;
    }
    // Never stored unchecked; asked once, even if the closing goes on later.
    Data1->UpdateControls();
}

void frmaddnew::Form_Unload(int& Cancel) {
    // Changes to a stored entry (its type) are written as the control closes.
    Data1->Close();
    ui::Screen::setMousePointer(ui::Screen::vbDefault);
}

void frmaddnew::Calendar1_Click() {
    txtFields_0->setText(Calendar1->selectedDate().toString(Qt::ISODate));
}

void frmaddnew::Sldhr_Click() {
    iHour = static_cast<std::int16_t>(Sldhr->value());
    txtSld->setText(QString::number(iHour) + QStringLiteral(":"));
}

void frmaddnew::Sldmin_Click() {
    iMin = static_cast<std::int16_t>(Sldmin->value());
    txtSld->setText(QString::number(iHour) + QStringLiteral(":") + QString::number(Sldmin->value()));
}

void frmaddnew::Verify_Data() {
    // 1. Date.
    if (txtFields_0->text().isEmpty()) {
        ui::MsgBox(QStringLiteral("Date cannot be blank!"));
        berr = True;
    } else {
        berr = False;
    }
    // 2. Type.
    if (cbtype->currentText().isEmpty()) {
        ui::MsgBox(QStringLiteral("You didn't choose a type, assuming normal!"));
        cbtype->setEditText(logstore::blankRunType());
    }
    // 3. Duration in whole minutes.
    iTime = static_cast<std::int16_t>(iHour * 60 + iMin);
    txtSld->setText(QString::number(iTime));
    // 4. Zero duration.
    if (txtSld->text() == QStringLiteral("0")) {
        ui::MsgBox(QStringLiteral("Error: You ran for 0 minutes!"));
        berr = True;
    }
}

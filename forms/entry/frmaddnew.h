// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The entry form: walks through the run log one entry at a time, adds new
// entries (date from the calendar, duration from two sliders, type from the
// type box), checks them before they are stored, and deletes entries.

#include "ui/form.h"

#include <array>
#include <cstdint>

class QCalendarWidget;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace controls {
class DataControl;
class MultiLineTextBox;
class Slider;
}  // namespace controls

class frmaddnew : public ui::Form {
    Q_OBJECT
public:
    explicit frmaddnew(QWidget* parent = nullptr);
    ~frmaddnew() override;

    // Controls. The text boxes and labels are control arrays: txtFields(0)
    // is the date box, txtFields(3) the description box.
    QGroupBox* Frame1 = nullptr;
    QCalendarWidget* Calendar1 = nullptr;
    QLineEdit* txtFields_0 = nullptr;
    controls::MultiLineTextBox* txtFields_3 = nullptr;
    QComboBox* cbtype = nullptr;
    controls::Slider* Sldhr = nullptr;
    QLineEdit* txtSld = nullptr;
    QPushButton* Cmdaccpt = nullptr;
    controls::Slider* Sldmin = nullptr;
    controls::DataControl* Data1 = nullptr;
    QLabel* lblData = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdGrid = nullptr;
    QPushButton* cmdReturn = nullptr;

    QWidget* txtFields(int index) const;  // 0 and 3; nullptr otherwise
    QLabel* lblLabels(int index) const;   // 0, 1, 2, 3 and 5; nullptr otherwise

    // Form members (True is -1).
    std::int16_t iAddNew = 0;  // a new entry was started with "Add New" and not accepted yet
    std::int16_t berr = 0;     // the last Verify_Data failed
    std::int16_t iHour = 0;
    std::int16_t iMin = 0;
    std::int16_t iTime = 0;

    // Event handlers.
    void Data1_Reposition();
    void Data1_Validate(int& Action, int& Save);
    void Data1_Error(int DataErr, int& Response);
    void cmdAdd_Click();
    void Cmdaccpt_Click();
    void cmdDelete_Click();
    void cmdGrid_Click();
    void cmdReturn_Click();
    void Calendar1_Click();
    void Sldhr_Click();
    void Sldmin_Click();

    // Checks the new entry before it is stored; the verdict is berr.
    void Verify_Data();

protected:
    void Form_Load() override;
    void Form_Activate() override;
    void Form_QueryUnload(int& Cancel) override;
    void Form_Unload(int& Cancel) override;

private:
    void createControls();
    // Names and descriptions for screen readers.
    void describeControls();
    // A new entry is current that has not been stored yet.
    bool newEntryPending() const;
    // ... and the user has put something into it.
    bool newEntryHasInput() const;
    // Back to browsing: the add-mode controls off.
    void leaveAddMode();
    // The log is open; otherwise says so (once per click) and returns false.
    bool logIsOpen();

    std::array<QLabel*, 6> lblLabels_{};
    int openError_ = 0;        // the failure last reported when opening the log
    QString openErrorText_;
    bool accepting_ = false;   // cmdAdd_Click runs for "ACCEPT"
};

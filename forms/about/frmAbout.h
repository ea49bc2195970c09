// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The About box: the program's title and version, a few words about it, and
// a button that starts the system's system-information tool.

#include "registry/registry.h"
#include "ui/form.h"

#include <QString>

#include <array>

class QFrame;
class QLabel;
class QPushButton;

class frmAbout : public ui::Form {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    QLabel* picIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QPushButton* cmdOK = nullptr;
    QLabel* lblDisclaimer = nullptr;
    QPushButton* cmdSysInfo = nullptr;
    // The etched separator: index 0 the white line, index 1 the grey one.
    std::array<QFrame*, 2> Line1{};

    // Event handlers.
    void cmdOK_Click();
    void cmdSysInfo_Click();

    // Finds the system-information tool and starts it, or says that it
    // cannot.
    void StartSysInfo();

    // Reads the value SubKeyRef of the key KeyName below KeyRoot into KeyVal
    // as text: a string as it is, a 32-bit number as "&h" and its hex digits.
    // True when the value was read. A value that cannot be trimmed (no data
    // at all) throws dao::Error; the key is closed in every case.
    bool GetKeyValue(registry::HKEY& KeyRoot, QString& KeyName, QString& SubKeyRef, QString& KeyVal);

protected:
    void Form_Load() override;
    void keyPressEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void createControls();
    void centreOnOwner();
};

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Module1.h"

namespace Module1 {

QString sDatabasePath;
QString sConnect;
QString sRecordSource;
std::int16_t bGridFromEntry = False;
QPointer<frmMain> fMainForm;

void resetSharedState() {
    sDatabasePath.clear();
    sConnect.clear();
    sRecordSource.clear();
    bGridFromEntry = False;
    fMainForm.clear();
}

}  // namespace Module1

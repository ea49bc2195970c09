// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/gui/modelcheck.h"

#include <QAbstractItemModelTester>

namespace testsupport {

void checkModel(QAbstractItemModel* model) {
    new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::Fatal, model);
}

}  // namespace testsupport

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Qt's model checker on the grid's model in tests.

class QAbstractItemModel;

namespace testsupport {

// Watches model with Qt's model checker for as long as the model lives, in
// fatal mode: the first inconsistency ends the test program with the
// checker's message. (The checker fetches every row it can at each change,
// so a test of what the view fetches by itself cannot have it.)
void checkModel(QAbstractItemModel* model);

}  // namespace testsupport

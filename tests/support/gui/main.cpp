// SPDX-License-Identifier: GPL-3.0-or-later
// main() for window tests: the program's application object, a private
// settings store, message boxes answered and recorded, and no window left
// loaded from one test to the next.
#include "settings/settings.h"
#include "support/gui/folders.h"
#include "support/gui/msgboxes.h"
#include "support/gui/windows.h"
#include "ui/application.h"
#include "ui/screen.h"

#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class WindowCleanup : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override {
        testsupport::unloadAllForms();
        testsupport::installDefaultResponder();
        ui::Screen::setMousePointer(ui::Screen::vbDefault);
        settings::setStoreFolder(testsupport::runSettingsFolder());
    }
};

// A queued connection of a signal that reads its handler's answer back
// (Cancel, Response) drops the call with only this warning: make it fail.
QtMessageHandler qtMessages = nullptr;
void failOnDroppedCalls(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QLatin1String("Cannot queue arguments")))
        ADD_FAILURE() << "a queued connection dropped a call: " << message.toStdString();
    qtMessages(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QStandardPaths::setTestModeEnabled(true);
    ui::Application app(argc, argv);
    qtMessages = qInstallMessageHandler(failOnDroppedCalls);

    QTemporaryDir settingsFolder;
    testsupport::runSettingsFolder() = settingsFolder.path();
    settings::setStoreFolder(settingsFolder.path());
    testsupport::installDefaultResponder();

    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new WindowCleanup);
    return RUN_ALL_TESTS();
}

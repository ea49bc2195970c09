#include "ui/application.h"

#include "ui/app.h"
#include "ui/guard.h"

namespace ui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(App::Title());
    setApplicationVersion(QStringLiteral("%1.%2.%3").arg(App::Major).arg(App::Minor).arg(App::Revision));
    // The program ends when its last loaded window is unloaded (see Form),
    // not when the last visible one closes: a hidden loaded window keeps it
    // running.
    setQuitOnLastWindowClosed(false);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportUntrapped(std::current_exception());
        return false;
    }
}

}  // namespace ui

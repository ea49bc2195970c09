// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/application.h"

#include "ui/app.h"
#include "ui/backgroundwork.h"
#include "ui/guard.h"
#include "ui/pasteguard.h"

#include <QFont>

namespace ui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(App::Title());
    setApplicationVersion(QStringLiteral("%1.%2.%3").arg(App::Major).arg(App::Minor).arg(App::Revision));
    setDesktopFileName(QStringLiteral("pacebook"));  // the menu entry installed beside the icon
    // The program ends when its last loaded window is unloaded (see Form),
    // not when the last visible one closes: a hidden loaded window keeps it
    // running.
    setQuitOnLastWindowClosed(false);
    // One font for every window: a face with Arial's metrics at a size at
    // which every caption fits the box its window gives it, at any scale.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(7.5);
    setFont(font);
    installBackgroundWorkHooks();
    installPasteGuard(this);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportFromEventLoop(receiver, event, std::current_exception());
        return false;
    }
}

}  // namespace ui

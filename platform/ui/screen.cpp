// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/screen.h"

#include <QCursor>
#include <QGuiApplication>

namespace ui::Screen {

namespace {
int current = vbDefault;
bool overridePushed = false;  // whether our own override cursor is on the stack
}  // namespace

int MousePointer() { return current; }

void setMousePointer(int pointer) {
    if (pointer == current) return;
    current = pointer;
    if (overridePushed) {
        QGuiApplication::restoreOverrideCursor();
        overridePushed = false;
    }
    if (pointer == vbDefault) return;
    QGuiApplication::setOverrideCursor(QCursor(pointer == vbHourglass ? Qt::WaitCursor : Qt::ArrowCursor));
    overridePushed = true;
}

}  // namespace ui::Screen

namespace ui {

BusyPointer::BusyPointer() : previous_(Screen::MousePointer()) { Screen::setMousePointer(Screen::vbHourglass); }

BusyPointer::~BusyPointer() { Screen::setMousePointer(previous_); }

}  // namespace ui

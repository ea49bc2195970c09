// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace ui {

namespace {
constexpr double kTwipsPerInch = 1440.0;

double dpiX() {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchX() : 96.0;
}
double dpiY() {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}
}  // namespace

int twipsToPixelsX(double twips) { return static_cast<int>(std::lround(twips * dpiX() / kTwipsPerInch)); }
int twipsToPixelsY(double twips) { return static_cast<int>(std::lround(twips * dpiY() / kTwipsPerInch)); }
double pixelsToTwipsX(int pixels) { return pixels * kTwipsPerInch / dpiX(); }
double pixelsToTwipsY(int pixels) { return pixels * kTwipsPerInch / dpiY(); }

void placeTwips(QWidget* control, double left, double top, double width, double height) {
    control->setGeometry(twipsToPixelsX(left), twipsToPixelsY(top), twipsToPixelsX(width),
                         twipsToPixelsY(height));
}

}  // namespace ui

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Twips (1/1440 inch) to pixels and back, with the screen's logical DPI.

#include <QRect>

class QWidget;

namespace ui {

int twipsToPixelsX(double twips);
int twipsToPixelsY(double twips);
double pixelsToTwipsX(int pixels);
double pixelsToTwipsY(int pixels);

// Places a child control at left, top, width, height given in twips,
// relative to its parent.
void placeTwips(QWidget* control, double left, double top, double width, double height);

}  // namespace ui

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A horizontal slider with a Click event. Click is raised whenever the
// slider's value changes, however the user moved it (a click on the track,
// the thumb dragged, the mouse wheel, the arrow keys, Page Up and Page Down,
// Home and End, a screen reader, the program), and once for a click that
// leaves the value as it was (on the thumb). While the thumb is dragged,
// Click follows every value it passes, so what the window shows for the
// slider is always its value.

#include <QSlider>

namespace controls {

class Slider : public QSlider {
    Q_OBJECT
public:
    explicit Slider(QWidget* parent = nullptr);

signals:
    void Click();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The value under a point of the track.
    int valueAtPoint(const QPoint& point) const;

    bool pressed_ = false;
    bool changedWhilePressed_ = false;
};

}  // namespace controls

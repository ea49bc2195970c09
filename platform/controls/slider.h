// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A horizontal slider with a Click event: a mouse button released over the
// slider, after a click on its track or a drag of its thumb. Moving it with
// the keyboard alone raises no Click.

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
};

}  // namespace controls

// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/slider.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

namespace controls {

Slider::Slider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setTickPosition(QSlider::TicksBelow);
    setTickInterval(1);
    setSingleStep(1);
    setPageStep(1);
    setTracking(true);  // the value follows the thumb while it is dragged
    connect(this, &QAbstractSlider::valueChanged, this, [this] {
        if (pressed_) changedWhilePressed_ = true;
        emit Click();
    });
}

int Slider::valueAtPoint(const QPoint& point) const {
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    if (orientation() == Qt::Horizontal) {
        const int span = groove.width() - handle.width();
        const int pos = point.x() - groove.x() - handle.width() / 2;
        return QStyle::sliderValueFromPosition(minimum(), maximum(), pos, span, opt.upsideDown);
    }
    const int span = groove.height() - handle.height();
    const int pos = point.y() - groove.y() - handle.height() / 2;
    return QStyle::sliderValueFromPosition(minimum(), maximum(), pos, span, opt.upsideDown);
}

void Slider::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        changedWhilePressed_ = false;
        QStyleOptionSlider opt;
        initStyleOption(&opt);
        const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
        // A click on the track puts the thumb where the user clicked (rather
        // than stepping towards it), so a single click picks a value.
        if (!handle.contains(event->position().toPoint()))
            setValue(valueAtPoint(event->position().toPoint()));
    }
    QSlider::mousePressEvent(event);
}

void Slider::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasPressed = pressed_ && event->button() == Qt::LeftButton;
    if (event->button() == Qt::LeftButton) pressed_ = false;
    QSlider::mouseReleaseEvent(event);
    // A click that left the value as it was (on the thumb) is a Click too;
    // one that changed it has raised its Click already.
    if (wasPressed && isEnabled() && !changedWhilePressed_) emit Click();
}

}  // namespace controls

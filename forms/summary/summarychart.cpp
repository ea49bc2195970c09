// SPDX-License-Identifier: GPL-3.0-or-later
#include "summarychart.h"

#include "totals.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {

// A step of 1, 2 or 5 times a power of ten, at least raw.
double niceStep(double raw) {
    const double magnitude = std::pow(10.0, std::floor(std::log10(std::max(raw, 1e-9))));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * magnitude >= raw) return m * magnitude;
    return 10 * magnitude;
}

QString minutesText(double minutes) { return QString::number(qint64(std::llround(minutes))); }

}  // namespace

SummaryChart::SummaryChart(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void SummaryChart::setData(std::vector<Category> categories, std::vector<Series> series, const QString& categoryTitle) {
    categories_ = std::move(categories);
    series_ = std::move(series);
    for (auto& s : series_) s.values.resize(categories_.size(), 0.0);
    categoryTitle_ = categoryTitle;
    current_ = -1;
    QToolTip::hideText();
    update();
}

double SummaryChart::total(int category) const {
    double sum = 0;
    if (category < 0 || size_t(category) >= categories_.size()) return sum;
    for (const auto& s : series_) sum += std::max(0.0, s.values[size_t(category)]);
    return sum;
}

std::vector<int> SummaryChart::shownSeries() const {
    std::vector<int> shown;
    for (size_t s = 0; s < series_.size(); ++s)
        if (std::any_of(series_[s].values.begin(), series_[s].values.end(), [](double v) { return v > 0; }))
            shown.push_back(int(s));
    return shown;
}

QSize SummaryChart::sizeHint() const {
    const int line = fontMetrics().height();
    return {line * 40, line * 18};
}

QSize SummaryChart::minimumSizeHint() const {
    const int line = fontMetrics().height();
    return {line * 16, line * 10};
}

SummaryChart::Layout SummaryChart::layout(const QSize& size) const {
    Layout l;
    const QFontMetricsF fm(font());
    const double line = fm.height();
    const double pad = line / 2;

    // The legend along the top, wrapped to the width.
    double x = pad, y = pad;
    for (int s : shownSeries()) {
        const double w = line + line / 3 + fm.horizontalAdvance(series_[size_t(s)].name);
        if (x > pad && x + w > size.width() - pad) {
            x = pad;
            y += line * 1.3;
        }
        l.legend.emplace_back(x, y, w, line);
        x += w + line;
    }
    const double top = (l.legend.empty() ? pad : y + line * 1.3) + pad;
    // Below the plot: ticks, groups and the axis title.
    const double bottom = size.height() - pad - 3 * line - pad;

    double most = 0;
    for (size_t c = 0; c < categories_.size(); ++c) most = std::max(most, total(int(c)));
    const double height = std::max(bottom - top, line);
    // An hour at least, so that an empty or nearly empty chart has a scale.
    const double reach = std::max(most, 60.0);
    const int lines = std::max(2, int(height / (line * 2.5)));
    l.step = niceStep(reach / lines);
    l.top = std::ceil(reach / l.step) * l.step;

    const double labels = fm.horizontalAdvance(minutesText(l.top));
    const double left = pad + line + pad + labels + pad;
    l.plot = QRectF(left, top, std::max(size.width() - left - pad, line), height);

    const size_t n = std::max<size_t>(categories_.size(), 1);
    l.slot = l.plot.width() / double(n);
    l.bar = l.slot >= 4 ? std::min(l.slot * 0.7, line * 4) : l.slot;
    double widest = 0;
    for (const auto& c : categories_) widest = std::max(widest, fm.horizontalAdvance(c.tick));
    l.tickEvery = std::max(1, int(std::ceil((widest + line) / std::max(l.slot, 1e-3))));
    return l;
}

QRectF SummaryChart::barRect(int series, int category) const {
    if (series < 0 || size_t(series) >= series_.size() || category < 0 || size_t(category) >= categories_.size())
        return {};
    const Layout l = layout(size());
    const double scale = l.plot.height() / l.top;
    double below = 0;
    for (int s = 0; s < series; ++s) below += std::max(0.0, series_[size_t(s)].values[size_t(category)]);
    const double value = std::max(0.0, series_[size_t(series)].values[size_t(category)]);
    if (value <= 0) return {};
    const double x = l.plot.left() + l.slot * category + (l.slot - l.bar) / 2;
    return QRectF(x, l.plot.bottom() - (below + value) * scale, l.bar, value * scale);
}

int SummaryChart::categoryAt(const QPointF& pos) const {
    const Layout l = layout(size());
    if (categories_.empty() || !l.plot.contains(pos)) return -1;
    return std::clamp(int((pos.x() - l.plot.left()) / l.slot), 0, int(categories_.size()) - 1);
}

QString SummaryChart::categoryText(int category) const {
    if (category < 0 || size_t(category) >= categories_.size()) return {};
    const double sum = total(category);
    QString text = tr("%1: %2 minutes (%3)")
                       .arg(categories_[size_t(category)].label, minutesText(sum),
                            summary::hoursMinutes(std::llround(sum)));
    for (const auto& s : series_)
        if (s.values[size_t(category)] > 0)
            text += u'\n' + tr("%1: %2").arg(s.name, minutesText(s.values[size_t(category)]));
    return text;
}

void SummaryChart::setCurrentCategory(int category) {
    if (category < -1 || category >= int(categories_.size())) category = -1;
    if (category == current_) return;
    current_ = category;
    update();
    emit currentCategoryChanged(category);
}

QImage SummaryChart::image(qreal devicePixelRatio) const {
    QImage img(size() * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(devicePixelRatio);
    QPainter p(&img);
    draw(p, size(), false);
    return img;
}

void SummaryChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    draw(p, size(), true);
}

void SummaryChart::draw(QPainter& p, const QSize& size, bool live) const {
    const QPalette& pal = palette();
    p.fillRect(QRect(QPoint(0, 0), size), pal.color(QPalette::Base));
    const Layout l = layout(size);
    const QFontMetricsF fm(font());
    const double line = fm.height();
    const QColor text = pal.color(QPalette::Text);
    p.setFont(font());

    // The legend.
    const std::vector<int> shown = shownSeries();
    for (size_t i = 0; i < shown.size(); ++i) {
        const QRectF r = l.legend[i];
        const Series& s = series_[size_t(shown[i])];
        p.fillRect(QRectF(r.left(), r.top() + line * 0.1, line * 0.8, line * 0.8), s.color);
        p.setPen(text);
        p.drawText(QRectF(r.left() + line + line / 3, r.top(), r.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                   s.name);
    }

    // The band of the bar picked, behind everything else in the plot.
    if (live && current_ >= 0)
        p.fillRect(QRectF(l.plot.left() + l.slot * current_, l.plot.top(), l.slot, l.plot.height()),
                   pal.color(QPalette::Highlight).lighter(170));

    // Grid lines and the minutes axis.
    const double scale = l.plot.height() / l.top;
    QColor grid = pal.color(QPalette::Mid);
    grid.setAlpha(90);
    for (double v = 0; v <= l.top + l.step / 2; v += l.step) {
        const double y = l.plot.bottom() - v * scale;
        p.setPen(QPen(grid, 0));
        p.drawLine(QPointF(l.plot.left(), y), QPointF(l.plot.right(), y));
        p.setPen(text);
        p.drawText(QRectF(0, y - line / 2, l.plot.left() - line / 2, line), Qt::AlignRight | Qt::AlignVCenter,
                   minutesText(v));
    }
    p.save();
    p.translate(line / 2, l.plot.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-l.plot.height() / 2, 0, l.plot.height(), line), Qt::AlignCenter, tr("Minutes"));
    p.restore();

    // The bars, stacked in the order of the series.
    p.setRenderHint(QPainter::Antialiasing, false);
    for (size_t c = 0; c < categories_.size(); ++c) {
        double below = 0;
        const double x = l.plot.left() + l.slot * double(c) + (l.slot - l.bar) / 2;
        for (const auto& s : series_) {
            const double v = std::max(0.0, s.values[c]);
            if (v <= 0) continue;
            p.fillRect(QRectF(x, l.plot.bottom() - (below + v) * scale, l.bar, v * scale), s.color);
            below += v;
        }
    }
    p.setPen(QPen(text, 0));
    p.drawLine(l.plot.bottomLeft(), l.plot.bottomRight());

    // Period ticks, their groups (the year), and the axis title.
    const double tickY = l.plot.bottom() + line / 4;
    QString group;
    for (size_t c = 0; c < categories_.size(); c += size_t(l.tickEvery)) {
        const double centre = l.plot.left() + l.slot * (double(c) + 0.5);
        const QRectF cell(centre - l.slot * l.tickEvery / 2, tickY, l.slot * l.tickEvery, line);
        p.drawText(cell, Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip, categories_[c].tick);
        if (categories_[c].group != group) {
            group = categories_[c].group;
            p.drawText(cell.translated(0, line), Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip, group);
        }
    }
    p.drawText(QRectF(l.plot.left(), tickY + 2 * line, l.plot.width(), line), Qt::AlignCenter, categoryTitle_);

    if (shown.empty())
        p.drawText(l.plot, Qt::AlignCenter, categories_.empty() ? tr("No runs") : tr("No runs in these periods"));
    if (live && hasFocus()) {
        p.setPen(QPen(pal.color(QPalette::Highlight), 0, Qt::DotLine));
        p.drawRect(QRectF(QPointF(1, 1), QSizeF(size) - QSizeF(2, 2)));
    }
}

void SummaryChart::showCurrent() {
    if (current_ < 0) {
        QToolTip::hideText();
        return;
    }
    const Layout l = layout(size());
    const QPoint at(int(l.plot.left() + l.slot * (current_ + 0.5)),
                    int(l.plot.bottom() - total(current_) * l.plot.height() / l.top));
    QToolTip::showText(mapToGlobal(at), categoryText(current_), this);
}

void SummaryChart::mouseMoveEvent(QMouseEvent* e) {
    const int c = categoryAt(e->position());
    if (c >= 0)
        QToolTip::showText(e->globalPosition().toPoint(), categoryText(c), this);
    else
        QToolTip::hideText();
}

void SummaryChart::mousePressEvent(QMouseEvent* e) {
    setFocus(Qt::MouseFocusReason);
    setCurrentCategory(categoryAt(e->position()));
}

void SummaryChart::leaveEvent(QEvent*) { QToolTip::hideText(); }

void SummaryChart::keyPressEvent(QKeyEvent* e) {
    const int n = int(categories_.size());
    int c = current_;
    switch (e->key()) {
    case Qt::Key_Left: c = c < 0 ? n - 1 : std::max(0, c - 1); break;
    case Qt::Key_Right: c = c < 0 ? 0 : std::min(n - 1, c + 1); break;
    case Qt::Key_Home: c = 0; break;
    case Qt::Key_End: c = n - 1; break;
    default: QWidget::keyPressEvent(e); return;
    }
    if (n == 0) return;
    setCurrentCategory(c);
    showCurrent();
}

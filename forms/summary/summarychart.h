// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A stacked bar chart of minutes per period: one bar per period, stacked by
// type, with a minutes axis, period labels, a legend and the figures of a
// bar on hover (or, from the keyboard, with the arrow keys). Drawn with
// QPainter in the widget's own size, so it is crisp at any desktop scale.

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include <vector>

class SummaryChart : public QWidget {
    Q_OBJECT
public:
    struct Category {
        QString label;  // in the hover text: "2026-W03"
        QString tick;   // under the bar: "W03"
        QString group;  // under the first tick of a group of bars: "2026"
    };
    struct Series {
        QString name;
        QColor color;
        std::vector<double> values;  // one per category
    };

    explicit SummaryChart(QWidget* parent = nullptr);

    void setData(std::vector<Category> categories, std::vector<Series> series, const QString& categoryTitle);
    const std::vector<Category>& categories() const { return categories_; }
    const std::vector<Series>& series() const { return series_; }
    QString categoryTitle() const { return categoryTitle_; }
    double total(int category) const;

    // Where a part of a bar is drawn, in widget coordinates (empty when it
    // has no height), and the bar under a point (-1 for none).
    QRectF barRect(int series, int category) const;
    int categoryAt(const QPointF& pos) const;
    // What hovering a bar shows: its label, its total and its parts.
    QString categoryText(int category) const;

    // The bar picked by the pointer or the keyboard (-1 for none).
    int currentCategory() const { return current_; }
    void setCurrentCategory(int category);

    // The chart as an image at the given scale (2 for a crisp picture of a
    // window shown at twice the size), without the pointer's highlight.
    QImage image(qreal devicePixelRatio) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void currentCategoryChanged(int category);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    struct Layout {
        QRectF plot;
        double top = 1;   // minutes at the top of the axis
        double step = 1;  // minutes between grid lines
        double slot = 0;  // width of one period
        double bar = 0;   // width of one bar
        int tickEvery = 1;
        std::vector<QRectF> legend;  // a swatch and name per series shown
    };
    Layout layout(const QSize& size) const;
    std::vector<int> shownSeries() const;
    void draw(QPainter& p, const QSize& size, bool live) const;
    void showCurrent();

    std::vector<Category> categories_;
    std::vector<Series> series_;
    QString categoryTitle_;
    int current_ = -1;
};

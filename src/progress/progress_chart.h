#pragma once

#include "data/progress.h"

#include <QWidget>
#include <vector>

// The progress of one item as a bar chart: the counts per day (or per day on average over a
// week or a month, when the range is too long for a bar a day) on a date axis, the item's
// target count as a horizontal line, and the seven-day average as a line. Painted with
// QPainter in device-independent pixels, so it stays sharp at any scale.
class ProgressChart : public QWidget {
    Q_OBJECT
public:
    explicit ProgressChart(QWidget* parent = nullptr);

    // The totals to show, the range (both days included) and the target count.
    void setData(const progress::DailyTotals* totals, QDate from, QDate to, double target);

    progress::Period period() const { return period_; }
    const std::vector<progress::Bar>& bars() const { return bars_; }
    // Where each bar is drawn, in the widget's coordinates.
    std::vector<QRectF> barRects() const;
    // Where a value stands on the value axis, and where a day begins on the date axis.
    double yOf(double value) const;
    double xOf(QDate day) const;
    // The bar under a point, or -1.
    int barAt(QPointF point) const;
    // What the bar says in words: its day, week or month, and its total.
    QString describe(int bar) const;

    // A count for people: at most two decimals, no trailing zeros.
    static QString amount(double value);

    QSize sizeHint() const override { return {640, 320}; }
    QSize minimumSizeHint() const override { return {320, 200}; }

    static const QColor BarColor;
    static const QColor TargetColor;
    static const QColor AverageColor;

signals:
    // The words for the bar under the mouse pointer, or empty when there is none.
    void hovered(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void rebuild();
    QRectF plotArea() const;
    // The days the seven-day average line is drawn through.
    std::vector<QDate> averageDays() const;
    QString axisLabel(const progress::Bar& bar) const;

    const progress::DailyTotals* totals_ = nullptr;
    QDate from_, to_;
    double target_ = 0;
    progress::Period period_ = progress::Period::Day;
    std::vector<progress::Bar> bars_;
    double top_ = 1;  // the value at the top of the plot
    double step_ = 1; // between grid lines
    int hovered_ = -1;
    int labelWidth_ = 0; // of the widest value on the axis
};

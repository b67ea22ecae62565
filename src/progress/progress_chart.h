#pragma once

#include "data/progress.h"

#include <QWidget>
#include <vector>

class QPainter;

// The progress of one item as a bar chart on a date axis, every mark a quantity of the bar's
// own days: the bar is the day's, week's, month's or year's total; the target tick is the
// item's target times the sets done in it (a user who did every set at target stands exactly
// on it); the line is the mean total of the last few periods (7 days, 4 weeks, 3 months). A
// bar the range cuts is hatched. Painted with QPainter in device-independent pixels, so it
// stays sharp at any scale.
class ProgressChart : public QWidget {
    Q_OBJECT
public:
    explicit ProgressChart(QWidget* parent = nullptr);

    // The totals to show, the range (both days included), and today: a period not over yet
    // has no average.
    void setData(const progress::DailyTotals* totals, QDate from, QDate to, QDate today);
    // Text shown in place of the bars (the history file is gone), or none.
    void setMessage(const QString& message);

    progress::Period period() const { return period_; }
    const std::vector<progress::Bar>& bars() const { return bars_; }
    // Where each bar is drawn, in the widget's coordinates.
    std::vector<QRectF> barRects() const;
    QRectF plotArea() const;
    // The value at the top of the scale; where a value stands on it, and where a day begins.
    double top() const { return top_; }
    double yOf(double value) const;
    double xOf(QDate day) const;
    // The bar under a point, or -1.
    int barAt(QPointF point) const;
    // What the bar says in words: its day, week or month, its total, sets and target.
    QString describe(int bar) const;
    // The date axis as drawn: each label, with its year on a second line where it changes.
    QStringList axisLabels() const;
    // What the bars and lines mean, as the legend says it.
    QString barMeaning() const;
    QString averageName() const;
    QString averageMeaning() const;
    // A bar drawn cut at the top: far above the others, it is left out of the scale.
    bool cut(const progress::Bar& bar) const;

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
    struct AxisLabel {
        size_t bar;
        QString text;
        QString year; // empty where the year goes on
    };
    struct LegendItem {
        enum Kind { Bar, Partial, Target, Average, Note } kind;
        QString text;
        QPointF at{}; // where its mark begins
    };
    enum class TargetMark { None, Tick, Above, TooSmall };
    TargetMark targetMark(const progress::Bar& bar) const;
    void rebuild();
    void drawCut(QPainter& painter, const QRectF& rect, double total, const QColor& colour) const;
    void layOutLegend();
    void chooseAxisLabels();
    bool anyTrained() const;
    // The bar's slot on the date axis (its days), and the bar drawn in it.
    QRectF slot(size_t bar) const;

    const progress::DailyTotals* totals_ = nullptr;
    QDate from_, to_, today_;
    QDate axisFirst_, axisEnd_; // whole periods: the first day, and the day after the last
    QString message_;
    progress::Period period_ = progress::Period::Day;
    std::vector<progress::Bar> bars_;
    double top_ = 1; // the value at the top of the plot
    double cutAbove_ = 0;
    double step_ = 1; // between grid lines
    int hovered_ = -1;
    int labelWidth_ = 0; // of the widest value on the axis
    std::vector<AxisLabel> axisLabels_;
    std::vector<LegendItem> legend_;
    double legendHeight_ = 0;
};

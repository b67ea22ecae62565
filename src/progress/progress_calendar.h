#pragma once

#include "data/progress.h"

#include <QDate>
#include <QWidget>
#include <array>
#include <optional>
#include <utility>

// A year of days as squares, a column a week (Monday at the top), each shaded by the level
// of the day's total among the days trained in the weeks shown (quarters of them, as the
// habit calendars users know, so one huge day does not make the others alike); under
// them each week's total as a small bar. One day has the focus: the arrow keys move it (up
// and down a day, left and right a week), Home and End go to the first and last day shown,
// Page Up and Page Down a year back or on; the pointer shows a day and a click takes it.
// Moving beyond the weeks shown brings the weeks around it into view.
class ProgressCalendar : public QWidget {
    Q_OBJECT
public:
    static constexpr int Weeks = 53;

    explicit ProgressCalendar(QWidget* parent = nullptr);

    // The totals and today. The focus stays where it was while it can, else goes to today.
    void setData(const progress::DailyTotals* totals, QDate today);
    QDate focusDay() const { return focus_; }
    void setFocusDay(QDate day);
    // The days shown: from the Monday of the first column to today, or to a later day trained
    // (a clock that was set back).
    QDate firstShown() const;
    QDate lastShown() const;
    QRectF dayRect(QDate day) const;
    QDate dayAt(QPointF point) const;
    // A day's figures in words, its name as the calendar's chosen item (「12月8日（火）17回
    // 2セット」), and its shade from 0 (not trained) to 4, with the totals the shade holds in
    // the weeks shown (「17～30回」; empty when none).
    QString describe(QDate day) const;
    QString shortName(QDate day) const;
    int shadeOf(QDate day) const;
    QString shadeRange(int shade) const;
    // Drawn without the chosen and the pointed day's boxes, for a picture.
    void setPlain(bool plain);

    QSize sizeHint() const override { return {640, 220}; }
    QSize minimumSizeHint() const override { return {480, 180}; }

    static const QColor Shades[5];

signals:
    // The words for the day under the pointer, or for the focus day when the pointer leaves.
    void pointed(const QString& text);
    // Other weeks are shown.
    void shownChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    struct Geometry {
        double left, top, cell, stripTop, stripHeight, legendTop;
    };
    Geometry geometry() const;
    const progress::Day* dayOf(QDate date) const;
    double weekTotal(QDate monday) const;
    void measureShown();
    void said();

    const progress::DailyTotals* totals_ = nullptr;
    QDate today_;
    QDate focus_;
    QDate hovered_;
    QDate lastMonday_; // of the last column
    QDate earliest_;   // the focus goes no further back or on
    QDate latest_;
    double best_ = 0; // the best day's total in the weeks shown
    std::array<double, 3> levels_{};
    std::array<std::pair<std::optional<double>, std::optional<double>>, 4> shadeRanges_;
    bool plain_ = false;
    double bestWeek_ = 0;
    double totalShown_ = 0;
    int daysShown_ = 0;
};

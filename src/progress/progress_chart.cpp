#include "progress/progress_chart.h"

#include "base/text_to_number.h"
#include "widgets/geometry.h"

#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <limits>

const QColor ProgressChart::BarColor(0x3a, 0x6e, 0xa5);
const QColor ProgressChart::TargetColor(0xd0, 0x30, 0x30);
const QColor ProgressChart::AverageColor(0xe0, 0x8a, 0x00);

namespace {

const QColor HoveredBarColor(0x1f, 0x45, 0x6e);
const QColor GridColor(0xdd, 0xdd, 0xdd);

// 1, 2 or 5 times a power of ten, at least `raw`.
double niceStep(double raw) {
    if (raw <= 0)
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0, 10.0})
        if (factor * power >= raw)
            return factor * power;
    return 10 * power;
}

QString longDate(QDate date) {
    return QLocale(QLocale::Japanese, QLocale::Japan)
        .toString(date, QStringLiteral("yyyy年M月d日（ddd）"));
}

} // namespace

QString ProgressChart::amount(double value) {
    if (!(std::fabs(value) < 1e13)) // no place for two decimals: as the files write it
        return NumberText(value);
    QString text = QString::number(std::round(value * 100) / 100, 'f', 2);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    return text == QStringLiteral("-0") ? QStringLiteral("0") : text;
}

ProgressChart::ProgressChart(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setFont(gothicFont(9));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

void ProgressChart::setData(const progress::DailyTotals* totals, QDate from, QDate to,
                            double target) {
    totals_ = totals;
    from_ = from;
    to_ = to;
    target_ = target;
    hovered_ = -1;
    rebuild();
    update();
}

QRectF ProgressChart::plotArea() const {
    const QFontMetrics metrics(font());
    const double left = labelWidth_ + 12;
    const double bottom = metrics.height() + 10;
    const double top = metrics.height() + 12; // the legend
    return QRectF(left, top, std::max(1.0, width() - left - 12),
                  std::max(1.0, height() - top - bottom));
}

void ProgressChart::rebuild() {
    bars_.clear();
    hovered_ = -1;
    const QFontMetrics metrics(font());
    labelWidth_ = metrics.horizontalAdvance(QStringLiteral("00000"));
    if (!totals_ || !from_.isValid() || !to_.isValid())
        return;
    period_ = progress::periodFor(from_, to_, static_cast<int>(plotArea().width()));
    bars_ = progress::bars(*totals_, from_, to_, period_);
    double highest = std::max(target_, 0.0);
    for (const progress::Bar& bar : bars_)
        highest = std::max(highest, bar.perDay);
    for (const QDate day : averageDays())
        highest = std::max(highest, progress::sevenDayAverage(*totals_, day));
    step_ = niceStep(highest / 5);
    top_ = std::max(step_, std::ceil(highest / step_) * step_);
    if (top_ <= highest)
        top_ += step_;          // room above the highest bar and the target line
    if (!std::isfinite(top_)) { // counts near the largest number there is
        top_ = std::numeric_limits<double>::max();
        step_ = top_ / 4;
    }
    labelWidth_ = std::max(labelWidth_, metrics.horizontalAdvance(amount(top_)));
}

std::vector<QDate> ProgressChart::averageDays() const {
    // A point a day while days are wider than a pixel, else a point a pixel: the line looks
    // the same, and a range of many years costs no more than a short one.
    std::vector<QDate> days;
    const qint64 count = from_.daysTo(to_) + 1;
    const qint64 points =
        std::min<qint64>(count, std::max(1, static_cast<int>(plotArea().width())));
    days.reserve(static_cast<size_t>(points));
    for (qint64 i = 0; i < points; ++i)
        days.push_back(from_.addDays(i * count / points));
    return days;
}

double ProgressChart::yOf(double value) const {
    const QRectF plot = plotArea();
    return plot.bottom() - std::max(0.0, value) / top_ * plot.height();
}

// The date axis: each day has its share of the width, so a month's bar is as wide as its days.
double ProgressChart::xOf(QDate day) const {
    const QRectF plot = plotArea();
    const double days = static_cast<double>(from_.daysTo(to_) + 1);
    return plot.left() + static_cast<double>(from_.daysTo(day)) / days * plot.width();
}

std::vector<QRectF> ProgressChart::barRects() const {
    std::vector<QRectF> rects;
    rects.reserve(bars_.size());
    const double bottom = plotArea().bottom();
    for (const progress::Bar& bar : bars_) {
        const double left = xOf(bar.first);
        const double width = xOf(bar.last.addDays(1)) - left;
        const double gap = width >= 6 ? width * 0.2 : 0;
        const double top = yOf(bar.perDay);
        rects.emplace_back(left + gap / 2, top, width - gap, bottom - top);
    }
    return rects;
}

int ProgressChart::barAt(QPointF point) const {
    if (bars_.empty() || !plotArea().contains(point))
        return -1;
    for (size_t i = 0; i < bars_.size(); ++i)
        if (point.x() < xOf(bars_[i].last.addDays(1)))
            return static_cast<int>(i);
    return -1;
}

QString ProgressChart::describe(int index) const {
    if (index < 0 || index >= static_cast<int>(bars_.size()))
        return {};
    const progress::Bar& bar = bars_[static_cast<size_t>(index)];
    if (period_ == progress::Period::Day)
        return QStringLiteral("%1　%2回").arg(longDate(bar.first), amount(bar.total));
    QString span;
    switch (period_) {
    case progress::Period::Year:
        span = QStringLiteral("%1年").arg(bar.first.year());
        break;
    case progress::Period::Month:
        span = QStringLiteral("%1年%2月").arg(bar.first.year()).arg(bar.first.month());
        break;
    default:
        span = QStringLiteral("%1～%2").arg(longDate(bar.first), longDate(bar.last));
        break;
    }
    return QStringLiteral("%1　合計 %2回（練習 %3日、1日平均 %4回）")
        .arg(span, amount(bar.total))
        .arg(bar.daysTrained)
        .arg(amount(bar.perDay));
}

QString ProgressChart::axisLabel(const progress::Bar& bar) const {
    if (period_ == progress::Period::Year)
        return QString::number(bar.first.year());
    if (period_ == progress::Period::Month)
        return bar.first.month() == 1 || &bar == &bars_.front()
                   ? QStringLiteral("%1/%2").arg(bar.first.year()).arg(bar.first.month())
                   : QString::number(bar.first.month()) + u'月';
    return QStringLiteral("%1/%2").arg(bar.first.month()).arg(bar.first.day());
}

void ProgressChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    const QRectF plot = plotArea();
    const QFontMetricsF metrics(font());
    const QColor text = palette().color(QPalette::Text);

    // Grid lines with their values.
    painter.setPen(QPen(GridColor, 1));
    const int lines = static_cast<int>(std::min(20.0, std::round(top_ / step_)));
    for (int line = 0; line <= lines; ++line) {
        const double value = line * step_;
        const double y = std::round(yOf(value)) + 0.5;
        painter.setPen(QPen(GridColor, 1));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(text);
        painter.drawText(QRectF(0, y - metrics.height() / 2, plot.left() - 6, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, amount(value));
    }

    const bool trained = std::any_of(bars_.begin(), bars_.end(),
                                     [](const progress::Bar& bar) { return bar.daysTrained > 0; });
    if (!trained) {
        painter.setPen(text);
        painter.drawText(plot, Qt::AlignCenter, QStringLiteral("この期間の記録はありません"));
        return;
    }

    // Bars, then their labels as far apart as they need.
    const std::vector<QRectF> rects = barRects();
    for (size_t i = 0; i < rects.size(); ++i)
        painter.fillRect(rects[i], static_cast<int>(i) == hovered_ ? HoveredBarColor : BarColor);
    const double slot = plot.width() / static_cast<double>(rects.size()); // on average
    const double labelWidth = metrics.horizontalAdvance(QStringLiteral("2026/12")) + 8;
    const int every = std::max(1, static_cast<int>(std::ceil(labelWidth / slot)));
    painter.setPen(text);
    for (size_t i = 0; i < rects.size(); i += static_cast<size_t>(every)) {
        const QPointF centre(rects[i].center().x(), plot.bottom() + 4);
        painter.drawText(
            QRectF(centre.x() - labelWidth / 2, centre.y(), labelWidth, metrics.height()),
            Qt::AlignHCenter | Qt::AlignTop, axisLabel(bars_[i]));
    }

    painter.setRenderHint(QPainter::Antialiasing);
    // The seven-day average, in the middle of each day's width.
    QPainterPath average;
    const double halfDay = (xOf(from_.addDays(1)) - xOf(from_)) / 2;
    for (const QDate day : averageDays()) {
        const QPointF point(xOf(day) + halfDay, yOf(progress::sevenDayAverage(*totals_, day)));
        day == from_ ? average.moveTo(point) : average.lineTo(point);
    }
    painter.setPen(QPen(AverageColor, 2));
    painter.drawPath(average);
    if (from_ == to_)
        painter.drawEllipse(average.pointAtPercent(0), 2, 2);

    // The target count across the whole plot.
    if (target_ > 0) {
        const double y = yOf(target_);
        painter.setPen(QPen(TargetColor, 1.5, Qt::DashLine));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }

    // The legend above the plot.
    double x = plot.left();
    const double middle = 4 + metrics.height() / 2;
    const auto caption = [&](const QString& text) {
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(QPointF(x + 20, 4 + metrics.ascent()), text);
        x += 20 + metrics.horizontalAdvance(text) + 16;
    };
    painter.fillRect(QRectF(x + 2, middle - 4, 12, 8), BarColor);
    caption(period_ == progress::Period::Day ? QStringLiteral("1日の回数")
                                             : QStringLiteral("1日あたりの回数"));
    painter.setPen(QPen(TargetColor, 1.5, Qt::DashLine));
    painter.drawLine(QPointF(x, middle), QPointF(x + 16, middle));
    caption(QStringLiteral("目標"));
    painter.setPen(QPen(AverageColor, 2));
    painter.drawLine(QPointF(x, middle), QPointF(x + 16, middle));
    caption(QStringLiteral("7日平均"));
}

void ProgressChart::resizeEvent(QResizeEvent*) {
    rebuild(); // the bars may be others now; nothing is pointed at until the pointer moves
}

void ProgressChart::mouseMoveEvent(QMouseEvent* event) {
    const int index = barAt(event->position());
    if (index == hovered_)
        return;
    hovered_ = index;
    update();
    emit hovered(describe(index));
}

void ProgressChart::leaveEvent(QEvent*) {
    if (hovered_ < 0)
        return;
    hovered_ = -1;
    update();
    emit hovered(QString());
}

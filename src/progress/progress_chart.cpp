#include "progress/progress_chart.h"

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
const QColor PartialFill(0xc4, 0xd4, 0xe6);
const QColor GridColor(0xdd, 0xdd, 0xdd);

// A bar wider than this would stand alone like a block; one record should look like one.
constexpr double MaxBarWidth = 28;
// The narrowest bar: three years of weeks would stand as a comb, and read better as months.
constexpr int MinBarWidth = 6;
// Target ticks up to this many times the highest bar or average share their scale; higher
// ones are marked at the top edge, so that bars near 40 are not flattened by a target of 32767.
constexpr double TargetReach = 3;
constexpr double MarkSize = 5;

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

QString times(double value) {
    return progress::amount(value) + u'回';
}

QString periodNoun(progress::Period period) {
    switch (period) {
    case progress::Period::Day:
        return QStringLiteral("日");
    case progress::Period::Week:
        return QStringLiteral("週");
    case progress::Period::Month:
        return QStringLiteral("月");
    case progress::Period::Year:
        return QStringLiteral("年");
    }
    return {};
}

// A small triangle at `tip`, pointing up or down.
void drawMark(QPainter& painter, QPointF tip, bool up, const QColor& colour) {
    const double d = up ? MarkSize : -MarkSize;
    const QPointF points[] = {
        tip, {tip.x() - MarkSize, tip.y() + d}, {tip.x() + MarkSize, tip.y() + d}};
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPolygon(points, 3);
    painter.setBrush(Qt::NoBrush);
}

} // namespace

ProgressChart::ProgressChart(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setFont(gothicFont(9));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

void ProgressChart::setData(const progress::DailyTotals* totals, QDate from, QDate to,
                            QDate today) {
    totals_ = totals;
    from_ = from;
    to_ = to;
    today_ = today;
    rebuild();
    update();
}

void ProgressChart::setMessage(const QString& message) {
    message_ = message;
    update();
}

QRectF ProgressChart::plotArea() const {
    const QFontMetricsF metrics(font());
    const double left = labelWidth_ + 12;
    // Room above for a cut bar's value.
    const double top = legendHeight_ + std::max(MarkSize, metrics.height()) + 10;
    const double bottom = 2 * metrics.height() + 10; // the date and, where it changes, the year
    return QRectF(left, top, std::max(1.0, width() - left - 14),
                  std::max(1.0, height() - top - bottom));
}

void ProgressChart::rebuild() {
    bars_.clear();
    axisLabels_.clear();
    hovered_ = -1;
    const QFontMetrics metrics(font());
    labelWidth_ = metrics.horizontalAdvance(QStringLiteral("0000"));
    axisFirst_ = from_;
    axisEnd_ = to_.addDays(1);
    if (!totals_ || !from_.isValid() || !to_.isValid()) {
        layOutLegend();
        return;
    }
    // The value labels' width decides the plot's, which may decide the period: twice at most.
    for (int pass = 0; pass < 2; ++pass) {
        const progress::Period period =
            progress::periodFor(from_, to_, static_cast<int>(plotArea().width()), MinBarWidth);
        if (pass > 0 && period == period_)
            break;
        period_ = period;
        bars_ = progress::bars(*totals_, from_, to_, period_, today_);
        axisFirst_ = progress::periodStart(from_, period_);
        axisEnd_ = progress::periodEnd(to_, period_).addDays(1);
        // The scale is the range's own bars': an average carried in from before the range, or
        // one bar far above the others, would flatten the rest.
        std::vector<double> totals;
        for (const progress::Bar& bar : bars_)
            totals.push_back(bar.total);
        cutAbove_ = progress::outlierAbove(totals);
        double highest = 0;
        double targets = 0;
        for (const progress::Bar& bar : bars_) {
            if (bar.total <= cutAbove_)
                highest = std::max(highest, bar.total);
            if (bar.sets > 0)
                targets = std::max(targets, bar.target);
        }
        if (highest <= 0 || targets <= highest * TargetReach)
            highest = std::max(highest, targets);
        step_ = niceStep(highest / 5);
        top_ = std::max(step_, std::ceil(highest / step_) * step_);
        if (top_ <= highest)
            top_ += step_;          // room above the highest bar
        if (!std::isfinite(top_)) { // counts near the largest number there is
            top_ = std::numeric_limits<double>::max();
            step_ = top_ / 4;
        }
        labelWidth_ = std::max(metrics.horizontalAdvance(QStringLiteral("0000")),
                               metrics.horizontalAdvance(progress::amount(top_)));
    }
    layOutLegend();
    chooseAxisLabels();
}

QString ProgressChart::barMeaning() const {
    return period_ == progress::Period::Day ? QStringLiteral("1日の合計")
                                            : periodNoun(period_) + QStringLiteral("の合計");
}

QString ProgressChart::averageName() const {
    switch (period_) {
    case progress::Period::Day:
        return QStringLiteral("7日平均");
    case progress::Period::Week:
        return QStringLiteral("4週平均");
    case progress::Period::Month:
        return QStringLiteral("3か月平均");
    case progress::Period::Year:
        return QStringLiteral("3年平均");
    }
    return {};
}

QString ProgressChart::averageMeaning() const {
    // What the line leaves out: the days before the first one trained, and the period not over.
    const QString upTo = period_ == progress::Period::Day     ? QStringLiteral("きのう")
                         : period_ == progress::Period::Week  ? QStringLiteral("先週")
                         : period_ == progress::Period::Month ? QStringLiteral("先月")
                                                              : QStringLiteral("去年");
    return QStringLiteral("%1（練習を始めた日から%2まで）").arg(averageName(), upTo);
}

bool ProgressChart::cut(const progress::Bar& bar) const {
    return bar.total > top_;
}

void ProgressChart::layOutLegend() {
    legend_.clear();
    // What the chart shows, and only that.
    const auto any = [this](auto test) { return std::any_of(bars_.begin(), bars_.end(), test); };
    const auto marked = [this, any](TargetMark mark) {
        return any([this, mark](const progress::Bar& bar) { return targetMark(bar) == mark; });
    };
    legend_.push_back({LegendItem::Bar, barMeaning() + QStringLiteral("（回）")});
    if (marked(TargetMark::Tick))
        legend_.push_back({LegendItem::Target, QStringLiteral("目標（指示数×セット数）")});
    if (any([](const progress::Bar& bar) { return bar.average.has_value(); }))
        legend_.push_back({LegendItem::Average, averageMeaning()});
    if (any([](const progress::Bar& bar) { return bar.partial && bar.daysTrained > 0; }))
        legend_.push_back(
            {LegendItem::Partial, QStringLiteral("一部の日だけの") + periodNoun(period_)});
    if (any([this](const progress::Bar& bar) { return bar.average.value_or(0) > top_; }))
        legend_.push_back({LegendItem::Note, QStringLiteral("▲ 目盛りより上の平均（オレンジ）")});
    if (marked(TargetMark::Above))
        legend_.push_back({LegendItem::Note, QStringLiteral("▲ 目盛りより上の目標")});
    if (any([this](const progress::Bar& bar) { return cut(bar); }))
        legend_.push_back(
            {LegendItem::Note, QStringLiteral("▲ 目盛りに収まらない棒（数字は合計）")});
    if (marked(TargetMark::TooSmall))
        legend_.push_back(
            {LegendItem::Note, marked(TargetMark::Tick)
                                   ? QStringLiteral("一部の目標は小さすぎて描けません")
                                   : QStringLiteral("目標は目盛りに比べて小さすぎて描けません")});
    if (any([](const progress::Bar& bar) { return bar.total < 0; }))
        legend_.push_back({LegendItem::Note, QStringLiteral("▼ マイナスの回数")});

    // Left to right, on as many lines as the width needs.
    const QFontMetricsF metrics(font());
    const double lineHeight = metrics.height() + 2;
    double x = 8;
    double y = 4;
    for (LegendItem& item : legend_) {
        const double mark = item.kind == LegendItem::Note ? 0 : 20;
        const double itemWidth = mark + metrics.horizontalAdvance(item.text);
        if (x > 8 && x + itemWidth > width() - 8) {
            x = 8;
            y += lineHeight;
        }
        item.at = QPointF(x, y);
        x += itemWidth + 16;
    }
    legendHeight_ = y + lineHeight;
}

void ProgressChart::chooseAxisLabels() {
    axisLabels_.clear();
    if (bars_.empty())
        return;
    const QFontMetricsF metrics(font());
    const double slotWidth = plotArea().width() / static_cast<double>(bars_.size());
    const double yearWidth = metrics.horizontalAdvance(QStringLiteral("2026年"));
    const auto text = [this](const progress::Bar& bar) {
        switch (period_) {
        case progress::Period::Year:
            return QString::number(bar.first.year());
        case progress::Period::Month:
            return QStringLiteral("%1月").arg(bar.first.month());
        default:
            return QStringLiteral("%1/%2").arg(bar.first.month()).arg(bar.first.day());
        }
    };
    const double labelWidth = std::max(metrics.horizontalAdvance(period_ == progress::Period::Month
                                                                     ? QStringLiteral("12月")
                                                                     : QStringLiteral("12/31")),
                                       yearWidth) +
                              10;
    int every = std::max(1, static_cast<int>(std::ceil(labelWidth / slotWidth)));
    if (period_ == progress::Period::Month) { // a step that lands on every January
        constexpr int Steps[] = {1, 2, 3, 4, 6, 12};
        every = *std::find_if(std::begin(Steps), std::end(Steps),
                              [every](int step) { return step >= std::min(every, 12); });
    }
    int lastYear = 0;
    for (size_t i = 0; i < bars_.size(); ++i) {
        const progress::Bar& bar = bars_[i];
        const bool drawn = period_ == progress::Period::Month ? (bar.first.month() - 1) % every == 0
                                                              : i % static_cast<size_t>(every) == 0;
        if (!drawn)
            continue;
        QString year;
        if (period_ != progress::Period::Year && bar.first.year() != lastYear)
            year = QStringLiteral("%1年").arg(bar.first.year());
        lastYear = bar.first.year();
        axisLabels_.push_back({i, text(bar), year});
    }
}

QStringList ProgressChart::axisLabels() const {
    QStringList labels;
    for (const AxisLabel& label : axisLabels_)
        labels.append(label.year.isEmpty() ? label.text : label.text + u'\n' + label.year);
    return labels;
}

double ProgressChart::yOf(double value) const {
    const QRectF plot = plotArea();
    return plot.bottom() - std::clamp(value / top_, 0.0, 1.0) * plot.height();
}

// The date axis: each day has its share of the width, so a month's bar is as wide as its
// days; it runs over whole periods, so that a week the range cuts stands as wide as the others
// (hatched, as it holds only some of its days).
double ProgressChart::xOf(QDate day) const {
    const QRectF plot = plotArea();
    const double days = static_cast<double>(axisFirst_.daysTo(axisEnd_));
    return plot.left() + static_cast<double>(axisFirst_.daysTo(day)) / days * plot.width();
}

QRectF ProgressChart::slot(size_t index) const {
    const progress::Bar& bar = bars_[index];
    const double left = xOf(progress::periodStart(bar.first, period_));
    const double right = xOf(progress::periodEnd(bar.last, period_).addDays(1));
    const QRectF plot = plotArea();
    return QRectF(left, plot.top(), right - left, plot.height());
}

std::vector<QRectF> ProgressChart::barRects() const {
    std::vector<QRectF> rects;
    rects.reserve(bars_.size());
    const double bottom = plotArea().bottom();
    for (size_t i = 0; i < bars_.size(); ++i) {
        const QRectF place = slot(i);
        const double gap = place.width() >= 6 ? place.width() * 0.2 : 0;
        const double width = std::min(place.width() - gap, MaxBarWidth);
        // A day of a few sets on a scale of millions still shows.
        const double top =
            bars_[i].total > 0 ? std::min(yOf(bars_[i].total), bottom - 2) : yOf(bars_[i].total);
        rects.emplace_back(place.center().x() - width / 2, top, width, bottom - top);
    }
    return rects;
}

int ProgressChart::barAt(QPointF point) const {
    if (bars_.empty() || !plotArea().contains(point))
        return -1;
    for (size_t i = 0; i < bars_.size(); ++i)
        if (point.x() < slot(i).right())
            return static_cast<int>(i);
    return -1;
}

QString ProgressChart::describe(int index) const {
    if (index < 0 || index >= static_cast<int>(bars_.size()))
        return {};
    const progress::Bar& bar = bars_[static_cast<size_t>(index)];
    QString sets;
    if (bar.sets > 0) {
        sets = QStringLiteral("%1セット・最高 %2・目標 %3")
                   .arg(progress::amount(bar.sets), times(bar.best), times(bar.target));
    }
    if (period_ == progress::Period::Day) {
        if (bar.sets == 0)
            return QStringLiteral("%1　記録なし").arg(longDate(bar.first));
        return QStringLiteral("%1　%2（%3）").arg(longDate(bar.first), times(bar.total), sets);
    }
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
    if (bar.partial)
        span += QStringLiteral("（%1日分）").arg(bar.first.daysTo(bar.last) + 1);
    QString text = QStringLiteral("%1　合計 %2").arg(span, times(bar.total));
    if (bar.sets > 0)
        text += QStringLiteral("（練習 %1日・%2）").arg(progress::amount(bar.daysTrained), sets);
    if (bar.average)
        text += QStringLiteral("　%1 %2").arg(averageName(), times(*bar.average));
    return text;
}

ProgressChart::TargetMark ProgressChart::targetMark(const progress::Bar& bar) const {
    if (bar.sets == 0 || bar.target <= 0)
        return TargetMark::None;
    if (bar.target > top_)
        return TargetMark::Above;
    // A tick within a pixel or two of the floor would read as a target of nothing.
    if (bar.target / top_ * plotArea().height() < 2)
        return TargetMark::TooSmall;
    return TargetMark::Tick;
}

// A bar above the scale: cut by a gap near the top, its total above it.
void ProgressChart::drawCut(QPainter& painter, const QRectF& rect, double total,
                            const QColor& colour) const {
    const double y = rect.top() + 6;
    painter.fillRect(QRectF(rect.left(), y, rect.width(), 3), palette().color(QPalette::Base));
    const QFontMetricsF metrics(font());
    const QString said = QStringLiteral("▲") + progress::amount(total);
    const double half = metrics.horizontalAdvance(said) / 2 + 1;
    const double x = std::clamp(rect.center().x(), half, width() - half);
    painter.setPen(colour);
    painter.drawText(
        QRectF(x - half, rect.top() - metrics.height() - 2, 2 * half, metrics.height()),
        Qt::AlignCenter, said);
}

bool ProgressChart::anyTrained() const {
    return std::any_of(bars_.begin(), bars_.end(),
                       [](const progress::Bar& bar) { return bar.sets > 0; });
}

void ProgressChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    const QRectF plot = plotArea();
    const QFontMetricsF metrics(font());
    const QColor text = palette().color(QPalette::Text);
    const bool trained = message_.isEmpty() && anyTrained();

    // Grid lines with their values; with nothing to measure, the floor alone.
    const int lines = trained ? static_cast<int>(std::min(20.0, std::round(top_ / step_))) : 0;
    for (int line = 0; line <= lines; ++line) {
        const double value = line * step_;
        const double y = std::round(yOf(value)) + 0.5;
        painter.setPen(QPen(line == 0 ? text : GridColor, 1));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(text);
        painter.drawText(QRectF(0, y - metrics.height() / 2, plot.left() - 6, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, progress::amount(value));
    }

    // The date axis: each label under its bar, the year below it where it changes.
    painter.setPen(text);
    for (const AxisLabel& label : axisLabels_) {
        const double centre = slot(label.bar).center().x();
        const double half =
            std::max(metrics.horizontalAdvance(label.text), metrics.horizontalAdvance(label.year)) /
                2 +
            2;
        const double x = std::clamp(centre, half, width() - half);
        const double y = plot.bottom() + 4;
        painter.drawText(QRectF(x - half, y, 2 * half, metrics.height()), Qt::AlignCenter,
                         label.text);
        if (!label.year.isEmpty())
            painter.drawText(QRectF(x - half, y + metrics.height(), 2 * half, metrics.height()),
                             Qt::AlignCenter, label.year);
    }

    if (!trained) {
        // Said in the middle of the empty plot, where no line runs.
        const QString said =
            message_.isEmpty() ? QStringLiteral("この期間の記録はありません") : message_;
        painter.setPen(text);
        painter.drawText(plot.adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, said);
    } else {
        // Bars; a bar the range cuts is hatched, a negative total marked at the floor.
        const std::vector<QRectF> rects = barRects();
        for (size_t i = 0; i < rects.size(); ++i) {
            const progress::Bar& bar = bars_[i];
            const QColor colour = static_cast<int>(i) == hovered_ ? HoveredBarColor : BarColor;
            if (bar.partial) {
                painter.fillRect(rects[i], PartialFill);
                painter.fillRect(rects[i], QBrush(colour, Qt::BDiagPattern));
            } else {
                painter.fillRect(rects[i], colour);
            }
            if (bar.total < 0)
                drawMark(painter, QPointF(rects[i].center().x(), plot.bottom() - 1), false, colour);
            else if (cut(bar))
                drawCut(painter, rects[i], bar.total, colour);
        }

        painter.setRenderHint(QPainter::Antialiasing);
        // The target of each bar's sets, as a tick across it; above the scale, a mark.
        for (size_t i = 0; i < rects.size(); ++i) {
            const progress::Bar& bar = bars_[i];
            const TargetMark mark = targetMark(bar);
            const double centre = rects[i].center().x();
            if (mark == TargetMark::Above)
                drawMark(painter, QPointF(centre, plot.top() - MarkSize - 2), true, TargetColor);
            if (mark != TargetMark::Tick)
                continue;
            const double half = std::min(rects[i].width() / 2 + 2, slot(i).width() / 2);
            const double y = yOf(bar.target);
            painter.setPen(QPen(TargetColor, 2, Qt::SolidLine, Qt::FlatCap));
            painter.drawLine(QPointF(centre - half, y), QPointF(centre + half, y));
        }

        // The average, through the middle of each bar that has one.
        painter.setPen(QPen(AverageColor, 2));
        QPainterPath line;
        bool joined = false;
        const bool dots = bars_.size() <= 40;
        for (size_t i = 0; i < rects.size(); ++i) {
            if (!bars_[i].average) {
                joined = false;
                continue;
            }
            // Above the scale (one huge set in its days): a mark at the top, not a line along it
            // that would read as a value.
            if (*bars_[i].average > top_) {
                drawMark(painter, QPointF(rects[i].center().x(), plot.top()), true, AverageColor);
                joined = false;
                continue;
            }
            const QPointF point(rects[i].center().x(), yOf(*bars_[i].average));
            joined ? line.lineTo(point) : line.moveTo(point);
            const bool alone = !joined && (i + 1 == rects.size() || !bars_[i + 1].average);
            if (dots || alone) {
                painter.setBrush(AverageColor);
                painter.drawEllipse(point, 2.5, 2.5);
                painter.setBrush(Qt::NoBrush);
            }
            joined = true;
        }
        painter.setPen(QPen(AverageColor, 2));
        painter.drawPath(line);
    }

    // The legend above the plot.
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const LegendItem& item : legend_) {
        const double middle = item.at.y() + metrics.height() / 2;
        const double x = item.at.x();
        switch (item.kind) {
        case LegendItem::Bar:
            painter.fillRect(QRectF(x + 2, middle - 5, 12, 10), BarColor);
            break;
        case LegendItem::Partial:
            painter.fillRect(QRectF(x + 2, middle - 5, 12, 10), PartialFill);
            painter.fillRect(QRectF(x + 2, middle - 5, 12, 10), QBrush(BarColor, Qt::BDiagPattern));
            break;
        case LegendItem::Target:
            painter.setPen(QPen(TargetColor, 2, Qt::SolidLine, Qt::FlatCap));
            painter.drawLine(QPointF(x, middle), QPointF(x + 16, middle));
            break;
        case LegendItem::Average:
            painter.setPen(QPen(AverageColor, 2));
            painter.drawLine(QPointF(x, middle), QPointF(x + 16, middle));
            break;
        case LegendItem::Note:
            break;
        }
        painter.setPen(text);
        const double textX = x + (item.kind == LegendItem::Note ? 0 : 20);
        painter.drawText(QPointF(textX, item.at.y() + metrics.ascent()), item.text);
    }
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

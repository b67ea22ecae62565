#include "progress/progress_calendar.h"

#include "widgets/geometry.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QPointer>
#include <algorithm>
#include <cmath>

const QColor ProgressCalendar::Shades[5] = {{0xe8, 0xea, 0xee},
                                            {0xc6, 0xd8, 0xec},
                                            {0x8f, 0xb3, 0xd9},
                                            {0x55, 0x88, 0xc0},
                                            {0x2a, 0x58, 0x8c}};

namespace {

const QColor FocusColor(0x20, 0x20, 0x20);
// The day under the pointer: only shown, not chosen, so it looks unlike the chosen day.
const QColor HoverColor(0x80, 0x80, 0x80);

QString shortDate(QDate date) {
    return QLocale(QLocale::Japanese, QLocale::Japan)
        .toString(date, QStringLiteral("M月d日（ddd）"));
}

// The chosen day as a screen reader meets it: the calendar's one item, with a short name of
// its own, so that an arrow key says the day and not the whole calendar again.
class DayAccessible : public QAccessibleInterface {
public:
    explicit DayAccessible(ProgressCalendar* calendar) : calendar_(calendar) {}
    bool isValid() const override { return calendar_; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        return calendar_ ? calendar_->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(calendar_.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text kind) const override {
        if (!calendar_)
            return {};
        if (kind == QAccessible::Name)
            return calendar_->shortName(calendar_->focusDay());
        if (kind == QAccessible::Description)
            return calendar_->describe(calendar_->focusDay());
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!calendar_)
            return {};
        const QRect day = calendar_->dayRect(calendar_->focusDay()).toAlignedRect();
        return QRect(calendar_->mapToGlobal(day.topLeft()), day.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.focusable = true;
        state.selectable = true;
        state.selected = true;
        state.focused = calendar_ && calendar_->hasFocus();
        state.invisible = !calendar_ || !calendar_->isVisible();
        return state;
    }

private:
    QPointer<ProgressCalendar> calendar_;
};

class CalendarAccessible : public QAccessibleWidget {
public:
    explicit CalendarAccessible(ProgressCalendar* calendar)
        : QAccessibleWidget(calendar, QAccessible::List), day_(new DayAccessible(calendar)),
          dayId_(QAccessible::registerAccessibleInterface(day_)) {}
    ~CalendarAccessible() override { QAccessible::deleteAccessibleInterface(dayId_); }
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override { return index == 0 ? day_ : nullptr; }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child == day_ ? 0 : -1;
    }
    QAccessibleInterface* focusChild() const override {
        return widget()->hasFocus() ? day_ : nullptr;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        return day_->rect().contains(x, y) ? day_ : nullptr;
    }

private:
    DayAccessible* day_; // the cache owns it, by its id
    QAccessible::Id dayId_;
};

QAccessibleInterface* calendars(const QString& className, QObject* object) {
    if (className == QLatin1String(ProgressCalendar::staticMetaObject.className()))
        return new CalendarAccessible(static_cast<ProgressCalendar*>(object));
    return nullptr;
}

QString longDate(QDate date) {
    return QLocale(QLocale::Japanese, QLocale::Japan)
        .toString(date, QStringLiteral("yyyy年M月d日（ddd）"));
}

QString times(double value) {
    return progress::amount(value) + u'回';
}

QDate mondayOf(QDate date) {
    return progress::periodStart(date, progress::Period::Week);
}

} // namespace

ProgressCalendar::ProgressCalendar(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setFont(gothicFont(9));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    static const bool installed = (QAccessible::installFactory(calendars), true);
    Q_UNUSED(installed);
}

void ProgressCalendar::setData(const progress::DailyTotals* totals, QDate today) {
    totals_ = totals;
    today_ = today;
    const std::vector<progress::Day>& days = totals->days;
    latest_ = days.empty() ? today : std::max(today, days.back().date);
    earliest_ = mondayOf(today).addDays(-7 * (Weeks - 1));
    if (!days.empty())
        earliest_ = std::min(earliest_, days.front().date);
    if (!lastMonday_.isValid())
        lastMonday_ = mondayOf(today);
    hovered_ = QDate();
    measureShown();
    setFocusDay(focus_.isValid() ? focus_ : today);
}

QDate ProgressCalendar::firstShown() const {
    return lastMonday_.addDays(-7 * (Weeks - 1));
}

QDate ProgressCalendar::lastShown() const {
    return std::min(lastMonday_.addDays(6), latest_);
}

void ProgressCalendar::setFocusDay(QDate day) {
    if (!totals_)
        return;
    focus_ = std::clamp(day, earliest_, latest_);
    // Bring the focus into view, a week at a time.
    const QDate monday = mondayOf(focus_);
    QDate last = lastMonday_;
    if (monday > last)
        last = monday;
    else if (monday < last.addDays(-7 * (Weeks - 1)))
        last = monday.addDays(7 * (Weeks - 1));
    if (last != lastMonday_) {
        lastMonday_ = last;
        measureShown();
        emit shownChanged();
    }
    said();
    update();
}

void ProgressCalendar::said() {
    const QString shown =
        QStringLiteral("%1から%2までの練習カレンダー。練習 %3日、合計 %4、最高の日 %5。")
            .arg(longDate(firstShown()), longDate(lastShown()), progress::amount(daysShown_),
                 times(totalShown_), times(best_));
    if (accessibleDescription() != shown) // the weeks shown changed: said once, not at every key
        setAccessibleDescription(shown);
    // The chosen day, as the calendar's item: said at once when the calendar has the focus.
    QAccessibleEvent renamed(this, QAccessible::NameChanged);
    renamed.setChild(0);
    QAccessible::updateAccessibility(&renamed);
    if (hasFocus()) {
        QAccessibleEvent focused(this, QAccessible::Focus);
        focused.setChild(0);
        QAccessible::updateAccessibility(&focused);
    }
    emit pointed(describe(focus_));
}

QString ProgressCalendar::shortName(QDate date) const {
    if (!date.isValid())
        return {};
    const progress::Day* day = dayOf(date);
    if (!day)
        return shortDate(date) + QStringLiteral("記録なし");
    return QStringLiteral("%1%2 %3セット")
        .arg(shortDate(date), times(day->total), progress::amount(day->sets));
}

const progress::Day* ProgressCalendar::dayOf(QDate date) const {
    if (!totals_)
        return nullptr;
    const auto& days = totals_->days;
    const auto it =
        std::lower_bound(days.begin(), days.end(), date,
                         [](const progress::Day& day, QDate d) { return day.date < d; });
    return it != days.end() && it->date == date ? &*it : nullptr;
}

double ProgressCalendar::weekTotal(QDate monday) const {
    return totals_ ? progress::totalBetween(*totals_, monday, monday.addDays(6)) : 0;
}

void ProgressCalendar::measureShown() {
    levels_ = {0, 0, 0};
    best_ = 0;
    bestWeek_ = 0;
    totalShown_ = 0;
    daysShown_ = 0;
    if (!totals_)
        return;
    std::vector<double> totals;
    for (QDate day = firstShown(); day <= lastShown(); day = day.addDays(1)) {
        if (const progress::Day* trained = dayOf(day)) {
            best_ = std::max(best_, trained->total);
            totalShown_ += trained->total;
            ++daysShown_;
            totals.push_back(trained->total);
        }
    }
    levels_ = progress::shadeLevels(totals);
    // What each shade holds, as the legend says it.
    shadeRanges_.fill({});
    for (QDate day = firstShown(); day <= lastShown(); day = day.addDays(1)) {
        if (const progress::Day* trained = dayOf(day)) {
            auto& [low, high] = shadeRanges_[static_cast<size_t>(shadeOf(day) - 1)];
            low = low ? std::min(*low, trained->total) : trained->total;
            high = high ? std::max(*high, trained->total) : trained->total;
        }
    }
    // The weeks' scale, as the chart's: a week far above the others stands cut at the top.
    std::vector<double> weeks;
    for (int week = 0; week < Weeks; ++week)
        weeks.push_back(weekTotal(firstShown().addDays(7 * week)));
    const double cut = progress::outlierAbove(weeks);
    for (const double week : weeks)
        if (week <= cut)
            bestWeek_ = std::max(bestWeek_, week);
}

int ProgressCalendar::shadeOf(QDate date) const {
    const progress::Day* day = dayOf(date);
    return day ? progress::shadeFor(day->total, levels_) : 0;
}

QString ProgressCalendar::shadeRange(int shade) const {
    const auto& [low, high] = shadeRanges_[static_cast<size_t>(std::clamp(shade, 1, 4) - 1)];
    if (!low)
        return {};
    if (*low == *high)
        return times(*low);
    return QStringLiteral("%1～%2").arg(progress::amount(*low), times(*high));
}

QString ProgressCalendar::describe(QDate date) const {
    if (!date.isValid())
        return {};
    QString text = longDate(date);
    if (const progress::Day* day = dayOf(date))
        text += QStringLiteral("　%1（%2セット・最高 %3・目標達成 %4/%2セット）")
                    .arg(times(day->total), progress::amount(day->sets), times(day->best),
                         progress::amount(day->setsAtTarget));
    else
        text += QStringLiteral("　記録なし");
    return text + QStringLiteral("　この週 %1").arg(times(weekTotal(mondayOf(date))));
}

ProgressCalendar::Geometry ProgressCalendar::geometry() const {
    const QFontMetricsF metrics(font());
    const double line = metrics.height();
    Geometry g{};
    g.left = 8 +
             std::max(metrics.horizontalAdvance(QStringLiteral("月")),
                      metrics.horizontalAdvance(QStringLiteral("週計"))) +
             6;
    g.cell = std::clamp(std::floor((width() - g.left - 8) / Weeks), 6.0, 22.0);
    const double stripHeight = std::max(24.0, 4 * g.cell);
    const double height = 3 * line + 8 + 7 * g.cell + 8 + stripHeight + 10 + line;
    const double top = std::max(8.0, (this->height() - height) / 2);
    g.left += std::max(0.0, (width() - g.left - 8 - Weeks * g.cell) / 2);
    g.top = top + 3 * line + 8;
    g.stripTop = g.top + 7 * g.cell + 8;
    g.stripHeight = stripHeight;
    g.legendTop = g.stripTop + stripHeight + 10;
    return g;
}

QRectF ProgressCalendar::dayRect(QDate day) const {
    const Geometry g = geometry();
    const qint64 column = firstShown().daysTo(mondayOf(day)) / 7;
    const int row = day.dayOfWeek() - 1;
    const double gap = std::max(1.0, std::round(g.cell / 7));
    return QRectF(g.left + static_cast<double>(column) * g.cell, g.top + row * g.cell, g.cell - gap,
                  g.cell - gap);
}

QDate ProgressCalendar::dayAt(QPointF point) const {
    const Geometry g = geometry();
    const double column = std::floor((point.x() - g.left) / g.cell);
    const double row = std::floor((point.y() - g.top) / g.cell);
    if (column < 0 || column >= Weeks || row < 0 || row >= 7)
        return {};
    const QDate day =
        firstShown().addDays(static_cast<qint64>(column) * 7 + static_cast<qint64>(row));
    return day <= lastShown() ? day : QDate();
}

void ProgressCalendar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    if (!totals_)
        return;
    const Geometry g = geometry();
    const QFontMetricsF metrics(font());
    const QColor text = palette().color(QPalette::Text);
    const double line = metrics.height();

    // The days shown, above all.
    painter.setPen(text);
    painter.drawText(QPointF(g.left, g.top - 3 * line - 8 + metrics.ascent()),
                     QStringLiteral("%1～%2").arg(longDate(firstShown()), longDate(lastShown())));

    // The year at the column of its first day, and at the first column when there is room
    // before the next; the months likewise.
    QFont bold = font();
    bold.setBold(true);
    const QFontMetricsF boldMetrics(bold);
    double monthEnd = -1;
    for (int column = 0; column < Weeks; ++column) {
        const QDate monday = firstShown().addDays(7 * column);
        const QDate sunday = monday.addDays(6);
        const double x = g.left + column * g.cell;
        const QString year = QStringLiteral("%1年").arg(sunday.year());
        const bool turn = sunday.dayOfYear() <= 7;
        const int columnsToTurn = (sunday.daysTo(QDate(sunday.year() + 1, 1, 1)) + 6) / 7;
        if (turn ||
            (column == 0 && columnsToTurn * g.cell > boldMetrics.horizontalAdvance(year) + 4)) {
            painter.setFont(bold);
            painter.setPen(text);
            painter.drawText(QPointF(x, g.top - line - 4 - metrics.descent()), year);
            painter.setFont(font());
        }
        if (sunday.day() <= 7 || column == 0) {
            const QString month = QStringLiteral("%1月").arg(sunday.month());
            if (x >= monthEnd) {
                painter.setPen(text);
                painter.drawText(QPointF(x, g.top - 4 - metrics.descent()), month);
                monthEnd = x + metrics.horizontalAdvance(month) + 4;
            }
        }
    }
    painter.setPen(text);
    for (const auto& [row, name] : {std::pair{0, u"月"}, {2, u"水"}, {4, u"金"}})
        painter.drawText(QRectF(0, g.top + row * g.cell, g.left - 6, g.cell),
                         Qt::AlignRight | Qt::AlignVCenter, QString::fromUtf16(name));

    // The days.
    const QDate last = lastShown();
    for (QDate day = firstShown(); day <= last; day = day.addDays(1))
        painter.fillRect(dayRect(day), Shades[shadeOf(day)]);
    // A picture shows the days alone: a box would read as a day marked.
    if (!plain_ && hovered_.isValid() && hovered_ != focus_) {
        painter.setPen(QPen(HoverColor, 1, Qt::DotLine));
        painter.drawRect(dayRect(hovered_).adjusted(0.5, 0.5, -0.5, -0.5));
    }
    if (!plain_ && focus_ >= firstShown() && focus_ <= last) {
        painter.setPen(QPen(FocusColor, 2));
        painter.drawRect(dayRect(focus_).adjusted(1, 1, -1, -1));
    }

    // Each week's total under its column.
    painter.setPen(text);
    painter.drawText(QRectF(0, g.stripTop, g.left - 6, g.stripHeight),
                     Qt::AlignRight | Qt::AlignBottom, QStringLiteral("週計"));
    const double floor = g.stripTop + g.stripHeight;
    painter.fillRect(QRectF(g.left, floor, Weeks * g.cell, 1), Shades[0].darker(115));
    const QDate focusMonday = mondayOf(focus_);
    for (int column = 0; column < Weeks && bestWeek_ > 0; ++column) {
        const QDate monday = firstShown().addDays(7 * column);
        const double total = weekTotal(monday);
        if (total <= 0)
            continue;
        const double height = std::clamp(total / bestWeek_ * g.stripHeight, 1.0, g.stripHeight);
        const QRectF bar = dayRect(monday);
        painter.fillRect(QRectF(bar.left(), floor - height, bar.width(), height),
                         monday == focusMonday ? Shades[4] : Shades[2]);
        if (total > bestWeek_) // cut: a gap below its top
            painter.fillRect(QRectF(bar.left(), floor - height + 3, bar.width(), 2),
                             palette().color(QPalette::Base));
    }

    // What the shades mean.
    double x = g.left;
    const double baseline = g.legendTop + metrics.ascent();
    const auto words = [&](const QString& said) {
        painter.setPen(text);
        painter.drawText(QPointF(x, baseline), said);
        x += metrics.horizontalAdvance(said) + 4;
    };
    const auto swatch = [&](int shade) {
        const double size = std::min(g.cell, line) - 2;
        painter.fillRect(QRectF(x, g.legendTop + (line - size) / 2, size, size), Shades[shade]);
        x += size + 3;
    };
    swatch(0);
    words(QStringLiteral("記録なし"));
    for (int shade = 1; shade <= 4; ++shade) {
        const QString range = shadeRange(shade);
        if (range.isEmpty())
            continue;
        x += 8;
        swatch(shade);
        words(range);
    }
}

void ProgressCalendar::setPlain(bool plain) {
    plain_ = plain;
}

void ProgressCalendar::keyPressEvent(QKeyEvent* event) {
    if (!totals_ || event->modifiers() & ~Qt::KeypadModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Left:
        setFocusDay(focus_.addDays(-7));
        break;
    case Qt::Key_Right:
        setFocusDay(focus_.addDays(7));
        break;
    case Qt::Key_Up:
        setFocusDay(focus_.addDays(-1));
        break;
    case Qt::Key_Down:
        setFocusDay(focus_.addDays(1));
        break;
    case Qt::Key_Home:
        setFocusDay(firstShown());
        break;
    case Qt::Key_End:
        setFocusDay(lastShown());
        break;
    case Qt::Key_PageUp:
        setFocusDay(focus_.addYears(-1));
        break;
    case Qt::Key_PageDown:
        setFocusDay(focus_.addYears(1));
        break;
    default:
        QWidget::keyPressEvent(event); // the window's keys: the views, Escape
        return;
    }
}

void ProgressCalendar::mouseMoveEvent(QMouseEvent* event) {
    const QDate day = dayAt(event->position());
    if (day == hovered_)
        return;
    hovered_ = day;
    update();
    emit pointed(describe(day.isValid() ? day : focus_));
}

void ProgressCalendar::mousePressEvent(QMouseEvent* event) {
    const QDate day = dayAt(event->position());
    if (event->button() == Qt::LeftButton && day.isValid()) {
        setFocus(Qt::MouseFocusReason);
        setFocusDay(day);
    }
    QWidget::mousePressEvent(event);
}

void ProgressCalendar::leaveEvent(QEvent*) {
    if (!hovered_.isValid())
        return;
    hovered_ = QDate();
    update();
    emit pointed(describe(focus_));
}

void ProgressCalendar::focusInEvent(QFocusEvent*) {
    update();
}

void ProgressCalendar::focusOutEvent(QFocusEvent*) {
    update();
}

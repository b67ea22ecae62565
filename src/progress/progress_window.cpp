#include "progress/progress_window.h"

#include "progress/progress_chart.h"
#include "widgets/geometry.h"
#include "widgets/window_style.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

namespace {

struct RangeChoice {
    const char16_t* caption;
    const char16_t* key;
};
constexpr RangeChoice Ranges[] = {
    {u"30日", u"1"}, {u"90日", u"2"}, {u"1年", u"3"}, {u"全期間", u"4"}};

} // namespace

QString ProgressWindow::titleFor(const QString& itemName) {
    return QStringLiteral("%1 の記録 - %2").arg(itemName, ProgramTitle);
}

ProgressWindow::ProgressWindow(const DataDir& data, const QString& itemName, double target,
                               const QDate& today, const QDateTime& now)
    : target_(target), today_(today), chart_(new ProgressChart(this)), pointed_(new QLabel(this)),
      summary_(new QLabel(this)) {
    if (const Expected<DatedHistory> history = data.readDatedHistory(itemName, now))
        totals_ = progress::dailyTotals(*history);
    else
        readProblem_ = history.error();
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(titleFor(itemName));
    setWindowIcon(programIcon());
    setFont(gothicFont(10.5));

    auto* buttons = new QHBoxLayout;
    auto* group = new QButtonGroup(this);
    for (size_t i = 0; i < std::size(Ranges); ++i) {
        auto* button = new QPushButton(QString::fromUtf16(Ranges[i].caption), this);
        button->setCheckable(true);
        button->setObjectName(QStringLiteral("range%1").arg(i + 1));
        button->setToolTip(QStringLiteral("キー %1").arg(QString::fromUtf16(Ranges[i].key)));
        button->setFocusPolicy(Qt::NoFocus); // the keys are the window's
        group->addButton(button, static_cast<int>(i));
        buttons->addWidget(button);
        rangeButtons_[i] = button;
    }
    buttons->addStretch();
    connect(group, &QButtonGroup::idClicked, this, [this](int id) { setRange(Range(id)); });

    chart_->setAccessibleName(QStringLiteral("回数のグラフ（数字は下の行）"));
    pointed_->setAccessibleName(QStringLiteral("グラフで指している所"));
    pointed_->setObjectName(QStringLiteral("pointed"));
    summary_->setObjectName(QStringLiteral("summary"));
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pointed_->setMinimumHeight(pointed_->fontMetrics().height());
    connect(chart_, &ProgressChart::hovered, pointed_, &QLabel::setText);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(chart_, 1);
    layout->addWidget(pointed_);
    layout->addWidget(summary_);
    setFocusPolicy(Qt::StrongFocus);
    resize(720, 460);
    setRange(Range::Days30);
}

void ProgressWindow::setRange(Range range) {
    range_ = range;
    rangeButtons_[static_cast<size_t>(range)]->setChecked(true);
    showRange();
}

void ProgressWindow::showRange() {
    QDate from;
    switch (range_) {
    case Range::Days30:
        from = today_.addDays(-29);
        break;
    case Range::Days90:
        from = today_.addDays(-89);
        break;
    case Range::Year:
        from = today_.addYears(-1).addDays(1);
        break;
    case Range::All:
        from = totals_.days.empty() ? today_ : std::min(totals_.days.front().date, today_);
        break;
    }
    // The whole range also takes in records dated after today (a clock set back).
    const QDate last = totals_.days.empty() ? today_ : totals_.days.back().date;
    const QDate to = range_ == Range::All ? std::max(today_, last) : today_;
    chart_->setData(&totals_, from, to, target_);
    pointed_->clear();

    const progress::Summary summary = progress::summarize(totals_, from, to, today_);
    QString text = QStringLiteral("合計 %1回　練習 %2日")
                       .arg(ProgressChart::amount(summary.total))
                       .arg(summary.daysTrained);
    if (summary.bestDay.isValid())
        text += QStringLiteral("　最高 %1回（%2）")
                    .arg(ProgressChart::amount(summary.bestTotal),
                         summary.bestDay.toString(QStringLiteral("yyyy-MM-dd")));
    text += QStringLiteral("　連続 %1日").arg(summary.currentRun);
    if (totals_.undated > 0)
        text += QStringLiteral("　日付の読めない記録 %1件").arg(totals_.undated);
    summary_->setText(text);
}

QString ProgressWindow::summaryText() const {
    return summary_->text();
}

void ProgressWindow::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Escape) {
        close();
        return;
    }
    if (key >= Qt::Key_1 && key <= Qt::Key_4) {
        setRange(Range(key - Qt::Key_1));
        return;
    }
    if (key == Qt::Key_Left || key == Qt::Key_Right) {
        const int next = static_cast<int>(range_) + (key == Qt::Key_Right ? 1 : -1);
        setRange(Range(std::clamp(next, 0, 3)));
        return;
    }
    QWidget::keyPressEvent(event);
}

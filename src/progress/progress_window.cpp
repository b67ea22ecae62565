#include "progress/progress_window.h"

#include "base/clock.h"
#include "data/disk_watch.h"
#include "data/user_file.h"
#include "progress/progress_calendar.h"
#include "progress/progress_chart.h"
#include "widgets/accessibility.h"
#include "widgets/dialogs.h"
#include "widgets/geometry.h"
#include "widgets/window_style.h"

#include <QAction>
#include <QBuffer>
#include <QButtonGroup>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

namespace {

struct RangeChoice {
    const char16_t* caption;
    const char16_t* key;
};
constexpr RangeChoice Ranges[] = {
    {u"30日", u"1"}, {u"90日", u"2"}, {u"1年", u"3"}, {u"全期間", u"4"}, {u"カレンダー", u"5"}};

QString times(double value) {
    return progress::amount(value) + u'回';
}

QString dateText(QDate date) {
    return date.toString(QStringLiteral("yyyy年M月d日"));
}

QString caption(ProgressWindow::Range range) {
    return QString::fromUtf16(Ranges[static_cast<size_t>(range)].caption);
}

// Words for a line or two of `width` pixels, broken between their parts (the wide spaces
// between them), so that no figure is parted from its 回; what two lines cannot hold ends in
// an ellipsis rather than being cut unseen.
QString fitted(const QString& text, const QFontMetrics& metrics, int width) {
    if (width <= 0) // not laid out yet
        return text;
    const QString space = QStringLiteral("　");
    QStringList lines;
    for (const QString& part : text.split(space)) {
        if (!lines.isEmpty() &&
            (lines.size() == 2 || metrics.horizontalAdvance(lines.back() + space + part) <= width))
            lines.back() += space + part;
        else
            lines.append(part);
    }
    // One part wider than a line (a long folder name) goes on where the line ends.
    if (lines.size() == 1 && metrics.horizontalAdvance(lines[0]) > width) {
        qsizetype fits = lines[0].size();
        while (fits > 1 && metrics.horizontalAdvance(lines[0].left(fits)) > width)
            --fits;
        lines = QStringList{lines[0].left(fits), lines[0].mid(fits)};
    }
    for (QString& line : lines)
        line = metrics.elidedText(line, Qt::ElideRight, width);
    return lines.join(u'\n');
}

} // namespace

QString ProgressWindow::titleFor(const QString& itemName) {
    return QStringLiteral("%1 の記録 - %2").arg(itemName, ProgramTitle);
}

ProgressWindow::ProgressWindow(const DataDir& data, DiskWatch& watch, const QString& itemName,
                               double target, const Clock& clock, Dialogs& dialogs, Report report)
    : data_(data), itemName_(itemName), fileName_(historyFileName(itemName)), target_(target),
      clock_(clock), dialogs_(dialogs), report_(std::move(report)),
      views_(new QStackedWidget(this)), chart_(new ProgressChart), calendar_(new ProgressCalendar),
      notice_(new QLabel(this)), pointed_(new QLabel(this)), summary_(new QLabel(this)) {
    // Followed before it is read, so that no change between the two goes unseen.
    watch.follow(this, itemName_);
    load();
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(titleFor(itemName));
    setWindowIcon(programIcon());
    setFont(gothicFont(10.5));

    // The range buttons in a group of their own, read as buttons that stay pressed.
    auto* rangeBox = new QWidget(this);
    rangeBox->setObjectName(QStringLiteral("ranges"));
    auto* buttons = new QHBoxLayout(rangeBox);
    buttons->setContentsMargins(0, 0, 0, 0);
    auto* group = new QButtonGroup(this);
    for (size_t i = 0; i < std::size(Ranges); ++i) {
        auto* button = new QPushButton(QString::fromUtf16(Ranges[i].caption), rangeBox);
        button->setCheckable(true);
        button->setObjectName(QStringLiteral("range%1").arg(i + 1));
        const QString key = QStringLiteral("キー %1").arg(QString::fromUtf16(Ranges[i].key));
        button->setToolTip(key);
        nameWidget(button, QAccessible::PushButton, button->text());
        button->setAccessibleDescription(key);
        button->setFocusPolicy(Qt::NoFocus); // the keys are the window's
        group->addButton(button, static_cast<int>(i));
        buttons->addWidget(button);
        if (i + 1 == std::size(Ranges) - 1)
            buttons->addSpacing(12); // the calendar is a view of its own
        rangeButtons_[i] = button;
    }
    buttons->addStretch();
    nameWidget(rangeBox, QAccessible::Grouping, QStringLiteral("表示する期間"));
    connect(group, &QButtonGroup::idClicked, this, [this](int id) { setRange(Range(id)); });

    views_->setAccessibleName(QStringLiteral("グラフとカレンダー"));
    views_->addWidget(chart_);
    views_->addWidget(calendar_);
    chart_->setObjectName(QStringLiteral("chart"));
    nameWidget(chart_, QAccessible::Chart, QStringLiteral("グラフ"));
    calendar_->setObjectName(QStringLiteral("calendar"));
    calendar_->setAccessibleName(QStringLiteral("練習カレンダー"));
    notice_->setObjectName(QStringLiteral("notice"));
    nameNews(notice_, QStringLiteral("お知らせ"), true);
    notice_->setWordWrap(true);
    QPalette warning = notice_->palette();
    warning.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x00));
    notice_->setPalette(warning);
    pointed_->setObjectName(QStringLiteral("pointed"));
    nameNews(pointed_, QStringLiteral("指した日の記録"));
    // Two lines kept free, so that the chart does not move as the pointer does; long words
    // go on the second line rather than widen the window.
    pointed_->setFixedHeight(2 * pointed_->fontMetrics().lineSpacing() + 2);
    pointed_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pointed_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    summary_->setObjectName(QStringLiteral("summary"));
    nameNews(summary_, QStringLiteral("まとめ"));
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    summary_->setWordWrap(true);
    summary_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    connect(chart_, &ProgressChart::hovered, this, &ProgressWindow::setPointed);
    connect(calendar_, &ProgressCalendar::pointed, this, &ProgressWindow::setPointed);
    connect(calendar_, &ProgressCalendar::shownChanged, this,
            [this] { showSummary(calendar_->firstShown(), calendar_->lastShown()); });

    // Save and copy, by key anywhere in the window and from the views' context menus.
    auto* save = new QAction(QStringLiteral("画像として保存…"), this);
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(save, &QAction::triggered, this, &ProgressWindow::savePicture);
    auto* copy = new QAction(QStringLiteral("画像をコピー"), this);
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    connect(copy, &QAction::triggered, this, &ProgressWindow::copyPicture);
    addActions({save, copy});
    for (QWidget* view : {static_cast<QWidget*>(chart_), static_cast<QWidget*>(calendar_)}) {
        view->setContextMenuPolicy(Qt::ActionsContextMenu);
        view->addActions({save, copy});
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(rangeBox);
    layout->addWidget(notice_);
    layout->addWidget(views_, 1);
    layout->addWidget(pointed_);
    layout->addWidget(summary_);
    setFocusPolicy(Qt::StrongFocus);
    resize(720, 480);
    setRange(Range::Days30);

    // The one watch of the program rather than a word from the other windows: it also sees
    // what no window of this program does (a sync tool bringing another computer's records,
    // an edit by hand).
    connect(&watch, &DiskWatch::historyChanged, this, [this](const QString& name) {
        if (name == itemName_)
            reload();
    });
    connect(&watch, &DiskWatch::dayTurned, this, &ProgressWindow::reload);
}

void ProgressWindow::load() {
    const QDateTime now = clock_.now();
    today_ = now.date();
    if (Expected<DatedHistory> history = data_.readDatedHistory(itemName_, now)) {
        readProblem_.reset();
        exists_ = !history->file().missing();
        totals_ = progress::dailyTotals(*history, target_);
    } else {
        readProblem_ = history.error();
        exists_ = true; // there, but unreadable
        totals_ = {};
    }
    seen_ = seen_ || exists_;
}

void ProgressWindow::reload() {
    load();
    showRange();
}

QString ProgressWindow::noticeText() const {
    if (readProblem_)
        return QStringLiteral("履歴ファイル「%1」を読み込めませんでした。理由：%2")
            .arg(fileName_, readProblem_->reason);
    if (!exists_ && seen_)
        return QStringLiteral(
                   "履歴ファイル「%1」がなくなりました（項目の削除やファイルの移動など）。")
            .arg(fileName_);
    return {};
}

void ProgressWindow::setRange(Range range) {
    range_ = range;
    rangeButtons_[static_cast<size_t>(range)]->setChecked(true);
    showRange();
    if (range == Range::Calendar)
        calendar_->setFocus();
    else
        setFocus();
}

void ProgressWindow::showRange() {
    const QString notice = noticeText();
    notice_->setText(notice);
    notice_->setVisible(!notice.isEmpty());
    chart_->setMessage(notice.isEmpty() ? QString() : QStringLiteral("表示できる記録はありません"));

    QDate from;
    QDate to = today_;
    if (range_ == Range::Calendar) {
        views_->setCurrentWidget(calendar_);
        calendar_->setData(&totals_, today_);
        from = calendar_->firstShown();
        to = calendar_->lastShown();
        setPointed(calendar_->describe(calendar_->focusDay()));
    } else {
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
        default:
            // From the oldest record, and records dated after today (a clock set back) too;
            // thirty days at least, so that a record or two stand as bars among days.
            if (!totals_.days.empty())
                to = std::max(today_, totals_.days.back().date);
            from = std::min(totals_.days.empty() ? to : totals_.days.front().date, to.addDays(-29));
            break;
        }
        views_->setCurrentWidget(chart_);
        chart_->setData(&totals_, from, to, today_);
        setPointed({});
    }
    showSummary(from, to);
}

void ProgressWindow::showSummary(QDate from, QDate to) {
    from_ = from;
    to_ = to;
    const progress::Summary s = progress::summarize(totals_, from, to, today_);
    QStringList first{QStringLiteral("合計 %1").arg(times(s.total)),
                      QStringLiteral("練習 %1日・%2セット")
                          .arg(progress::amount(s.daysTrained), progress::amount(s.sets))};
    if (s.sets > 0)
        first << QStringLiteral("目標達成 %1/%2セット（%3）")
                     .arg(progress::amount(s.setsAtTarget), progress::amount(s.sets),
                          progress::percent(s.setsAtTarget, s.sets));
    QStringList lines{first.join(QStringLiteral("　"))};
    if (s.bestDay.isValid())
        lines << QStringLiteral("最高の日 %1（%2）　最高のセット %3（%4）")
                     .arg(times(s.bestDayTotal), dateText(s.bestDay), times(s.bestSet),
                          dateText(s.bestSetDay));
    QStringList last{QStringLiteral("連続 %1日（最長 %2日）")
                         .arg(progress::amount(s.currentRun), progress::amount(s.longestRun)),
                     QStringLiteral("今週 %1　先週 %2").arg(times(s.thisWeek), times(s.lastWeek))};
    if (totals_.unreadable > 0)
        last << QStringLiteral("読めない記録 %1件").arg(progress::amount(totals_.unreadable));
    if (totals_.undated > 0)
        last << QStringLiteral("日付の読めない記録 %1件").arg(progress::amount(totals_.undated));
    lines << last.join(QStringLiteral("　"));
    summary_->setText(lines.join(u'\n'));
    describeChart(s, from, to);
}

void ProgressWindow::describeChart(const progress::Summary& summary, QDate from, QDate to) {
    // What a screen reader says for the chart: what it shows, then the figures.
    const QString figures = summary_->text().replace(u'\n', QStringLiteral("　"));
    chart_->setAccessibleDescription(
        QStringLiteral("%1から%2までの%3の棒グラフ。赤い目盛りは目標（指示数×セット数）、線は%4。")
            .arg(dateText(from), dateText(to), chart_->barMeaning(), chart_->averageMeaning()) +
        (summary.daysTrained > 0 ? figures : QStringLiteral("この期間の記録はありません。")));
}

QString ProgressWindow::summaryText() const {
    return summary_->text();
}

QImage ProgressWindow::picture() const {
    QWidget* view = views_->currentWidget();
    const qreal ratio = view->devicePixelRatioF();
    QFont font = chart_->font();
    font.setBold(true);
    const int header = QFontMetrics(font).height() + 12;
    QImage image((QSizeF(view->width(), view->height() + header) * ratio).toSize(),
                 QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(view->palette().color(QPalette::Base));
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(view->palette().color(QPalette::Text));
    const QString title = QStringLiteral("%1　%2（%3～%4）")
                              .arg(itemName_, caption(range_), dateText(from_), dateText(to_));
    painter.drawText(QRect(8, 0, view->width() - 16, header), Qt::AlignLeft | Qt::AlignVCenter,
                     title);
    calendar_->setPlain(true);
    view->render(&painter, QPoint(0, header));
    calendar_->setPlain(false);
    return image;
}

void ProgressWindow::savePicture() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    QString path = dialogs_.saveFileName(
        this, QStringLiteral("画像として保存"),
        QDir(folder).filePath(QStringLiteral("%1-%2.png")
                                  .arg(itemName_, today_.toString(QStringLiteral("yyyyMMdd")))),
        QStringLiteral("PNG 画像 (*.png)"));
    if (path.isEmpty())
        return;
    // Always a .png: a picture never takes the name of the item list or of a history file.
    if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
        path += QStringLiteral(".png");
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture().save(&buffer, "PNG");
    if (!report_(this, safe_file::writeUserFile(path, bytes)))
        return;
    setPointed(QStringLiteral("画像を「%1」に保存しました").arg(QDir::toNativeSeparators(path)));
}

void ProgressWindow::copyPicture() {
    QGuiApplication::clipboard()->setImage(picture());
    setPointed(QStringLiteral("%1をクリップボードにコピーしました")
                   .arg(range_ == Range::Calendar ? QStringLiteral("カレンダー")
                                                  : QStringLiteral("グラフ")));
}

void ProgressWindow::setPointed(const QString& text) {
    pointedText_ = text;
    pointed_->setText(fitted(text, pointed_->fontMetrics(), pointed_->contentsRect().width()));
}

void ProgressWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    setPointed(pointedText_);
}

void ProgressWindow::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Escape) {
        close();
        return;
    }
    if (key >= Qt::Key_1 && key <= Qt::Key_5) {
        setRange(Range(key - Qt::Key_1));
        return;
    }
    if ((key == Qt::Key_Left || key == Qt::Key_Right) && range_ != Range::Calendar) {
        const int next = static_cast<int>(range_) + (key == Qt::Key_Right ? 1 : -1);
        setRange(Range(std::clamp(next, 0, static_cast<int>(Range::All))));
        return;
    }
    QWidget::keyPressEvent(event);
}

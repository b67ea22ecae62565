#include "progress/progress_calendar.h"
#include "progress/progress_chart.h"
#include "progress/progress_window.h"

#include "app/app.h"
#include "base/cp932.h"
#include "data/history.h"
#include "data/kept_years.h"
#include "support/app_fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QDate Today(2026, 12, 7); // a Monday

// Waits for the window to catch up with a change of its file, as the event loop runs.
bool eventually(const std::function<bool()>& done) {
    for (int waited = 0; waited < 5000 && !done(); waited += 20)
        QTest::qWait(20);
    return done();
}

class Progress : public ::testing::Test {
protected:
    // Records of 腕立て伏せ (target 30) on known days of 2026, the file changed this evening.
    void SetUp() override {
        writeFile({{11, 1, "50"},
                   {12, 1, "10"},
                   {12, 1, "10"},
                   {12, 2, "abc"},
                   {12, 3, "40"},
                   {12, 6, "30"},
                   {12, 7, "20"}});
    }
    void writeFile(const QList<std::tuple<int, int, const char*>>& records) {
        QString text;
        for (const auto& [month, day, count] : records)
            text += QStringLiteral("\"%1月%2日\",\"08時00分00秒\",%3\r\n")
                        .arg(month, 2, 10, QLatin1Char('0'))
                        .arg(day, 2, 10, QLatin1Char('0'))
                        .arg(QString::fromLatin1(count));
        dir.write(QStringLiteral("腕立て伏せ.txt"), cp(text), QDateTime(Today, QTime(20, 0)));
    }
    std::unique_ptr<ProgressWindow> open(double target = 30) {
        auto window = std::make_unique<ProgressWindow>(
            data, session.watch(), QStringLiteral("腕立て伏せ"), target, clock, dialogs,
            [this](QWidget* parent, const Step& step) { return session.report(parent, step); });
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->resize(800, 500);
        window->show();
        return window;
    }
    QImage painted(QWidget* widget) {
        QImage image(widget->size(), QImage::Format_RGB32);
        widget->render(&image);
        return image;
    }
    QString pointed(ProgressWindow* window) {
        return window->findChild<QLabel*>(QStringLiteral("pointed"))->text();
    }
    TempWorkDir dir;
    FixedClock clock{QDateTime(Today, QTime(21, 0))};
    ScriptedDialogs dialogs;
    RecordingHelp help;
    DataDir data = dir.open();
    App session{data, dialogs, clock, help};
};

TEST_F(Progress, TheWindowNamesTheItemAndSumsUpTheRangeInWordsAScreenReaderHears) {
    const auto window = open();
    EXPECT_EQ(window->windowTitle(), u"腕立て伏せ の記録 - ヤルキン！");
    EXPECT_EQ(window->range(), ProgressWindow::Range::Days30);
    EXPECT_EQ(window->chart()->period(), progress::Period::Day);
    EXPECT_EQ(window->chart()->bars().size(), 30u);
    // The last 30 days hold everything but 1 November; abc on 2 December is no set.
    EXPECT_EQ(window->summaryText(),
              u"合計 110回　練習 4日・5セット　目標達成 2/5セット（40%）\n"
              u"最高の日 40回（2026年12月3日）　最高のセット 40回（2026年12月3日）\n"
              u"連続 2日（最長 2日）　今週 20回　先週 90回　読めない記録 1件");

    // Every control has a name; the chart says in words what it shows.
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (widget->isVisible() && (qobject_cast<QPushButton*>(widget) ||
                                    qobject_cast<QLabel*>(widget) || widget == window->chart())) {
            EXPECT_FALSE(
                QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name).isEmpty())
                << widget->objectName().toStdString();
        }
    }
    EXPECT_TRUE(window->chart()->accessibleDescription().contains(u"1日の合計の棒グラフ"));
    EXPECT_TRUE(window->chart()->accessibleDescription().contains(u"合計 110回"));

    // The ranges, by key and by button.
    QTest::keyClick(window.get(), Qt::Key_4);
    QTest::keyClick(window.get(), Qt::Key_Right); // the last range stays; no calendar
    EXPECT_EQ(window->range(), ProgressWindow::Range::All);
    EXPECT_TRUE(window->summaryText().startsWith(
        u"合計 160回　練習 5日・6セット　目標達成 3/6セット（50%）\n最高の日 50回"));
    QTest::keyClick(window.get(), Qt::Key_Left);
    EXPECT_EQ(window->range(), ProgressWindow::Range::Year);
    EXPECT_EQ(window->chart()->bars().front().first, QDate(2025, 12, 8));
    window->findChild<QPushButton*>(QStringLiteral("range2"))->click();
    EXPECT_EQ(window->range(), ProgressWindow::Range::Days90);
    EXPECT_TRUE(window->findChild<QPushButton*>(QStringLiteral("range2"))->isChecked());

    // Escape closes it.
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(Progress, BarsAreTotalsWithTheTargetOfTheirSetsAndThePointerSaysWhich) {
    const auto window = open();
    ProgressChart* chart = window->chart();
    const std::vector<QRectF> rects = chart->barRects();
    ASSERT_EQ(rects.size(), 30u);
    // 8 November is the first bar: 1 Dec (two sets, 20), 2 Dec (nothing readable), 3 Dec (40).
    const double baseline = chart->yOf(0);
    EXPECT_NEAR(rects[23].height(), baseline - chart->yOf(20), 0.01);
    EXPECT_NEAR(rects[25].height(), 2 * rects[23].height(), 0.01);
    EXPECT_EQ(rects[24].height(), 0);

    // Painted as seen: the bar's colour inside it; the target of two sets (60) across the
    // first, of one set (30) below the top of the second; none over the day without sets.
    const QImage image = painted(chart);
    const QPoint inside = rects[25].center().toPoint();
    EXPECT_EQ(image.pixelColor(inside), ProgressChart::BarColor);
    const auto tickAt = [&](const QRectF& bar, double value) {
        const int y = static_cast<int>(chart->yOf(value));
        for (int dy = -1; dy <= 1; ++dy)
            if (image.pixelColor(static_cast<int>(bar.center().x()), y + dy) ==
                ProgressChart::TargetColor)
                return true;
        return false;
    };
    EXPECT_TRUE(tickAt(rects[23], 60));
    EXPECT_TRUE(tickAt(rects[25], 30));
    EXPECT_LT(rects[25].top(), chart->yOf(30));
    EXPECT_FALSE(tickAt(rects[24], 30));

    QTest::mouseMove(chart, inside);
    EXPECT_EQ(pointed(window.get()), u"2026年12月3日（木）　40回（1セット・最高 40回・目標 30回）");
    // The words below do not move the chart, which keeps the bar pointed at marked.
    QTest::qWait(50);
    EXPECT_NE(painted(chart).pixelColor(inside), ProgressChart::BarColor);
    // Leaving the chart leaves nothing pointed at.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(chart, &leave);
    EXPECT_EQ(pointed(window.get()), QString());
    EXPECT_EQ(painted(chart).pixelColor(inside), ProgressChart::BarColor);
}

TEST_F(Progress, LongRangesGatherWeeksOrMonthsAndTheAxisNamesEachYear) {
    const auto window = open();
    window->resize(400, 400);
    QTest::keyClick(window.get(), Qt::Key_3);
    ProgressChart* chart = window->chart();
    ASSERT_EQ(chart->period(), progress::Period::Week);
    // Whole weeks are wide enough to see; the week the range cuts (Monday alone) is marked
    // and stands as wide as the others, with the one day it holds.
    const std::vector<QRectF> rects = chart->barRects();
    const std::vector<progress::Bar>& bars = chart->bars();
    for (size_t i = 1; i + 1 < rects.size(); ++i)
        EXPECT_GE(rects[i].width() * 1.25, 4.0) << i;
    EXPECT_FALSE(bars.front().partial);
    EXPECT_TRUE(bars.back().partial);
    EXPECT_NEAR(rects.back().width(), rects.front().width(), 0.01);
    EXPECT_EQ(bars.back().first, bars.back().last);
    const int last = static_cast<int>(rects.size()) - 1;
    EXPECT_EQ(chart->describe(last), u"2026年12月7日（月）～2026年12月7日（月）（1日分）　合計 20回"
                                     u"（練習 1日・1セット・最高 20回・目標 30回）");
    EXPECT_EQ(
        chart->describe(last - 1),
        u"2026年11月30日（月）～2026年12月6日（日）　合計 90回（練習 3日・4セット・最高 40回・"
        u"目標 120回）　4週平均 22.5回");
    // Said under the chart on two lines broken between its parts, its last 回 in view.
    QTest::mouseMove(chart, rects[rects.size() - 2].center().toPoint());
    EXPECT_EQ(pointed(window.get()).replace(u'\n', u'　'), chart->describe(last - 1));
    EXPECT_EQ(pointed(window.get()).count(u'\n'), 1);
    // The cut week is hatched: the bar's colour in lines over a lighter ground.
    const QImage image = painted(chart);
    const QRect cut = rects.back().toAlignedRect().adjusted(1, 1, -1, -1);
    int solid = 0;
    for (int y = cut.top(); y <= cut.bottom(); ++y)
        for (int x = cut.left(); x <= cut.right(); ++x)
            solid += image.pixelColor(x, y) == ProgressChart::BarColor;
    EXPECT_GT(solid, 0);
    EXPECT_LT(solid, cut.width() * cut.height());
    const QStringList weekly = chart->axisLabels();
    EXPECT_TRUE(weekly.front().endsWith(u"\n2025年"));
    EXPECT_EQ(weekly.filter(QStringLiteral("\n2026年")).size(), 1);

    // Two and a half years by months: every January is labelled, with its year.
    writeFile({{6, 1, "5"}, {1, 2, "5"}, {6, 1, "5"}, {1, 2, "5"}, {12, 7, "5"}}); // from 2024
    const auto older = open();
    older->resize(260, 400);
    QTest::keyClick(older.get(), Qt::Key_4);
    ASSERT_EQ(older->chart()->period(), progress::Period::Month);
    const QStringList monthly = older->chart()->axisLabels();
    EXPECT_TRUE(monthly.front().endsWith(u"\n2024年"));
    EXPECT_TRUE(monthly.contains(u"1月\n2025年"));
    EXPECT_TRUE(monthly.contains(u"1月\n2026年"));
    const std::vector<progress::Bar>& months = older->chart()->bars();
    const auto january = std::find_if(months.begin(), months.end(), [](const progress::Bar& bar) {
        return bar.first == QDate(2026, 1, 1);
    });
    ASSERT_NE(january, months.end());
    EXPECT_EQ(older->chart()->describe(static_cast<int>(january - months.begin())),
              u"2026年1月　合計 5回（練習 1日・1セット・最高 5回・目標 30回）　3か月平均 1.67回");
}

TEST_F(Progress, WhatLiesBeyondTheScaleIsMarkedAtItsEdge) {
    // A target of 32767 over bars near 40 keeps their scale; its ticks are marks at the top.
    const auto window = open(32767);
    ProgressChart* chart = window->chart();
    EXPECT_LE(chart->top(), 100);
    const QRectF bar = chart->barRects()[25];
    const QImage image = painted(chart);
    const auto coloured = [&](int x, double from, double to, const QColor& colour) {
        for (int y = static_cast<int>(from); y <= static_cast<int>(to); ++y)
            if (image.pixelColor(x, y) == colour)
                return true;
        return false;
    };
    const int x = static_cast<int>(bar.center().x());
    const double top = chart->plotArea().top();
    EXPECT_TRUE(coloured(x, top - 8, top, ProgressChart::TargetColor));

    // Hand-edited counts: the largest numbers there are, and a negative one, marked at the
    // floor instead of standing on it unseen.
    writeFile({{12, 5, "1E308"}, {12, 6, "1E308"}, {12, 7, "-50"}});
    const auto wild = open();
    const std::vector<QRectF> rects = wild->chart()->barRects();
    ASSERT_EQ(rects.size(), 30u);
    EXPECT_EQ(rects.back().height(), 0);
    EXPECT_GT(rects[28].height(), 0);
    const QImage marks = painted(wild->chart()); // ends, and in good time
    const double floor = wild->chart()->plotArea().bottom();
    for (int y = static_cast<int>(floor) - 6; y < static_cast<int>(floor) - 1; ++y)
        EXPECT_EQ(marks.pixelColor(static_cast<int>(rects.back().center().x()), y),
                  ProgressChart::BarColor);
    EXPECT_FALSE(wild->summaryText().contains(u"inf"));

    // The scale is the range's own: a set of 9,999 three days before it (in the first bars'
    // 7日平均) leaves it to the bars near 40, and a bar far above the others is cut at the top
    // with its total; one at three times the others' 90th percentile still stands whole.
    QList<std::tuple<int, int, const char*>> days{{11, 5, "9999"}};
    for (int day = 8; day <= 27; ++day)
        days.append({11, day, "30"});
    writeFile(days + QList<std::tuple<int, int, const char*>>{{12, 1, "90"}, {12, 6, "12000"}});
    const auto huge = open();
    EXPECT_EQ(huge->chart()->top(), 100);
    const std::vector<progress::Bar>& bars = huge->chart()->bars();
    EXPECT_FALSE(huge->chart()->cut(bars[23])); // 90: three times the 90th percentile, 30
    EXPECT_TRUE(huge->chart()->cut(bars[28]));
    EXPECT_EQ(huge->chart()->barRects()[28].top(), huge->chart()->plotArea().top());
}

TEST_F(Progress, NoRecordsOrOneLookDeliberate) {
    ASSERT_TRUE(QFile::remove(QStringLiteral("腕立て伏せ.txt")));
    const auto window = open();
    EXPECT_FALSE(window->readProblem());
    EXPECT_TRUE(window->noticeText().isEmpty()); // an item with no records yet
    EXPECT_EQ(window->summaryText(),
              u"合計 0回　練習 0日・0セット\n連続 0日（最長 0日）　今週 0回　先週 0回");
    QTest::keyClick(window.get(), Qt::Key_4);
    EXPECT_EQ(window->chart()->bars().size(), 30u); // a month of days, not today alone
    // The words stand in an empty plot: no grid line runs through them.
    const QImage image = painted(window->chart());
    const QRectF plot = window->chart()->plotArea();
    const QColor base = image.pixelColor(1, 1);
    for (int y = static_cast<int>(plot.top()); y < static_cast<int>(plot.bottom()) - 1; ++y)
        EXPECT_EQ(image.pixelColor(static_cast<int>(plot.left()) + 2, y), base) << y;

    writeFile({{12, 7, "20"}});
    const auto one = open();
    QTest::keyClick(one.get(), Qt::Key_4);
    ASSERT_EQ(one->chart()->bars().size(), 30u);
    EXPECT_LT(one->chart()->barRects().back().width(), 30);

    // Sets of nothing are sets: their target is marked.
    writeFile({{12, 7, "0"}, {12, 7, "0"}});
    const auto zeros = open();
    const QImage marked = painted(zeros->chart());
    const int x = static_cast<int>(zeros->chart()->barRects().back().center().x());
    bool target = false;
    for (int y = 0; y < marked.height(); ++y)
        target = target || marked.pixelColor(x, y) == ProgressChart::TargetColor;
    EXPECT_TRUE(target);
}

TEST_F(Progress, TheWindowFollowsItsFileAsItChanges) {
    const auto window = open();
    const auto total = [&](const char16_t* text) {
        return eventually([&] { return window->summaryText().startsWith(QStringView(text)); });
    };
    const QString item = QStringLiteral("腕立て伏せ");
    // A set recorded in the training window.
    ASSERT_TRUE(history::append(data.folder(), item, 25, QDateTime(Today, QTime(21, 0))));
    EXPECT_TRUE(total(u"合計 135回"));
    // Cleared.
    ASSERT_TRUE(history::empty(data.folder(), item));
    EXPECT_TRUE(total(u"合計 0回"));
    // Deleted with its item: the window says so.
    ASSERT_TRUE(history::remove(data.folder(), item));
    EXPECT_TRUE(eventually([&] { return !window->noticeText().isEmpty(); }));
    EXPECT_TRUE(window->findChild<QLabel*>(QStringLiteral("notice"))->isVisible());
    // Brought back by a sync tool, which writes a file beside it and renames it over.
    QFile file(QStringLiteral("sync.tmp"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(cp(QStringLiteral("\"12月07日\",\"08時00分00秒\",7\r\n")));
    file.close();
    ASSERT_TRUE(QFile::rename(QStringLiteral("sync.tmp"), QStringLiteral("腕立て伏せ.txt")));
    EXPECT_TRUE(total(u"合計 7回"));
    EXPECT_TRUE(window->noticeText().isEmpty());
    // Replaced once more by a rename, by a tool that keeps the size and the modification time:
    // the watch follows the name, not the old file.
    const QDateTime modified = QFileInfo(QStringLiteral("腕立て伏せ.txt")).lastModified();
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(cp(QStringLiteral("\"12月07日\",\"08時00分00秒\",8\r\n")));
    file.flush(); // before the time is set, or the write would set it again
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
    file.close();
    ASSERT_TRUE(QFile::remove(QStringLiteral("腕立て伏せ.txt")));
    ASSERT_TRUE(QFile::rename(QStringLiteral("sync.tmp"), QStringLiteral("腕立て伏せ.txt")));
    EXPECT_TRUE(total(u"合計 8回"));
    ASSERT_TRUE(history::append(data.folder(), item, 2, QDateTime(Today, QTime(21, 0))));
    EXPECT_TRUE(total(u"合計 10回"));
    // A history that cannot be read, then can again: the notice goes with the problem.
    ASSERT_TRUE(QFile::rename(QStringLiteral("腕立て伏せ.txt"), QStringLiteral("kept.txt")));
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("腕立て伏せ.txt")));
    EXPECT_TRUE(eventually([&] { return window->noticeText().startsWith(u"履歴ファイル「"); }));
    ASSERT_TRUE(QDir().rmdir(QStringLiteral("腕立て伏せ.txt")));
    ASSERT_TRUE(QFile::rename(QStringLiteral("kept.txt"), QStringLiteral("腕立て伏せ.txt")));
    EXPECT_TRUE(eventually([&] { return window->noticeText().isEmpty(); }));
    EXPECT_TRUE(total(u"合計 10回"));
    // Another computer's kept years date the morning's set a year back.
    ASSERT_EQ(window->chart()->bars().back().total, 10);
    const QByteArray bytes = dir.read(QStringLiteral("腕立て伏せ.txt"));
    const qint64 morning = bytes.indexOf('\n') + 1;
    const dating::Anchor anchor{morning, dating::checksum(bytes.first(morning)),
                                QDateTime(Today.addYears(-1), QTime(9, 0))};
    ASSERT_TRUE(kept_years::write(data.folder(), {{item, {anchor}}}));
    EXPECT_TRUE(eventually([&] { return window->chart()->bars().back().total == 2; }));
    // Past midnight, the watch's wake at midnight moves the range on, the file unchanged.
    clock.set(QDateTime(Today.addDays(1), QTime(0, 5)));
    session.watch().look();
    EXPECT_EQ(window->chart()->bars().back().first, Today.addDays(1));
}

TEST_F(Progress, TheCalendarReachesEveryDayByKeyAndByPointer) {
    writeFile({{11, 20, "5"}, // 2025, before the weeks first shown
               {11, 1, "50"},
               {12, 1, "10"},
               {12, 1, "10"},
               {12, 3, "40"},
               {12, 6, "30"},
               {12, 7, "20"}});
    const auto window = open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_5);
    ProgressCalendar* calendar = window->calendar();
    ASSERT_TRUE(calendar->isVisible());
    EXPECT_EQ(window->focusWidget(), calendar);
    EXPECT_EQ(calendar->focusDay(), Today);
    EXPECT_EQ(pointed(window.get()),
              u"2026年12月7日（月）　20回（1セット・最高 20回・目標達成 0/1セット）　この週 20回");
    EXPECT_TRUE(calendar->accessibleDescription().contains(u"練習 5日、合計 160回、最高の日 50回"));
    // The chosen day is the calendar's one item, named short.
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(calendar);
    ASSERT_EQ(list->childCount(), 1);
    EXPECT_EQ(list->child(0)->text(QAccessible::Name), u"12月7日（月）20回 1セット");
    EXPECT_EQ(list->focusChild(), list->child(0));
    // Shaded by levels of the days shown (20 20 30 40 50: 20, 30 and 40), each shade's totals
    // in the legend.
    EXPECT_EQ(calendar->shadeOf(QDate(2026, 11, 1)), 4);
    EXPECT_EQ(calendar->shadeOf(QDate(2026, 12, 3)), 3);
    EXPECT_EQ(calendar->shadeOf(QDate(2026, 12, 6)), 2);
    EXPECT_EQ(calendar->shadeOf(QDate(2026, 12, 1)), 1);
    EXPECT_EQ(calendar->shadeOf(QDate(2026, 12, 2)), 0);
    EXPECT_EQ(calendar->shadeRange(1), u"20回");
    EXPECT_EQ(calendar->shadeRange(4), u"50回");

    // Up and down a day, left and right a week, Home and End; Page Up a year back.
    QTest::keyClick(calendar, Qt::Key_Up);
    EXPECT_EQ(calendar->focusDay(), QDate(2026, 12, 6));
    QTest::keyClick(calendar, Qt::Key_Left);
    EXPECT_EQ(calendar->focusDay(), QDate(2026, 11, 29));
    EXPECT_EQ(list->child(0)->text(QAccessible::Name), u"11月29日（日）記録なし");
    EXPECT_TRUE(pointed(window.get()).startsWith(u"2026年11月29日（日）　記録なし　この週 0回"));
    QTest::keyClick(calendar, Qt::Key_Home);
    EXPECT_EQ(calendar->focusDay(), calendar->firstShown());
    EXPECT_EQ(calendar->firstShown().dayOfWeek(), 1);
    QTest::keyClick(calendar, Qt::Key_End);
    EXPECT_EQ(calendar->focusDay(), Today);
    const QDate firstShown = calendar->firstShown(), lastShown = calendar->lastShown();
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Right, Qt::Key_PageDown}) {
        QTest::keyClick(calendar, key); // no further than today, nor shows what lies beyond
        EXPECT_EQ(calendar->focusDay(), Today);
        EXPECT_EQ(calendar->firstShown(), firstShown);
        EXPECT_EQ(calendar->lastShown(), lastShown);
    }
    // A year back brings its week into view, and the summary is of the weeks shown.
    QTest::keyClick(calendar, Qt::Key_PageUp);
    EXPECT_EQ(calendar->focusDay(), QDate(2025, 12, 7));
    EXPECT_EQ(calendar->firstShown(), QDate(2025, 12, 1));
    EXPECT_EQ(calendar->lastShown(), QDate(2026, 12, 6));
    EXPECT_TRUE(window->summaryText().startsWith(u"合計 140回"));

    // The pointer shows a day, a click takes it.
    const QPoint day = calendar->dayRect(QDate(2026, 12, 3)).center().toPoint();
    QTest::mouseMove(calendar, day);
    EXPECT_TRUE(pointed(window.get()).startsWith(u"2026年12月3日（木）　40回"));
    QTest::mouseClick(calendar, Qt::LeftButton, {}, day);
    EXPECT_EQ(calendar->focusDay(), QDate(2026, 12, 3));

    // The window's keys still work from the calendar.
    QTest::keyClick(calendar, Qt::Key_1);
    EXPECT_EQ(window->range(), ProgressWindow::Range::Days30);
    EXPECT_FALSE(calendar->isVisible());
}

// The views as painted, against the pictures kept in tests/testdata/progress: whatever a change
// does to the bars, marks, lines, hatching, legend, labels or shades shows. Where a change is
// meant, YARUKIN_UPDATE_PICTURES=1 writes the pictures anew, to be looked at before they are
// committed; a picture that differs is left beside the test program for a look.
::testing::AssertionResult looksAsKept(const QImage& painted, const QString& name) {
    const QString kept = QStringLiteral(YARUKIN_TESTDATA_DIR "/progress/") + name;
    if (qEnvironmentVariableIsSet("YARUKIN_UPDATE_PICTURES") && painted.save(kept))
        return ::testing::AssertionSuccess();
    if (QImage(kept).convertToFormat(QImage::Format_RGB32) == painted)
        return ::testing::AssertionSuccess();
    const QString seen = QCoreApplication::applicationDirPath() + u'/' + name;
    painted.save(seen);
    return ::testing::AssertionFailure()
           << "painted otherwise than " << kept.toStdString() << ": " << seen.toStdString();
}

TEST_F(Progress, TheViewsLookAsKept) {
    const auto window = open();
    // The pictures hold text, so they say something only where the fonts draw it as they did
    // where the pictures were made; elsewhere (other fonts, other hinting) the test says so.
    QImage sample(360, 40, QImage::Format_RGB32);
    sample.fill(Qt::white);
    {
        QPainter painter(&sample);
        painter.setFont(window->chart()->font());
        painter.drawText(sample.rect(), Qt::AlignCenter,
                         QStringLiteral("合計 1,234回 12/7 2026年 月火水 ▲▼"));
    }
    if (!looksAsKept(sample, QStringLiteral("fonts.png")))
        GTEST_SKIP() << "the fonts here draw text otherwise than where the pictures were kept";
    const auto looks = [&](QWidget* view, const char* name) {
        QTest::qWait(0); // whatever the last step changed laid out
        EXPECT_TRUE(looksAsKept(painted(view), QString::fromLatin1(name)));
    };
    looks(window->chart(), "days.png");
    window->resize(400, 400);
    QTest::keyClick(window.get(), Qt::Key_3); // weeks, the last one cut
    looks(window->chart(), "weeks.png");
    QTest::keyClick(window.get(), Qt::Key_5);
    looks(window->calendar(), "calendar.png");
    // Marks at both edges of the scale, and a legend on as many lines as a narrow chart needs.
    writeFile({{12, 5, "1E308"}, {12, 6, "5"}, {12, 7, "-50"}});
    const auto marked = open(30);
    QTest::qWait(0);
    marked->chart()->resize(300, 260);
    EXPECT_TRUE(looksAsKept(painted(marked->chart()), QStringLiteral("marks.png")));
    // A bar far above the others, cut at the top with its total.
    writeFile({{11, 20, "17"}, {11, 24, "40"}, {11, 27, "90"}, {12, 1, "12000"}, {12, 3, "43"}});
    const auto cut = open(30);
    QTest::qWait(0);
    cut->chart()->resize(400, 260);
    EXPECT_TRUE(looksAsKept(painted(cut->chart()), QStringLiteral("cut.png")));
}

TEST_F(Progress, TheChartIsSavedAsPngOrCopied) {
    const auto window = open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    // The save box proposes the item and the day; a name without .png gets it.
    dialogs.queue(dir.path() + QStringLiteral("/chart"));
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown()[0].title, u"画像として保存");
    EXPECT_TRUE(dialogs.shown()[0].text.endsWith(u"/腕立て伏せ-20261207.png"));
    QImage saved;
    ASSERT_TRUE(saved.load(dir.path() + QStringLiteral("/chart.png"), "PNG"));
    EXPECT_EQ(saved.width(), window->chart()->width());
    EXPECT_GT(saved.height(), window->chart()->height()); // the item's name above it
    EXPECT_EQ(pointed(window.get()).remove(u'\n'),
              QStringLiteral("画像を「%1/chart.png」に保存しました").arg(dir.path()));

    // A file that cannot be written is told as every file failure is.
    dialogs.clear();
    dialogs.queue(dir.path() + QStringLiteral("/no-such-folder/chart.png"));
    window->savePicture();
    EXPECT_EQ(dialogs.titles(),
              (QStringList{QStringLiteral("画像として保存"), QStringLiteral("書き込みエラー")}));

    QGuiApplication::clipboard()->clear();
    QTest::keyClick(window.get(), Qt::Key_5);
    QTest::keyClick(window->calendar(), Qt::Key_C, Qt::ControlModifier);
    const QImage copied = QGuiApplication::clipboard()->image();
    EXPECT_EQ(copied.width(), window->calendar()->width());
    // The days alone: the box of the chosen day is the window's, not the picture's.
    const QDate chosen = window->calendar()->focusDay();
    const QPoint corner = window->calendar()->dayRect(chosen).topLeft().toPoint() + QPoint(1, 1);
    EXPECT_NE(painted(window->calendar()).pixelColor(corner),
              ProgressCalendar::Shades[window->calendar()->shadeOf(chosen)]);
    EXPECT_EQ(copied.pixelColor(corner + QPoint(0, copied.height() - window->calendar()->height())),
              ProgressCalendar::Shades[window->calendar()->shadeOf(chosen)]);
    // Both are in the views' context menus.
    EXPECT_EQ(window->calendar()->actions(), window->chart()->actions());
    EXPECT_EQ(window->chart()->contextMenuPolicy(), Qt::ActionsContextMenu);
}

} // namespace

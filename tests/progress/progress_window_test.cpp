#include "progress/progress_chart.h"
#include "progress/progress_window.h"

#include "base/cp932.h"
#include "support/work_dir.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QDate Today(2026, 12, 7);

class Progress : public ::testing::Test {
protected:
    // Records of 腕立て伏せ on known days of 2026, the file last changed this evening.
    void SetUp() override {
        QString text;
        for (const auto& [month, day, count] : QList<std::tuple<int, int, int>>{
                 {11, 1, 50}, {12, 1, 10}, {12, 1, 10}, {12, 3, 40}, {12, 6, 30}, {12, 7, 20}})
            text += QStringLiteral("\"%1月%2日\",\"08時00分00秒\",%3\r\n")
                        .arg(month, 2, 10, QLatin1Char('0'))
                        .arg(day, 2, 10, QLatin1Char('0'))
                        .arg(count);
        QFile file(QStringLiteral("腕立て伏せ.txt"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(*cp932::encode(text).bytes);
        file.flush();
        ASSERT_TRUE(
            file.setFileTime(QDateTime(Today, QTime(20, 0)), QFileDevice::FileModificationTime));
    }
    std::unique_ptr<ProgressWindow> open() {
        auto window = std::make_unique<ProgressWindow>(data, QStringLiteral("腕立て伏せ"), 30,
                                                       Today, QDateTime(Today, QTime(21, 0)));
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->resize(800, 500);
        window->show();
        return window;
    }
    TempWorkDir dir;
    DataDir data = dir.open();
};

TEST_F(Progress, TheWindowNamesTheItemAndSumsUpTheRange) {
    const auto window = open();
    EXPECT_EQ(window->windowTitle(), u"腕立て伏せ の記録 - ヤルキン！");
    EXPECT_EQ(window->range(), ProgressWindow::Range::Days30);
    EXPECT_EQ(window->chart()->period(), progress::Period::Day);
    EXPECT_EQ(window->chart()->bars().size(), 30u);
    // The last 30 days hold everything but 1 November; the run is 6 and 7 December.
    EXPECT_EQ(window->summaryText(), u"合計 110回　練習 4日　最高 40回（2026-12-03）　連続 2日");

    // The ranges, by key and by button.
    QTest::keyClick(window.get(), Qt::Key_4);
    EXPECT_EQ(window->range(), ProgressWindow::Range::All);
    EXPECT_TRUE(window->summaryText().startsWith(u"合計 160回　練習 5日　最高 50回（2026-11-01）"));
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

TEST_F(Progress, BarsStandAsHighAsTheirDaysAndThePointerSaysWhich) {
    const auto window = open();
    ProgressChart* chart = window->chart();
    const std::vector<QRectF> rects = chart->barRects();
    ASSERT_EQ(rects.size(), 30u);
    // 8 November is the first bar: 1 Dec (two records, 20), 2 Dec (nothing), 3 Dec (40).
    const double baseline = chart->yOf(0);
    EXPECT_NEAR(rects[23].height(), baseline - chart->yOf(20), 0.01);
    EXPECT_NEAR(rects[25].height(), 2 * rects[23].height(), 0.01);
    EXPECT_EQ(rects[24].height(), 0);
    EXPECT_GE(chart->yOf(40), 0);

    // Painted as seen: the bar's colour inside it, not above it.
    QImage image(chart->size(), QImage::Format_RGB32);
    chart->render(&image);
    const QPoint inside = rects[25].center().toPoint();
    EXPECT_EQ(image.pixelColor(inside), ProgressChart::BarColor);
    EXPECT_NE(image.pixelColor(inside.x(), static_cast<int>(rects[25].top()) - 3),
              ProgressChart::BarColor);
    EXPECT_NE(image.pixelColor(rects[24].center().toPoint()), ProgressChart::BarColor);
    // The target line (30) across a day without a bar, below the top of the 40.
    const int targetY = static_cast<int>(chart->yOf(30));
    bool targetDrawn = false;
    for (int y = targetY - 1; y <= targetY + 1; ++y)
        for (int x = static_cast<int>(rects[24].left()); x < rects[24].right(); ++x)
            targetDrawn = targetDrawn || image.pixelColor(x, y).red() > 150;
    EXPECT_TRUE(targetDrawn);
    EXPECT_LT(rects[25].top(), targetY);

    QTest::mouseMove(chart, inside);
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("pointed"))->text(),
              u"2026年12月3日（木）　40回");
}

TEST_F(Progress, LongRangesGatherTheDaysIntoWeeksOrMonths) {
    const auto window = open();
    window->resize(400, 400);
    QTest::keyClick(window.get(), Qt::Key_3);
    ProgressChart* chart = window->chart();
    ASSERT_NE(chart->period(), progress::Period::Day);
    // A whole week's or month's bar is wide enough to see, its gap included; a bar cut by the
    // range is no wider than its days.
    const std::vector<QRectF> rects = chart->barRects();
    const std::vector<progress::Bar>& bars = chart->bars();
    for (size_t i = 1; i + 1 < rects.size(); ++i)
        EXPECT_GE(rects[i].width() * 1.25, 4.0) << i;
    const double dayWidth = chart->xOf(Today.addDays(1)) - chart->xOf(Today);
    EXPECT_LE(rects.back().width(),
              (bars.back().first.daysTo(bars.back().last) + 1) * dayWidth + 0.01);
    EXPECT_TRUE(chart->describe(static_cast<int>(rects.size()) - 1).contains(u"合計"));
}

TEST_F(Progress, CountsNoChartCanHoldAreDrawnAllTheSame) {
    // Hand-edited counts: the largest numbers there are (their sum is no number) and negative.
    QFile file(QStringLiteral("腕立て伏せ.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(*cp932::encode(QStringLiteral("\"12月05日\",\"08時00分00秒\",1E308\r\n"
                                             "\"12月06日\",\"08時00分00秒\",1E308\r\n"
                                             "\"12月07日\",\"08時00分00秒\",-50\r\n"))
                    .bytes);
    file.flush();
    ASSERT_TRUE(
        file.setFileTime(QDateTime(Today, QTime(20, 0)), QFileDevice::FileModificationTime));
    file.close();
    const auto window = open();
    QImage image(window->chart()->size(), QImage::Format_RGB32);
    window->chart()->render(&image); // ends, and in good time
    const std::vector<QRectF> rects = window->chart()->barRects();
    ASSERT_EQ(rects.size(), 30u);
    EXPECT_EQ(rects.back().height(), 0); // a negative count stands at the baseline
    EXPECT_GT(rects[28].height(), 0);
    EXPECT_FALSE(window->summaryText().contains(u"inf"));
}

TEST_F(Progress, AnEmptyHistoryShowsAnEmptyChart) {
    ASSERT_TRUE(QFile::remove(QStringLiteral("腕立て伏せ.txt")));
    const auto window = open();
    EXPECT_FALSE(window->readProblem());
    EXPECT_EQ(window->summaryText(), u"合計 0回　練習 0日　連続 0日");
    QTest::keyClick(window.get(), Qt::Key_4);
    EXPECT_EQ(window->chart()->bars().size(), 1u); // today alone
}

} // namespace

// The progress window (its chart, and its year calendar) and the CSV export on an item whose
// history holds a million records, side by side with `iconv -f CP932 -t UTF-8 FILE | wc -l`;
// peak memory. Run it under Xvfb (or with QT_QPA_PLATFORM=offscreen).
#include "app/app.h"
#include "base/clock.h"
#include "bench_util.h"
#include "data/csv_export.h"
#include "data/disk_watch.h"
#include "data/history.h"
#include "progress/progress_calendar.h"
#include "progress/progress_chart.h"
#include "progress/progress_window.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    prepareApplication(application);
    const int records = bench::recordsArgument(argc, argv);
    const bench::WorkDir dir;
    bench::writeItems(1);
    const QString item = QStringLiteral("トレーニング項目1");
    const QByteArray path = bench::writeHistory(item, records);
    if (path.isEmpty())
        return 1;
    const double before = bench::peakMiB();

    // The window as the settings window opens it: read, dated, totalled, shown and painted;
    // then the same opened on its year calendar. Each round runs the iconv pipeline too, so that
    // all three meet the same machine (other work on it moves them together); a first round
    // warms the caches and is not counted.
    const SystemClock clock;
    bench::AutoDialogs dialogs;
    DataDir table = DataDir(Folder::open(QString()).value());
    DiskWatch watch(table.folder(), clock);
    double openCpu = 0; // the CPU time of the last opening
    const auto open = [&](bool onCalendar) {
        const double cpu = bench::cpuMs();
        QElapsedTimer timer;
        timer.start();
        auto* window = new ProgressWindow(table, watch, item, 30, clock, dialogs,
                                          [](QWidget*, const Step&) { return true; });
        if (onCalendar)
            window->setRange(ProgressWindow::Range::Calendar);
        window->show();
        bench::waitForPaint(onCalendar ? static_cast<QWidget*>(window->calendar())
                                       : static_cast<QWidget*>(window->chart()));
        const double ms = timer.nsecsElapsed() / 1e6;
        openCpu = bench::cpuMs() - cpu;
        QTest::keyClick(window, Qt::Key_4); // the whole range, a thousand days and more
        delete window;
        return ms;
    };
    std::vector<double> iconv, shown, calendar, shownRatio, calendarRatio, iconvCpu, shownCpu,
        calendarCpu, shownCpuRatio, calendarCpuRatio;
    for (int round = 0; round <= 7; ++round) {
        const double childCpu = bench::childrenCpuMs();
        const double reference = bench::iconvMs(path, 1);
        const double referenceCpu = bench::childrenCpuMs() - childCpu;
        const double chart = open(false);
        const double chartCpu = openCpu;
        const double year = open(true);
        const double yearCpu = openCpu;
        if (round == 0)
            continue;
        iconvCpu.push_back(referenceCpu);
        shownCpu.push_back(chartCpu);
        calendarCpu.push_back(yearCpu);
        shownCpuRatio.push_back(chartCpu / referenceCpu);
        calendarCpuRatio.push_back(yearCpu / referenceCpu);
        iconv.push_back(reference);
        shown.push_back(chart);
        calendar.push_back(year);
        shownRatio.push_back(chart / reference);
        calendarRatio.push_back(year / reference);
    }
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    const double iconvMs = median(iconv);
    const double windowPeak = bench::peakMiB();

    if (!table.LoadItemList().done)
        return 1;
    const QString target = dir.filePath(QStringLiteral("export.csv"));
    const QDateTime now = QDateTime::currentDateTime();
    const double exportMs = bench::medianMs(5, [&] {
        const csv::Histories histories = csv::histories(table, std::nullopt, now);
        if (!csv::write(table, target, histories))
            std::fprintf(stderr, "the export failed\n");
    });
    // Its two halves: the history read and dated, and the CSV made and written to the file, a
    // piece at a time, and flushed.
    const double readMs = bench::medianMs(5, [&] {
        if (csv::histories(table, std::nullopt, now).records != records)
            std::fprintf(stderr, "the export is short\n");
    });
    std::printf("history of %d records (%.1f MB)\n", records,
                QFileInfo(QString::fromLocal8Bit(path)).size() / 1e6);
    std::printf("iconv -f CP932 -t UTF-8 | wc -l       %8.1f ms  %8.1f ms CPU\n", iconvMs,
                median(iconvCpu));
    // The ratios are the medians of each round's own.
    std::printf("progress window shown and painted    %8.1f ms  %8.1f ms CPU  (%.2fx, CPU %.2fx)\n",
                median(shown), median(shownCpu), median(shownRatio), median(shownCpuRatio));
    std::printf("calendar shown and painted           %8.1f ms  %8.1f ms CPU  (%.2fx, CPU %.2fx)\n",
                median(calendar), median(calendarCpu), median(calendarRatio),
                median(calendarCpuRatio));
    std::printf("CSV export written (%.1f MB)        %8.1f ms  (%.2fx)\n",
                QFileInfo(target).size() / 1e6, exportMs, exportMs / iconvMs);
    std::printf("  of which the history read and dated %8.1f ms, the CSV made, written and flushed "
                "%.1f ms\n",
                readMs, exportMs - readMs);
    std::printf("peak memory                          %8.1f MiB (%.1f MiB before, %.1f MiB "
                "after the window)\n",
                bench::peakMiB(), before, windowPeak);
    return 0;
}

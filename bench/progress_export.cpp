// The progress window and the CSV export on an item whose history holds a million records,
// side by side with `iconv -f CP932 -t UTF-8 FILE | wc -l`; peak memory. Run it under Xvfb (or
// with QT_QPA_PLATFORM=offscreen).
#include "app/app.h"
#include "base/clock.h"
#include "bench_util.h"
#include "data/csv_export.h"
#include "data/history.h"
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
    const double iconvMs = bench::iconvMs(path, 5);
    const double before = bench::peakMiB();

    // The window as the settings window opens it: read, dated, totalled, shown and painted.
    const QDateTime now = QDateTime::currentDateTime();
    const SystemClock clock;
    bench::AutoDialogs dialogs;
    std::vector<double> shown;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        auto* window = new ProgressWindow(item, 30, clock, dialogs,
                                          [](QWidget*, const FileResult&) { return true; });
        window->show();
        bench::waitForPaint(window->chart());
        shown.push_back(timer.nsecsElapsed() / 1e6);
        QTest::keyClick(window, Qt::Key_4); // the whole range, a thousand days and more
        delete window;
    }
    std::sort(shown.begin(), shown.end());
    const double windowPeak = bench::peakMiB();

    GYMM table;
    if (!table.LoadItemList())
        return 1;
    const QString target = dir.filePath(QStringLiteral("export.csv"));
    const double exportMs = bench::medianMs(5, [&] {
        const csv::Histories histories = csv::histories(table, std::nullopt, now);
        if (!csv::write(target, histories.bytes()))
            std::fprintf(stderr, "the export failed\n");
    });

    std::printf("history of %d records (%.1f MB)\n", records,
                QFileInfo(QString::fromLocal8Bit(path)).size() / 1e6);
    std::printf("iconv -f CP932 -t UTF-8 | wc -l       %8.1f ms\n", iconvMs);
    std::printf("progress window shown and painted    %8.1f ms  (%.2fx)\n", shown[2],
                shown[2] / iconvMs);
    std::printf("CSV export written (%.1f MB)        %8.1f ms  (%.2fx)\n",
                QFileInfo(target).size() / 1e6, exportMs, exportMs / iconvMs);
    std::printf("peak memory                          %8.1f MiB (%.1f MiB before, %.1f MiB "
                "after the window)\n",
                bench::peakMiB(), before, windowPeak);
    return 0;
}

// Opening the settings window on an item whose history holds a million records, side by side
// with `iconv -f CP932 -t UTF-8 FILE | wc -l`; peak memory; scrolling through the list.
//
// Each round runs the iconv pipeline and then opens the window, so that both meet the same
// machine; a first round warms the caches and is not counted, and the figures are medians of
// the rounds (the ratio the median of each round's own). A single opening against a median of
// iconv taken earlier moved twofold from run to run with what else the machine was doing.
#include "app/app.h"
#include "base/clock.h"
#include "bench_util.h"
#include "data/history.h"
#include "settings/frmsettei.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QScrollBar>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

namespace {

// Minor page faults of this process so far.
long minorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    prepareApplication(application);
    const int records = bench::recordsArgument(argc, argv);
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    const bench::WorkDir dir;
    bench::writeItems(3);
    const QByteArray path = bench::writeHistory(QStringLiteral("トレーニング項目1"), records);
    if (path.isEmpty())
        return 1;

    bench::AutoDialogs dialogs;
    SystemClock clock;
    bench::NoHelp help;
    DataDir data = DataDir(Folder::open(QString()).value());
    App app(data, dialogs, clock, help);
    if (!data.LoadItemList().done)
        return 1;
    const double before = bench::peakMiB();

    std::vector<double> iconv, iconvCpu, open, openCpu, ratio, cpuRatio, faults;
    int rows = 0;
    double firstPeak = 0; // after the first opening: a program opens the window once at a time
    for (int round = 0; round <= rounds; ++round) {
        const double childCpu = bench::childrenCpuMs();
        const double reference =
            bench::commandMs(1, "iconv -f CP932 -t UTF-8 '" + path + "' | wc -l > /dev/null");
        const double referenceCpu = bench::childrenCpuMs() - childCpu;

        const long faultsBefore = minorFaults();
        const double cpu = bench::cpuMs();
        QElapsedTimer timer;
        timer.start();
        app.openSettings();
        const double filledMs = timer.nsecsElapsed() / 1e6;
        const double filledCpu = bench::cpuMs() - cpu;
        auto* window = qobject_cast<frmSettei*>(app.window());
        auto* list = window->findChild<QListView*>(QStringLiteral("lstRireki"));
        bench::waitForPaint(list->viewport());
        const double ms = timer.nsecsElapsed() / 1e6;
        const double msCpu = bench::cpuMs() - cpu;
        const long faulted = minorFaults() - faultsBefore;
        rows = list->model()->rowCount();
        std::fprintf(stderr,
                     "round %d: iconv %.1f ms (%.1f CPU), window filled %.1f ms (%.1f CPU), "
                     "painted %.1f ms (%.1f CPU, %ld faults), peak %.1f MiB\n",
                     round, reference, referenceCpu, filledMs, filledCpu, ms, msCpu, faulted,
                     bench::peakMiB());
        if (round == 0)
            firstPeak = bench::peakMiB();
        if (round > 0) {
            iconv.push_back(reference);
            iconvCpu.push_back(referenceCpu);
            open.push_back(ms);
            openCpu.push_back(msCpu);
            ratio.push_back(ms / reference);
            cpuRatio.push_back(msCpu / referenceCpu);
            faults.push_back(static_cast<double>(faulted));
        }
        if (round < rounds)
            delete window; // the next round opens it afresh, as each opening does
    }
    const double windowPeak = bench::peakMiB();

    // Scrolling: page by page from the top, each page painted.
    auto* list = app.window()->findChild<QListView*>(QStringLiteral("lstRireki"));
    QScrollBar* bar = list->verticalScrollBar();
    constexpr int Pages = 200;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < Pages; ++i) {
        bar->setValue(bar->value() + bar->pageStep() * 4999); // far jumps across the list
        if (bar->value() >= bar->maximum())
            bar->setValue(0);
        list->viewport()->repaint();
    }
    const double pageMs = timer.nsecsElapsed() / 1e6 / Pages;

    using bench::median;
    std::printf("history of %d records (%.1f MB), %d lines in the list; %d rounds (medians)\n",
                records, QFileInfo(QString::fromLocal8Bit(path)).size() / 1e6, rows, rounds);
    std::printf("iconv -f CP932 -t UTF-8 | wc -l     %8.1f ms  %8.1f ms CPU\n", median(iconv),
                median(iconvCpu));
    std::printf("settings window shown, list filled %8.1f ms  %8.1f ms CPU  (%.2fx, CPU %.2fx; "
                "each round %.2fx to %.2fx)\n",
                median(open), median(openCpu), median(ratio), median(cpuRatio),
                *std::min_element(ratio.begin(), ratio.end()),
                *std::max_element(ratio.begin(), ratio.end()));
    std::printf("  minor page faults while opening  %8.0f\n", median(faults));
    std::printf("peak memory                        %8.1f MiB after the first opening (%.1f MiB "
                "before it, %.1f MiB after all rounds)\n",
                firstPeak, before, windowPeak);
    std::printf("one jump and repaint of the list   %8.2f ms\n", pageMs);
    return 0;
}

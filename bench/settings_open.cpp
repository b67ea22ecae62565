// Opening the settings window on an item whose history holds a million records, side by side
// with `iconv -f CP932 -t UTF-8 FILE | wc -l`; peak memory; scrolling through the list.
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

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    prepareApplication(application);
    const int records = bench::recordsArgument(argc, argv);
    const bench::WorkDir dir;
    bench::writeItems(3);
    const QByteArray path = bench::writeHistory(QStringLiteral("トレーニング項目1"), records);
    if (path.isEmpty())
        return 1;
    const double iconvMs = bench::iconvMs(path, 5);

    bench::AutoDialogs dialogs;
    SystemClock clock;
    bench::NoHelp help;
    DataDir data = DataDir(Folder::open(QString()).value());
    App app(data, dialogs, clock, help);
    if (!data.LoadItemList().done)
        return 1;
    const double before = bench::peakMiB();

    QElapsedTimer timer;
    timer.start();
    app.openSettings();
    auto* window = qobject_cast<frmSettei*>(app.window());
    auto* list = window->findChild<QListView*>(QStringLiteral("lstRireki"));
    bench::waitForPaint(list->viewport());
    const double openMs = timer.nsecsElapsed() / 1e6;
    const int rows = list->model()->rowCount();

    // Scrolling: page by page from the top, each page painted.
    QScrollBar* bar = list->verticalScrollBar();
    constexpr int Pages = 200;
    timer.restart();
    for (int i = 0; i < Pages; ++i) {
        bar->setValue(bar->value() + bar->pageStep() * 4999); // far jumps across the list
        if (bar->value() >= bar->maximum())
            bar->setValue(0);
        list->viewport()->repaint();
    }
    const double pageMs = timer.nsecsElapsed() / 1e6 / Pages;

    std::printf("history of %d records (%.1f MB), %d lines in the list\n", records,
                QFileInfo(QString::fromLocal8Bit(path)).size() / 1e6, rows);
    std::printf("iconv -f CP932 -t UTF-8 | wc -l     %8.1f ms\n", iconvMs);
    std::printf("settings window shown, list filled %8.1f ms  (%.2fx)\n", openMs, openMs / iconvMs);
    std::printf("peak memory                        %8.1f MiB (%.1f MiB before opening)\n",
                bench::peakMiB(), before);
    std::printf("one jump and repaint of the list   %8.2f ms\n", pageMs);
    return 0;
}

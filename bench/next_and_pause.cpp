// The work of one Next with 20 items, apart from its 0.1 s flash, side by side with its floor:
// one write and fdatasync of the same record's bytes appended to a file in the same directory,
// measured in the same run, interleaved, each after the same rest; and the CPU time spent in the
// flash's pause. With --read-only the data directory is made read-only after the history files
// exist (run it as a user other than root, for whom no mode is read-only): the records go into
// the writable history files, and the warnings shown are counted.
#include "app/app.h"
#include "base/clock.h"
#include "bench_util.h"
#include "data/history.h"
#include "training/frmmain.h"
#include "widgets/pause.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    prepareApplication(application);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    bench::writeItems(20);
    const bool readOnly = argc > 1 && QByteArray(argv[1]) == "--read-only";
    if (readOnly) {
        for (int i = 1; i <= 20; ++i) {
            QFile history(QStringLiteral("トレーニング項目%1.txt").arg(i));
            history.open(QIODevice::WriteOnly);
        }
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }

    bench::AutoDialogs dialogs;
    SystemClock clock;
    bench::NoHelp help;
    DataDir data = DataDir(Folder::open(QString()).value());
    App app(data, dialogs, clock, help);
    app.start();

    // The floor's file, beside the histories: the record's bytes as Next writes them.
    const QByteArray floorBytes = history::recordBytes(clock.now(), 30);
    const int floorFd =
        ::open("floor.dat", O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644); // NOLINT
    constexpr int Runs = 40;
    constexpr unsigned long RestMs = 20;
    std::vector<double> pauseWall, pauseCpu, nextWall, nextCpu, ownWall, syncWall, ownRatio, ownCpu,
        syncCpu, recordWall, recordRatio;
    for (int i = 0; i < Runs; ++i) {
        QElapsedTimer wall;
        double cpu = bench::cpuMs();
        wall.start();
        Pause(0.1f);
        pauseWall.push_back(wall.nsecsElapsed() / 1e6);
        pauseCpu.push_back(bench::cpuMs() - cpu);

        auto* training = qobject_cast<frmMain*>(app.window());
        if (!training || training->CurrentItem >= app.gymm().ItemCount()) {
            app.openTraining(); // a fresh workout, so that every Next measured has a flash
            QCoreApplication::processEvents();
            training = qobject_cast<frmMain*>(app.window());
        }
        cpu = bench::cpuMs();
        wall.restart();
        training->cmdNext_Click();
        nextWall.push_back(wall.nsecsElapsed() / 1e6);
        nextCpu.push_back(bench::cpuMs() - cpu);

        // Next's own work, timed directly: the same click without the flash's pause (a flash
        // of no time returns at once), and the floor.
        training = qobject_cast<frmMain*>(app.window());
        if (!training || training->CurrentItem >= app.gymm().ItemCount())
            continue; // the last item's Next ends the workout: no flash to leave out
        // Each side starts after the same rest: a second fdatasync that follows another at once
        // finds the disk's queue warm and takes half the time of one after a pause, so the side
        // that came second would look the faster. Which side goes first takes turns too.
        app.flashSeconds = 0;
        const auto rest = [] {
            QCoreApplication::processEvents();
            QThread::msleep(RestMs);
        };
        const auto timeNext = [&] {
            rest();
            const double start = bench::cpuMs();
            QElapsedTimer timer;
            timer.start();
            training->cmdNext_Click();
            ownCpu.push_back(bench::cpuMs() - start);
            return timer.nsecsElapsed() / 1e6;
        };
        const auto timeFloor = [&] {
            rest();
            const double start = bench::cpuMs();
            QElapsedTimer timer;
            timer.start();
            if (::write(floorFd, floorBytes.constData(), static_cast<size_t>(floorBytes.size())) !=
                    floorBytes.size() ||
                ::fdatasync(floorFd) != 0)
                std::fprintf(stderr, "the floor's write failed\n");
            syncCpu.push_back(bench::cpuMs() - start);
            return timer.nsecsElapsed() / 1e6;
        };
        // The data directory's part alone: the record appended and the list looked at, with
        // no window to change.
        const auto timeRecord = [&] {
            rest();
            QElapsedTimer timer;
            timer.start();
            if (!data.record(1, 30, clock.now()).done)
                std::fprintf(stderr, "the record failed\n");
            return timer.nsecsElapsed() / 1e6;
        };
        double own = 0, sync = 0, stored = 0;
        const std::function<void()> sides[] = {
            [&] { own = timeNext(); }, [&] { sync = timeFloor(); }, [&] { stored = timeRecord(); }};
        for (int side = 0; side < 3; ++side)
            sides[(i + side) % 3]();
        recordWall.push_back(stored);
        recordRatio.push_back(stored / sync);
        app.flashSeconds = 0.1f;
        ownWall.push_back(own);
        syncWall.push_back(sync);
        ownRatio.push_back(own / sync);
    }
    ::close(floorFd);
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("Next with 20 items, %d runs (medians)\n", Runs);
    std::printf("  whole Next, flash included   %8.2f ms wall  %6.2f ms CPU\n", median(nextWall),
                median(nextCpu));
    std::printf("  the 0.1 s pause alone        %8.2f ms wall  %6.2f ms CPU\n", median(pauseWall),
                median(pauseCpu));
    std::printf("  Next's own work (difference) %8.2f ms wall\n",
                median(nextWall) - median(pauseWall));
    std::printf("  Next without the flash       %8.2f ms wall  %6.2f ms CPU\n", median(ownWall),
                median(ownCpu));
    std::printf(
        "  floor: write + fdatasync     %8.2f ms wall  %6.2f ms CPU  (Next %.2fx the floor, "
        "the median of %zu pairs)\n",
        median(syncWall), median(syncCpu), median(ownRatio), ownRatio.size());
    std::printf("  the record alone (DataDir)   %8.2f ms wall                (%.2fx the floor)\n",
                median(recordWall), median(recordRatio));
    if (readOnly)
        std::printf("  read-only data directory: %d warnings in %d Nexts\n", dialogs.warnings,
                    Runs);
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return 0;
}

// The work of one Next with 20 items, apart from its 0.1 s flash, and the CPU time spent in
// the flash's pause. With --read-only the data directory is made read-only after the history
// files exist (run it as a user other than root, for whom no mode is read-only): the records
// go into the writable history files, and the warnings shown are counted.
#include "app/app.h"
#include "base/clock.h"
#include "bench_util.h"
#include "training/frmmain.h"
#include "widgets/pause.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>

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

    constexpr int Runs = 40;
    std::vector<double> pauseWall, pauseCpu, nextWall, nextCpu;
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
    }
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
    if (readOnly)
        std::printf("  read-only data directory: %d warnings in %d Nexts\n", dialogs.warnings,
                    Runs);
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return 0;
}

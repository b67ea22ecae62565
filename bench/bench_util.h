#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

// Small helpers for the timing programs: medians of repeated runs, and external commands.
namespace bench {

// Median wall time in milliseconds of `runs` calls.
inline double medianMs(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Median wall time of a shell command.
inline double commandMs(int runs, const QByteArray& command) {
    return medianMs(runs, [&] {
        if (std::system(command.constData()) != 0)
            std::fprintf(stderr, "command failed: %s\n", command.constData());
    });
}

// A history file of `records` lines, about 30 bytes each, as the training window writes them.
QByteArray historyBytes(int records);

} // namespace bench

#pragma once

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QString>
#include <QTemporaryDir>
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

// The median of some values.
inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Median wall time of a shell command.
inline double commandMs(int runs, const QByteArray& command) {
    return medianMs(runs, [&] {
        if (std::system(command.constData()) != 0)
            std::fprintf(stderr, "command failed: %s\n", command.constData());
    });
}

// The number of records from the command line (the first argument), a million by default.
inline int recordsArgument(int argc, char* argv[]) {
    return argc > 1 ? std::atoi(argv[1]) : 1'000'000;
}

// A fresh temporary working directory for one run.
class WorkDir {
public:
    WorkDir() { QDir::setCurrent(dir_.path()); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
};

// Writes a history of `records` lines, about 30 bytes each, as the training window writes them,
// for the item `name` into the working directory; its absolute path, or
// nothing when it cannot be written.
QByteArray writeHistory(const QString& name, int records);

// The reference for reading a history: `iconv -f CP932 -t UTF-8 FILE | wc -l`, the median of
// `runs` in milliseconds.
double iconvMs(const QByteArray& path, int runs);

} // namespace bench

#include "help/html_help.h"
#include "widgets/dialogs.h"

#include <QEvent>
#include <QObject>
#include <ctime>
#include <sys/resource.h>

namespace bench {

// Boxes answered at once with OK, and no help: the benchmarks measure the program's own work.
class AutoDialogs final : public Dialogs {
public:
    Answer message(QWidget*, const QString&, const QString&, Icon icon, Buttons) override {
        warnings += icon == Icon::Warning;
        return Answer::Ok;
    }
    int warnings = 0;
    QString input(QWidget*, const QString&, const QString&) override { return {}; }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
};

class NoHelp final : public HtmlHelp {
public:
    quintptr HtmlHelpA(QWidget*, const QString&, unsigned, quintptr) override { return 0; }
};

// CPU time of the whole process, in milliseconds.
inline double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// CPU time of the children waited for so far (the commands run), in milliseconds.
inline double childrenCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Waits, processing events, until `widget` has been painted once.
void waitForPaint(QWidget* widget);

// The peak resident set size of this process so far, in MiB.
double peakMiB();

// Writes an item list file of `count` items with Japanese names into the working directory.
void writeItems(int count);

} // namespace bench

#include "bench_util.h"

#include "data/history.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QWidget>
#include <sys/resource.h>
#include <unistd.h>

#include "base/cp932.h"

namespace bench {

QByteArray writeHistory(const QString& name, int records) {
    // Written a megabyte at a time: the whole file in memory would count in the peak memory
    // of the programs that measure theirs.
    QFile file(historyFileName(name));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    QByteArray bytes;
    QDateTime when(QDate(2026, 1, 1), QTime(6, 0, 0), Qt::UTC); // UTC: no time zone lookups
    for (int i = 0; i < records; ++i) {
        bytes += history::recordBytes(when, 10 + i % 90);
        when = when.addSecs(37);
        if (bytes.size() >= (1 << 20) || i == records - 1) {
            if (file.write(bytes) != bytes.size())
                return {};
            bytes.clear();
        }
    }
    // On the disk before anything is timed: the kernel would otherwise write the dirty pages
    // back half a minute later, in the middle of the measurements.
    if (!file.flush() || ::fsync(file.handle()) != 0)
        return {};
    return QFile::encodeName(QFileInfo(file).absoluteFilePath());
}

double iconvMs(const QByteArray& path, int runs) {
    return commandMs(runs, "iconv -f CP932 -t UTF-8 '" + path + "' | wc -l > /dev/null");
}

namespace {

class PaintProbe : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        painted = painted || event->type() == QEvent::Paint;
        return false;
    }
    bool painted = false;
};

} // namespace

void waitForPaint(QWidget* widget) {
    PaintProbe probe;
    widget->installEventFilter(&probe);
    QElapsedTimer timeout;
    timeout.start();
    while (!probe.painted && timeout.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    widget->removeEventFilter(&probe);
}

double peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

void writeItems(int count) {
    QByteArray bytes;
    for (int i = 1; i <= count; ++i)
        bytes += *cp932::encode(QStringLiteral("\"トレーニング項目%1\",%2\r\n").arg(i).arg(10 + i))
                      .bytes;
    QFile file(QStringLiteral("項目一覧.txt"));
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

} // namespace bench

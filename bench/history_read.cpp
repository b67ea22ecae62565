// Reading a history file of a million records, side by side with `iconv -f CP932 | wc -l`.
#include "base/text_to_number.h"
#include "bench_util.h"
#include "data/history.h"
#include "data/safe_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int records = bench::recordsArgument(argc, argv);
    const bench::WorkDir dir;
    const QString name = QStringLiteral("腕立て伏せ");
    const QByteArray path = bench::writeHistory(name, records);
    if (path.isEmpty())
        return 1;
    const Folder folder = Folder::open(QString()).value();
    const int runs = 7;
    const double iconvMs = bench::iconvMs(path, runs);
    const double rawMs = bench::medianMs(runs, [&] {
        QFile file(historyFileName(name));
        if (!file.open(QIODevice::ReadOnly) || file.readAll().isEmpty())
            std::fprintf(stderr, "cannot read\n");
    });
    const double readMs = bench::medianMs(runs, [&] {
        const HistoryFile file = HistoryFile::read(folder, name).value();
        if (file.count() != records)
            std::fprintf(stderr, "wrong count %d\n", file.count());
    });
    const double totalMs = bench::medianMs(runs, [&] {
        const HistoryFile file = HistoryFile::read(folder, name).value();
        double total = 0;
        for (int i = 0; i < file.count(); ++i)
            total = static_cast<double>(toInt64Clamped(total + TextToNumber(file.countField(i))));
        if (total <= 0)
            std::fprintf(stderr, "no total\n");
    });
    const double decodeMs = bench::medianMs(3, [&] {
        const HistoryFile file = HistoryFile::read(folder, name).value();
        qsizetype chars = 0;
        for (int i = 0; i < file.count(); ++i)
            chars += file.record(i).date.size();
        if (chars == 0)
            std::fprintf(stderr, "nothing decoded\n");
    });

    std::printf("history file: %d records, %.1f MB\n", records,
                QFileInfo(QString::fromLocal8Bit(path)).size() / 1e6);
    std::printf("iconv -f CP932 -t UTF-8 | wc -l      %8.1f ms\n", iconvMs);
    std::printf("QFile::readAll of the file, for scale %8.1f ms  (%.2fx)\n", rawMs,
                rawMs / iconvMs);
    std::printf("read all records (index)             %8.1f ms  (%.2fx)\n", readMs,
                readMs / iconvMs);
    std::printf("read all records and sum the counts  %8.1f ms  (%.2fx)\n", totalMs,
                totalMs / iconvMs);
    std::printf("read and decode every record         %8.1f ms  (%.2fx)\n", decodeMs,
                decodeMs / iconvMs);
    return 0;
}

#include "bench_util.h"

#include "data/history.h"

#include <QDateTime>

namespace bench {

QByteArray historyBytes(int records) {
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(records) * 31);
    QDateTime when(QDate(2026, 1, 1), QTime(6, 0, 0));
    for (int i = 0; i < records; ++i) {
        bytes += history::recordBytes(when, 10 + i % 90);
        when = when.addSecs(37);
    }
    return bytes;
}

} // namespace bench

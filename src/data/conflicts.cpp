#include "data/conflicts.h"

#include "data/dating.h"
#include "data/records.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <limits>
#include <vector>

namespace conflicts {
namespace {

struct Shape {
    Tool tool;
    QRegularExpression pattern; // the original's stem is the first group
};

const std::vector<Shape>& shapes() {
    static const std::vector<Shape> all = {
        {Tool::Syncthing, QRegularExpression(QStringLiteral(
                              "^(.+)\\.sync-conflict-\\d{8}-\\d{6}(?:-[A-Z0-9]{7})?\\.txt$"))},
        {Tool::Nextcloud,
         QRegularExpression(QStringLiteral(
             "^(.+) \\(conflicted copy (?:.+ )?\\d{4}-\\d{2}-\\d{2} \\d{6}\\)\\.txt$"))},
        {Tool::Dropbox,
         QRegularExpression(QStringLiteral("^(.+) \\((?:.+'s conflicted copy|.+ ?の競合コピー) "
                                           "\\d{4}-\\d{2}-\\d{2}(?: \\(\\d+\\))?\\)\\.txt$"))},
    };
    return all;
}

// One record with the moment it stands for (seconds on the local calendar); a record that
// cannot be dated stands at the moment of the one before it.
struct Line {
    QByteArrayView bytes;
    qint64 moment = std::numeric_limits<qint64>::min();
};

std::vector<Line> linesOf(QByteArrayView file, const QDateTime& modified) {
    std::vector<Line> lines;
    std::vector<std::optional<dating::Stamp>> stamps;
    records::LineScanner scanner(file);
    for (QByteArrayView line; scanner.next(line);) {
        const auto fields = records::splitFields<3>(line);
        lines.push_back({line});
        stamps.push_back(dating::parseStamp(fields[0], fields[1]));
    }
    const std::vector<QDate> dates =
        dating::dateStamps(stamps, modified.isValid() ? modified : QDateTime::currentDateTime());
    qint64 moment = std::numeric_limits<qint64>::min();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (dates[i].isValid())
            moment = dates[i].toJulianDay() * 86400 + stamps[i]->second;
        lines[i].moment = moment;
    }
    return lines;
}

} // namespace

std::optional<Copy> recognise(const QString& name) {
    for (const Shape& shape : shapes())
        if (const QRegularExpressionMatch match = shape.pattern.match(name); match.hasMatch())
            return Copy{name, match.captured(1) + QStringLiteral(".txt"), shape.tool};
    return std::nullopt;
}

QByteArray mergeHistories(QByteArrayView ours, const QDateTime& oursModified, QByteArrayView theirs,
                          const QDateTime& theirsModified, int* added) {
    const std::vector<Line> mine = linesOf(ours, oursModified);
    QHash<QByteArray, int> held;
    for (const Line& line : mine)
        ++held[line.bytes.toByteArray()];
    // Their records that ours lacks, in time order (the order of their file among equals).
    std::vector<Line> extra;
    for (const Line& line : linesOf(theirs, theirsModified)) {
        int& count = held[line.bytes.toByteArray()];
        if (count > 0)
            --count;
        else
            extra.push_back(line);
    }
    std::stable_sort(extra.begin(), extra.end(),
                     [](const Line& a, const Line& b) { return a.moment < b.moment; });
    if (added)
        *added = static_cast<int>(extra.size());

    QByteArray merged;
    merged.reserve(ours.size() + theirs.size() + 2 * qsizetype(mine.size() + extra.size()));
    const auto put = [&merged](const Line& line) { merged.append(line.bytes).append("\r\n"); };
    auto next = extra.begin();
    for (const Line& line : mine) {
        for (; next != extra.end() && next->moment < line.moment; ++next)
            put(*next);
        put(line);
    }
    for (; next != extra.end(); ++next)
        put(*next);
    return merged;
}

} // namespace conflicts

#include "data/conflicts.h"

#include "data/dating.h"
#include "data/kept_years.h"
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
        {Tool::Syncthing,
         QRegularExpression(QStringLiteral(
             "^(.+)\\.sync-conflict-\\d{8}-\\d{6}(?:-[A-Z0-9]{7})?\\.(txt|yarukin)$"))},
        {Tool::Nextcloud,
         QRegularExpression(QStringLiteral(
             "^(.+) \\(conflicted copy (?:.+ )?\\d{4}-\\d{2}-\\d{2} \\d{6}\\)\\.(txt|yarukin)$"))},
        {Tool::Dropbox, QRegularExpression(QStringLiteral(
                            "^(.+) \\((?:.+'s conflicted copy|.+ ?の競合コピー) "
                            "\\d{4}-\\d{2}-\\d{2}(?: \\(\\d+\\))?\\)\\.(txt|yarukin)$"))},
    };
    return all;
}

// One record with the moment it stands for (seconds on the local calendar); a record that
// cannot be dated stands at the moment of the one before it.
struct Line {
    QByteArrayView bytes;
    qint64 moment = std::numeric_limits<qint64>::min();
};

std::vector<Line> linesOf(QByteArrayView file, const QDateTime& modified,
                          const std::vector<dating::Anchor>& anchors) {
    std::vector<Line> lines;
    std::vector<std::optional<dating::Stamp>> stamps;
    records::LineScanner scanner(file);
    for (QByteArrayView line; scanner.next(line);) {
        const auto fields = records::splitFields<3>(line);
        lines.push_back({line});
        stamps.push_back(dating::parseStamp(fields[0], fields[1]));
    }
    const std::vector<dating::Run> kept = dating::runsOf(
        file, anchors, lines.size(), [&](size_t i) { return lines[i].bytes.data() - file.data(); });
    const std::vector<QDate> dates = dating::dateStamps(
        stamps, modified.isValid() ? modified : QDateTime::currentDateTime(), kept);
    qint64 moment = std::numeric_limits<qint64>::min();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (dates[i].isValid())
            moment = dates[i].toJulianDay() * 86400 + stamps[i]->second;
        lines[i].moment = moment;
    }
    return lines;
}

QDateTime momentTime(qint64 moment) {
    return QDateTime(QDate::fromJulianDay(moment / 86400),
                     QTime::fromMSecsSinceStartOfDay(int(moment % 86400) * 1000));
}

} // namespace

std::optional<Copy> recognise(const QString& name) {
    for (const Shape& shape : shapes())
        if (const QRegularExpressionMatch match = shape.pattern.match(name); match.hasMatch()) {
            const QString original = match.captured(1) + u'.' + match.captured(2);
            // Of the program's other files, only the kept years are shared.
            if (match.captured(2) == u"txt" || original == kept_years::FileName)
                return Copy{name, original, shape.tool};
        }
    return std::nullopt;
}

QByteArray mergeHistories(QByteArrayView ours, const QDateTime& oursModified, QByteArrayView theirs,
                          const QDateTime& theirsModified, int* added,
                          const std::vector<dating::Anchor>& anchors,
                          std::vector<dating::Anchor>* mergedAnchors) {
    const std::vector<Line> mine = linesOf(ours, oursModified, anchors);
    QHash<QByteArray, int> held;
    for (const Line& line : mine)
        ++held[line.bytes.toByteArray()];
    // Their records that ours lacks, in time order (the order of their file among equals).
    std::vector<Line> extra;
    for (const Line& line : linesOf(theirs, theirsModified, anchors)) {
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
    // The merged file's years as the merge knew them: an anchor before each long break.
    qint64 last = std::numeric_limits<qint64>::min();
    const auto put = [&](const Line& line) {
        if (mergedAnchors && last != std::numeric_limits<qint64>::min() &&
            line.moment - last > 183 * qint64(86400))
            mergedAnchors->push_back({merged.size(), dating::checksum(merged), momentTime(last)});
        last = line.moment;
        merged.append(line.bytes).append("\r\n");
    };
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

#include "data/kept_years.h"

#include "data/history.h"
#include "data/safe_file.h"

#include <QLoggingCategory>
#include <algorithm>

namespace kept_years {
namespace {

Q_LOGGING_CATEGORY(lcYears, "yarukin.files", QtWarningMsg)

constexpr QByteArrayView Header = "yarukin kept years 1";
// A few lines per item are all it ever holds; anything far larger is no file of ours.
constexpr qint64 MaxSize = qint64(1) << 20;
const QString MomentFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss");

void add(std::vector<dating::Anchor>& anchors, const dating::Anchor& anchor) {
    if (std::find(anchors.begin(), anchors.end(), anchor) == anchors.end())
        anchors.push_back(anchor);
}

} // namespace

Anchors parse(QByteArrayView bytes) {
    Anchors anchors;
    const QList<QByteArray> lines = bytes.toByteArray().split('\n');
    if (lines.isEmpty() || lines.front().trimmed() != Header)
        return anchors;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].trimmed().split('\t');
        if (fields.size() != 4)
            continue;
        bool sizeOk = false, sumOk = false;
        dating::Anchor anchor{fields[1].toLongLong(&sizeOk), fields[2].toULongLong(&sumOk, 16),
                              QDateTime::fromString(QString::fromLatin1(fields[3]), MomentFormat)};
        const QString name = QString::fromUtf8(fields[0]);
        if (sizeOk && sumOk && anchor.size > 0 && anchor.newest.isValid() && !name.isEmpty())
            add(anchors[name], anchor);
    }
    return anchors;
}

QByteArray render(const Anchors& anchors) {
    QByteArray bytes = Header.toByteArray() + '\n';
    QStringList names = anchors.keys();
    names.sort(); // the same anchors, the same bytes: a sync tool sees no change
    for (const QString& name : names)
        for (const dating::Anchor& anchor : anchors[name])
            bytes += name.toUtf8() + '\t' + QByteArray::number(anchor.size) + '\t' +
                     QByteArray::number(anchor.sum, 16) + '\t' +
                     anchor.newest.toString(MomentFormat).toLatin1() + '\n';
    return bytes;
}

Anchors merged(Anchors ours, const Anchors& theirs) {
    for (auto it = theirs.begin(); it != theirs.end(); ++it)
        for (const dating::Anchor& anchor : it.value())
            add(ours[it.key()], anchor);
    return ours;
}

Anchors read(const Folder& folder) {
    const std::optional<safe_file::Looks> looks = safe_file::looksOf(folder, FileName);
    if (!looks || looks->size > MaxSize)
        return {};
    const Expected<FileBytes> bytes = safe_file::readAll(folder, FileName);
    if (!bytes) {
        qCWarning(lcYears) << "kept years unread:" << bytes.error().reason;
        return {};
    }
    return parse(bytes->bytes.view());
}

Step write(const Folder& folder, const Anchors& anchors) {
    return safe_file::replace(folder, FileName, render(anchors));
}

bool longBreak(const QDateTime& modified, const QDateTime& when) {
    if (!modified.isValid())
        return false;
    // Half a year in the user's days, a summer time change among them; a day less in plain
    // time rules out the usual append without a walk to the time zone's file.
    if (modified.msecsTo(when) < 182 * qint64(86'400'000))
        return false;
    return when > modified.toLocalTime().addDays(183);
}

void noteAppend(const Folder& folder, const QString& itemName, qint64 sizeBefore,
                const QDateTime& modifiedBefore, const QDateTime& when) {
    if (sizeBefore <= 0 || !longBreak(modifiedBefore, when))
        return;
    const Expected<FileBytes> history = safe_file::readAll(folder, historyFileName(itemName));
    if (!history || history->bytes.size() < sizeBefore) {
        qCWarning(lcYears) << "kept years: history unread" << itemName;
        return;
    }
    const QByteArrayView bytes = history->bytes.view();
    Anchors anchors = read(folder);
    std::vector<dating::Anchor>& mine = anchors[itemName];
    // An anchor the file no longer begins with (emptied, edited, merged) is of no more use.
    mine = dating::vouching(bytes, std::move(mine));
    add(mine,
        {sizeBefore, dating::checksum(bytes.first(sizeBefore)), modifiedBefore.toLocalTime()});
    if (const Step written = write(folder, anchors); !written)
        qCWarning(lcYears) << "kept years unwritten:" << written.error().reason;
}

} // namespace kept_years

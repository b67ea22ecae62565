#pragma once

#include "data/dating.h"
#include "data/file_result.h"
#include "data/folder.h"

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <vector>

// What the program learns of its histories' years, kept beside them: a history record has no
// year, and after a break of about a year its file alone cannot tell which year its older
// records belong to. At an append after a long break the file's time still tells it, so the
// program notes it (a dating::Anchor) in a small file of its own, which older copies of the
// program ignore: its name ends in no ".txt", so no item's history can take it. The histories
// and the item list are never changed for it. The file is a convenience: a missing, damaged or
// hostile one costs dates at most, never a record, and never stops a write of the histories.
namespace kept_years {

inline const QString FileName = QStringLiteral("記録の年.yarukin");

// The anchors of each history, by item name.
using Anchors = QHash<QString, std::vector<dating::Anchor>>;

// One line per anchor: the item name, the size, the checksum in hex and the moment, separated
// by tabs (no item name can hold one), after a first line that names the file's kind. Lines
// that do not read so are passed over.
Anchors parse(QByteArrayView bytes);
QByteArray render(const Anchors& anchors);
// The anchors of both, each once.
Anchors merged(Anchors ours, const Anchors& theirs);

// The kept file's anchors: none when it is missing, cannot be read or is far too large.
Anchors read(const Folder& folder);
// Replaces the kept file atomically.
Step write(const Folder& folder, const Anchors& anchors);

// Notes, after an append to the item's history, what the file's time said just before it,
// when the append comes after a break long enough that the year rule could misdate the older
// records: more than half a year after the file last changed. `before` is the history as it
// looked then (size and modification). Anchors that no longer vouch for the file are dropped
// on the way. Its failures are only logged: the record is kept all the same.
void noteAppend(const Folder& folder, const QString& itemName, qint64 sizeBefore,
                const QDateTime& modifiedBefore, const QDateTime& when);
// Whether an append at `when` to a file last changed at `modified` is after such a break.
bool longBreak(const QDateTime& modified, const QDateTime& when);

} // namespace kept_years

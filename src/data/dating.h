#pragma once

#include "data/history.h"

#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <functional>
#include <optional>
#include <vector>

// A history record holds a month, a day and a time of day, but no year. Records are appended
// in time order, so the years follow from the file itself: walking backwards from the newest
// record, each record is dated at the latest moment its month, day and time can stand for that
// lies at most 24 hours after the record that follows it (for the newest record: after the
// file's last modification). So a record later in the year than the one after it belongs to
// the year before, unless it is later by a day at most: that is a clock set back (time sync,
// the end of summer time, travel), and the order stays as the file has it. Likewise a file
// time up to a day behind its newest record (FAT's 2 seconds, a share's slow clock) still
// dates it in the file time's year. A 29 February belongs to a leap year.
// What the file cannot show: a break of about a year or more between two records, and a file
// copied without its modification time dates from the copy. For the first, the program keeps
// what the file's time said at each append after a long break (kept_years: Anchor).
namespace dating {

// A record's month, day and time of day.
struct Stamp {
    qint8 month = 0;
    qint8 day = 0;
    qint32 second = 0; // since midnight
};

// The time of day of a time field ("18時36分11秒" in code page 932), in seconds, or nothing.
std::optional<int> parseTime(QByteArrayView time);
// Month, day and time from a record's date and time fields ("12月05日", "18時36分11秒"), or
// nothing when either does not parse (a hand-edited record).
std::optional<Stamp> parseStamp(QByteArrayView date, QByteArrayView time);

// What the program learnt at an append after a long break, before the file's time moved on:
// the records in the file's first `size` bytes, whose checksum is `sum`, end at `newest`.
struct Anchor {
    qint64 size = 0;
    quint64 sum = 0;
    QDateTime newest;
    bool operator==(const Anchor&) const = default;
};
// A checksum of a file's first bytes, the same on every computer.
quint64 checksum(QByteArrayView bytes);

// The anchors that still vouch for `file`, in order of size: an anchor whose bytes the file no
// longer begins with (edited by hand, merged, emptied) vouches for nothing.
std::vector<Anchor> vouching(QByteArrayView file, std::vector<Anchor> anchors);

// A run of records dated from its own newest moment: those before the record `end` (and
// from the end of the run before).
struct Run {
    size_t end = 0;
    QDateTime newest;
};
// The runs that the anchors still vouch for in `file`. `startOf(i)` is the offset of record i,
// ascending, of `count` records.
std::vector<Run> runsOf(QByteArrayView file, std::vector<Anchor> anchors, size_t count,
                        const std::function<qint64(size_t)>& startOf);

// The date of every stamp, in file order; a null date where there is no stamp, and the
// dating goes on across it. `newest` is the file's modification: the newest record lies at
// most a day after it. Each of `kept` dates its own records from its newest moment instead.
std::vector<QDate> dateStamps(const std::vector<std::optional<Stamp>>& stamps,
                              const QDateTime& newest, const std::vector<Run>& kept = {});

} // namespace dating

// A history file with a date for every record that can be dated.
class DatedHistory {
public:
    // Reads the item's history file. `now` stands in for a modification time the file lacks;
    // `anchors` are what the program kept of its years (those that still vouch for it count).
    static Expected<DatedHistory> read(const Folder& folder, const QString& itemName,
                                       const QDateTime& now,
                                       const std::vector<dating::Anchor>& anchors = {});

    const HistoryFile& file() const { return file_; }
    int size() const { return file_.count(); }
    // The record's date, or a null date when it cannot be dated.
    QDate date(int index) const { return dates_[static_cast<size_t>(index)]; }
    // The record's time of day in seconds, or -1 when its time field does not parse.
    int second(int index) const { return seconds_[static_cast<size_t>(index)]; }
    // The record's count field as the file holds it, and as a number.
    QByteArrayView countField(int index) const;
    double value(int index) const;

private:
    HistoryFile file_;
    std::vector<QDate> dates_;
    std::vector<qint32> seconds_;
    // Where each count field lies in the file's bytes: the fields are cut only once.
    std::vector<std::pair<quint32, quint32>> counts_;
};

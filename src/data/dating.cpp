#include "data/dating.h"

#include "base/text_to_number.h"

#include <QtEndian>
#include <algorithm>

namespace dating {
namespace {

// The code page 932 bytes of the characters that follow the numbers of the two fields.
constexpr char Month[] = "\x8c\x8e";  // 月
constexpr char Day[] = "\x93\xfa";    // 日
constexpr char Hour[] = "\x8e\x9e";   // 時
constexpr char Minute[] = "\x95\xaa"; // 分
constexpr char Second[] = "\x95\x62"; // 秒

// Two ASCII digits at `pos` followed by a two-byte character; the number, or -1. Inlined: it
// reads five numbers of each of a million records.
[[gnu::always_inline]] inline int twoDigitsBefore(QByteArrayView text, qsizetype pos,
                                                  const char* mark) {
    if (pos + 4 > text.size())
        return -1;
    const char tens = text[pos], ones = text[pos + 1];
    if (tens < '0' || tens > '9' || ones < '0' || ones > '9')
        return -1;
    if (text[pos + 2] != mark[0] || text[pos + 3] != mark[1])
        return -1;
    return (tens - '0') * 10 + (ones - '0');
}

// A moment as a count of seconds on the local calendar: clock changes and zones aside, which
// is all a record knows of its time.
using Moment = qint64;
constexpr Moment SecondsPerDay = 86400;

// Days since 1970-01-01 of a day of the proleptic Gregorian calendar (year 0 is 1 BC), by
// integer arithmetic alone: a million records must date in a few milliseconds.
qint64 dayNumber(qint64 year, int month, int day) {
    year -= month <= 2;
    const qint64 era = (year >= 0 ? year : year - 399) / 400;
    const qint64 yearOfEra = year - era * 400;
    const qint64 dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const qint64 dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool isLeap(qint64 year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

Moment momentOf(qint64 year, const Stamp& stamp) {
    return dayNumber(year, stamp.month, stamp.day) * SecondsPerDay + stamp.second;
}

// The year of the latest moment with the stamp's month, day and time that is not after
// `bound`, searched from `fromYear` down. A 29 February needs a leap year.
qint64 latestYear(const Stamp& stamp, qint64 fromYear, Moment bound) {
    const bool leapDay = stamp.month == 2 && stamp.day == 29;
    for (qint64 year = fromYear;; --year)
        if ((!leapDay || isLeap(year)) && momentOf(year, stamp) <= bound)
            return year;
}

// The Julian day of 1970-01-01, where dayNumber counts from.
constexpr qint64 JulianDayOfEpoch = 2440588;

} // namespace

std::optional<int> parseTime(QByteArrayView time) {
    if (time.size() != 12)
        return std::nullopt;
    const int hour = twoDigitsBefore(time, 0, Hour);
    const int minute = twoDigitsBefore(time, 4, Minute);
    const int second = twoDigitsBefore(time, 8, Second);
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    return hour * 3600 + minute * 60 + second;
}

std::optional<Stamp> parseStamp(QByteArrayView date, QByteArrayView time) {
    if (date.size() != 8)
        return std::nullopt;
    const int month = twoDigitsBefore(date, 0, Month);
    const int day = twoDigitsBefore(date, 4, Day);
    // A day that no year has (04月31日, 02月30日) cannot be dated.
    // The days of each month in a leap year, without a QDate made for every record.
    constexpr int Days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > Days[month - 1])
        return std::nullopt;
    const std::optional<int> second = parseTime(time);
    if (!second)
        return std::nullopt;
    return Stamp{month, day, *second};
}

namespace {

// Dates the stamps [begin, end) from `newest` backwards, as the file's year rule does.
void dateRun(const std::vector<std::optional<Stamp>>& stamps, size_t begin, size_t end,
             const QDateTime& newest, std::vector<QDate>& dates) {
    // Each record is dated at the latest moment its month, day and time can stand for that is
    // at most a day after the record that follows it; the newest record at most a day after
    // the file's modification. The day's leeway takes in a clock set back (time sync, the end
    // of summer time, another machine) and a file time that lags behind (FAT keeps 2 s, a
    // share's clock runs slow) without moving the records before it a year back.
    const QDate newestDate = newest.date();
    qint64 year = newestDate.year() < 0 ? newestDate.year() + 1 : newestDate.year();
    Moment bound = dayNumber(year, newestDate.month(), newestDate.day()) * SecondsPerDay +
                   newest.time().msecsSinceStartOfDay() / 1000;
    const Stamp* after = nullptr;
    qint64 day = 0;
    for (size_t i = end; i-- > begin;) {
        if (!stamps[i])
            continue;
        const Stamp& stamp = *stamps[i];
        // A record of the same month and day as the one after it lies within that day's
        // leeway in its year, and in no later one: the day found for that record stands.
        if (!after || after->month != stamp.month || after->day != stamp.day) {
            // A day after `bound` lies in its year or, from 31 December on, in the next one.
            year = latestYear(stamp, year + 1, bound + SecondsPerDay);
            day = dayNumber(year, stamp.month, stamp.day);
        }
        dates[i] = QDate::fromJulianDay(day + JulianDayOfEpoch);
        bound = day * SecondsPerDay + stamp.second;
        after = &stamp;
    }
}

} // namespace

namespace {

// FNV-1a over little-endian words: a megabyte in well under a millisecond. The sums of several
// beginnings of one file are taken in one pass (Checksum::of, for sizes in order), so that no
// number of anchors, however hostile, reads the file more than once.
class Checksum {
public:
    explicit Checksum(QByteArrayView bytes) : bytes_(bytes) {}
    quint64 of(qsizetype size) {
        for (; words_ + 8 <= size; words_ += 8)
            sum_ = (sum_ ^ qFromLittleEndian<quint64>(bytes_.data() + words_)) * Prime;
        quint64 sum = sum_;
        for (qsizetype i = words_; i < size; ++i)
            sum = (sum ^ static_cast<uchar>(bytes_[i])) * Prime;
        return sum ^ static_cast<quint64>(size);
    }

private:
    static constexpr quint64 Prime = 1099511628211ULL;
    QByteArrayView bytes_;
    qsizetype words_ = 0;
    quint64 sum_ = 14695981039346656037ULL;
};

} // namespace

quint64 checksum(QByteArrayView bytes) {
    return Checksum(bytes).of(bytes.size());
}

std::vector<Anchor> vouching(QByteArrayView file, std::vector<Anchor> anchors) {
    std::sort(anchors.begin(), anchors.end(),
              [](const Anchor& a, const Anchor& b) { return a.size < b.size; });
    Checksum sums(file);
    std::erase_if(anchors, [&](const Anchor& anchor) {
        return anchor.size <= 0 || anchor.size > file.size() || !anchor.newest.isValid() ||
               sums.of(anchor.size) != anchor.sum;
    });
    return anchors;
}

std::vector<Run> runsOf(QByteArrayView file, std::vector<Anchor> anchors, size_t count,
                        const std::function<qint64(size_t)>& startOf) {
    std::vector<Run> runs;
    for (const Anchor& anchor : vouching(file, std::move(anchors))) {
        // The first record that begins at or after the anchor's end.
        size_t low = runs.empty() ? 0 : runs.back().end, high = count;
        while (low < high) {
            const size_t middle = low + (high - low) / 2;
            if (startOf(middle) < anchor.size)
                low = middle + 1;
            else
                high = middle;
        }
        if (runs.empty() || low > runs.back().end)
            runs.push_back({low, anchor.newest});
    }
    return runs;
}

std::vector<QDate> dateStamps(const std::vector<std::optional<Stamp>>& stamps,
                              const QDateTime& newest, const std::vector<Run>& kept) {
    std::vector<QDate> dates(stamps.size());
    size_t begin = 0;
    for (const Run& run : kept) {
        const size_t end = std::min(run.end, stamps.size());
        dateRun(stamps, begin, end, run.newest, dates);
        begin = std::max(begin, end);
    }
    dateRun(stamps, begin, stamps.size(), newest, dates);
    return dates;
}

} // namespace dating

Expected<DatedHistory> DatedHistory::read(const Folder& folder, const QString& itemName,
                                          const QDateTime& now,
                                          const std::vector<dating::Anchor>& anchors) {
    Expected<HistoryFile> read = HistoryFile::read(folder, itemName);
    if (!read)
        return read.error();
    DatedHistory history;
    history.file_ = std::move(*read);
    const HistoryFile& file = history.file_;
    const auto count = static_cast<size_t>(file.count());
    std::vector<std::optional<dating::Stamp>> stamps(count);
    history.seconds_.resize(count);
    history.counts_.resize(count);
    const char* base = file.bytes().data();
    for (size_t i = 0; i < count; ++i) {
        const auto fields = file.fields(static_cast<int>(i));
        const qsizetype start = fields[2].data() ? fields[2].data() - base : 0;
        history.counts_[i] = {static_cast<quint32>(start), static_cast<quint32>(fields[2].size())};
        stamps[i] = dating::parseStamp(fields[0], fields[1]);
        history.seconds_[i] =
            stamps[i] ? stamps[i]->second : dating::parseTime(fields[1]).value_or(-1);
    }
    const std::vector<dating::Run> kept =
        anchors.empty() ? std::vector<dating::Run>()
                        : dating::runsOf(file.bytes(), anchors, count,
                                         [&](size_t i) { return file.start(static_cast<int>(i)); });
    history.dates_ =
        dating::dateStamps(stamps, file.modified().isValid() ? file.modified() : now, kept);
    return history;
}

QByteArrayView DatedHistory::countField(int index) const {
    const auto [start, size] = counts_[static_cast<size_t>(index)];
    return file_.bytes().sliced(start, size);
}

double DatedHistory::value(int index) const {
    return TextToNumber(countField(index));
}

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

// Both fields are two digits and a two-byte mark, repeated: "mm月dd日" and "hh時nn分ss秒". Each
// runs for a million records, so eight bytes are taken as one little-endian word, whose marks
// (bytes 2-3 and 6-7) are compared at once and whose digits are tested one by one.
constexpr quint64 MarkBytes = 0xFFFF'0000'FFFF'0000;

constexpr quint64 marks(const char* first, const char* second) {
    const auto byte = [](char c, int at) { return quint64(static_cast<unsigned char>(c)) << at; };
    return byte(first[0], 16) | byte(first[1], 24) | byte(second[0], 48) | byte(second[1], 56);
}

constexpr quint64 DateMarks = marks(Month, Day);
constexpr quint64 HourMinuteMarks = marks(Hour, Minute);
constexpr quint32 SecondMark = quint32(marks(Second, Second) & 0xFFFF'0000);

// The digit at `p`, or a number above 9.
[[gnu::always_inline]] inline unsigned digit(const char* p) {
    return static_cast<unsigned char>(*p) - unsigned{'0'};
}

// The two-digit numbers at bytes 0-1 and 4-5 of `p`, when the four are digits.
[[gnu::always_inline]] inline bool twoNumbers(const char* p, unsigned& first, unsigned& second) {
    const unsigned a = digit(p), b = digit(p + 1), c = digit(p + 4), d = digit(p + 5);
    if ((a > 9) | (b > 9) | (c > 9) | (d > 9))
        return false;
    first = a * 10 + b;
    second = c * 10 + d;
    return true;
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
    const char* p = time.data();
    if ((qFromLittleEndian<quint64>(p) & MarkBytes) != HourMinuteMarks ||
        (qFromLittleEndian<quint32>(p + 8) & 0xFFFF'0000) != SecondMark)
        return std::nullopt;
    unsigned hour = 0, minute = 0;
    const unsigned tens = digit(p + 8), ones = digit(p + 9);
    if (!twoNumbers(p, hour, minute) || tens > 9 || ones > 9)
        return std::nullopt;
    const unsigned second = tens * 10 + ones;
    if (hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return static_cast<int>(hour * 3600 + minute * 60 + second);
}

std::optional<Stamp> parseStamp(QByteArrayView date, QByteArrayView time) {
    if (date.size() != 8 || (qFromLittleEndian<quint64>(date.data()) & MarkBytes) != DateMarks)
        return std::nullopt;
    unsigned month = 0, day = 0;
    if (!twoNumbers(date.data(), month, day))
        return std::nullopt;
    // A day that no year has (04月31日, 02月30日) cannot be dated.
    // The days of each month in a leap year, without a QDate made for every record.
    constexpr unsigned Days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > Days[month - 1])
        return std::nullopt;
    const std::optional<int> second = parseTime(time);
    if (!second)
        return std::nullopt;
    return Stamp{static_cast<qint8>(month), static_cast<qint8>(day), *second};
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
    // Filled in order rather than made zero first: a million records are 30 MB of arrays.
    std::vector<std::optional<dating::Stamp>> stamps;
    stamps.reserve(count);
    history.seconds_.reserve(count);
    history.counts_.reserve(count);
    const char* base = file.bytes().data();
    for (size_t i = 0; i < count; ++i) {
        const auto fields = file.fields(static_cast<int>(i));
        const qsizetype start = fields[2].data() ? fields[2].data() - base : 0;
        history.counts_.emplace_back(static_cast<quint32>(start),
                                     static_cast<quint32>(fields[2].size()));
        const std::optional<dating::Stamp>& stamp =
            stamps.emplace_back(dating::parseStamp(fields[0], fields[1]));
        history.seconds_.push_back(stamp ? stamp->second
                                         : dating::parseTime(fields[1]).value_or(-1));
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

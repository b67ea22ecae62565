#include "data/history.h"

#include "base/cp932.h"
#include "base/text_to_number.h"
#include "data/records.h"

#include <QFile>
#include <cstring>
#include <limits>

QString historyFileName(const QString& itemName) {
    return itemName + QStringLiteral(".txt");
}

NameProblem historyNameProblem(const QString& itemName) {
    if (itemName.contains(u'"'))
        return {NameProblem::Quote, u'"'};
    for (const QChar c : itemName) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return {NameProblem::ControlCharacter, c};
        if (QStringView(u"/\\:*?<>|").contains(c))
            return {NameProblem::ForbiddenCharacter, c};
    }
    if (itemName == QStringView(u"項目一覧"))
        return {NameProblem::ItemListName, {}};
    if (QFile::encodeName(historyFileName(itemName)).size() > MaxFileNameBytes)
        return {NameProblem::TooLong, {}};
    return {};
}

QString NameProblem::text() const {
    switch (kind) {
    case None:
        break;
    case Quote:
        return QStringLiteral("項目名にダブルクォーテーション（\"）が含まれています");
    case ControlCharacter:
        return QStringLiteral("項目名に改行やタブなどの制御文字が含まれています");
    case ForbiddenCharacter:
        return QStringLiteral("項目名にファイル名に使えない文字（%1）が含まれています")
            .arg(character);
    case ItemListName:
        return QStringLiteral("項目名が項目一覧ファイルと同じ名前です");
    case TooLong:
        return QStringLiteral("項目名が長すぎます");
    }
    return {};
}

namespace history {

std::optional<FileProblem> refusal(const QString& itemName) {
    const NameProblem problem = historyNameProblem(itemName);
    if (!problem)
        return std::nullopt;
    return FileProblem{FileProblem::Action::UnusableName, itemName, problem.text()};
}

QByteArray recordBytes(const QDateTime& when, double count) {
    const QDate date = when.date();
    const QTime time = when.time();
    const auto two = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    const QString dateText = two(date.month()) + u'月' + two(date.day()) + u'日';
    const QString timeText =
        two(time.hour()) + u'時' + two(time.minute()) + u'分' + two(time.second()) + u'秒';
    QByteArray bytes;
    records::RecordWriter(bytes)
        .quoted(*cp932::encode(dateText).bytes)
        .quoted(*cp932::encode(timeText).bytes)
        .bare(NumberText(count).toLatin1())
        .end();
    return bytes;
}

Step append(const Folder& folder, const QString& itemName, double count, const QDateTime& when) {
    if (const auto refused = refusal(itemName))
        return *refused;
    return safe_file::append(folder, historyFileName(itemName), recordBytes(when, count));
}

Step create(const Folder& folder, const QString& itemName) {
    if (const auto refused = refusal(itemName))
        return *refused;
    return safe_file::create(folder, historyFileName(itemName));
}

Step empty(const Folder& folder, const QString& itemName) {
    if (const auto refused = refusal(itemName))
        return *refused;
    return safe_file::truncate(folder, historyFileName(itemName));
}

Step remove(const Folder& folder, const QString& itemName) {
    if (const auto refused = refusal(itemName))
        return *refused;
    return safe_file::remove(folder, historyFileName(itemName));
}

} // namespace history

Expected<HistoryFile> HistoryFile::read(const Folder& folder, const QString& itemName) {
    if (const auto refused = history::refusal(itemName))
        return *refused;
    Expected<FileBytes> read = safe_file::readAll(folder, historyFileName(itemName));
    if (!read)
        return read.error();
    HistoryFile file;
    file.missing_ = read->missing;
    file.modified_ = read->modified;
    file.bytes_ = std::move(read->bytes);
    // readAll refuses larger files, so every record's offset fits its 32 bits.
    static_assert(safe_file::MaxFileSize <= std::numeric_limits<quint32>::max());
    // Records written by the program are about 30 bytes long.
    file.lineStarts_.reserve(static_cast<size_t>(file.bytes_.size() / 28 + 1));
    records::LineScanner lines(file.bytes_.view());
    for (QByteArrayView line; lines.next(line);)
        file.lineStarts_.push_back(static_cast<quint32>(line.data() - file.bytes_.data()));
    return file;
}

QByteArrayView HistoryFile::line(int index) const {
    const QByteArrayView rest = bytes_.view().sliced(lineStarts_.at(index));
    const void* lf = std::memchr(rest.data(), '\n', static_cast<size_t>(rest.size()));
    qsizetype end = lf ? static_cast<const char*>(lf) - rest.data() : rest.size();
    if (end > 0 && rest[end - 1] == '\r')
        --end;
    return rest.first(end);
}

HistoryRecord HistoryFile::record(int index) const {
    const auto fields = records::splitFields<3>(line(index));
    return {cp932::decode(fields[0]), cp932::decode(fields[1]), cp932::decode(fields[2])};
}

namespace {

// Where the count begins in a record as the program writes it: "mm月dd日","hh時nn分ss秒",count.
constexpr qsizetype CountStart = 26;

// Whether the bytes from `p` (to `end`, the line's or the file's) begin with the two quoted
// fields in that shape: quotes and commas in their places, and nothing in the fields that
// could end one or the line early (a quote, a line feed; any byte up to the quote is taken for
// one, which only sends an odd record the long way). Then splitFields finds the date at 1 and
// the time at 12, and the count from CountStart on. Inlined, as the next: both run for each of
// a million records.
[[gnu::always_inline]] inline bool writtenShape(const char* p, const char* end) {
    if (end - p < CountStart || p[0] != '"' || p[9] != '"' || p[10] != ',' || p[11] != '"' ||
        p[24] != '"' || p[25] != ',')
        return false;
    // Eight bytes at a time: whether any is below 0x23, the quote's successor (the bit trick
    // answers "any" exactly, though not which).
    const auto plain = [p](qsizetype at) {
        quint64 word;
        std::memcpy(&word, p + at, sizeof word);
        constexpr quint64 Ones = ~quint64{0} / 255;
        return ((word - Ones * 0x23) & ~word & Ones * 0x80) == 0;
    };
    return plain(1) && plain(12) && plain(16); // the date, and the time in two overlapping parts
}

// The count's digits of a record as written, when the line ends right after them (a line
// feed, CR LF, or the file's end, a CR there too): what splitFields would cut there.
[[gnu::always_inline]] inline std::optional<QByteArrayView> writtenCount(const char* begin,
                                                                         const char* end) {
    const char* const digits = begin + CountStart;
    const char* q = digits;
    while (q < end && *q >= '0' && *q <= '9')
        ++q;
    if (q == end || *q == '\n' || (*q == '\r' && (q + 1 == end || q[1] == '\n')))
        return QByteArrayView(digits, q - digits);
    return std::nullopt;
}

} // namespace

// A million records are walked for a total, for the progress window and for an export: one as
// the program writes it is cut without looking for its line's end and its commas first.
QByteArrayView HistoryFile::countField(int index) const {
    const char* const begin = bytes_.data() + lineStarts_.at(index);
    const char* const end = bytes_.data() + bytes_.size();
    if (writtenShape(begin, end))
        if (const std::optional<QByteArrayView> count = writtenCount(begin, end))
            return *count;
    return fields(index)[2];
}

std::array<QByteArrayView, 3> HistoryFile::fields(int index) const {
    const char* const begin = bytes_.data() + lineStarts_.at(index);
    const char* const end = bytes_.data() + bytes_.size();
    if (writtenShape(begin, end))
        if (const std::optional<QByteArrayView> count = writtenCount(begin, end))
            return {QByteArrayView(begin + 1, 8), QByteArrayView(begin + 12, 12), *count};
    return records::splitFields<3>(line(index));
}

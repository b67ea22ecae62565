#include "data/csv_export.h"

#include "base/cp932.h"
#include "data/dating.h"
#include "data/kept_years.h"
#include "data/safe_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QSet>
#include <cstring>

namespace csv {
namespace {

// Two digits of a number below 100.
char* twoDigits(char* out, int n) {
    *out++ = char('0' + n / 10);
    *out++ = char('0' + n % 10);
    return out;
}

// YYYY-MM-DD; nothing for a record without a date, or with a year no four digits can write
// (a history walked back through thousands of years).
char* dateText(char* out, QDate date) {
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        return out;
    const int year = date.year();
    out = twoDigits(out, year / 100);
    out = twoDigits(out, year % 100);
    *out++ = '-';
    out = twoDigits(out, date.month());
    *out++ = '-';
    return twoDigits(out, date.day());
}

// HH:MM:SS; nothing for a time that does not parse.
char* timeText(char* out, int second) {
    if (second < 0)
        return out;
    out = twoDigits(out, second / 3600);
    *out++ = ':';
    out = twoDigits(out, second / 60 % 60);
    *out++ = ':';
    return twoDigits(out, second % 60);
}

// A decimal number as a spreadsheet reads it: a sign, digits with at most one point, and an
// exponent (-4, +3, 12.5, -1E+15).
bool isDecimalNumber(QByteArrayView text) {
    qsizetype i = 0;
    const auto digits = [&] {
        const qsizetype from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i - from;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    qsizetype mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == text.size();
}

// Plain ASCII that needs neither quotes nor the formula guard, as a count the program wrote
// always is.
bool isPlain(QByteArrayView bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80 || c == ',' || c == '"' || c == '\r' || c == '\n')
            return false;
    return !isFormula(bytes);
}

// The most one row can take: the name, the date, the time, three commas and CR LF (24
// bytes), and the count. A count byte can become three: an invalid byte or a half-width
// katakana is three bytes of UTF-8, and a quote is doubled within two more quotes and perhaps
// the formula guard's apostrophe, which a few bytes more cover.
qsizetype rowRoom(qsizetype nameField, qsizetype countBytes) {
    return nameField + 24 + 3 * countBytes + 8;
}

// The CSV is made in pieces of this size, each written before the next is made.
constexpr qsizetype PieceSize = qsizetype(1) << 20;

} // namespace

int Histories::writeTo(int fd) const {
    FileBuffer piece(PieceSize);
    if (piece.size() != PieceSize)
        return ENOMEM;
    char* out = piece.data();
    const auto put = [&out](QByteArrayView bytes) {
        std::memcpy(out, bytes.data(), static_cast<size_t>(bytes.size()));
        out += bytes.size();
    };
    off_t written = 0;
    const auto flush = [&] {
        const qsizetype size = out - piece.data();
        const int error = safe_file::writeAll(fd, QByteArrayView(piece.data(), size));
        out = piece.data();
#ifdef SYNC_FILE_RANGE_WRITE
        // The disk starts on each piece while the next is made, so that the flush at the end
        // has less to wait for; a pipe or a device refuses, and nothing depends on it.
        if (!error)
            ::sync_file_range(fd, written, size, SYNC_FILE_RANGE_WRITE);
#endif
        written += size;
        return error;
    };
    put("\xEF\xBB\xBF" + QByteArray("項目名,日付,時刻,回数\r\n"));
    for (const Part& part : parts) {
        // Records of one day follow each other, so the date's digits are worked out once a day.
        char date[16];
        qsizetype dateLength = 0;
        QDate dateShown;
        const DatedHistory& history = part.history;
        for (int r = 0; r < history.size(); ++r) {
            const QByteArrayView count = history.countField(r);
            const qsizetype room = rowRoom(part.nameField.size(), count.size());
            if (piece.data() + piece.size() - out < room) {
                if (const int error = flush())
                    return error;
                if (room > piece.size()) { // a hand-edited count longer than a piece
                    piece = FileBuffer(room);
                    if (piece.size() != room)
                        return ENOMEM;
                    out = piece.data();
                }
            }
            put(part.nameField);
            if (const QDate day = history.date(r); day != dateShown) {
                dateShown = day;
                dateLength = dateText(date, day) - date;
            }
            put(QByteArrayView(date, dateLength));
            *out++ = ',';
            out = timeText(out, history.second(r));
            *out++ = ',';
            if (isPlain(count))
                put(count);
            else
                put(cell(cp932::decode(count).toUtf8()));
            *out++ = '\r';
            *out++ = '\n';
        }
    }
    return flush();
}

bool isFormula(QByteArrayView utf8) {
    return !utf8.isEmpty() && QByteArrayView("=+-@\t\r").contains(utf8.front()) &&
           !isDecimalNumber(utf8);
}

QByteArray cell(QByteArrayView utf8) {
    return isFormula(utf8) ? field('\'' + utf8.toByteArray()) : field(utf8);
}

QByteArray field(QByteArrayView utf8) {
    bool quote = false;
    for (const char c : utf8)
        quote = quote || c == ',' || c == '"' || c == '\r' || c == '\n';
    if (!quote)
        return utf8.toByteArray();
    QByteArray quoted = utf8.toByteArray();
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

Histories histories(const DataDir& data, const std::optional<QString>& item, const QDateTime& now) {
    const GYMM& table = data.gymm();
    Histories result;
    QSet<QString> done;
    for (int i = 1; i <= table.ItemCount(); ++i) {
        const QString& name = table.ItemNames(i);
        if ((item && name != *item) || done.contains(name))
            continue;
        done.insert(name);
        Expected<DatedHistory> read = data.readDatedHistory(name, now);
        if (!read) {
            result.problems.append(read.error());
            continue;
        }
        result.records += read->size();
        result.parts.push_back({cell(name.toUtf8()) + ',', std::move(*read)});
    }
    return result;
}

std::optional<Histories> forExport(const DataDir& data, const std::optional<QString>& item,
                                   const QDateTime& now,
                                   const std::function<void(const FileProblem&, bool ends)>& tell) {
    std::optional<Histories> read = histories(data, item, now);
    for (const FileProblem& problem : read->problems) {
        const bool ends = item || problem.action != FileProblem::Action::UnusableName;
        tell(problem, ends);
        if (ends)
            return std::nullopt;
    }
    return read;
}

namespace {

// The names the data directory's own files go by: the item list and every history a
// registered item may have, whether it exists yet or not.
QStringList ownNames(const GYMM& table) {
    QStringList names{ItemListFileName, kept_years::FileName};
    for (int i = 1; i <= table.ItemCount(); ++i)
        if (!historyNameProblem(table.ItemNames(i)))
            names.append(historyFileName(table.ItemNames(i)));
    return names;
}

} // namespace

std::optional<FileProblem> checkTarget(const DataDir& data, const QString& path) {
    const QStringList own = ownNames(data.gymm());
    const FileProblem refused{FileProblem::Action::Write, path,
                              QStringLiteral("ヤルキン！のデータのファイルです"
                                             "（書き出し先にはできません）")};
    const std::optional<safe_file::Identity> target = safe_file::identityOf(path);
    for (const QString& name : own)
        if (target && target == safe_file::identityIn(data.folder(), name))
            return refused;
    // Where the file is or would be: the place a link leads to, else the name as given.
    QFileInfo place(QDir::current().absoluteFilePath(path));
    if (target)
        if (const QString resolved = place.canonicalFilePath(); !resolved.isEmpty())
            place = QFileInfo(resolved);
    const std::optional<safe_file::Identity> folder = safe_file::identityOf(data.folder());
    if (!folder || safe_file::identityOf(place.path()) != folder)
        return std::nullopt;
    for (const QString& name : own)
        if (place.fileName() == name || safe_file::isTemporaryName(place.fileName(), name))
            return refused;
    // Nor any other history's name: an item registered later under it would take the CSV for
    // its history.
    if (place.fileName().endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive))
        return FileProblem{FileProblem::Action::Write, path,
                           QStringLiteral("データのフォルダーの .txt ファイルは項目の履歴になります"
                                          "（書き出し先にはできません）")};
    return std::nullopt;
}

Step write(const DataDir& data, const QString& path, const safe_file::Writer& write) {
    if (const std::optional<FileProblem> refused = checkTarget(data, path))
        return *refused;
    return safe_file::writeUserFile(path, write);
}

Step write(const DataDir& data, const QString& path, const Histories& histories) {
    return write(data, path, [&histories](int fd) { return histories.writeTo(fd); });
}

} // namespace csv

#include "data/csv_export.h"

#include "base/cp932.h"
#include "data/dating.h"

#include <QSet>

namespace csv {
namespace {

// Two digits of a number below 100.
void twoDigits(QByteArray& out, int n) {
    out.append(char('0' + n / 10)).append(char('0' + n % 10));
}

void appendDate(QByteArray& out, QDate date) {
    if (!date.isValid())
        return;
    out.append(QByteArray::number(date.year()).rightJustified(4, '0'));
    out.append('-');
    twoDigits(out, date.month());
    out.append('-');
    twoDigits(out, date.day());
}

void appendTime(QByteArray& out, int second) {
    if (second < 0)
        return;
    twoDigits(out, second / 3600);
    out.append(':');
    twoDigits(out, second / 60 % 60);
    out.append(':');
    twoDigits(out, second % 60);
}

bool isAscii(QByteArrayView bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// The count field as UTF-8: as it stands when it is plain ASCII, as it always is when the
// program wrote it.
QByteArray countText(QByteArrayView raw) {
    return isAscii(raw) ? field(raw) : field(cp932::decode(raw).toUtf8());
}

} // namespace

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

Histories histories(const GYMM& table, const std::optional<QString>& item, const QDateTime& now) {
    Histories result;
    result.bytes = "\xEF\xBB\xBF" + QByteArray("項目名,日付,時刻,回数\r\n");
    QSet<QString> done;
    for (int i = 1; i <= table.ItemCount(); ++i) {
        const QString& name = table.ItemNames(i);
        if ((item && name != *item) || done.contains(name))
            continue;
        done.insert(name);
        const DatedHistory history = DatedHistory::read(name, now);
        if (history.file().result().hasProblem()) {
            result.problems.append(history.file().result());
            continue;
        }
        const QByteArray nameField = field(name.toUtf8()) + ',';
        result.bytes.reserve(result.bytes.size() + history.size() * (nameField.size() + 30));
        for (int r = 0; r < history.size(); ++r) {
            QByteArray& out = result.bytes;
            out.append(nameField);
            appendDate(out, history.date(r));
            out.append(',');
            appendTime(out, history.second(r));
            out.append(',');
            out.append(countText(history.file().countField(r)));
            out.append("\r\n");
        }
        result.records += history.size();
    }
    return result;
}

FileResult write(const QString& path, const QByteArray& bytes) {
    return safe_file::replace(path, bytes);
}

} // namespace csv

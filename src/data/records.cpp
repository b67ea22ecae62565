#include "data/records.h"

#include <cstring>

namespace records {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isBlankLine(QByteArrayView line) {
    for (const char c : line)
        if (!isBlank(c) && c != '\r')
            return false;
    return true;
}

qsizetype find(QByteArrayView text, char c, qsizetype from) {
    const void* hit = std::memchr(text.data() + from, c, static_cast<size_t>(text.size() - from));
    return hit ? static_cast<const char*>(hit) - text.data() : -1;
}

} // namespace

bool LineScanner::next(QByteArrayView& line) {
    while (pos_ < data_.size()) {
        const qsizetype lf = find(data_, '\n', pos_);
        qsizetype end = lf < 0 ? data_.size() : lf;
        const qsizetype start = pos_;
        pos_ = lf < 0 ? data_.size() : lf + 1;
        if (end > start && data_[end - 1] == '\r')
            --end;
        line = data_.sliced(start, end - start);
        if (!isBlankLine(line))
            return true;
    }
    return false;
}

QByteArrayView readField(QByteArrayView line, qsizetype& pos) {
    const qsizetype size = line.size();
    while (pos < size && isBlank(line[pos]))
        ++pos;
    QByteArrayView field;
    if (pos < size && line[pos] == '"') {
        const qsizetype start = pos + 1;
        const qsizetype close = start <= size ? find(line, '"', start) : -1;
        const qsizetype end = close < 0 ? size : close;
        field = line.sliced(start, end - start);
        const qsizetype comma = find(line, ',', end);
        pos = comma < 0 ? size + 1 : comma + 1;
        return field;
    }
    const qsizetype comma = pos < size ? find(line, ',', pos) : -1;
    qsizetype end = comma < 0 ? size : comma;
    const qsizetype start = pos;
    while (end > start && isBlank(line[end - 1]))
        --end;
    pos = comma < 0 ? size + 1 : comma + 1;
    return line.sliced(start, end - start);
}

RecordWriter& RecordWriter::quoted(QByteArrayView text) {
    separate();
    out_.append('"').append(text).append('"');
    return *this;
}

RecordWriter& RecordWriter::bare(QByteArrayView text) {
    separate();
    out_.append(text);
    return *this;
}

void RecordWriter::separate() {
    if (!first_)
        out_.append(',');
    first_ = false;
}

} // namespace records

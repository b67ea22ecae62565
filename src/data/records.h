#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <array>

// The record format shared by the item list file and the history files: one record per line,
// fields separated by commas, text fields in double quotes, numbers bare, CR LF at the end.
// The reader works on the raw CP932 bytes: quote, comma, blank, CR and LF never occur inside a
// double-byte character, so the fields can be cut before they are decoded.
namespace records {

// Steps through the lines of a file's bytes, passing over blank lines. A line ends at LF; a CR
// before it belongs to the line end, and the last line may end at the end of the data.
class LineScanner {
public:
    explicit LineScanner(QByteArrayView data) : data_(data) {}

    // The next line that holds anything but blanks, without its line end.
    bool next(QByteArrayView& line);

private:
    QByteArrayView data_;
    qsizetype pos_ = 0;
};

// Cuts one line into N fields by the reading rules: blanks before a field are skipped; a field
// that begins with a double quote runs to the next double quote and anything after it up to
// the next comma is skipped; any other field runs to the next comma and loses trailing blanks.
// Fields the line does not have are empty (at the line's end); fields beyond N are ignored.
template <std::size_t N> std::array<QByteArrayView, N> splitFields(QByteArrayView line);

// Builds one record: fields joined by commas, then CR LF.
class RecordWriter {
public:
    explicit RecordWriter(QByteArray& out) : out_(out) {}
    RecordWriter& quoted(QByteArrayView text);
    RecordWriter& bare(QByteArrayView text);
    void end() { out_.append("\r\n"); }

private:
    void separate();

    QByteArray& out_;
    bool first_ = true;
};

// Implementation detail of splitFields: reads one field from pos, leaves pos after its comma.
QByteArrayView readField(QByteArrayView line, qsizetype& pos);

template <std::size_t N> std::array<QByteArrayView, N> splitFields(QByteArrayView line) {
    // A missing field is an empty view at the line's end, so that it still lies in the line.
    std::array<QByteArrayView, N> fields;
    fields.fill(line.sliced(line.size()));
    qsizetype pos = 0;
    for (auto& field : fields) {
        if (pos > line.size())
            break;
        field = readField(line, pos);
    }
    return fields;
}

} // namespace records

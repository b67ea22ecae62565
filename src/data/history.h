#pragma once

#include "data/safe_file.h"

#include <QDateTime>
#include <QString>
#include <array>
#include <optional>
#include <vector>

// The history file of an item: the item's name followed by ".txt", in the data directory.
QString historyFileName(const QString& itemName);

// A file system takes file names of at most this many bytes.
inline constexpr qsizetype MaxFileNameBytes = 255;

// Why an item name cannot name a history file. Registration never lets such a name in, but a
// hand-edited item list can hold one: a double quote (no record can carry it), a control
// character (NUL included), one of / \ : * ? < > |, the item list's own name, or a history
// file name longer than a file system allows. No history operation touches a file for it.
struct NameProblem {
    enum Kind { None, Quote, ControlCharacter, ForbiddenCharacter, ItemListName, TooLong };
    Kind kind = None;
    QChar character; // the forbidden character

    explicit operator bool() const { return kind != None; }
    QString text() const;
};
NameProblem historyNameProblem(const QString& itemName);

struct HistoryRecord {
    QString date;  // 12月05日
    QString time;  // 18時36分11秒
    QString count; // the count as written, 30
};

// The five operations on a history file, in `folder`. Each refuses an item name that cannot
// name a history file (FileProblem::Action::UnusableName) and touches no file for it.
namespace history {

// The refusal every operation gives for a name that cannot name a history file, if it cannot.
std::optional<FileProblem> refusal(const QString& itemName);

// Appends one record with the date and time of `when` and the count.
Step append(const Folder& folder, const QString& itemName, double count, const QDateTime& when);
// Creates the file empty when it is missing; an existing file keeps its records.
Step create(const Folder& folder, const QString& itemName);
// Leaves the file in place with 0 bytes (created when missing).
Step empty(const Folder& folder, const QString& itemName);
// Removes the file; a missing file is no failure.
Step remove(const Folder& folder, const QString& itemName);

// One record as written: "mm月dd日","hh時nn分ss秒",count CR LF, in CP932.
QByteArray recordBytes(const QDateTime& when, double count);

} // namespace history

// All records of one history file. The file's bytes are kept as read and each record is
// decoded only when it is asked for, so a file of a million records costs little more than
// its own size.
class HistoryFile {
public:
    // Reads the whole file. A missing file reads as no records and sets `missing`.
    static Expected<HistoryFile> read(const Folder& folder, const QString& itemName);

    bool missing() const { return missing_; }
    // When the file was last changed: the newest record belongs to that moment or before.
    const QDateTime& modified() const { return modified_; }

    int count() const { return static_cast<int>(lineStarts_.size()); }
    // Where a record begins in the file's bytes.
    qint64 start(int index) const { return lineStarts_.at(static_cast<size_t>(index)); }
    // The file's bytes, which the fields above are views of.
    QByteArrayView bytes() const { return bytes_.view(); }
    HistoryRecord record(int index) const; // index from 0
    // The fields of a record as their raw bytes (for work on many records without decoding).
    QByteArrayView countField(int index) const;
    std::array<QByteArrayView, 3> fields(int index) const;

private:
    QByteArrayView line(int index) const;

    bool missing_ = false;
    QDateTime modified_;
    FileBuffer bytes_;
    std::vector<quint32> lineStarts_; // offsets of the records in bytes_
};

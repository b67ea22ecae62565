#pragma once

#include "data/data_dir.h"
#include "data/dating.h"
#include "data/safe_file.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <functional>
#include <optional>
#include <vector>

// The histories as CSV for spreadsheets and other programs, as RFC 4180 describes it: UTF-8
// with a byte order mark (so that spreadsheet programs on Windows read the Japanese), CR LF,
// the header 項目名,日付,時刻,回数, and one row per record: the item's name, the date as
// YYYY-MM-DD (empty when the record cannot be dated), the time as HH:MM:SS (empty when it
// does not parse), and the count exactly as the file holds it. A name or count that a
// spreadsheet would run as a formula gets a leading apostrophe. Fields holding a comma, a
// double quote, CR or LF are quoted, a quote inside doubled.
namespace csv {

// One field, quoted when it must be.
QByteArray field(QByteArrayView utf8);
// Whether a spreadsheet would take the text as a formula: it begins with =, +, -, @, a tab or
// CR and is no plain decimal number (-4 stays the number it is).
bool isFormula(QByteArrayView utf8);
// One cell of text from a file: a formula is made text by a leading apostrophe, as OWASP
// advises against CSV injection (quotes alone do not stop a spreadsheet from running it), and
// the field quoted when it must be.
QByteArray cell(QByteArrayView utf8);

struct Histories {
    // Writes the CSV into the descriptor a piece at a time, so that however many records
    // there are, only a piece of the text is ever in memory; 0, or the errno that stopped it.
    int writeTo(int fd) const;

    // Each history exported, with its item's name as the rows' first field.
    struct Part {
        QByteArray nameField;
        DatedHistory history;
    };
    std::vector<Part> parts;
    int records = 0;
    // Histories that could not be read, and items whose name no file can carry: left out.
    QList<FileProblem> problems;
};

// The items of the table in their order, or only those named `item`; a history file that
// two items of the same name share comes once. `now` dates records of a file that has no
// modification time.
Histories histories(const DataDir& data, const std::optional<QString>& item, const QDateTime& now);

// The histories an export writes, as the command line and the settings window export them:
// read before any file is asked for or touched, each problem told to `tell`. A problem that
// would leave the export short (a history that cannot be read, or the one item asked for
// whose name no file can carry) `ends` it, and nothing comes back; among all items, one whose
// name no file can carry has no history to lose, and is told and left out.
std::optional<Histories> forExport(const DataDir& data, const std::optional<QString>& item,
                                   const QDateTime& now,
                                   const std::function<void(const FileProblem&, bool ends)>& tell);

// Refuses a target that is one of the data directory's own files: the item list, the history
// file of any registered item (exported or not), the program's temporary files, and any other
// ".txt" file there, which a later registration would take for a history. Files are
// told apart by identity, not by how they are named: an existing target by its device and
// inode (so "x/../項目一覧.txt", a symbolic or a hard link to a history file are refused), one
// still to be made by its directory's identity and its name.
std::optional<FileProblem> checkTarget(const DataDir& data, const QString& path);

// Writes to `path` once checkTarget allows it: a regular file is replaced atomically as the
// data files are, a pipe or a device is written to (safe_file::writeUserFile).
Step write(const DataDir& data, const QString& path, const Histories& histories);
Step write(const DataDir& data, const QString& path, const safe_file::Writer& write);

} // namespace csv

#pragma once

#include <QDateTime>
#include <QtGlobal>

// What the file layer tells of a file without reading it (safe_file::looksOf, identityOf).
namespace safe_file {

// How a file looks from outside, links not followed: enough to tell that it changed, whether
// written in place or replaced by another file (which a sync tool may give the same size and
// modification time). The times are in UTC: a look costs no walk to the time zone's file, and
// none of its uses asks for a local date.
struct Looks {
    qint64 size = 0;
    QDateTime modified;
    QDateTime changed; // the status change: any write, and a rename over the name
    quint64 inode = 0;
    bool operator==(const Looks&) const = default;
};

// A file or directory by identity (device and inode), however it is named.
struct Identity {
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const Identity&) const = default;
};

} // namespace safe_file

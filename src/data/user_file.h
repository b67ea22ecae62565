#pragma once

#include "data/file_result.h"

#include <QByteArrayView>
#include <QString>
#include <functional>

// The files a user names for output (an export, a picture), which are no data files, and the
// one write loop of the program, for those, for the data files and for standard output. The
// one part of the file layer that the windows may use.
namespace safe_file {

// Writes every byte to an open descriptor, going on after a short or interrupted write; 0, or
// the errno that stopped it.
int writeAll(int fd, QByteArrayView bytes);

// What makes a file's bytes: it writes them into the descriptor (with writeAll), perhaps a
// piece at a time, so that a large output never lies in memory whole; 0, or the errno that
// stopped it.
using Writer = std::function<int(int fd)>;

// Writes a file the user named for output:
// - a regular file is replaced as the data files are (safe_file::replace); through a symbolic
//   link, the file the link leads to is replaced and the link stays;
// - a pipe or a character device (a process substitution, a terminal) is written to;
// - a name for an open descriptor (/dev/stdout, /dev/fd/N, /proc/self/fd/N) is written to
//   where the descriptor points, at the end of a file there (so that `>>` keeps its file);
// - a directory, a block device, a socket and a link that leads nowhere are refused.
Step writeUserFile(const QString& path, const Writer& write);
Step writeUserFile(const QString& path, QByteArrayView bytes);

// Creates a directory, and its missing parents, for the user alone (mode 0700).
Step createDirectories(const QString& path);

} // namespace safe_file

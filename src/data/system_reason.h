#pragma once

#include <QString>

// Reasons of our own beside errno's: the file is not a regular file (a FIFO, device or
// directory); a block device or a socket, which no export writes to.
inline constexpr int NotRegular = -1;
inline constexpr int NotWritable = -2;

// The system's reason for an errno (or one of ours) in Japanese, for the errors a user meets;
// the system's own text for the others.
QString systemReason(int error);

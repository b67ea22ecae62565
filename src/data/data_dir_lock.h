#pragma once

#include <QString>

// Keeps a second copy of the program off the same data directory: each copy holds the whole
// table in memory and rewrites the item list from it, so two of them would undo each other's
// changes. The lock is the system's advisory lock on the directory itself: no lock file is
// left behind, and a crashed program's lock goes with its process.
class DataDirLock {
public:
    enum class State { Held, HeldElsewhere, Unavailable };

    DataDirLock() = default;
    ~DataDirLock();
    DataDirLock(const DataDirLock&) = delete;
    DataDirLock& operator=(const DataDirLock&) = delete;

    // Takes the lock on the working directory without waiting. Unavailable means the system
    // offers no lock there (some network file systems); the program then goes on without one.
    State acquire();
    void release();

private:
    int fd_ = -1;
};

#include "data/data_dir_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

DataDirLock::~DataDirLock() {
    release();
}

DataDirLock::State DataDirLock::acquire() {
    release();
    const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return State::Unavailable;
    int result;
    while ((result = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (result == 0) {
        fd_ = fd;
        return State::Held;
    }
    const bool elsewhere = errno == EWOULDBLOCK;
    ::close(fd);
    return elsewhere ? State::HeldElsewhere : State::Unavailable;
}

void DataDirLock::release() {
    if (fd_ >= 0)
        ::close(fd_); // closing the last descriptor of the open directory drops the lock
    fd_ = -1;
}

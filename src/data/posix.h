#pragma once

#include <cerrno>
#include <unistd.h>

// What every unit of the file layer needs around a system call; not for use above it.
namespace posix {

// Runs a system call again while a signal interrupts it.
template <typename Call> auto retry(Call call) {
    for (;;) {
        const auto result = call();
        if (result != -1 || errno != EINTR)
            return result;
    }
}

// A file descriptor that is closed when it goes out of scope (errors of that close do not
// matter: whatever mattered was checked before).
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    // Closes now and says whether the system took the close without an error.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

} // namespace posix

// LD_PRELOAD library that makes the N-th file system call inside one directory fail; the
// control functions and the list of calls are described in fault_shim.h.

// Our definitions of open() and friends must neither clash with glibc's inline fortify wrappers
// nor be renamed to their *64 twins by the large-file headers.
#undef _FORTIFY_SOURCE
#undef _FILE_OFFSET_BITS

#include "fault_shim.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

constexpr size_t kPathSize = 2 * PATH_MAX;

struct State {
    std::mutex mutex;
    char dir[kPathSize];
    size_t dirLength;
    long nth;
    long calls;
    bool fired;
    bool log;
    char last[2 * kPathSize + 32];
    char trace[64 * 1024]; // the counted calls since the last arm, one a line
    size_t traceLength;
    char steps[4 << 20]; // the counted calls that succeeded, with their arguments and bytes
    size_t stepsLength;
    char step[2 * kPathSize + 32]; // the header of the call under way, for noted()
};

State g_state;              // constant-initialised, so usable before any constructor ran
std::atomic<int> g_mode{0}; // 0 while disarmed; read without the lock on every call

// Descriptors written or truncated since they were opened: only their close can report a
// write the system took in but had not yet done (NFS, for one), so only theirs is counted.
constexpr int kTrackedFds = 4096;
std::atomic<bool> g_written[kTrackedFds];

void markWritten(int fd, bool written = true) {
    if (fd >= 0 && fd < kTrackedFds)
        g_written[fd].store(written, std::memory_order_relaxed);
}
bool wasWritten(int fd) {
    return fd >= 0 && fd < kTrackedFds && g_written[fd].load(std::memory_order_relaxed);
}

// Set while the library itself works, so nothing it calls is counted or intercepted again.
[[gnu::tls_model("initial-exec")]] thread_local bool t_busy = false;
// Set when this thread's call under way was counted: noted() then keeps it among the steps.
[[gnu::tls_model("initial-exec")]] thread_local bool t_counted = false;

void* lookup(const char* name) {
    void* function = dlsym(RTLD_NEXT, name);
    if (!function) {
        fprintf(stderr, "fault_shim: no real %s\n", name);
        abort();
    }
    return function;
}

// The next definition of fn in the load order (libc, or a sanitizer's interceptor).
#define REAL(fn)                                                                                   \
    ([] {                                                                                          \
        static std::atomic<void*> cached{nullptr};                                                 \
        void* function = cached.load(std::memory_order_acquire);                                   \
        if (!function) {                                                                           \
            function = lookup(#fn);                                                                \
            cached.store(function, std::memory_order_release);                                     \
        }                                                                                          \
        return reinterpret_cast<decltype(&fn)>(function);                                          \
    }())

bool fdPath(int fd, char* out, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, out, size - 1);
    if (length <= 0 || static_cast<size_t>(length) >= size - 1)
        return false;
    out[length] = '\0';
    static const char deleted[] = " (deleted)";
    const size_t deletedLength = sizeof deleted - 1;
    if (static_cast<size_t>(length) > deletedLength &&
        strcmp(out + length - deletedLength, deleted) == 0)
        out[length - deletedLength] = '\0';
    return out[0] == '/'; // pipes and sockets read as "pipe:[123]"
}

// Resolves ".", ".." and repeated slashes of an absolute path by text alone; out holds at least
// strlen(in) + 2 bytes.
void normalise(const char* in, char* out) {
    size_t length = 0;
    while (*in) {
        while (*in == '/')
            ++in;
        const char* end = in;
        while (*end && *end != '/')
            ++end;
        const size_t part = end - in;
        if (part == 2 && in[0] == '.' && in[1] == '.') {
            while (length > 0 && out[length - 1] != '/')
                --length;
            if (length > 0)
                --length;
        } else if (part > 0 && !(part == 1 && in[0] == '.')) {
            out[length++] = '/';
            memcpy(out + length, in, part);
            length += part;
        }
        in = end;
    }
    if (length == 0)
        out[length++] = '/';
    out[length] = '\0';
}

// What a call names: an open fd, or a path relative to dirfd (AT_FDCWD: the current directory).
struct Target {
    int fd = -1;
    int dirfd = AT_FDCWD;
    const char* path = nullptr;
    bool followLast = true; // false where the call acts on a symlink itself (rename, unlink, ...)
};

Target onFd(int fd) {
    return {fd, AT_FDCWD, nullptr, true};
}
Target onPath(int dirfd, const char* path, bool followLast = true) {
    return {-1, dirfd, path, followLast};
}

// The absolute canonical path of a target; for a path that does not exist yet, that of its
// parent directory plus the last component.
bool resolve(const Target& target, char* out) {
    if (target.fd >= 0)
        return fdPath(target.fd, out, kPathSize);
    if (!target.path)
        return false;
    char full[kPathSize];
    if (target.path[0] == '/') {
        if (strlen(target.path) >= sizeof full)
            return false;
        strcpy(full, target.path);
    } else {
        char base[kPathSize];
        const bool haveBase = target.dirfd == AT_FDCWD ? getcwd(base, sizeof base) != nullptr
                                                       : fdPath(target.dirfd, base, sizeof base);
        if (!haveBase)
            return false;
        const char* separator = target.path[0] ? "/" : ""; // an empty path is the dirfd itself
        if (snprintf(full, sizeof full, "%s%s%s", base, separator, target.path) >=
            static_cast<int>(sizeof full))
            return false;
    }
    size_t length = strlen(full);
    while (length > 1 && full[length - 1] == '/')
        full[--length] = '\0';
    if (target.followLast && realpath(full, out))
        return true;

    char* slash = strrchr(full, '/');
    const char* name = slash + 1;
    const bool plainName = *name && strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
    if (plainName) {
        char parent[kPathSize];
        if (slash == full)
            strcpy(parent, "/");
        else
            snprintf(parent, sizeof parent, "%.*s", static_cast<int>(slash - full), full);
        char canonicalParent[kPathSize];
        if (realpath(parent, canonicalParent)) {
            const char* separator = strcmp(canonicalParent, "/") == 0 ? "" : "/";
            return snprintf(out, kPathSize, "%s%s%s", canonicalParent, separator, name) <
                   static_cast<int>(kPathSize);
        }
    } else if (realpath(full, out)) {
        return true;
    }
    normalise(full, out);
    return true;
}

bool insideArmed(const char* path) {
    const size_t length = g_state.dirLength;
    if (!path || strncmp(path, g_state.dir, length) != 0)
        return false;
    return path[length] == '\0' || path[length] == '/' || length == 1;
}

enum class Action { pass, fail, shorten };
struct Verdict {
    Action action = Action::pass;
    int error = 0;
};

// A path as the trace shows it: relative to the armed directory ("." for the directory).
const char* traced(const char* path) {
    if (!insideArmed(path))
        return path ? path : "?";
    const char* rest = path + g_state.dirLength;
    return *rest == '/' ? rest + 1 : ".";
}

Verdict count(const char* call, const char* first, const char* second, int mode) {
    std::lock_guard lock(g_state.mutex);
    if (g_mode.load(std::memory_order_relaxed) != mode)
        return {}; // re-armed or disarmed meanwhile
    if (!insideArmed(first) && !insideArmed(second))
        return {};
    const long number = ++g_state.calls;
    const size_t room = sizeof g_state.trace - g_state.traceLength;
    const int traced_length =
        snprintf(g_state.trace + g_state.traceLength, room, "%s %s%s%s\n", call, traced(first),
                 second ? " " : "", second ? traced(second) : "");
    if (traced_length > 0 && static_cast<size_t>(traced_length) < room)
        g_state.traceLength += static_cast<size_t>(traced_length);
    snprintf(g_state.step, sizeof g_state.step, "%s\t%s\t%s", call, traced(first),
             second ? traced(second) : "");
    t_counted = true;
    if (g_state.log) {
        char line[2 * kPathSize + 64];
        const int length =
            snprintf(line, sizeof line, "fault_shim: %ld %s %s%s%s\n", number, call,
                     first ? first : "?", second ? " -> " : "", second ? second : "");
        if (length > 0)
            REAL(write)(STDERR_FILENO, line, strnlen(line, sizeof line));
    }
    if (number != g_state.nth)
        return {};
    g_state.fired = true;
    snprintf(g_state.last, sizeof g_state.last, "%s %s%s%s", call, first ? first : "?",
             second ? " -> " : "", second ? second : "");
    if (mode == FAULT_SHORT_WRITE)
        return {Action::shorten, 0};
    return {Action::fail, mode == FAULT_ENOSPC ? ENOSPC : EIO};
}

enum class Kind { change, read };

// Decides what becomes of one intercepted call. writeBytes is the size of a write, or -1 for
// calls that are no writes; only writes of 2 bytes or more can be shortened.
Verdict check(const char* call, long writeBytes, const Target& first, const Target& second = {},
              Kind kind = Kind::change) {
    if (t_busy)
        return {};
    t_counted = false;
    const int mode = g_mode.load(std::memory_order_relaxed);
    if (mode == 0 || (mode == FAULT_SHORT_WRITE && writeBytes < 2) ||
        (mode == FAULT_READ) != (kind == Kind::read))
        return {};
    const int savedErrno = errno;
    t_busy = true;
    char firstPath[kPathSize];
    char secondPath[kPathSize];
    const bool haveFirst = resolve(first, firstPath);
    const bool haveSecond = resolve(second, secondPath);
    const Verdict verdict =
        count(call, haveFirst ? firstPath : nullptr, haveSecond ? secondPath : nullptr, mode);
    t_busy = false;
    errno = savedErrno;
    return verdict;
}

// True when the call is to fail now; errno is then set.
bool fails(const Verdict& verdict) {
    if (verdict.action != Action::fail)
        return false;
    errno = verdict.error;
    return true;
}

size_t shortened(const Verdict& verdict, size_t bytes) {
    return verdict.action == Action::shorten ? bytes / 2 : bytes;
}

bool creates(int flags) {
    return (flags & O_CREAT) || (flags & __O_TMPFILE) == __O_TMPFILE;
}

long bytesOf(const struct iovec* iov, int count) {
    if (count <= 0 || count > IOV_MAX)
        return -1;
    size_t total = 0;
    for (int i = 0; i < count; ++i)
        total += iov[i].iov_len;
    return static_cast<long>(total);
}

// Keeps the counted call just made among the steps when it succeeded (result >= 0): its
// header, `number` (a write's offset, a truncate's length, the flags of the rest) and the bytes
// it wrote. Returns the result, errno untouched.
template <typename Result>
Result noted(Result result, long long number = 0, const struct iovec* iov = nullptr,
             int count = 0) {
    if (!t_counted || result < 0)
        return result;
    t_counted = false;
    const size_t bytes = iov ? static_cast<size_t>(result) : 0;
    std::lock_guard lock(g_state.mutex);
    const size_t room = sizeof g_state.steps - g_state.stepsLength;
    char* out = g_state.steps + g_state.stepsLength;
    const int header = snprintf(out, room, "%s\t%lld\t%zu\n", g_state.step, number, bytes);
    if (header < 0 || static_cast<size_t>(header) + bytes > room)
        return result;
    size_t at = static_cast<size_t>(header);
    for (int i = 0; i < count && at < static_cast<size_t>(header) + bytes; ++i) {
        const size_t part = std::min(iov[i].iov_len, static_cast<size_t>(header) + bytes - at);
        memcpy(out + at, iov[i].iov_base, part);
        at += part;
    }
    g_state.stepsLength += at;
    return result;
}

// The same for a write that moved the file position: the offset it wrote at.
ssize_t notedWrite(ssize_t result, int fd, const void* buffer) {
    if (result <= 0 || !t_counted)
        return noted(result);
    const int savedErrno = errno;
    const off_t end = lseek(fd, 0, SEEK_CUR);
    errno = savedErrno;
    const struct iovec part = {const_cast<void*>(buffer), static_cast<size_t>(result)};
    return noted(result, static_cast<long long>(end - result), &part, 1);
}

void armFromEnvironment() __attribute__((constructor));
void armFromEnvironment() {
    // A fork while another thread holds the lock must not leave the child waiting for ever.
    pthread_atfork([] { g_state.mutex.lock(); }, [] { g_state.mutex.unlock(); },
                   [] { g_state.mutex.unlock(); });
    const char* dir = getenv("FAULT_DIR");
    if (!dir || !*dir)
        return;
    const char* nth = getenv("FAULT_NTH");
    const char* mode = getenv("FAULT_MODE");
    const char* log = getenv("FAULT_LOG");
    fault_arm(dir, nth && *nth ? strtol(nth, nullptr, 10) : 1,
              mode && *mode ? atoi(mode) : FAULT_ENOSPC);
    std::lock_guard lock(g_state.mutex);
    g_state.log = log && *log && strcmp(log, "0") != 0;
}

} // namespace

// Opening variants: only a create is counted. The mode argument is there only when the flags
// ask for one, as in glibc.
#define OPEN_MODE(flags)                                                                           \
    mode_t mode = 0;                                                                               \
    if (creates(flags)) {                                                                          \
        va_list arguments;                                                                         \
        va_start(arguments, flags);                                                                \
        mode = va_arg(arguments, mode_t);                                                          \
        va_end(arguments);                                                                         \
    }

#define OPEN_FAILS(call, dirfd, path, flags)                                                       \
    fails(check(call, -1, onPath(dirfd, path, !((flags)&O_NOFOLLOW)), {},                          \
                creates(flags) ? Kind::change : Kind::read))

extern "C" {

int open(const char* path, int flags, ...) {
    OPEN_MODE(flags);
    return OPEN_FAILS("open", AT_FDCWD, path, flags) ? -1
                                                     : noted(REAL(open)(path, flags, mode), flags);
}

int open64(const char* path, int flags, ...) {
    OPEN_MODE(flags);
    return OPEN_FAILS("open64", AT_FDCWD, path, flags)
               ? -1
               : noted(REAL(open64)(path, flags, mode), flags);
}

int openat(int dirfd, const char* path, int flags, ...) {
    OPEN_MODE(flags);
    return OPEN_FAILS("openat", dirfd, path, flags)
               ? -1
               : noted(REAL(openat)(dirfd, path, flags, mode), flags);
}

int openat64(int dirfd, const char* path, int flags, ...) {
    OPEN_MODE(flags);
    return OPEN_FAILS("openat64", dirfd, path, flags)
               ? -1
               : noted(REAL(openat64)(dirfd, path, flags, mode), flags);
}

int __open_2(const char* path, int flags) {
    return OPEN_FAILS("__open_2", AT_FDCWD, path, flags)
               ? -1
               : noted(REAL(__open_2)(path, flags), flags);
}

int __open64_2(const char* path, int flags) {
    return OPEN_FAILS("__open64_2", AT_FDCWD, path, flags)
               ? -1
               : noted(REAL(__open64_2)(path, flags), flags);
}

int __openat_2(int dirfd, const char* path, int flags) {
    return OPEN_FAILS("__openat_2", dirfd, path, flags)
               ? -1
               : noted(REAL(__openat_2)(dirfd, path, flags), flags);
}

int __openat64_2(int dirfd, const char* path, int flags) {
    return OPEN_FAILS("__openat64_2", dirfd, path, flags)
               ? -1
               : noted(REAL(__openat64_2)(dirfd, path, flags), flags);
}

int creat(const char* path, mode_t mode) {
    return fails(check("creat", -1, onPath(AT_FDCWD, path)))
               ? -1
               : noted(REAL(creat)(path, mode), O_CREAT | O_TRUNC);
}

int creat64(const char* path, mode_t mode) {
    return fails(check("creat64", -1, onPath(AT_FDCWD, path)))
               ? -1
               : noted(REAL(creat64)(path, mode), O_CREAT | O_TRUNC);
}

ssize_t write(int fd, const void* buffer, size_t bytes) {
    markWritten(fd);
    const Verdict verdict = check("write", static_cast<long>(bytes), onFd(fd));
    return fails(verdict)
               ? -1
               : notedWrite(REAL(write)(fd, buffer, shortened(verdict, bytes)), fd, buffer);
}

ssize_t pwrite(int fd, const void* buffer, size_t bytes, off_t offset) {
    markWritten(fd);
    const Verdict verdict = check("pwrite", static_cast<long>(bytes), onFd(fd));
    if (fails(verdict))
        return -1;
    const ssize_t written = REAL(pwrite)(fd, buffer, shortened(verdict, bytes), offset);
    const struct iovec part = {const_cast<void*>(buffer), written > 0 ? size_t(written) : 0};
    return noted(written, offset, &part, 1);
}

ssize_t pwrite64(int fd, const void* buffer, size_t bytes, off64_t offset) {
    markWritten(fd);
    const Verdict verdict = check("pwrite64", static_cast<long>(bytes), onFd(fd));
    if (fails(verdict))
        return -1;
    const ssize_t written = REAL(pwrite64)(fd, buffer, shortened(verdict, bytes), offset);
    const struct iovec part = {const_cast<void*>(buffer), written > 0 ? size_t(written) : 0};
    return noted(written, offset, &part, 1);
}

ssize_t writev(int fd, const struct iovec* iov, int count) {
    markWritten(fd);
    const long bytes = bytesOf(iov, count);
    const Verdict verdict = check("writev", bytes, onFd(fd));
    if (fails(verdict))
        return -1;
    const auto notedV = [&](const struct iovec* parts, int used) {
        const ssize_t written = REAL(writev)(fd, parts, used);
        if (written <= 0 || !t_counted)
            return noted(written);
        const int savedErrno = errno;
        const off_t end = lseek(fd, 0, SEEK_CUR);
        errno = savedErrno;
        return noted(written, static_cast<long long>(end - written), parts, used);
    };
    if (verdict.action != Action::shorten)
        return notedV(iov, count);
    struct iovec front[IOV_MAX];
    size_t wanted = static_cast<size_t>(bytes) / 2;
    int used = 0;
    for (int i = 0; i < count && wanted > 0; ++i) {
        front[used] = iov[i];
        if (front[used].iov_len > wanted)
            front[used].iov_len = wanted;
        wanted -= front[used++].iov_len;
    }
    return notedV(front, used);
}

ssize_t read(int fd, void* buffer, size_t bytes) {
    return fails(check("read", -1, onFd(fd), {}, Kind::read)) ? -1 : REAL(read)(fd, buffer, bytes);
}

ssize_t pread(int fd, void* buffer, size_t bytes, off_t offset) {
    return fails(check("pread", -1, onFd(fd), {}, Kind::read))
               ? -1
               : REAL(pread)(fd, buffer, bytes, offset);
}

ssize_t pread64(int fd, void* buffer, size_t bytes, off64_t offset) {
    return fails(check("pread64", -1, onFd(fd), {}, Kind::read))
               ? -1
               : REAL(pread64)(fd, buffer, bytes, offset);
}

// The descriptor is closed even when the close is failed, as Linux always closes it.
int close(int fd) {
    const Verdict verdict = wasWritten(fd) ? check("close", -1, onFd(fd)) : Verdict{};
    markWritten(fd, false);
    const int result = REAL(close)(fd);
    return fails(verdict) ? -1 : result;
}

int fsync(int fd) {
    return fails(check("fsync", -1, onFd(fd))) ? -1 : noted(REAL(fsync)(fd));
}

int fdatasync(int fd) {
    return fails(check("fdatasync", -1, onFd(fd))) ? -1 : noted(REAL(fdatasync)(fd));
}

int fchmod(int fd, mode_t mode) noexcept {
    return fails(check("fchmod", -1, onFd(fd))) ? -1 : noted(REAL(fchmod)(fd, mode));
}

int fchmodat(int dirfd, const char* path, mode_t mode, int flags) noexcept {
    const Target target = onPath(dirfd, path, !(flags & AT_SYMLINK_NOFOLLOW));
    return fails(check("fchmodat", -1, target))
               ? -1
               : noted(REAL(fchmodat)(dirfd, path, mode, flags), flags);
}

int rename(const char* from, const char* to) noexcept {
    const Verdict verdict =
        check("rename", -1, onPath(AT_FDCWD, from, false), onPath(AT_FDCWD, to, false));
    return fails(verdict) ? -1 : noted(REAL(rename)(from, to));
}

int renameat(int fromDir, const char* from, int toDir, const char* to) noexcept {
    const Verdict verdict =
        check("renameat", -1, onPath(fromDir, from, false), onPath(toDir, to, false));
    return fails(verdict) ? -1 : noted(REAL(renameat)(fromDir, from, toDir, to));
}

int renameat2(int fromDir, const char* from, int toDir, const char* to,
              unsigned int flags) noexcept {
    const Verdict verdict =
        check("renameat2", -1, onPath(fromDir, from, false), onPath(toDir, to, false));
    return fails(verdict) ? -1 : noted(REAL(renameat2)(fromDir, from, toDir, to, flags), flags);
}

int link(const char* from, const char* to) noexcept {
    const Verdict verdict =
        check("link", -1, onPath(AT_FDCWD, from, false), onPath(AT_FDCWD, to, false));
    return fails(verdict) ? -1 : noted(REAL(link)(from, to));
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) noexcept {
    const Verdict verdict = check("linkat", -1, onPath(fromDir, from, flags & AT_SYMLINK_FOLLOW),
                                  onPath(toDir, to, false));
    return fails(verdict) ? -1 : noted(REAL(linkat)(fromDir, from, toDir, to, flags), flags);
}

int unlink(const char* path) noexcept {
    return fails(check("unlink", -1, onPath(AT_FDCWD, path, false))) ? -1
                                                                     : noted(REAL(unlink)(path));
}

int unlinkat(int dirfd, const char* path, int flags) noexcept {
    return fails(check("unlinkat", -1, onPath(dirfd, path, false)))
               ? -1
               : noted(REAL(unlinkat)(dirfd, path, flags), flags);
}

int ftruncate(int fd, off_t length) noexcept {
    markWritten(fd);
    return fails(check("ftruncate", -1, onFd(fd))) ? -1
                                                   : noted(REAL(ftruncate)(fd, length), length);
}

int ftruncate64(int fd, off64_t length) noexcept {
    markWritten(fd);
    return fails(check("ftruncate64", -1, onFd(fd))) ? -1
                                                     : noted(REAL(ftruncate64)(fd, length), length);
}

int truncate(const char* path, off_t length) noexcept {
    return fails(check("truncate", -1, onPath(AT_FDCWD, path)))
               ? -1
               : noted(REAL(truncate)(path, length), length);
}

int truncate64(const char* path, off64_t length) noexcept {
    return fails(check("truncate64", -1, onPath(AT_FDCWD, path)))
               ? -1
               : noted(REAL(truncate64)(path, length), length);
}

int mkdir(const char* path, mode_t mode) noexcept {
    return fails(check("mkdir", -1, onPath(AT_FDCWD, path, false)))
               ? -1
               : noted(REAL(mkdir)(path, mode));
}

int mkdirat(int dirfd, const char* path, mode_t mode) noexcept {
    return fails(check("mkdirat", -1, onPath(dirfd, path, false)))
               ? -1
               : noted(REAL(mkdirat)(dirfd, path, mode));
}

// Control functions.

void fault_arm(const char* dir, long nth, int mode) {
    const bool valid = dir && mode >= FAULT_ENOSPC && mode <= FAULT_READ;
    char canonical[kPathSize];
    if (valid) {
        const bool wasBusy = t_busy;
        t_busy = true;
        const int savedErrno = errno;
        const bool resolved = resolve(onPath(AT_FDCWD, dir), canonical);
        errno = savedErrno;
        t_busy = wasBusy;
        if (!resolved) {
            fault_disarm();
            return;
        }
    }
    std::lock_guard lock(g_state.mutex);
    g_mode.store(0, std::memory_order_relaxed);
    g_state.calls = 0;
    g_state.fired = false;
    g_state.last[0] = '\0';
    g_state.trace[0] = '\0';
    g_state.traceLength = 0;
    g_state.stepsLength = 0;
    if (!valid)
        return;
    strcpy(g_state.dir, canonical);
    g_state.dirLength = strlen(canonical);
    g_state.nth = nth;
    g_mode.store(mode, std::memory_order_relaxed);
}

void fault_disarm(void) {
    std::lock_guard lock(g_state.mutex);
    g_mode.store(0, std::memory_order_relaxed);
}

long fault_calls(void) {
    std::lock_guard lock(g_state.mutex);
    return g_state.calls;
}

int fault_fired(void) {
    std::lock_guard lock(g_state.mutex);
    return g_state.fired ? 1 : 0;
}

const char* fault_last(void) {
    std::lock_guard lock(g_state.mutex);
    return g_state.last;
}

const char* fault_trace(void) {
    std::lock_guard lock(g_state.mutex);
    return g_state.trace;
}

const char* fault_steps(size_t* length) {
    std::lock_guard lock(g_state.mutex);
    *length = g_state.stepsLength;
    return g_state.steps;
}

} // extern "C"

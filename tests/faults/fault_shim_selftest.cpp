// Checks the fault-injection library with real file system calls. It runs with the library in
// LD_PRELOAD (CTest sets it) and reports a skip (77) without it.

#include "fault_shim.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fault_shim::Api* shim = nullptr;
int failures = 0;

#define CHECK(condition, context) check((condition), #condition, (context), __LINE__)

void check(bool ok, const char* what, const std::string& context, int line) {
    if (ok)
        return;
    ++failures;
    fprintf(stderr, "line %d [%s]: %s does not hold (last fault: \"%s\")\n", line, context.c_str(),
            what, shim->last());
}

// A directory one level down in a temporary tree of its own, so that what a check makes
// beside it stays in the tree and goes with it.
struct TempDir {
    std::string root, path;
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "fault_shim.XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            perror("mkdtemp");
            exit(1);
        }
        root = fs::canonical(pattern).string();
        path = root + "/dir";
        mkdir(path.c_str(), 0700);
    }
    ~TempDir() {
        shim->disarm();
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    const char* c_str() const { return path.c_str(); }
};

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

mode_t modeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

std::string readFile(const std::string& path) {
    std::ostringstream content;
    content << std::ifstream(path).rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::trunc) << content;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

struct Case {
    const char* name;
    std::function<long()> call;
    std::function<bool()> untouched;
};

void eachCountedCallFailsWithoutEffect() {
    TempDir dir;
    const std::string f = dir / "f", g = dir / "g";
    int fd = -1, dfd = -1;
    char xyz[] = "xyz";
    iovec vector[] = {{xyz, 3}};
    const auto noG = [&] { return !exists(g); };
    const auto sameContent = [&] { return readFile(f) == "abc"; };
    const auto sameMode = [&] { return modeOf(f) == 0600; };
    const auto notMoved = [&] { return exists(f) && !exists(g); };
    const auto stillThere = [&] { return exists(f); };
    const auto nothingToSee = [] { return true; };
    const std::vector<Case> cases = {
        {"open", [&] { return open(g.c_str(), O_CREAT | O_WRONLY, 0600); }, noG},
        {"open64", [&] { return open64(g.c_str(), O_CREAT | O_WRONLY, 0600); }, noG},
        {"openat", [&] { return openat(dfd, "g", O_CREAT | O_WRONLY, 0600); }, noG},
        {"openat64", [&] { return openat64(dfd, "g", O_CREAT | O_WRONLY, 0600); }, noG},
        // glibc aborts these with O_CREAT; faulted, they never get there.
        {"__open_2", [&] { return __open_2(g.c_str(), O_CREAT | O_WRONLY); }, noG},
        {"__open64_2", [&] { return __open64_2(g.c_str(), O_CREAT | O_WRONLY); }, noG},
        {"__openat_2", [&] { return __openat_2(dfd, "g", O_CREAT | O_WRONLY); }, noG},
        {"__openat64_2", [&] { return __openat64_2(dfd, "g", O_CREAT | O_WRONLY); }, noG},
        {"open", [&] { return open(dir.c_str(), O_TMPFILE | O_RDWR, 0600); }, nothingToSee},
        {"creat", [&] { return creat(g.c_str(), 0600); }, noG},
        {"creat64", [&] { return creat64(g.c_str(), 0600); }, noG},
        {"write", [&] { return write(fd, "xyz", 3); }, sameContent},
        {"pwrite", [&] { return pwrite(fd, "xyz", 3, 0); }, sameContent},
        {"pwrite64", [&] { return pwrite64(fd, "xyz", 3, 0); }, sameContent},
        {"writev", [&] { return writev(fd, vector, 1); }, sameContent},
        {"fsync", [&] { return fsync(fd); }, nothingToSee},
        {"fdatasync", [&] { return fdatasync(fd); }, nothingToSee},
        {"fchmod", [&] { return fchmod(fd, 0644); }, sameMode},
        {"fchmodat", [&] { return fchmodat(dfd, "f", 0644, 0); }, sameMode},
        {"rename", [&] { return rename(f.c_str(), g.c_str()); }, notMoved},
        {"renameat", [&] { return renameat(dfd, "f", dfd, "g"); }, notMoved},
        {"renameat2", [&] { return renameat2(dfd, "f", dfd, "g", RENAME_NOREPLACE); }, notMoved},
        {"link", [&] { return link(f.c_str(), g.c_str()); }, notMoved},
        {"linkat", [&] { return linkat(dfd, "f", dfd, "g", 0); }, notMoved},
        {"unlink", [&] { return unlink(f.c_str()); }, stillThere},
        {"unlinkat", [&] { return unlinkat(dfd, "f", 0); }, stillThere},
        {"ftruncate", [&] { return ftruncate(fd, 0); }, sameContent},
        {"ftruncate64", [&] { return ftruncate64(fd, 0); }, sameContent},
        {"truncate", [&] { return truncate(f.c_str(), 0); }, sameContent},
        {"truncate64", [&] { return truncate64(f.c_str(), 0); }, sameContent},
    };
    for (const Case& c : cases) {
        writeFile(f, "abc");
        chmod(f.c_str(), 0600);
        fd = open(f.c_str(), O_RDWR);
        dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
        shim->arm(dir.c_str(), 1, FAULT_EIO);
        errno = 0;
        const long result = c.call();
        const int error = errno;
        shim->disarm();
        CHECK(result == -1 && error == EIO, c.name);
        CHECK(c.untouched(), c.name);
        CHECK(shim->calls() == 1 && shim->fired() == 1, c.name);
        CHECK(startsWith(shim->last(), std::string(c.name) + " " + dir.path), c.name);
        close(fd);
        close(dfd);
        unlink(g.c_str());
    }
}

void failsTheNthCallOnlyAndKeepsCounting() {
    TempDir dir;
    const std::string a = dir / "a", b = dir / "b";
    shim->arm(dir.c_str(), 3, FAULT_ENOSPC);
    const int fd = open(a.c_str(), O_CREAT | O_WRONLY, 0600);
    CHECK(fd >= 0 && write(fd, "abc", 3) == 3 && !shim->fired(), "before");
    errno = 0;
    CHECK(rename(a.c_str(), b.c_str()) == -1 && errno == ENOSPC, "third");
    CHECK(exists(a) && !exists(b), "the rename did not happen");
    CHECK(fsync(fd) == 0 && rename(a.c_str(), b.c_str()) == 0, "after");
    CHECK(shim->calls() == 5 && shim->fired() == 1, "after");
    CHECK(shim->last() == "rename " + a + " -> " + b, "description");
    CHECK(close(fd) == 0 && shim->calls() == 6, "the close of a written descriptor counts");

    // Only a written descriptor's close counts; a failed one is closed all the same.
    shim->arm(dir.c_str(), 2, FAULT_EIO);
    const int unwritten = open(b.c_str(), O_RDONLY);
    const int written = open(b.c_str(), O_WRONLY);
    CHECK(write(written, "x", 1) == 1 && close(unwritten) == 0, "before the close");
    errno = 0;
    CHECK(close(written) == -1 && errno == EIO, "close");
    CHECK(fcntl(written, F_GETFD) == -1 && errno == EBADF, "the failed close closed");
    CHECK(startsWith(shim->last(), "close " + b), "close described");

    shim->disarm();
    CHECK(unlink(b.c_str()) == 0 && shim->calls() == 2 && shim->fired() == 1, "disarmed");
    shim->arm(dir.c_str(), 0, FAULT_EIO);
    CHECK(shim->calls() == 0 && shim->fired() == 0 && shim->last() == std::string(), "re-armed");
}

void countsOnlyWhatConcernsTheDirectory() {
    TempDir dir, outside;
    // The directory as reached from the other one's: up out of its tree and down into this.
    const std::string name = "../" + fs::path(dir.root).filename().string() + "/dir";
    const std::string sibling = dir.path + "-sibling"; // same prefix, other directory
    mkdir(sibling.c_str(), 0700);
    mkdir((dir / "sub").c_str(), 0700);
    writeFile(dir / "existing", "abc");
    for (const auto& [target, link] : {std::pair{dir.path, outside / "to-inside"},
                                       {outside.path, dir / "to-outside"},
                                       {outside.path, dir / "link-out"}})
        CHECK(symlink(target.c_str(), link.c_str()) == 0, link);
    const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    const int subfd = open((dir / "sub").c_str(), O_RDONLY | O_DIRECTORY);
    const int outfd = open(outside.c_str(), O_RDONLY | O_DIRECTORY);
    const int tmpfd = open(dir.c_str(), O_TMPFILE | O_RDWR, 0600);
    const int deletedfd = open((dir / "deleted").c_str(), O_CREAT | O_RDWR, 0600);
    unlink((dir / "deleted").c_str());
    const std::string tmpLink = "/proc/self/fd/" + std::to_string(tmpfd);
    std::vector<int> fds;
    const auto keep = [&](int fd) {
        fds.push_back(fd);
        return fd;
    };
    const auto create = [&](const std::string& path) {
        return keep(open(path.c_str(), O_CREAT | O_WRONLY, 0600));
    };
    const std::vector<std::pair<const char*, std::function<void()>>> counted = {
        {"via ..", [&] { create(outside / ("../" + name + "/a")); }},
        {"via a symlink", [&] { create(outside / "to-inside/b"); }},
        {"relative to dirfd", [&] { keep(openat(dfd, "c", O_CREAT | O_WRONLY, 0600)); }},
        {"dirfd outside, path in",
         [&] { keep(openat(outfd, ("../" + name + "/d").c_str(), O_CREAT | O_WRONLY, 0600)); }},
        {"missing parent", [&] { create(dir / "missing/e"); }},
        {"directory fsync", [&] { fsync(dfd); }},
        {"subdirectory fsync", [&] { fsync(subfd); }},
        {"write to deleted file", [&] { CHECK(write(deletedfd, "x", 1) == 1, "write"); }},
        {"link O_TMPFILE in",
         [&] {
             CHECK(linkat(AT_FDCWD, tmpLink.c_str(), AT_FDCWD, (dir / "t").c_str(),
                          AT_SYMLINK_FOLLOW) == 0,
                   "linkat");
         }},
        {"move symlink out", [&] { rename((dir / "link-out").c_str(), (outside / "l").c_str()); }},
        {"relative to cwd",
         [&] {
             const fs::path home = fs::current_path();
             fs::current_path(dir.path);
             create("f");
             fs::current_path(home);
         }},
    };
    const std::vector<std::pair<const char*, std::function<void()>>> notCounted = {
        {"outside", [&] { create(outside / "x"); }},
        {"sibling", [&] { create(sibling + "/x"); }},
        {"through symlink out", [&] { create(dir / "to-outside/y"); }},
        {"dirfd outside", [&] { keep(openat(outfd, "z", O_CREAT | O_WRONLY, 0600)); }},
        {"outside fsync", [&] { fsync(outfd); }},
        {"open without O_CREAT",
         [&] { keep(open((dir / "existing").c_str(), O_WRONLY | O_TRUNC)); }},
        {"__open_2 without O_CREAT", [&] { keep(__open_2((dir / "existing").c_str(), O_RDONLY)); }},
        {"open O_DIRECTORY", [&] { keep(open(dir.c_str(), O_RDONLY | O_DIRECTORY)); }},
        {"rename outside", [&] { rename((outside / "x").c_str(), (outside / "y").c_str()); }},
        {"pipe",
         [&] {
             int ends[2];
             if (pipe(ends) == 0)
                 CHECK(write(ends[1], "ab", 2) == 2 && close(ends[0]) == 0 && close(ends[1]) == 0,
                       "pipe");
         }},
    };
    shim->arm(dir.c_str(), 0, FAULT_EIO);
    for (const auto& [label, call] : counted) {
        const long before = shim->calls();
        call();
        CHECK(shim->calls() == before + 1, label);
    }
    for (const auto& [label, call] : notCounted) {
        const long before = shim->calls();
        call();
        CHECK(shim->calls() == before, label);
    }
    CHECK(!shim->fired(), "nth 0 only counts");
    for (int fd : {dfd, subfd, outfd, tmpfd, deletedfd})
        close(fd);
    for (int fd : fds)
        close(fd);
}

// fd calls name the file the kernel reports, a directory or a deleted file included.
void fdCallsNameTheirFile() {
    TempDir dir;
    const std::string deleted = dir / "deleted";
    const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    const int fd = open(deleted.c_str(), O_CREAT | O_WRONLY, 0600);
    unlink(deleted.c_str());
    shim->arm(dir.c_str(), 1, FAULT_EIO);
    errno = 0;
    CHECK(fsync(dfd) == -1 && errno == EIO, "directory fsync");
    CHECK(shim->last() == "fsync " + dir.path, "directory");
    shim->arm(dir.c_str(), 1, FAULT_ENOSPC);
    CHECK(write(fd, "x", 1) == -1 && errno == ENOSPC, "write to a deleted file");
    CHECK(shim->last() == "write " + deleted, "deleted file");
    close(dfd);
    close(fd);
}

void shortWriteWritesHalf() {
    TempDir dir;
    const std::string f = dir / "f";
    const int fd = open(f.c_str(), O_CREAT | O_RDWR, 0600);
    shim->arm(dir.c_str(), 1, FAULT_SHORT_WRITE);
    CHECK(write(fd, "1", 1) == 1 && fsync(fd) == 0 && shim->calls() == 0, "not counted");
    CHECK(write(fd, "abcdefg", 7) == 3 && shim->fired() == 1, "write");
    CHECK(write(fd, "hij", 3) == 3 && shim->calls() == 2, "only once");
    CHECK(startsWith(shim->last(), "write " + f), "description");

    shim->arm(dir.c_str(), 1, FAULT_SHORT_WRITE);
    CHECK(pwrite(fd, "ABCDEF", 6, 0) == 3, "pwrite");
    char xy[] = "xy", zw[] = "zw", uv[] = "uv";
    iovec parts[] = {{xy, 2}, {nullptr, 0}, {zw, 2}, {uv, 2}};
    shim->arm(dir.c_str(), 1, FAULT_SHORT_WRITE);
    CHECK(writev(fd, parts, 4) == 3, "writev");
    shim->disarm();
    CHECK(readFile(f) == "ABCchijxyz", "content: " + readFile(f));
    close(fd);
}

void readModeFailsReadsOnlyAndTheTraceListsEveryCall() {
    TempDir dir;
    const std::string f = dir / "f";
    writeFile(f, "abc");
    shim->arm(dir.c_str(), 2, FAULT_READ);
    const int fd = open(f.c_str(), O_RDWR); // counted: 1
    char bytes[4] = {};
    errno = 0;
    CHECK(fd >= 0 && read(fd, bytes, 3) == -1 && errno == EIO, "read fails");
    CHECK(write(fd, "x", 1) == 1 && pread(fd, bytes, 1, 0) == 1, "writes pass, later reads pass");
    CHECK(shim->calls() == 3, "counted: the open and two reads");
    CHECK(std::string(shim->trace()) == "open f\nread f\npread f\n", shim->trace());
    close(fd);

    shim->arm(dir.c_str(), 0, FAULT_EIO);
    const int out = open((dir / "g").c_str(), O_CREAT | O_WRONLY, 0600);
    CHECK(write(out, "x", 1) == 1 && fdatasync(out) == 0, "count only");
    const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    CHECK(fsync(dfd) == 0 && rename((dir / "g").c_str(), (dir / "h").c_str()) == 0, "more");
    CHECK(std::string(shim->trace()) == "open g\nwrite g\nfdatasync g\nfsync .\nrename g h\n",
          shim->trace());
    // The steps keep what each call did: the flags, the offset and bytes of a write.
    size_t length = 0;
    const char* stepsData = shim->steps(&length);
    const std::string steps(stepsData, length);
    CHECK(steps == "open\tg\t\t" + std::to_string(O_CREAT | O_WRONLY) +
                       "\t0\nwrite\tg\t\t0\t1\nx"
                       "fdatasync\tg\t\t0\t0\nfsync\t.\t\t0\t0\nrename\tg\th\t0\t0\n",
          steps);
    close(out);
    close(dfd);
}

void passThroughKeepsErrnoAndMode() {
    TempDir dir, outside;
    const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    shim->arm(dir.c_str(), 100, FAULT_EIO);
    errno = E2BIG; // resolving a file yet to be made fails inside the library
    const int fds[] = {
        open((outside / "new").c_str(), O_CREAT | O_WRONLY, 0640),
        open((dir / "m").c_str(), O_CREAT | O_WRONLY | O_EXCL, 0640),
        openat(dfd, "n", O_CREAT | O_WRONLY, 0604),
        creat((dir / "c").c_str(), 0600),
    };
    CHECK(errno == E2BIG, "errno");
    CHECK(modeOf(outside / "new") == 0640 && modeOf(dir / "m") == 0640, "open mode");
    CHECK(modeOf(dir / "n") == 0604 && modeOf(dir / "c") == 0600, "openat, creat mode");
    CHECK(shim->calls() == 3, "counted");
    for (int fd : fds)
        close(fd);
    close(dfd);
}

void countsExactlyOnceAcrossThreads() {
    TempDir dir;
    constexpr int threadCount = 4, writes = 1000;
    std::vector<int> fds;
    for (int i = 0; i < threadCount; ++i)
        fds.push_back(open((dir / std::to_string(i)).c_str(), O_CREAT | O_WRONLY, 0600));
    std::atomic<int> failed{0};
    shim->arm(dir.c_str(), 2500, FAULT_EIO);
    std::vector<std::thread> threads;
    for (int fd : fds)
        threads.emplace_back([fd, &failed] {
            for (int i = 0; i < writes; ++i)
                if (write(fd, "x", 1) == -1 && errno == EIO)
                    ++failed;
        });
    for (std::thread& thread : threads)
        thread.join();
    CHECK(failed == 1 && shim->calls() == threadCount * writes, "threads");
    for (int fd : fds)
        close(fd);
}

// Started with FAULT_DIR, FAULT_NTH=2, FAULT_MODE=1: the library armed itself when loaded.
int environmentChild(const std::string& dir) {
    const std::string f = dir + "/child";
    const int fd = open(f.c_str(), O_CREAT | O_WRONLY, 0600);
    errno = 0;
    const bool ok = fd >= 0 && write(fd, "abc", 3) == -1 && errno == ENOSPC && shim->fired() == 1 &&
                    shim->last() == "write " + f && readFile(f).empty();
    return ok ? 0 : 1;
}

void armsFromTheEnvironment() {
    TempDir dir;
    const pid_t child = fork();
    if (child == 0) {
        setenv("FAULT_DIR", dir.c_str(), 1);
        setenv("FAULT_NTH", "2", 1);
        setenv("FAULT_MODE", "1", 1);
        execl("/proc/self/exe", "fault_shim_selftest", "--environment-child", dir.c_str(), nullptr);
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    CHECK(WIFEXITED(status) && WEXITSTATUS(status) == 0, "child");
}

} // namespace

int main(int argc, char** argv) {
    shim = fault_shim::api();
    if (!shim) {
        puts("libfault_shim.so is not preloaded: skipped");
        return 77;
    }
    if (argc == 3 && strcmp(argv[1], "--environment-child") == 0)
        return environmentChild(argv[2]);
    umask(0);
    eachCountedCallFailsWithoutEffect();
    failsTheNthCallOnlyAndKeepsCounting();
    countsOnlyWhatConcernsTheDirectory();
    fdCallsNameTheirFile();
    shortWriteWritesHalf();
    readModeFailsReadsOnlyAndTheTraceListsEveryCall();
    passThroughKeepsErrnoAndMode();
    countsExactlyOnceAcrossThreads();
    armsFromTheEnvironment();
    printf("fault_shim_selftest: %d failed checks\n", failures);
    return failures == 0 ? 0 : 1;
}

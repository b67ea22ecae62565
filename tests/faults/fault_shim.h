#pragma once
// Fault injection for tests: with libfault_shim.so in LD_PRELOAD, the N-th file system call that
// concerns one directory fails, so a test can show that no such failure loses data.
//
// Counted calls (a path or fd inside the armed directory, the directory itself included):
//   modes 1 and 2: open, open64, openat, openat64, __open_2, __open64_2, __openat_2,
//     __openat64_2, creat, creat64 (only when creating: O_CREAT or O_TMPFILE), write, pwrite,
//     pwrite64, writev, fsync, fdatasync, fchmod, fchmodat, rename, renameat, renameat2, link,
//     linkat, unlink, unlinkat, ftruncate, ftruncate64, truncate, truncate64, mkdir, mkdirat,
//     and close of a descriptor written or truncated through since it was opened.
//     The N-th fails with ENOSPC (1) or EIO (2) and does nothing; a failed close still closes.
//   mode 3: only write, pwrite, pwrite64 and writev of at least 2 bytes; the N-th writes the
//     first half of its bytes and returns that short count.
//   mode 4: only reads: the opens above without O_CREAT or O_TMPFILE, read, pread, pread64.
//     The N-th fails with EIO and does nothing.
// Everything else passes through untouched. stdio (fopen, fwrite, fflush) calls the kernel from
// inside glibc, out of the library's reach; so do sendfile and copy_file_range.
//
// A test finds the control functions at run time with fault_shim::api(), which is null when the
// library is not preloaded: such a test should skip. A separately started program is armed
// through its environment instead: FAULT_DIR, FAULT_NTH (default 1), FAULT_MODE (default 1);
// FAULT_LOG=1 also prints every counted call to stderr.
//
// A program built with AddressSanitizer needs ASAN_OPTIONS=verify_asan_link_order=0 as well
// (the library comes before the sanitizer runtime in the load order), or
// LD_PRELOAD="libasan.so.8 libfault_shim.so".

#include <cstddef>
#include <dlfcn.h>

extern "C" {

// The fortified entry points that _FORTIFY_SOURCE builds call instead of open()/openat().
int __open_2(const char* path, int flags);
int __open64_2(const char* path, int flags);
int __openat_2(int dirfd, const char* path, int flags);
int __openat64_2(int dirfd, const char* path, int flags);

enum { FAULT_ENOSPC = 1, FAULT_EIO = 2, FAULT_SHORT_WRITE = 3, FAULT_READ = 4 };

// Arms the library for calls inside dir; the count restarts. nth <= 0 only counts, so a test can
// learn how many calls a scenario makes and then fail each of them in turn. Another mode, or a
// null dir, disarms.
void fault_arm(const char* dir, long nth, int mode);
// Stops counting and failing; the results below stay readable until the next arm.
void fault_disarm(void);
// Counted calls since the last arm, the faulted one and those after it included.
long fault_calls(void);
// 1 once the fault was injected since the last arm.
int fault_fired(void);
// The faulted call, e.g. "fsync /tmp/x/a.txt" or "rename /tmp/x/a -> /tmp/x/b"; "" before.
const char* fault_last(void);
// Every counted call since the last arm, one a line, paths relative to the armed directory:
// "open64 a.txt", "fsync .", "rename a.tmp a.txt". Ends when its 64 KiB are full.
const char* fault_trace(void);
// The counted calls that succeeded since the last arm, with what they did, so that a test can
// build the directory again after each of them: per call a line "call<TAB>path<TAB>second
// path<TAB>number<TAB>size", paths as in the trace, then `size` bytes. number is the offset a
// write wrote at, a truncate's length, or the flags of the rest (open, renameat2, unlinkat);
// the bytes are what a write wrote. *length is the whole size; it ends when 4 MiB are full.
// One thread's calls at a time.
const char* fault_steps(size_t* length);
}

namespace fault_shim {

struct Api {
    decltype(&fault_arm) arm;
    decltype(&fault_disarm) disarm;
    decltype(&fault_calls) calls;
    decltype(&fault_fired) fired;
    decltype(&fault_last) last;
    decltype(&fault_trace) trace;
    decltype(&fault_steps) steps;
};

// The preloaded library's control functions, or nullptr when it is not loaded.
inline const Api* api() {
    static const Api found = [] {
        auto get = [](const char* name) { return dlsym(RTLD_DEFAULT, name); };
        Api api{};
        api.arm = reinterpret_cast<decltype(&fault_arm)>(get("fault_arm"));
        api.disarm = reinterpret_cast<decltype(&fault_disarm)>(get("fault_disarm"));
        api.calls = reinterpret_cast<decltype(&fault_calls)>(get("fault_calls"));
        api.fired = reinterpret_cast<decltype(&fault_fired)>(get("fault_fired"));
        api.last = reinterpret_cast<decltype(&fault_last)>(get("fault_last"));
        api.trace = reinterpret_cast<decltype(&fault_trace)>(get("fault_trace"));
        api.steps = reinterpret_cast<decltype(&fault_steps)>(get("fault_steps"));
        return api;
    }();
    const bool complete = found.arm && found.disarm && found.calls && found.fired && found.last &&
                          found.trace && found.steps;
    return complete ? &found : nullptr;
}

} // namespace fault_shim

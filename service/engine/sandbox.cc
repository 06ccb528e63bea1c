// SPDX-License-Identifier: Apache-2.0
#include "sandbox.h"

#include <fcntl.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

#include "sanitizer_build.h"

namespace speech {
namespace {

struct FilterDeleter {
    void operator()(void *ctx) const { seccomp_release(ctx); }
};
using Filter = std::unique_ptr<void, FilterDeleter>;

// Allowed whatever their arguments: reading, the streams' writes, memory,
// threads' housekeeping, time, waiting for the request's child, ending.
// The standard streams are the helper's only writable descriptors: every
// other it opens is read-only (below).
constexpr int kAllowed[] = {
    SCMP_SYS(read), SCMP_SYS(readv), SCMP_SYS(pread64), SCMP_SYS(write), SCMP_SYS(writev),
    SCMP_SYS(close), SCMP_SYS(close_range), SCMP_SYS(fstat), SCMP_SYS(newfstatat), SCMP_SYS(fstatat64),
    SCMP_SYS(stat), SCMP_SYS(lstat), SCMP_SYS(statx), SCMP_SYS(fstat64), SCMP_SYS(stat64), SCMP_SYS(lstat64),
    SCMP_SYS(lseek), SCMP_SYS(_llseek), SCMP_SYS(access), SCMP_SYS(faccessat), SCMP_SYS(faccessat2),
    SCMP_SYS(readlink), SCMP_SYS(readlinkat), SCMP_SYS(getdents64), SCMP_SYS(getcwd), SCMP_SYS(fcntl),
    SCMP_SYS(fcntl64), SCMP_SYS(poll), SCMP_SYS(ppoll), SCMP_SYS(ppoll_time64),
    SCMP_SYS(brk), SCMP_SYS(mmap), SCMP_SYS(mmap2), SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(mprotect),
    SCMP_SYS(madvise),
    SCMP_SYS(futex), SCMP_SYS(futex_time64), SCMP_SYS(set_robust_list), SCMP_SYS(rseq), SCMP_SYS(set_tid_address),
    SCMP_SYS(sched_yield), SCMP_SYS(sched_getaffinity), SCMP_SYS(getpid), SCMP_SYS(gettid), SCMP_SYS(getppid),
    SCMP_SYS(getuid), SCMP_SYS(geteuid), SCMP_SYS(getgid), SCMP_SYS(getegid), SCMP_SYS(getrandom),
    SCMP_SYS(sysinfo), SCMP_SYS(uname), SCMP_SYS(getrlimit), SCMP_SYS(ugetrlimit),
    SCMP_SYS(rt_sigaction), SCMP_SYS(rt_sigprocmask), SCMP_SYS(rt_sigreturn), SCMP_SYS(sigreturn),
    SCMP_SYS(sigaltstack), SCMP_SYS(restart_syscall),
    SCMP_SYS(clock_gettime), SCMP_SYS(clock_gettime64), SCMP_SYS(clock_getres), SCMP_SYS(gettimeofday),
    SCMP_SYS(clock_nanosleep), SCMP_SYS(clock_nanosleep_time64), SCMP_SYS(nanosleep),
    SCMP_SYS(wait4), SCMP_SYS(waitid), SCMP_SYS(exit), SCMP_SYS(exit_group),
};

// Flags that make a file opened for more than reading, or a new file.
constexpr scmp_datum_t kWritingFlags = O_ACCMODE | O_CREAT | O_TRUNC | O_APPEND;
// Namespaces: a child or thread in new ones.
constexpr scmp_datum_t kNewNamespaces =
    CLONE_NEWNS | CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNET | CLONE_NEWIPC | CLONE_NEWUTS | CLONE_NEWCGROUP;

// Adds an allow rule; a call the architecture does not have (a negative
// pseudo-number) is left out.
// A comparison of argument `index` (libseccomp's SCMP_A* macros use C
// compound literals). For SCMP_CMP_MASKED_EQ, `a` is the mask and `b` the value.
scmp_arg_cmp arg(unsigned index, scmp_compare op, scmp_datum_t a, scmp_datum_t b = 0) {
    scmp_arg_cmp cmp{};
    cmp.arg = index;
    cmp.op = op;
    cmp.datum_a = a;
    cmp.datum_b = b;
    return cmp;
}

int add(void *ctx, std::uint32_t action, int call, unsigned count = 0, const scmp_arg_cmp *args = nullptr) {
    const int rc = seccomp_rule_add_array(ctx, action, call, count, args);
    return call < 0 ? 0 : rc;
}

int allow(void *ctx, int call, unsigned count = 0, const scmp_arg_cmp *args = nullptr) {
    return add(ctx, SCMP_ACT_ALLOW, call, count, args);
}

std::string build_and_load() {
    // Anything not allowed below kills the whole process: a thread killed
    // alone would leave the helper waiting for it.
    Filter ctx(seccomp_init(SCMP_ACT_KILL_PROCESS));
    if (!ctx) return "cannot make a system call filter";
    void *c = ctx.get();
    // A call made through another architecture's entry (32-bit calls on a
    // 64-bit kernel) kills as well; the filter knows only the native one.
    int rc = seccomp_attr_set(c, SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_KILL_PROCESS);
    for (const int call : kAllowed)
        if (rc == 0) rc = allow(c, call);
    // Opening for reading only: the engine's data, /proc/self for the page
    // warmer.
    const scmp_arg_cmp read_only_at = arg(2, SCMP_CMP_MASKED_EQ, kWritingFlags, 0);
    const scmp_arg_cmp read_only = arg(1, SCMP_CMP_MASKED_EQ, kWritingFlags, 0);
    if (rc == 0) rc = allow(c, SCMP_SYS(openat), 1, &read_only_at);
    if (rc == 0) rc = allow(c, SCMP_SYS(open), 1, &read_only);
    // openat2 and clone3 pass their flags in memory, which a filter cannot
    // read: they fail as unknown calls, and the C library falls back to
    // openat and clone.
    if (rc == 0) rc = add(c, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(openat2));
    if (rc == 0) rc = add(c, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3));
    // fork and threads, in no new namespace (s390 passes the flags second).
#if defined(__s390__)
    const scmp_arg_cmp same_namespaces = arg(1, SCMP_CMP_MASKED_EQ, kNewNamespaces, 0);
#else
    const scmp_arg_cmp same_namespaces = arg(0, SCMP_CMP_MASKED_EQ, kNewNamespaces, 0);
#endif
    if (rc == 0) rc = allow(c, SCMP_SYS(clone), 1, &same_namespaces);
    // Signals only to the helper itself (it passes on how its child ended).
    const scmp_arg_cmp to_helper = arg(0, SCMP_CMP_EQ, static_cast<scmp_datum_t>(::getpid()));
    if (rc == 0) rc = allow(c, SCMP_SYS(kill), 1, &to_helper);
    if (rc == 0) rc = allow(c, SCMP_SYS(tgkill), 1, &to_helper);
    // Each child dies with the helper.
    const scmp_arg_cmp death_signal = arg(0, SCMP_CMP_EQ, PR_SET_PDEATHSIG);
    if (rc == 0) rc = allow(c, SCMP_SYS(prctl), 1, &death_signal);
    // Reading the limits only (prlimit64 with no new limit).
    const scmp_arg_cmp no_new_limit = arg(2, SCMP_CMP_EQ, 0);
    if (rc == 0) rc = allow(c, SCMP_SYS(prlimit64), 1, &no_new_limit);
    if (rc != 0) return std::string("cannot make the system call filter: ") + std::strerror(-rc);
    // Loading also sets no_new_privs, which an unprivileged process needs
    // for a filter; set first, so that it holds whatever the loader does.
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return std::string("cannot set no_new_privs: ") + std::strerror(errno);
    rc = seccomp_load(c);
    if (rc != 0) return std::string("cannot load the system call filter: ") + std::strerror(-rc);
    return "";
}

}  // namespace

bool sandbox_wanted() { return !kThreadSanitizer && !kMemorySanitizer; }

std::string enter_sandbox() { return sandbox_wanted() ? build_and_load() : ""; }

}  // namespace speech

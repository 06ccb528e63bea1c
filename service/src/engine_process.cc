// SPDX-License-Identifier: Apache-2.0
#include "engine_process.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>
#include <vector>

#include "speech_service.h"

extern char **environ;

namespace speech {
namespace {

// Closes `fd` on scope exit unless released.
struct FdGuard {
    int fd;
    ~FdGuard() {
        if (fd >= 0) ::close(fd);
    }
};

void set_nonblocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

// The file actions and attributes of a helper: the socket as stdin and
// stdout, the pipe (if any) as stderr, every other descriptor closed; its
// own process group (so that killing it takes its children too), no signal
// blocked and every catchable signal at its default. Returns 0 or errno.
int prepare(posix_spawn_file_actions_t &actions, posix_spawnattr_t &attr, int sock, int err) {
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    int rc = posix_spawn_file_actions_adddup2(&actions, sock, STDIN_FILENO);
    rc = rc ? rc : posix_spawn_file_actions_adddup2(&actions, sock, STDOUT_FILENO);
    if (err >= 0) rc = rc ? rc : posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
    rc = rc ? rc : posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    rc = rc ? rc : posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    rc = rc ? rc : posix_spawnattr_setpgroup(&attr, 0);
    rc = rc ? rc : posix_spawnattr_setsigmask(&attr, &none);
    rc = rc ? rc : posix_spawnattr_setsigdefault(&attr, &all);
    return rc;
}

}  // namespace

std::string folder_of(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string engine_program_path() {
    if (const char *env = std::getenv("SPEECH_SERVICE_ENGINE"); env != nullptr && *env != '\0') return env;
    return installed_engine_program_path();
}

std::string installed_engine_program_path() {
    // The file this code was loaded from: the service library, or the
    // program itself when the service is linked in statically. A relative
    // name (a library found through a relative LD_LIBRARY_PATH) is made
    // absolute; the main program is named by an empty string. Found once:
    // the code does not move while it runs, and every session asks.
    static const std::string path = [] {
        Dl_info info{};
        if (dladdr(reinterpret_cast<void *>(&installed_engine_program_path), &info) != 0 &&
            info.dli_fname != nullptr) {
            const char *file = info.dli_fname[0] != '\0' ? info.dli_fname : "/proc/self/exe";
            if (char *real = realpath(file, nullptr)) {
                std::string found = folder_of(real) + "/" SPEECH_ENGINE_RELATIVE_PATH;
                std::free(real);
                return found;
            }
        }
        return std::string(SPEECH_ENGINE_INSTALLED_PATH);
    }();
    return path;
}

EngineProcess::~EngineProcess() {
    if (pid_ > 0 && ours()) {
        kill();
        reap(std::chrono::milliseconds(0));
    }
    close_socket();
    close_stderr();
    close_pidfd();
}

bool EngineProcess::ours() const { return owner_ == getpid(); }

void EngineProcess::close_socket() {
    if (sock_ >= 0) ::close(sock_);
    sock_ = -1;
}

void EngineProcess::close_pidfd() {
    if (pidfd_ >= 0) ::close(pidfd_);
    pidfd_ = -1;
}

void EngineProcess::close_stderr() {
    if (err_ >= 0) ::close(err_);
    err_ = -1;
}

bool EngineProcess::fit_for_session() const {
    if (sock_ < 0) return false;
    // Before its first session the helper's magic line waits unread.
    pollfd p = {sock_, static_cast<short>(sessions_ > 0 ? POLLIN : 0), 0};
    return ::poll(&p, 1, 0) == 0;
}

int EngineProcess::spawn(const std::string &program, bool inherit_stderr) {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return SPEECH_ERR_SYSTEM;
    FdGuard ours{sv[0]}, theirs{sv[1]};
    int ep[2] = {-1, -1};
    if (!inherit_stderr && pipe2(ep, O_CLOEXEC) != 0) return SPEECH_ERR_SYSTEM;
    FdGuard err_ours{ep[0]}, err_theirs{ep[1]};

    const std::string parent = std::to_string(getpid());
    std::vector<char *> argv = {const_cast<char *>(program.c_str()), const_cast<char *>(kParentOption),
                                const_cast<char *>(parent.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0) return SPEECH_ERR_SYSTEM;
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return SPEECH_ERR_SYSTEM;
    }
    int rc = prepare(actions, attr, sv[1], ep[1]);
    pid_t pid = -1;
    rc = rc ? rc : posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return SPEECH_ERR_ENGINE_START;

    pid_ = pid;
    owner_ = getpid();
#ifdef SYS_pidfd_open
    pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));  // -1 on older kernels
#endif
    program_ = program;
    inherit_stderr_ = inherit_stderr;
    set_nonblocking(sv[0]);
    sock_ = sv[0];
    ours.fd = -1;
    if (ep[0] >= 0) {
        set_nonblocking(ep[0]);
        err_ = ep[0];
        err_ours.fd = -1;
    }
    return SPEECH_OK;
}

void EngineProcess::kill() {
    if (pid_ > 0 && ours()) {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
    }
}

bool EngineProcess::reap_if_exited() {
    if (pid_ <= 0 || !ours()) return true;
    const pid_t got = waitpid(pid_, nullptr, WNOHANG);
    if (got == 0 || (got < 0 && errno == EINTR)) return false;
    pid_ = -1;
    close_pidfd();
    engine_process_reaped();
    return true;
}

// Waits for at most `most` for the helper to exit: on its process
// descriptor, which wakes us the moment it does, or else by a short sleep
// that grows from call to call.
void EngineProcess::wait_a_while(std::chrono::microseconds most, std::chrono::microseconds &pause) {
    if (pidfd_ >= 0) {
        pollfd p = {pidfd_, POLLIN, 0};
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(most).count();
        const timespec ts = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        ::ppoll(&p, 1, &ts, nullptr);
        return;
    }
    std::this_thread::sleep_for(std::min(pause, most));
    pause = std::min(pause * 2, std::chrono::microseconds(5000));
}

EngineEnd EngineProcess::reap(std::chrono::milliseconds bound, const std::atomic<bool> *abort) {
    EngineEnd end;
    if (pid_ <= 0 || !ours()) return end;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    int status = 0;
    pid_t got;
    auto pause = std::chrono::microseconds(20);
    for (;;) {
        got = waitpid(pid_, &status, WNOHANG);
        if (got < 0 && errno == EINTR) continue;
        const auto now = std::chrono::steady_clock::now();
        if (got != 0 || now >= deadline) break;
        if (abort != nullptr && abort->load()) break;
        // A slice at a time, so that an abort is seen.
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
        wait_a_while(std::min<std::chrono::microseconds>(left, std::chrono::milliseconds(10)), pause);
    }
    if (got == 0) {  // still running past the bound
        kill();
        // Never a blocking wait: with SIGCHLD ignored it would wait for
        // every child of the host. A killed helper is gone at once.
        pause = std::chrono::microseconds(20);
        while ((got = waitpid(pid_, &status, WNOHANG)) == 0 || (got < 0 && errno == EINTR))
            wait_a_while(std::chrono::milliseconds(10), pause);
        end.kind = EngineEnd::kTimedOut;
    } else if (got > 0 && WIFSIGNALED(status)) {
        end.kind = EngineEnd::kSignaled;
    } else if (got > 0) {
        end.kind = EngineEnd::kExited;
        end.exit_code = WEXITSTATUS(status);
    }
    // Otherwise a host that ignores SIGCHLD or reaps every child itself
    // left no status to read: kUnknown.
    pid_ = -1;
    close_pidfd();
    engine_process_reaped();
    return end;
}

}  // namespace speech

// SPDX-License-Identifier: Apache-2.0
#include "engine_process.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

#include "speech_service.h"

extern char **environ;

namespace speech {
namespace {

std::string folder_of(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// Closes `fd` on scope exit unless released.
struct FdGuard {
    int fd;
    ~FdGuard() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::string engine_program_path() {
    if (const char *env = std::getenv("SPEECH_SERVICE_ENGINE"); env != nullptr && *env != '\0') return env;
    // The file this code was loaded from: the service library, or the
    // program itself when the service is linked in statically. A relative
    // name (a library found through a relative LD_LIBRARY_PATH) is made
    // absolute; the main program is named by an empty string.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&engine_program_path), &info) != 0 && info.dli_fname != nullptr) {
        const char *file = info.dli_fname[0] != '\0' ? info.dli_fname : "/proc/self/exe";
        if (char *real = realpath(file, nullptr)) {
            std::string path = folder_of(real) + "/" SPEECH_ENGINE_RELATIVE_PATH;
            std::free(real);
            return path;
        }
    }
    return SPEECH_ENGINE_INSTALLED_PATH;
}

EngineProcess::~EngineProcess() {
    if (pid_ > 0) {
        int ignored;
        kill();
        reap(std::chrono::milliseconds(0), ignored);
    }
    close_socket();
}

void EngineProcess::close_socket() {
    if (sock_ >= 0) ::close(sock_);
    sock_ = -1;
}

int EngineProcess::spawn(const std::string &program, const std::vector<std::string> &args) {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return SPEECH_ERR_SYSTEM;
    FdGuard ours{sv[0]}, theirs{sv[1]};

    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0) return SPEECH_ERR_SYSTEM;
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return SPEECH_ERR_SYSTEM;
    }
    // The helper gets the socket as stdin and stdout, runs in its own
    // process group (so that killing it takes its children too), with no
    // signal blocked and every catchable signal at its default.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    int rc = posix_spawn_file_actions_adddup2(&actions, sv[1], STDIN_FILENO);
    rc = rc ? rc : posix_spawn_file_actions_adddup2(&actions, sv[1], STDOUT_FILENO);
    rc = rc ? rc : posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    rc = rc ? rc : posix_spawnattr_setpgroup(&attr, 0);
    rc = rc ? rc : posix_spawnattr_setsigmask(&attr, &none);
    rc = rc ? rc : posix_spawnattr_setsigdefault(&attr, &all);
    pid_t pid = -1;
    rc = rc ? rc : posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return SPEECH_ERR_ENGINE_START;

    pid_ = pid;
    const int flags = fcntl(sv[0], F_GETFL);
    fcntl(sv[0], F_SETFL, flags | O_NONBLOCK);
    sock_ = sv[0];
    ours.fd = -1;
    return SPEECH_OK;
}

void EngineProcess::kill() {
    if (pid_ > 0) {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
    }
}

int EngineProcess::reap(std::chrono::milliseconds bound, int &exit_code, const std::atomic<bool> *abort) {
    exit_code = -1;
    if (pid_ <= 0) return SPEECH_OK;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    int status = 0;
    pid_t got;
    // The helper has closed its output and is exiting: poll briefly at
    // first, then back off.
    auto pause = std::chrono::microseconds(50);
    for (;;) {
        got = waitpid(pid_, &status, WNOHANG);
        if (got != 0 || std::chrono::steady_clock::now() >= deadline) break;
        if (abort != nullptr && abort->load()) break;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(5000));
    }
    if (got == 0) {  // still running past the bound
        kill();
        while ((got = waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return SPEECH_ERR_ENGINE_TIMEOUT;
    }
    pid_ = -1;
    // A host that ignores SIGCHLD or reaps every child itself leaves no
    // status to read: the output decides then.
    if (got < 0) return SPEECH_OK;
    if (WIFSIGNALED(status)) return SPEECH_ERR_ENGINE_CRASHED;
    exit_code = WEXITSTATUS(status);
    switch (exit_code) {
        case kEngineOk: return SPEECH_OK;
        case kEngineUnknownVoice: return SPEECH_ERR_UNKNOWN_VOICE;
        default: return SPEECH_ERR_ENGINE_FAILED;
    }
}

}  // namespace speech

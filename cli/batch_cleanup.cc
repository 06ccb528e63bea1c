// SPDX-License-Identifier: Apache-2.0
#include "batch_cleanup.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "path_names.h"
#include "unnamed_file.h"

namespace tts_say {
namespace {

// The signals that end a process, less SIGPIPE (raised by a write in the
// thread that made it, where sigwait cannot see it).
constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGALRM, SIGTERM, SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ};

sigset_t caught_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kEndingSignals) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;  // nohup
        sigaddset(&set, sig);
    }
    return set;
}

}  // namespace

BatchTempFiles::BatchTempFiles() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode_ = 0666 & ~mask;
    const sigset_t set = caught_set();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([this, set] {
        int sig = 0;
        while (::sigwait(&set, &sig) != 0) {
        }
        // The lock is never given back: no file is renamed into place after this.
        mutex_.lock();
        for (const std::string &path : live_) ::unlink(path.c_str());
        ::signal(sig, SIG_DFL);
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, sig);
        ::pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
        ::raise(sig);
        ::_exit(128 + sig);
    }).detach();
}

int BatchTempFiles::create(const std::string &target, std::string &path, std::string &error) {
    path.clear();
    // A run killed outright then leaves nothing behind.
    if (const int fd = open_unnamed(folder_of(target), 0666); fd >= 0) return fd;
    std::string name = temp_name_prefix(target) + "XXXXXX";
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    std::lock_guard<std::mutex> lock(mutex_);
    const int fd = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "cannot write " + target + ": " + std::strerror(errno);
        return -1;
    }
    ::fchmod(fd, mode_);
    path = buf.data();
    live_.insert(path);
    return fd;
}

bool BatchTempFiles::place(int fd, const std::string &path, const std::string &target) {
    if (path.empty()) {
        // Under the lock, which a signal takes for good: a fresh name made
        // on the way is renamed before the signal is acted on.
        std::lock_guard<std::mutex> lock(mutex_);
        const bool placed = link_into_place(fd, target, temp_name_prefix(target));
        const int saved = errno;
        const bool closed = ::close(fd) == 0;
        if (!placed) errno = saved;
        return placed && closed;
    }
    // A named file is closed first, where a late write error shows.
    const bool closed = ::close(fd) == 0;
    std::lock_guard<std::mutex> lock(mutex_);
    live_.erase(path);
    if (closed && ::rename(path.c_str(), target.c_str()) == 0) return true;
    const int saved = errno;
    ::unlink(path.c_str());
    errno = saved;
    return false;
}

void BatchTempFiles::discard(int fd, const std::string &path) {
    ::close(fd);
    if (path.empty()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    live_.erase(path);
    ::unlink(path.c_str());
}

}  // namespace tts_say

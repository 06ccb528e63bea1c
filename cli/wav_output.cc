// SPDX-License-Identifier: Apache-2.0
#include "wav_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tts_say {
namespace {

std::string reason(const std::string &what) { return what + ": " + std::strerror(errno); }

bool write_all(int fd, const char *p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

}  // namespace

std::string output_path_problem(const std::string &path) {
    // O_NONBLOCK: a FIFO without a reader must not stop the check.
    int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd >= 0) ::unlink(path.c_str());
    }
    if (fd < 0) return reason("cannot write " + path);
    ::close(fd);
    return "";
}

bool TemporaryWav::create(std::string &error) {
    const char *dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/tts-say-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) {
        error = reason("cannot make a temporary file in " + pattern.substr(0, pattern.rfind('/')));
        return false;
    }
    path_ = name.data();
    return true;
}

bool TemporaryWav::copy_to(int fd, std::string &error) const {
    if (::lseek(fd_, 0, SEEK_SET) < 0) {
        error = reason("cannot read " + path_);
        return false;
    }
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = reason("cannot read " + path_);
            return false;
        }
        if (n == 0) return true;
        if (!write_all(fd, buf, static_cast<std::size_t>(n))) {
            error = reason("cannot write the WAV to standard output");
            return false;
        }
    }
}

TemporaryWav::~TemporaryWav() {
    if (fd_ < 0) return;
    ::unlink(path_.c_str());
    ::close(fd_);
}

}  // namespace tts_say

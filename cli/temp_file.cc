// SPDX-License-Identifier: Apache-2.0
#include "temp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "signal_cleanup.h"
#include "unnamed_file.h"

namespace tts_say {
namespace {

// `fd`, or a copy of it above the standard descriptors (which the library's
// console owns) with `fd` closed; -1 with errno set.
int above_standard_streams(int fd) {
    if (fd > STDERR_FILENO) return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return moved;
}

}  // namespace

bool TempFile::create(const std::string &prefix, std::string &error) {
    std::vector<char> name(prefix.begin(), prefix.end());
    name.insert(name.end(), {'X', 'X', 'X', 'X', 'X', 'X', '\0'});
    SignalsHeld held;
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    fd_ = above_standard_streams(fd);
    path_ = name.data();
    named_ = true;
    remove_on_signal(path_.c_str());
    if (fd_ < 0) {
        error = std::strerror(errno);
        return false;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd_, 0666 & ~mask) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

bool TempFile::create_unnamed(const std::string &folder, const std::string &prefix) {
    const int fd = open_unnamed(folder, 0666);
    if (fd < 0) return false;
    fd_ = above_standard_streams(fd);
    if (fd_ < 0) return false;
    path_ = descriptor_path(fd_);
    prefix_ = prefix;
    unnamed_ = true;
    return true;
}

bool TempFile::drop_name() {
    const std::string by_descriptor = descriptor_path(fd_);
    if (::access(by_descriptor.c_str(), W_OK) != 0) return false;
    ::unlink(path_.c_str());
    remove_on_signal(nullptr);
    named_ = false;
    path_ = by_descriptor;
    return true;
}

bool TempFile::rename_to(const std::string &target) {
    if (unnamed_) {
        if (!link_into_place(fd_, target, prefix_, [](const char *name) { remove_on_signal(name); })) return false;
        unnamed_ = false;
        return true;
    }
    if (::rename(path_.c_str(), target.c_str()) != 0) return false;
    remove_on_signal(nullptr);
    named_ = false;
    return true;
}

TempFile::~TempFile() {
    if (named_) {
        ::unlink(path_.c_str());
        remove_on_signal(nullptr);
    }
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace tts_say

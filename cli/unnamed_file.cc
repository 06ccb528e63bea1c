// SPDX-License-Identifier: Apache-2.0
#include "unnamed_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>

namespace tts_say {
std::string six_random() {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[6] = {};
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        const unsigned long seed = static_cast<unsigned long>(::getpid()) * 2654435761u ^
                                   reinterpret_cast<unsigned long>(&bytes);
        for (std::size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(seed >> (8 * i));
    }
    std::string out;
    for (const unsigned char b : bytes) out += kChars[b % (sizeof kChars - 1)];
    return out;
}

std::string descriptor_path(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

int open_unnamed(const std::string &folder, mode_t mode) {
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return -1;
    const int fd = open_unnamed_at(dir, mode);
    const int saved = errno;
    ::close(dir);
    errno = saved;
    return fd;
}

int open_unnamed_at(int folder_fd, mode_t mode) {
    const int fd = ::openat(folder_fd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (fd < 0) return -1;
    // Named later through /proc: without it the file could never be named.
    if (::access(descriptor_path(fd).c_str(), F_OK) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

bool link_into_place(int fd, const std::string &target, const std::string &temp_prefix,
                     const std::function<void(const char *)> &temp_name) {
    return link_into_place_at(fd, AT_FDCWD, target, temp_prefix, temp_name);
}

bool link_into_place_at(int fd, int dir, const std::string &target, const std::string &temp_prefix,
                        const std::function<void(const char *)> &temp_name) {
    const std::string from = descriptor_path(fd);
    if (::linkat(AT_FDCWD, from.c_str(), dir, target.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno != EEXIST) return false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = temp_prefix + six_random();
        if (temp_name) temp_name(name.c_str());
        if (::linkat(AT_FDCWD, from.c_str(), dir, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            const int saved = errno;
            if (temp_name) temp_name(nullptr);
            if (saved != EEXIST) return errno = saved, false;
            continue;
        }
        const bool renamed = ::renameat(dir, name.c_str(), dir, target.c_str()) == 0;
        const int saved = errno;
        if (!renamed) ::unlinkat(dir, name.c_str(), 0);
        if (temp_name) temp_name(nullptr);
        errno = saved;
        return renamed;
    }
    errno = EEXIST;
    return false;
}

}  // namespace tts_say

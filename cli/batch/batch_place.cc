// SPDX-License-Identifier: Apache-2.0
#include "batch_place.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "shown_text.h"

namespace tts_say {
namespace {

// True when a part of the path is "..".
bool climbs(const std::string &path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end - start == 2 && path.compare(start, 2, "..") == 0) return true;
        start = end + 1;
    }
    return false;
}

// Opens the folder `relative` beneath `root` (a descriptor), following
// symbolic links only while they stay beneath it; -1 with errno (EXDEV for
// one that leaves). Without openat2, every part is opened with O_NOFOLLOW.
int open_beneath(int root, const std::string &relative) {
    if (relative.empty()) return ::openat(root, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
#ifdef SYS_openat2
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, root, relative.c_str(), &how, sizeof how);
    if (fd >= 0 || errno != ENOSYS) return static_cast<int>(fd);
#endif
    UniqueFd at(::openat(root, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    std::size_t start = 0;
    while (at.get() >= 0 && start < relative.size()) {
        std::size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        const std::string part = relative.substr(start, end - start);
        if (!part.empty() && part != ".") {
            const int next = ::openat(at.get(), part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0) return (errno == ELOOP || errno == ENOTDIR ? errno = EXDEV : 0), -1;
            at = UniqueFd(next);
        }
        start = end + 1;
    }
    if (at.get() < 0) return -1;
    return ::dup(at.get());
}

// mkdir -p: makes `dir` and its missing parents.
bool make_folders(const std::string &dir) {
    for (std::size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        const std::string part = dir.substr(0, slash);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

}  // namespace

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
}

UniqueFd &UniqueFd::operator=(UniqueFd &&o) noexcept {
    if (this != &o) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = o.fd_;
        o.fd_ = -1;
    }
    return *this;
}

FileId file_id_of(int fd) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return {};
    return {st.st_dev, st.st_ino, true};
}

FileId file_id_of(const std::string &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return {st.st_dev, st.st_ino, true};
}

bool stays_inside(const std::string &path) {
    return !path.empty() && path[0] != '/' && !climbs(path) && path.find('\0') == std::string::npos;
}

bool OutputRoot::open(const std::string &dir, std::string &error) {
    dir_ = dir;
    int fd = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && make_folders(dir)) fd = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        const int saved = errno;
        error = "the output folder " + tts_text::shown(dir) + " cannot be " +
                (saved == ENOTDIR ? std::string("used: it is not a folder") : "made or opened: " + std::string(std::strerror(saved)));
        return false;
    }
    fd_ = UniqueFd(fd);
    return true;
}

bool OutputRoot::place(const std::string &relative, ItemPlace &out, std::string &error) const {
    if (!stays_inside(relative) || relative.back() == '/') {
        error = "'" + tts_text::shown(relative) + "' would leave the output folder" +
                (relative.empty() || relative.back() != '/' ? "" : " (it names a folder)");
        if (!relative.empty() && relative[0] == '/') error += " (an absolute path: name it relative to the folder)";
        return false;
    }
    const std::size_t slash = relative.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : relative.substr(0, slash);
    out.base = relative.substr(slash == std::string::npos ? 0 : slash + 1);
    if (out.base == "." ) {
        error = "'" + tts_text::shown(relative) + "' names a folder, not a file";
        return false;
    }
    out.shown = dir_ + "/" + relative;
    const int fd = open_beneath(fd_.get(), folder);
    if (fd < 0) {
        error = errno == EXDEV ? "'" + tts_text::shown(relative) + "' would leave the output folder (through a symbolic link)"
                               : "cannot open the folder of '" + tts_text::shown(relative) + "': " + std::strerror(errno);
        return false;
    }
    out.folder = UniqueFd(fd);
    return true;
}

}  // namespace tts_say

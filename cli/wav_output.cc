// SPDX-License-Identifier: Apache-2.0
#include "wav_output.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "console_route.h"
#include "path_names.h"
#include "write_all.h"

namespace tts_say {
namespace {

constexpr int kMaxLinks = 40;             // as the kernel follows them

// Copies all of `from` into `to`; empty, or what failed and why.
std::string copy_all(int from, int to, const std::string &from_name, const std::string &to_name) {
    const auto failed = [](const std::string &what) { return what + ": " + std::strerror(errno); };
    if (::lseek(from, 0, SEEK_SET) < 0) return failed("cannot read " + from_name);
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(from, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failed("cannot read " + from_name);
        if (n == 0) return "";
        if (!write_all(to, buf, static_cast<std::size_t>(n))) return failed("cannot write the WAV to " + to_name);
    }
}

// The path that writing to `path` would create or replace: symbolic links
// followed to their end, also a dangling one. False with errno set.
bool follow_links(std::string path, std::string &out) {
    for (int i = 0; i < kMaxLinks; ++i) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            out = path;
            return true;
        }
        char link[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), link, sizeof link);
        if (n < 0) return false;
        if (static_cast<std::size_t>(n) == sizeof link) return errno = ENAMETOOLONG, false;
        const std::string to(link, static_cast<std::size_t>(n));
        path = to[0] == '/' ? to : folder_of(path) + "/" + to;
    }
    errno = ELOOP;
    return false;
}

bool all_digits(const std::string &s) {
    return !s.empty() && s.size() < 10 && s.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

int named_descriptor(const std::string &name) {
    if (name == "-" || name == "/dev/stdout") return STDOUT_FILENO;
    if (name == "/dev/stderr") return STDERR_FILENO;
    for (const char *prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const std::string p = prefix;
        if (name.rfind(p, 0) == 0 && all_digits(name.substr(p.size()))) return std::atoi(name.c_str() + p.size());
    }
    return -1;
}

bool WavOutput::open(const std::string &name, std::string &error) {
    where_ = name == "-" ? "standard output" : name;
    const int fd = named_descriptor(name);
    const bool ok = fd >= 0 ? open_stream(fd, error) : open_file(error);
    if (!ok) error = "cannot write " + where_ + ": " + error;
    return ok;
}

bool WavOutput::open_stream(int fd, std::string &error) {
    if (fd <= STDERR_FILENO && standard_descriptor_was_closed(fd)) {
        error = "it is closed";
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0 && (flags & O_ACCMODE) == O_RDONLY) {
        error = "it is open for reading only";
        return false;
    }
    stream_ = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (stream_ < 0) {
        error = std::strerror(errno);
        return false;
    }
    on_stdout_ = fd == STDOUT_FILENO;
    const char *dir = std::getenv("TMPDIR");
    const std::string folder = dir != nullptr && *dir != '\0' ? dir : "/tmp";
    if (!temp_.create(folder + "/tts-say-", error)) {
        error = "cannot make a temporary file in " + folder + ": " + error;
        return false;
    }
    temp_.drop_name();  // where /proc is absent, the name goes on exit and on a signal
    return true;
}

bool WavOutput::open_file(std::string &error) {
    if (!follow_links(where_, target_)) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode)) {
            error = std::strerror(EISDIR);
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            // A FIFO, a device or a socket: opened as a plain write would.
            const int fd = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
            if (fd < 0) {
                error = std::strerror(errno);
                return false;
            }
            const bool ok = open_stream(fd, error);
            ::close(fd);
            return ok;
        }
        if (::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
            error = std::strerror(errno);
            return false;
        }
    } else if (errno != ENOENT) {
        error = std::strerror(errno);
        return false;
    }
    // Beside the target, so that the rename is atomic; without a name until
    // then where the file system allows.
    const std::string prefix = temp_name_prefix(target_);
    if (temp_.create_unnamed(folder_of(target_), prefix) || temp_.create(prefix, error)) return true;
    if (!exists || (errno != EACCES && errno != EPERM)) return false;
    // A folder we may not add to, holding a file we may write: the WAV is
    // made aside and copied over the file once complete, as a plain write
    // would (not in one step).
    const int fd = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    error.clear();
    overwrite_ = true;
    const bool ok = open_stream(fd, error);
    ::close(fd);
    return ok;
}

bool WavOutput::finish(std::string &error) {
    if (stream_ >= 0) {
        if (overwrite_ && ::ftruncate(stream_, 0) != 0) {
            error = "cannot write " + where_ + ": " + std::strerror(errno);
            return false;
        }
        error = copy_all(temp_.fd(), stream_, "the temporary WAV " + temp_.path(), where_);
        if (error.empty() && overwrite_ && ::fsync(stream_) != 0)
            error = "cannot write " + where_ + ": " + std::strerror(errno);
        return error.empty();
    }
    // A replaced file keeps its mode, and its owner and group where they
    // may be set (else the new file is the caller's).
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        [[maybe_unused]] const int owned = ::fchown(temp_.fd(), old.st_uid, old.st_gid);
        ::fchmod(temp_.fd(), old.st_mode & 07777);
    }
    if (::fsync(temp_.fd()) != 0 || !temp_.rename_to(target_)) {
        error = "cannot write " + where_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

WavOutput::~WavOutput() {
    if (stream_ >= 0) ::close(stream_);
}

}  // namespace tts_say

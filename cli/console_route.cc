// SPDX-License-Identifier: Apache-2.0
#include "console_route.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tts_say {
namespace {

bool g_was_closed[3] = {false, false, false};

}  // namespace

void occupy_closed_standard_outputs() {
    for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        g_was_closed[fd] = true;
        const int null_fd = ::open("/dev/null", O_WRONLY);  // the lowest free number: `fd` or below
        if (null_fd >= 0 && null_fd != fd) {
            ::dup2(null_fd, fd);
            ::close(null_fd);
        }
    }
}

bool standard_descriptor_was_closed(int fd) { return fd >= 0 && fd <= STDERR_FILENO && g_was_closed[fd]; }

bool give_empty_stdin(std::string &error) {
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd == STDIN_FILENO) {  // standard input was closed: it is /dev/null now
        ::fcntl(fd, F_SETFD, 0);
    } else if (fd < 0 || ::dup2(fd, STDIN_FILENO) < 0) {
        error = std::string("cannot open /dev/null: ") + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    } else {
        ::close(fd);
    }
    std::clearerr(stdin);
    return true;
}

bool DialogueRoute::begin(DialogueTo to, std::string &error) {
    std::fflush(stdout);
    if (to == DialogueTo::kStdout) {
        if (::isatty(STDOUT_FILENO)) std::setvbuf(stdout, nullptr, _IONBF, 0);
        return true;
    }
    int target = STDERR_FILENO;
    if (to == DialogueTo::kCapture) {
        capture_ = std::tmpfile();
        if (capture_ == nullptr) {
            error = std::string("cannot make a temporary file: ") + std::strerror(errno);
            return false;
        }
        target = fileno(capture_);
    }
    saved_stdout_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (saved_stdout_ < 0 || ::dup2(target, STDOUT_FILENO) < 0) {
        error = std::string("cannot redirect standard output: ") + std::strerror(errno);
        return false;
    }
    if (::isatty(STDOUT_FILENO)) std::setvbuf(stdout, nullptr, _IONBF, 0);
    return true;
}

std::string DialogueRoute::end() {
    std::fflush(stdout);
    if (saved_stdout_ >= 0) {
        ::dup2(saved_stdout_, STDOUT_FILENO);
        ::close(saved_stdout_);
        saved_stdout_ = -1;
    }
    std::string text;
    if (capture_ != nullptr) {
        std::rewind(capture_);
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, capture_)) > 0) text.append(buf, n);
        std::fclose(capture_);
        capture_ = nullptr;
    }
    return text;
}

DialogueRoute::~DialogueRoute() { end(); }

}  // namespace tts_say

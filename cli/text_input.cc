// SPDX-License-Identifier: Apache-2.0
#include "text_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "utf8.h"

namespace tts_say {
namespace {

// Reads `fd` to its end; false with errno set on a read error.
bool read_all(int fd, std::string &out) {
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buf, static_cast<std::size_t>(n));
    }
}

std::string source_name(const Options &o) {
    if (!o.words.empty()) return "the text";
    if (o.text_file.empty() || o.text_file == "-") return "standard input";
    return o.text_file;
}

}  // namespace

Text read_text(const Options &o) {
    Text t;
    if (!o.words.empty()) {
        for (std::size_t i = 0; i < o.words.size(); ++i) t.bytes += (i == 0 ? "" : " ") + o.words[i];
    } else if (o.text_file.empty() || o.text_file == "-") {
        if (!read_all(STDIN_FILENO, t.bytes)) return {"", "cannot read standard input: " + std::string(std::strerror(errno))};
    } else {
        const int fd = ::open(o.text_file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return {"", "cannot read " + o.text_file + ": " + std::strerror(errno)};
        const bool ok = read_all(fd, t.bytes);
        const int read_errno = errno;
        ::close(fd);
        if (!ok) return {"", "cannot read " + o.text_file + ": " + std::strerror(read_errno)};
    }
    if (t.bytes.find('\0') != std::string::npos) t.error = source_name(o) + " contains a NUL byte";
    else if (!speech::is_speakable_utf8(t.bytes.data(), t.bytes.size())) t.error = source_name(o) + " is not valid UTF-8";
    return t;
}

bool is_blank(const std::string &text) {
    static const char kIdeographicSpace[] = "\xE3\x80\x80";
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
            ++i;
        } else if (text.compare(i, 3, kIdeographicSpace) == 0) {
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace tts_say

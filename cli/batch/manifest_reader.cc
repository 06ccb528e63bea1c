// SPDX-License-Identifier: Apache-2.0
#include "manifest_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tts_say {

bool ManifestReader::fill(std::string &error) {
    for (;;) {
        const ssize_t r = ::read(fd_, buf_, sizeof buf_);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            error = std::strerror(errno);
            return false;
        }
        pos_ = 0;
        len_ = static_cast<std::size_t>(r);
        eof_ = r == 0;
        return true;
    }
}

ManifestReader::Got ManifestReader::next(std::string &line, bool &too_long, std::string &error) {
    line.clear();
    too_long = false;
    bool any = false;
    for (;;) {
        if (pos_ == len_) {
            if (eof_ || !fill(error)) break;
            if (eof_) break;
        }
        any = true;
        const char *start = buf_ + pos_;
        const void *nl = std::memchr(start, '\n', len_ - pos_);
        const std::size_t n = nl != nullptr ? static_cast<std::size_t>(static_cast<const char *>(nl) - start) : len_ - pos_;
        if (line.size() + n > max_line_) {
            // A line without end (/dev/zero) would be read for ever: the
            // manifest ends here, with the reason.
            too_long = true;
            std::string().swap(line);
            error = "line " + std::to_string(lines_ + 1) + " is longer than " + std::to_string(max_line_ >> 20) + " MiB";
            return Got::error;
        }
        line.append(start, n);
        pos_ += n;
        offset_ += static_cast<long long>(n);
        if (nl != nullptr) {
            ++pos_;
            ++offset_;
            break;
        }
    }
    if (!error.empty()) return Got::error;
    if (!any) return Got::end;
    ++lines_;
    if (first_) {
        first_ = false;
        if (line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return Got::line;
}

}  // namespace tts_say

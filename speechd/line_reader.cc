// SPDX-License-Identifier: Apache-2.0
#include "line_reader.h"

#include <cerrno>
#include <unistd.h>

namespace sd_tts {

bool LineReader::next(std::string &line) {
    line.clear();
    bool dropping = false;
    while (true) {
        const std::size_t nl = buffer_.find('\n', start_);
        const std::size_t end = nl == std::string::npos ? buffer_.size() : nl;
        if (!dropping) {
            const std::size_t room = max_line_ - line.size();
            const std::size_t take = end - start_ < room ? end - start_ : room;
            line.append(buffer_, start_, take);
            if (take < end - start_) dropping = true;
        }
        if (nl != std::string::npos) {
            start_ = nl + 1;
            return true;
        }
        buffer_.clear();
        start_ = 0;
        if (eof_) return !line.empty() || dropping;
        char chunk[65536];
        ssize_t n;
        do {
            n = ::read(fd_, chunk, sizeof chunk);
        } while (n < 0 && errno == EINTR);
        if (n <= 0) {
            eof_ = true;
            continue;
        }
        buffer_.assign(chunk, static_cast<std::size_t>(n));
    }
}

}  // namespace sd_tts

// SPDX-License-Identifier: Apache-2.0
#include "write_all.h"

#include <unistd.h>

#include <cerrno>

namespace tts_say {

bool write_all(int fd, const void *data, std::size_t n) {
    const char *p = static_cast<const char *>(data);
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

}  // namespace tts_say

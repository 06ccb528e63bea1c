// SPDX-License-Identifier: Apache-2.0
#include "module_output.h"

#include <cerrno>
#include <unistd.h>

namespace sd_tts {

ModuleOutput ModuleOutput::to_fd(int fd) {
    return ModuleOutput([fd](std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::write(fd, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    });
}

bool ModuleOutput::send(std::string_view text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failed_) return false;
    if (!sink_(text)) failed_ = true;
    return !failed_;
}

bool ModuleOutput::ok() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !failed_;
}

}  // namespace sd_tts

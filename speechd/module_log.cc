// SPDX-License-Identifier: Apache-2.0
#include "module_log.h"

#include <atomic>
#include <string>
#include <unistd.h>

namespace sd_tts {

namespace {
std::atomic<int> g_level{3};
}

void set_log_level(int level) { g_level = level; }

void log_line(int level, std::string_view message) {
    if (level > g_level.load()) return;
    std::string line = "sd_tts: ";
    line.append(message);
    line.push_back('\n');
    // One write, so that lines of the two threads do not mix.
    if (::write(STDERR_FILENO, line.data(), line.size()) < 0) return;
}

}  // namespace sd_tts

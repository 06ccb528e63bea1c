// SPDX-License-Identifier: Apache-2.0
#include "engine_timeout.h"

#include <cerrno>
#include <cstdlib>

namespace speech {

long long milliseconds_setting(const char *value, long long min, long long max, long long fallback) {
    if (value == nullptr) return fallback;
    char *end = nullptr;
    errno = 0;
    const long long ms = std::strtoll(value, &end, 10);
    if (end == value || *end != '\0' || ms < min) return fallback;
    // Too large for the type (ERANGE) is too large for the bound as well.
    if (errno == ERANGE || ms > max) return max;
    return ms;
}

std::chrono::milliseconds engine_timeout(const char *value) {
    return std::chrono::milliseconds(
        milliseconds_setting(value, 1, kMaxEngineTimeout.count(), kDefaultEngineTimeout.count()));
}

}  // namespace speech

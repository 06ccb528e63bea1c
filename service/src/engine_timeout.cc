// SPDX-License-Identifier: Apache-2.0
#include "engine_timeout.h"

#include <cerrno>
#include <cstdlib>

namespace speech {

std::chrono::milliseconds engine_timeout(const char *value) {
    if (value == nullptr) return kDefaultEngineTimeout;
    char *end = nullptr;
    errno = 0;
    const long long ms = std::strtoll(value, &end, 10);
    if (end == value || *end != '\0' || ms <= 0) return kDefaultEngineTimeout;
    // Too large for the type (ERANGE) is too large for the bound as well.
    if (errno == ERANGE || ms > kMaxEngineTimeout.count()) return kMaxEngineTimeout;
    return std::chrono::milliseconds(ms);
}

}  // namespace speech

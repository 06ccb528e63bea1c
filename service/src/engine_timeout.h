// SPDX-License-Identifier: Apache-2.0
// How long a helper may go without progress: SPEECH_SERVICE_ENGINE_TIMEOUT_MS,
// within bounds that keep the clock arithmetic far from overflow.
#ifndef SPEECH_ENGINE_TIMEOUT_H
#define SPEECH_ENGINE_TIMEOUT_H

#include <chrono>

namespace speech {

constexpr std::chrono::milliseconds kDefaultEngineTimeout{30000};
// One day: larger values are taken as this.
constexpr std::chrono::milliseconds kMaxEngineTimeout{24LL * 60 * 60 * 1000};

// The milliseconds an environment variable gives (`value`, null when it is
// unset): a decimal number from `min` up, taken as `max` when larger (also
// when too large for the type); anything else gives `fallback`.
long long milliseconds_setting(const char *value, long long min, long long max, long long fallback);

// The bound given by `value` (the variable's text, or null when unset): a
// positive decimal number of milliseconds, at most kMaxEngineTimeout;
// anything else gives the default.
std::chrono::milliseconds engine_timeout(const char *value);

}  // namespace speech

#endif  // SPEECH_ENGINE_TIMEOUT_H

// SPDX-License-Identifier: Apache-2.0
// Which sanitizers the helper is built with (g++ defines macros, clang
// answers __has_feature).
#ifndef SPEECH_ENGINE_SANITIZER_BUILD_H
#define SPEECH_ENGINE_SANITIZER_BUILD_H

#ifndef __has_feature
#define SPEECH_HAS_FEATURE(x) 0
#else
#define SPEECH_HAS_FEATURE(x) __has_feature(x)
#endif

namespace speech {

#if defined(__SANITIZE_THREAD__) || SPEECH_HAS_FEATURE(thread_sanitizer)
inline constexpr bool kThreadSanitizer = true;
#else
inline constexpr bool kThreadSanitizer = false;
#endif

// Sanitizers that watch memory accesses or keep memory of their own.
#if defined(__SANITIZE_ADDRESS__) || SPEECH_HAS_FEATURE(address_sanitizer) || SPEECH_HAS_FEATURE(memory_sanitizer)
inline constexpr bool kMemorySanitizer = true;
#else
inline constexpr bool kMemorySanitizer = false;
#endif

}  // namespace speech

#undef SPEECH_HAS_FEATURE

#endif  // SPEECH_ENGINE_SANITIZER_BUILD_H

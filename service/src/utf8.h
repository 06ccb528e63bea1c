// SPDX-License-Identifier: Apache-2.0
// UTF-8 validation of the texts put to a session.
#ifndef SPEECH_UTF8_H
#define SPEECH_UTF8_H

#include <cstddef>

namespace speech {

// True when the `len` bytes are well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF) and contain no NUL byte.
bool is_speakable_utf8(const char *text, std::size_t len);

}  // namespace speech

#endif  // SPEECH_UTF8_H

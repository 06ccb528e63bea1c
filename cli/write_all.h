// SPDX-License-Identifier: Apache-2.0
// Writing a whole buffer to a descriptor, through short writes and signals.
#ifndef TTS_SAY_WRITE_ALL_H
#define TTS_SAY_WRITE_ALL_H

#include <cstddef>

namespace tts_say {

// True when all `n` bytes were written; false with errno set otherwise.
bool write_all(int fd, const void *data, std::size_t n);

}  // namespace tts_say

#endif  // TTS_SAY_WRITE_ALL_H

// SPDX-License-Identifier: Apache-2.0
// A text through the real service, from QTTSTextPut to the last
// QTTSAudioGet: any bytes must either be spoken or refused with a code, and
// the audio must be whole samples. Texts are cut to keep one input fast.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "speech_service.h"

namespace {
constexpr std::size_t kMaxText = 200;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const bool logged_in = MSPLogin(nullptr, nullptr, "appid = 7c2e94b0, work_dir = .") == SPEECH_OK;
    if (!logged_in) std::abort();
    int code = 0;
    const char *h = QTTSSessionBegin("voice_name = xiaoxin, sample_rate = 8000, speed = 100", &code);
    if (h == nullptr) std::abort();
    const unsigned len = static_cast<unsigned>(size < kMaxText ? size : kMaxText);
    const int put = QTTSTextPut(h, reinterpret_cast<const char *>(data), len, nullptr);
    std::size_t audio = 0;
    for (int fetches = 0;; ++fetches) {
        unsigned block_len = 0;
        int status = 0;
        const void *block = QTTSAudioGet(h, &block_len, &status, &code);
        if (block == nullptr && block_len != 0) __builtin_trap();
        audio += block_len;
        if (code != SPEECH_OK || status == 2) break;
        if (fetches > 100000) __builtin_trap();  // a fetch loop that never ends
    }
    if (put != SPEECH_OK && code == SPEECH_OK) __builtin_trap();  // a refused text reported as spoken
    if (code == SPEECH_OK && audio % 2 != 0) __builtin_trap();
    if (QTTSSessionEnd(h, "Normal") != SPEECH_OK) __builtin_trap();
    return 0;
}

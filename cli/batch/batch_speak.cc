// SPDX-License-Identifier: Apache-2.0
#include "batch_speak.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "shown_text.h"
#include "speech_service.h"
#include "tts.h"
#include "wav_image.h"
#include "write_all.h"

namespace tts_say {
namespace {

constexpr int kLastBlockStatus = 2;

// The header tts-say writes: the library's template at the session's rate.
wav_hdr header_for(int rate, std::uint64_t data_bytes) {
    wav_hdr hdr = default_wav_hdr;
    hdr.sample_rate = static_cast<std::uint32_t>(rate);
    hdr.byte_rate = static_cast<std::uint32_t>(rate) * hdr.block_align;
    tts::wav_add_final_sizes(hdr, data_bytes);
    return hdr;
}

std::string service_reason(int code) {
    std::string why = std::string(speech_service_error_text(code)) + " (code " + std::to_string(code) + ")";
    if (const char *engine = speech_service_last_engine_error(); engine != nullptr && *engine != '\0')
        why += "; the engine said: " + tts_text::shown(engine, 400);
    if (const char *markup = speech_service_last_markup_message(); markup != nullptr && *markup != '\0')
        why += "; " + tts_text::shown(markup, 400);
    return why;
}

// One session: its audio after a placeholder header in `fd`. The code of
// the first call that failed, or the end's.
int run_session(const std::string &text, const std::string &params, int fd, std::uint64_t &bytes, bool &written) {
    int code = 0;
    const char *session = QTTSSessionBegin(params.c_str(), &code);
    if (session == nullptr) return code != 0 ? code : SPEECH_ERR_SYSTEM;
    code = QTTSTextPut(session, text.data(), static_cast<unsigned int>(text.size()), nullptr);
    int status = 1;
    while (code == 0 && written && status != kLastBlockStatus) {
        unsigned int len = 0;
        const void *block = QTTSAudioGet(session, &len, &status, &code);
        if (block != nullptr && len > 0) {
            written = write_all(fd, block, len);
            bytes += len;
        }
    }
    const int end_code = QTTSSessionEnd(session, "Normal");
    return code != 0 ? code : end_code;
}

}  // namespace

SpokenItem speak_item(const std::string &text, const std::string &params, int rate, const ItemPlace &target,
                      BatchTempFiles &files) {
    SpokenItem r;
    std::string temp, error;
    const int fd = files.create(target, temp, error);
    if (fd < 0) return {-1, 0, error};
    unsigned char image[tts::kWavHeaderBytes] = {};
    bool written = write_all(fd, image, sizeof image);
    std::uint64_t bytes = 0;
    if (written) r.code = run_session(text, params, fd, bytes, written);
    if (written && r.code == 0) {
        tts::wav_encode(header_for(rate, bytes), image);
        written = ::pwrite(fd, image, sizeof image, 0) == static_cast<ssize_t>(sizeof image);
    }
    const std::string write_error = std::strerror(errno);
    if (r.code != 0) {
        files.discard(fd, temp, target);
        return {r.code, 0, service_reason(r.code)};
    }
    if (!written) {
        files.discard(fd, temp, target);
        return {-1, 0, "cannot write " + tts_text::shown(target.shown) + ": " + write_error};
    }
    if (!files.place(fd, temp, target))
        return {-1, 0, "cannot write " + tts_text::shown(target.shown) + ": " + std::strerror(errno)};
    r.seconds = static_cast<double>(bytes) / (2.0 * rate);
    return r;
}

std::string made_from_digest(const std::string &text, const std::string &params) {
    // Two 64-bit FNV-1a sums from different starting points: change
    // detection, not a defence against a chosen collision.
    std::uint64_t a = 0xcbf29ce484222325ull, b = 0x84222325cbf29ce4ull;
    const auto add = [&](const std::string &s) {
        for (const unsigned char c : s) {
            a = (a ^ c) * 0x100000001b3ull;
            b = (b ^ c) * 0x100000001b3ull;
            b ^= b >> 29;
        }
        a = (a ^ 0xFF) * 0x100000001b3ull;  // the end of a part
    };
    add(params);
    add(text);
    char out[33];
    std::snprintf(out, sizeof out, "%016llx%016llx", static_cast<unsigned long long>(a), static_cast<unsigned long long>(b));
    return out;
}

bool is_complete_wav(const ItemPlace &target, double &seconds) {
    // Not blocking on a FIFO put in its place.
    const int fd = ::openat(target.folder.get(), target.base.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    unsigned char h[tts::kWavHeaderBytes];
    struct stat st {};
    const bool read_ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                         ::pread(fd, h, sizeof h, 0) == static_cast<ssize_t>(sizeof h);
    ::close(fd);
    if (!read_ok || std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, "WAVEfmt ", 8) != 0 ||
        std::memcmp(h + 36, "data", 4) != 0)
        return false;
    const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    const std::uint32_t rate = tts::load_le32(h + 24);
    const bool pcm16_mono = tts::load_le32(h + 16) == 16 && h[20] == 1 && h[21] == 0 && h[22] == 1 && h[23] == 0 &&
                            h[34] == 16 && h[35] == 0 && rate > 0;
    if (!pcm16_mono || tts::load_le32(h + 4) != size - 8 || tts::load_le32(h + 40) != size - 44) return false;
    seconds = static_cast<double>(size - 44) / (2.0 * rate);
    return true;
}

}  // namespace tts_say

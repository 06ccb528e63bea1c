// SPDX-License-Identifier: Apache-2.0
#include "batch_speak.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "lexicon_files.h"
#include "param_list.h"
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

namespace {

// Two 64-bit FNV-1a sums from different starting points: change detection,
// not a defence against a chosen collision.
class ChangeDigest {
  public:
    void add(const unsigned char *data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            a_ = (a_ ^ data[i]) * 0x100000001b3ull;
            b_ = (b_ ^ data[i]) * 0x100000001b3ull;
            b_ ^= b_ >> 29;
        }
    }
    void add(const std::string &s) { add(reinterpret_cast<const unsigned char *>(s.data()), s.size()); }
    void end_part() { a_ = (a_ ^ 0xFF) * 0x100000001b3ull; }
    std::string hex() const {
        char out[33];
        std::snprintf(out, sizeof out, "%016llx%016llx", static_cast<unsigned long long>(a_),
                      static_cast<unsigned long long>(b_));
        return out;
    }

  private:
    std::uint64_t a_ = 0xcbf29ce484222325ull, b_ = 0x84222325cbf29ce4ull;
};

// Adds a file's bytes; false when it cannot be read whole.
bool add_file(ChangeDigest &digest, const std::string &name) {
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    unsigned char buffer[65536];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        digest.add(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ok;
}

}  // namespace

std::string made_from_digest(const std::string &text, const std::string &params, const std::string &lexicons) {
    ChangeDigest digest;
    digest.add(params);
    digest.end_part();
    digest.add(text);
    digest.end_part();
    // Items made before lexicons were digested keep their record when none is named.
    if (!lexicons.empty()) {
        digest.add(lexicons);
        digest.end_part();
    }
    return digest.hex();
}

std::string lexicons_contents(const std::string &params) {
    // The session loads the environment's files first, then the parameter's.
    std::vector<std::string> paths;
    if (const char *env = std::getenv(tts::kLexiconsEnv)) paths = tts::split_paths(env);
    std::vector<speech::Param> list;
    if (speech::parse_param_list(params, list))
        if (const std::string *files = speech::find_param(list, "lexicons")) {
            const std::vector<std::string> named = tts::split_paths(*files);
            paths.insert(paths.end(), named.begin(), named.end());
        }
    if (paths.empty()) return "";
    ChangeDigest digest;
    for (const std::string &name : paths) {
        digest.add(name);
        digest.end_part();
        if (!add_file(digest, name)) digest.add("unreadable");
        digest.end_part();
    }
    return digest.hex();
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

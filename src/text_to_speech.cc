// SPDX-License-Identifier: Apache-2.0
// text_to_speech: one synthesis from login to logout, streaming the audio
// that the speech service returns into a WAV file.
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "speech_service.h"
#include "tts.h"
#include "wav_header.h"

namespace {

constexpr const char *kLoginParams = "appid = 7c2e94b0, work_dir = .";
constexpr const char *kSessionParams =
    "voice_name = xiaoxin, text_encoding = utf8, sample_rate = 16000, speed = 50, volume = 50, "
    "pitch = 50, rdn = 2";
constexpr const char *kSessionEndHint = "Normal";
constexpr int kLastBlockStatus = 2;
constexpr useconds_t kFetchPauseMicros = 150000;
constexpr int kFailure = -1;

long long monotonic_micros() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// The pause between fetches lasts its whole length: a signal that cuts the
// sleep short only makes it go on for what is left.
void pause_between_fetches() {
    const long long start = monotonic_micros();
    useconds_t left = kFetchPauseMicros;
    while (usleep(left) != 0 && errno == EINTR) {
        const long long slept = monotonic_micros() - start;
        if (slept >= kFetchPauseMicros) return;
        left = static_cast<useconds_t>(kFetchPauseMicros - slept);
    }
}

// Reads and discards one character of standard input; a read cut short by
// a signal is made again.
void wait_for_key() {
    for (;;) {
        errno = 0;
        if (std::getchar() != EOF || errno != EINTR || !std::ferror(stdin)) return;
        std::clearerr(stdin);
    }
}

struct FetchOutcome {
    bool fetch_failed;  // the service stored a nonzero code during a fetch
    bool file_ok;       // every block reached the stream
};

// Fetches audio until the service reports the last block, a fetch fails or
// the file refuses a block. `result` holds the code of the last fetch.
FetchOutcome fetch_audio(const char *session, std::FILE *file, wav_hdr &hdr, int &result) {
    unsigned int audio_len = 0;
    int synth_status = 1;
    for (;;) {
        result = 0;
        const void *block = QTTSAudioGet(session, &audio_len, &synth_status, &result);
        bool file_ok = true;
        if (block != nullptr) {
            file_ok = std::fwrite(block, 1, audio_len, file) == audio_len;
            tts::wav_add_block(hdr, audio_len);
        }
        if (result != 0 || !file_ok) return {result != 0, file_ok};
        if (synth_status == kLastBlockStatus) return {false, true};
        std::putchar('>');
        pause_between_fetches();
    }
}

// Everything between a successful login and the closing sequence. `result`
// is the code slot that the service's session calls write.
int synthesise_to_file(const char *text, const char *path, wav_hdr &hdr) {
    int result = kFailure;
    std::printf("params is %s \n", kSessionParams);
    std::FILE *file = std::fopen(path, "wb");
    if (file == nullptr) {
        std::printf("open %s error.\n", path);
        return kFailure;
    }
    std::puts("开始合成 ...");
    const char *session = QTTSSessionBegin(kSessionParams, &result);
    QTTSTextPut(session, text, static_cast<unsigned int>(std::strlen(text)), nullptr);
    std::puts("正在合成 ...");

    FetchOutcome outcome{false, tts::wav_write_header(file, hdr)};
    if (outcome.file_ok) outcome = fetch_audio(session, file, hdr, result);
    const int fetch_code = result;
    std::putchar('\n');
    if (outcome.fetch_failed) std::printf("QTTSAudioGet failed, error code: %d.\n", fetch_code);

    const bool finished = tts::wav_finish(file, hdr);
    const bool written = outcome.file_ok && finished;
    if (!written) std::printf("write %s error.\n", path);

    const int end_code = QTTSSessionEnd(session, kSessionEndHint);
    if (outcome.fetch_failed) return fetch_code;
    if (!written) return kFailure;
    return end_code;
}

}  // namespace

extern "C" int text_to_speech(const char *text, const char *path, const char *params) {
    int result = kFailure;
    wav_hdr hdr;
    tts::wav_take_copy(hdr);
    if (path == nullptr || params == nullptr || text == nullptr) {
        std::puts("params is error!");
        return kFailure;
    }

    const int login_code = MSPLogin(nullptr, nullptr, kLoginParams);
    std::printf("login_status is %i \n", login_code);
    if (login_code != 0) {
        std::printf("MSPLogin failed, error code: %d.\n", login_code);
    } else {
        result = synthesise_to_file(text, path, hdr);
    }

    std::puts("按任意键退出 ...");
    wait_for_key();
    (void)MSPLogout();
    return result;
}

// SPDX-License-Identifier: Apache-2.0
#include "server_speech.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "console_route.h"
#include "server_request.h"
#include "session_settings.h"
#include "text_input.h"
#include "token_file.h"
#include "tts.h"
#include "wav_answer.h"
#include "wav_image.h"

namespace tts_say {
namespace {

struct FileCloser {
    void operator()(std::FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

void print_opening_dialogue() {
    std::printf("login_status is 0 \nparams is %s \n开始合成 ...\n正在合成 ...\n", kLibrarySessionParams);
    std::fflush(stdout);
}

// Where the library ends its marks, and its closing prompt.
void print_closing_dialogue() { std::fputs("\n按任意键退出 ...\n", stdout); }

// The bearer token from --server-token-file, read as tts-server reads its
// own, or TTS_SERVER_TOKEN; one that would break its header is refused.
bool server_token(const Options &o, std::string &token, std::string &error) {
    if (!o.server_token_file.empty()) return tts::read_token_file(o.server_token_file, token, error);
    const char *env = std::getenv("TTS_SERVER_TOKEN");
    token = env != nullptr ? env : "";
    if (const std::string problem = tts::bearer_token_problem(token); !problem.empty()) {
        error = "TTS_SERVER_TOKEN " + problem;
        return false;
    }
    return true;
}

bool write_whole(const std::string &path, const std::string &bytes, std::string &error) {
    File f(std::fopen(path.c_str(), "wb"));
    bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
    if (f && std::fclose(f.release()) != 0) ok = false;
    if (!ok) error = "cannot write " + path + ": " + std::strerror(errno);
    return ok;
}

// A WAV without audio at the session's rate, as the library writes it.
std::string empty_wav(int rate) {
    wav_hdr hdr = default_wav_hdr;
    hdr.sample_rate = static_cast<uint32_t>(rate);
    hdr.byte_rate = static_cast<uint32_t>(rate) * hdr.block_align;
    hdr.riff_size = 36;
    unsigned char image[tts::kWavHeaderBytes];
    tts::wav_encode(hdr, image);
    return std::string(reinterpret_cast<const char *>(image), sizeof image);
}

}  // namespace

bool speak_through_server(const Options &o, const std::string &text, const WavOutput &output, std::string &error) {
    std::string body, token;
    if (!speech_request_body(o, text, body, error) || !server_token(o, token, error)) return false;
    const DialogueTo to = o.quiet                      ? DialogueTo::kCapture
                          : output.on_standard_output() ? DialogueTo::kStderr
                                                        : DialogueTo::kStdout;
    DialogueRoute route;
    if (!route.begin(to, error)) return false;
    print_opening_dialogue();
    ServerAnswer answer;
    if (is_blank(text)) answer = {true, empty_wav(session_sample_rate(o)), ""};
    else answer = post_speech(o.server, token, body, o.server_timeout);
    print_closing_dialogue();
    (void)route.end();
    if (!answer.ok || !check_wav_answer(answer.wav, session_sample_rate(o), answer.error)) {
        error = answer.error;
        return false;
    }
    return write_whole(output.library_path(), answer.wav, error);
}

}  // namespace tts_say

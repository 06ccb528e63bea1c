// SPDX-License-Identifier: Apache-2.0
// tts-engine: the speech service's synthesis helper. One run speaks one
// text: settings as arguments, the UTF-8 text on standard input, and on
// standard output a magic line followed by 16-bit little-endian mono PCM,
// written as it is produced. Exits 0, or prints one line on stderr and exits
// with one of the codes below. The engine keeps global state and may abort
// on some texts, which is why it runs here and not in the host process.
#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine_protocol.h"
#include "audio_pipeline.h"

namespace {

using speech::kEngineInitFailed;
using speech::kEngineOutputFailed;
using speech::kEngineSynthFailed;
using speech::kEngineUnknownVoice;
using speech::kEngineUsage;
// The engine's output rate; the resampler is prepared for it in advance.
constexpr int kEngineRate = 22050;

struct Settings {
    std::string voice = "cmn-latn-pinyin";
    int rate = espeakRATE_NORMAL;
    int volume = 100;
    int pitch = 50;
    int sample_rate = 16000;
};

[[noreturn]] void fail(int code, const std::string &message) {
    std::fprintf(stderr, "tts-engine: %s\n", message.c_str());
    std::exit(code);
}

bool write_all(const void *data, std::size_t len) {
    const char *p = static_cast<const char *>(data);
    while (len > 0) {
        const ssize_t w = ::write(STDOUT_FILENO, p, len);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        len -= static_cast<std::size_t>(w);
    }
    return true;
}

speech::AudioPipeline g_pipeline;

int on_audio(short *wav, int count, espeak_EVENT *) {
    if (wav == nullptr || count <= 0) return 0;
    // A nonzero return stops synthesis: the output has failed.
    return g_pipeline.push(reinterpret_cast<const std::int16_t *>(wav), static_cast<std::size_t>(count)) ? 0 : 1;
}

int parse_int(const char *text, int lo, int hi, const char *what) {
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi) fail(kEngineUsage, std::string("bad ") + what);
    return static_cast<int>(v);
}

Settings parse_args(int argc, char **argv) {
    Settings s;
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc) fail(kEngineUsage, std::string("missing value for ") + argv[i]);
        const std::string key = argv[i];
        const char *value = argv[i + 1];
        if (key == "--voice") s.voice = value;
        else if (key == "--rate") s.rate = parse_int(value, espeakRATE_MINIMUM, espeakRATE_MAXIMUM, "rate");
        else if (key == "--volume") s.volume = parse_int(value, 0, 200, "volume");
        else if (key == "--pitch") s.pitch = parse_int(value, 0, 100, "pitch");
        else if (key == "--sample-rate") s.sample_rate = parse_int(value, 8000, 48000, "sample rate");
        else fail(kEngineUsage, "unknown option " + key);
    }
    return s;
}

std::string status_text(espeak_ng_STATUS status) {
    char buf[256];
    espeak_ng_GetStatusCodeMessage(status, buf, sizeof buf);
    return buf;
}

std::string read_stdin() {
    std::string text;
    char buf[1 << 16];
    for (;;) {
        const ssize_t r = ::read(STDIN_FILENO, buf, sizeof buf);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) fail(kEngineInitFailed, std::string("cannot read the text: ") + std::strerror(errno));
        if (r == 0) return text;
        text.append(buf, static_cast<std::size_t>(r));
    }
}

}  // namespace

int main(int argc, char **argv) {
    const Settings settings = parse_args(argc, argv);
    // A reader that goes away shows as a failed write, not as a signal.
    ::signal(SIGPIPE, SIG_IGN);

    g_pipeline.start(kEngineRate, settings.sample_rate, write_all);
    espeak_ng_InitializePath(nullptr);
    espeak_ng_ERROR_CONTEXT context = nullptr;
    espeak_ng_STATUS st = espeak_ng_Initialize(&context);
    if (st != ENS_OK) fail(kEngineInitFailed, "engine initialisation: " + status_text(st));
    espeak_ng_ClearErrorContext(&context);
    st = espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 200, nullptr);
    if (st != ENS_OK) fail(kEngineInitFailed, "engine output: " + status_text(st));
    st = espeak_ng_SetVoiceByName(settings.voice.c_str());
    if (st != ENS_OK) fail(kEngineUnknownVoice, "voice " + settings.voice + ": " + status_text(st));
    espeak_ng_SetParameter(espeakRATE, settings.rate, 0);
    espeak_ng_SetParameter(espeakVOLUME, settings.volume, 0);
    espeak_ng_SetParameter(espeakPITCH, settings.pitch, 0);
    espeak_SetSynthCallback(on_audio);

    if (espeak_ng_GetSampleRate() != kEngineRate) fail(kEngineInitFailed, "unexpected engine sample rate");
    if (!write_all(speech::kEngineMagic, speech::kEngineMagicLen)) fail(kEngineOutputFailed, "cannot write the output");

    const std::string text = read_stdin();
    if (!text.empty()) {
        st = espeak_ng_Synthesize(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0,
                                  espeakCHARS_UTF8 | espeakENDPAUSE, nullptr, nullptr);
        if (st == ENS_OK) st = espeak_ng_Synchronize();
    }
    const std::string out_err = g_pipeline.finish();
    if (!out_err.empty()) fail(kEngineOutputFailed, out_err);
    if (st != ENS_OK) fail(kEngineSynthFailed, "synthesis: " + status_text(st));
    espeak_ng_Terminate();
    return speech::kEngineOk;
}

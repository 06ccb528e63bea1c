// SPDX-License-Identifier: Apache-2.0
// tts-engine: the speech service's synthesis helper. It loads the engine
// and its default voice, says so with the magic line, then reads requests
// (engine_protocol.h) until its input ends, answering each with framed audio
// and an end frame that carries its result. On failure it also prints one
// line on stderr and exits with its result as the exit code. The engine
// keeps global state and may abort on some texts, which is why it runs here
// and not in the host.
//
// Synthesis changes the engine's state in ways that change the audio of
// the next text, and the engine cannot be set up twice in one process. So
// each request is read and spoken by a child forked from the helper as it
// stands after start-up, which never synthesises: every request gets the
// bytes a freshly started helper gives. The child is forked ahead of its
// request, as soon as the last one has ended, so that the fork costs the
// request nothing, and while it waits it copies the pages that the last
// child wrote (page_warmer.h). A child that fails ends the helper with it.
// Before its magic line the helper enters its sandbox (sandbox.h), which
// every child inherits.
#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

#include "audio_pipeline.h"
#include "engine_protocol.h"
#include "engine_request.h"
#include "page_warmer.h"
#include "sandbox.h"
#include "sanitizer_build.h"
#include "test_calls.h"
#include "voice_data.h"

namespace {

using speech::kEngineBadRequest;
using speech::kEngineInitFailed;
using speech::kEngineOutputFailed;
using speech::kEngineSynthFailed;
using speech::kEngineUnknownVoice;
using speech::kEngineUsage;
// The engine's output rate, and the voice the helper loads before its
// requests come.
constexpr int kEngineRate = 22050;
constexpr const char *kDefaultVoice = speech::kQuickVoice;

// Under ThreadSanitizer, whose own thread makes the helper count as threaded
// when it forks, a child may start no thread: it resamples as it speaks.
constexpr bool kPipelineThread = !speech::kThreadSanitizer;

std::unique_ptr<speech::AudioPipeline> g_pipeline;
// Resamplers opened, unused, for the service's output rates: a child takes
// the one for its request's rate.
constexpr int kPreparedRates[] = {16000, 8000};
std::unique_ptr<speech::Resampler> g_prepared[std::size(kPreparedRates)];
// A child's exit code when its input ended before a request began.
constexpr int kNoRequest = 100;
bool g_magic_written = false;
// The pages each child writes, warmed in the next one (page_warmer.h).
speech::PageWarmer g_warmer;
// Whether the engine still runs from the helper's Mandarin voice folder
// (voice_data.h), which holds no other voice.
bool g_quick_voice_data = false;

bool write_all_iov(iovec *iov, int n) {
    while (n > 0) {
        const ssize_t w = ::writev(STDOUT_FILENO, iov, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        std::size_t done = static_cast<std::size_t>(w);
        while (n > 0 && done >= iov->iov_len) {
            done -= iov->iov_len;
            ++iov;
            --n;
        }
        if (n > 0) {
            iov->iov_base = static_cast<char *>(iov->iov_base) + done;
            iov->iov_len -= done;
        }
    }
    return true;
}

bool write_frame(char kind, const void *data, std::size_t len) {
    unsigned char head[speech::kFrameHeaderLen] = {static_cast<unsigned char>(kind)};
    for (int i = 0; i < 4; ++i) head[1 + i] = static_cast<unsigned char>(len >> (8 * i));
    iovec iov[2] = {{head, sizeof head}, {const_cast<void *>(data), len}};
    return write_all_iov(iov, len > 0 ? 2 : 1);
}

bool write_audio(const void *data, std::size_t len) {
    const char *p = static_cast<const char *>(data);
    while (len > 0) {
        const std::size_t n = std::min<std::size_t>(len, speech::kMaxAudioFrame);
        if (!write_frame(speech::kFrameAudio, p, n)) return false;
        p += n;
        len -= n;
    }
    return true;
}

void write_end(int result, const std::string &message) {
    std::string payload(4, '\0');
    for (int i = 0; i < 4; ++i) payload[i] = static_cast<char>(static_cast<std::uint32_t>(result) >> (8 * i));
    payload += message.substr(0, speech::kMaxEndMessage);
    (void)write_frame(speech::kFrameEnd, payload.data(), payload.size());
}

// Reports the failure on stderr and, once the service reads frames, in the
// end frame; then exits without running the engine's teardown.
[[noreturn]] void fail(int code, const std::string &message) {
    std::fprintf(stderr, "tts-engine: %s\n", message.c_str());
    if (g_magic_written) {
        if (g_pipeline) g_pipeline->finish();
        write_end(code, message);
    }
    std::_Exit(code);
}

int on_audio(short *wav, int count, espeak_EVENT *) {
    if (wav == nullptr || count <= 0) return 0;
    // A nonzero return stops synthesis: the output has failed.
    return g_pipeline->push(reinterpret_cast<const std::int16_t *>(wav), static_cast<std::size_t>(count)) ? 0 : 1;
}

std::string status_text(espeak_ng_STATUS status) {
    char buf[256];
    espeak_ng_GetStatusCodeMessage(status, buf, sizeof buf);
    return buf;
}

// The service's process id from the command line, or 0.
long parent_from_args(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], speech::kParentOption) != 0) fail(kEngineUsage, std::string("unknown option ") + argv[i]);
        if (i + 1 >= argc) fail(kEngineUsage, "missing process id");
        char *end = nullptr;
        const long pid = std::strtol(argv[++i], &end, 10);
        if (*end != '\0' || pid <= 0) fail(kEngineUsage, "bad process id");
        return pid;
    }
    return 0;
}

// Dies with the service: the kernel kills us when the thread that started
// us ends, and a service that ended before that was set is caught by
// comparing the parent's id.
void follow_parent(long parent) {
    if (parent == 0) return;
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) std::_Exit(kEngineInitFailed);
}

// Opens the resamplers for the requests to come; one that fails to open is
// left to the child, which reports it.
void prepare_resamplers() {
    for (std::size_t i = 0; i < std::size(kPreparedRates); ++i) {
        auto resampler = std::make_unique<speech::Resampler>();
        if (resampler->open(kEngineRate, kPreparedRates[i]).empty()) g_prepared[i] = std::move(resampler);
    }
}

std::unique_ptr<speech::Resampler> prepared_resampler(int sample_rate) {
    for (std::size_t i = 0; i < std::size(kPreparedRates); ++i)
        if (kPreparedRates[i] == sample_rate) return std::move(g_prepared[i]);
    return nullptr;
}

// Whether input is there to read now.
bool input_waiting() {
    pollfd in{STDIN_FILENO, POLLIN, 0};
    return ::poll(&in, 1, 0) > 0;
}

// Reads the next request into `out`; false at the end of input before one
// begins. The service sends a request only once the answer to the last one
// has ended, so nothing after its end line is read.
bool read_request(speech::EngineRequest &out) {
    speech::RequestReader reader;
    char buf[1 << 16];
    for (;;) {
        const ssize_t r = ::read(STDIN_FILENO, buf, sizeof buf);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) fail(kEngineBadRequest, std::string("cannot read the request: ") + std::strerror(errno));
        if (r == 0 && reader.untouched()) return false;
        if (r == 0) fail(kEngineBadRequest, "the request ended early");
        const auto status = reader.feed(buf, static_cast<std::size_t>(r));
        if (status == speech::RequestReader::kBad) fail(kEngineBadRequest, reader.error());
        if (status == speech::RequestReader::kDone) {
            out = std::move(reader.request());
            return true;
        }
    }
}

void select_voice(const std::string &voice) {
    if (g_quick_voice_data && voice != speech::kQuickVoice) {
        espeak_ng_InitializePath(nullptr);
        g_quick_voice_data = false;
    }
    const espeak_ng_STATUS st = espeak_ng_SetVoiceByName(voice.c_str());
    if (st != ENS_OK) fail(kEngineUnknownVoice, "voice " + voice + ": " + status_text(st));
}

void set_parameters(const speech::EngineSettings &s) {
    espeak_ng_SetParameter(espeakRATE, s.rate, 0);
    espeak_ng_SetParameter(espeakVOLUME, s.volume, 0);
    espeak_ng_SetParameter(espeakPITCH, s.pitch, 0);
}

// Zero samples for `ms` milliseconds, through the resampler like speech.
bool push_silence(int ms) {
    static const std::int16_t zeros[4096] = {};
    std::size_t left = static_cast<std::size_t>(ms) * kEngineRate / 1000;
    while (left > 0) {
        const std::size_t n = std::min(left, std::size(zeros));
        if (!g_pipeline->push(zeros, n)) return false;
        left -= n;
    }
    return true;
}

// Speaks one segment: a silence, or text in its voice with its own engine
// values or the request's. `voice` and `current` are what the engine is set to.
espeak_ng_STATUS speak_segment(const speech::RequestSegment &segment, const speech::EngineSettings &request,
                               std::string &voice, speech::EngineSettings &current) {
    if (segment.silence_ms > 0) return push_silence(segment.silence_ms) ? ENS_OK : ENS_AUDIO_ERROR;
    speech::EngineSettings want = request;
    if (segment.own_settings()) {
        want.rate = segment.rate;
        want.volume = segment.volume;
        want.pitch = segment.pitch;
    }
    if (segment.voice != voice) {
        select_voice(voice = segment.voice);
        set_parameters(current = want);
    } else if (want.rate != current.rate || want.volume != current.volume || want.pitch != current.pitch) {
        set_parameters(current = want);
    }
    if (segment.text.empty()) return ENS_OK;
    const unsigned flags = espeakCHARS_UTF8 | (segment.end_pause ? espeakENDPAUSE : 0);
    espeak_ng_STATUS st =
        espeak_ng_Synthesize(segment.text.c_str(), segment.text.size() + 1, 0, POS_CHARACTER, 0, flags, nullptr, nullptr);
    if (st == ENS_OK) st = espeak_ng_Synchronize();
    return st;
}

// The child's part: reads the next request, speaks it from the state the
// helper had after start-up, answers with its audio and end frame, and
// exits.
[[noreturn]] void speak_next(std::string voice, pid_t helper) {
    // Dies with the helper, which the service may kill at any time.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != helper) std::_Exit(kEngineInitFailed);
    g_warmer.warm();
    // The output's thread is started while the request is awaited; a
    // request that is there already (a new helper's first) waits for no
    // thread.
    g_pipeline = std::make_unique<speech::AudioPipeline>();
    const bool awaited = !input_waiting();
    if (awaited) g_pipeline->launch(write_audio, kPipelineThread, true);
    speech::EngineRequest request;
    if (!read_request(request)) std::_Exit(kNoRequest);
    speech::make_test_call();
    if (!awaited) g_pipeline->launch(write_audio, kPipelineThread, false);
    const speech::EngineSettings &settings = request.settings;
    g_pipeline->begin(prepared_resampler(settings.sample_rate), kEngineRate, settings.sample_rate);
    set_parameters(settings);
    speech::EngineSettings current = settings;
    espeak_ng_STATUS st = ENS_OK;
    for (const speech::RequestSegment &segment : request.segments) {
        st = speak_segment(segment, settings, voice, current);
        if (st != ENS_OK) break;
    }
    const std::string out_err = g_pipeline->finish();
    if (!out_err.empty()) fail(kEngineOutputFailed, out_err);
    if (st != ENS_OK) fail(kEngineSynthFailed, "synthesis: " + status_text(st));
    write_end(speech::kEngineOk, "");
    g_warmer.note();
    std::_Exit(speech::kEngineOk);
}

// Serves requests, each in a child of its own, until the input ends. A
// child that did not end well ends the helper as it ended (it has written
// its end frame, or its output stops short), so that the service never
// reuses the helper.
[[noreturn]] void serve_requests(const std::string &voice) {
    const pid_t helper = getpid();
    for (unsigned long forks = 0;; ++forks) {
        // Once the first child has spoken: before it, a one-shot session's
        // request is waiting already. The second child notes what it
        // writes, and the third is the first to be warmed.
        if (forks == 1) g_warmer.prepare();
        const pid_t child = fork();
        if (child < 0) {
            std::fprintf(stderr, "tts-engine: cannot start synthesis: %s\n", std::strerror(errno));
            std::_Exit(kEngineSynthFailed);
        }
        if (child == 0) speak_next(voice, helper);
        int status = 0;
        while (::waitpid(child, &status, 0) < 0) {
            if (errno != EINTR) std::_Exit(kEngineSynthFailed);
        }
        if (WIFEXITED(status) && WEXITSTATUS(status) == speech::kEngineOk) continue;
        if (WIFEXITED(status) && WEXITSTATUS(status) == kNoRequest) std::_Exit(speech::kEngineOk);
        if (WIFSIGNALED(status)) {
            ::signal(WTERMSIG(status), SIG_DFL);
            ::kill(helper, WTERMSIG(status));
        }
        std::_Exit(WIFEXITED(status) ? WEXITSTATUS(status) : kEngineSynthFailed);
    }
}

}  // namespace

int main(int argc, char **argv) {
    follow_parent(parent_from_args(argc, argv));
    // Nothing of the host's but our standard streams.
    ::close_range(3, ~0u, 0);
    // A reader that goes away shows as a failed write, not as a signal.
    ::signal(SIGPIPE, SIG_IGN);

    // On this thread: designing the filters takes a small fraction of a
    // millisecond, and the helper must have no other thread when it forks.
    prepare_resamplers();
    const std::string quick_data = speech::quick_voice_data_dir();
    g_quick_voice_data = !quick_data.empty();
    espeak_ng_InitializePath(g_quick_voice_data ? quick_data.c_str() : nullptr);
    espeak_ng_ERROR_CONTEXT context = nullptr;
    espeak_ng_STATUS st = espeak_ng_Initialize(&context);
    if (st != ENS_OK) fail(kEngineInitFailed, "engine initialisation: " + status_text(st));
    espeak_ng_ClearErrorContext(&context);
    st = espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 200, nullptr);
    if (st != ENS_OK) fail(kEngineInitFailed, "engine output: " + status_text(st));
    if (espeak_ng_GetSampleRate() != kEngineRate) fail(kEngineInitFailed, "unexpected engine sample rate");
    std::string voice = kDefaultVoice;
    if (g_quick_voice_data && espeak_ng_SetVoiceByName(voice.c_str()) != ENS_OK) {
        // A folder that does not serve: the engine's own place does.
        espeak_ng_InitializePath(nullptr);
        g_quick_voice_data = false;
    }
    if (!g_quick_voice_data) select_voice(voice);
    espeak_SetSynthCallback(on_audio);
    // Before the magic line: the service sees a helper that cannot enter
    // its sandbox fail to start.
    if (const std::string error = speech::enter_sandbox(); !error.empty()) fail(kEngineInitFailed, error);
    if (!write_all_iov(std::array<iovec, 1>{{{const_cast<char *>(speech::kEngineMagic), speech::kEngineMagicLen}}}.data(), 1))
        fail(kEngineOutputFailed, "cannot write the output");
    g_magic_written = true;

    // The engine's teardown only frees memory: the process ends without it.
    serve_requests(voice);
}

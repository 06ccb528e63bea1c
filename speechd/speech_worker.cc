// SPDX-License-Identifier: Apache-2.0
#include "speech_worker.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "audio_block.h"
#include "module_log.h"
#include "speech_service.h"

namespace sd_tts {

namespace {

constexpr int kSampleRate = 16000;
constexpr std::size_t kBlockBytes = kSampleRate / 10 * 2;  // 100 ms

// Failures of the engine helper, not of the text: a new session (with a new
// helper) may well succeed.
bool engine_failure(int code) {
    return code == SPEECH_ERR_ENGINE_START || code == SPEECH_ERR_ENGINE_CRASHED ||
           code == SPEECH_ERR_ENGINE_TIMEOUT || code == SPEECH_ERR_ENGINE_OUTPUT;
}

// Tests widen the moment between a fetch and the use of its block, where a
// STOP from the other thread may end the session, with a pause of this many
// milliseconds.
std::chrono::milliseconds fetch_delay() {
    static const long ms = [] {
        const char *env = std::getenv("SD_TTS_TEST_FETCH_DELAY_MS");
        return env != nullptr ? std::clamp(std::strtol(env, nullptr, 10), 0L, 10000L) : 0L;
    }();
    return std::chrono::milliseconds(ms);
}

std::string failure(const char *what, int code) {
    std::string s = std::string(what) + " failed: " + std::to_string(code) + " " + speech_service_error_text(code);
    const std::string engine = speech_service_last_engine_error();
    if (!engine.empty()) s += " (" + engine + ")";
    return s;
}

}  // namespace

SpeechWorker::~SpeechWorker() {
    stop();
    wait();
}

void SpeechWorker::wait() {
    if (thread_.joinable()) thread_.join();
}

void SpeechWorker::speak(SpeechJob job) {
    stop();
    wait();
    stop_ = false;
    pause_ = false;
    thread_ = std::thread(&SpeechWorker::run, this, std::move(job));
}

void SpeechWorker::stop() {
    stop_ = true;
    std::lock_guard<std::mutex> lock(session_mutex_);
    if (session_ != nullptr) {
        // Ending the session wakes the fetch waiting on it and ends its helper.
        QTTSSessionEnd(session_, "stop");
        session_ = nullptr;
    }
}

void SpeechWorker::pause() { pause_ = true; }

void SpeechWorker::run(SpeechJob job) {
    out_.send("701 BEGIN\n");
    if (!job.icon.empty()) out_.send("706-" + job.icon + "\n706 ICON\n");
    for (const Utterance &u : job.utterances) {
        if (stopping()) break;
        if (!u.text.empty() && !synthesize(u)) break;
        if (stopping()) break;
        if (u.has_mark) {
            out_.send("700-" + u.mark_after + "\n700 INDEX MARK\n");
            if (pause_) {
                out_.send("704 PAUSE\n");
                return;
            }
        }
    }
    out_.send(stopping() ? "703 STOP\n" : "702 END\n");
}

bool SpeechWorker::synthesize(const Utterance &u) {
    // The bytes already handed on. The engine says the same text the same
    // way, so a new helper after a failed one starts the stretch again and
    // its first bytes are left out: the listener hears no seam.
    std::size_t sent = 0;
    std::string odd;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt > 0) log_line(1, "the engine failed: the stretch goes on with a new helper");
        int code = SPEECH_OK;
        const char *handle = QTTSSessionBegin(u.params.c_str(), &code);
        if (handle == nullptr) {
            log_line(1, failure("session begin", code));
            QTTSSessionEnd(nullptr, nullptr);
            if (engine_failure(code)) continue;
            return true;
        }
        {
            std::lock_guard<std::mutex> lock(session_mutex_);
            if (stopping()) {
                QTTSSessionEnd(handle, "stop");
                return false;
            }
            session_ = handle;
        }
        std::size_t made = 0;
        code = QTTSTextPut(handle, u.text.data(), static_cast<unsigned>(u.text.size()), nullptr);
        if (code != SPEECH_OK) log_line(1, failure("text put", code));
        while (code == SPEECH_OK && !stopping()) {
            unsigned len = 0;
            int status = 0;
            const void *block = QTTSAudioGet(handle, &len, &status, &code);
            if (fetch_delay().count() > 0) std::this_thread::sleep_for(fetch_delay());
            if (block != nullptr && len > 0) {
                std::string_view pcm(static_cast<const char *>(block), len);
                const std::size_t skip = sent > made ? std::min<std::size_t>(sent - made, pcm.size()) : 0;
                {
                    // The block lives only as long as its session, which a
                    // STOP ends from the other thread: it is copied while
                    // the session is known to be alive.
                    std::lock_guard<std::mutex> lock(session_mutex_);
                    if (session_ != handle) break;
                    pcm.remove_prefix(skip);
                    // A block may end inside a sample: its byte waits for the next.
                    odd.append(pcm);
                }
                made += len;
                sent += len - skip;
                const std::size_t whole = odd.size() & ~std::size_t{1};
                // The server plays a block whole before it looks at a STOP:
                // long audio goes in short blocks.
                for (std::size_t at = 0; at < whole && !stopping(); at += kBlockBytes) {
                    const std::string_view piece = std::string_view(odd).substr(at, std::min(kBlockBytes, whole - at));
                    if (!out_.send(audio_event(piece, kSampleRate))) stop_ = true;  // the server is gone
                }
                odd.erase(0, whole);
            }
            if (code != SPEECH_OK) log_line(1, failure("audio fetch", code));
            if (status == 2) break;
        }
        {
            std::lock_guard<std::mutex> lock(session_mutex_);
            if (session_ == handle) {
                QTTSSessionEnd(handle, "done");
                session_ = nullptr;
            }
        }
        if (stopping()) return false;
        if (!engine_failure(code)) return true;
    }
    return true;
}

}  // namespace sd_tts

// SPDX-License-Identifier: Apache-2.0
#include "speech_worker.h"

#include "audio_block.h"
#include "module_log.h"
#include "speech_service.h"

namespace sd_tts {

namespace {

constexpr int kSampleRate = 16000;

// Failures of the engine helper, not of the text: a new session (with a new
// helper) may well succeed.
bool engine_failure(int code) {
    return code == SPEECH_ERR_ENGINE_START || code == SPEECH_ERR_ENGINE_CRASHED ||
           code == SPEECH_ERR_ENGINE_TIMEOUT || code == SPEECH_ERR_ENGINE_OUTPUT;
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
    bool sent = false;
    // One more try for a helper that failed before any audio was sent.
    for (int attempt = 0; attempt < 2; ++attempt) {
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
        code = QTTSTextPut(handle, u.text.data(), static_cast<unsigned>(u.text.size()), nullptr);
        if (code != SPEECH_OK) log_line(1, failure("text put", code));
        while (code == SPEECH_OK && !stopping()) {
            unsigned len = 0;
            int status = 0;
            const void *block = QTTSAudioGet(handle, &len, &status, &code);
            if (stopping()) break;
            if (block != nullptr && len > 0) {
                sent = true;
                if (!out_.send(audio_event(std::string_view(static_cast<const char *>(block), len), kSampleRate)))
                    stop_ = true;  // the server is gone
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
        if (!engine_failure(code) || sent) return true;
        log_line(1, "the engine failed before any audio: trying the stretch once more");
    }
    return true;
}

}  // namespace sd_tts

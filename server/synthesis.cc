// SPDX-License-Identifier: Apache-2.0
#include "synthesis.h"

#include "speech_service.h"

namespace tts_server {

std::atomic<unsigned> Synthesis::live_{0};

std::unique_ptr<Synthesis> Synthesis::begin(const std::string &params, std::string_view text, int &code) {
    code = SPEECH_OK;
    const char *handle = QTTSSessionBegin(params.c_str(), &code);
    if (handle == nullptr) {
        QTTSSessionEnd(handle, nullptr);  // clears the failed begin's code
        return nullptr;
    }
    std::unique_ptr<Synthesis> s(new Synthesis(handle));
    ++live_;
    code = QTTSTextPut(handle, text.data(), static_cast<unsigned>(text.size()), nullptr);
    if (code != SPEECH_OK) return nullptr;
    return s;
}

Synthesis::~Synthesis() {
    QTTSSessionEnd(handle_, nullptr);
    --live_;
}

int Synthesis::next(std::string_view &block, bool &last) {
    unsigned len = 0;
    int status = 0;
    int code = SPEECH_OK;
    const void *data = QTTSAudioGet(handle_, &len, &status, &code);
    block = data == nullptr ? std::string_view() : std::string_view(static_cast<const char *>(data), len);
    last = status == 2;
    return code;
}

std::string Synthesis::engine_error() { return speech_service_last_engine_error(); }

unsigned Synthesis::live() { return live_.load(); }

}  // namespace tts_server

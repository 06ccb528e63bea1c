// SPDX-License-Identifier: Apache-2.0
// The six client calls and the error texts: the C boundary of the service.
// No exception crosses it; every pointer argument is checked.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "login_state.h"
#include "session.h"
#include "session_config.h"
#include "session_registry.h"
#include "speech_service.h"
#include "voice_catalog.h"

namespace {

template <typename F>
int guarded(F &&body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return SPEECH_ERR_OUT_OF_MEMORY;
    } catch (...) {
        return SPEECH_ERR_SYSTEM;
    }
}

void store(int *slot, int value) {
    if (slot != nullptr) *slot = value;
}

// Why this thread's last session begin failed (0: it did not). A failed
// begin returns the null handle, which the caller may pass on to the other
// calls: they then report the begin's own reason, not a bad handle.
thread_local int t_failed_begin = SPEECH_OK;

int bad_handle_code(const char *session) {
    return session == nullptr && t_failed_begin != SPEECH_OK ? t_failed_begin : SPEECH_ERR_INVALID_HANDLE;
}

}  // namespace

extern "C" {

const char *speech_service_error_text(int code) {
    switch (code) {
#define SPEECH_SERVICE_ERROR_TEXT(name, value, message) \
    case value: return message;
        SPEECH_SERVICE_ERRORS(SPEECH_SERVICE_ERROR_TEXT)
#undef SPEECH_SERVICE_ERROR_TEXT
        default: return "unknown error code";
    }
}

void speech_service_free(void *p) { std::free(p); }

int speech_service_voices(char **list) {
    if (list == nullptr) return SPEECH_ERR_NULL_ARGUMENT;
    *list = nullptr;
    return guarded([&] {
        const std::string text = speech::engine_voices().listing();
        char *copy = static_cast<char *>(std::malloc(text.size() + 1));
        if (copy == nullptr) return static_cast<int>(SPEECH_ERR_OUT_OF_MEMORY);
        std::memcpy(copy, text.c_str(), text.size() + 1);
        *list = copy;
        return static_cast<int>(SPEECH_OK);
    });
}

int MSPLogin(const char *usr, const char *pwd, const char *params) {
    (void)usr;  // no accounts: the appid identifies the application
    (void)pwd;
    return guarded([&] { return speech::login(params); });
}

int MSPLogout(void) {
    return guarded([] { return speech::logout(); });
}

const char *QTTSSessionBegin(const char *params, int *error_code) {
    const char *handle = nullptr;
    const int rc = guarded([&] {
        if (!speech::logged_in()) return static_cast<int>(SPEECH_ERR_NOT_LOGGED_IN);
        speech::SessionConfig config;
        if (const int parsed =
                speech::parse_session_config(params, std::getenv(speech::kHostSessionParamsEnv), config))
            return parsed;
        auto session = std::make_shared<speech::Session>(config);
        if (const int started = session->start()) return started;
        handle = speech::SessionRegistry::instance().add(std::move(session));
        return static_cast<int>(handle != nullptr ? SPEECH_OK : SPEECH_ERR_SYSTEM);
    });
    t_failed_begin = rc;
    store(error_code, rc);
    return rc == SPEECH_OK ? handle : nullptr;
}

int QTTSTextPut(const char *session, const char *text, unsigned int text_len, const char *params) {
    (void)params;
    return guarded([&] {
        const auto s = speech::SessionRegistry::instance().find(session);
        if (!s) return bad_handle_code(session);
        return s->put_text(text, text_len);
    });
}

const void *QTTSAudioGet(const char *session, unsigned int *audio_len, int *synth_status, int *error_code) {
    const void *block = nullptr;
    unsigned int len = 0;
    int status = 1;
    const int rc = guarded([&] {
        if (audio_len == nullptr || synth_status == nullptr) return static_cast<int>(SPEECH_ERR_NULL_ARGUMENT);
        const auto s = speech::SessionRegistry::instance().find(session);
        if (!s) return bad_handle_code(session);
        int code = SPEECH_OK;
        block = s->fetch(len, status, code);
        return code;
    });
    if (audio_len != nullptr) *audio_len = block != nullptr ? len : 0;
    if (synth_status != nullptr) *synth_status = status;
    store(error_code, rc);
    return block;
}

int QTTSSessionEnd(const char *session, const char *hint) {
    (void)hint;
    return guarded([&] {
        const auto s = speech::SessionRegistry::instance().remove(session);
        if (!s) {
            // Ending the null handle of a failed begin ends that failure too.
            const int code = bad_handle_code(session);
            if (session == nullptr) t_failed_begin = SPEECH_OK;
            return code;
        }
        s->stop();
        return static_cast<int>(SPEECH_OK);
    });
}

}  // extern "C"

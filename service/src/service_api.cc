// SPDX-License-Identifier: Apache-2.0
// The six client calls and the error texts: the C boundary of the service.
// No exception crosses it; every pointer argument is checked.

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "audio_budget.h"
#include "mandarin_data.h"
#include "login_state.h"
#include "reading_table.h"
#include "session.h"
#include "session_config.h"
#include "session_registry.h"
#include "session_text.h"
#include "speech_service.h"
#include "utf8.h"
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

// Gives the caller a malloc'd copy of `text` in `out`, to be freed with
// speech_service_free(); 0 or SPEECH_ERR_OUT_OF_MEMORY.
int hand_over(const std::string &text, char *&out) {
    char *copy = static_cast<char *>(std::malloc(text.size() + 1));
    if (copy == nullptr) return SPEECH_ERR_OUT_OF_MEMORY;
    std::memcpy(copy, text.c_str(), text.size() + 1);
    out = copy;
    return SPEECH_OK;
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

// The last stderr line of the helper of the last session that failed on
// this thread.
thread_local std::string t_last_engine_error;

// Why this thread's last SSML document or lexicon was refused, or what the
// last accepted document asked for that was not followed.
thread_local std::string t_markup_message;

constexpr const char *kNoLexicon =
    "the Mandarin lexicon (mandarin.lex beside the engine helper, or SPEECH_SERVICE_LEXICON) could not be opened";

// A session is destroyed only by the process that began it: in a forked
// child (where its thread does not exist and its helper is the parent's),
// ending the process must leave it alone.
void delete_session(speech::Session *s) {
    if (s->ours()) delete s;
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
        return hand_over(text, *list);
    });
}

int speech_service_reading(const char *params, const char *text, unsigned int text_len, char **reading) {
    if (reading != nullptr) *reading = nullptr;
    return guarded([&] {
        if (reading == nullptr || (text == nullptr && text_len != 0)) return static_cast<int>(SPEECH_ERR_NULL_ARGUMENT);
        speech::SessionConfig config;
        if (const int parsed = speech::parse_session_config(params, config)) return parsed;
        t_markup_message.clear();
        if (!speech::is_speakable_utf8(text, text_len)) return static_cast<int>(SPEECH_ERR_INVALID_TEXT);
        if (const int loaded = speech::load_session_lexicons(config, t_markup_message)) return loaded;
        speech::SessionText read;
        if (const int rc = speech::read_session_text(config, std::string_view(text == nullptr ? "" : text, text_len),
                                                     read, t_markup_message))
            return rc;
        std::string table;
        const int rc = speech::text_reading_table(config, read, table);
        if (rc == SPEECH_ERR_ENGINE_START) t_last_engine_error = kNoLexicon;
        if (rc != SPEECH_OK) return rc;
        return hand_over(table, *reading);
    });
}

const char *speech_service_last_engine_error(void) { return t_last_engine_error.c_str(); }

const char *speech_service_last_markup_message(void) { return t_markup_message.c_str(); }

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
        if (config.mandarin_front_end && speech::mandarin_lexicon() == nullptr) {
            t_last_engine_error = kNoLexicon;
            return static_cast<int>(SPEECH_ERR_ENGINE_START);
        }
        if (const int loaded = speech::load_session_lexicons(config, t_markup_message)) return loaded;
        // The helper is taken before the session is registered: the helper
        // pool then outlives the registry at exit (see engine_pool.cc).
        std::shared_ptr<speech::Session> session(new speech::Session(config), delete_session);
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
        t_markup_message.clear();
        // A document is read here, so that one that does not parse fails
        // this call and nothing is spoken; the session then reads what was
        // parsed here, not the text again.
        const std::string_view view(text == nullptr ? "" : text, text == nullptr ? 0 : text_len);
        // A text that asks for more audio than the session allows is
        // refused here, before any is made (see audio_budget.h).
        if (s->ours() && text != nullptr && speech::is_speakable_utf8(text, text_len)) {
            speech::SessionText read;
            if (const int rc = speech::read_session_text(s->config(), view, read, t_markup_message)) return rc;
            const speech::AudioEstimate estimate =
                read.document ? speech::estimate_audio(*read.document) : speech::estimate_audio(view);
            if (const int rc = speech::check_audio_budget(s->config(), estimate, t_markup_message)) return rc;
            return s->put_text(text, text_len, std::move(read.document));
        }
        if (s->ours())
            if (const int rc = speech::check_audio_budget(s->config(), speech::estimate_audio(view), t_markup_message))
                return rc;
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
        if (code != SPEECH_OK && code != SPEECH_ERR_INVALID_HANDLE && code != SPEECH_ERR_NO_TEXT)
            t_last_engine_error = s->engine_error();
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

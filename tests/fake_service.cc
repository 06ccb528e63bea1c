// SPDX-License-Identifier: Apache-2.0
#include "fake_service.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <utility>

#include "speech_service.h"

namespace fake {
namespace {

Script g_script;
std::vector<std::string> g_calls;
std::size_t g_next_fetch = 0;
char g_session[] = "fake-session";
std::chrono::steady_clock::time_point g_begun;

std::string quoted(const char *s) { return s == nullptr ? "null" : '"' + std::string(s) + '"'; }

std::string handle_name(const char *session) {
    return session == g_session ? "session" : session == nullptr ? "null" : "bad-handle";
}

void record(std::string call) { g_calls.push_back(std::move(call)); }

bool still_busy() {
    return g_script.busy_for.count() > 0 && std::chrono::steady_clock::now() - g_begun < g_script.busy_for;
}

}  // namespace

void reset(Script script) {
    g_script = std::move(script);
    g_calls.clear();
    g_next_fetch = 0;
}

const std::vector<std::string> &calls() { return g_calls; }

void record_call(std::string call) { record(std::move(call)); }

int count(const std::string &prefix) {
    int n = 0;
    for (const auto &c : g_calls) n += c.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
    return n;
}

Fetch block(std::string bytes, int status, int code) { return Fetch{true, std::move(bytes), status, code}; }

Fetch no_block(int status, int code) { return Fetch{false, {}, status, code}; }

}  // namespace fake

using fake::g_script;

extern "C" int MSPLogin(const char *usr, const char *pwd, const char *params) {
    fake::record("MSPLogin(" + fake::quoted(usr) + ", " + fake::quoted(pwd) + ", " + fake::quoted(params) + ")");
    return g_script.login_code;
}

extern "C" const char *QTTSSessionBegin(const char *params, int *error_code) {
    fake::record("QTTSSessionBegin(" + fake::quoted(params) + ", code=" + std::to_string(*error_code) + ")");
    *error_code = g_script.session_begin_code;
    fake::g_begun = std::chrono::steady_clock::now();
    return g_script.begin_returns_null ? nullptr : fake::g_session;
}

extern "C" int QTTSTextPut(const char *session, const char *text, unsigned int text_len, const char *params) {
    fake::record("QTTSTextPut(" + fake::handle_name(session) + ", \"" + std::string(text, text_len) + "\", " +
                 std::to_string(text_len) + ", " + fake::quoted(params) + ")");
    return g_script.text_put_code;
}

// Each fetch records the code slot's value on entry. A fetch past the end
// of the script ends synthesis so that a faulty caller cannot hang a test.
extern "C" const void *QTTSAudioGet(const char *session, unsigned int *audio_len, int *synth_status,
                                    int *error_code) {
    fake::record("QTTSAudioGet(" + fake::handle_name(session) + ", code=" + std::to_string(*error_code) + ")");
    if (fake::still_busy()) {
        *audio_len = 0;
        *synth_status = 1;
        *error_code = 0;
        return nullptr;
    }
    if (fake::g_next_fetch >= g_script.fetches.size()) {
        fake::record("overrun");
        *audio_len = 0;
        *synth_status = 2;
        return nullptr;
    }
    const fake::Fetch &f = g_script.fetches[fake::g_next_fetch++];
    *synth_status = f.status;
    *error_code = f.code;
    // A returned null block carries a stale length, as a real service might.
    *audio_len = f.has_block ? static_cast<unsigned int>(f.bytes.size()) : 12345u;
    return f.has_block ? f.bytes.data() : nullptr;
}

extern "C" int QTTSSessionEnd(const char *session, const char *hint) {
    fake::record("QTTSSessionEnd(" + fake::handle_name(session) + ", " + fake::quoted(hint) + ")");
    return g_script.session_end_code;
}

extern "C" int MSPLogout(void) {
    fake::record("MSPLogout()");
    return g_script.logout_code;
}


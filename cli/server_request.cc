// SPDX-License-Identifier: Apache-2.0
#include "server_request.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

#include <nlohmann/json.hpp>

#include "curl_library.h"
#include "param_list.h"
#include "session_settings.h"
#include "token_file.h"

namespace tts_say {
namespace {

using nlohmann::json;

// The whole-number settings the server takes, named as the session's
// parameters, with their ranges.
struct Field {
    const char *name;
    int lo, hi;
};
constexpr Field kWholeFields[] = {
    {"sample_rate", 8000, 16000}, {"speed", 0, 100}, {"pitch", 0, 100}, {"volume", 0, 100}, {"rdn", 0, 2},
};

bool whole_number(const std::string &text, int lo, int hi, int &out) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    out = std::atoi(text.c_str());
    return out >= lo && out <= hi;
}

struct CurlDeleter {
    const CurlLibrary *lib;
    void operator()(CURL *c) const { lib->easy_cleanup(c); }
};
struct HeaderListDeleter {
    const CurlLibrary *lib;
    void operator()(curl_slist *l) const { lib->slist_free_all(l); }
};

size_t append_body(char *data, size_t size, size_t count, void *out) {
    static_cast<std::string *>(out)->append(data, size * count);
    return size * count;
}

// The message of an error body in the API's shape, else the body's start.
std::string server_message(const std::string &body) {
    const json doc = json::parse(body, nullptr, false);
    if (doc.is_object() && doc.contains("error") && doc["error"].is_object()) {
        const json &e = doc["error"];
        if (e.contains("message") && e["message"].is_string()) return e["message"].get<std::string>();
    }
    return body.empty() ? "no message" : body.substr(0, 200);
}

constexpr long kMaxRedirects = 5;

struct UrlDeleter {
    const CurlLibrary *lib;
    void operator()(CURLU *u) const { lib->url_cleanup(u); }
};

// A part of a parsed URL, or empty when it has none.
std::string url_part(const CurlLibrary &lib, CURLU *u, CURLUPart what) {
    char *part = nullptr;
    if (lib.url_get(u, what, &part, 0) != CURLUE_OK || part == nullptr) return "";
    std::string out = part;
    lib.free(part);
    return out;
}

// The speech endpoint under the server's address (its path kept as a
// prefix): false with the reason for an address without a host, such as
// "http://", which would otherwise make "v1" of the endpoint's path the
// host.
bool speech_endpoint(const CurlLibrary &lib, const std::string &url, std::string &endpoint, std::string &error) {
    std::unique_ptr<CURLU, UrlDeleter> u(lib.url(), UrlDeleter{&lib});
    if (!u) {
        error = "cannot start an HTTP client";
        return false;
    }
    // A bare "host:port" is taken as http, as it always was.
    const CURLUcode rc = lib.url_set(u.get(), CURLUPART_URL, url.c_str(), CURLU_GUESS_SCHEME);
    if (rc != CURLUE_OK || url_part(lib, u.get(), CURLUPART_HOST).empty()) {
        error = "the server address '" + url + "' is not an http or https URL with a host name" +
                (rc != CURLUE_OK ? std::string(": ") + lib.url_strerror(rc) : std::string());
        return false;
    }
    const std::string scheme = url_part(lib, u.get(), CURLUPART_SCHEME);
    if (scheme != "http" && scheme != "https") {
        error = "the server address '" + url + "' is not an http or https URL";
        return false;
    }
    std::string path = url_part(lib, u.get(), CURLUPART_PATH);
    while (!path.empty() && path.back() == '/') path.pop_back();
    path += "/v1/audio/speech";
    if (lib.url_set(u.get(), CURLUPART_PATH, path.c_str(), 0) != CURLUE_OK ||
        (endpoint = url_part(lib, u.get(), CURLUPART_URL)).empty()) {
        error = "the server address '" + url + "' does not take the speech endpoint's path";
        return false;
    }
    return true;
}

// When the transfer last moved a byte either way.
struct Progress {
    std::chrono::steady_clock::time_point last;
    curl_off_t down, up;
    std::chrono::steady_clock::duration stall;
    bool stalled;
};

// Called by libcurl about once a second, moving or not: a nonzero return
// ends the transfer.
int watch_progress(void *data, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
    Progress &p = *static_cast<Progress *>(data);
    const auto now = std::chrono::steady_clock::now();
    if (down != p.down || up != p.up) {
        p = {now, down, up, p.stall, false};
        return 0;
    }
    p.stalled = now - p.last >= p.stall;
    return p.stalled ? 1 : 0;
}

}  // namespace

bool speech_request_body(const Options &o, const std::string &text, std::string &body, std::string &error) {
    std::vector<speech::Param> list;
    if (!speech::parse_param_list(session_settings(o), list)) {
        error = "the session parameters do not parse: " + session_settings(o);
        return false;
    }
    json doc = {{"input", text}, {"response_format", "wav"}};
    if (const std::string *voice = speech::find_param(list, "voice_name")) doc["voice"] = *voice;
    for (const Field &f : kWholeFields) {
        const std::string *value = speech::find_param(list, f.name);
        if (value == nullptr) continue;
        int v = 0;
        if (!whole_number(*value, f.lo, f.hi, v)) {
            error = "the server takes " + std::string(f.name) + " from " + std::to_string(f.lo) + " to " +
                    std::to_string(f.hi) + ", not '" + *value + "'";
            return false;
        }
        if (f.name == std::string("speed")) doc[f.name] = api_speed(v);
        else doc[f.name] = v;
    }
    body = doc.dump();
    return true;
}

ServerAnswer post_speech(const std::string &url, const std::string &token, const std::string &body,
                         long stall_seconds) {
    ServerAnswer answer;
    const CurlLibrary *lib = curl_library(answer.error);
    if (lib == nullptr) return answer;
    if (const std::string problem = tts::bearer_token_problem(token); !problem.empty()) {
        answer.error = "the server token " + problem;
        return answer;
    }
    std::string endpoint;
    if (!speech_endpoint(*lib, url, endpoint, answer.error)) return answer;
    std::unique_ptr<CURL, CurlDeleter> curl(lib->easy_init(), CurlDeleter{lib});
    if (!curl) {
        answer.error = "cannot start an HTTP client";
        return answer;
    }

    std::unique_ptr<curl_slist, HeaderListDeleter> headers(nullptr, HeaderListDeleter{lib});
    const auto add_header = [&headers, lib](const std::string &line) {
        curl_slist *list = lib->slist_append(headers.get(), line.c_str());
        if (list == nullptr) return false;
        (void)headers.release();  // the same list, one longer
        headers.reset(list);
        return true;
    };
    if (!add_header("Content-Type: application/json") ||
        (!token.empty() && !add_header("Authorization: Bearer " + token))) {
        answer.error = "cannot make the request's headers";
        return answer;
    }
    std::string received;
    char reason[CURL_ERROR_SIZE] = "";
    CURL *c = curl.get();
    lib->easy_setopt(c, CURLOPT_URL, endpoint.c_str());
    lib->easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    lib->easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    lib->easy_setopt(c, CURLOPT_POSTFIELDS, body.data());
    lib->easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    lib->easy_setopt(c, CURLOPT_WRITEFUNCTION, append_body);
    lib->easy_setopt(c, CURLOPT_WRITEDATA, &received);
    lib->easy_setopt(c, CURLOPT_ERRORBUFFER, reason);
    lib->easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    lib->easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 10L);
    // A server that stops sending (or never starts) is given up after
    // `stall_seconds` without a byte. (libcurl's low-speed limit averages
    // over several seconds, the request's own bytes included, and so
    // waits longer than it says.)
    Progress progress{std::chrono::steady_clock::now(), 0, 0, std::chrono::seconds(stall_seconds), false};
    lib->easy_setopt(c, CURLOPT_XFERINFOFUNCTION, watch_progress);
    lib->easy_setopt(c, CURLOPT_XFERINFODATA, &progress);
    lib->easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    // A moved server (307 and 308 keep the POST and its body; libcurl sends
    // the token only to the host named here).
    lib->easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    lib->easy_setopt(c, CURLOPT_MAXREDIRS, kMaxRedirects);
    lib->easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");

    const CURLcode rc = lib->easy_perform(c);
    const std::string why = *reason != '\0' ? reason : lib->easy_strerror(rc);
    long status = 0;
    lib->easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (rc == CURLE_ABORTED_BY_CALLBACK && progress.stalled) {
        answer.error = "the server at " + url + " sent nothing for " + std::to_string(stall_seconds) +
                       " s (--server-timeout): giving up";
        return answer;
    }
    if (rc == CURLE_TOO_MANY_REDIRECTS) {
        answer.error = "the server at " + url + " redirected more than " + std::to_string(kMaxRedirects) + " times";
        return answer;
    }
    if (rc != CURLE_OK && status != 0) {
        answer.error = "the answer of the server at " + url + " was cut off after " + std::to_string(received.size()) +
                       " bytes of its body: " + why;
        return answer;
    }
    if (rc != CURLE_OK) {
        answer.error = "cannot reach the server at " + url + ": " + why;
        return answer;
    }
    if (status != 200) {
        answer.error = "the server at " + url + " answered " + std::to_string(status) + ": " + server_message(received);
        return answer;
    }
    answer.ok = true;
    answer.wav = std::move(received);
    return answer;
}

}  // namespace tts_say

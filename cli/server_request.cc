// SPDX-License-Identifier: Apache-2.0
#include "server_request.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include <nlohmann/json.hpp>

#include "curl_library.h"
#include "param_list.h"
#include "session_settings.h"

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

ServerAnswer post_speech(const std::string &url, const std::string &token, const std::string &body) {
    ServerAnswer answer;
    const CurlLibrary *lib = curl_library(answer.error);
    if (lib == nullptr) return answer;
    std::unique_ptr<CURL, CurlDeleter> curl(lib->easy_init(), CurlDeleter{lib});
    if (!curl) {
        answer.error = "cannot start an HTTP client";
        return answer;
    }
    std::string endpoint = url;
    while (!endpoint.empty() && endpoint.back() == '/') endpoint.pop_back();
    endpoint += "/v1/audio/speech";

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

    const CURLcode rc = lib->easy_perform(c);
    if (rc != CURLE_OK) {
        answer.error = "cannot reach the server at " + url + ": " + (*reason != '\0' ? reason : lib->easy_strerror(rc));
        return answer;
    }
    long status = 0;
    lib->easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) {
        answer.error = "the server at " + url + " answered " + std::to_string(status) + ": " + server_message(received);
        return answer;
    }
    answer.ok = true;
    answer.wav = std::move(received);
    return answer;
}

}  // namespace tts_say

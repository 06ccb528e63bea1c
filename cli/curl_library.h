// SPDX-License-Identifier: Apache-2.0
// libcurl, loaded only when tts-say speaks through a server: linked at
// start-up it would bring its whole tree of libraries into every local run.
#ifndef TTS_SAY_CURL_LIBRARY_H
#define TTS_SAY_CURL_LIBRARY_H

#include <curl/curl.h>

#include <string>

namespace tts_say {

struct CurlLibrary {
    decltype(&curl_global_init) global_init;
    decltype(&curl_easy_init) easy_init;
    decltype(&curl_easy_cleanup) easy_cleanup;
    decltype(&curl_easy_setopt) easy_setopt;
    decltype(&curl_easy_perform) easy_perform;
    decltype(&curl_easy_getinfo) easy_getinfo;
    decltype(&curl_easy_strerror) easy_strerror;
    decltype(&curl_slist_append) slist_append;
    decltype(&curl_slist_free_all) slist_free_all;
    decltype(&curl_url) url;
    decltype(&curl_url_cleanup) url_cleanup;
    decltype(&curl_url_set) url_set;
    decltype(&curl_url_get) url_get;
    decltype(&curl_url_strerror) url_strerror;
    decltype(&curl_free) free;
};

// The library, loaded and initialised once per process; null, with the
// reason in `error`, when it cannot be.
const CurlLibrary *curl_library(std::string &error);

}  // namespace tts_say

#endif  // TTS_SAY_CURL_LIBRARY_H

// SPDX-License-Identifier: Apache-2.0
#include "curl_library.h"

#include <dlfcn.h>

#include <mutex>

namespace tts_say {
namespace {

constexpr const char *kSoname = "libcurl.so.4";

template <typename F>
bool resolve(void *handle, const char *name, F &out, std::string &missing) {
    out = reinterpret_cast<F>(::dlsym(handle, name));
    if (out == nullptr && missing.empty()) missing = name;
    return out != nullptr;
}

}  // namespace

const CurlLibrary *curl_library(std::string &error) {
    static std::once_flag once;
    static CurlLibrary library;
    static std::string failure;
    std::call_once(once, [] {
        // Never closed: the library stays for the life of the process.
        void *handle = ::dlopen(kSoname, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char *why = ::dlerror();
            failure = std::string("cannot load ") + kSoname + ": " + (why != nullptr ? why : "unknown reason");
            return;
        }
        std::string missing;
        CurlLibrary &l = library;
        resolve(handle, "curl_global_init", l.global_init, missing);
        resolve(handle, "curl_easy_init", l.easy_init, missing);
        resolve(handle, "curl_easy_cleanup", l.easy_cleanup, missing);
        resolve(handle, "curl_easy_setopt", l.easy_setopt, missing);
        resolve(handle, "curl_easy_perform", l.easy_perform, missing);
        resolve(handle, "curl_easy_getinfo", l.easy_getinfo, missing);
        resolve(handle, "curl_easy_strerror", l.easy_strerror, missing);
        resolve(handle, "curl_slist_append", l.slist_append, missing);
        resolve(handle, "curl_slist_free_all", l.slist_free_all, missing);
        resolve(handle, "curl_url", l.url, missing);
        resolve(handle, "curl_url_cleanup", l.url_cleanup, missing);
        resolve(handle, "curl_url_set", l.url_set, missing);
        resolve(handle, "curl_url_get", l.url_get, missing);
        resolve(handle, "curl_url_strerror", l.url_strerror, missing);
        resolve(handle, "curl_free", l.free, missing);
        if (!missing.empty()) {
            failure = std::string(kSoname) + " has no " + missing;
        } else if (l.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            failure = "cannot start the HTTP client";
        }
    });
    if (!failure.empty()) {
        error = failure;
        return nullptr;
    }
    return &library;
}

}  // namespace tts_say

// SPDX-License-Identifier: Apache-2.0
#include "cors.h"

#include <algorithm>
#include <cstring>

namespace tts_server {
namespace {

// Header names, commas and blanks only: the list is echoed in a header.
bool header_list(const char *text) {
    return text != nullptr && std::all_of(text, text + std::strlen(text), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
               c == ',' || c == ' ';
    });
}

}  // namespace

bool valid_cors_origin(const std::string &origin) {
    if (origin == "*") return true;
    const auto scheme = origin.find("://");
    if (scheme == std::string::npos || scheme == 0 || origin.size() == scheme + 3) return false;
    return std::all_of(origin.begin(), origin.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || std::strchr("-._:/[]", c);
    }) && origin.find('/', scheme + 3) == std::string::npos;
}

std::string CorsPolicy::allow_origin(const char *origin) const {
    if (std::find(origins_.begin(), origins_.end(), "*") != origins_.end()) return "*";
    if (origin == nullptr) return "";
    return std::find(origins_.begin(), origins_.end(), origin) != origins_.end() ? origin : "";
}

std::vector<std::pair<std::string, std::string>> CorsPolicy::preflight(const char *origin,
                                                                       const char *request_headers) const {
    const std::string allowed = allow_origin(origin);
    if (allowed.empty()) return {};
    return {{"Access-Control-Allow-Origin", allowed},
            {"Access-Control-Allow-Methods", "GET, HEAD, POST, OPTIONS"},
            {"Access-Control-Allow-Headers", header_list(request_headers) && *request_headers != '\0'
                                                 ? request_headers
                                                 : "Authorization, Content-Type"},
            {"Access-Control-Max-Age", "600"},
            {"Vary", "Origin"}};
}

}  // namespace tts_server

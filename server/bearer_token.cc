// SPDX-License-Identifier: Apache-2.0
#include "bearer_token.h"

#include <strings.h>

#include <cstring>

#include "token_file.h"

namespace tts_server {

std::variant<std::string, std::string> read_token_file(const std::string &path) {
    std::string token, error;
    if (!tts::read_token_file(path, token, error))
        return std::variant<std::string, std::string>(std::in_place_index<1>, error);
    return std::variant<std::string, std::string>(std::in_place_index<0>, token);
}

bool bearer_matches(const char *header, const std::string &token) {
    // The scheme is case-insensitive and followed by one or more spaces.
    static constexpr char kScheme[] = "Bearer";
    if (header == nullptr || strncasecmp(header, kScheme, sizeof kScheme - 1) != 0 || header[sizeof kScheme - 1] != ' ')
        return false;
    const char *given = header + sizeof kScheme - 1;
    while (*given == ' ') ++given;
    const std::size_t given_len = std::strlen(given);
    unsigned char diff = given_len == token.size() ? 0 : 1;
    // Walks the expected token whatever was given, so the time does not
    // tell how much of it matched.
    for (std::size_t i = 0; i < token.size(); ++i)
        diff |= static_cast<unsigned char>(token[i] ^ (i < given_len ? given[i] : 0));
    return diff == 0;
}

}  // namespace tts_server

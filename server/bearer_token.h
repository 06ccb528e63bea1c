// SPDX-License-Identifier: Apache-2.0
// The bearer token of --token-file, checked in constant time.
#ifndef TTS_SERVER_BEARER_TOKEN_H
#define TTS_SERVER_BEARER_TOKEN_H

#include <string>
#include <variant>

namespace tts_server {

// The file's first line without surrounding blanks; an error for a missing,
// unreadable or empty file, or a token with a control character
// (tts::read_token_file, which tts-say shares).
std::variant<std::string, std::string> read_token_file(const std::string &path);

// Whether an Authorization header value is "Bearer TOKEN": the time taken
// depends on the lengths only, never on where the bytes differ.
bool bearer_matches(const char *header, const std::string &token);

}  // namespace tts_server

#endif  // TTS_SERVER_BEARER_TOKEN_H

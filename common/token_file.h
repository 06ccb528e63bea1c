// SPDX-License-Identifier: Apache-2.0
// A bearer token file as tts-server and tts-say --server both read it: the
// first line without the blanks (spaces, tabs, a CR) around it. A file that
// cannot be read, whose first line is blank, or whose token holds a CR is
// refused: a token goes into an HTTP header, where a line break would start
// a header of its own. Header-only, like the rest of common/.
#ifndef TTS_COMMON_TOKEN_FILE_H
#define TTS_COMMON_TOKEN_FILE_H

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

namespace tts {

// Why `token` cannot go into an Authorization header, or empty when it can:
// no line break, no other control character.
inline std::string bearer_token_problem(const std::string &token) {
    for (const char c : token) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r' || c == '\n') return "holds a line break";
        if (u < 0x20 || u == 0x7F) return "holds a control character";
    }
    return "";
}

// The token of the file at `path` into `token`; false with the reason in
// `error`.
inline bool read_token_file(const std::string &path, std::string &token, std::string &error) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) {
        error = "cannot read token file " + path + (errno != 0 ? std::string(": ") + std::strerror(errno) : "");
        return false;
    }
    const auto first = line.find_first_not_of(" \t\r");
    const auto last = line.find_last_not_of(" \t\r");
    if (first == std::string::npos) {
        error = "token file " + path + " is empty";
        return false;
    }
    token = line.substr(first, last - first + 1);
    if (const std::string problem = bearer_token_problem(token); !problem.empty()) {
        error = "the token in " + path + " " + problem;
        return false;
    }
    return true;
}

}  // namespace tts

#endif  // TTS_COMMON_TOKEN_FILE_H

// SPDX-License-Identifier: Apache-2.0
// tts-server's command line.
#ifndef TTS_SERVER_OPTIONS_H
#define TTS_SERVER_OPTIONS_H

#include <cstddef>
#include <string>
#include <variant>
#include <vector>

namespace tts_server {

struct Options {
    std::string listen = "127.0.0.1:5500";
    unsigned workers = 0;  // 0: the number of processors
    unsigned queue = 0;    // 0: twice the workers
    std::size_t max_text = 65536;
    unsigned max_audio_seconds = 3600;   // the most audio one request may ask for
    unsigned request_timeout = 30;       // seconds to receive a request's headers and body
    unsigned max_connections = 256;
    unsigned max_client_connections = 0;  // 0: no limit per client address
    std::string token_file;
    std::string wyoming;  // HOST:PORT for Wyoming; empty: none (unless socket-activated)
    bool access_log = false;
    std::vector<std::string> voice_aliases;  // NAME=VOICE, after the file's
    std::string voice_alias_file;
    std::vector<std::string> cors_origins;
    bool help = false;
};

struct UsageError {
    std::string message;
};

std::variant<Options, UsageError> parse_options(int argc, char **argv);
const char *usage_text();

}  // namespace tts_server

#endif  // TTS_SERVER_OPTIONS_H

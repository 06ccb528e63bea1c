// SPDX-License-Identifier: Apache-2.0
#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "listen_socket.h"
#include "cors.h"
#include "voice_aliases.h"

namespace tts_server {
namespace {

bool parse_count(const char *text, unsigned long long max, unsigned long long &out) {
    if (text == nullptr || *text < '0' || *text > '9') return false;
    errno = 0;
    char *end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || v == 0 || v > max) return false;
    out = v;
    return true;
}

struct Limit {
    const char *name;
    unsigned Options::*field;
    unsigned long long max;
};

const Limit *find_limit(const std::string &arg) {
    static const Limit kLimits[] = {
        {"--max-audio-seconds", &Options::max_audio_seconds, 86400},
        {"--request-timeout", &Options::request_timeout, 3600},
        {"--max-connections", &Options::max_connections, 16384},
        {"--max-client-connections", &Options::max_client_connections, 16384},
    };
    for (const Limit &l : kLimits)
        if (arg == l.name) return &l;
    return nullptr;
}

}  // namespace

const char *usage_text() {
    return "usage: tts-server [--listen HOST:PORT] [--workers N] [--queue N] [--max-text BYTES]\n"
           "                  [--max-audio-seconds N] [--request-timeout SECONDS]\n"
           "                  [--max-connections N] [--max-client-connections N]\n"
           "                  [--token-file FILE] [--access-log] [--wyoming HOST:PORT]\n"
           "                  [--voice-alias NAME=VOICE]... [--voice-alias-file FILE] [--cors-origin ORIGIN]...\n";
}

std::variant<Options, UsageError> parse_options(int argc, char **argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        unsigned long long n = 0;
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--access-log") {
            o.access_log = true;
        } else if (arg == "--listen" || arg == "--token-file" || arg == "--wyoming") {
            if (value == nullptr || *value == '\0') return UsageError{arg + " needs a value"};
            std::string host;
            std::string port;
            if (arg != "--token-file" && !split_host_port(value, host, port))
                return UsageError{arg + " wants HOST:PORT with a port from 0 to 65535, not " + std::string(value)};
            (arg == "--listen" ? o.listen : arg == "--wyoming" ? o.wyoming : o.token_file) = value;
            ++i;
        } else if (arg == "--workers" || arg == "--queue") {
            if (!parse_count(value, 4096, n)) return UsageError{arg + " needs a number from 1 to 4096"};
            (arg == "--workers" ? o.workers : o.queue) = static_cast<unsigned>(n);
            ++i;
        } else if (arg == "--max-text") {
            if (!parse_count(value, 64ull << 20, n)) return UsageError{"--max-text needs a number of bytes from 1 to 67108864"};
            o.max_text = static_cast<std::size_t>(n);
            ++i;
        } else if (const Limit *limit = find_limit(arg)) {
            if (!parse_count(value, limit->max, n))
                return UsageError{arg + " needs a number from 1 to " + std::to_string(limit->max)};
            o.*(limit->field) = static_cast<unsigned>(n);
            ++i;
        } else if (arg == "--voice-alias") {
            if (value == nullptr) return UsageError{"--voice-alias needs NAME=VOICE"};
            if (std::string e = VoiceAliases().set(value); !e.empty()) return UsageError{"--voice-alias: " + e};
            o.voice_aliases.push_back(value);
            ++i;
        } else if (arg == "--voice-alias-file") {
            if (value == nullptr || *value == '\0') return UsageError{arg + " needs a value"};
            o.voice_alias_file = value;
            ++i;
        } else if (arg == "--cors-origin") {
            if (value == nullptr || !valid_cors_origin(value))
                return UsageError{"--cors-origin needs * or an origin such as https://app.example:8080"};
            o.cors_origins.push_back(value);
            ++i;
        } else {
            return UsageError{"unknown argument: " + arg};
        }
    }
    return o;
}

}  // namespace tts_server

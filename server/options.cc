// SPDX-License-Identifier: Apache-2.0
#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

}  // namespace

const char *usage_text() {
    return "usage: tts-server [--listen HOST:PORT] [--workers N] [--queue N] [--max-text BYTES]\n"
           "                  [--token-file FILE] [--access-log]\n"
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
        } else if (arg == "--listen" || arg == "--token-file") {
            if (value == nullptr || *value == '\0') return UsageError{arg + " needs a value"};
            (arg == "--listen" ? o.listen : o.token_file) = value;
            ++i;
        } else if (arg == "--workers" || arg == "--queue") {
            if (!parse_count(value, 4096, n)) return UsageError{arg + " needs a number from 1 to 4096"};
            (arg == "--workers" ? o.workers : o.queue) = static_cast<unsigned>(n);
            ++i;
        } else if (arg == "--max-text") {
            if (!parse_count(value, 64ull << 20, n)) return UsageError{"--max-text needs a number of bytes from 1 to 67108864"};
            o.max_text = static_cast<std::size_t>(n);
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

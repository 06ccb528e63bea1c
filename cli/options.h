// SPDX-License-Identifier: Apache-2.0
// tts-say's command line.
#ifndef TTS_SAY_OPTIONS_H
#define TTS_SAY_OPTIONS_H

#include <string>
#include <vector>

namespace tts_say {

// Batch synthesis (--batch): a manifest of many texts.
struct BatchOptions {
    std::string manifest;     // a file or "-"; empty: no batch
    std::string dir;          // -O; empty: "."
    std::string results;      // empty: in the output folder
    int jobs = 0;             // 0: the processors this process may use
    int shard = -1, shards = 0;  // --shard K/N; -1: from the scheduler's environment
    int shard_count = 0;      // --shard-count N (with JOB_COMPLETION_INDEX)
};

struct Options {
    std::string output = "tts.wav";  // "-" for standard output
    std::string text_file;           // "-" for standard input; empty: none
    std::vector<std::string> words;  // the text as arguments
    std::string voice;               // empty: the library's
    int speed = -1, pitch = -1, volume = -1, rdn = -1;  // -1: the library's
    int rate = 0;                    // 0: not given
    int max_audio_seconds = 0;       // 0: the service's default
    bool quiet = false;
    bool list_voices = false;
    bool pinyin = false;             // print the reading table, speak nothing
    bool readers = false;            // with pinyin: who decided each reading
    std::string text_type;           // "ssml", "text", or empty: by the text's start
    std::vector<std::string> lexicons;  // pronunciation lexicon files
    std::string server;              // a tts-server's URL; empty: speak here
    std::string server_token_file;   // the server's bearer token, in a file
    int server_timeout = 0;          // seconds without a byte before giving up; 0: kServerTimeout
    bool help = false;
    bool version = false;
    BatchOptions batch;
};

// The result of reading the command line: the options, or the reason it is
// not a valid one.
struct ParsedCommand {
    Options options;
    std::string error;  // empty when valid
};

ParsedCommand parse_command_line(int argc, char **argv);

// The session parameters that the options set ("speed = 70, ..."); empty
// when they set none.
std::string session_params(const Options &o);

// How long tts-say --server waits without a byte from the server by default.
constexpr int kServerTimeout = 60;

extern const char *const kUsage;
extern const char *const kHelp;

}  // namespace tts_say

#endif  // TTS_SAY_OPTIONS_H

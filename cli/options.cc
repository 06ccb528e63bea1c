// SPDX-License-Identifier: Apache-2.0
#include "options.h"

#include <getopt.h>

#include <cstdlib>

namespace tts_say {

const char *const kUsage =
    "usage: tts-say [OPTION]... [TEXT...]\n"
    "       tts-say --batch MANIFEST [-O DIR] [-j N] [--shard K/N] [--results FILE] [OPTION]...";

const char *const kHelp =
    "Speaks TEXT (the arguments joined by blanks), the content of a text file, or\n"
    "standard input read to its end, into a 16-bit mono PCM WAV file.\n"
    "\n"
    "  -o, --output FILE    the WAV file to write (default tts.wav); - for\n"
    "                       standard output (the dialogue then goes to standard error)\n"
    "  -f, --file TEXTFILE  read the text from TEXTFILE; - for standard input\n"
    "  -v, --voice VOICE    the voice (default xiaoxin, Mandarin); see --voices\n"
    "  -s, --speed N        speed 0..100 (default 50)\n"
    "  -p, --pitch N        pitch 0..100 (default 50)\n"
    "  -a, --volume N       volume 0..100 (default 50)\n"
    "      --rdn N          numbers: 0 as the voice reads them, 1 as values,\n"
    "                       2 digit by digit (default 2)\n"
    "  -r, --rate HZ        sample rate, 16000 (default) or 8000\n"
    "  -q, --quiet          do not show the library's dialogue\n"
    "      --voices         list the voices, one per line with its language\n"
    "      --pinyin         print how the text is read (a token, a tab and its\n"
    "                       reading per line) and write no audio\n"
    "      --readers        with --pinyin, add who decided each reading (word,\n"
    "                       rule, char, tone, model=P, ...) for studying misreadings\n"
    "      --ssml           the text is SSML (default: when it starts with <speak)\n"
    "      --text           the text is plain text, even if it starts with <speak\n"
    "      --lexicon FILE   a pronunciation lexicon (PLS, alphabet x-pinyin); repeatable\n"
    "      --max-audio-seconds N  the most audio one text may make, 1..86400\n"
    "                       (default 3600); a text that asks for more fails\n"
    "      --server URL     speak through the tts-server at URL (default: $TTS_SERVER;\n"
    "                       none: here), with the same settings and the same WAV\n"
    "      --server-token-file FILE  the server's bearer token (default: $TTS_SERVER_TOKEN)\n"
    "      --server-timeout S  give up when the server sends nothing for S seconds\n"
    "                       (1 to 3600, default 60)\n"
    "\n"
    "      --batch MANIFEST speak every line of MANIFEST (a file or -): JSON objects\n"
    "                       with text and optionally id, output_file, voice, speed,\n"
    "                       pitch, volume, rdn, sample_rate; or ID<TAB>TEXT\n"
    "  -O, --output-dir DIR where the WAVs go (default .): DIR/ID.wav\n"
    "  -j, --jobs N         items at once (default: the number of processors)\n"
    "      --shard K/N      take only the lines whose index is K modulo N (default:\n"
    "                       from SLURM_ARRAY_TASK_ID or JOB_COMPLETION_INDEX)\n"
    "      --shard-count N  the N for JOB_COMPLETION_INDEX (or TTS_SHARD_COUNT)\n"
    "      --results FILE   one JSON line per item (default DIR/results.jsonl)\n"
    "\n"
    "  -h, --help           show this help\n"
    "  -V, --version        show the version\n"
    "\n"
    "Exit status: 0 spoken (also a blank text, into a WAV without audio; with\n"
    "--batch: every item done), 1 not spoken (the reason on standard error; with\n"
    "--batch: some items failed), 2 usage error.\n";

namespace {

enum LongOnly { kRdn = 256, kVoices, kPinyin, kSsml, kText, kLexicon, kBatch, kShard, kShardCount, kResults, kServer, kServerTokenFile,
               kMaxAudio, kServerTimeoutOption, kReaders };

const option kLongOptions[] = {
    {"output", required_argument, nullptr, 'o'}, {"file", required_argument, nullptr, 'f'},
    {"voice", required_argument, nullptr, 'v'},  {"speed", required_argument, nullptr, 's'},
    {"pitch", required_argument, nullptr, 'p'},  {"volume", required_argument, nullptr, 'a'},
    {"rdn", required_argument, nullptr, kRdn},   {"rate", required_argument, nullptr, 'r'},
    {"quiet", no_argument, nullptr, 'q'},        {"voices", no_argument, nullptr, kVoices},
    {"help", no_argument, nullptr, 'h'},         {"version", no_argument, nullptr, 'V'},
    {"pinyin", no_argument, nullptr, kPinyin},   {"readers", no_argument, nullptr, kReaders},   {"ssml", no_argument, nullptr, kSsml},
    {"text", no_argument, nullptr, kText},       {"lexicon", required_argument, nullptr, kLexicon},
    {"batch", required_argument, nullptr, kBatch}, {"output-dir", required_argument, nullptr, 'O'},
    {"jobs", required_argument, nullptr, 'j'},     {"shard", required_argument, nullptr, kShard},
    {"shard-count", required_argument, nullptr, kShardCount}, {"results", required_argument, nullptr, kResults},
    {"server", required_argument, nullptr, kServer},
    {"server-token-file", required_argument, nullptr, kServerTokenFile},
    {"max-audio-seconds", required_argument, nullptr, kMaxAudio},
    {"server-timeout", required_argument, nullptr, kServerTimeoutOption},
    {nullptr, 0, nullptr, 0},
};

// A whole number from 0 to `max`, nothing else.
bool read_level(const char *text, int max, int &out) {
    int v = 0;
    if (*text == '\0') return false;
    for (const char *p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + (*p - '0');
        if (v > max) return false;
    }
    out = v;
    return true;
}

// "K/N" with 0 <= K < N.
bool read_shard(const std::string &text, int &k, int &n) {
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos) return false;
    return read_level(text.substr(0, slash).c_str(), 100000000, k) &&
           read_level(text.substr(slash + 1).c_str(), 100000000, n) && k < n;
}

std::string option_name(int c) {
    for (const option &o : kLongOptions)
        if (o.val == c) return c < 256 ? std::string("-") + static_cast<char>(c) : std::string("--") + o.name;
    return "?";
}

// The value of the long option that the element `arg` names ("--outp=x"
// names output), or 0.
int long_option_value(const std::string &arg) {
    if (arg.rfind("--", 0) != 0) return 0;
    const std::string name = arg.substr(2, arg.find('=') - 2);
    for (const option &o : kLongOptions)
        if (o.name != nullptr && !name.empty() && std::string(o.name).rfind(name, 0) == 0) return o.val;
    return 0;
}

// The option getopt stopped at, as it was written. A long one is the whole
// element before optind (optopt is then 0, or its value when it was given
// a value it does not take); a short one is optopt, which may lie inside a
// cluster such as -Zq, where optind has not moved on yet.
std::string offending(char **argv) {
    const std::string last = optind > 0 ? argv[optind - 1] : "";
    if (last.rfind("--", 0) == 0 && (optopt == 0 || optopt == long_option_value(last)))
        return last.substr(0, last.find('='));
    return std::string("-") + static_cast<char>(optopt);
}

}  // namespace

ParsedCommand parse_command_line(int argc, char **argv) {
    ParsedCommand r;
    Options &o = r.options;
    opterr = 0;
    optind = 1;
    int c;
    while ((c = getopt_long(argc, argv, ":o:f:v:s:p:a:r:O:j:qhV", kLongOptions, nullptr)) != -1) {
        const std::string value = optarg != nullptr ? optarg : "";
        switch (c) {
            case 'o':
            case 'f':
            case 'v':
                if (value.empty()) return {o, "option " + option_name(c) + " needs a value"};
                (c == 'o' ? o.output : c == 'f' ? o.text_file : o.voice) = value;
                break;
            case 's':
            case 'p':
            case 'a':
            case kRdn: {
                const int max = c == kRdn ? 2 : 100;
                int &field = c == 's' ? o.speed : c == 'p' ? o.pitch : c == 'a' ? o.volume : o.rdn;
                if (!read_level(optarg, max, field))
                    return {o, "option " + option_name(c) + " takes a whole number from 0 to " + std::to_string(max) +
                                   ", not '" + value + "'"};
                break;
            }
            case 'r':
                if (value != "16000" && value != "8000")
                    return {o, "option -r takes 16000 or 8000, not '" + value + "'"};
                o.rate = std::stoi(value);
                break;
            case kBatch:
            case 'O':
            case kResults:
                if (value.empty()) return {o, "option " + option_name(c) + " needs a value"};
                (c == kBatch ? o.batch.manifest : c == 'O' ? o.batch.dir : o.batch.results) = value;
                break;
            case 'j':
            case kShardCount:
                if (!read_level(optarg, 1024, c == 'j' ? o.batch.jobs : o.batch.shard_count) ||
                    (c == 'j' ? o.batch.jobs : o.batch.shard_count) == 0)
                    return {o, "option " + option_name(c) + " takes a whole number from 1 to 1024, not '" + value + "'"};
                break;
            case kShard:
                if (!read_shard(value, o.batch.shard, o.batch.shards))
                    return {o, "option --shard takes K/N with 0 <= K < N, not '" + value + "'"};
                break;
            case kMaxAudio:
                if (!read_level(optarg, 86400, o.max_audio_seconds) || o.max_audio_seconds == 0)
                    return {o, "option --max-audio-seconds takes a whole number from 1 to 86400, not '" + value + "'"};
                break;
            case 'q': o.quiet = true; break;
            case kVoices: o.list_voices = true; break;
            case kPinyin: o.pinyin = true; break;
            case kReaders: o.readers = true; break;
            case kSsml:
            case kText: {
                const std::string type = c == kSsml ? "ssml" : "text";
                if (!o.text_type.empty() && o.text_type != type) return {o, "give --ssml or --text, not both"};
                o.text_type = type;
                break;
            }
            case kLexicon:
                // The service takes the files as one colon-separated parameter.
                if (value.empty() || value.find_first_of(",=:") != std::string::npos)
                    return {o, "option --lexicon takes a file name without ',', '=' or ':', not '" + value + "'"};
                o.lexicons.push_back(value);
                break;
            case kServer:
            case kServerTokenFile:
                if (value.empty()) return {o, "option " + option_name(c) + " needs a value"};
                (c == kServer ? o.server : o.server_token_file) = value;
                break;
            case kServerTimeoutOption:
                if (!read_level(optarg, 3600, o.server_timeout) || o.server_timeout == 0)
                    return {o, "option --server-timeout takes a whole number of seconds from 1 to 3600, not '" + value + "'"};
                break;
            case 'h': o.help = true; break;
            case 'V': o.version = true; break;
            case ':': return {o, "option " + offending(argv) + " needs a value"};
            default: {
                const std::string name = offending(argv);
                if (optopt != 0 && name.rfind("--", 0) == 0) return {o, "option " + name + " takes no value"};
                return {o, "unknown option " + name};
            }
        }
    }
    for (int i = optind; i < argc; ++i) o.words.emplace_back(argv[i]);
    if (!o.words.empty() && !o.text_file.empty()) r.error = "give the text either as arguments or with -f, not both";
    const BatchOptions &b = o.batch;
    const bool batch_only = !b.dir.empty() || !b.results.empty() || b.jobs != 0 || b.shards != 0 || b.shard_count != 0;
    if (b.manifest.empty() && batch_only) r.error = "-O, -j, --shard, --shard-count and --results go with --batch";
    if (!b.manifest.empty() && (!o.words.empty() || !o.text_file.empty() || o.pinyin || o.output != "tts.wav"))
        r.error = "--batch takes its texts from the manifest: no TEXT, -f, -o or --pinyin with it";
    if (o.readers && !o.pinyin) r.error = "--readers goes with --pinyin";
    // --batch speaks here; TTS_SERVER is for single texts.
    if (!b.manifest.empty() && !o.server.empty()) r.error = "--batch speaks here: not with --server";
    if (const char *env = std::getenv("TTS_SERVER"); o.server.empty() && b.manifest.empty() && env != nullptr)
        o.server = env;
    // The server tells plain text from SSML by the text's start and reads no
    // lexicon files of this machine.
    if (!o.server.empty() && (!o.text_type.empty() || !o.lexicons.empty()))
        r.error = "--ssml, --text and --lexicon are for speaking here, not with --server";
    // The server keeps its own limit (its --max-audio-seconds).
    if (!o.server.empty() && o.max_audio_seconds != 0)
        r.error = "--max-audio-seconds is for speaking here, not with --server (the server has its own limit)";
    if (o.server.empty() && o.server_timeout != 0) r.error = "--server-timeout goes with --server";
    if (o.server_timeout == 0) o.server_timeout = kServerTimeout;
    return r;
}

std::string session_params(const Options &o) {
    std::string out;
    const auto add = [&out](const std::string &key, const std::string &value) {
        out += (out.empty() ? "" : ", ") + key + " = " + value;
    };
    if (!o.voice.empty()) add("voice_name", o.voice);
    if (o.rate != 0) add("sample_rate", std::to_string(o.rate));
    if (o.speed >= 0) add("speed", std::to_string(o.speed));
    if (o.volume >= 0) add("volume", std::to_string(o.volume));
    if (o.pitch >= 0) add("pitch", std::to_string(o.pitch));
    if (o.rdn >= 0) add("rdn", std::to_string(o.rdn));
    if (o.readers) add("show_readers", "1");
    if (!o.text_type.empty()) add("text_type", o.text_type);
    if (o.max_audio_seconds > 0) add("max_audio_seconds", std::to_string(o.max_audio_seconds));
    if (!o.lexicons.empty()) {
        std::string files;
        for (const std::string &f : o.lexicons) files += (files.empty() ? "" : ":") + f;
        add("lexicons", files);
    }
    return out;
}

}  // namespace tts_say

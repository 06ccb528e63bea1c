// SPDX-License-Identifier: Apache-2.0
// tts-say: speaks a text into a WAV file through libtts and the speech
// service linked with it.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "speech_service.h"
#include "tts.h"

namespace {

constexpr const char *kUsage = "usage: tts-say [-o FILE] [-f TEXTFILE] [TEXT...]";
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Options {
    std::string output = "tts.wav";
    std::string text_file;
    std::string text;
    bool have_words = false;
};

[[noreturn]] void usage_error(const std::string &why) {
    std::cerr << "tts-say: " << why << "\n" << kUsage << "\n";
    std::exit(kExitUsage);
}

void print_help() {
    std::cout << kUsage << "\n\n"
              << "Speaks TEXT (the arguments joined by blanks), the content of TEXTFILE, or\n"
              << "standard input read to its end, into FILE (default tts.wav) as 16 kHz 16-bit\n"
              << "mono WAV.\n\n"
              << "  -o FILE      the WAV file to write\n"
              << "  -f TEXTFILE  read the text from TEXTFILE\n"
              << "  --help       show this help\n"
              << "  --version    show the version\n\n"
              << "Exit status: 0 spoken, 1 not spoken, 2 usage error.\n";
}

Options parse(int argc, char **argv) {
    Options o;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options_done && (arg == "-o" || arg == "-f")) {
            if (i + 1 >= argc) usage_error("option " + arg + " needs a value");
            (arg == "-o" ? o.output : o.text_file) = argv[++i];
            if ((arg == "-o" ? o.output : o.text_file).empty()) usage_error("option " + arg + " needs a value");
        } else if (!options_done && arg == "--help") {
            print_help();
            std::exit(0);
        } else if (!options_done && arg == "--version") {
            std::cout << "tts-say " TTS_VERSION "\n";
            std::exit(0);
        } else if (!options_done && arg == "--") {
            options_done = true;
        } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
            usage_error("unknown option " + arg);
        } else {
            if (o.have_words) o.text += ' ';
            o.text += arg;
            o.have_words = true;
        }
    }
    if (o.have_words && !o.text_file.empty()) usage_error("give the text either as arguments or with -f, not both");
    return o;
}

bool read_all(std::istream &in, std::string &out) {
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return !in.bad();
}

int fail(const std::string &why) {
    std::fflush(stdout);  // keep the library's dialogue ahead of the verdict
    std::cerr << "tts-say: " << why << "\n";
    return kExitFailed;
}

}  // namespace

int main(int argc, char **argv) {
    Options o = parse(argc, argv);
    if (!o.text_file.empty()) {
        std::ifstream in(o.text_file, std::ios::binary);
        if (!in || !read_all(in, o.text)) return fail("cannot read " + o.text_file + ": " + std::strerror(errno));
    } else if (!o.have_words) {
        if (!read_all(std::cin, o.text)) return fail("cannot read the text from standard input");
    }
    if (o.text.find('\0') != std::string::npos) return fail("the text contains a NUL byte");

    // The library never flushes; on a terminal, show its marks as they come.
    if (isatty(STDOUT_FILENO)) std::setvbuf(stdout, nullptr, _IONBF, 0);

    const int rc = text_to_speech(o.text.c_str(), o.output.c_str(), "");
    if (rc == 0) return 0;
    if (rc == -1) return fail("the text could not be spoken into " + o.output + " (see the messages above)");
    return fail(std::string(speech_service_error_text(rc)) + " (code " + std::to_string(rc) + ")");
}

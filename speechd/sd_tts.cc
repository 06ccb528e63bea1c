// SPDX-License-Identifier: Apache-2.0
// sd_tts: a speech-dispatcher output module on our speech service.
//   sd_tts [CONFIG_FILE]
// The server talks to it on standard input and output; it logs on standard
// error.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "line_reader.h"
#include "module_config.h"
#include "module_log.h"
#include "module_protocol.h"
#include "tts_backend.h"

int main(int argc, char **argv) {
    // A server that goes away must not kill the module mid-write.
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<std::string> warnings;
    sd_tts::ModuleConfig config;
    if (argc > 1 && argv[1][0] != '\0') {
        std::ifstream file(argv[1]);
        if (file) {
            std::ostringstream text;
            text << file.rdbuf();
            config = sd_tts::parse_config(text.str(), warnings);
        } else {
            warnings.push_back(std::string("cannot read ") + argv[1] + ": the defaults are used");
        }
    }
    for (const std::string &w : warnings) sd_tts::log_line(1, "tts.conf: " + w);

    sd_tts::ModuleOutput out = sd_tts::ModuleOutput::to_fd(STDOUT_FILENO);
    sd_tts::TtsBackend backend(out, config);
    sd_tts::ModuleProtocol protocol(out, backend);
    // A line longer than a whole message can only be refused.
    sd_tts::LineReader input(STDIN_FILENO, sd_tts::ModuleProtocol::kMaxMessage + 1);
    std::string line;
    while (input.next(line)) {
        if (!protocol.line(line) || !out.ok()) break;
    }
    return 0;
}

// SPDX-License-Identifier: Apache-2.0
#include "module_protocol.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "module_log.h"
#include "trim.h"

namespace sd_tts {

namespace {

std::string upper(std::string_view s) {
    std::string out(s);
    for (char &c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// A reply's text must stay on its line.
std::string one_line(std::string_view s) {
    std::string out(s);
    std::replace(out.begin(), out.end(), '\n', ' ');
    return out;
}

}  // namespace

bool ModuleProtocol::line(std::string_view text) {
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (state_ == State::command) {
        const std::string cmd = upper(trim(text));
        if (cmd == "QUIT") {
            backend_.stop();
            out_.send("210 OK QUIT\n");
            return false;
        }
        command(cmd);
        return true;
    }
    if (text == ".") {
        end_block();
        return true;
    }
    // A line of the data that starts with a dot has had one more put before it.
    if (text.size() >= 2 && text[0] == '.' && text[1] == '.') text.remove_prefix(1);
    block_line(text);
    return true;
}

void ModuleProtocol::command(std::string_view cmd) {
    if (cmd.empty()) return;
    if (cmd == "INIT") {
        std::vector<std::string> info;
        std::string error;
        if (backend_.init(info, error)) {
            initialised_ = true;
            std::string reply;
            for (const std::string &i : info) reply += "299-" + one_line(i) + "\n";
            out_.send(reply + "299 OK LOADED SUCCESSFULLY\n");
        } else {
            log_line(1, "init failed: " + error);
            out_.send("399-" + one_line(error) + "\n399 ERR CANT INIT MODULE\n");
        }
    } else if (cmd == "AUDIO") {
        state_ = State::audio;
        out_.send("207 OK RECEIVING AUDIO SETTINGS\n");
    } else if (cmd == "LOGLEVEL") {
        state_ = State::log_level;
        out_.send("207 OK RECEIVING LOGLEVEL SETTINGS\n");
    } else if (cmd == "SET") {
        state_ = State::settings;
        pending_ = settings_;
        out_.send("203 OK RECEIVING SETTINGS\n");
    } else if (cmd == "LIST VOICES") {
        std::string reply;
        for (const Voice &v : backend_.voices())
            reply += "200-" + one_line(v.name) + "\t" + one_line(v.language) + "\t" + one_line(v.variant) + "\n";
        out_.send(reply + "200 OK VOICE LIST SENT\n");
    } else if (cmd == "SPEAK" || cmd == "CHAR" || cmd == "KEY" || cmd == "SOUND_ICON") {
        kind_ = cmd == "SPEAK"  ? MessageKind::text
                : cmd == "CHAR" ? MessageKind::character
                : cmd == "KEY"  ? MessageKind::key
                                : MessageKind::sound_icon;
        state_ = State::message;
        message_.clear();
        message_too_long_ = false;
        first_message_line_ = true;
        backend_.settle();
        out_.send("202 OK RECEIVING MESSAGE\n");
    } else if (cmd == "STOP") {
        backend_.stop();
    } else if (cmd == "PAUSE") {
        backend_.pause();
    } else {
        log_line(2, "unknown command: " + one_line(cmd.substr(0, 80)));
        out_.send("300 ERR UNKNOWN COMMAND\n");
    }
}

void ModuleProtocol::block_line(std::string_view text) {
    switch (state_) {
    case State::settings:
        if (!pending_.apply(trim(text))) log_line(2, "SET: ignored " + one_line(text.substr(0, 80)));
        break;
    case State::audio: {
        const std::string_view setting = trim(text);
        if (setting.substr(0, 20) == "audio_output_method=" && setting != "audio_output_method=server")
            log_line(1, "only the server audio method is supported, not " + std::string(setting.substr(20)));
        break;
    }
    case State::log_level: {
        const std::string_view setting = trim(text);
        int level = 0;
        if (setting.substr(0, 10) == "log_level=") {
            const std::string_view v = setting.substr(10);
            if (std::from_chars(v.data(), v.data() + v.size(), level).ec == std::errc()) set_log_level(level);
        }
        break;
    }
    case State::message:
        if (message_too_long_) break;
        if (message_.size() + text.size() + 1 > kMaxMessage) {
            message_too_long_ = true;
            break;
        }
        if (!first_message_line_) message_.push_back('\n');
        message_.append(text);
        first_message_line_ = false;
        break;
    case State::command:
        break;
    }
}

void ModuleProtocol::end_block() {
    const State done = state_;
    state_ = State::command;
    switch (done) {
    case State::settings:
        settings_ = pending_;
        out_.send("203 OK SETTINGS RECEIVED\n");
        break;
    case State::audio:
        out_.send("203 OK AUDIO INITIALIZED\n");
        break;
    case State::log_level:
        out_.send("203 OK LOGLEVEL SET\n");
        break;
    case State::message:
        if (message_too_long_) {
            log_line(1, "a message longer than the module takes was refused");
            out_.send("301 ERR MESSAGE TOO LONG\n");
        } else if (!initialised_) {
            out_.send("401 ERR NOT INITIALIZED\n");
        } else {
            out_.send("200 OK SPEAKING\n");
            backend_.speak(kind_, message_, settings_);
        }
        message_.clear();
        message_.shrink_to_fit();
        break;
    case State::command:
        break;
    }
}

}  // namespace sd_tts
